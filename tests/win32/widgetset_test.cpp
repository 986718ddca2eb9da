// The Win32 widget set with real windows (under Wine: on an X display).
// clang-format off
#include "platform/win32/ui/Win32WidgetSet.h"
#include "platform/win32/ui/Gdi.h"
#include "bootstrap/Flags.h"
#include "framework/MainThread.h"
#include <objbase.h>
// clang-format on

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

struct TPixel {
  int R, G, B;
  bool operator==(const TPixel&) const = default;
};
TPixel Of(COLORREF c) {
  return {GetRValue(c), GetGValue(c), GetBValue(c)};
}
TPixel Inverse(TPixel p) {
  return {255 - p.R, 255 - p.G, 255 - p.B};
}
void PrintTo(const TPixel& p, std::ostream* os) {
  *os << "rgb(" << p.R << "," << p.G << "," << p.B << ")";
}

// A 32-bit top-down DIB section to draw into and read back.
class TCanvas {
 public:
  TCanvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<const std::uint8_t*>(bits);
    dc_ = ::CreateCompatibleDC(nullptr);
    old_ = ::SelectObject(dc_, bitmap_);
  }
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  ~TCanvas() {
    ::SelectObject(dc_, old_);
    ::DeleteDC(dc_);
    ::DeleteObject(bitmap_);
  }
  HDC Dc() const { return dc_; }
  TPixel At(int x, int y) const {
    ::GdiFlush();
    const std::uint8_t* p =
        bits_ +
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 4;
    return {p[2], p[1], p[0]};
  }
  int Count(int x0, int y0, int x1, int y1, TPixel colour) const {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) n += At(x, y) == colour ? 1 : 0;
    }
    return n;
  }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  int width_, height_;
  HBITMAP bitmap_ = nullptr;
  const std::uint8_t* bits_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

TPixel PixelOf(HBITMAP bitmap, int x, int y) {
  DIBSECTION dib{};
  ::GetObjectA(bitmap, sizeof dib, &dib);
  const auto* row = static_cast<const std::uint8_t*>(dib.dsBm.bmBits) + y * dib.dsBm.bmWidthBytes;
  return {row[x * 4 + 2], row[x * 4 + 1], row[x * 4]};
}

bool Reddish(TPixel p) {
  return p.R > 150 && p.G < 90 && p.B < 90;
}
bool Blueish(TPixel p) {
  return p.B > 90 && p.R < 90 && p.G < 110;
}
bool Whiteish(TPixel p) {
  return p.R > 200 && p.G > 200 && p.B > 200;
}

class ComScope {
 public:
  ComScope() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~ComScope() { ::CoUninitialize(); }
};
}  // namespace

// ---- pictures and the gauge, drawn into memory

// WIC where Windows has it, OLE's decoder on an XP without it: the same flags.
TEST(Win32Pictures, FlagsDecodeFromTheirJpegBytesWithEitherDecoder) {
  ComScope com;
  for (const auto decode : {&DecodeJpeg, &DecodeJpegWithOle}) {
    int w = 0, h = 0;
    const HBITMAP cz = decode(CzechFlagJpeg(), w, h);
    ASSERT_NE(cz, nullptr);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 27);
    // White over red, the blue wedge from the hoist.
    EXPECT_TRUE(Whiteish(PixelOf(cz, 36, 3)));
    EXPECT_TRUE(Reddish(PixelOf(cz, 36, 23)));
    EXPECT_TRUE(Blueish(PixelOf(cz, 3, 13)));
    ::DeleteObject(cz);

    const HBITMAP gb = decode(UnitedKingdomFlagJpeg(), w, h);
    ASSERT_NE(gb, nullptr);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 27);
    EXPECT_TRUE(Reddish(PixelOf(gb, 20, 13))) << "St George's cross in the middle";
    ::DeleteObject(gb);
  }
}

TEST(Win32Pictures, BytesThatAreNoJpegGiveNoPicture) {
  ComScope com;
  int w = 7, h = 7;
  for (const auto decode : {&DecodeJpeg, &DecodeJpegWithOle}) {
    EXPECT_EQ(decode({}, w, h), nullptr);
    EXPECT_EQ(decode({0xFF, 0xD8, 0xFF, 0x00, 0x12}, w, h), nullptr);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
  }
}

