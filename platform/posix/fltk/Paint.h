#pragma once
// What the FLTK peers paint, worked out apart from FLTK so it can be checked
// without a display.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/Look.h"

struct TRgb {
  std::uint8_t R = 0, G = 0, B = 0;
  bool operator==(const TRgb&) const = default;
};

// An RGB word as it is; a system colour as this platform shows it.
TRgb ResolveColor(TColor color);
// The colour a pixel of the given colour turns into when it is inverted.
TRgb Inverse(TRgb color);

// The colours the gauge is painted in: its background and its bar as this
// platform shows them, and the percentage over each in that one's inverse,
// so it reads over both.
struct TGaugeInks {
  TRgb Back;
  TRgb Bar;
  TRgb TextOverBack;
  TRgb TextOverBar;
};

TGaugeInks GaugeInks(const TGaugePlan& plan);

// A round red error sign with a white cross, anti-aliased, as RGBA bytes of
// size x size pixels; transparent outside the circle.
std::vector<std::uint8_t> ErrorIcon(int size);

// The width in pixels of a piece of UTF-8 text, in the font it is drawn in.
using TTextWidth = std::function<int(const std::string&)>;

// The lines a message box shows for a UTF-8 text: broken at the line breaks
// it holds and, where a line is wider than maxWidth, between words; a word
// wider on its own is broken between characters. Spaces at a break go.
std::vector<std::string> WrapText(const std::string& text, int maxWidth, const TTextWidth& width);
