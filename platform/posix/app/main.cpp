// websetup: the installer on Linux. One binary, published under each
// product's name (TERBO.exe, kalmiro.exe, ...); the name picks the product.
#include "bootstrap/Setup.h"
#include "framework/FileNames.h"
#include "platform/posix/fltk/FltkWidgetSet.h"
#include "platform/posix/http/PosixInternet.h"
#include "platform/posix/sysinfo/PosixSysInfoPlatform.h"
#include "platform/posix/system/Encoding.h"
#include "platform/posix/system/PosixSystem.h"

int main(int argc, char** argv) {
  // File names are UTF-8 here; the portable code names files in Windows-1250.
  SetNativeFileName([](const AnsiText& name) { return AnsiToUtf8(name); });
  SetTargetFileCreator(&TPosixSystem::CreateTargetFile);
  TPosixSystem system(argc > 0 ? argv[0] : "websetup");
  // Proxy settings from http_proxy / no_proxy. Never freed: a transfer still
  // ending after the window has gone may call it until the process ends.
  static PosixInternet& internet = *new PosixInternet;
  TFltkWidgetSet widgets;
  return RunProgram(widgets, system, PosixSysInfoPlatform(), internet);
}
