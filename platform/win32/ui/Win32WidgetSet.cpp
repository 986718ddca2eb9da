// clang-format off
#include "platform/win32/ui/Win32WidgetSet.h"
#include "platform/win32/ui/Gdi.h"
#include "framework/MainThread.h"
#include <commctrl.h>
#include <objbase.h>
// clang-format on

#include <atomic>
#include <map>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace {
// Set while a wake-up message is on its way; one stands for any number of hand-offs.
std::atomic<bool>& WakeUpPosted() {
  static std::atomic<bool> posted{false};
  return posted;
}

constexpr const char* kAppClass = "WebsetupApplication";
constexpr const char* kFormClass = "WebsetupForm";
constexpr const char* kContainerClass = "WebsetupContainer";
constexpr const char* kMessageClass = "WebsetupMessages";
constexpr UINT kWakeUp = WM_APP + 1;

// Everything without a window of its own: drawn by the panel that holds it.
bool IsGraphic(const TControl& c) {
  return dynamic_cast<const TLabel*>(&c) != nullptr || dynamic_cast<const TImage*>(&c) != nullptr ||
         dynamic_cast<const TGauge*>(&c) != nullptr;
}

TForm* FormOf(TControl* c) {
  for (; c != nullptr; c = c->Parent()) {
    if (auto* form = dynamic_cast<TForm*>(c)) return form;
  }
  return nullptr;
}

HCURSOR CursorFor(TCursor cursor) {
  switch (cursor) {
    case TCursor::HandPoint:
      return ::LoadCursor(nullptr, IDC_HAND);
    case TCursor::HourGlass:
      return ::LoadCursor(nullptr, IDC_WAIT);
    case TCursor::Default:
      break;
  }
  return ::LoadCursor(nullptr, IDC_ARROW);
}

HINSTANCE ThisModule() {
  return ::GetModuleHandleA(nullptr);
}

// The program's main icon from its resources, else the system's.
HICON MainIcon() {
  if (HICON icon = ::LoadIconA(ThisModule(), "MAINICON")) return icon;
  return ::LoadIcon(nullptr, IDI_APPLICATION);
}
}  // namespace

class TWin32WidgetSet::Impl {
 public:
  explicit Impl(TPostMessage post);
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  HWND Realise(TControl& control);
  void Changed(TControl& control);
  void Destroyed(TControl& control);
  void TimerChanged(TTimer& timer);
  void TimerDestroyed(TTimer& timer);
  void ArmTimersOf(TComponent& owner);
  void ProcessMessages();
  void Run(TForm& form);
  void Close(TForm& form);
  void SetTitle(const AnsiText& title);
  void ShowMessage(const AnsiText& title, const AnsiText& text, bool errorIcon);
  void SetScreenCursor(TCursor cursor);
  static int ScreenPixelsPerInch();

 private:
  struct TPicture {
    std::vector<std::uint8_t> Source;  // what Bitmap was decoded from
    HBITMAP Bitmap = nullptr;
    int Width = 0, Height = 0;
    // Bitmap scaled to the size the control has, where that is another.
    HBITMAP Scaled = nullptr;
    int ScaledWidth = 0, ScaledHeight = 0;
  };

  static LRESULT CALLBACK AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK ContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK MessageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static Impl* Self(HWND hwnd) { return reinterpret_cast<Impl*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

  TControl* ControlOf(HWND hwnd) const {
    const auto it = controls_.find(hwnd);
    return it == controls_.end() ? nullptr : it->second;
  }
  HWND WindowOf(const TControl* control) const {
    const auto it = windows_.find(const_cast<TControl*>(control));
    return it == windows_.end() ? nullptr : it->second;
  }
  void Forget(HWND hwnd);
  HWND CreateChild(TControl& control, HWND parent);
  void AutoSize(TControl& control);
  HFONT Font(const TFont& font);
  HFONT FontOf(const TControl& control);
  TPicture* Picture(const TImage& image);
  static HBITMAP BitmapAt(TPicture& picture, int& width, int& height);
  static void Free(TPicture& picture);
  COLORREF BackgroundOf(const TControl& control) const;
  TControl* GraphicAt(TWinControl& container, POINT p) const;
  void Paint(HWND hwnd, TWinControl& container);
  bool SetCursorFor(HWND hwnd);

  bool comReady_ = false;
  HWND app_ = nullptr;
  HWND messages_ = nullptr;
  std::unordered_map<TControl*, HWND> windows_;
  std::unordered_map<HWND, TControl*> controls_;
  std::map<std::tuple<AnsiText, int, bool>, HFONT> fonts_;
  std::unordered_map<const TImage*, TPicture> pictures_;
  std::unordered_map<UINT_PTR, TTimer*> timers_;
  std::unordered_map<TTimer*, UINT_PTR> timerIds_;
  UINT_PTR nextTimerId_ = 1;
  TCursor screenCursor_ = TCursor::Default;
  TForm* mainForm_ = nullptr;
  TControl* pressed_ = nullptr;
  bool terminated_ = false;
};

TWin32WidgetSet::Impl::Impl(TPostMessage post) {
  comReady_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&common);

