#pragma once
// How the window model looks, worked out once for every widget set: the font
// a control's text takes, the colour behind a control, where the gauge's
// parts lie and the size a self-sizing control takes. A widget set measures
// text and pictures, which only the platform can, and draws what these say.
#include "framework/Controls.h"

// The font a control's text is drawn and measured in: a label's own unless it
// takes its form's (ParentFont), every other control's its form's; the
// default font for a control on no form.
const TFont& TextFont(const TControl& control);

// The panel or form whose colour fills the area behind a control: the nearest
// at or above it, as notebooks and pages paint nothing of their own. None for
// a control on neither.
const TWinControl* BackgroundOwner(const TControl& control);
// That one's colour; the button face where there is none.
TColor BackgroundColor(const TControl& control);

struct TRect {
  int X = 0, Y = 0, W = 0, H = 0;
  bool operator==(const TRect&) const = default;
};

// One picture of the gauge in its own coordinates: the frame, the inner area
// in the background colour, the bar from its left edge over the full inner
// height, and the percentage in the middle, to be drawn inverting what lies
// beneath it so it reads over both.
struct TGaugePlan {
  bool Frame = false;  // a one-pixel black rectangle round the whole gauge
  TRect Inner;
  TColor Back = clWhite;
  TColor Bar = clBlack;
  int BarWidth = 0;  // 0: no bar
  AnsiText Text;     // empty when the gauge shows no text
  // Where a text of this size stands: centred in the inner area.
  TRect TextBox(int width, int height) const;
};

TGaugePlan PlanGauge(const TGauge& gauge, int width, int height);

struct TSize {
  int Width = 0, Height = 0;
  bool operator==(const TSize&) const = default;
};

// What only the platform can tell of a control's content.
class IMeasure {
 public:
  virtual ~IMeasure() = default;
  // Width of the text in the font and the font's line height.
  virtual TSize TextExtent(const TFont& font, const AnsiText& text) = 0;
  // The picture's size as decoded; 0 x 0 when it cannot be.
  virtual TSize PictureSize(const TImage& image) = 0;
};

// A label that sizes itself takes the extent of its caption in its font; a
// picture that does, its picture's size at the form's resolution. Set without
// telling the widget set: it is the widget set that asks, whenever it lays
// such a control out.
void AutoSize(TControl& control, IMeasure& measure);
