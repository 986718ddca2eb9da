#pragma once
// A request for part of a file as a web server judges it, for the vendor
// server and the tests' fake transport alike: one range, "bytes=FIRST-" or
// "bytes=FIRST-LAST", honoured when its If-Range (if any) is one of the
// file's validators. Any other Range is ignored, as a server may.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace vendor {

struct RangeAnswer {
  enum Kind { Whole, Part, Unsatisfiable } kind = Whole;
  std::uint64_t first = 0, last = 0;  // of a Part, inclusive
};

inline RangeAnswer JudgeRange(std::string_view range, std::string_view ifRange,
                              std::initializer_list<std::string_view> validators, std::uint64_t size) {
  constexpr std::string_view kUnit = "bytes=";
  const bool unit = range.size() >= kUnit.size() &&
                    std::equal(kUnit.begin(), kUnit.end(), range.begin(), [](char a, char b) {
                      return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
                    });
  const bool current =
      ifRange.empty() || std::any_of(validators.begin(), validators.end(),
                                     [&](std::string_view v) { return !v.empty() && v == ifRange; });
  if (!unit || !current) return {};
  range.remove_prefix(kUnit.size());
  const std::size_t dash = range.find('-');
  if (dash == std::string_view::npos) return {};
  const auto number = [](std::string_view digits) -> std::optional<std::uint64_t> {
    if (digits.empty() || digits.size() > 18 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::nullopt;
    return std::stoull(std::string(digits));
  };
  const auto first = number(range.substr(0, dash));
  const std::string_view lastText = range.substr(dash + 1);
  const auto last = lastText.empty() ? std::optional<std::uint64_t>(UINT64_MAX) : number(lastText);
  if (!first || !last || *last < *first) return {};
  if (*first >= size) return {RangeAnswer::Unsatisfiable};
  return {RangeAnswer::Part, *first, std::min(*last, size - 1)};
}

}  // namespace vendor
