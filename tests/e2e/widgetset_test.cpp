// The FLTK widget set on a real X display (run under Xvfb): what the window
// shows, read back from the screen, and how timers, workers' hand-offs,
// message boxes, keys and clicks reach the model.
#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bootstrap/Flags.h"
#include "bootstrap/Main.h"
#include "framework/MainThread.h"
#include "platform/posix/fltk/FltkWidgetSet.h"

// Last: through FL/x.H, X11 defines macros (None...) that the model uses as names.
// clang-format off
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xutil.h>
// clang-format on
#undef None

namespace {

struct Rgb {
  int r, g, b;
};

bool Near(Rgb a, Rgb b, int margin) {
  return std::abs(a.r - b.r) <= margin && std::abs(a.g - b.g) <= margin && std::abs(a.b - b.b) <= margin;
}

// The pixels of the main window as they are on the screen.
class Screen {
 public:
  // Read once the window is viewable and drawn since: what is drawn before the
  // server maps it is lost, and a loaded machine may map it late.
  Screen(int x, int y, int w, int h, Fl_Window* window = nullptr)
      : x_(x), y_(y), w_(w), pixels_(static_cast<std::size_t>(w * h * 3)) {
    if (window == nullptr) window = Fl::first_window();
    for (int i = 0; i < 200 && !Viewable(*window); ++i) Fl::wait(0.05);
    window->redraw();
    Fl::flush();
    XSync(fl_display, False);
    window->make_current();
    if (fl_read_image(pixels_.data(), x, y, w, h) == nullptr)
      ADD_FAILURE() << "the window could not be read" << (Viewable(*window) ? "" : ": it is not viewable");
  }
  Rgb At(int x, int y) const {
    const std::size_t i = static_cast<std::size_t>(((y - y_) * w_ + (x - x_)) * 3);
    return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
  }
  // How many pixels of a rectangle are near a colour.
  int Count(int x, int y, int w, int h, Rgb colour, int margin) const {
    int n = 0;
    for (int yy = y; yy < y + h; ++yy) {
      for (int xx = x; xx < x + w; ++xx) n += Near(At(xx, yy), colour, margin) ? 1 : 0;
    }
    return n;
  }

 private:
  static bool Viewable(Fl_Window& window) {
    XWindowAttributes attributes{};
    return window.shown() && XGetWindowAttributes(fl_display, fl_xid(&window), &attributes) != 0 &&
           attributes.map_state == IsViewable;
  }

