#include "platform/posix/fltk/FltkWidgetSet.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Image.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
// X11 names a macro None, as the model names a bevel.
#undef None

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "framework/MainThread.h"
#include "framework/Pixels.h"
#include "platform/posix/fltk/Jpeg.h"
#include "platform/posix/fltk/Paint.h"
#include "platform/posix/system/Encoding.h"

namespace {

Fl_Color ToFl(TRgb c) {
  return fl_rgb_color(c.R, c.G, c.B);
}
Fl_Color ToFl(TColor c) {
  return ToFl(ResolveColor(c));
}

Fl_Cursor ToFlCursor(TCursor cursor) {
  switch (cursor) {
    case TCursor::HandPoint:
      return FL_CURSOR_HAND;
    case TCursor::HourGlass:
      return FL_CURSOR_WAIT;
    case TCursor::Default:
      break;
  }
  return FL_CURSOR_DEFAULT;
}

// Asks the window manager for a dialog frame: title and close button, no
// resizing, minimising or maximising. FLTK has mapped the window with hints
// of its own by now; window managers that follow the property take these
// (Openbox keeps its buttons whatever the hints say).
void SetDialogFrame(Fl_Window& window) {
  if (!window.shown()) return;
  struct MotifHints {
    unsigned long flags, functions, decorations;
    long inputMode;
    unsigned long status;
  };
  constexpr unsigned long kFunctions = 1, kDecorations = 2;
  constexpr unsigned long kFuncMove = 4, kFuncClose = 32;
  constexpr unsigned long kDecorBorder = 2, kDecorTitle = 8;
  MotifHints hints{kFunctions | kDecorations, kFuncMove | kFuncClose, kDecorBorder | kDecorTitle, 0, 0};
  const Window xid = fl_xid(&window);
  const Atom atom = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(fl_display, xid, atom, atom, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&hints),
                  5);
}

