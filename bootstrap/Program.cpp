#include <algorithm>
#include <exception>
#include <string_view>

#include "bootstrap/Setup.h"

// Apart from Setup.cpp: it needs the key and the platform's cryptography,
// which only the programs link.
int RunProgram(IWidgetSet& widgets, ISystem& system, ISysInfoPlatform& sysInfo, IInternetApi& internet) {
  Application().SetWidgetSet(&widgets);
  TPlatform platform{system, sysInfo, internet, VendorHostName(), VendorTrustKey(), &PlatformCrypto(),
                     VendorRetries(), {}};
  for (std::string_view rest = VendorMirrors(); !rest.empty();) {
    const std::size_t end = std::min(rest.find(';'), rest.size());
    if (end > 0) platform.Mirrors.emplace_back(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
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