class Win32GaugePaint : public ::testing::Test {
 protected:
  static constexpr int kW = 202, kH = 30;  // inner width 200
  static constexpr TPixel kBlack{0, 0, 0}, kWhite{255, 255, 255}, kFore{0x95, 0x00, 0x95};
  void SetUp() override { font = MakeFont(TFont{}); }
  void TearDown() override { ::DeleteObject(font); }
  void Paint(std::int32_t progress) {
    gauge.SetForeColor(RGB(0x95, 0x00, 0x95));
    gauge.SetProgress(progress);
    // Something else on the canvas first: the gauge must cover all of its area.
    ::PatBlt(canvas.Dc(), 0, 0, canvas.Width(), canvas.Height(), WHITENESS);
    PaintGauge(canvas.Dc(), gauge, 1, 1, kW, kH, font);
  }
  TGauge gauge{nullptr};
  TCanvas canvas{kW + 2, kH + 2};
  HFONT font = nullptr;
};

TEST_F(Win32GaugePaint, FrameBackgroundAndBarOfTheRightWidth) {
  Paint(25);  // bar of 50 of the 200 inner pixels
  EXPECT_EQ(canvas.At(1, 1), kBlack);
  EXPECT_EQ(canvas.At(kW, kH), kBlack);
  // The first inner row lies above the text.
  EXPECT_EQ(canvas.At(2, 2), kFore);
  EXPECT_EQ(canvas.At(51, 2), kFore);
  EXPECT_EQ(canvas.At(52, 2), kWhite);
  EXPECT_EQ(canvas.Count(2, 2, kW, 3, kFore), 50);
}

TEST_F(Win32GaugePaint, NoBarAtZeroAndAFullBarAtAHundred) {
  Paint(0);
  EXPECT_EQ(canvas.Count(2, 2, kW, kH, kFore), 0);
  Paint(100);
  EXPECT_EQ(canvas.Count(2, 2, kW, 3, kFore), 200);
}

TEST_F(Win32GaugePaint, TheTextInvertsWhatLiesBeneathIt) {
  Paint(0);
  // "0%" over the white background: black letters, nothing else touched.
  EXPECT_GT(canvas.Count(2, 2, kW, kH, kBlack), 10);
  EXPECT_EQ(canvas.Count(2, 2, kW, 3, kBlack), 0);

  Paint(50);  // "50%" straddles the end of the bar
  EXPECT_GT(canvas.Count(2, 2, 101, kH, Inverse(kFore)), 5) << "letters over the bar";
  EXPECT_GT(canvas.Count(102, 2, kW, kH, kBlack), 5) << "letters over the background";
  EXPECT_EQ(canvas.Count(2, 2, kW, kH, kFore) + canvas.Count(2, 2, kW, kH, Inverse(kFore)) +
                canvas.Count(2, 2, kW, kH, kWhite) + canvas.Count(2, 2, kW, kH, kBlack),
            (kW - 2) * (kH - 2))
      << "every pixel is the bar, the background or one of their inverses";
}

TEST_F(Win32GaugePaint, WithoutBorderTheBackgroundReachesTheEdge) {
  gauge.BorderStyle = TBorderStyle::None;
  gauge.BackColor = RGB(0, 255, 0);
  Paint(0);
  EXPECT_EQ(canvas.At(1, 1), (TPixel{0, 255, 0}));
  EXPECT_EQ(canvas.At(kW, kH), (TPixel{0, 255, 0}));
}

// ---- the widget set with real windows

namespace {
class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    Application().SetWidgetSet(&widgets);
    form = new TForm(nullptr);
    form->SetCaption("TERBO");
    form->ClientWidth = 585;
    form->ClientHeight = 113;
    form->Width = 585;
    form->Height = 113;
    form->Font = TFont{"Arial", 13, false, clWindowText};
    notebook = Place<TNotebook>(form, 0, 0, 585, 113);
    page0 = notebook->AddPage("prvni");
    page1 = notebook->AddPage("Default");
    panel = Place<TPanel>(page0, 0, 0, 585, 113);
    panel->SetColor(RGB(201, 86, 201));
    label = Place<TLabel>(panel, 205, 20, 181, 16);
    label->SetCaption(
        "V\xfd"
        "b\xec"
        "r jazyka / Select language");
    image = Place<TImage>(panel, 240, 45, 10, 10);
    image->Picture = CzechFlagJpeg();
    image->Cursor = TCursor::HandPoint;
    image->OnClick = TNotifyEvent(this, &Win32Window::Clicked);
    gauge = Place<TGauge>(panel, 10, 80, 300, 30);
    button = Place<TButton>(panel, 40, 30, 75, 25);
    button->SetVisible(false);
    notebook->SetPageIndex(0);
  }
  void TearDown() override {
    delete form;
    Application().SetWidgetSet(nullptr);
  }
  template <class T>
  T* Place(TWinControl* parent, int left, int top, int width, int height) {
    auto* c = new T(form);
    c->SetParent(parent);
    c->SetBounds(left, top, width, height);
    return c;
  }
  HWND Window(TControl& c) { return static_cast<HWND>(widgets.Handle(c)); }
  void Clicked(TObject*) { ++clicks; }
  void Show() {
    ::ShowWindow(Window(*form), SW_SHOWNORMAL);
    ::UpdateWindow(Window(*form));
    widgets.ProcessMessages();
  }
  // Pumps until done() or a generous deadline; true when done.
  template <class Done>
  bool PumpUntil(Done done) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!done() && Clock::now() < deadline) {
      widgets.ProcessMessages();
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return done();
  }
  void Press(HWND hwnd, int x, int y, int releaseX, int releaseY) {
    ::SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::SendMessageA(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(releaseX, releaseY));
  }

  TWin32WidgetSet widgets;
  TForm* form = nullptr;
  TNotebook* notebook = nullptr;
  TPage* page0 = nullptr;
  TPage* page1 = nullptr;
  TPanel* panel = nullptr;
  TLabel* label = nullptr;
  TImage* image = nullptr;
  TGauge* gauge = nullptr;
  TButton* button = nullptr;
  int clicks = 0;
};
}  // namespace

