#include "platform/posix/fltk/Style.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include "platform/posix/system/Encoding.h"

Fl_Color ToFl(TRgb c) {
  return fl_rgb_color(c.R, c.G, c.B);
}

Fl_Color ToFl(TColor c) {
  return ToFl(ResolveColor(c));
}

FontTable& FontTable::Instance() {
  static FontTable table;
  return table;
}

Fl_Font FontTable::Get(const TFont& font) {
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
