#include "bootstrap/VendorList.h"

#include <cstddef>
#include <cstdio>

#include "textconv/Ascii.h"

namespace {
int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool ParseDigest(std::string_view hex, TSha256Digest& digest) {
  if (hex.size() != 2 * digest.size()) return false;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int hi = HexDigitValue(hex[2 * i]);
    const int lo = HexDigitValue(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    digest[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return true;
}

// A size the getter can fetch: decimal digits, at most 2^31 - 1.
bool ParseSize(std::string_view text, std::int64_t& size) {
  if (text.empty() || text.size() > 10) return false;
  size = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    size = size * 10 + (c - '0');
  }
  return size <= 0x7FFFFFFF;
}

// Splits off the next line, without its line feed; false when no complete line is left.
bool NextLine(std::string_view& rest, std::string_view& line) {
  const std::size_t eol = rest.find('\n');
  if (eol == std::string_view::npos) return false;
  line = rest.substr(0, eol);
  rest.remove_prefix(eol + 1);
  return true;
}

// A serial: decimal digits, no leading zero, above 0, below 2^63.
bool ParseSerial(std::string_view text, std::uint64_t& serial) {
  if (text.empty() || text.size() > 18 || text.front() == '0') return false;
  serial = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    serial = serial * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool Fail(std::string* why, const std::string& reason) {
  if (why != nullptr) *why = reason;
  return false;
}
}  // namespace

bool DecodeBase64(std::string_view text, std::string& bytes) {
  bytes.clear();
  if (text.size() % 4 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const int pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    if (pad == 1 && text[i + 2] == '=') return false;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const int v = k >= 4 - static_cast<std::size_t>(pad) ? 0 : Base64Value(text[i + k]);
      if (v < 0) return false;
      group = group << 6 | static_cast<std::uint32_t>(v);
    }
    if ((pad == 2 && (group & 0xFFFF) != 0) || (pad == 1 && (group & 0xFF) != 0)) return false;
    bytes += static_cast<char>(group >> 16);
    if (pad < 2) bytes += static_cast<char>(group >> 8 & 0xFF);
    if (pad < 1) bytes += static_cast<char>(group & 0xFF);
  }
  return true;
}

std::string PublicKeyFromPem(std::string_view pem) {
  static constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
  static constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";
  const std::size_t begin = pem.find(kBegin);
  if (begin == std::string_view::npos) return {};
  const std::size_t end = pem.find(kEnd, begin);
  if (end == std::string_view::npos) return {};
  std::string base64;
  for (const char c : pem.substr(begin + kBegin.size(), end - begin - kBegin.size())) {
    if (c != '\n' && c != '\r' && c != ' ' && c != '\t') base64 += c;
  }
  std::string der;
  if (!DecodeBase64(base64, der)) return {};
  return der;
}

bool ParseUtcTime(std::string_view text, std::int64_t& seconds) {
  static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    if (kShape[i] != 'd' && text[i] != kShape[i]) return false;
  }
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, 0, 4, year) || !Digits(text, 5, 2, month) || !Digits(text, 8, 2, day) ||
      !Digits(text, 11, 2, hour) || !Digits(text, 14, 2, minute) || !Digits(text, 17, 2, second))
    return false;
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || (month == 2 && day == 29 && !leap) ||
      hour > 23 || minute > 59 || second > 59)
    return false;
  seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

std::string FormatUtcTime(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    days -= 1;
  }
  // The inverse of DaysFromCivil.
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2);
  char text[128];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

std::string HexDigest(const TSha256Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 0x0F];
  }
  return hex;
}

bool TVendorList::Read(ICrypto& crypto, std::string_view publicKey, const AnsiText& product,
                       std::string_view text, std::string* why) {
  loaded_ = false;
  files_.clear();
  serial_ = 0;
  expires_ = 0;
  text_.clear();
  signedSize_ = 0;
  if (text.size() > kVendorListLimit) return Fail(why, "the list is too long");
  // The signature first: nothing of an unsigned text is read.
  static constexpr std::string_view kSignature = "signature ";
  std::string_view last = text;
  if (!last.empty() && last.back() == '\n') last.remove_suffix(1);
  const std::size_t eol = last.rfind('\n');
  const std::size_t signatureLine = eol == std::string_view::npos ? 0 : eol + 1;
  last.remove_prefix(signatureLine);
  if (last.substr(0, kSignature.size()) != kSignature) return Fail(why, "the list has no signature line");
  std::string signature;
  if (!DecodeBase64(last.substr(kSignature.size()), signature) || signature.empty())
    return Fail(why, "the signature is not base64");
  const std::string_view signedPart = text.substr(0, signatureLine);
  if (!crypto.VerifyRsaSha256(publicKey, signedPart, signature))
    return Fail(why, "the signature does not verify with the vendor's key");

  std::string_view rest = signedPart;
  std::string_view line;
  if (!NextLine(rest, line) || line.substr(0, 19) != "websetup file list ") return Fail(why, "the list has no header");
  if (line != kVendorListHeader) return Fail(why, "the list is of another version: " + std::string(line));
  if (!NextLine(rest, line) || line.substr(0, 8) != "product ") return Fail(why, "the list names no product");
  if (line.substr(8) != product) return Fail(why, "the list is for product " + std::string(line.substr(8)));
  std::uint64_t serial = 0;
  if (!NextLine(rest, line) || line.substr(0, 7) != "serial " || !ParseSerial(line.substr(7), serial))
    return Fail(why, "the list has no serial");
  std::int64_t expires = 0;
  if (!NextLine(rest, line) || line.substr(0, 8) != "expires " || !ParseUtcTime(line.substr(8), expires))
    return Fail(why, "the list has no expiry time");
  std::vector<TListedFile> files;
  while (NextLine(rest, line)) {
    const std::size_t s1 = line.find(' ');
    const std::size_t s2 = s1 == std::string_view::npos ? s1 : line.find(' ', s1 + 1);
    TListedFile file;
    if (s1 == 0 || s2 == std::string_view::npos || !ParseSize(line.substr(s1 + 1, s2 - s1 - 1), file.Size) ||
        !ParseDigest(line.substr(s2 + 1), file.Digest)) {
      return Fail(why, "a line of the list is not a file: " + std::string(line));
    }
    file.Name = AnsiText(line.substr(0, s1));
    for (const TListedFile& f : files) {
      if (f.Name == file.Name) return Fail(why, "the list names " + file.Name + " twice");
    }
    files.push_back(std::move(file));
  }
  files_ = std::move(files);
  serial_ = serial;
  expires_ = expires;
  text_ = std::string(text);
  signedSize_ = signatureLine;
  loaded_ = true;
  return true;
}

const TListedFile* TVendorList::Find(const AnsiText& serverName) const {
  for (const TListedFile& f : files_) {
    if (f.Name == serverName) return &f;
  }
  return nullptr;
}
