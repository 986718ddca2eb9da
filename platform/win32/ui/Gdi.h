#pragma once
// GDI pieces of the widget set, apart from its windows so tests can draw
// them into memory bitmaps.
// clang-format off
// Ours first: windows.h turns RGB and Get?Value of framework/Types.h into macros.
#include "framework/Controls.h"
#include <windows.h>
// clang-format on

#include <cstdint>
#include <vector>

// An RGB word as it is; a system colour (high byte 0xFF) from the system.
COLORREF ResolveColor(TColor color);

// Arial (or the font named) at the character height given, Central European
// character set, so the A functions draw Windows-1250 text.
HFONT MakeFont(const TFont& font);

// A JPEG file decoded by the platform codec into a top-down 32-bit DIB
// section; nullptr when it cannot be decoded. COM must be initialised.
HBITMAP DecodeJpeg(const std::vector<std::uint8_t>& jpeg, int& width, int& height);
// The same through OLE's picture decoder, which Windows without WIC has too.
HBITMAP DecodeJpegWithOle(const std::vector<std::uint8_t>& jpeg, int& width, int& height);

// A top-down 32-bit DIB section like DecodeJpeg's, scaled smoothly to width
// x height into a new one; nullptr when it cannot be read or made. (Which
// way up a DIB section lies cannot be read back: Wine answers a positive
// height for every one.)
HBITMAP ScaleBitmap(HBITMAP bitmap, int width, int height);

// The gauge at (x, y) of dc, width by height, drawn by its plan through an
// off-screen bitmap, the percentage inverting what lies beneath it.
void PaintGauge(HDC dc, const TGauge& gauge, int x, int y, int width, int height, HFONT font);

// Size of a text in a font, as a label sizes itself.
SIZE TextExtent(HFONT font, const AnsiText& text);
