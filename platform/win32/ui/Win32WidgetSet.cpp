// clang-format off
#include "platform/win32/ui/Win32WidgetSet.h"
#include "platform/win32/ui/Gdi.h"
#include "platform/win32/ui/Painter.h"
#include "platform/win32/ui/Timers.h"
#include "platform/win32/ui/WakeUp.h"
#include "framework/MainThread.h"
#include <commctrl.h>
#include <objbase.h>
// clang-format on

#include <memory>
#include <optional>
#include <unordered_map>

namespace {
constexpr const char* kAppClass = "WebsetupApplication";
constexpr const char* kFormClass = "WebsetupForm";
constexpr const char* kContainerClass = "WebsetupContainer";
constexpr const char* kMessageClass = "WebsetupMessages";

// Everything without a window of its own: drawn by the panel that holds it.
bool IsGraphic(const TControl& c) {
  return dynamic_cast<const TLabel*>(&c) != nullptr || dynamic_cast<const TImage*>(&c) != nullptr ||
         dynamic_cast<const TGauge*>(&c) != nullptr;
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

POINT PointOf(LPARAM lp) {
  return {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
}
}  // namespace

// The windows of the controls that have one, and the hidden windows of the
// program: the application window that carries the title to the taskbar, and
// a message-only window for the timers and the workers' wake-ups.
class TWin32WidgetSet::Impl {
 public:
  explicit Impl(TPostMessage post);
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  HWND Realise(TControl& control);
  void Changed(TControl& control);
  void Destroyed(TControl& control);
  void ProcessMessages();
  void Run(TForm& form);
  void Close(TForm& form);
  void ShowMessage(const AnsiText& title, const AnsiText& text, bool errorIcon);
  void SetScreenCursor(TCursor cursor);

  std::unique_ptr<TWin32Timers> timers;
  HWND app = nullptr;

 private:
  // What a window procedure hands its messages to; nothing for those the
  // default procedure is to answer.
  using THandler = std::optional<LRESULT> (Impl::*)(HWND, UINT, WPARAM, LPARAM);
  template <THandler Handle>
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static void Register(const char* name, WNDPROC procedure, HICON icon);
  std::optional<LRESULT> AppMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  std::optional<LRESULT> FormMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  std::optional<LRESULT> ContainerMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  std::optional<LRESULT> HiddenMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  TControl* ControlOf(HWND hwnd) const {
    const auto it = controls_.find(hwnd);
    return it == controls_.end() ? nullptr : it->second;
  }
  HWND WindowOf(const TControl* control) const {
    const auto it = windows_.find(const_cast<TControl*>(control));
    return it == windows_.end() ? nullptr : it->second;
  }
  void Own(HWND hwnd) { ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this)); }
  void Forget(HWND hwnd);
  HWND CreateForm(TForm& form);
  HWND CreateChild(TControl& control, HWND parent);
  void InvalidateParentOf(const TControl& control) const;
  TControl* GraphicAt(const TWinControl& container, POINT p) const;
  bool SetCursorFor(HWND hwnd);

  bool comReady_ = false;
  HWND messages_ = nullptr;
  TPainter painter_;
  std::unordered_map<TControl*, HWND> windows_;
  std::unordered_map<HWND, TControl*> controls_;
  TCursor screenCursor_ = TCursor::Default;
  TForm* mainForm_ = nullptr;
  TControl* pressed_ = nullptr;
  bool terminated_ = false;
};

void TWin32WidgetSet::Impl::Register(const char* name, WNDPROC procedure, HICON icon) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = ThisModule();
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = icon;
  wc.lpfnWndProc = procedure;
  wc.lpszClassName = name;
  ::RegisterClassExA(&wc);
}

TWin32WidgetSet::Impl::Impl(TPostMessage post) {
  comReady_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&common);

  Register(kAppClass, Procedure<&Impl::AppMessage>, MainIcon());
  Register(kFormClass, Procedure<&Impl::FormMessage>, MainIcon());
  Register(kContainerClass, Procedure<&Impl::ContainerMessage>, nullptr);
  Register(kMessageClass, Procedure<&Impl::HiddenMessage>, nullptr);

  // The application window carries the program's title to the taskbar; the
  // main window is owned by it and so has no button of its own.
  app = ::CreateWindowExA(0, kAppClass, "", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU, 0, 0, 0, 0,
                          nullptr, nullptr, ThisModule(), nullptr);
  Own(app);
  messages_ =
      ::CreateWindowExA(0, kMessageClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
  Own(messages_);
  timers = std::make_unique<TWin32Timers>(messages_);
  InstallWakeUp(messages_, std::move(post));
}