  const HINSTANCE instance = ThisModule();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = MainIcon();

  wc.lpfnWndProc = AppProc;
  wc.lpszClassName = kAppClass;
  ::RegisterClassExA(&wc);
  wc.lpfnWndProc = FormProc;
  wc.lpszClassName = kFormClass;
  ::RegisterClassExA(&wc);
  wc.hIcon = nullptr;
  wc.lpfnWndProc = ContainerProc;
  wc.lpszClassName = kContainerClass;
  ::RegisterClassExA(&wc);
  wc.lpfnWndProc = MessageProc;
  wc.lpszClassName = kMessageClass;
  ::RegisterClassExA(&wc);

  // The application window carries the program's title to the taskbar; the
  // main window is owned by it and so has no button of its own.
  app_ = ::CreateWindowExA(0, kAppClass, "", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU, 0, 0, 0, 0,
                           nullptr, nullptr, instance, nullptr);
  ::SetWindowLongPtrA(app_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  messages_ =
      ::CreateWindowExA(0, kMessageClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  ::SetWindowLongPtrA(messages_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

  // One posted message stands for any number of queued hand-offs, so a fast
  // worker cannot flood the message queue.
  // The wake-up may still run on a worker after this object is gone: it
  // touches only the window handle (posting to a dead one fails harmlessly),
  // its own copy of the post function and a flag of the process's.
  if (!post) {
    post = [](void* window, unsigned message) {
      return ::PostMessageA(static_cast<HWND>(window), message, 0, 0) != FALSE;
    };
  }
  MainThreadQueue().SetWakeUp([window = messages_, post = std::move(post)] {
    // A post that failed (a full queue) leaves nothing on its way: the flag
    // is cleared and the post tried again, or no later hand-off would post
    // and the worker would wait for ever. A window that is gone has no one
    // to wake.
    while (!WakeUpPosted().exchange(true)) {
      if (post(window, kWakeUp)) return;
      WakeUpPosted() = false;
      if (!::IsWindow(window)) return;
      ::Sleep(1);  // the UI thread empties its queue meanwhile
    }
  });
}

TWin32WidgetSet::Impl::~Impl() {
  MainThreadQueue().SetWakeUp(nullptr);
  for (const auto& [id, timer] : timers_) ::KillTimer(messages_, id);
  for (const auto& [hwnd, control] : controls_) ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  for (const auto& [control, hwnd] : windows_) {
    if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
  }
  ::DestroyWindow(messages_);
  // A wake-up still on its way went with the window.
  WakeUpPosted() = false;
  ::DestroyWindow(app_);
  for (const auto& [key, font] : fonts_) ::DeleteObject(font);
  for (auto& [image, picture] : pictures_) Free(picture);
  if (comReady_) ::CoUninitialize();
}

HFONT TWin32WidgetSet::Impl::Font(const TFont& font) {
  HFONT& f = fonts_[{font.Name, font.Height, font.Bold}];
  if (f == nullptr) f = MakeFont(font);
  return f;
}

HFONT TWin32WidgetSet::Impl::FontOf(const TControl& control) {
  if (const auto* label = dynamic_cast<const TLabel*>(&control); label != nullptr && !label->ParentFont) {
    return Font(label->Font);
  }
  const TForm* form = FormOf(const_cast<TControl*>(&control));
  return Font(form != nullptr ? form->Font : TFont{});
}

TWin32WidgetSet::Impl::TPicture* TWin32WidgetSet::Impl::Picture(const TImage& image) {
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
HBITMAP TWin32WidgetSet::Impl::BitmapAt(TPicture& picture, int& width, int& height) {
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

void TWin32WidgetSet::Impl::Free(TPicture& picture) {
  if (picture.Bitmap != nullptr) ::DeleteObject(picture.Bitmap);
  if (picture.Scaled != nullptr) ::DeleteObject(picture.Scaled);
  picture.Bitmap = picture.Scaled = nullptr;
}

void TWin32WidgetSet::Impl::AutoSize(TControl& control) {
  if (auto* label = dynamic_cast<TLabel*>(&control); label != nullptr && label->AutoSize) {
    const SIZE size = TextExtent(FontOf(*label), label->Caption());
    label->Width = static_cast<int>(size.cx);
    label->Height = static_cast<int>(size.cy);
  } else if (auto* image = dynamic_cast<TImage*>(&control); image != nullptr && image->AutoSize) {
    if (const TPicture* picture = Picture(*image)) image->SizeToPicture(picture->Width, picture->Height);
  }
}

COLORREF TWin32WidgetSet::Impl::BackgroundOf(const TControl& control) const {
  for (const TControl* c = &control; c != nullptr; c = c->Parent()) {
    if (const auto* panel = dynamic_cast<const TPanel*>(c)) return ResolveColor(panel->Color());
    if (const auto* form = dynamic_cast<const TForm*>(c)) return ResolveColor(form->Color);
  }
  return ::GetSysColor(COLOR_BTNFACE);
}

HWND TWin32WidgetSet::Impl::CreateChild(TControl& control, HWND parent) {
  const DWORD visible = control.Visible() ? WS_VISIBLE : 0;
  HWND hwnd = nullptr;
  if (auto* button = dynamic_cast<TButton*>(&control)) {
    hwnd = ::CreateWindowExA(0, "BUTTON", button->Caption.c_str(), WS_CHILD | BS_PUSHBUTTON | visible,
                             control.Left, control.Top, control.Width, control.Height, parent, nullptr,
                             ThisModule(), nullptr);
    ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control)), FALSE);
  } else {
    // Children are windows of their own: the container paints around them.
    hwnd = ::CreateWindowExA(0, kContainerClass, "", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | visible,
                             control.Left, control.Top, control.Width, control.Height, parent, nullptr,
                             ThisModule(), nullptr);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  return hwnd;
}

HWND TWin32WidgetSet::Impl::Realise(TControl& control) {
  if (HWND existing = WindowOf(&control)) return existing;
  AutoSize(control);
  if (IsGraphic(control)) return nullptr;

  HWND hwnd = nullptr;
  if (auto* form = dynamic_cast<TForm*>(&control)) {
    // A dialog frame: fixed size, close button only.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    RECT frame{0, 0, form->ClientWidth, form->ClientHeight};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    hwnd = ::CreateWindowExA(exStyle, kFormClass, form->Caption().c_str(), style, left, top, width, height,
                             app_, nullptr, ThisModule(), nullptr);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (HMENU menu = ::GetSystemMenu(hwnd, FALSE)) {
      for (const int command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) {
        ::DeleteMenu(menu, static_cast<UINT>(command), MF_BYCOMMAND);
      }
    }
  } else {
    HWND parent = control.Parent() != nullptr ? Realise(*control.Parent()) : nullptr;
    if (parent == nullptr) return nullptr;
    hwnd = CreateChild(control, parent);
  }
  if (hwnd == nullptr) return nullptr;
  windows_[&control] = hwnd;
  controls_[hwnd] = &control;
  if (auto* container = dynamic_cast<TWinControl*>(&control)) {
    for (TControl* child : container->Controls()) Realise(*child);
  }
  return hwnd;
}

void TWin32WidgetSet::Impl::Changed(TControl& control) {
  AutoSize(control);
  if (IsGraphic(control)) {
    if (HWND parent = WindowOf(control.Parent())) ::InvalidateRect(parent, nullptr, FALSE);
    return;
  }
  HWND hwnd = WindowOf(&control);
  if (hwnd == nullptr) {
    // A control added to a form that is on screen already.
    const TForm* form = FormOf(&control);
    if (form != nullptr && form != &control && WindowOf(form) != nullptr) Realise(control);
    return;
  }
  if (auto* form = dynamic_cast<TForm*>(&control)) {
    ::SetWindowTextA(hwnd, form->Caption().c_str());
  } else {
    if (auto* button = dynamic_cast<TButton*>(&control)) ::SetWindowTextA(hwnd, button->Caption.c_str());
    ::SetWindowPos(hwnd, nullptr, control.Left, control.Top, control.Width, control.Height,
                   static_cast<UINT>(SWP_NOZORDER | SWP_NOACTIVATE |
                                     (control.Visible() ? SWP_SHOWWINDOW : SWP_HIDEWINDOW)));
  }
  ::InvalidateRect(hwnd, nullptr, FALSE);
}

void TWin32WidgetSet::Impl::Forget(HWND hwnd) {
  const auto it = controls_.find(hwnd);
  if (it == controls_.end()) return;
  windows_.erase(it->second);
  controls_.erase(it);
}

void TWin32WidgetSet::Impl::Destroyed(TControl& control) {
  if (pressed_ == &control) pressed_ = nullptr;
  if (mainForm_ == &control) mainForm_ = nullptr;
  if (auto* image = dynamic_cast<TImage*>(&control)) {
    if (const auto it = pictures_.find(image); it != pictures_.end()) {
      Free(it->second);
      pictures_.erase(it);
    }
  }
  if (HWND hwnd = WindowOf(&control)) {
    Forget(hwnd);
    if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
  } else if (IsGraphic(control)) {
    if (HWND parent = WindowOf(control.Parent())) ::InvalidateRect(parent, nullptr, FALSE);
  }
}

void TWin32WidgetSet::Impl::TimerChanged(TTimer& timer) {
  auto it = timerIds_.find(&timer);
  if (timer.Enabled() && timer.Interval() > 0) {
    if (it == timerIds_.end()) {
      it = timerIds_.emplace(&timer, nextTimerId_++).first;
      timers_[it->second] = &timer;
    }
    // Setting a running timer again starts its interval afresh.
    ::SetTimer(messages_, it->second, timer.Interval(), nullptr);
  } else if (it != timerIds_.end()) {
    ::KillTimer(messages_, it->second);
  }
}

void TWin32WidgetSet::Impl::TimerDestroyed(TTimer& timer) {
  const auto it = timerIds_.find(&timer);
  if (it == timerIds_.end()) return;
  ::KillTimer(messages_, it->second);
  timers_.erase(it->second);
  timerIds_.erase(it);
}

void TWin32WidgetSet::Impl::ProcessMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      terminated_ = true;
      break;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

// Timers enabled from their creation on have told nobody yet.
void TWin32WidgetSet::Impl::ArmTimersOf(TComponent& owner) {
  for (int i = 0; i < owner.ComponentCount(); ++i) {
    TComponent* c = owner.Components(i);
    if (auto* timer = dynamic_cast<TTimer*>(c); timer != nullptr && timer->Enabled()) TimerChanged(*timer);
    ArmTimersOf(*c);
  }
}

void TWin32WidgetSet::Impl::Run(TForm& form) {
  // A form closed while it was being created is never shown.
  if (form.Closed()) return;
  mainForm_ = &form;
  terminated_ = false;
  HWND hwnd = Realise(form);
  if (hwnd == nullptr) return;
  // Shown without size, the application window gets the taskbar button.
  RECT window{};
  ::GetWindowRect(hwnd, &window);
  ::SetWindowPos(app_, nullptr, (window.left + window.right) / 2, (window.top + window.bottom) / 2, 0, 0,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  ::UpdateWindow(hwnd);
  ::SetForegroundWindow(hwnd);
  ArmTimersOf(form);
  MSG msg;
  while (!terminated_ && !form.Closed() && ::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  ::ShowWindow(app_, SW_HIDE);
}

void TWin32WidgetSet::Impl::Close(TForm& form) {
  if (HWND hwnd = WindowOf(&form)) {
    ::DestroyWindow(hwnd);
  } else if (&form == mainForm_) {
    terminated_ = true;
  }
}

void TWin32WidgetSet::Impl::SetTitle(const AnsiText& title) {
  ::SetWindowTextA(app_, title.c_str());
}

void TWin32WidgetSet::Impl::ShowMessage(const AnsiText& title, const AnsiText& text, bool errorIcon) {
  HWND owner = mainForm_ != nullptr ? WindowOf(mainForm_) : nullptr;
  if (owner != nullptr && !::IsWindowVisible(owner)) owner = nullptr;
  ::MessageBoxA(owner, text.c_str(), title.c_str(), MB_OK | (errorIcon ? MB_ICONERROR : 0u));
}

// With the manifest's system DPI awareness, the screen's own; without it
// (Vista on), the 96 that Windows then scales the window up from.
int TWin32WidgetSet::Impl::ScreenPixelsPerInch() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignPixelsPerInch;
}

void TWin32WidgetSet::Impl::SetScreenCursor(TCursor cursor) {
  screenCursor_ = cursor;
  ::SetCursor(CursorFor(cursor));
}

bool TWin32WidgetSet::Impl::SetCursorFor(HWND hwnd) {
  if (screenCursor_ != TCursor::Default) {
    ::SetCursor(CursorFor(screenCursor_));
    return true;
  }
  auto* container = dynamic_cast<TWinControl*>(ControlOf(hwnd));
  if (container == nullptr) return false;
  POINT p{};
  ::GetCursorPos(&p);
  ::ScreenToClient(hwnd, &p);
  const TControl* under = GraphicAt(*container, p);
  ::SetCursor(CursorFor(under != nullptr ? under->Cursor : container->Cursor));
  return true;
}

TControl* TWin32WidgetSet::Impl::GraphicAt(TWinControl& container, POINT p) const {
  const auto& children = container.Controls();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    TControl* c = *it;
    if (!IsGraphic(*c) || !c->Visible()) continue;
    if (p.x >= c->Left && p.x < c->Left + c->Width && p.y >= c->Top && p.y < c->Top + c->Height) return c;
  }
  return nullptr;
}

void TWin32WidgetSet::Impl::Paint(HWND hwnd, TWinControl& container) {
  PAINTSTRUCT ps;
  const HDC dc = ::BeginPaint(hwnd, &ps);
  RECT client{};
  ::GetClientRect(hwnd, &client);
  const int width = client.right, height = client.bottom;
  // The whole panel goes through one off-screen picture: no flicker.
  const HDC image = ::CreateCompatibleDC(dc);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(dc, width, height);
  const HGDIOBJ oldBitmap = ::SelectObject(image, bitmap);

  const HBRUSH back = ::CreateSolidBrush(BackgroundOf(container));
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
    const HGDIOBJ oldFont = ::SelectObject(image, FontOf(container));
    RECT text = client;
    ::DrawTextA(image, panel->Caption.c_str(), static_cast<int>(panel->Caption.size()), &text,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::SelectObject(image, oldFont);
  }

  for (TControl* c : container.Controls()) {
    if (!c->Visible()) continue;
    if (auto* label = dynamic_cast<TLabel*>(c)) {
      const TForm* form = FormOf(c);
      const TFont& font = label->ParentFont && form != nullptr ? form->Font : label->Font;
      const HGDIOBJ oldFont = ::SelectObject(image, FontOf(*label));
      ::SetTextColor(image, ResolveColor(font.Color));
      RECT text{label->Left, label->Top, label->Left + label->Width, label->Top + label->Height};
      ::DrawTextA(image, label->Caption().c_str(), static_cast<int>(label->Caption().size()), &text,
                  DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
      ::SelectObject(image, oldFont);
    } else if (auto* picture = dynamic_cast<TImage*>(c)) {
      if (TPicture* p = Picture(*picture)) {
        // An auto-sized picture fills its control, which the layout's scale
        // sized; another shows as decoded, cut to its control.
        int shownWidth = p->Width, shownHeight = p->Height;
        HBITMAP shown = p->Bitmap;
        if (picture->AutoSize) {
          shownWidth = picture->Width;
          shownHeight = picture->Height;
          shown = BitmapAt(*p, shownWidth, shownHeight);
        }
        const HDC source = ::CreateCompatibleDC(dc);
        const HGDIOBJ oldSource = ::SelectObject(source, shown);
        ::BitBlt(image, picture->Left, picture->Top, std::min(shownWidth, picture->Width),
                 std::min(shownHeight, picture->Height), source, 0, 0, SRCCOPY);
        ::SelectObject(source, oldSource);
        ::DeleteDC(source);
      }
    } else if (auto* gauge = dynamic_cast<TGauge*>(c)) {
      const TForm* form = FormOf(c);
      PaintGauge(image, *gauge, gauge->Left, gauge->Top, gauge->Width, gauge->Height,
                 Font(form != nullptr ? form->Font : TFont{}));
    }
  }

  ::BitBlt(dc, 0, 0, width, height, image, 0, 0, SRCCOPY);
  ::SelectObject(image, oldBitmap);
  ::DeleteObject(bitmap);
  ::DeleteDC(image);
  ::EndPaint(hwnd, &ps);
}

LRESULT CALLBACK TWin32WidgetSet::Impl::AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Impl* self = Self(hwnd);
  // Closing the taskbar button closes the main window.
  if (msg == WM_CLOSE && self != nullptr && self->mainForm_ != nullptr) {
    TForm* form = self->mainForm_;
    Application().Dispatch([form] { form->Close(); });
    return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TWin32WidgetSet::Impl::FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Impl* self = Self(hwnd);
  auto* form = self != nullptr ? dynamic_cast<TForm*>(self->ControlOf(hwnd)) : nullptr;
  if (form == nullptr) return ::DefWindowProcA(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_CLOSE:
      Application().Dispatch([form] { form->Close(); });
      return 0;
    case WM_ERASEBKGND: {
      RECT client{};
      ::GetClientRect(hwnd, &client);
      const HBRUSH brush = ::CreateSolidBrush(ResolveColor(form->Color));
      ::FillRect(reinterpret_cast<HDC>(wp), &client, brush);
      ::DeleteObject(brush);
      return 1;
    }
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT && self->screenCursor_ != TCursor::Default) return self->SetCursorFor(hwnd);
      break;
    case WM_NCDESTROY: {
      const bool main = form == self->mainForm_;
      self->Forget(hwnd);
      if (main) ::PostQuitMessage(0);
      break;
    }
    default:
      break;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TWin32WidgetSet::Impl::ContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Impl* self = Self(hwnd);
  auto* container = self != nullptr ? dynamic_cast<TWinControl*>(self->ControlOf(hwnd)) : nullptr;
  if (container == nullptr) return ::DefWindowProcA(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      self->Paint(hwnd, *container);
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) return self->SetCursorFor(hwnd);
      break;
    case WM_LBUTTONDOWN: {
      const POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      self->pressed_ = self->GraphicAt(*container, p);
      if (self->pressed_ != nullptr) ::SetCapture(hwnd);
      return 0;
    }
    case WM_LBUTTONUP: {
      const POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      TControl* pressed = self->pressed_;
      self->pressed_ = nullptr;
      if (::GetCapture() == hwnd) ::ReleaseCapture();
      // A click is a press and a release on the same control.
      if (pressed != nullptr && pressed == self->GraphicAt(*container, p)) {
        Application().Dispatch([pressed] { pressed->Click(); });
      }
      return 0;
    }
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED) {
        if (TControl* button = self->ControlOf(reinterpret_cast<HWND>(lp))) {
          Application().Dispatch([button] { button->Click(); });
        }
        return 0;
      }
      break;
    case WM_NCDESTROY:
      self->Forget(hwnd);
      break;
    default:
      break;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TWin32WidgetSet::Impl::MessageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Impl* self = Self(hwnd);
  if (self == nullptr) return ::DefWindowProcA(hwnd, msg, wp, lp);
  if (msg == kWakeUp) {
    // Cleared before running: a call queued from now on posts a new wake-up.
    WakeUpPosted() = false;
    MainThreadQueue().ProcessPending();
    return 0;
  }
  if (msg == WM_TIMER) {
    if (const auto it = self->timers_.find(wp); it != self->timers_.end()) it->second->Tick();
    return 0;
  }
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

// ---- TWin32WidgetSet

TWin32WidgetSet::TWin32WidgetSet(TPostMessage post) : impl_(std::make_unique<Impl>(std::move(post))) {}
TWin32WidgetSet::~TWin32WidgetSet() = default;

void TWin32WidgetSet::ControlChanged(TControl& control) {
  impl_->Changed(control);
}
void TWin32WidgetSet::ControlDestroyed(TControl& control) {
  impl_->Destroyed(control);
}
void TWin32WidgetSet::TimerChanged(TTimer& timer) {
  impl_->TimerChanged(timer);
}
void TWin32WidgetSet::TimerDestroyed(TTimer& timer) {
  impl_->TimerDestroyed(timer);
}
void TWin32WidgetSet::ProcessMessages() {
  impl_->ProcessMessages();
}
void TWin32WidgetSet::ShowMessage(const AnsiText& title, const AnsiText& text, bool errorIcon) {
  impl_->ShowMessage(title, text, errorIcon);
}
void TWin32WidgetSet::SetScreenCursor(TCursor cursor) {
  impl_->SetScreenCursor(cursor);
}
int TWin32WidgetSet::ScreenPixelsPerInch() {
  return Impl::ScreenPixelsPerInch();
}
void TWin32WidgetSet::Run(TForm& mainForm) {
  impl_->Run(mainForm);
}
void TWin32WidgetSet::CloseForm(TForm& form) {
  impl_->Close(form);
}
void TWin32WidgetSet::SetApplicationTitle(const AnsiText& title) {
  impl_->SetTitle(title);
}
void* TWin32WidgetSet::Handle(TControl& control) {
  if (TForm* form = FormOf(&control)) impl_->Realise(*form);
  return impl_->Realise(control);
}
