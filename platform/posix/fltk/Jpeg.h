#pragma once
// JPEG pictures (the flags) decoded to plain RGB for drawing.
#include <cstddef>
#include <cstdint>
#include <vector>

struct TRgbImage {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Pixels;  // RGB, three bytes a pixel, rows top to bottom

  bool Empty() const noexcept { return Width <= 0 || Height <= 0; }
  // The pixel at x, y as 0x00RRGGBB.
  std::uint32_t At(int x, int y) const;
};

// An empty image when the bytes are not a JPEG file libjpeg can read.
TRgbImage DecodeJpeg(const std::vector<std::uint8_t>& bytes);