TWin32WidgetSet::Impl::~Impl() {
  RemoveWakeUp();
  timers.reset();
  for (const auto& [hwnd, control] : controls_) ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  for (const auto& [control, hwnd] : windows_) {
    if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
  }
  ::DestroyWindow(messages_);
  WakeUpWindowGone();
  ::DestroyWindow(app);
  if (comReady_) ::CoUninitialize();
}

// ---- the windows of the controls

// A dialog frame: fixed size, close button only, centred on the screen.
HWND TWin32WidgetSet::Impl::CreateForm(TForm& form) {
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
  RECT frame{0, 0, form.ClientWidth, form.ClientHeight};
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  HWND hwnd = ::CreateWindowExA(exStyle, kFormClass, form.Caption().c_str(), style, left, top, width, height,
                                app, nullptr, ThisModule(), nullptr);
  Own(hwnd);
  if (HMENU menu = ::GetSystemMenu(hwnd, FALSE)) {
    for (const int command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) {
      ::DeleteMenu(menu, static_cast<UINT>(command), MF_BYCOMMAND);
    }
  }
  return hwnd;
}

HWND TWin32WidgetSet::Impl::CreateChild(TControl& control, HWND parent) {
  const DWORD visible = control.Visible() ? WS_VISIBLE : 0;
  HWND hwnd = nullptr;
  if (auto* button = dynamic_cast<TButton*>(&control)) {
    hwnd = ::CreateWindowExA(0, "BUTTON", button->Caption.c_str(), WS_CHILD | BS_PUSHBUTTON | visible,
                             control.Left, control.Top, control.Width, control.Height, parent, nullptr,
                             ThisModule(), nullptr);
    ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(painter_.Font(TextFont(control))), FALSE);
  } else {
    // Children are windows of their own: the container paints around them.
    hwnd = ::CreateWindowExA(0, kContainerClass, "", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | visible,
                             control.Left, control.Top, control.Width, control.Height, parent, nullptr,
                             ThisModule(), nullptr);
    Own(hwnd);
  }
  return hwnd;
}

