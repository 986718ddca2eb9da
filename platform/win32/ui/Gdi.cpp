#include "platform/win32/ui/Gdi.h"

#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <wincodec.h>

#include <cstdlib>
#include <cstring>

#include "framework/Look.h"
#include "framework/Pixels.h"

namespace {
// Releases a COM interface at the end of its scope.
template <class T>
class TComRef {
 public:
  TComRef() = default;
  TComRef(const TComRef&) = delete;
  TComRef& operator=(const TComRef&) = delete;
  ~TComRef() {
    if (p_ != nullptr) p_->Release();
  }
  T** operator&() noexcept { return &p_; }
  T* operator->() const noexcept { return p_; }
  T* get() const noexcept { return p_; }

 private:
  T* p_ = nullptr;
};

// Selects an object into a DC for the scope, then puts the old one back.
class TSelect {
 public:
  TSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  TSelect(const TSelect&) = delete;
  TSelect& operator=(const TSelect&) = delete;
  ~TSelect() { ::SelectObject(dc_, old_); }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A top-down 32-bit DIB section; bits receives its pixels.
HBITMAP MakeDib(int width, int height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

void Fill(HDC dc, const RECT& rect, COLORREF color) {
  const HBRUSH brush = ::CreateSolidBrush(color);
  ::FillRect(dc, &rect, brush);
  ::DeleteObject(brush);
}
}  // namespace

COLORREF ResolveColor(TColor color) {
  if ((color & 0xFF000000u) == 0xFF000000u) return ::GetSysColor(static_cast<int>(color & 0xFFu));
  return color & 0x00FFFFFFu;
}

HFONT MakeFont(const TFont& font) {
  // A negative height asks for the character height, not the cell height.
  return ::CreateFontA(-font.Height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       EASTEUROPE_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, font.Name.c_str());
}

SIZE TextExtent(HFONT font, const AnsiText& text) {
  SIZE size{0, 0};
  const HDC dc = ::CreateCompatibleDC(nullptr);
  {
    TSelect select(dc, font);
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  }
  ::DeleteDC(dc);
  return size;
}

HBITMAP DecodeJpeg(const std::vector<std::uint8_t>& jpeg, int& width, int& height) {
  width = height = 0;
  if (jpeg.empty()) return nullptr;
  TComRef<IWICImagingFactory> factory;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)))) {
    // XP SP3 has WIC only with .NET 3.0 or its own installer; OLE's picture
    // decoder is there on every Windows.
    return DecodeJpegWithOle(jpeg, width, height);
  }
  TComRef<IWICStream> stream;
  TComRef<IWICBitmapDecoder> decoder;
  TComRef<IWICBitmapFrameDecode> frame;
  TComRef<IWICFormatConverter> converter;
  // WIC only reads the bytes, though its signature takes them writable.
  auto* bytes = const_cast<BYTE*>(jpeg.data());
  if (FAILED(factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromMemory(bytes, static_cast<DWORD>(jpeg.size()))) ||
      FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                              &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr,
                                   0.0, WICBitmapPaletteTypeCustom))) {
    return nullptr;
  }
  UINT w = 0, h = 0;
  if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0) return nullptr;

  void* bits = nullptr;
  // Top-down, as WIC delivers the rows.
  const HBITMAP bitmap = MakeDib(static_cast<int>(w), static_cast<int>(h), &bits);
  if (bitmap == nullptr) return nullptr;
  if (FAILED(converter->CopyPixels(nullptr, w * 4, w * h * 4, static_cast<BYTE*>(bits)))) {
    ::DeleteObject(bitmap);
    return nullptr;
  }
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return bitmap;
}

