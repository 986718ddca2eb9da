#include <exception>

#include "bootstrap/Setup.h"

// Apart from Setup.cpp: it needs the key and the platform's cryptography,
// which only the programs link.
int RunProgram(IWidgetSet& widgets, ISystem& system, ISysInfoPlatform& sysInfo, IInternetApi& internet) {
  Application().SetWidgetSet(&widgets);
  TPlatform platform{system, sysInfo, internet, VendorHostName(), {}, &PlatformCrypto(), 0, {}};
  ApplyBuildSettings(platform);
  int result = 1;
  try {
    result = RunSetup(platform);
  } catch (const std::exception& e) {
    // Only the window's creation can get here; handlers report their own errors.
    Application().ShowException(e);
  }
  // The window and its components are gone; nothing may reach the widgets now.
  Application().SetWidgetSet(nullptr);
  return result;
}