HWND TWin32WidgetSet::Impl::Realise(TControl& control) {
  if (HWND existing = WindowOf(&control)) return existing;
  AutoSize(control, painter_);
  if (IsGraphic(control)) return nullptr;

  HWND hwnd = nullptr;
  if (auto* form = dynamic_cast<TForm*>(&control)) {
    hwnd = CreateForm(*form);
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

void TWin32WidgetSet::Impl::InvalidateParentOf(const TControl& control) const {
  if (HWND parent = WindowOf(control.Parent())) ::InvalidateRect(parent, nullptr, FALSE);
}

void TWin32WidgetSet::Impl::Changed(TControl& control) {
  AutoSize(control, painter_);
  if (IsGraphic(control)) {
    InvalidateParentOf(control);
    return;
  }
  HWND hwnd = WindowOf(&control);
  if (hwnd == nullptr) {
    // A control added to a form that is on screen already.
    const TForm* form = control.ParentForm();
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
  if (auto* image = dynamic_cast<TImage*>(&control)) painter_.Forget(*image);
  if (HWND hwnd = WindowOf(&control)) {
    Forget(hwnd);
    if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
  } else if (IsGraphic(control)) {
    InvalidateParentOf(control);
  }
}

// ---- the message loop, the main window and the message box

void TWin32WidgetSet::Impl::ProcessMessages() {
  if (!MainThreadQueue().MessagesDue()) return;
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
  ::SetWindowPos(app, nullptr, (window.left + window.right) / 2, (window.top + window.bottom) / 2, 0, 0,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  ::UpdateWindow(hwnd);
  ::SetForegroundWindow(hwnd);
  timers->ArmEnabled(form);
  MSG msg;
  while (!terminated_ && !form.Closed() && ::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  ::ShowWindow(app, SW_HIDE);
}

void TWin32WidgetSet::Impl::Close(TForm& form) {
  if (HWND hwnd = WindowOf(&form)) {
    ::DestroyWindow(hwnd);
  } else if (&form == mainForm_) {
    terminated_ = true;
  }
}

void TWin32WidgetSet::Impl::ShowMessage(const AnsiText& title, const AnsiText& text, bool errorIcon) {
  HWND owner = mainForm_ != nullptr ? WindowOf(mainForm_) : nullptr;
  if (owner != nullptr && !::IsWindowVisible(owner)) owner = nullptr;
  ::MessageBoxA(owner, text.c_str(), title.c_str(), MB_OK | (errorIcon ? MB_ICONERROR : 0u));
}

// ---- the mouse and the cursor

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

TControl* TWin32WidgetSet::Impl::GraphicAt(const TWinControl& container, POINT p) const {
  const auto& children = container.Controls();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    TControl* c = *it;
    if (!IsGraphic(*c) || !c->Visible()) continue;
    if (p.x >= c->Left && p.x < c->Left + c->Width && p.y >= c->Top && p.y < c->Top + c->Height) return c;
  }
  return nullptr;
}

// ---- window procedures

template <TWin32WidgetSet::Impl::THandler Handle>
LRESULT CALLBACK TWin32WidgetSet::Impl::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<Impl*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  const std::optional<LRESULT> result = self != nullptr ? (self->*Handle)(hwnd, msg, wp, lp) : std::nullopt;
  return result ? *result : ::DefWindowProcA(hwnd, msg, wp, lp);
}

std::optional<LRESULT> TWin32WidgetSet::Impl::AppMessage(HWND, UINT msg, WPARAM, LPARAM) {
  // Closing the taskbar button closes the main window.
  if (msg != WM_CLOSE || mainForm_ == nullptr) return std::nullopt;
  TForm* form = mainForm_;
  Application().Dispatch([form] { form->Close(); });
  return 0;
}

std::optional<LRESULT> TWin32WidgetSet::Impl::FormMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* form = dynamic_cast<TForm*>(ControlOf(hwnd));
  if (form == nullptr) return std::nullopt;
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
      if (LOWORD(lp) == HTCLIENT && screenCursor_ != TCursor::Default) return SetCursorFor(hwnd);
      return std::nullopt;
    case WM_NCDESTROY: {
      const bool main = form == mainForm_;
      Forget(hwnd);
      if (main) ::PostQuitMessage(0);
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

std::optional<LRESULT> TWin32WidgetSet::Impl::ContainerMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* container = dynamic_cast<TWinControl*>(ControlOf(hwnd));
  if (container == nullptr) return std::nullopt;
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      painter_.Paint(hwnd, *container);
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) return SetCursorFor(hwnd);
      return std::nullopt;
    case WM_LBUTTONDOWN:
      pressed_ = GraphicAt(*container, PointOf(lp));
      if (pressed_ != nullptr) ::SetCapture(hwnd);
      return 0;
    case WM_LBUTTONUP: {
      TControl* pressed = pressed_;
      pressed_ = nullptr;
      if (::GetCapture() == hwnd) ::ReleaseCapture();
      // A click is a press and a release on the same control.
      if (pressed != nullptr && pressed == GraphicAt(*container, PointOf(lp))) {
        Application().Dispatch([pressed] { pressed->Click(); });
      }
      return 0;
    }
    case WM_COMMAND:
      if (HIWORD(wp) != BN_CLICKED) return std::nullopt;
      if (TControl* button = ControlOf(reinterpret_cast<HWND>(lp))) {
        Application().Dispatch([button] { button->Click(); });
      }
      return 0;
    case WM_NCDESTROY:
      Forget(hwnd);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::optional<LRESULT> TWin32WidgetSet::Impl::HiddenMessage(HWND, UINT msg, WPARAM wp, LPARAM) {
  if (msg == kWakeUp) {
    WakeUpArrived();
    return 0;
  }
  if (msg == WM_TIMER && timers) {
    timers->Tick(wp);
    return 0;
  }
  return std::nullopt;
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
  impl_->timers->Changed(timer);
}
void TWin32WidgetSet::TimerDestroyed(TTimer& timer) {
  impl_->timers->Destroyed(timer);
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

// With the manifest's system DPI awareness, the screen's own; without it
// (Vista on), the 96 that Windows then scales the window up from.
int TWin32WidgetSet::ScreenPixelsPerInch() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignPixelsPerInch;
}

void TWin32WidgetSet::Run(TForm& mainForm) {
  impl_->Run(mainForm);
}
void TWin32WidgetSet::CloseForm(TForm& form) {
  impl_->Close(form);
}
void TWin32WidgetSet::SetApplicationTitle(const AnsiText& title) {
  ::SetWindowTextA(impl_->app, title.c_str());
}
void* TWin32WidgetSet::Handle(TControl& control) {
  if (TForm* form = control.ParentForm()) impl_->Realise(*form);
  return impl_->Realise(control);
}