HBITMAP DecodeJpegWithOle(const std::vector<std::uint8_t>& jpeg, int& width, int& height) {
  width = height = 0;
  if (jpeg.empty()) return nullptr;
  const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, jpeg.size());
  if (memory == nullptr) return nullptr;
  std::memcpy(::GlobalLock(memory), jpeg.data(), jpeg.size());
  ::GlobalUnlock(memory);
  TComRef<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    ::GlobalFree(memory);
    return nullptr;
  }
  TComRef<IPicture> picture;
  OLE_HANDLE handle = 0;
  if (FAILED(::OleLoadPicture(stream.get(), static_cast<LONG>(jpeg.size()), FALSE, IID_IPicture,
                              reinterpret_cast<void**>(&picture))) ||
      FAILED(picture->get_Handle(&handle))) {
    return nullptr;
  }
  // The picture's own bitmap, copied into a DIB section like WIC's.
  const auto source = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
  BITMAP info{};
  if (::GetObjectA(source, sizeof info, &info) != sizeof info || info.bmWidth <= 0 || info.bmHeight <= 0)
    return nullptr;
  void* bits = nullptr;
  const HBITMAP bitmap = MakeDib(info.bmWidth, info.bmHeight, &bits);
  if (bitmap == nullptr) return nullptr;
  const HDC from = ::CreateCompatibleDC(nullptr);
  const HDC to = ::CreateCompatibleDC(nullptr);
  {
    TSelect selectFrom(from, source);
    TSelect selectTo(to, bitmap);
    ::BitBlt(to, 0, 0, info.bmWidth, info.bmHeight, from, 0, 0, SRCCOPY);
  }
  ::DeleteDC(from);
  ::DeleteDC(to);
  width = info.bmWidth;
  height = info.bmHeight;
  return bitmap;
}

HBITMAP ScaleBitmap(HBITMAP bitmap, int width, int height) {
  DIBSECTION dib{};
  if (width <= 0 || height <= 0 || ::GetObjectA(bitmap, sizeof dib, &dib) != sizeof dib ||
      dib.dsBm.bmBitsPixel != 32 || dib.dsBm.bmBits == nullptr) {
    return nullptr;
  }
  ::GdiFlush();
  // 32-bit rows need no padding: the pixels are one block.
  TPixels from{dib.dsBm.bmWidth, std::abs(dib.dsBm.bmHeight), 4, {}};
  const auto* first = static_cast<const std::uint8_t*>(dib.dsBm.bmBits);
  from.Bytes.assign(first,
                    first + static_cast<std::size_t>(from.Width) * static_cast<std::size_t>(from.Height) * 4);
  const TPixels to = ScalePixels(from, width, height);
  void* bits = nullptr;
  const HBITMAP scaled = MakeDib(width, height, &bits);
  if (scaled != nullptr) std::memcpy(bits, to.Bytes.data(), to.Bytes.size());
  return scaled;
}

void PaintGauge(HDC dc, const TGauge& gauge, int x, int y, int width, int height, HFONT font) {
  if (width <= 0 || height <= 0) return;
  const TGaugePlan plan = PlanGauge(gauge, width, height);
  const HDC image = ::CreateCompatibleDC(dc);
  const HBITMAP imageBitmap = ::CreateCompatibleBitmap(dc, width, height);
  {
    TSelect selectImage(image, imageBitmap);
    if (plan.Frame) Fill(image, RECT{0, 0, width, height}, RGB(0, 0, 0));
    const TRect& in = plan.Inner;
    Fill(image, RECT{in.X, in.Y, in.X + in.W, in.Y + in.H}, ResolveColor(plan.Back));
    if (plan.BarWidth >= 1)
      Fill(image, RECT{in.X, in.Y, in.X + plan.BarWidth, in.Y + in.H}, ResolveColor(plan.Bar));

    if (!plan.Text.empty()) {
      // The text goes into a one-bit mask first; XOR-ing the mask onto the
      // picture inverts exactly the pixels the letters cover.
      const AnsiText& text = plan.Text;
      const HDC mask = ::CreateCompatibleDC(dc);
      const HBITMAP maskBitmap = ::CreateBitmap(width, height, 1, 1, nullptr);
      {
        TSelect selectMask(mask, maskBitmap);
        TSelect selectFont(mask, font);
        ::PatBlt(mask, 0, 0, width, height, BLACKNESS);
        ::SetTextColor(mask, RGB(255, 255, 255));
        ::SetBkMode(mask, TRANSPARENT);
        SIZE extent{0, 0};
        ::GetTextExtentPoint32A(mask, text.c_str(), static_cast<int>(text.size()), &extent);
        const TRect at = plan.TextBox(static_cast<int>(extent.cx), static_cast<int>(extent.cy));
        ::TextOutA(mask, at.X, at.Y, text.c_str(), static_cast<int>(text.size()));
        // Mask bits 0 become black and 1 white on the way into the picture.
        ::SetTextColor(image, RGB(0, 0, 0));
        ::SetBkColor(image, RGB(255, 255, 255));
        ::BitBlt(image, 0, 0, width, height, mask, 0, 0, SRCINVERT);
      }
      ::DeleteObject(maskBitmap);
      ::DeleteDC(mask);
    }
    ::BitBlt(dc, x, y, width, height, image, 0, 0, SRCCOPY);
  }
  ::DeleteObject(imageBitmap);
  ::DeleteDC(image);
}
