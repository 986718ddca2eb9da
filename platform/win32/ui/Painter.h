#pragma once
// The painting of the windowed controls and of what they hold: a container
// (the form's page, a panel) paints its background, bevel and caption, and
// the labels, pictures and gauges lying on it, as graphic controls are.
// Holds the fonts and the decoded pictures that takes.
// clang-format off
#include "framework/Look.h"
#include <windows.h>
// clang-format on

#include <cstdint>
#include <map>
#include <tuple>
#include <unordered_map>
#include <vector>

class TPainter final : public IMeasure {
 public:
  TPainter() = default;
  ~TPainter() override;
  TPainter(const TPainter&) = delete;
  TPainter& operator=(const TPainter&) = delete;

  HFONT Font(const TFont& font);
  // The picture's bitmaps go with the control.
  void Forget(const TImage& image);
  // Answers WM_PAINT of the container's window.
  void Paint(HWND hwnd, const TWinControl& container);

  TSize TextExtent(const TFont& font, const AnsiText& text) override;
  TSize PictureSize(const TImage& image) override;

 private:
  struct TPicture {
    std::vector<std::uint8_t> Source;  // what Bitmap was decoded from
    HBITMAP Bitmap = nullptr;
    int Width = 0, Height = 0;
    // Bitmap scaled to the size the control has, where that is another.
    HBITMAP Scaled = nullptr;
    int ScaledWidth = 0, ScaledHeight = 0;
  };

  TPicture* Picture(const TImage& image);
  static HBITMAP BitmapAt(TPicture& picture, int& width, int& height);
  static void Free(TPicture& picture);
  void PaintPicture(HDC image, HDC dc, const TImage& picture);

  std::map<std::tuple<AnsiText, int, bool>, HFONT> fonts_;
  std::unordered_map<const TImage*, TPicture> pictures_;
};