  int x_, y_, w_;
  std::vector<unsigned char> pixels_;
};

constexpr Rgb kBlueScheme{176, 216, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBar{41, 86, 141};

// The installer window's layout, with the blue colour scheme.
class LayoutForm : public TForm {
 public:
  LayoutForm() : TForm(nullptr) {
    SetCaption("TERBO");
    ClientWidth = 585;
    ClientHeight = 113;
    notebook = Add<TNotebook>(this, 0, 0, 585, 113);
    TPage* language = notebook->AddPage("prvni");
    TPage* progress = notebook->AddPage("Default");
    panel2 = Add<TPanel>(language, 0, 0, 585, 113);
    panel2->SetColor(0xFFD8B0);
    label3 = Add<TLabel>(panel2, 205, 20, 181, 16);
    label3->SetCaption(texts::kSelectLanguage);
    image1 = Add<TImage>(panel2, 240, 45, 40, 27);
    image1->Picture = CzechFlagJpeg();
    image1->Cursor = TCursor::HandPoint;
    image1->OnClick = [this](TObject*) { ++czechClicks; };
    image2 = Add<TImage>(panel2, 300, 45, 40, 27);
    image2->Picture = UnitedKingdomFlagJpeg();
    button1 = Add<TButton>(panel2, 40, 30, 75, 25);
    button1->Caption = "Button1";
    button1->SetVisible(false);
    panel1 = Add<TPanel>(progress, 0, 0, 585, 113);
    panel1->SetColor(0xFFD8B0);
    label2 = Add<TLabel>(panel1, 10, 10, 479, 19);
    label2->ParentFont = false;
    label2->Font.Height = 16;
    label2->Font.Bold = true;
    label2->SetCaption(texts::kStatusCz);
    label1 = Add<TLabel>(panel1, 10, 40, 103, 16);
    label1->SetCaption(texts::kFileCz);
    had = Add<TGauge>(panel1, 10, 60, 566, 30);
    had->SetForeColor(ColorRGB(41, 86, 141));
    notebook->SetPageIndex(0);
  }

  // A timer of this form running fn on each tick.
  TTimer* Every(std::uint32_t ms, std::function<void(TTimer&)> fn) {
    auto* timer = new TTimer(this);
    timer->SetInterval(ms);
    timer->OnTimer = [timer, fn = std::move(fn)](TObject*) { fn(*timer); };
    return timer;
  }

  TNotebook* notebook;
  TPanel *panel1, *panel2;
  TLabel *label1, *label2, *label3;
  TImage *image1, *image2;
  TButton* button1;
  TGauge* had;
  int czechClicks = 0;

 private:
  template <class T>
  T* Add(TWinControl* parent, int x, int y, int w, int h) {
    auto* c = new T(this);
    c->SetParent(parent);
    c->SetBounds(x, y, w, h);
    return c;
  }
};

class FltkWindow : public ::testing::Test {
 protected:
  FltkWindow() { Application().SetWidgetSet(&widgets); }
  ~FltkWindow() override {
    form.reset();
    Application().SetWidgetSet(nullptr);
  }
  void Run() { widgets.Run(*form); }
  // The window as it shows once the loop has run a while; it closes then.
  std::unique_ptr<Screen> ShotOfWindow() {
    std::unique_ptr<Screen> shot;
    form->Every(150, [&](TTimer& t) {
      t.SetEnabled(false);
      shot = std::make_unique<Screen>(0, 0, 585, 113);
      form->Close();
    });
    Run();
    return shot;
  }

  TFltkWidgetSet widgets;
  std::unique_ptr<LayoutForm> form = std::make_unique<LayoutForm>();
};

TEST_F(FltkWindow, LanguagePageShowsPanelTextAndFlags) {
  const std::unique_ptr<Screen> shot = ShotOfWindow();
  ASSERT_TRUE(shot);
  const Screen& s = *shot;
  EXPECT_TRUE(Near(s.At(100, 90), kBlueScheme, 0));
  EXPECT_TRUE(Near(s.At(500, 10), kBlueScheme, 0));
  // A raised bevel: lighter at the top left edge, darker at the bottom right.
  EXPECT_GT(s.At(0, 50).g, s.At(584, 50).g);
  EXPECT_FALSE(Near(s.At(584, 50), kBlueScheme, 10));
  EXPECT_FALSE(Near(s.At(50, 112), kBlueScheme, 10));

  // The label took the size of its text in a 13-pixel sans font...
  EXPECT_GT(form->label3->Width, 150);
  EXPECT_LT(form->label3->Width, 215);
  EXPECT_GE(form->label3->Height, 13);
  EXPECT_LE(form->label3->Height, 18);
  // ...and its text is there in black, straight on the panel.
  const TLabel& l = *form->label3;
  EXPECT_GT(s.Count(l.Left, l.Top, l.Width, l.Height, kBlack, 90), 40);
  EXPECT_EQ(s.Count(l.Left, l.Top, l.Width, l.Height, kWhite, 10), 0);
  EXPECT_EQ(s.Count(0, 0, 200, 40, kBlack, 90), 0);

  // The flags at their places and in their picture size.
  EXPECT_EQ(form->image1->Width, 40);
  EXPECT_EQ(form->image1->Height, 27);
  EXPECT_TRUE(Near(s.At(243, 58), {17, 69, 126}, 40));  // Czech blue at the hoist
  EXPECT_TRUE(Near(s.At(275, 48), kWhite, 40));         // Czech white, upper fly
  EXPECT_TRUE(Near(s.At(320, 58), {200, 16, 46}, 40));  // the red cross of the Union Flag
  // The invisible button leaves the panel as it is.
  EXPECT_EQ(s.Count(40, 30, 75, 25, kBlueScheme, 0), 75 * 25);
}

class FltkPanels : public FltkWindow, public ::testing::WithParamInterface<int> {};

// The bevel in the colours Windows 10 draws it in around any panel colour:
// white at the top and left, the button shadow at the bottom and right.
TEST_P(FltkPanels, BevelIsWhiteAboveAndButtonShadowBelow) {
  form->notebook->SetPageIndex(GetParam());
  const std::unique_ptr<Screen> shot = ShotOfWindow();
  ASSERT_TRUE(shot);
  const Rgb shadow{160, 160, 160};
  for (const auto& [x, y] : {std::pair{0, 50}, std::pair{50, 0}, std::pair{0, 1}, std::pair{583, 0}}) {
    EXPECT_TRUE(Near(shot->At(x, y), kWhite, 0)) << x << "," << y;
  }
  for (const auto& [x, y] : {std::pair{584, 50}, std::pair{50, 112}, std::pair{584, 0}, std::pair{0, 112}}) {
    EXPECT_TRUE(Near(shot->At(x, y), shadow, 0)) << x << "," << y;
  }
  // One pixel wide: inside it the panel's colour.
  for (const auto& [x, y] : {std::pair{1, 50}, std::pair{50, 1}, std::pair{583, 50}, std::pair{50, 111}}) {
    EXPECT_TRUE(Near(shot->At(x, y), kBlueScheme, 0)) << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(BothPages, FltkPanels, ::testing::Values(0, 1));

// The window's X properties as a UTF-8 text.
std::string TextProperty(Window xid, const char* name) {
  XTextProperty property{};
  if (XGetTextProperty(fl_display, xid, &property, XInternAtom(fl_display, name, False)) == 0)
    return "(none)";
  char** list = nullptr;
  int count = 0;
  std::string text = "(unreadable)";
  if (Xutf8TextPropertyToTextList(fl_display, &property, &list, &count) >= Success && count > 0)
    text = list[0];
  if (list != nullptr) XFreeStringList(list);
  XFree(property.value);
  return text;
}

struct TitleCase {
  AnsiText title;    // Windows-1250
  std::string utf8;  // as the desktop reads it
};
class FltkTitle : public FltkWindow, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(FltkTitle, IsTheIconNameAndTheClassInstanceWhileTheCaptionStays) {
  widgets.SetApplicationTitle(GetParam().title);
  std::string className, classInstance, iconName, netIconName, caption;
  int step = 0;
  form->Every(100, [&](TTimer& t) {
    if (step++ == 0) {
      form->SetCaption("KALMIRO");  // FLTK names the icon after the caption on each change
      return;
    }
    t.SetEnabled(false);
    const Window xid = fl_xid(Fl::first_window());
    XClassHint hint{};
    if (XGetClassHint(fl_display, xid, &hint) != 0) {
      classInstance = hint.res_name;
      className = hint.res_class;
      XFree(hint.res_name);
      XFree(hint.res_class);
    }
    iconName = TextProperty(xid, "WM_ICON_NAME");
    netIconName = TextProperty(xid, "_NET_WM_ICON_NAME");
    caption = TextProperty(xid, "_NET_WM_NAME");
    form->Close();
  });
  Run();
  EXPECT_EQ(iconName, GetParam().utf8);
  EXPECT_EQ(netIconName, GetParam().utf8);
  EXPECT_EQ(classInstance, GetParam().utf8);
  EXPECT_FALSE(className.empty());
  EXPECT_EQ(caption, "KALMIRO");
}

INSTANTIATE_TEST_SUITE_P(
    Titles, FltkTitle,
    ::testing::Values(TitleCase{"zulan_festir", "zulan_festir"}, TitleCase{"Terbo", "Terbo"},
                      TitleCase{"\x8elu\x9dou\xe8k\xfd", "\xc5\xbdlu\xc5\xa5ou\xc4\x8dk\xc3\xbd"}));

// What a message box showed, seen from a timer inside its own loop.
struct BoxSeen {
  int width = 0, height = 0;
  bool okHasFocus = false;
  bool frameIsDark = false;  // the default button's frame
  bool focusMarked = false;  // dotted rectangle inside the button
};

class FltkMessageBox : public FltkWindow {
 protected:
  BoxSeen Show(const AnsiText& text) {
    BoxSeen seen;
    form->Every(50, [&, text](TTimer& t) {
      t.SetEnabled(false);
      widgets.ShowMessage("Terbo", text, true);
      form->Close();
    });
    form->Every(150, [&](TTimer& t) {
      Fl_Window* box = Fl::modal();
      if (box == nullptr) return;
      t.SetEnabled(false);
      seen.width = box->w();
      seen.height = box->h();
      auto* ok = dynamic_cast<Fl_Button*>(Fl::focus());
      seen.okHasFocus = ok != nullptr && ok->window() == box && std::string(ok->label()) == "OK";
      for (int i = 0; i < box->children(); ++i) {
        auto* button = dynamic_cast<Fl_Button*>(box->child(i));
        if (button == nullptr) continue;
        const Screen s(button->x(), button->y(), button->w(), button->h(), box);
        const int midY = button->y() + button->h() / 2, midX = button->x() + button->w() / 2;
        seen.frameIsDark = Near(s.At(button->x(), midY), kBlack, 40) &&
                           Near(s.At(button->x() + button->w() - 1, midY), kBlack, 40) &&
                           Near(s.At(midX, button->y()), kBlack, 40) &&
                           !Near(s.At(button->x() + 1, midY), kBlack, 60);
        seen.focusMarked = s.Count(button->x() + 4, button->y() + 4, button->w() - 8, 1, kBlack, 40) > 10;
      }
      box->hide();
    });
    Run();
    return seen;
  }
};

TEST_F(FltkMessageBox, OkIsTheDefaultButtonAndHasTheFocus) {
  const BoxSeen seen = Show("File not found.");
  EXPECT_TRUE(seen.okHasFocus);
  EXPECT_TRUE(seen.frameIsDark);
  EXPECT_TRUE(seen.focusMarked);
  EXPECT_LT(seen.width, 300);  // a short text keeps the box small
}

TEST_F(FltkMessageBox, LongTextWrapsAtFiveEighthsOfTheScreen) {
  AnsiText text;
  for (int i = 0; i < 40; ++i) text += "Nelze vytvorit tmp adresar, slovo ";
  const BoxSeen seen = Show(text);
  int sx = 0, sy = 0, sw = 0, sh = 0;
  Fl::screen_xywh(sx, sy, sw, sh, 0);
  const int limit = sw * 5 / 8;  // 640 on the test's screen
  // The text takes nearly the limit, with the margins and the sign beside it.
  EXPECT_LE(seen.width, limit + 2 * 24 + 32 + 14);
  EXPECT_GT(seen.width, limit - 80);
  EXPECT_GT(seen.height, 150);  // the text took several lines
  EXPECT_TRUE(seen.okHasFocus);
}

TEST_F(FltkWindow, GaugeShowsBarAndInvertedPercentageAndRepaintsOnChange) {
  form->notebook->SetPageIndex(1);
  form->had->SetProgress(50);  // before Run: Run reads the final state
  std::unique_ptr<Screen> half, empty;
  int step = 0;
  form->Every(100, [&](TTimer& t) {
    if (step++ == 0) {
      half = std::make_unique<Screen>(10, 60, 566, 30);
      form->had->SetProgress(0);
      return;
    }
    t.SetEnabled(false);
    empty = std::make_unique<Screen>(10, 60, 566, 30);
    form->Close();
  });
  Run();
  ASSERT_TRUE(half && empty);
  const int barEnd = 11 + 564 * 50 / 100;
  EXPECT_TRUE(Near(half->At(10, 75), kBlack, 0));   // frame
  EXPECT_TRUE(Near(half->At(575, 75), kBlack, 0));  // frame
  EXPECT_TRUE(Near(half->At(12, 62), kBar, 0));
  EXPECT_TRUE(Near(half->At(barEnd - 1, 62), kBar, 0));
  EXPECT_TRUE(Near(half->At(barEnd, 62), kWhite, 0));
  EXPECT_TRUE(Near(half->At(574, 88), kWhite, 0));
  // "50%" straddles the bar's end: light over the bar, black over the white.
  EXPECT_GT(half->Count(barEnd - 30, 62, 30, 26, {214, 169, 114}, 30), 10);
  EXPECT_GT(half->Count(barEnd, 62, 30, 26, kBlack, 60), 10);
  // Text only in the middle of the gauge.
  EXPECT_EQ(half->Count(12, 62, 200, 26, {214, 169, 114}, 30), 0);

  // Progress 0: the bar is gone, "0%" black on white in the middle.
  EXPECT_EQ(empty->Count(11, 61, 200, 28, kWhite, 0), 200 * 28);
  EXPECT_GT(empty->Count(barEnd - 15, 62, 30, 26, kBlack, 60), 10);
}

TEST_F(FltkWindow, LabelThatShrinksLeavesNoTextBehind) {
  form->notebook->SetPageIndex(1);
  std::unique_ptr<Screen> after;
  int wideWidth = 0;
  int step = 0;
  form->Every(100, [&](TTimer& t) {
    if (step++ == 0) {
      form->label1->SetCaption("qtintf70._dl and a much longer name than before");
      wideWidth = form->label1->Width;
      return;
    }
    if (step == 2) {
      form->label1->SetCaption("ntdll._dl");
      return;
    }
    t.SetEnabled(false);
    after = std::make_unique<Screen>(0, 0, 585, 113);
    form->Close();
  });
  Run();
  ASSERT_TRUE(after);
  const TLabel& l = *form->label1;
  EXPECT_GT(wideWidth, 250);
  EXPECT_LT(l.Width, 80);
  EXPECT_GT(after->Count(l.Left, l.Top, l.Width, l.Height, kBlack, 90), 15);
  EXPECT_EQ(after->Count(l.Left + l.Width, l.Top, wideWidth - l.Width, l.Height, kBlueScheme, 0),
            (wideWidth - l.Width) * l.Height);
}

TEST_F(FltkWindow, TimersTickUntilDisabledAndMayFreeThemselves) {
  int selfStopping = 0, untouched = 0, disabledBeforeRun = 0, selfFreeing = 0;
  form->Every(20, [&](TTimer& t) {
    if (++selfStopping == 3) t.SetEnabled(false);
  });
  // Enabled from its creation, so the widget set never heard of it before Run.
  form->Every(30, [&](TTimer&) { ++untouched; });
  form->Every(10, [&](TTimer&) { ++disabledBeforeRun; })->SetEnabled(false);
  form->Every(25, [&](TTimer& t) {
    ++selfFreeing;
    delete &t;
  });
  form->Every(400, [&](TTimer&) { form->Close(); });
  Run();
  EXPECT_EQ(selfStopping, 3);
  EXPECT_GE(untouched, 2);
  EXPECT_EQ(disabledBeforeRun, 0);
  EXPECT_EQ(selfFreeing, 1);
}

TEST_F(FltkWindow, WorkerHandOffsRunWhileAMessageBoxWaits) {
  constexpr int kCalls = 3000;
  int handedOff = 0;  // touched on the UI thread only
  int atDismissal = -1, afterBox = -1;
  std::string boxTitle;
  std::thread worker;
  form->Every(50, [&](TTimer& t) {
    t.SetEnabled(false);
    worker = std::thread([&] {
      for (int i = 0; i < kCalls; ++i) MainThreadQueue().RunAndWait([&] { ++handedOff; });
    });
    widgets.ShowMessage("Terbo", "Nelze vytvorit tmp adresar", true);
    afterBox = handedOff;
    form->Close();
  });
  // Ticks inside the box's own loop: dismiss it once every call has run.
  form->Every(20, [&](TTimer& t) {
    if (handedOff < kCalls || Fl::modal() == nullptr) return;
    t.SetEnabled(false);
    boxTitle = Fl::modal()->label();
    atDismissal = handedOff;
    Fl::modal()->hide();
  });
  Run();
  worker.join();
  EXPECT_EQ(boxTitle, "Terbo");
  EXPECT_EQ(atDismissal, kCalls);
  EXPECT_EQ(afterBox, kCalls);
}

TEST_F(FltkWindow, ItsThreadSleepsOnceTheHandOffsStop) {
  // A transfer's worth of hand-offs, then none: CPU time of the loop's thread
  // over half a second of nothing, with a bound a loaded machine cannot reach.
  constexpr int kCalls = 20000;
  int handedOff = 0;
  const auto cpu = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
  };
  std::thread worker;
  form->Every(10, [&](TTimer& t) {
    t.SetEnabled(false);
    worker = std::thread([&] {
      for (int i = 0; i < kCalls; ++i) MainThreadQueue().RunAndWait([&] { ++handedOff; });
    });
  });
  std::chrono::nanoseconds idleCpu{-1}, atStart{};
  int ticks = 0;
  form->Every(100, [&](TTimer& t) {
    if (handedOff < kCalls) return;
    if (++ticks == 1) atStart = cpu();
    if (ticks < 6) return;
    idleCpu = cpu() - atStart;
    t.SetEnabled(false);
    form->Close();
  });
  Run();
  worker.join();
  EXPECT_GE(idleCpu.count(), 0);
  EXPECT_LT(idleCpu, std::chrono::milliseconds(25));
}

TEST_F(FltkWindow, KeysButAltF4DoNothingAndOnlyALeftClickOnAFlagClicksIt) {
  std::vector<std::string> steps = {
      // The pointer over the window: Xvfb gives the keyboard to the window beneath it.
      "mousemove --window WID 100 100 key Return space Escape Tab Right F4 alt",
      "mousemove --window WID 250 55 click 3",
      "mousemove --window WID 100 100 click 1",
      "mousemove --window WID 250 55 click 1",
      "mousemove --window WID 100 100 key alt+F4",  // no window manager here
  };
  std::vector<int> clicksAfter;
  std::vector<bool> closedAfter;
  std::size_t next = 0;
  form->Every(150, [&](TTimer& t) {
    if (next > 0) {
      clicksAfter.push_back(form->czechClicks);
      closedAfter.push_back(form->Closed());
    }
    if (next == steps.size()) {  // Alt+F4 left it open
      t.SetEnabled(false);
      form->Close();
      return;
    }
    std::string command = steps[next++];
    for (std::size_t at; (at = command.find("WID")) != std::string::npos;) {
      command.replace(at, 3, std::to_string(fl_xid(Fl::first_window())));
    }
    ASSERT_EQ(std::system(("xdotool " + command).c_str()), 0);
  });
  Run();
  ASSERT_EQ(clicksAfter.size(), 4u) << "Alt+F4 closes the window";
  EXPECT_EQ(clicksAfter[0], 0);  // keys
  EXPECT_FALSE(closedAfter[0]);  // not even Escape closes the window
  EXPECT_EQ(form->notebook->PageIndex(), 0);
  EXPECT_EQ(clicksAfter[1], 0);  // right button
  EXPECT_EQ(clicksAfter[2], 0);  // beside the flag
  EXPECT_EQ(clicksAfter[3], 1);
}

}  // namespace
