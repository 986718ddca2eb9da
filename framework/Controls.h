#pragma once
// The window model: forms, controls, timers and the application object.
//
// These classes hold state and fire events; a platform widget set draws them
// and delivers input, timer ticks and message boxes. Tests use a widget set
// of their own, so the whole window flow runs without a display.
#include <cstdint>
#include <functional>
#include <vector>

#include "framework/Component.h"
#include "framework/Events.h"
#include "framework/Types.h"

class TControl;
class TWinControl;
class TForm;
class TTimer;

enum class TCursor { Default, HandPoint, HourGlass };

// System colours are kept apart from RGB words by their high byte, as the
// platform's colour words do.
constexpr TColor clBtnFace = 0xFF00000F;
constexpr TColor clWindowText = 0xFF000008;
// The light and the dark edge of a raised or sunken bevel.
constexpr TColor clBtnShadow = 0xFF000010;
constexpr TColor clBtnHighlight = 0xFF000014;
constexpr TColor clWhite = 0x00FFFFFF;
constexpr TColor clBlack = 0x00000000;

struct TFont {
  AnsiText Name = "Arial";
  int Height = 13;  // character height in pixels
  bool Bold = false;
  TColor Color = clWindowText;
  bool operator==(const TFont&) const = default;
};

// Layouts are made at this resolution and scaled to the screen's at start.
constexpr int kDesignPixelsPerInch = 96;

// A length scaled by numerator / denominator, rounded half away from zero.
int ScaleLength(int length, int numerator, int denominator);

// The platform side of the window model.
class IWidgetSet {
 public:
  virtual ~IWidgetSet() = default;
  // The screen's resolution, which forms scale their layout to.
  virtual int ScreenPixelsPerInch() { return kDesignPixelsPerInch; }
  // A control's look or layout changed (caption, colour, page, visibility...).
  virtual void ControlChanged(TControl& control) = 0;
  // A control is going away; its peer must let go of it.
  virtual void ControlDestroyed(TControl& control) = 0;
  // A timer was enabled, disabled or given a new interval.
  virtual void TimerChanged(TTimer& timer) = 0;
  virtual void TimerDestroyed(TTimer& timer) = 0;
  // Handles every message waiting, then returns.
  virtual void ProcessMessages() = 0;
  // Modal box with one OK button; returns when the user dismisses it.
  virtual void ShowMessage(const AnsiText& title, const AnsiText& text, bool errorIcon) = 0;
  virtual void SetScreenCursor(TCursor cursor) = 0;
  // Shows the main form and runs the message loop until it closes.
  virtual void Run(TForm& mainForm) = 0;
  virtual void CloseForm(TForm& form) = 0;
  virtual void SetApplicationTitle(const AnsiText& title) = 0;
};

// The program's application object.
class TApplication {
 public:
  IWidgetSet* WidgetSet() const noexcept { return widgetSet_; }
  void SetWidgetSet(IWidgetSet* widgetSet) noexcept { widgetSet_ = widgetSet; }

  const AnsiText& Title() const noexcept { return title_; }
  void SetTitle(const AnsiText& title);

  void ProcessMessages();
  // The screen's resolution; the designed one without a widget set.
  int ScreenPixelsPerInch() const;
  // Message box with the program's title, one OK button and no icon.
  void ShowMessage(const AnsiText& text);
  // Error box for an exception that left a handler.
  void ShowException(const std::exception& error);
  // Runs an event handler the way the message loop does: an exception that
  // leaves it ends the handler and is shown in the error box.
  void Dispatch(const std::function<void()>& handler);

 private:
  IWidgetSet* widgetSet_ = nullptr;
  AnsiText title_;
};

TApplication& Application();

// The screen's cursor (hourglass during a long call).
void SetScreenCursor(TCursor cursor);

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;
  AnsiText ClassName() const override { return "TControl"; }

  TWinControl* Parent() const noexcept { return parent_; }
  void SetParent(TWinControl* parent);

  int Left = 0, Top = 0, Width = 0, Height = 0;
  void SetBounds(int left, int top, int width, int height);

  bool Visible() const noexcept { return visible_; }
  void SetVisible(bool visible);
  // Shown when the control and all its parents are.
  bool Showing() const;

  TCursor Cursor = TCursor::Default;
  TNotifyEvent OnClick;
  // The mouse clicked the control; the widget set calls this.
  virtual void Click();

  // Tells the widget set the control needs redrawing.
  void Changed();

  // The form the control lies on, if any.
  TForm* ParentForm() const;
  // Scales position, size and font by numerator / denominator, and so
  // those of every control inside it.
  virtual void ChangeScale(int numerator, int denominator);

 private:
  friend class TWinControl;
  TWinControl* parent_ = nullptr;
  bool visible_ = true;
};

class TWinControl : public TControl {
 public:
  using TControl::TControl;
  ~TWinControl() override;
  AnsiText ClassName() const override { return "TWinControl"; }
  const std::vector<TControl*>& Controls() const noexcept { return controls_; }
  void ChangeScale(int numerator, int denominator) override;