TEST_F(Win32Window, TheFormIsAFixedDialogOfTheGivenClientSizeCentredOnTheScreen) {
  const HWND hwnd = Window(*form);
  ASSERT_NE(hwnd, nullptr);
  RECT client{};
  ::GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 585);
  EXPECT_EQ(client.bottom, 113);
  const auto style = static_cast<DWORD>(::GetWindowLongPtrA(hwnd, GWL_STYLE));
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
  RECT frame{};
  ::GetWindowRect(hwnd, &frame);
  EXPECT_LE(std::abs((frame.left + frame.right) / 2 - ::GetSystemMetrics(SM_CXSCREEN) / 2), 1);
  EXPECT_LE(std::abs((frame.top + frame.bottom) / 2 - ::GetSystemMetrics(SM_CYSCREEN) / 2), 1);
  char caption[64] = {};
  ::GetWindowTextA(hwnd, caption, sizeof caption);
  EXPECT_STREQ(caption, "TERBO");
  form->SetCaption("KALMIRO");
  ::GetWindowTextA(hwnd, caption, sizeof caption);
  EXPECT_STREQ(caption, "KALMIRO");
}

TEST_F(Win32Window, TheApplicationWindowCarriesTheTitleAndOwnsTheForm) {
  widgets.SetApplicationTitle("Terbo");
  const HWND form_window = Window(*form);
  const HWND owner = ::GetWindow(form_window, GW_OWNER);
  ASSERT_NE(owner, nullptr);
  char title[64] = {};
  ::GetWindowTextA(owner, title, sizeof title);
  EXPECT_STREQ(title, "Terbo");
}

TEST_F(Win32Window, LabelsAndPicturesSizeThemselves) {
  Window(*form);
  EXPECT_EQ(image->Width, 40);
  EXPECT_EQ(image->Height, 27);
  const int before = label->Width;
  EXPECT_GT(before, 100);
  EXPECT_GE(label->Height, 13);
  label->SetCaption(
      "V\xfd"
      "b\xec"
      "r jazyka / Select language / V\xfd"
      "b\xec"
      "r jazyka");
  EXPECT_GT(label->Width, before);
  label->SetCaption("x");
  EXPECT_LT(label->Width, 20);

  auto* bold = Place<TLabel>(panel, 10, 10, 479, 19);
  bold->ParentFont = false;
  bold->Font = TFont{"Arial", 16, true, clWindowText};
  bold->SetCaption("x");
  EXPECT_GT(bold->Height, label->Height);
}

TEST_F(Win32Window, OnlyTheShownPageAndVisibleControlsHaveVisibleWindows) {
  Show();
  EXPECT_TRUE(::IsWindowVisible(Window(*page0)));
  EXPECT_FALSE(::IsWindowVisible(Window(*page1)));
  EXPECT_FALSE(::IsWindowVisible(Window(*button)));
  notebook->SetPageIndex(1);
  EXPECT_FALSE(::IsWindowVisible(Window(*page0)));
  EXPECT_TRUE(::IsWindowVisible(Window(*page1)));
}

