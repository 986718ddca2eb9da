#include "platform/posix/fltk/Paint.h"

#include <algorithm>
#include <cmath>

TRgb ResolveColor(TColor color) {
  if ((color & 0xFF000000u) == 0) return {RedOf(color), GreenOf(color), BlueOf(color)};
  // The colours of the platform's default scheme.
  switch (color) {
    case clBtnFace:
      return {240, 240, 240};
    case clWindowText:
      return {0, 0, 0};
    case clBtnShadow:
      return {160, 160, 160};
    case clBtnHighlight:
      return {255, 255, 255};
    default:
      return {0, 0, 0};
  }
}

TRgb Inverse(TRgb color) {
  return {static_cast<std::uint8_t>(255 - color.R), static_cast<std::uint8_t>(255 - color.G),
          static_cast<std::uint8_t>(255 - color.B)};
}

TGaugeInks GaugeInks(const TGaugePlan& plan) {
  const TRgb back = ResolveColor(plan.Back), bar = ResolveColor(plan.Bar);
  return {back, bar, Inverse(back), Inverse(bar)};
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

namespace {

// The offset of the UTF-8 character after the one at i.
std::size_t NextCharacter(const std::string& text, std::size_t i) {
  ++i;
  while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  return i;
}

void WrapParagraph(const std::string& paragraph, int maxWidth, const TTextWidth& width,
                   std::vector<std::string>& lines) {
  std::string line;
  bool started = false;  // line holds the paragraph's text so far
  std::size_t at = 0;
  for (;;) {
    const std::size_t wordStart = paragraph.find_first_not_of(' ', at);
    if (wordStart == std::string::npos) break;
    std::size_t wordEnd = paragraph.find(' ', wordStart);
    if (wordEnd == std::string::npos) wordEnd = paragraph.size();
    const std::string spaces = paragraph.substr(at, wordStart - at);
    const std::string word = paragraph.substr(wordStart, wordEnd - wordStart);
    at = wordEnd;
    if (started && width(line + spaces + word) <= maxWidth) {
      line += spaces + word;
      continue;
    }
    // The word begins a line: the paragraph's first keeps its indent.
    std::string piece = started ? word : spaces + word;
    if (started) lines.push_back(line);
    started = true;
    while (width(piece) > maxWidth) {
      std::size_t cut = NextCharacter(piece, 0);  // one character at least
      for (std::size_t next = NextCharacter(piece, cut); next <= piece.size() && cut < piece.size();
           next = NextCharacter(piece, next)) {
        if (width(piece.substr(0, next)) > maxWidth) break;
        cut = next;
        if (next == piece.size()) break;
      }
      if (cut >= piece.size()) break;
      lines.push_back(piece.substr(0, cut));
      piece.erase(0, cut);
    }
    line = piece;
  }
  lines.push_back(line);
}

}  // namespace

std::vector<std::string> WrapText(const std::string& text, int maxWidth, const TTextWidth& width) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    std::string paragraph = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!paragraph.empty() && paragraph.back() == '\r') paragraph.pop_back();
    WrapParagraph(paragraph, maxWidth, width, lines);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}
