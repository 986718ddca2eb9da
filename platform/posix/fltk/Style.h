#pragma once
// The model's colours and fonts in FLTK's terms.
#include <FL/Enumerations.H>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "platform/posix/fltk/Paint.h"

Fl_Color ToFl(TRgb color);
Fl_Color ToFl(TColor color);

// Fonts by family and weight, registered with FLTK when first asked for.
// FLTK's font table is the process's, so there is one of these too.
class FontTable {
 public:
  static FontTable& Instance();
  Fl_Font Get(const TFont& font);

 private:
  FontTable() = default;
  std::map<std::string, Fl_Font> fonts_;
  std::vector<std::unique_ptr<std::string>> names_;
};
