#include <gtest/gtest.h>

#include <stdexcept>

#include "framework/Controls.h"
#include "framework/Exception.h"

namespace {
class TRecordingWidgets : public IWidgetSet {
 public:
  std::vector<std::pair<AnsiText, bool>> boxes;
  std::vector<TTimer*> timerChanges;
  int closes = 0;
  void ControlChanged(TControl&) override {}
  void ControlDestroyed(TControl&) override {}
  void TimerChanged(TTimer& t) override { timerChanges.push_back(&t); }
  void TimerDestroyed(TTimer&) override {}
  void ProcessMessages() override {}
  void ShowMessage(const AnsiText& title, const AnsiText& text, bool errorIcon) override {
    boxes.emplace_back(title + "|" + text, errorIcon);
  }
  void SetScreenCursor(TCursor) override {}
  void Run(TForm&) override {}
  void CloseForm(TForm&) override { ++closes; }
  void SetApplicationTitle(const AnsiText&) override {}
};

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    Application().SetWidgetSet(&widgets_);
    Application().SetTitle("Terbo");
  }
  void TearDown() override { Application().SetWidgetSet(nullptr); }
  TRecordingWidgets widgets_;
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
  EXPECT_EQ(widgets_.boxes[0].first, "Terbo|File not found.");
  EXPECT_TRUE(widgets_.boxes[0].second);
  Application().Dispatch([] { throw std::runtime_error("plain"); });
  EXPECT_EQ(widgets_.boxes.back().first, "Terbo|plain.");
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

TEST_F(Controls, MessagesCarryTheProgramTitleAndNoIcon) {
  Application().ShowMessage("Delete error");
  ASSERT_EQ(widgets_.boxes.size(), 1u);
  EXPECT_EQ(widgets_.boxes[0].first, "Terbo|Delete error");
  EXPECT_FALSE(widgets_.boxes[0].second);
}

TEST_F(Controls, FormClosesOnce) {
  TForm form(nullptr);
  form.Close();
  form.Close();
  EXPECT_TRUE(form.Closed());
  EXPECT_EQ(widgets_.closes, 1);
}