// Taskbars and pagers name a window by its icon name, which carries the
// program's title as Windows shows it on the taskbar button. FLTK writes
// the caption there instead, and UTF-8 under the Latin-1 type.
void SetIconName(Fl_Window& window, const std::string& utf8) {
  if (!window.shown() || utf8.empty()) return;
  const Window xid = fl_xid(&window);
  char* list[] = {const_cast<char*>(utf8.c_str())};
  XTextProperty property{};
  if (Xutf8TextListToTextProperty(fl_display, list, 1, XStdICCTextStyle, &property) >= Success) {
    XSetWMIconName(fl_display, xid, &property);
    XFree(property.value);
  }
  const Atom name = XInternAtom(fl_display, "_NET_WM_ICON_NAME", False);
  const Atom type = XInternAtom(fl_display, "UTF8_STRING", False);
  XChangeProperty(fl_display, xid, name, type, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
}

// The display and the look every window of the program shares.
void OpenDisplay() {
  fl_open_display();
  Fl::visible_focus(0);
  const TRgb face = ResolveColor(clBtnFace);
  Fl::background(face.R, face.G, face.B);
}

// The desktop's resolution as X clients share it, in Xft.dpi; 96 without one.
int XftDpi() {
  OpenDisplay();
  const char* value = XGetDefault(fl_display, "Xft", "dpi");
  const double dpi = value != nullptr ? std::strtod(value, nullptr) : 0.0;
  return dpi >= 1.0 && dpi < 10000.0 ? static_cast<int>(std::lround(dpi)) : kDesignPixelsPerInch;
}

void CentreOn(Fl_Window& window, int areaX, int areaY, int areaW, int areaH) {
  window.position(areaX + (areaW - window.w()) / 2, areaY + (areaH - window.h()) / 2);
}

// Fonts by family and weight, registered with FLTK when first asked for.
// FLTK's font table is the process's, so there is one of these too.
class FontTable {
 public:
  static FontTable& Instance() {
    static FontTable table;
    return table;
  }

  Fl_Font Get(const TFont& font) {
    // Xft reads a leading 'B' as bold, a space as regular.
    std::string key = (font.Bold ? "B" : " ") + AnsiToUtf8(font.Name);
    const auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second;
    const Fl_Font index = FL_FREE_FONT + static_cast<Fl_Font>(fonts_.size());
    names_.push_back(std::make_unique<std::string>(key));  // FLTK keeps the pointer
    Fl::set_font(index, names_.back()->c_str());
    fonts_.emplace(std::move(key), index);
    return index;
  }

 private:
  std::map<std::string, Fl_Font> fonts_;
  std::vector<std::unique_ptr<std::string>> names_;
};

// The model control a widget shows; cleared when the control goes away, as
// the widget may outlive it until the window is freed.
struct PeerLink {
  explicit PeerLink(TControl* c) : control(c) {}
  virtual ~PeerLink() = default;
  TControl* control;
};

PeerLink* LinkOf(Fl_Widget* widget) {
  return dynamic_cast<PeerLink*>(widget);
}

// The control behind a widget, none when the widget has no peer link or its
// control is gone.
TControl* ControlOf(Fl_Widget* widget) {
  PeerLink* link = LinkOf(widget);
  return link != nullptr ? link->control : nullptr;
}

class GroupPeer : public Fl_Group, public PeerLink {
 public:
  explicit GroupPeer(TControl* c) : Fl_Group(0, 0, 0, 0), PeerLink(c) {
    end();
    box(FL_NO_BOX);
    clear_visible_focus();
  }
};

// A panel paints its colour and its bevel itself: FLTK's thin boxes shade
// the edges from the panel's own colour, where Windows draws them in the
// system's highlight and shadow colours whatever the panel's colour is.
class PanelPeer : public Fl_Group, public PeerLink {
 public:
  explicit PanelPeer(TControl* c) : Fl_Group(0, 0, 0, 0), PeerLink(c) {
    end();
    box(FL_FLAT_BOX);
    clear_visible_focus();
  }
  TBevelCut bevel = TBevelCut::Raised;
  int bevelWidth = 1;

 protected:
  void draw() override {
    if ((damage() & ~FL_DAMAGE_CHILD) != 0) {
      fl_rectf(x(), y(), w(), h(), color());
      if (bevel != TBevelCut::None) {
        const Fl_Color light = ToFl(clBtnHighlight), dark = ToFl(clBtnShadow);
        const Fl_Color topLeft = bevel == TBevelCut::Raised ? light : dark;
        const Fl_Color bottomRight = bevel == TBevelCut::Raised ? dark : light;
        for (int i = 0; i < bevelWidth && 2 * i < w() && 2 * i < h(); ++i) {
          const int left = x() + i, top = y() + i, right = x() + w() - 1 - i, bottom = y() + h() - 1 - i;
          fl_color(topLeft);
          fl_yxline(left, bottom, top, right);
          // The dark edge takes both far corners.
          fl_color(bottomRight);
          fl_xyline(left, bottom, right, top);
        }
      }
      draw_label();
    }
    draw_children();
  }
};

// Text on its parent's background, in one line.
class LabelPeer : public Fl_Widget, public PeerLink {
 public:
  explicit LabelPeer(TControl* c) : Fl_Widget(0, 0, 0, 0), PeerLink(c) {
    box(FL_NO_BOX);
    clear_visible_focus();
  }
  std::string text;
  Fl_Font font = FL_HELVETICA;
  Fl_Fontsize size = 13;
  Fl_Color ink = FL_BLACK;

  // Width and height of the text in this font.
  std::pair<int, int> Measure() const {
    fl_font(font, size);
    return {static_cast<int>(std::ceil(fl_width(text.c_str()))), fl_height()};
  }

 protected:
  void draw() override {
    if (text.empty()) return;
    fl_push_clip(x(), y(), w(), h());
    fl_font(font, size);
    fl_color(ink);
    fl_draw(text.c_str(), x(), y() + fl_height() - fl_descent());
    fl_pop_clip();
  }
  int handle(int) override { return 0; }
};

class ImagePeer : public Fl_Widget, public PeerLink {
 public:
  ImagePeer(TControl* c, TFltkWidgetSet::Impl* owner) : Fl_Widget(0, 0, 0, 0), PeerLink(c), owner_(owner) {
    box(FL_NO_BOX);
    clear_visible_focus();
  }

  // Decodes the picture when its bytes differ from the ones shown.
  void SetPicture(const std::vector<std::uint8_t>& bytes) {
    if (bytes == bytes_ && (picture_ || bytes.empty())) return;
    bytes_ = bytes;
    picture_.reset();
    scaled_.reset();
    pixels_ = DecodeJpeg(bytes_);
    if (!pixels_.Empty())
      picture_ = std::make_unique<Fl_RGB_Image>(pixels_.Pixels.data(), pixels_.Width, pixels_.Height, 3);
  }
  int PictureWidth() const { return pixels_.Width; }
  int PictureHeight() const { return pixels_.Height; }
  TCursor cursor = TCursor::Default;
  // Drawn over the whole widget, scaled to its size, or as decoded.
  bool fill = true;

 protected:
  void draw() override {
    if (!picture_) return;
    if (fill && (w() != pixels_.Width || h() != pixels_.Height)) {
      if (!scaled_ || scaled_->w() != w() || scaled_->h() != h()) {
        scaledPixels_ = ScalePixels(TPixels{pixels_.Width, pixels_.Height, 3, pixels_.Pixels}, w(), h());
        scaled_ = std::make_unique<Fl_RGB_Image>(scaledPixels_.Bytes.data(), w(), h(), 3);
      }
      scaled_->draw(x(), y(), w(), h());
      return;
    }
    picture_->draw(x(), y(), w(), h());
  }
  int handle(int event) override;

 private:
  TFltkWidgetSet::Impl* owner_;
  std::vector<std::uint8_t> bytes_;
  TRgbImage pixels_;
  std::unique_ptr<Fl_RGB_Image> picture_;
  // The picture at the widget's size, when that is another.
  TPixels scaledPixels_;
  std::unique_ptr<Fl_RGB_Image> scaled_;
};

class GaugePeer : public Fl_Widget, public PeerLink {
 public:
  explicit GaugePeer(TControl* c) : Fl_Widget(0, 0, 0, 0), PeerLink(c) {
    box(FL_NO_BOX);
    clear_visible_focus();
  }
  ~GaugePeer() override {
    if (offscreen_ != 0) fl_delete_offscreen(offscreen_);
  }
  TGaugePicture picture;
  Fl_Font font = FL_HELVETICA;
  Fl_Fontsize size = 13;

 protected:
  // Painted off screen first and copied in one go, so the bar never flickers.
  void draw() override {
    const int width = w(), height = h();
    if (width <= 0 || height <= 0) return;
    if (offscreen_ == 0 || offscreenW_ != width || offscreenH_ != height) {
      if (offscreen_ != 0) fl_delete_offscreen(offscreen_);
      // fl_create_offscreen, spelled out for the sign of its arguments.
      offscreen_ = XCreatePixmap(fl_display, RootWindow(fl_display, fl_screen), static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), static_cast<unsigned>(fl_visual->depth));
      offscreenW_ = width;
      offscreenH_ = height;
    }
    fl_begin_offscreen(offscreen_);
    Paint(width, height);
    fl_end_offscreen();
    fl_copy_offscreen(x(), y(), width, height, offscreen_, 0, 0);
  }
  int handle(int) override { return 0; }

 private:
  void Paint(int width, int height) const {
    const TGaugePicture& p = picture;
    if (p.Frame) {
      fl_color(FL_BLACK);
      fl_rect(0, 0, width, height);
    }
    const TRect& in = p.Inner;
    fl_rectf(in.X, in.Y, in.W, in.H, ToFl(p.Back));
    if (p.BarWidth >= 1) fl_rectf(in.X, in.Y, p.BarWidth, in.H, ToFl(p.Bar));
    if (p.Text.empty()) return;
    fl_font(font, size);
    const int textW = static_cast<int>(std::lround(fl_width(p.Text.c_str())));
    const int textX = in.X + (in.W - textW) / 2;
    const int baseline = in.Y + (in.H - fl_height()) / 2 + fl_height() - fl_descent();
    // Each part of the text in the inverse of what lies beneath it.
    const auto textIn = [&](int clipX, int clipW, TRgb ink) {
      if (clipW <= 0) return;
      fl_push_clip(clipX, in.Y, clipW, in.H);
      fl_color(ToFl(ink));
      fl_draw(p.Text.c_str(), textX, baseline);
      fl_pop_clip();
    };
    textIn(in.X, p.BarWidth, p.TextOverBar);
    textIn(in.X + p.BarWidth, in.W - p.BarWidth, p.TextOverBack);
  }

  Fl_Offscreen offscreen_ = 0;
  int offscreenW_ = 0, offscreenH_ = 0;
};

