#pragma once
// The window model drawn with FLTK 1.3 on X11.
#include <memory>

#include "framework/Controls.h"

class TFltkWidgetSet final : public IWidgetSet {
 public:
  // Takes FLTK's lock for the calling thread, which becomes the UI thread, and
  // installs the wake-up through which workers' hand-offs reach the loop.
  TFltkWidgetSet();
  ~TFltkWidgetSet() override;
  TFltkWidgetSet(const TFltkWidgetSet&) = delete;
  TFltkWidgetSet& operator=(const TFltkWidgetSet&) = delete;

  void ControlChanged(TControl& control) override;
  void ControlDestroyed(TControl& control) override;
  void TimerChanged(TTimer& timer) override;
  void TimerDestroyed(TTimer& timer) override;
  void ProcessMessages() override;
  void ShowMessage(const AnsiText& title, const AnsiText& text, bool errorIcon) override;
  void SetScreenCursor(TCursor cursor) override;
  // The desktop's Xft.dpi, as the X clients of a desktop share it.
  int ScreenPixelsPerInch() override;
  void Run(TForm& mainForm) override;
  void CloseForm(TForm& form) override;
  void SetApplicationTitle(const AnsiText& title) override;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
