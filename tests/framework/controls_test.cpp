#include "framework/Controls.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "framework/Exception.h"
#include "tests/support/CaseName.h"
#include "tests/support/FakeWidgetSet.h"

namespace {
class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    Application().SetWidgetSet(&widgets_);
    Application().SetTitle("Terbo");
  }
  void TearDown() override { Application().SetWidgetSet(nullptr); }
  TFakeWidgets widgets_;
};
}  // namespace

TEST_F(Controls, FormFreesControlsItParentsAndOwns) {
  // Owner and parent are the same form; the parent's list goes first.
  auto* form = new TForm(nullptr);
  auto* notebook = new TNotebook(form);
  notebook->SetParent(form);
  TPage* page = notebook->AddPage("prvni");
  auto* panel = new TPanel(form);
  panel->SetParent(page);
  auto* label = new TLabel(form);
  label->SetParent(panel);
  ASSERT_EQ(form->Controls().size(), 1u);
  ASSERT_EQ(panel->Controls().size(), 1u);
  delete form;  // the sanitizers catch a dangling parent list here
}

TEST_F(Controls, FreedChildLeavesItsParent) {
  TForm form(nullptr);
  auto* label = new TLabel(&form);
  label->SetParent(&form);
  delete label;
  EXPECT_TRUE(form.Controls().empty());
}

TEST_F(Controls, NotebookShowsOnePageAtATime) {
  TForm form(nullptr);
  auto* notebook = new TNotebook(&form);
  TPage* first = notebook->AddPage("prvni");
  TPage* second = notebook->AddPage("Default");
  auto* label = new TLabel(&form);
  label->SetParent(second);
  notebook->SetPageIndex(1);
  EXPECT_FALSE(first->Visible());
  EXPECT_TRUE(second->Visible());
  EXPECT_TRUE(label->Showing());
  notebook->SetPageIndex(0);
  EXPECT_FALSE(label->Showing());
  notebook->SetPageIndex(7);  // out of range: nothing changes
  EXPECT_EQ(notebook->PageIndex(), 0);
}

TEST_F(Controls, ExceptionLeavingAHandlerIsShownInTheErrorBox) {
  TTimer timer(nullptr);
  timer.OnTimer = TNotifyEvent([](TObject*) { throw EInOutError(2); });
  timer.Tick();
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].title, "Terbo");
  EXPECT_EQ(widgets_.boxes[0].text, "File not found.");
  EXPECT_TRUE(widgets_.boxes[0].errorIcon);
  Application().Dispatch([] { throw std::runtime_error("plain"); });
  EXPECT_EQ(widgets_.boxes.back().text, "plain.");
}

TEST_F(Controls, DisabledTimerDoesNotTick) {
  int ticks = 0;
  TTimer timer(nullptr);
  timer.OnTimer = TNotifyEvent([&](TObject*) { ++ticks; });
  timer.SetEnabled(false);
  timer.Tick();
  EXPECT_EQ(ticks, 0);
  timer.SetEnabled(true);
  timer.Tick();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_EQ(widgets_.timerChanges.size(), 2u);
}

TEST_F(Controls, RunningTimersAreFoundAtAnyDepth) {
  TForm form(nullptr);
  auto* panel = new TPanel(&form);
  auto* direct = new TTimer(&form);
  auto* nested = new TTimer(panel);
  (new TTimer(&form))->SetEnabled(false);
  (new TTimer(panel))->SetInterval(0);
  EXPECT_EQ(RunningTimers(form), (std::vector<TTimer*>{nested, direct}));
}

TEST_F(Controls, MessagesCarryTheProgramTitleAndNoIcon) {
  Application().ShowMessage("Delete error");
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].title, "Terbo");
  EXPECT_EQ(widgets_.boxes[0].text, "Delete error");
  EXPECT_FALSE(widgets_.boxes[0].errorIcon);
}

TEST_F(Controls, FormClosesOnce) {
  TForm form(nullptr);
  form.Close();
  form.Close();
  EXPECT_TRUE(form.Closed());
  EXPECT_EQ(widgets_.closes, 1);
}

namespace {
struct TScaling {
  int dpi;
  int clientWidth, clientHeight, fontHeight;
  std::vector<int> panel, label;  // left, top, width, height
  int labelFontHeight;
  std::vector<int> picture;  // left, top, and the size of a 40 x 27 picture
};

class Scaling : public Controls, public ::testing::WithParamInterface<TScaling> {};
}  // namespace

// The window's layout is made at 96 dpi; at start it takes the screen's.
TEST_P(Scaling, CreationScalesTheLayoutToTheScreenBeforeOnCreate) {
  const TScaling& want = GetParam();
  TForm form(nullptr);
  form.ClientWidth = 585;
  form.ClientHeight = 113;
  auto* notebook = new TNotebook(&form);
  notebook->SetParent(&form);
  notebook->SetBounds(0, 0, 585, 113);
  auto* panel = new TPanel(&form);
  panel->SetParent(notebook->AddPage("prvni"));
  panel->SetBounds(0, 0, 585, 113);
  auto* label = new TLabel(&form);
  label->SetParent(panel);
  label->SetBounds(205, 20, 181, 16);
  label->ParentFont = false;
  label->Font.Height = 16;
  auto* image = new TImage(&form);
  image->SetParent(panel);
  image->SetBounds(240, 45, 40, 27);
  int widthInOnCreate = 0;
  form.OnCreate = [&](TObject*) { widthInOnCreate = form.ClientWidth; };
  widgets_.dpi = want.dpi;
  widgets_.changes = 0;

  form.DoCreate();
  EXPECT_EQ(form.PixelsPerInch(), want.dpi);
  EXPECT_EQ(widthInOnCreate, want.clientWidth);
  EXPECT_EQ((std::vector<int>{form.ClientWidth, form.ClientHeight, form.Font.Height}),
            (std::vector<int>{want.clientWidth, want.clientHeight, want.fontHeight}));
  for (TControl* c : {static_cast<TControl*>(notebook), static_cast<TControl*>(panel)}) {
    EXPECT_EQ((std::vector<int>{c->Left, c->Top, c->Width, c->Height}), want.panel) << c->ClassName();
  }
  EXPECT_EQ((std::vector<int>{label->Left, label->Top, label->Width, label->Height}), want.label);
  EXPECT_EQ(label->Font.Height, want.labelFontHeight);
  image->SizeToPicture(40, 27);
  EXPECT_EQ((std::vector<int>{image->Left, image->Top, image->Width, image->Height}), want.picture);
  // At the design resolution the widget set hears of nothing.
  if (want.dpi == kDesignPixelsPerInch) {
    EXPECT_EQ(widgets_.changes, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Resolutions, Scaling,
    ::testing::Values(
        TScaling{96, 585, 113, 13, {0, 0, 585, 113}, {205, 20, 181, 16}, 16, {240, 45, 40, 27}},
        // 125 %: halves and quarters rounded to the nearest pixel.
        TScaling{120, 731, 141, 16, {0, 0, 731, 141}, {256, 25, 226, 20}, 20, {300, 56, 50, 34}},
        // 150 %: halves rounded up.
        TScaling{144, 878, 170, 20, {0, 0, 878, 170}, {308, 30, 272, 24}, 24, {360, 68, 60, 41}},
        TScaling{192, 1170, 226, 26, {0, 0, 1170, 226}, {410, 40, 362, 32}, 32, {480, 90, 80, 54}}),
    [](const auto& p) { return CaseName(p.index, CaseNumber(p.param.dpi) + "Dpi"); });