class ButtonPeer : public Fl_Button, public PeerLink {
 public:
  explicit ButtonPeer(TControl* c) : Fl_Button(0, 0, 0, 0), PeerLink(c) {
    clear_visible_focus();
    callback(
        [](Fl_Widget* w, void*) {
          if (TControl* target = ControlOf(w)) Application().Dispatch([target] { target->Click(); });
        },
        nullptr);
  }
  std::string caption;
};

// The main window: the keyboard reaches nothing in it.
class MainWindow : public Fl_Double_Window, public PeerLink {
 public:
  MainWindow(TForm* form, int width, int height) : Fl_Double_Window(width, height), PeerLink(form) {
    end();
    clear_visible_focus();
    callback(
        [](Fl_Widget* w, void*) {
          // The window manager's close button.
          if (auto* f = dynamic_cast<TForm*>(ControlOf(w))) Application().Dispatch([f] { f->Close(); });
        },
        nullptr);
  }

 protected:
  int handle(int event) override {
    switch (event) {
      case FL_KEYDOWN:
      case FL_KEYUP:
      case FL_SHORTCUT:
        return 1;
      default:
        return Fl_Double_Window::handle(event);
    }
  }
};

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

std::atomic<bool> wakeUpPending{false};

void WakeUpHandler(void*) {
  // Cleared first: a call queued from now on asks for a wake-up of its own.
  wakeUpPending.store(false);
  MainThreadQueue().ProcessPending();
}

}  // namespace

