#pragma once
// Readable names for the cases of a parameterised test: the case's number,
// then what tells it apart, with every character a test name cannot hold
// written as '_' ("5_path_" for "path/"). The number keeps them distinct.
#include <cstddef>
#include <string>
#include <string_view>

inline std::string CaseName(std::size_t index, std::string_view text) {
  std::string name = std::to_string(index);
  if (!text.empty()) name += '_';
  for (const char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    name += plain ? c : '_';
  }
  return name;
}

// A number as a test name can hold it: "Minus100" for -100.
inline std::string CaseNumber(long long n) {
  return n < 0 ? "Minus" + std::to_string(-n) : std::to_string(n);
}
