#include "textconv/Ascii.h"

AnsiText AsciiLowerText(std::string_view text) {
  AnsiText lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 && HexDigitValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

char LowerWindows1250(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char>(c + 0x20);
  switch (c) {
    case 0x8A: case 0x8C: case 0x8D: case 0x8E: case 0x8F: return static_cast<char>(c + 0x10);
    case 0xA3: return static_cast<char>(0xB3);
    case 0xA5: return static_cast<char>(0xB9);
    case 0xAA: return static_cast<char>(0xBA);
    case 0xAF: return static_cast<char>(0xBF);
    case 0xBC: return static_cast<char>(0xBE);
    default: return ch;
  }
}
