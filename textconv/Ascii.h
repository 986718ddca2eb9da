#pragma once
// The ASCII rule and what rests on it, in one place: only a to z and A to Z
// change case, every other byte (0x80 to 0xFF included) stays itself. Used
// wherever text is compared or folded without regard to case: schemes,
// header names, environment names, registry texts, the program's title.
#include <string>
#include <string_view>

#include "framework/Types.h"

constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

AnsiText AsciiLowerText(std::string_view text);
bool SameIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

// A hexadecimal digit's value, or -1.
int HexDigitValue(char c);
// "%XX" escapes decoded; a "%" not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view text);

// Windows-1250's capital letters lowered, ASCII and accented alike (Ž to ž,
// Ł to ł); every other byte stays itself. Not the locale's: a fixed table.
char LowerWindows1250(char c);