TEST_F(Win32Window, APictureIsClickedByAPressAndAReleaseOnIt) {
  const HWND hwnd = Window(*panel);
  ASSERT_NE(hwnd, nullptr);
  Press(hwnd, 260, 58, 260, 58);
  EXPECT_EQ(clicks, 1);
  Press(hwnd, 260, 58, 400, 100);  // released elsewhere
  Press(hwnd, 100, 100, 260, 58);  // pressed elsewhere
  Press(hwnd, 230, 25, 230, 25);   // on the label
  EXPECT_EQ(clicks, 1);
}

TEST_F(Win32Window, ThePanelPaintsItsColourWithARaisedBevelAndTransparentLabels) {
  Show();
  const HWND hwnd = Window(*panel);
  const HDC dc = ::GetDC(hwnd);
  const TPixel colour{201, 86, 201};
  EXPECT_EQ(Of(::GetPixel(dc, 500, 60)), colour);
  EXPECT_EQ(Of(::GetPixel(dc, 0, 50)), Of(::GetSysColor(COLOR_3DHILIGHT)));
  EXPECT_EQ(Of(::GetPixel(dc, 584, 50)), Of(::GetSysColor(COLOR_3DSHADOW)));
  // Around the letters the label shows the panel, not a background of its own.
  EXPECT_EQ(Of(::GetPixel(dc, label->Left + label->Width - 1, label->Top)), colour);
  int ink = 0;
  for (int y = label->Top; y < label->Top + label->Height; ++y) {
    for (int x = label->Left; x < label->Left + label->Width; ++x)
      ink += Of(::GetPixel(dc, x, y)) == colour ? 0 : 1;
  }
  EXPECT_GT(ink, 50);
  EXPECT_TRUE(Reddish(Of(::GetPixel(dc, 276, 68)))) << "the Czech flag's red half";
  EXPECT_EQ(Of(::GetPixel(dc, gauge->Left, gauge->Top)), (TPixel{0, 0, 0})) << "the gauge's frame";
  ::ReleaseDC(hwnd, dc);
}

// At 144 dpi everything is half as large again, and the flag fills its
// larger area: drawn there, and clicked anywhere on it.
TEST_F(Win32Window, AScaledLayoutDrawsAndClicksThePictureOverItsWholeArea) {
  form->ScaleTo(144);
  Show();
  RECT client{};
  ::GetClientRect(Window(*form), &client);
  EXPECT_EQ((std::vector<LONG>{client.right, client.bottom}), (std::vector<LONG>{878, 170}));
  EXPECT_EQ((std::vector<int>{image->Left, image->Top, image->Width, image->Height}),
            (std::vector<int>{360, 68, 60, 41}));
  const HWND hwnd = Window(*panel);
  const HDC dc = ::GetDC(hwnd);
  EXPECT_TRUE(Blueish(Of(::GetPixel(dc, 362, 88)))) << "the wedge at the hoist";
  EXPECT_TRUE(Whiteish(Of(::GetPixel(dc, 417, 70)))) << "the white half, out at the fly";
  EXPECT_TRUE(Reddish(Of(::GetPixel(dc, 417, 106)))) << "the red half, out at the fly";
  EXPECT_EQ(Of(::GetPixel(dc, 421, 106)), (TPixel{201, 86, 201})) << "the panel beside it";
  ::ReleaseDC(hwnd, dc);
  Press(hwnd, 418, 107, 418, 107);
  EXPECT_EQ(clicks, 1);
}

TEST_F(Win32Window, TimersTickThroughTheMessageLoopUntilDisabled) {
  TTimer ticking(nullptr), stopped(nullptr);
  int ticks = 0, stoppedTicks = 0;
  struct TCount {
    int* n;
    void Tick(TObject*) { ++*n; }
  } countTicks{&ticks}, countStopped{&stoppedTicks};
  ticking.OnTimer = TNotifyEvent(&countTicks, &TCount::Tick);
  stopped.OnTimer = TNotifyEvent(&countStopped, &TCount::Tick);
  stopped.SetEnabled(false);
  stopped.SetInterval(10);
  stopped.SetEnabled(true);
  stopped.SetEnabled(false);
  ticking.SetEnabled(false);
  ticking.SetInterval(10);
  ticking.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }));
  EXPECT_EQ(stoppedTicks, 0);
  ticking.SetEnabled(false);
  const int at = ticks;
  stopped.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return stoppedTicks >= 2; }));
  EXPECT_EQ(ticks, at);
}

TEST_F(Win32Window, WorkersHandOffToTheUiThreadThroughItsMessages) {
  const DWORD ui = ::GetCurrentThreadId();
  constexpr int kCalls = 500;
  std::atomic<int> done{0};
  int onUi = 0;
  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w) {
    workers.emplace_back([&] {
      for (int i = 0; i < kCalls; ++i)
        MainThreadQueue().RunAndWait([&] { onUi += ::GetCurrentThreadId() == ui ? 1 : 0; });
      ++done;
    });
  }
  // Only the message loop runs here: the hand-offs arrive as posted messages.
  const bool finished = PumpUntil([&] { return done == 3; });
  for (auto& t : workers) t.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(onUi, 3 * kCalls);
}

