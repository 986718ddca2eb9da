#pragma once
// Basic types shared by the whole program.
#include <cstdint>
#include <string>

// 8-bit text in the Windows-1250 code page. Length is bytes; every text
// operation of the program works on bytes.
using AnsiText = std::string;

// A platform colour word laid out as 0x00BBGGRR. (Named apart from the
// Windows macros RGB and GetRValue, which would swallow them.)
using TColor = std::uint32_t;

constexpr TColor ColorRGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}
constexpr std::uint8_t RedOf(TColor c) { return static_cast<std::uint8_t>(c & 0xFF); }
constexpr std::uint8_t GreenOf(TColor c) { return static_cast<std::uint8_t>((c >> 8) & 0xFF); }
constexpr std::uint8_t BlueOf(TColor c) { return static_cast<std::uint8_t>((c >> 16) & 0xFF); }
