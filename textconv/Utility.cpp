#include "textconv/Utility.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "textconv/Ascii.h"
#include "textconv/CodePageTables.h"

namespace {

// ó, ú and ů are missing on purpose: the callers expect them to stay lower case.
constexpr std::array<std::pair<std::uint8_t, std::uint8_t>, 12> kAccentPairs{{
    {0xEC, 0xCC},  // ě Ě
    {0x9A, 0x8A},  // š Š
    {0xE8, 0xC8},  // č Č
    {0xF8, 0xD8},  // ř Ř
    {0x9E, 0x8E},  // ž Ž
    {0xFD, 0xDD},  // ý Ý
    {0xE1, 0xC1},  // á Á
    {0xED, 0xCD},  // í Í
    {0xE9, 0xC9},  // é É
    {0x9D, 0x8D},  // ť Ť
    {0xEF, 0xCF},  // ď Ď
    {0xF2, 0xD2},  // ň Ň
}};

constexpr std::array<std::uint8_t, 256> MakeUpperTable() {
  std::array<std::uint8_t, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = static_cast<std::uint8_t>(AsciiUpper(static_cast<char>(i)));
  }
  for (const auto& [lower, upper] : kAccentPairs) {
    table[lower] = upper;
  }
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
