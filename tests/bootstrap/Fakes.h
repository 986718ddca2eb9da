#pragma once
// Fakes for the installer window's flow: a widget set that records what a
// person would see, and a machine.
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/MainThread.h"
#include "httpget/InternetApi.h"
#include "tests/support/FakeInternet.h"
#include "tests/support/FakeSysInfoPlatform.h"
#include "tests/support/FakeWidgetSet.h"

// A Windows XP SP2 workstation called PC01, its user jan: the one fake of
// the seam, as the installer's tests find their machine.
class TFakeMachine : public TFakeSysInfoPlatform {
 public:
  TFakeMachine() {
    computerName = "PC01";
    userName = "jan";
    systemDirectory = "C:\\WINDOWS\\system32";
    version.dwMajorVersion = 5;
    version.dwMinorVersion = 1;
    version.dwBuildNumber = 2600;
    version.dwPlatformId = 2;
    std::strcpy(version.szCSDVersion, "Service Pack 2");
    version.wProductType = 1;
  }
};