 private:
  friend class TControl;
  std::vector<TControl*> controls_;
};

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);
  AnsiText ClassName() const override { return "TForm"; }

  const AnsiText& Caption() const noexcept { return caption_; }
  void SetCaption(const AnsiText& caption);
  int ClientWidth = 0, ClientHeight = 0;
  TColor Color = clBtnFace;
  TFont Font;
  TNotifyEvent OnCreate;

  // Closes the form; closing the main form ends the program.
  void Close();
  bool Closed() const noexcept { return closed_; }
  // Once the layout is loaded: scales it to the screen, then runs OnCreate.
  void DoCreate();

  // The resolution the layout is in now: as designed until it is scaled.
  int PixelsPerInch() const noexcept { return pixelsPerInch_; }
  // Scales the whole layout to a resolution: the client area, every
  // control's position and size, and the fonts. The same one changes nothing.
  void ScaleTo(int pixelsPerInch);
  // A length of the layout as designed, at the form's resolution now.
  int Scaled(int designLength) const;
  void ChangeScale(int numerator, int denominator) override;

 private:
  AnsiText caption_;
  bool closed_ = false;
  int pixelsPerInch_ = kDesignPixelsPerInch;
};

class TPage : public TWinControl {
 public:
  using TWinControl::TWinControl;
  AnsiText ClassName() const override { return "TPage"; }
  AnsiText Caption;
};

// Pages that take turns filling the same area.
class TNotebook : public TWinControl {
 public:
  using TWinControl::TWinControl;
  AnsiText ClassName() const override { return "TNotebook"; }
  TPage* AddPage(const AnsiText& caption);
  int PageCount() const noexcept { return static_cast<int>(pages_.size()); }
  TPage* Page(int index) const { return pages_.at(static_cast<std::size_t>(index)); }
  int PageIndex() const noexcept { return pageIndex_; }
  void SetPageIndex(int index);

 private:
  std::vector<TPage*> pages_;
  int pageIndex_ = 0;
};

enum class TBevelCut { None, Lowered, Raised };

class TPanel : public TWinControl {
 public:
  using TWinControl::TWinControl;
  AnsiText ClassName() const override { return "TPanel"; }
  TColor Color() const noexcept { return color_; }
  void SetColor(TColor color);
  TBevelCut BevelOuter = TBevelCut::Raised;
  int BevelWidth = 1;
  AnsiText Caption;
  // Paints its own background in Color also under visual styles.
  bool ParentBackground = false;

 private:
  TColor color_ = clBtnFace;
};

class TLabel : public TControl {
 public:
  using TControl::TControl;
  AnsiText ClassName() const override { return "TLabel"; }
  const AnsiText& Caption() const noexcept { return caption_; }
  void SetCaption(const AnsiText& caption);
  bool AutoSize = true;
  // Set: the form's font; unset: Font (see TextFont).
  bool ParentFont = true;
  TFont Font;
  void ChangeScale(int numerator, int denominator) override;

 private:
  AnsiText caption_;
};

class TImage : public TControl {
 public:
  using TControl::TControl;
  AnsiText ClassName() const override { return "TImage"; }
  // The picture as a JPEG file's bytes.
  std::vector<std::uint8_t> Picture;
  // Sized to the picture, at the form's resolution: the widget set drawing
  // the picture over the whole control scales it to that size.
  bool AutoSize = true;
  // The size AutoSize gives for a picture of width x height pixels. Set
  // without telling the widget set: it is the widget set that asks.
  void SizeToPicture(int width, int height);
};

class TButton : public TWinControl {
 public:
  using TWinControl::TWinControl;
  AnsiText ClassName() const override { return "TButton"; }
  AnsiText Caption;
};

enum class TGaugeKind { HorizontalBar };
enum class TBorderStyle { None, Single };

// A progress gauge: a bar and the percentage.
class TGauge : public TControl {
 public:
  using TControl::TControl;
  AnsiText ClassName() const override { return "TGauge"; }

  TGaugeKind Kind = TGaugeKind::HorizontalBar;
  bool ShowText = true;
  TBorderStyle BorderStyle = TBorderStyle::Single;
  TColor BackColor = clWhite;

  TColor ForeColor() const noexcept { return foreColor_; }
  void SetForeColor(TColor color);
  std::int32_t MinValue() const noexcept { return minValue_; }
  void SetMinValue(std::int32_t value);
  std::int32_t MaxValue() const noexcept { return maxValue_; }
  void SetMaxValue(std::int32_t value);
  std::int32_t Progress() const noexcept { return progress_; }
  void SetProgress(std::int32_t value);
  // (Progress - MinValue) * 100 / (MaxValue - MinValue), truncated; 0 for an empty range.
  std::int32_t PercentDone() const noexcept;
  // Width of the bar inside an inner width, capped at it.
  static int BarWidth(int innerWidth, std::int32_t percent);

 private:
  TColor foreColor_ = clBlack;
  std::int32_t minValue_ = 0;
  std::int32_t maxValue_ = 100;
  std::int32_t progress_ = 0;
};

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  AnsiText ClassName() const override { return "TTimer"; }

  bool Enabled() const noexcept { return enabled_; }
  void SetEnabled(bool enabled);
  std::uint32_t Interval() const noexcept { return interval_; }
  void SetInterval(std::uint32_t interval);
  // Enabled with an interval: only such a timer ticks.
  bool Runs() const noexcept { return enabled_ && interval_ > 0; }
  TNotifyEvent OnTimer;
  // The interval has passed; the widget set calls this.
  void Tick();

 private:
  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
};

// The running timers owned by owner or, at any depth, by its components:
// those enabled from their creation on have told no widget set yet.
std::vector<TTimer*> RunningTimers(TComponent& owner);

// Stands in the window for the program's application manifest, which asks
// for version 6.0.0.0 of the common controls and so the system's visual
// style. It has no screen presence and no state: the manifest is a resource
// of the program, and that resource does the work.
class TXPManifest : public TComponent {
 public:
  using TComponent::TComponent;
  AnsiText ClassName() const override { return "TXPManifest"; }
};
