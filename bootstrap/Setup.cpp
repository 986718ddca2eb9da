#include "bootstrap/Setup.h"

#include <memory>

namespace {
// The capital letters of Windows-1250 and their small letters.
unsigned char LowerWindows1250(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<unsigned char>(c + 0x20);
  switch (c) {
    case 0x8A: case 0x8C: case 0x8D: case 0x8E: case 0x8F: return static_cast<unsigned char>(c + 0x10);
    case 0xA3: return 0xB3;
    case 0xA5: return 0xB9;
    case 0xAA: return 0xBA;
    case 0xAF: return 0xBF;
    case 0xBC: return 0xBE;
    default: return c;
  }
}
}  // namespace

AnsiText ProgramTitle(const AnsiText& modulePath, char delimiter) {
  const auto slash = modulePath.rfind(delimiter);
  AnsiText title = slash == AnsiText::npos ? modulePath : modulePath.substr(slash + 1);
  title = title.substr(0, title.find('.'));
  for (std::size_t i = 1; i < title.size(); ++i) {
    title[i] = static_cast<char>(LowerWindows1250(static_cast<unsigned char>(title[i])));
  }
  return title;
}

AnsiText VendorHostName() { return WEBSETUP_VENDOR_HOST; }

int RunSetup(TPlatform& platform) {
  Application().SetTitle(ProgramTitle(platform.System.ModuleFileName(), platform.System.PathDelimiter()));
  auto form = std::make_unique<TForm1>(nullptr, platform, BootstrapState());
  if (!form->Closed()) Application().WidgetSet()->Run(*form);
  return 0;
}
