#include "framework/Controls.h"

#include <algorithm>
#include <climits>

#include "framework/Exception.h"
#include "framework/MainThread.h"

int ScaleLength(int length, int numerator, int denominator) {
  const std::int64_t product = std::int64_t{length} * numerator;
  const std::int64_t half = product >= 0 ? denominator : -std::int64_t{denominator};
  return static_cast<int>((2 * product + half) / (2 * std::int64_t{denominator}));
}

TApplication& Application() {
  static TApplication app;
  return app;
}

void TApplication::SetTitle(const AnsiText& title) {
  title_ = title;
  if (widgetSet_ != nullptr) widgetSet_->SetApplicationTitle(title);
}

void TApplication::ProcessMessages() {
  if (widgetSet_ != nullptr) {
    widgetSet_->ProcessMessages();
  } else {
    MainThreadQueue().ProcessPending();
  }
}

int TApplication::ScreenPixelsPerInch() const {
  return widgetSet_ != nullptr ? widgetSet_->ScreenPixelsPerInch() : kDesignPixelsPerInch;
}

void TApplication::ShowMessage(const AnsiText& text) {
  if (widgetSet_ != nullptr) widgetSet_->ShowMessage(title_, text, false);
}

void TApplication::ShowException(const std::exception& error) {
  const auto* e = dynamic_cast<const Exception*>(&error);
  const AnsiText message = e != nullptr ? e->Message() : AnsiText(error.what());
  if (widgetSet_ != nullptr) widgetSet_->ShowMessage(title_, ErrorBoxText(message), true);
}

void TApplication::Dispatch(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowException(e);
  }
}

void SetScreenCursor(TCursor cursor) {
  if (IWidgetSet* ws = Application().WidgetSet()) ws->SetScreenCursor(cursor);
}

// ---- TControl

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
  if (IWidgetSet* ws = Application().WidgetSet()) ws->ControlDestroyed(*this);
  SetParent(nullptr);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent_ == parent) return;
  if (parent_ != nullptr) {
    auto& list = parent_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  parent_ = parent;
  if (parent_ != nullptr) parent_->controls_.push_back(this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  Left = left;
  Top = top;
  Width = width;
  Height = height;
  Changed();
}

void TControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed();
}

