#pragma once
// Pictures as plain pixels, and their smooth scaling: the widget sets draw
// the flags at the size the layout's scale gives them.
#include <cstdint>
#include <vector>

// Rows of pixels from the top, Channels bytes a pixel (3 for RGB, 4 for BGRX).
struct TPixels {
  int Width = 0;
  int Height = 0;
  int Channels = 3;
  std::vector<std::uint8_t> Bytes;
  bool operator==(const TPixels&) const = default;
};

// The picture resampled to width x height: each channel weighted over the
// source pixels nearest to each new one (a tent filter, widened to the
// source pixels it covers when shrinking), so edges blend instead of
// stepping. The same size gives the picture unchanged; an empty picture or
// size gives an empty one.
TPixels ScalePixels(const TPixels& picture, int width, int height);
