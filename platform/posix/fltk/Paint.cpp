#include "platform/posix/fltk/Paint.h"

#include <algorithm>
#include <cmath>

#include "framework/Exception.h"

TRgb ResolveColor(TColor color) {
  if ((color & 0xFF000000u) == 0) return {RedOf(color), GreenOf(color), BlueOf(color)};
  // The colours of the platform's default scheme.
  switch (color) {
    case clBtnFace:
      return {240, 240, 240};
    case clWindowText:
      return {0, 0, 0};
    default:
      return {0, 0, 0};
  }
}

TRgb Inverse(TRgb color) {
  return {static_cast<std::uint8_t>(255 - color.R), static_cast<std::uint8_t>(255 - color.G),
          static_cast<std::uint8_t>(255 - color.B)};
}

TGaugePicture PlanGauge(const TGauge& gauge, int width, int height) {
  TGaugePicture picture;
  picture.Frame = gauge.BorderStyle == TBorderStyle::Single;
  const int border = picture.Frame ? 1 : 0;
  picture.Inner = {border, border, std::max(0, width - 2 * border), std::max(0, height - 2 * border)};
  picture.Back = ResolveColor(gauge.BackColor);
  picture.Bar = ResolveColor(gauge.ForeColor());
  const std::int32_t percent = gauge.PercentDone();
  picture.BarWidth = TGauge::BarWidth(picture.Inner.W, percent);
  if (gauge.ShowText) picture.Text = FormatText("%d%%", percent);
  picture.TextOverBack = Inverse(picture.Back);
  picture.TextOverBar = Inverse(picture.Bar);
  return picture;
}

namespace {

// Coverage of one pixel by a shape, from a grid of samples inside it.
template <class Inside>
double Coverage(int px, int py, Inside inside) {
  constexpr int kGrid = 4;
  int hits = 0;
  for (int sy = 0; sy < kGrid; ++sy) {
    for (int sx = 0; sx < kGrid; ++sx) {
      if (inside(px + (sx + 0.5) / kGrid, py + (sy + 0.5) / kGrid)) ++hits;
    }
  }
  return static_cast<double>(hits) / (kGrid * kGrid);
}

std::uint8_t Mix(std::uint8_t a, std::uint8_t b, double t) {
  return static_cast<std::uint8_t>(std::lround(a + (b - a) * t));
}

}  // namespace

std::vector<std::uint8_t> ErrorIcon(int size) {
  const double c = size / 2.0;
  const double radius = size / 2.0 - 0.5;
  const double arm = size * 0.22;         // half the length of a stroke along each axis
  const double halfStroke = size * 0.07;  // half the stroke's thickness
  const auto inCircle = [&](double x, double y) { return std::hypot(x - c, y - c) <= radius; };
  const auto inCross = [&](double x, double y) {
    const double dx = x - c, dy = y - c;
    if (std::fabs(dx) > arm + halfStroke || std::fabs(dy) > arm + halfStroke) return false;
    return std::fabs(dx - dy) / std::sqrt(2.0) <= halfStroke ||
           std::fabs(dx + dy) / std::sqrt(2.0) <= halfStroke;
  };
  const TRgb red{200, 30, 30};
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(size) * static_cast<std::size_t>(size) * 4);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double disc = Coverage(x, y, inCircle);
      const double cross =
          Coverage(x, y, [&](double sx, double sy) { return inCircle(sx, sy) && inCross(sx, sy); });
      const std::size_t i =
          (static_cast<std::size_t>(y) * static_cast<std::size_t>(size) + static_cast<std::size_t>(x)) * 4;
      const double t = disc > 0 ? cross / disc : 0;
      rgba[i] = Mix(red.R, 255, t);
      rgba[i + 1] = Mix(red.G, 255, t);
      rgba[i + 2] = Mix(red.B, 255, t);
      rgba[i + 3] = static_cast<std::uint8_t>(std::lround(disc * 255));
    }
  }
  return rgba;
}
