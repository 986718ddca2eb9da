#include "platform/posix/fltk/MessageBox.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Image.H>
#include <FL/fl_draw.H>
// fl_draw.H brings X11's macro None, which the model uses as a name.
#undef None

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "framework/Controls.h"
#include "platform/posix/fltk/Paint.h"
#include "platform/posix/fltk/Style.h"
#include "platform/posix/fltk/WindowHints.h"
#include "platform/posix/system/Encoding.h"

namespace {

// Lines of text as they are, with no label symbols or shortcuts.
class TextBox : public Fl_Widget {
 public:
  TextBox(int x, int y, int w, int h, std::vector<std::string> lines, Fl_Font font, Fl_Fontsize size)
      : Fl_Widget(x, y, w, h), lines_(std::move(lines)), font_(font), size_(size) {
    box(FL_NO_BOX);
  }

 protected:
  void draw() override {
    fl_font(font_, size_);
    fl_color(FL_BLACK);
    int baseline = y() + fl_height() - fl_descent();
    for (const std::string& line : lines_) {
      fl_draw(line.c_str(), x(), baseline);
      baseline += fl_height();
    }
  }
  int handle(int) override { return 0; }

 private:
  std::vector<std::string> lines_;
  Fl_Font font_;
  Fl_Fontsize size_;
};

// The box's OK button, marked as its default button with a dark frame and
// holding the focus, which it shows with a dotted rectangle.
class DefaultButton : public Fl_Button {
 public:
  DefaultButton(int x, int y, int w, int h, const char* label) : Fl_Button(x, y, w, h, label) {}

 protected:
  void draw() override {
    fl_rect(x(), y(), w(), h(), FL_BLACK);
    const int bx = x() + 1, by = y() + 1, bw = w() - 2, bh = h() - 2;
    const Fl_Boxtype pressed = down_box() != FL_NO_BOX ? down_box() : fl_down(box());
    draw_box(value() != 0 ? pressed : box(), bx, by, bw, bh, color());
    draw_label(bx, by, bw, bh);
    if (Fl::focus() == this) {
      fl_color(FL_BLACK);
      fl_line_style(FL_DOT);
      fl_rect(bx + 3, by + 3, bw - 6, bh - 6);
      fl_line_style(FL_SOLID);
    }
  }
  // Buttons take the focus only where FLTK shows it, which this program
  // turns off; this one takes it and shows it itself.
  int handle(int event) override {
    if (event == FL_FOCUS || event == FL_UNFOCUS) {
      redraw();
      return 1;
    }
    return Fl_Button::handle(event);
  }
};

// A message box: Enter, Space and Escape dismiss it like its OK button.
class MessageWindow : public Fl_Double_Window {
 public:
  using Fl_Double_Window::Fl_Double_Window;

 protected:
  int handle(int event) override {
    if (event == FL_KEYDOWN || event == FL_SHORTCUT) {
      const int key = Fl::event_key();
      if (key == FL_Enter || key == FL_KP_Enter || key == FL_Escape || key == ' ') hide();
      return 1;
    }
    if (event == FL_KEYUP) return 1;
    return Fl_Double_Window::handle(event);
  }
};

}  // namespace

void ShowMessageBox(const AnsiText& title, const AnsiText& text, bool errorIcon, Fl_Window* owner,
                    const std::string& xclass) {
  // As a Linux program reports: the box's text on standard error too, where a
  // script or a log can read it ("Terbo: error - /home/jan/.cache/Terbo/").
  std::fprintf(stderr, "%s: %s\n", AnsiToUtf8(title).c_str(), AnsiToUtf8(text).c_str());
  std::fflush(stderr);
  OpenDisplay();
  Fl_Group::current(nullptr);
  const Fl_Font font = FontTable::Instance().Get(TFont{});
  constexpr Fl_Fontsize kSize = 13;
  fl_font(font, kSize);
  if (owner != nullptr && !owner->shown()) owner = nullptr;
  // A long text wraps where a Windows message box wraps it: at 5/8 of the
  // width of the screen the box shows on.
  int sx = 0, sy = 0, sw = 0, sh = 0;
  if (owner != nullptr) {
    Fl::screen_xywh(sx, sy, sw, sh, owner->x() + owner->w() / 2, owner->y() + owner->h() / 2);
  } else {
    Fl::screen_xywh(sx, sy, sw, sh, 0);
  }
  const std::vector<std::string> lines = WrapText(AnsiToUtf8(text), sw * 5 / 8, [](const std::string& piece) {
    return static_cast<int>(std::ceil(fl_width(piece.c_str())));
  });
  int textW = 0;
  for (const std::string& line : lines)
    textW = std::max(textW, static_cast<int>(std::ceil(fl_width(line.c_str()))));
  const int textH = fl_height() * static_cast<int>(lines.size());

  constexpr int kMargin = 24, kIcon = 32, kIconGap = 14, kButtonW = 88, kButtonH = 26, kStrip = 46;
  const int textX = kMargin + (errorIcon ? kIcon + kIconGap : 0);
  const int upperH = std::max(errorIcon ? kIcon : 0, textH) + 2 * kMargin;
  const int width = std::max(textX + textW + kMargin, 220);
  const int height = upperH + kStrip;

  std::vector<std::uint8_t> iconPixels;
  std::unique_ptr<Fl_RGB_Image> icon;
  if (errorIcon) {
    iconPixels = ErrorIcon(kIcon);
    icon = std::make_unique<Fl_RGB_Image>(iconPixels.data(), kIcon, kIcon, 4);
  }

  MessageWindow box(width, height);
  box.copy_label(AnsiToUtf8(title).c_str());
  box.color(ToFl(clBtnFace));
  auto* upper = new Fl_Box(FL_FLAT_BOX, 0, 0, width, upperH, nullptr);
  upper->color(FL_WHITE);
  if (icon) {
    auto* sign =
        new Fl_Box(FL_NO_BOX, kMargin, kMargin + std::max(0, textH - kIcon) / 2, kIcon, kIcon, nullptr);
    sign->image(icon.get());
  }
  const int textY = kMargin + (errorIcon ? std::max(0, kIcon - textH) / 2 : 0);
  new TextBox(textX, textY, textW, textH, lines, font, kSize);
  auto* ok =
      new DefaultButton(width - kButtonW - 12, upperH + (kStrip - kButtonH) / 2, kButtonW, kButtonH, "OK");
  ok->labelfont(font);
  ok->labelsize(kSize);
  ok->callback([](Fl_Widget* w, void*) { w->window()->hide(); }, nullptr);
  box.end();
  box.size_range(width, height, width, height);
  box.set_modal();
  if (!xclass.empty()) box.xclass(xclass.c_str());
  if (owner != nullptr) {
    CentreOn(box, owner->x(), owner->y(), owner->w(), owner->h());
  } else {
    int x = 0, y = 0, w = 0, h = 0;
    Fl::screen_work_area(x, y, w, h);
    CentreOn(box, x, y, w, h);
  }
  box.show();
  SetDialogFrame(box);
  SetIconName(box, AnsiToUtf8(title));
  ok->take_focus();
  // Timers and workers' hand-offs go on while the box waits.
  while (box.shown()) Fl::wait();
}
