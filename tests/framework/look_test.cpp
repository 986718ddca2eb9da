// The look rules every widget set draws by: fonts, backgrounds, the gauge's
// picture and the size of self-sizing controls.
#include "framework/Look.h"

#include <gtest/gtest.h>

#include "tests/support/CaseName.h"

namespace {
constexpr TColor kFormColour = ColorRGB(1, 2, 3), kPanelColour = ColorRGB(176, 216, 255);
const TFont kFormFont{"Arial", 20, false, clWindowText};
const TFont kOwnFont{"Arial", 16, true, ColorRGB(9, 9, 9)};

// A form holding a notebook page with a panel, a label on the panel and a
// label straight on the page.
struct TLayout {
  TLayout() {
    form.Color = kFormColour;
    form.Font = kFormFont;
    notebook->SetParent(&form);
    page = notebook->AddPage("prvni");
    panel->SetParent(page);
    panel->SetColor(kPanelColour);
    onPanel->SetParent(panel);
    onPage->SetParent(page);
    gauge->SetParent(panel);
  }
  TForm form{nullptr};
  TNotebook* notebook = new TNotebook(&form);
  TPage* page = nullptr;
  TPanel* panel = new TPanel(&form);
  TLabel* onPanel = new TLabel(&form);
  TLabel* onPage = new TLabel(&form);
  TGauge* gauge = new TGauge(&form);
  TLabel loose{nullptr};
};
}  // namespace

TEST(LookRules, FontIsTheFormsUnlessALabelKeepsItsOwn) {
  TLayout l;
  l.onPage->ParentFont = false;
  l.onPage->Font = kOwnFont;
  l.loose.ParentFont = true;
  const struct {
    const TControl* control;
    TFont font;
  } cases[] = {{l.onPanel, kFormFont}, {l.onPage, kOwnFont}, {l.panel, kFormFont},
               {l.gauge, kFormFont},   {&l.form, kFormFont}, {&l.loose, TFont{}}};
  for (const auto& c : cases) EXPECT_EQ(TextFont(*c.control), c.font) << c.control->ClassName();
}

TEST(LookRules, BackgroundIsTheNearestPanelOrFormAtOrAbove) {
  TLayout l;
  const struct {
    const TControl* control;
    const TWinControl* owner;
    TColor colour;
  } cases[] = {{l.onPanel, l.panel, kPanelColour}, {l.panel, l.panel, kPanelColour},
               {l.gauge, l.panel, kPanelColour},   {l.onPage, &l.form, kFormColour},
               {l.page, &l.form, kFormColour},     {l.notebook, &l.form, kFormColour},
               {&l.loose, nullptr, clBtnFace}};
  for (const auto& c : cases) {
    EXPECT_EQ(BackgroundOwner(*c.control), c.owner) << c.control->ClassName();
    EXPECT_EQ(BackgroundColor(*c.control), c.colour) << c.control->ClassName();
  }
}

namespace {
struct TPlanCase {
  const char* name;
  bool border, showText;
  std::int32_t maxValue, progress;
  int width, height;
  TRect inner;
  int barWidth;
  AnsiText text;
};
class GaugePlan : public ::testing::TestWithParam<TPlanCase> {};
constexpr TColor kBar = ColorRGB(41, 86, 141);
}  // namespace

