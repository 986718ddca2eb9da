#include "platform/win32/ui/Painter.h"

#include <algorithm>

#include "platform/win32/ui/Gdi.h"

TPainter::~TPainter() {
  for (const auto& [key, font] : fonts_) ::DeleteObject(font);
  for (auto& [image, picture] : pictures_) Free(picture);
}

HFONT TPainter::Font(const TFont& font) {
  HFONT& f = fonts_[{font.Name, font.Height, font.Bold}];
  if (f == nullptr) f = MakeFont(font);
  return f;
}

void TPainter::Forget(const TImage& image) {
  if (const auto it = pictures_.find(&image); it != pictures_.end()) {
    Free(it->second);
    pictures_.erase(it);
  }
}

TSize TPainter::TextExtent(const TFont& font, const AnsiText& text) {
  const SIZE size = ::TextExtent(Font(font), text);
  return {static_cast<int>(size.cx), static_cast<int>(size.cy)};
}

TSize TPainter::PictureSize(const TImage& image) {
  const TPicture* picture = Picture(image);
  return picture != nullptr ? TSize{picture->Width, picture->Height} : TSize{};
}

TPainter::TPicture* TPainter::Picture(const TImage& image) {
  // The picture may be set after the control was placed, so a decoded one
  // holds only while its bytes stay the same.
  TPicture& picture = pictures_[&image];
  if (picture.Source != image.Picture) {
    Free(picture);
    picture.Source = image.Picture;
    picture.Bitmap = DecodeJpeg(image.Picture, picture.Width, picture.Height);
  }
  return picture.Bitmap != nullptr ? &picture : nullptr;
}

// The picture at a size: as decoded, or scaled once for each new size (as
// decoded where that fails). width and height become the size it has.
HBITMAP TPainter::BitmapAt(TPicture& picture, int& width, int& height) {
  if (width != picture.Width || height != picture.Height) {
    if (picture.Scaled == nullptr || picture.ScaledWidth != width || picture.ScaledHeight != height) {
      if (picture.Scaled != nullptr) ::DeleteObject(picture.Scaled);
      picture.Scaled = ScaleBitmap(picture.Bitmap, width, height);
      picture.ScaledWidth = width;
      picture.ScaledHeight = height;
    }
    if (picture.Scaled != nullptr) return picture.Scaled;
  }
  width = picture.Width;
  height = picture.Height;
  return picture.Bitmap;
}

void TPainter::Free(TPicture& picture) {
  if (picture.Bitmap != nullptr) ::DeleteObject(picture.Bitmap);
  if (picture.Scaled != nullptr) ::DeleteObject(picture.Scaled);
  picture.Bitmap = picture.Scaled = nullptr;
}

void TPainter::PaintPicture(HDC image, HDC dc, const TImage& picture) {
  TPicture* p = Picture(picture);
  if (p == nullptr) return;
  // An auto-sized picture fills its control, which the layout's scale
  // sized; another shows as decoded, cut to its control.
  int shownWidth = p->Width, shownHeight = p->Height;
  HBITMAP shown = p->Bitmap;
  if (picture.AutoSize) {
    shownWidth = picture.Width;
    shownHeight = picture.Height;
    shown = BitmapAt(*p, shownWidth, shownHeight);
  }
  const HDC source = ::CreateCompatibleDC(dc);
  const HGDIOBJ oldSource = ::SelectObject(source, shown);
  ::BitBlt(image, picture.Left, picture.Top, std::min(shownWidth, picture.Width),
           std::min(shownHeight, picture.Height), source, 0, 0, SRCCOPY);
  ::SelectObject(source, oldSource);
  ::DeleteDC(source);
}

void TPainter::Paint(HWND hwnd, const TWinControl& container) {
  PAINTSTRUCT ps;
  const HDC dc = ::BeginPaint(hwnd, &ps);
  RECT client{};
  ::GetClientRect(hwnd, &client);
  const int width = client.right, height = client.bottom;
  // The whole panel goes through one off-screen picture: no flicker.
  const HDC image = ::CreateCompatibleDC(dc);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(dc, width, height);
  const HGDIOBJ oldBitmap = ::SelectObject(image, bitmap);

  const HBRUSH back = ::CreateSolidBrush(ResolveColor(BackgroundColor(container)));
  ::FillRect(image, &client, back);
  ::DeleteObject(back);
  const auto* panel = dynamic_cast<const TPanel*>(&container);
  if (panel != nullptr && panel->BevelOuter != TBevelCut::None) {
    RECT edge = client;
    for (int i = 0; i < panel->BevelWidth; ++i) {
      ::DrawEdge(image, &edge, panel->BevelOuter == TBevelCut::Raised ? BDR_RAISEDINNER : BDR_SUNKENOUTER,
                 BF_RECT);
      ::InflateRect(&edge, -1, -1);
    }
  }
  ::SetBkMode(image, TRANSPARENT);
  if (panel != nullptr && !panel->Caption.empty()) {
    const HGDIOBJ oldFont = ::SelectObject(image, Font(TextFont(container)));
    RECT text = client;
    ::DrawTextA(image, panel->Caption.c_str(), static_cast<int>(panel->Caption.size()), &text,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::SelectObject(image, oldFont);
  }

  for (const TControl* c : container.Controls()) {
    if (!c->Visible()) continue;
    if (const auto* label = dynamic_cast<const TLabel*>(c)) {
      const TFont& font = TextFont(*label);
      const HGDIOBJ oldFont = ::SelectObject(image, Font(font));
      ::SetTextColor(image, ResolveColor(font.Color));
      RECT text{label->Left, label->Top, label->Left + label->Width, label->Top + label->Height};
      ::DrawTextA(image, label->Caption().c_str(), static_cast<int>(label->Caption().size()), &text,
                  DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
      ::SelectObject(image, oldFont);
    } else if (const auto* picture = dynamic_cast<const TImage*>(c)) {
      PaintPicture(image, dc, *picture);
    } else if (const auto* gauge = dynamic_cast<const TGauge*>(c)) {
      PaintGauge(image, *gauge, gauge->Left, gauge->Top, gauge->Width, gauge->Height, Font(TextFont(*gauge)));
    }
  }

  ::BitBlt(dc, 0, 0, width, height, image, 0, 0, SRCCOPY);
  ::SelectObject(image, oldBitmap);
  ::DeleteObject(bitmap);
  ::DeleteDC(image);
  ::EndPaint(hwnd, &ps);
}
