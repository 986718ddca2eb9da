// websetup: the installer on Windows. One executable, published under each
// product's name (TERBO.exe, kalmiro.exe, ...); the name picks the product.
// clang-format off
// Ours first: windows.h turns RGB and DeleteFile into macros.
#include "bootstrap/Setup.h"
#include "framework/FileNames.h"
#include "platform/win32/http/WinInetInternet.h"
#include "platform/win32/sysinfo/Win32SysInfoPlatform.h"
#include "platform/win32/system/Win32System.h"
#include "platform/win32/ui/Win32WidgetSet.h"
#include <windows.h>
// clang-format on

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  TWin32System system;
  SetTargetFileCreator(&TWin32System::CreateTargetFile);
  // The system's configured proxy settings. Never freed: a transfer still
  // ending after the window has gone may call it until the process ends.
  static WinInetInternet& internet = *new WinInetInternet;
  TWin32WidgetSet widgets;
  return RunProgram(widgets, system, Win32SysInfoPlatform(), internet);
}
