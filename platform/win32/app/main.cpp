// websetup: the installer on Windows. One executable, published under each
// product's name (TERBO.exe, kalmiro.exe, ...); the name picks the product.
// clang-format off
// Ours first: windows.h turns RGB and DeleteFile into macros.
#include "bootstrap/Setup.h"
#include "framework/Controls.h"
#include "framework/FileNames.h"
#include "platform/win32/http/WinInetInternet.h"
#include "platform/win32/sysinfo/Win32SysInfoPlatform.h"
#include "platform/win32/system/Win32System.h"
#include "platform/win32/ui/Win32WidgetSet.h"
#include <windows.h>
// clang-format on

#include <exception>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  TWin32System system;
  SetTargetFileCreator(&TWin32System::CreateTargetFile);
  // The system's configured proxy settings. Never freed: a transfer still
  // ending after the window has gone may call it until the process ends.
  static WinInetInternet& internet = *new WinInetInternet;
  TWin32WidgetSet widgets;
  Application().SetWidgetSet(&widgets);
  TPlatform platform{system, Win32SysInfoPlatform(), internet, VendorHostName(), VendorTrustKey(), &PlatformCrypto()};
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
