#include "httpget/HTTPResult.h"

#include <array>
#include <climits>
#include <iterator>
#include <vector>

#include "httpget/InternetErrors.h"
#include "textconv/Ascii.h"

namespace {

struct Reason {
  std::uint32_t code;
  THTTPFailure failure;
};

// Every code a transport gives for a transfer that got no answer it could use.
constexpr Reason kReasons[] = {
    {internet_error::kTimeout, THTTPFailure::TimedOut},
    {internet_error::kNameNotResolved, THTTPFailure::NameNotResolved},
    {internet_error::kCannotConnect, THTTPFailure::ConnectionFailed},
    {internet_error::kConnectionAborted, THTTPFailure::ConnectionFailed},
    {internet_error::kConnectionReset, THTTPFailure::ConnectionFailed},
    {internet_error::kInvalidServerResponse, THTTPFailure::ConnectionFailed},
    {internet_error::kDisconnected, THTTPFailure::ConnectionFailed},
    {internet_error::kServerUnreachable, THTTPFailure::ConnectionFailed},
    {internet_error::kProxyServerUnreachable, THTTPFailure::ConnectionFailed},
    {internet_error::kRedirectFailed, THTTPFailure::RedirectLoop},
    {internet_error::kHttpToHttpsOnRedirect, THTTPFailure::RedirectLoop},
    {internet_error::kHttpsToHttpOnRedirect, THTTPFailure::RedirectLoop},
    {internet_error::kCertDateInvalid, THTTPFailure::Certificate},
    {internet_error::kCertNameInvalid, THTTPFailure::Certificate},
    {internet_error::kClientCertNeeded, THTTPFailure::Certificate},
    {internet_error::kInvalidCa, THTTPFailure::Certificate},
    {internet_error::kCertErrors, THTTPFailure::Certificate},
    {internet_error::kCertNoRevocation, THTTPFailure::Certificate},
    {internet_error::kCertRevocationFailed, THTTPFailure::Certificate},
    {internet_error::kSecureChannelError, THTTPFailure::Certificate},
    {internet_error::kInvalidCertificate, THTTPFailure::Certificate},
    {internet_error::kCertRevoked, THTTPFailure::Certificate},
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Decimal digits only, up to limit; nothing past it.
std::optional<std::int64_t> Number(std::string_view s, std::int64_t limit = INT64_MAX / 10 - 9) {
  if (!AllDigits(s)) return std::nullopt;
  std::int64_t v = 0;
  for (const char c : s) {
    v = v * 10 + (c - '0');
    if (v > limit) return std::nullopt;
  }
  return v;
}

bool ControlFree(std::string_view s) {
  for (const char c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

int MonthOf(std::string_view name) {
  static constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (std::size_t i = 0; i < kMonths.size(); ++i)
    if (SameIgnoringAsciiCase(name, kMonths[i])) return static_cast<int>(i) + 1;
  return 0;
}

bool Letters(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  return true;
}

}  // namespace

THTTPFailure ClassifyFailure(std::uint32_t platformError, int status) {
  if (status != 0) return status >= 200 && status <= 299 ? THTTPFailure::None : THTTPFailure::HttpStatus;
  for (const Reason& r : kReasons)
    if (r.code == platformError) return r.failure;
  return THTTPFailure::Other;
}

const char* FailureName(THTTPFailure failure) {
  static constexpr const char* kNames[] = {
      "None",         "Aborted",    "ConnectionFailed", "TimedOut",  "NameNotResolved", "Certificate",
      "RedirectLoop", "HttpStatus", "NoLength",         "BadLength", "BodyCutShort",    "BodyTooLong",
      "BadRange",     "FileError",  "DiskFull",         "Other"};
  static_assert(std::size(kNames) == static_cast<std::size_t>(THTTPFailure::Other) + 1);
  return kNames[static_cast<std::size_t>(failure)];
}

namespace http_answer {

std::optional<ContentRange> ParseContentRange(std::string_view text) {
  text = Trim(text);
  if (!StartsWithIgnoringAsciiCase(text, "bytes ")) return std::nullopt;
  text = Trim(text.substr(6));
  const auto dash = text.find('-');
  const auto slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash) return std::nullopt;
  const auto first = Number(text.substr(0, dash));
  const auto last = Number(text.substr(dash + 1, slash - dash - 1));
  const auto complete = Number(text.substr(slash + 1));
  if (!first || !last || !complete || *first > *last || *last >= *complete) return std::nullopt;
  return ContentRange{*first, *last, *complete};
}

std::optional<std::int64_t> ParseHttpDate(std::string_view text) {
  // The three forms, once commas and dashes are blanks:
  //   Sun 06 Nov 1994 08:49:37 GMT      (IMF-fixdate)
  //   Sunday 06 Nov 94 08:49:37 GMT     (RFC 850)
  //   Sun Nov 6 08:49:37 1994           (asctime)
  std::vector<std::string_view> words;
  std::string spaced(text);
  for (char& c : spaced)
    if (c == ',' || c == '-' || c == '\t') c = ' ';
  std::string_view rest(spaced);
  while (!rest.empty()) {
    const auto start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const auto end = std::min(rest.find(' '), rest.size());
    words.push_back(rest.substr(0, end));
    rest.remove_prefix(end);
  }
  std::string_view day, month, year, time;
  if (words.size() == 6 && Letters(words[0]) && AllDigits(words[1]) &&
      SameIgnoringAsciiCase(words[5], "GMT")) {
    day = words[1], month = words[2], year = words[3], time = words[4];
  } else if (words.size() == 5 && Letters(words[0]) && Letters(words[1])) {
    month = words[1], day = words[2], time = words[3], year = words[4];
  } else {
    return std::nullopt;
  }
  const int m = MonthOf(month);
  const auto d = Number(day, 31);
  auto y = Number(year, 9999);
  if (m == 0 || !d || *d < 1 || !y || time.size() != 8 || time[2] != ':' || time[5] != ':')
    return std::nullopt;
  if (year.size() == 2)
    *y += *y < 70 ? 2000 : 1900;  // RFC 850's two-digit years
  else if (year.size() != 4)
    return std::nullopt;
  const auto hh = Number(time.substr(0, 2), 23);
  const auto mm = Number(time.substr(3, 2), 59);
  const auto ss = Number(time.substr(6, 2), 60);
  if (!hh || !mm || !ss) return std::nullopt;
  return DaysFromCivil(*y, static_cast<unsigned>(m), static_cast<unsigned>(*d)) * 86400 + *hh * 3600 +
         *mm * 60 + *ss;
}

std::int32_t RetryAfterSeconds(std::string_view retryAfter, std::string_view date, std::int64_t now) {
  retryAfter = Trim(retryAfter);
  if (AllDigits(retryAfter)) {
    const auto v = Number(retryAfter, INT32_MAX);
    return v ? static_cast<std::int32_t>(*v) : INT32_MAX;
  }
  const auto when = ParseHttpDate(retryAfter);
  if (!when) return -1;
  const std::int64_t from = ParseHttpDate(date).value_or(now);
  const std::int64_t wait = *when - from;
  return wait <= 0 ? 0 : wait > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(wait);
}

AnsiText ValidatorOf(std::string_view etag, std::string_view lastModified, std::string_view date) {
  etag = Trim(etag);
  // A strong entity tag: a quoted string without a "W/" in front.
  if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"' &&
      etag.substr(1, etag.size() - 2).find('"') == std::string_view::npos && ControlFree(etag))
    return AnsiText(etag);
  lastModified = Trim(lastModified);
  const auto modified = ParseHttpDate(lastModified);
  const auto answered = ParseHttpDate(date);
  if (modified && answered && *modified + 1 <= *answered && ControlFree(lastModified))
    return AnsiText(lastModified);
  return {};
}

}  // namespace http_answer