class TFltkWidgetSet::Impl {
 public:
  struct TimerSlot {
    Impl* owner = nullptr;
    TTimer* timer = nullptr;
    bool armed = false;
  };

  TForm* form = nullptr;
  std::unique_ptr<MainWindow> window;
  std::unordered_map<const TControl*, Fl_Widget*> peers;
  std::map<TTimer*, std::unique_ptr<TimerSlot>> timers;
  FontTable& fonts = FontTable::Instance();
  TCursor screenCursor = TCursor::Default;
  TCursor hoverCursor = TCursor::Default;  // of the picture under the pointer
  AnsiText title;
  std::string xclass;

  void ApplyCursor() {
    if (!window || !window->shown()) return;
    window->cursor(ToFlCursor(screenCursor != TCursor::Default ? screenCursor : hoverCursor));
  }

  // ---- building and updating the widgets

  Fl_Widget* CreatePeer(TControl& c) {
    Fl_Group::current(nullptr);
    if (dynamic_cast<TLabel*>(&c) != nullptr) return new LabelPeer(&c);
    if (dynamic_cast<TImage*>(&c) != nullptr) return new ImagePeer(&c, this);
    if (dynamic_cast<TGauge*>(&c) != nullptr) return new GaugePeer(&c);
    if (dynamic_cast<TButton*>(&c) != nullptr) return new ButtonPeer(&c);
    if (dynamic_cast<TPanel*>(&c) != nullptr) return new PanelPeer(&c);
    if (dynamic_cast<TWinControl*>(&c) != nullptr) return new GroupPeer(&c);
    return nullptr;  // nothing of it shows on this platform
  }

  void Build(TControl& c, Fl_Group& parent) {
    Fl_Widget* widget = CreatePeer(c);
    if (widget == nullptr) return;
    parent.add(widget);
    peers[&c] = widget;
    ApplyLook(c, *widget);
    if (auto* container = dynamic_cast<TWinControl*>(&c);
        container != nullptr && widget->as_group() != nullptr) {
      for (TControl* child : container->Controls()) Build(*child, *widget->as_group());
    }
  }

  // The form's client origin of a control's parent: FLTK places every widget
  // in window coordinates.
  static void ParentOrigin(const TControl& c, int& x, int& y) {
    x = 0;
    y = 0;
    for (const TWinControl* p = c.Parent(); p != nullptr && dynamic_cast<const TForm*>(p) == nullptr;
         p = p->Parent()) {
      x += p->Left;
      y += p->Top;
    }
  }

