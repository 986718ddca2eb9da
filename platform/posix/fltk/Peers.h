#pragma once
// The FLTK widgets that show the model's controls, one class a kind.
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Image.H>
#include <FL/x.H>
// X11 names a macro None, as the model names a bevel.
#undef None

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Look.h"
#include "framework/Pixels.h"
#include "platform/posix/fltk/Jpeg.h"

// The model control a widget shows; cleared when the control goes away, as
// the widget may outlive it until the window is freed.
struct PeerLink {
  explicit PeerLink(TControl* c) : control(c) {}
  virtual ~PeerLink() = default;
  TControl* control;
};

PeerLink* LinkOf(Fl_Widget* widget);
// The control behind a widget, none when the widget has no peer link or its
// control is gone.
TControl* ControlOf(Fl_Widget* widget);

// Notebooks and pages: they hold their children and paint nothing.
class GroupPeer : public Fl_Group, public PeerLink {
 public:
  explicit GroupPeer(TControl* c);
};

// A panel paints its colour and its bevel itself: FLTK's thin boxes shade
// the edges from the panel's own colour, where Windows draws them in the
// system's highlight and shadow colours whatever the panel's colour is.
class PanelPeer : public Fl_Group, public PeerLink {
 public:
  explicit PanelPeer(TControl* c);
  TBevelCut bevel = TBevelCut::Raised;
  int bevelWidth = 1;

 protected:
  void draw() override;
};

// Text on its parent's background, in one line.
class LabelPeer : public Fl_Widget, public PeerLink {
 public:
  explicit LabelPeer(TControl* c);
  std::string text;
  Fl_Font font = FL_HELVETICA;
  Fl_Fontsize size = 13;
  Fl_Color ink = FL_BLACK;

 protected:
  void draw() override;
  int handle(int) override { return 0; }
};

class ImagePeer : public Fl_Widget, public PeerLink {
 public:
  // hover hears the cursor to show while the pointer is over the picture.
  ImagePeer(TControl* c, std::function<void(TCursor)> hover);

  // Decodes the picture when its bytes differ from the ones shown.
  void SetPicture(const std::vector<std::uint8_t>& bytes);
  TSize PictureSize() const { return {pixels_.Width, pixels_.Height}; }
  TCursor cursor = TCursor::Default;
  // Drawn over the whole widget, scaled to its size, or as decoded.
  bool fill = true;

 protected:
  void draw() override;
  int handle(int event) override;

 private:
  std::function<void(TCursor)> hover_;
  std::vector<std::uint8_t> bytes_;
  TRgbImage pixels_;
  std::unique_ptr<Fl_RGB_Image> picture_;
  // The picture at the widget's size, when that is another.
  TPixels scaledPixels_;
  std::unique_ptr<Fl_RGB_Image> scaled_;
};

class GaugePeer : public Fl_Widget, public PeerLink {
 public:
  explicit GaugePeer(TControl* c);
  ~GaugePeer() override;
  GaugePeer(const GaugePeer&) = delete;
  GaugePeer& operator=(const GaugePeer&) = delete;
  TGaugePlan plan;
  Fl_Font font = FL_HELVETICA;
  Fl_Fontsize size = 13;

 protected:
  // Painted off screen first and copied in one go, so the bar never flickers.
  void draw() override;
  int handle(int) override { return 0; }

 private:
  void Paint(int width, int height) const;

  Fl_Offscreen offscreen_ = 0;
  int offscreenW_ = 0, offscreenH_ = 0;
};

class ButtonPeer : public Fl_Button, public PeerLink {
 public:
  explicit ButtonPeer(TControl* c);
  std::string caption;
};

// The main window: the keyboard reaches nothing in it.
class MainWindow : public Fl_Double_Window, public PeerLink {
 public:
  MainWindow(TForm* form, int width, int height);

 protected:
  int handle(int event) override;
};
