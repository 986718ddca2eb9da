#include "platform/posix/fltk/Peers.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cmath>

#include "platform/posix/fltk/Style.h"

PeerLink* LinkOf(Fl_Widget* widget) {
  return dynamic_cast<PeerLink*>(widget);
}

TControl* ControlOf(Fl_Widget* widget) {
  PeerLink* link = LinkOf(widget);
  return link != nullptr ? link->control : nullptr;
}

namespace {
// The click of a widget, as the message loop runs handlers.
void ClickControlOf(Fl_Widget* widget) {
  if (TControl* target = ControlOf(widget)) Application().Dispatch([target] { target->Click(); });
}
}  // namespace

GroupPeer::GroupPeer(TControl* c) : Fl_Group(0, 0, 0, 0), PeerLink(c) {
  end();
  box(FL_NO_BOX);
  clear_visible_focus();
}

PanelPeer::PanelPeer(TControl* c) : Fl_Group(0, 0, 0, 0), PeerLink(c) {
  end();
  box(FL_FLAT_BOX);
  clear_visible_focus();
}

void PanelPeer::draw() {
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

LabelPeer::LabelPeer(TControl* c) : Fl_Widget(0, 0, 0, 0), PeerLink(c) {
  box(FL_NO_BOX);
  clear_visible_focus();
}

void LabelPeer::draw() {
  if (text.empty()) return;
  fl_push_clip(x(), y(), w(), h());
  fl_font(font, size);
  fl_color(ink);
  fl_draw(text.c_str(), x(), y() + fl_height() - fl_descent());
  fl_pop_clip();
}

ImagePeer::ImagePeer(TControl* c, std::function<void(TCursor)> hover)
    : Fl_Widget(0, 0, 0, 0), PeerLink(c), hover_(std::move(hover)) {
  box(FL_NO_BOX);
  clear_visible_focus();
}

void ImagePeer::SetPicture(const std::vector<std::uint8_t>& bytes) {
  if (bytes == bytes_ && (picture_ || bytes.empty())) return;
  bytes_ = bytes;
  picture_.reset();
  scaled_.reset();
  pixels_ = DecodeJpeg(bytes_);
  if (!pixels_.Empty())
    picture_ = std::make_unique<Fl_RGB_Image>(pixels_.Pixels.data(), pixels_.Width, pixels_.Height, 3);
}

void ImagePeer::draw() {
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

int ImagePeer::handle(int event) {
  switch (event) {
    case FL_ENTER:
      hover_(cursor);
      return 1;
    case FL_LEAVE:
      hover_(TCursor::Default);
      return 1;
    case FL_MOVE:
    case FL_DRAG:
      return 1;
    case FL_PUSH:
      return Fl::event_button() == FL_LEFT_MOUSE ? 1 : 0;
    case FL_RELEASE:
      if (Fl::event_button() == FL_LEFT_MOUSE && Fl::event_inside(this)) ClickControlOf(this);
      return 1;
    default:
      return 0;
  }
}

GaugePeer::GaugePeer(TControl* c) : Fl_Widget(0, 0, 0, 0), PeerLink(c) {
  box(FL_NO_BOX);
  clear_visible_focus();
}

GaugePeer::~GaugePeer() {
  if (offscreen_ != 0) fl_delete_offscreen(offscreen_);
}

void GaugePeer::draw() {
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

void GaugePeer::Paint(int width, int height) const {
  const TGaugeInks inks = GaugeInks(plan);
  if (plan.Frame) {
    fl_color(FL_BLACK);
    fl_rect(0, 0, width, height);
  }
  const TRect& in = plan.Inner;
  fl_rectf(in.X, in.Y, in.W, in.H, ToFl(inks.Back));
  if (plan.BarWidth >= 1) fl_rectf(in.X, in.Y, plan.BarWidth, in.H, ToFl(inks.Bar));
  if (plan.Text.empty()) return;
  fl_font(font, size);
  const TRect text = plan.TextBox(static_cast<int>(std::lround(fl_width(plan.Text.c_str()))), fl_height());
  const int baseline = text.Y + fl_height() - fl_descent();
  // Each part of the text in the inverse of what lies beneath it.
  const auto textIn = [&](int clipX, int clipW, TRgb ink) {
    if (clipW <= 0) return;
    fl_push_clip(clipX, in.Y, clipW, in.H);
    fl_color(ToFl(ink));
    fl_draw(plan.Text.c_str(), text.X, baseline);
    fl_pop_clip();
  };
  textIn(in.X, plan.BarWidth, inks.TextOverBar);
  textIn(in.X + plan.BarWidth, in.W - plan.BarWidth, inks.TextOverBack);
}

ButtonPeer::ButtonPeer(TControl* c) : Fl_Button(0, 0, 0, 0), PeerLink(c) {
  clear_visible_focus();
  callback([](Fl_Widget* w, void*) { ClickControlOf(w); }, nullptr);
}

MainWindow::MainWindow(TForm* form, int width, int height) : Fl_Double_Window(width, height), PeerLink(form) {
  end();
  clear_visible_focus();
  callback(
      [](Fl_Widget* w, void*) {
        // The window manager's close button.
        if (auto* f = dynamic_cast<TForm*>(ControlOf(w))) Application().Dispatch([f] { f->Close(); });
      },
      nullptr);
}

int MainWindow::handle(int event) {
  switch (event) {
    case FL_KEYDOWN:
    case FL_SHORTCUT:
      // An Alt+F4 the window manager left to the window closes it, as on Windows.
      if (Fl::event_key() == FL_F + 4 && Fl::event_state(FL_ALT) != 0) do_callback();
      return 1;
    case FL_KEYUP:
      return 1;
    default:
      return Fl_Double_Window::handle(event);
  }
}
