#include "platform/posix/fltk/FltkWidgetSet.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <unordered_map>

#include "framework/Look.h"
#include "framework/MainThread.h"
#include "platform/posix/fltk/MessageBox.h"
#include "platform/posix/fltk/Peers.h"
#include "platform/posix/fltk/Style.h"
#include "platform/posix/fltk/Timers.h"
#include "platform/posix/fltk/WakeUp.h"
#include "platform/posix/fltk/WindowHints.h"
#include "platform/posix/system/Encoding.h"

namespace {
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
}  // namespace

class TFltkWidgetSet::Impl final : public IMeasure {
 public:
  TForm* form = nullptr;
  std::unique_ptr<MainWindow> window;
  std::unordered_map<const TControl*, Fl_Widget*> peers;
  TFltkTimers timers;
  FontTable& fonts = FontTable::Instance();
  TCursor screenCursor = TCursor::Default;
  TCursor hoverCursor = TCursor::Default;  // of the picture under the pointer
  AnsiText title;
  std::string xclass;

  void ApplyCursor() {
    if (!window || !window->shown()) return;
    window->cursor(ToFlCursor(screenCursor != TCursor::Default ? screenCursor : hoverCursor));
  }

  TSize TextExtent(const TFont& font, const AnsiText& text) override {
    fl_font(fonts.Get(font), font.Height);
    return {static_cast<int>(std::ceil(fl_width(AnsiToUtf8(text).c_str()))), fl_height()};
  }

  TSize PictureSize(const TImage& image) override {
    const auto found = peers.find(&image);
    return found != peers.end() ? static_cast<const ImagePeer*>(found->second)->PictureSize() : TSize{};
  }

  // ---- building and updating the widgets

  Fl_Widget* CreatePeer(TControl& c) {
    Fl_Group::current(nullptr);
    if (dynamic_cast<TLabel*>(&c) != nullptr) return new LabelPeer(&c);
    if (dynamic_cast<TImage*>(&c) != nullptr) {
      return new ImagePeer(&c, [this](TCursor cursor) {
        hoverCursor = cursor;
        ApplyCursor();
      });
    }
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

  // Copies what the control shows into its widget; labels and pictures that
  // size themselves then take their size.
  void ApplyLook(TControl& c, Fl_Widget& widget) {
    const TFont& font = TextFont(c);
    if (auto* panel = dynamic_cast<TPanel*>(&c)) {
      auto& peer = static_cast<PanelPeer&>(widget);
      peer.bevel = panel->BevelOuter;
      peer.bevelWidth = panel->BevelWidth;
      widget.color(ToFl(panel->Color()));
      widget.copy_label(panel->Caption.empty() ? nullptr : AnsiToUtf8(panel->Caption).c_str());
      widget.align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE);
      widget.labelfont(fonts.Get(font));
      widget.labelsize(font.Height);
    } else if (auto* label = dynamic_cast<TLabel*>(&c)) {
      auto& peer = static_cast<LabelPeer&>(widget);
      peer.text = AnsiToUtf8(label->Caption());
      peer.font = fonts.Get(font);
      peer.size = font.Height;
      peer.ink = ToFl(font.Color);
    } else if (auto* image = dynamic_cast<TImage*>(&c)) {
      auto& peer = static_cast<ImagePeer&>(widget);
      peer.SetPicture(image->Picture);
      peer.cursor = image->Cursor;
      peer.fill = image->AutoSize;
    } else if (auto* gauge = dynamic_cast<TGauge*>(&c)) {
      auto& peer = static_cast<GaugePeer&>(widget);
      peer.plan = PlanGauge(*gauge, gauge->Width, gauge->Height);
      peer.font = fonts.Get(font);
      peer.size = font.Height;
    } else if (auto* button = dynamic_cast<TButton*>(&c)) {
      auto& peer = static_cast<ButtonPeer&>(widget);
      if (peer.caption != button->Caption) {
        peer.caption = button->Caption;
        peer.copy_label(AnsiToUtf8(peer.caption).c_str());
      }
      peer.labelfont(fonts.Get(font));
      peer.labelsize(font.Height);
    }
    AutoSize(c, *this);
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

  // The widget that paints the background a control lies on: its panel's
  // or the window.
  Fl_Widget& BackgroundOf(const TControl& c) {
    const TWinControl* owner = c.Parent() != nullptr ? BackgroundOwner(*c.Parent()) : nullptr;
    const auto found = owner != nullptr ? peers.find(owner) : peers.end();
    return found != peers.end() ? *found->second : *window;
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
      BackgroundOf(c).redraw();
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
};

TFltkWidgetSet::TFltkWidgetSet() : impl_(std::make_unique<Impl>()) {
  Fl::lock();
  InstallWakeUp();
}

TFltkWidgetSet::~TFltkWidgetSet() {
  RemoveWakeUp();
  impl_.reset();  // timers disarmed, then the window freed
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
  impl_->timers.Changed(timer);
}

void TFltkWidgetSet::TimerDestroyed(TTimer& timer) {
  impl_->timers.Destroyed(timer);
}

void TFltkWidgetSet::ProcessMessages() {
  if (MainThreadQueue().MessagesDue()) Fl::check();
  MainThreadQueue().ProcessPending();
}

void TFltkWidgetSet::ShowMessage(const AnsiText& title, const AnsiText& text, bool errorIcon) {
  ShowMessageBox(title, text, errorIcon, impl_->window.get(), impl_->xclass);
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
  impl.timers.ArmEnabled(mainForm);

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
