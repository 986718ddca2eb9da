#pragma once
// The window model drawn with the Win32 API.
//
// Forms, notebooks, pages, panels and buttons are windows; labels, images and
// the gauge are drawn by the panel that holds them, as graphic controls are,
// so labels lie transparently on the panel's colour.
#include <functional>
#include <memory>

#include "framework/Controls.h"

class TWin32WidgetSet final : public IWidgetSet {
 public:
  // Posts a message to a window, as PostMessageA does; true when it was
  // posted. Tests make it fail.
  using TPostMessage = std::function<bool(void* window, unsigned message)>;

  // The calling thread becomes the UI thread: it owns the hidden windows that
  // carry the timers, the workers' wake-ups and the program's taskbar title.
  // The wake-ups go through post, PostMessageA when none is given.
  explicit TWin32WidgetSet(TPostMessage post = nullptr);
  ~TWin32WidgetSet() override;
  TWin32WidgetSet(const TWin32WidgetSet&) = delete;
  TWin32WidgetSet& operator=(const TWin32WidgetSet&) = delete;

  void ControlChanged(TControl& control) override;
  void ControlDestroyed(TControl& control) override;
  void TimerChanged(TTimer& timer) override;
  void TimerDestroyed(TTimer& timer) override;
  void ProcessMessages() override;
  void ShowMessage(const AnsiText& title, const AnsiText& text, bool errorIcon) override;
  void SetScreenCursor(TCursor cursor) override;
  int ScreenPixelsPerInch() override;
  void Run(TForm& mainForm) override;
  void CloseForm(TForm& form) override;
  void SetApplicationTitle(const AnsiText& title) override;

  // The window of a form, notebook, page, panel or button, created with its
  // form on first use; nullptr for controls drawn by their panel.
  void* Handle(TControl& control);

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
