#pragma once
// Conversion tables of ConvertCodePage, one output byte for each input byte
// from 0x81 to 0xFF (index = byte - 0x81). 0x80 has no entry: it is never converted.
#include <array>
#include <cstdint>

namespace textconv {

inline constexpr std::uint8_t kFirstConverted = 0x81;
using CodePageTable = std::array<std::uint8_t, 0x100 - kFirstConverted>;

extern const CodePageTable kWindowsToLatin2;
extern const CodePageTable kWindowsToKamenicky;
extern const CodePageTable kWindowsToAscii;
extern const CodePageTable kLatin2ToWindows;
extern const CodePageTable kKamenickyToWindows;

}  // namespace textconv