  // Places the control's widget and those of everything inside it.
  void Layout(TControl& c) {
    const auto found = peers.find(&c);
    if (found == peers.end()) return;
    Fl_Widget& widget = *found->second;
    int x = 0, y = 0;
    ParentOrigin(c, x, y);
    // Not the group's own resize, which would move the children by its rules.
    widget.Fl_Widget::resize(x + c.Left, y + c.Top, c.Width, c.Height);
    if (c.Visible()) {
      widget.show();
    } else {
      widget.hide();
    }
    if (auto* container = dynamic_cast<TWinControl*>(&c)) {
      for (TControl* child : container->Controls()) Layout(*child);
    }
  }

  const TFont& FormFont() const {
    static const TFont defaults;
    return form != nullptr ? form->Font : defaults;
  }

  // Copies what the control shows into its widget; labels and pictures that
  // size themselves write their size back to the model.
  void ApplyLook(TControl& c, Fl_Widget& widget) {
    if (auto* panel = dynamic_cast<TPanel*>(&c)) {
      auto& peer = static_cast<PanelPeer&>(widget);
      peer.bevel = panel->BevelOuter;
      peer.bevelWidth = panel->BevelWidth;
      widget.color(ToFl(panel->Color()));
      widget.copy_label(panel->Caption.empty() ? nullptr : AnsiToUtf8(panel->Caption).c_str());
      widget.align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE);
      widget.labelfont(fonts.Get(FormFont()));
      widget.labelsize(FormFont().Height);
    } else if (auto* label = dynamic_cast<TLabel*>(&c)) {
      auto& peer = static_cast<LabelPeer&>(widget);
      const TFont& font = label->ParentFont ? FormFont() : label->Font;
      peer.text = AnsiToUtf8(label->Caption());
      peer.font = fonts.Get(font);
      peer.size = font.Height;
      peer.ink = ToFl(font.Color);
      if (label->AutoSize) {
        const auto [width, height] = peer.Measure();
        label->Width = width;
        label->Height = height;
      }
    } else if (auto* image = dynamic_cast<TImage*>(&c)) {
      auto& peer = static_cast<ImagePeer&>(widget);
      peer.SetPicture(image->Picture);
      peer.cursor = image->Cursor;
      peer.fill = image->AutoSize;
      if (image->AutoSize && peer.PictureWidth() > 0)
        image->SizeToPicture(peer.PictureWidth(), peer.PictureHeight());
    } else if (auto* gauge = dynamic_cast<TGauge*>(&c)) {
      auto& peer = static_cast<GaugePeer&>(widget);
      peer.picture = PlanGauge(*gauge, gauge->Width, gauge->Height);
      peer.font = fonts.Get(FormFont());
      peer.size = FormFont().Height;
    } else if (auto* button = dynamic_cast<TButton*>(&c)) {
      auto& peer = static_cast<ButtonPeer&>(widget);
      if (peer.caption != button->Caption) {
        peer.caption = button->Caption;
        peer.copy_label(AnsiToUtf8(peer.caption).c_str());
      }
      peer.labelfont(fonts.Get(FormFont()));
      peer.labelsize(FormFont().Height);
    }
  }

  void ApplyForm() {
    if (!window || form == nullptr) return;
    window->copy_label(AnsiToUtf8(form->Caption()).c_str());
    SetIconName(*window, xclass);
    window->color(ToFl(form->Color));
    if (window->w() != form->ClientWidth || window->h() != form->ClientHeight) {
      window->size(form->ClientWidth, form->ClientHeight);
    }
    window->size_range(form->ClientWidth, form->ClientHeight, form->ClientWidth, form->ClientHeight);
  }

  // The nearest widget at or above this one that paints its own background.
  Fl_Widget& OpaqueAround(Fl_Widget& widget) {
    Fl_Widget* w = widget.parent();
    while (w != nullptr && w->box() == FL_NO_BOX && w != window.get()) w = w->parent();
    return w != nullptr ? *w : *window;
  }

  void Changed(TControl& c) {
    if (&c == form) {
      ApplyForm();
      window->redraw();
      return;
    }
    auto found = peers.find(&c);
    if (found == peers.end()) {
      // A control added to a shown window.
      const auto parent = c.Parent() != nullptr ? peers.find(c.Parent()) : peers.end();
      Fl_Group* group = parent != peers.end() ? parent->second->as_group() : nullptr;
      if (group == nullptr) return;
      Build(c, *group);
      found = peers.find(&c);
      if (found == peers.end()) return;
    }
    Fl_Widget& widget = *found->second;
    const int before[] = {widget.x(), widget.y(), widget.w(), widget.h(), widget.visible() != 0 ? 1 : 0};
    ApplyLook(c, widget);
    Layout(c);
    const int after[] = {widget.x(), widget.y(), widget.w(), widget.h(), widget.visible() != 0 ? 1 : 0};
    const bool moved = !std::equal(std::begin(before), std::end(before), std::begin(after));
    if (moved || widget.box() == FL_NO_BOX) {
      // What it covered, or what shows through it, must be painted again.
      OpaqueAround(widget).redraw();
      if (moved) {
        hoverCursor = TCursor::Default;
        ApplyCursor();
      }
    } else {
      widget.redraw();
    }
  }

  void Forget(TControl& c) {
    const auto found = peers.find(&c);
    if (found == peers.end()) return;
    if (PeerLink* link = LinkOf(found->second)) link->control = nullptr;
    found->second->hide();
    peers.erase(found);
    if (&c == form) form = nullptr;
  }

  // ---- timers

  static void Timeout(void* data) {
    auto* slot = static_cast<TimerSlot*>(data);
    Impl* owner = slot->owner;
    TTimer* timer = slot->timer;
    slot->armed = false;
    timer->Tick();
    // The handler may have freed the timer, or disabled or re-armed it.
    const auto found = owner->timers.find(timer);
    if (found != owner->timers.end() && !found->second->armed) owner->ArmIfEnabled(*found->second);
  }

  TimerSlot& SlotOf(TTimer& timer) {
    auto& slot = timers[&timer];
    if (!slot) slot = std::make_unique<TimerSlot>(TimerSlot{this, &timer, false});
    return *slot;
  }

  void Disarm(TimerSlot& slot) {
    if (slot.armed) Fl::remove_timeout(Timeout, &slot);
    slot.armed = false;
  }

  void ArmIfEnabled(TimerSlot& slot) {
    if (slot.armed || !slot.timer->Enabled() || slot.timer->Interval() == 0) return;
    Fl::add_timeout(slot.timer->Interval() / 1000.0, Timeout, &slot);
    slot.armed = true;
  }

  // Timers that were enabled from the start never told the widget set.
  void ArmTimersOf(TComponent& owner) {
    for (int i = 0; i < owner.ComponentCount(); ++i) {
      TComponent* c = owner.Components(i);
      if (auto* timer = dynamic_cast<TTimer*>(c)) ArmIfEnabled(SlotOf(*timer));
      ArmTimersOf(*c);
    }
  }
};