bool TControl::Showing() const {
  for (const TControl* c = this; c != nullptr; c = c->Parent()) {
    if (!c->Visible()) return false;
  }
  return true;
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::Changed() {
  if (IWidgetSet* ws = Application().WidgetSet()) ws->ControlChanged(*this);
}

TForm* TControl::ParentForm() const {
  for (TControl* c = const_cast<TControl*>(this); c != nullptr; c = c->Parent()) {
    if (auto* form = dynamic_cast<TForm*>(c)) return form;
  }
  return nullptr;
}

void TControl::ChangeScale(int numerator, int denominator) {
  SetBounds(ScaleLength(Left, numerator, denominator), ScaleLength(Top, numerator, denominator),
            ScaleLength(Width, numerator, denominator), ScaleLength(Height, numerator, denominator));
}

// Children may outlive their parent's list: they are freed by their owner,
// which can be the parent itself, after this destructor has run.
TWinControl::~TWinControl() {
  for (TControl* child : controls_) child->parent_ = nullptr;
}

void TWinControl::ChangeScale(int numerator, int denominator) {
  TControl::ChangeScale(numerator, denominator);
  for (TControl* child : controls_) child->ChangeScale(numerator, denominator);
}

// ---- TForm

TForm::TForm(TComponent* owner) : TWinControl(owner) {}

void TForm::SetCaption(const AnsiText& caption) {
  caption_ = caption;
  Changed();
}

void TForm::Close() {
  if (closed_) return;
  closed_ = true;
  if (IWidgetSet* ws = Application().WidgetSet()) ws->CloseForm(*this);
}

void TForm::DoCreate() {
  ScaleTo(Application().ScreenPixelsPerInch());
  if (OnCreate) Application().Dispatch([this] { OnCreate(this); });
}

void TForm::ScaleTo(int pixelsPerInch) {
  if (pixelsPerInch <= 0 || pixelsPerInch == pixelsPerInch_) return;
  ChangeScale(pixelsPerInch, pixelsPerInch_);
  pixelsPerInch_ = pixelsPerInch;
}

int TForm::Scaled(int designLength) const {
  return ScaleLength(designLength, pixelsPerInch_, kDesignPixelsPerInch);
}

void TForm::ChangeScale(int numerator, int denominator) {
  ClientWidth = ScaleLength(ClientWidth, numerator, denominator);
  ClientHeight = ScaleLength(ClientHeight, numerator, denominator);
  Font.Height = ScaleLength(Font.Height, numerator, denominator);
  TWinControl::ChangeScale(numerator, denominator);
}

// ---- TNotebook

TPage* TNotebook::AddPage(const AnsiText& caption) {
  auto* page = new TPage(this);
  page->Caption = caption;
  page->SetParent(this);
  page->SetBounds(0, 0, Width, Height);
  pages_.push_back(page);
  page->SetVisible(static_cast<int>(pages_.size()) - 1 == pageIndex_);
  return page;
}

void TNotebook::SetPageIndex(int index) {
  if (index < 0 || index >= PageCount()) return;
  pageIndex_ = index;
  for (int i = 0; i < PageCount(); ++i) Page(i)->SetVisible(i == index);
  Changed();
}

// ---- TPanel, TLabel

void TPanel::SetColor(TColor color) {
  color_ = color;
  Changed();
}

void TLabel::SetCaption(const AnsiText& caption) {
  caption_ = caption;
  Changed();
}

void TLabel::ChangeScale(int numerator, int denominator) {
  Font.Height = ScaleLength(Font.Height, numerator, denominator);
  TControl::ChangeScale(numerator, denominator);
}

void TImage::SizeToPicture(int width, int height) {
  const TForm* form = ParentForm();
  Width = form != nullptr ? form->Scaled(width) : width;
  Height = form != nullptr ? form->Scaled(height) : height;
}

// ---- TGauge

void TGauge::SetForeColor(TColor color) {
  if (foreColor_ == color) return;
  foreColor_ = color;
  Changed();
}

std::int32_t TGauge::PercentDone() const noexcept {
  const std::int64_t range = static_cast<std::int64_t>(maxValue_) - minValue_;
  if (range == 0) return 0;
  return static_cast<std::int32_t>((static_cast<std::int64_t>(progress_) - minValue_) * 100 / range);
}

int TGauge::BarWidth(int innerWidth, std::int32_t percent) {
  const std::int64_t w = static_cast<std::int64_t>(innerWidth) * percent / 100;
  return static_cast<int>(std::clamp<std::int64_t>(w, 0, innerWidth));
}

void TGauge::SetMinValue(std::int32_t value) {
  if (value > maxValue_) throw Exception(FormatText("Value must be between %d and %d", INT_MIN, maxValue_));
  const std::int32_t before = PercentDone();
  minValue_ = value;
  if (progress_ < value) progress_ = value;
  if (PercentDone() != before) Changed();
}

void TGauge::SetMaxValue(std::int32_t value) {
  if (value < minValue_) throw Exception(FormatText("Value must be between %d and %d", minValue_, INT_MAX));
  const std::int32_t before = PercentDone();
  maxValue_ = value;
  if (progress_ > value) progress_ = value;
  if (PercentDone() != before) Changed();
}

void TGauge::SetProgress(std::int32_t value) {
  const std::int32_t before = PercentDone();
  progress_ = std::clamp(value, minValue_, maxValue_);
  if (PercentDone() != before) Changed();
}

// ---- TTimer

TTimer::TTimer(TComponent* owner) : TComponent(owner) {}

TTimer::~TTimer() {
  if (IWidgetSet* ws = Application().WidgetSet()) ws->TimerDestroyed(*this);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (IWidgetSet* ws = Application().WidgetSet()) ws->TimerChanged(*this);
}

void TTimer::SetInterval(std::uint32_t interval) {
  if (interval_ == interval) return;
  interval_ = interval;
  if (IWidgetSet* ws = Application().WidgetSet()) ws->TimerChanged(*this);
}

void TTimer::Tick() {
  if (!Runs()) return;
  if (OnTimer) Application().Dispatch([this] { OnTimer(this); });
}

namespace {
void CollectRunningTimers(TComponent& owner, std::vector<TTimer*>& timers) {
  for (int i = 0; i < owner.ComponentCount(); ++i) {
    TComponent* c = owner.Components(i);
    if (auto* timer = dynamic_cast<TTimer*>(c); timer != nullptr && timer->Runs()) timers.push_back(timer);
    CollectRunningTimers(*c, timers);
  }
}
}  // namespace

std::vector<TTimer*> RunningTimers(TComponent& owner) {
  std::vector<TTimer*> timers;
  CollectRunningTimers(owner, timers);
  return timers;
}
