#include "bootstrap/Setup.h"

#include <memory>

#include "textconv/Ascii.h"

AnsiText ProgramTitle(const AnsiText& modulePath, char delimiter) {
  const auto slash = modulePath.rfind(delimiter);
  AnsiText title = slash == AnsiText::npos ? modulePath : modulePath.substr(slash + 1);
  title = title.substr(0, title.find('.'));
  for (std::size_t i = 1; i < title.size(); ++i) {
    title[i] = LowerWindows1250(title[i]);
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
