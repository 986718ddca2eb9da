#include "framework/Look.h"

#include <algorithm>

#include "framework/Exception.h"

const TFont& TextFont(const TControl& control) {
  if (const auto* label = dynamic_cast<const TLabel*>(&control); label != nullptr && !label->ParentFont) {
    return label->Font;
  }
  static const TFont defaults;
  const TForm* form = control.ParentForm();
  return form != nullptr ? form->Font : defaults;
}

const TWinControl* BackgroundOwner(const TControl& control) {
  for (const TControl* c = &control; c != nullptr; c = c->Parent()) {
    if (dynamic_cast<const TPanel*>(c) != nullptr || dynamic_cast<const TForm*>(c) != nullptr) {
      return static_cast<const TWinControl*>(c);
    }
  }
  return nullptr;
}

TColor BackgroundColor(const TControl& control) {
  const TWinControl* owner = BackgroundOwner(control);
  if (const auto* panel = dynamic_cast<const TPanel*>(owner)) return panel->Color();
  if (const auto* form = dynamic_cast<const TForm*>(owner)) return form->Color;
  return clBtnFace;
}

TRect TGaugePlan::TextBox(int width, int height) const {
  return {Inner.X + (Inner.W - width) / 2, Inner.Y + (Inner.H - height) / 2, width, height};
}

TGaugePlan PlanGauge(const TGauge& gauge, int width, int height) {
  TGaugePlan plan;
  plan.Frame = gauge.BorderStyle == TBorderStyle::Single;
  const int border = plan.Frame ? 1 : 0;
  plan.Inner = {border, border, std::max(0, width - 2 * border), std::max(0, height - 2 * border)};
  plan.Back = gauge.BackColor;
  plan.Bar = gauge.ForeColor();
  const std::int32_t percent = gauge.PercentDone();
  plan.BarWidth = TGauge::BarWidth(plan.Inner.W, percent);
  if (gauge.ShowText) plan.Text = FormatText("%d%%", percent);
  return plan;
}

void AutoSize(TControl& control, IMeasure& measure) {
  if (auto* label = dynamic_cast<TLabel*>(&control); label != nullptr && label->AutoSize) {
    const TSize size = measure.TextExtent(TextFont(*label), label->Caption());
    label->Width = size.Width;
    label->Height = size.Height;
  } else if (auto* image = dynamic_cast<TImage*>(&control); image != nullptr && image->AutoSize) {
    const TSize size = measure.PictureSize(*image);
    if (size.Width > 0 && size.Height > 0) image->SizeToPicture(size.Width, size.Height);
  }
}
