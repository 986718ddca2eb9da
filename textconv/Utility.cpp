#include "textconv/Utility.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "textconv/Ascii.h"
#include "textconv/CodePageTables.h"

namespace {

// ó, ú and ů are missing on purpose: the callers expect them to stay lower case.
// ě š č ř ž ý á í é ť ď ň in Windows-1250, and below each its capital.
constexpr std::array<std::uint8_t, 12> kAccentLower{0xEC, 0x9A, 0xE8, 0xF8, 0x9E, 0xFD,
                                                    0xE1, 0xED, 0xE9, 0x9D, 0xEF, 0xF2};
constexpr std::array<std::uint8_t, 12> kAccentUpper{0xCC, 0x8A, 0xC8, 0xD8, 0x8E, 0xDD,
                                                    0xC1, 0xCD, 0xC9, 0x8D, 0xCF, 0xD2};

constexpr std::array<std::uint8_t, 256> MakeUpperTable() {
  std::array<std::uint8_t, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = static_cast<std::uint8_t>(AsciiUpper(static_cast<char>(i)));
  }
  for (std::size_t i = 0; i < kAccentLower.size(); ++i) table[kAccentLower[i]] = kAccentUpper[i];
  return table;
}

constexpr std::array<std::uint8_t, 256> kUpperTable = MakeUpperTable();

char CodeLetter(const AnsiText& code, char whenEmpty) {
  const char letter = code.empty() ? whenEmpty : code.front();
  return AsciiUpper(letter);
}

const textconv::CodePageTable* TableFor(char source, char target) {
  struct Direction {
    char source;
    char target;
    const textconv::CodePageTable* table;
  };
  static constexpr std::array<Direction, 5> kDirections{{
      {'W', 'L', &textconv::kWindowsToLatin2},
      {'W', 'K', &textconv::kWindowsToKamenicky},
      {'W', 'A', &textconv::kWindowsToAscii},
      {'L', 'W', &textconv::kLatin2ToWindows},
      {'K', 'W', &textconv::kKamenickyToWindows},
  }};
  for (const Direction& direction : kDirections) {
    if (direction.source == source && direction.target == target) return direction.table;
  }
  return nullptr;
}

}  // namespace

AnsiText CzechUpper(const AnsiText& text) {
  AnsiText result = text;
  for (char& c : result) {
    c = static_cast<char>(kUpperTable[static_cast<std::uint8_t>(c)]);
  }
  return result;
}

AnsiText ConvertCodePage(const AnsiText& text, const AnsiText& source, const AnsiText& target) {
  AnsiText result = text;
  const textconv::CodePageTable* table = TableFor(CodeLetter(source, 'W'), CodeLetter(target, 'A'));
  if (table == nullptr) return result;
  for (char& c : result) {
    const auto byte = static_cast<std::uint8_t>(c);
    // 0x80 is left alone like ASCII; the tables start at 0x81.
    if (byte >= textconv::kFirstConverted) {
      c = static_cast<char>((*table)[static_cast<std::size_t>(byte - textconv::kFirstConverted)]);
    }
  }
  return result;
}