namespace {

int ImagePeer::handle(int event) {
  switch (event) {
    case FL_ENTER:
      owner_->hoverCursor = cursor;
      owner_->ApplyCursor();
      return 1;
    case FL_LEAVE:
      owner_->hoverCursor = TCursor::Default;
      owner_->ApplyCursor();
      return 1;
    case FL_MOVE:
    case FL_DRAG:
      return 1;
    case FL_PUSH:
      return Fl::event_button() == FL_LEFT_MOUSE ? 1 : 0;
    case FL_RELEASE:
      if (Fl::event_button() == FL_LEFT_MOUSE && Fl::event_inside(this) && control != nullptr) {
        TControl* target = control;
        Application().Dispatch([target] { target->Click(); });
      }
      return 1;
    default:
      return 0;
  }
}

}  // namespace

TFltkWidgetSet::TFltkWidgetSet() : impl_(std::make_unique<Impl>()) {
  Fl::lock();
  MainThreadQueue().SetWakeUp([] {
    if (wakeUpPending.exchange(true)) return;
    if (Fl::awake(WakeUpHandler, nullptr) != 0) wakeUpPending.store(false);
  });
}

TFltkWidgetSet::~TFltkWidgetSet() {
  MainThreadQueue().SetWakeUp(nullptr);
  for (auto& [timer, slot] : impl_->timers) impl_->Disarm(*slot);
  impl_->peers.clear();
  impl_->window.reset();
  Fl::unlock();
}