TEST_P(GaugePlan, FrameInnerAreaBarAndText) {
  const TPlanCase& c = GetParam();
  TGauge gauge(nullptr);
  gauge.SetForeColor(kBar);
  gauge.BorderStyle = c.border ? TBorderStyle::Single : TBorderStyle::None;
  gauge.ShowText = c.showText;
  gauge.SetMaxValue(c.maxValue);
  gauge.SetProgress(c.progress);
  const TGaugePlan plan = PlanGauge(gauge, c.width, c.height);
  EXPECT_EQ(plan.Frame, c.border);
  EXPECT_EQ(plan.Inner, c.inner);
  EXPECT_EQ(plan.BarWidth, c.barWidth);
  EXPECT_EQ(plan.Text, c.text);
  EXPECT_EQ(plan.Back, clWhite);
  EXPECT_EQ(plan.Bar, kBar);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GaugePlan,
    ::testing::Values(
        // The progress page's gauge: 564 * 77 / 100, truncated.
        TPlanCase{"ProgressPage", true, true, 100, 77, 566, 30, {1, 1, 564, 28}, 434, "77%"},
        TPlanCase{"Empty", true, true, 100, 0, 566, 30, {1, 1, 564, 28}, 0, "0%"},
        // 48 * 1 / 100 is below one pixel.
        TPlanCase{"BelowOnePixel", true, true, 100, 1, 50, 30, {1, 1, 48, 28}, 0, "1%"},
        TPlanCase{"Full", true, true, 100, 100, 566, 30, {1, 1, 564, 28}, 564, "100%"},
        TPlanCase{"OtherRange", true, true, 1000, 505, 566, 30, {1, 1, 564, 28}, 282, "50%"},
        // Without border or text the bar takes the whole area.
        TPlanCase{"Bare", false, false, 100, 50, 100, 20, {0, 0, 100, 20}, 50, ""}),
    [](const auto& p) { return CaseName(p.index, p.param.name); });

TEST(GaugePlanText, StandsInTheMiddleOfTheInnerArea) {
  TGaugePlan plan;
  plan.Inner = {1, 1, 564, 28};
  EXPECT_EQ(plan.TextBox(22, 15), (TRect{272, 7, 22, 15}));
  EXPECT_EQ(plan.TextBox(23, 16), (TRect{271, 7, 23, 16}));
  plan.Inner = {0, 0, 100, 20};
  EXPECT_EQ(plan.TextBox(30, 10), (TRect{35, 5, 30, 10}));
}

namespace {
// Seven pixels a byte, three more than the font's height a line; pictures of
// the size given.
class TFixedMeasure : public IMeasure {
 public:
  TSize picture;
  TSize TextExtent(const TFont& font, const AnsiText& text) override {
    return {7 * static_cast<int>(text.size()), font.Height + 3};
  }
  TSize PictureSize(const TImage&) override { return picture; }
};
}  // namespace

TEST(LookRules, SelfSizingLabelsTakeTheirTextsExtentInTheirFont) {
  TLayout l;
  TFixedMeasure measure;
  l.onPanel->SetBounds(10, 40, 103, 16);
  l.onPanel->SetCaption("comm32._dl");
  AutoSize(*l.onPanel, measure);
  EXPECT_EQ((TRect{l.onPanel->Left, l.onPanel->Top, l.onPanel->Width, l.onPanel->Height}),
            (TRect{10, 40, 70, 23}));
  l.onPanel->ParentFont = false;
  l.onPanel->Font = kOwnFont;
  AutoSize(*l.onPanel, measure);
  EXPECT_EQ(l.onPanel->Height, 19);
  l.onPanel->AutoSize = false;
  l.onPanel->SetCaption("x");
  AutoSize(*l.onPanel, measure);
  EXPECT_EQ(l.onPanel->Width, 70);
}

TEST(LookRules, SelfSizingPicturesTakeTheirPicturesSizeAtTheFormsResolution) {
  TLayout l;
  auto* image = new TImage(&l.form);
  image->SetParent(l.panel);
  image->SetBounds(240, 45, 10, 10);
  TFixedMeasure measure;
  AutoSize(*image, measure);  // a picture that cannot be decoded leaves the size
  EXPECT_EQ((TSize{image->Width, image->Height}), (TSize{10, 10}));
  measure.picture = {40, 27};
  l.form.ScaleTo(144);
  AutoSize(*image, measure);
  EXPECT_EQ((TSize{image->Width, image->Height}), (TSize{60, 41}));
  image->AutoSize = false;
  measure.picture = {80, 54};
  AutoSize(*image, measure);
  EXPECT_EQ((TSize{image->Width, image->Height}), (TSize{60, 41}));
}
