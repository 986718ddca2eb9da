#pragma once
// What the FLTK peers paint, worked out apart from FLTK so it can be checked
// without a display.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/Controls.h"

struct TRgb {
  std::uint8_t R = 0, G = 0, B = 0;
  bool operator==(const TRgb&) const = default;
};

// An RGB word as it is; a system colour as this platform shows it.
TRgb ResolveColor(TColor color);
// The colour a pixel of the given colour turns into when it is inverted.
TRgb Inverse(TRgb color);

struct TRect {
  int X = 0, Y = 0, W = 0, H = 0;
  bool operator==(const TRect&) const = default;
};

// One picture of the gauge in its own coordinates: the frame, the inner area
// in the background colour, the bar from its left edge, and the percentage
// drawn in each area's inverse so it reads over both.
struct TGaugePicture {
  bool Frame = false;  // a one-pixel black rectangle around the whole gauge
  TRect Inner;
  TRgb Back;
  TRgb Bar;
  int BarWidth = 0;  // 0: no bar
  std::string Text;  // empty when the gauge shows no text
  TRgb TextOverBack;
  TRgb TextOverBar;
};

TGaugePicture PlanGauge(const TGauge& gauge, int width, int height);

// A round red error sign with a white cross, anti-aliased, as RGBA bytes of
// size x size pixels; transparent outside the circle.
std::vector<std::uint8_t> ErrorIcon(int size);

// The width in pixels of a piece of UTF-8 text, in the font it is drawn in.
using TTextWidth = std::function<int(const std::string&)>;

// The lines a message box shows for a UTF-8 text: broken at the line breaks
// it holds and, where a line is wider than maxWidth, between words; a word
// wider on its own is broken between characters. Spaces at a break go.
std::vector<std::string> WrapText(const std::string& text, int maxWidth, const TTextWidth& width);