void TFltkWidgetSet::ControlChanged(TControl& control) {
  // Before Run the widgets do not exist; Run reads the final state.
  if (impl_->window) impl_->Changed(control);
}

void TFltkWidgetSet::ControlDestroyed(TControl& control) {
  impl_->Forget(control);
}

void TFltkWidgetSet::TimerChanged(TTimer& timer) {
  Impl::TimerSlot& slot = impl_->SlotOf(timer);
  impl_->Disarm(slot);
  impl_->ArmIfEnabled(slot);
}

void TFltkWidgetSet::TimerDestroyed(TTimer& timer) {
  const auto found = impl_->timers.find(&timer);
  if (found == impl_->timers.end()) return;
  impl_->Disarm(*found->second);
  impl_->timers.erase(found);
}

void TFltkWidgetSet::ProcessMessages() {
  Fl::check();
  MainThreadQueue().ProcessPending();
}

void TFltkWidgetSet::ShowMessage(const AnsiText& title, const AnsiText& text, bool errorIcon) {
  // As a Linux program reports: the box's text on standard error too, where a
  // script or a log can read it ("Terbo: error - /home/jan/.cache/Terbo/").
  std::fprintf(stderr, "%s: %s\n", AnsiToUtf8(title).c_str(), AnsiToUtf8(text).c_str());
  std::fflush(stderr);
  OpenDisplay();
  Fl_Group::current(nullptr);
  const Fl_Font font = impl_->fonts.Get(TFont{});
  constexpr Fl_Fontsize kSize = 13;
  fl_font(font, kSize);
  // A long text wraps where a Windows message box wraps it: at 5/8 of the
  // width of the screen the box shows on.
  int sx = 0, sy = 0, sw = 0, sh = 0;
  if (impl_->window && impl_->window->shown()) {
    const Fl_Window& main = *impl_->window;
    Fl::screen_xywh(sx, sy, sw, sh, main.x() + main.w() / 2, main.y() + main.h() / 2);
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
  if (!impl_->xclass.empty()) box.xclass(impl_->xclass.c_str());
  if (impl_->window && impl_->window->shown()) {
    const Fl_Window& main = *impl_->window;
    CentreOn(box, main.x(), main.y(), main.w(), main.h());
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

int TFltkWidgetSet::ScreenPixelsPerInch() {
  return XftDpi();
}

void TFltkWidgetSet::SetScreenCursor(TCursor cursor) {
  impl_->screenCursor = cursor;
  impl_->ApplyCursor();
  Fl::flush();
}

void TFltkWidgetSet::Run(TForm& mainForm) {
  if (mainForm.Closed()) return;
  Impl& impl = *impl_;
  OpenDisplay();

  impl.peers.clear();
  impl.window.reset();
  impl.form = &mainForm;
  Fl_Group::current(nullptr);
  impl.window = std::make_unique<MainWindow>(&mainForm, mainForm.ClientWidth, mainForm.ClientHeight);
  impl.peers[&mainForm] = impl.window.get();
  for (TControl* child : mainForm.Controls()) impl.Build(*child, *impl.window);
  for (TControl* child : mainForm.Controls()) impl.Layout(*child);
  impl.ApplyForm();

  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_work_area(x, y, w, h);
  CentreOn(*impl.window, x, y, w, h);
  if (!impl.xclass.empty()) impl.window->xclass(impl.xclass.c_str());
  impl.window->show();
  SetDialogFrame(*impl.window);
  SetIconName(*impl.window, impl.xclass);
  impl.ApplyCursor();
  impl.ArmTimersOf(mainForm);

  while (!mainForm.Closed() && impl.window->shown()) Fl::wait();
  impl.window->hide();
  Fl::flush();
}

void TFltkWidgetSet::CloseForm(TForm& form) {
  if (impl_->window && impl_->form == &form) impl_->window->hide();
}

void TFltkWidgetSet::SetApplicationTitle(const AnsiText& title) {
  impl_->title = title;
  impl_->xclass = AnsiToUtf8(title);
  if (!impl_->xclass.empty()) Fl_Window::default_xclass(impl_->xclass.c_str());
  if (impl_->window) SetIconName(*impl_->window, impl_->xclass);
}