TEST(Win32WakeUp, APostThatFailsIsTriedAgainSoEveryWorkerIsAnswered) {
  // Two posts of every three fail, the first one too, as a full queue refuses them.
  std::atomic<int> posts{0}, refused{0};
  TWin32WidgetSet widgets([&](void* window, unsigned message) {
    if (posts++ % 3 != 2) {
      ++refused;
      ::SetLastError(ERROR_NOT_ENOUGH_QUOTA);
      return false;
    }
    return ::PostMessageA(static_cast<HWND>(window), message, 0, 0) != FALSE;
  });
  constexpr int kCalls = 50;
  std::atomic<int> done{0};
  int ran = 0;
  std::thread worker([&] {
    for (int i = 0; i < kCalls; ++i) {
      MainThreadQueue().RunAndWait([&] { ++ran; });
      ++done;
    }
  });
  // Only the posted wake-ups run the hand-offs here.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (done < kCalls && Clock::now() < deadline) {
    widgets.ProcessMessages();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  const int answered = done;
  // A worker left waiting is answered here, so the test ends and tells.
  while (done < kCalls) {
    MainThreadQueue().ProcessPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  worker.join();
  widgets.ProcessMessages();
  EXPECT_EQ(answered, kCalls);
  EXPECT_EQ(ran, kCalls);
  EXPECT_GT(refused, 0);
}

TEST_F(Win32Window, ScreenCursorIsTheHourglassUntilSetBack) {
  widgets.SetScreenCursor(TCursor::HourGlass);
  EXPECT_EQ(::GetCursor(), ::LoadCursor(nullptr, IDC_WAIT));
  widgets.SetScreenCursor(TCursor::Default);
  EXPECT_EQ(::GetCursor(), ::LoadCursor(nullptr, IDC_ARROW));
}

namespace {
struct TBoxSeen {
  std::string Title, Text;
  bool Icon = false;
};

// An enumeration callback, so it needs the system's calling convention (a
// lambda would not have it on 32-bit x86).
BOOL CALLBACK NoteBoxChild(HWND child, LPARAM p) {
  auto* s = reinterpret_cast<TBoxSeen*>(p);
  char cls[32] = {};
  ::GetClassNameA(child, cls, sizeof cls);
  const auto style = static_cast<DWORD>(::GetWindowLongPtrA(child, GWL_STYLE));
  if (std::string(cls) == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
    s->Icon = s->Icon || (::IsWindowVisible(child) && ::SendMessageA(child, STM_GETICON, 0, 0) != 0);
  } else if (std::string(cls) == "Static" && (style & SS_TYPEMASK) != SS_ICON) {
    char t[256] = {};
    ::GetWindowTextA(child, t, sizeof t);
    if (t[0] != '\0') s->Text = t;
  }
  return TRUE;
}

// Finds the message box by its title from another thread, notes what it
// shows and presses its OK button.
std::thread Dismiss(const char* title, TBoxSeen& seen) {
  return std::thread([title, &seen] {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    HWND box = nullptr;
    // Visible only once it has been set up.
    while (box == nullptr && Clock::now() < deadline) {
      box = ::FindWindowA("#32770", title);
      if (box != nullptr && !::IsWindowVisible(box)) box = nullptr;
      if (box == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (box == nullptr) return;
    char text[256] = {};
    ::GetWindowTextA(box, text, sizeof text);
    seen.Title = text;
    ::EnumChildWindows(box, NoteBoxChild, reinterpret_cast<LPARAM>(&seen));
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
  });
}
}  // namespace

TEST_F(Win32Window, MessageBoxesCarryTheTitleAndAnIconOnlyForErrors) {
  const struct {
    const char* title;
    const char* text;
    bool error;
  } boxes[] = {{"Terbo", "Download error...", false}, {"Kalmiro", "File not found.", true}};
  for (const auto& box : boxes) {
    TBoxSeen seen;
    std::thread dismiss = Dismiss(box.title, seen);
    widgets.ShowMessage(box.title, box.text, box.error);
    dismiss.join();
    EXPECT_EQ(seen.Title, box.title);
    EXPECT_EQ(seen.Text, box.text);
    EXPECT_EQ(seen.Icon, box.error) << box.title;
  }
}
