#include "platform/posix/fltk/WindowHints.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
// X11 names a macro None, as the model names a bevel.
#undef None

#include <cmath>
#include <cstdlib>

#include "framework/Controls.h"
#include "platform/posix/fltk/Paint.h"

void OpenDisplay() {
  fl_open_display();
  Fl::visible_focus(0);
  const TRgb face = ResolveColor(clBtnFace);
  Fl::background(face.R, face.G, face.B);
}

int XftDpi() {
  OpenDisplay();
  const char* value = XGetDefault(fl_display, "Xft", "dpi");
  const double dpi = value != nullptr ? std::strtod(value, nullptr) : 0.0;
  return dpi >= 1.0 && dpi < 10000.0 ? static_cast<int>(std::lround(dpi)) : kDesignPixelsPerInch;
}

// FLTK has mapped the window with hints of its own by now; window managers
// that follow the property take these (Openbox keeps its buttons whatever
// the hints say).
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

// The icon name carries the program's title as Windows shows it on the
// taskbar button. FLTK writes the caption there instead, and UTF-8 under the
// Latin-1 type.
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

void CentreOn(Fl_Window& window, int areaX, int areaY, int areaW, int areaH) {
  window.position(areaX + (areaW - window.w()) / 2, areaY + (areaH - window.h()) / 2);
}
