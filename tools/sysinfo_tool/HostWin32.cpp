// clang-format off
// Our headers first: windows.h turns RGB and Get?Value of framework/Types.h into macros.
#include "tools/sysinfo_tool/HostPlatform.h"
#include "platform/win32/sysinfo/Win32SysInfoPlatform.h"
#include <windows.h>
// clang-format on

ISysInfoPlatform& HostSysInfoPlatform() {
  return Win32SysInfoPlatform();
}

std::string ForTerminal(const AnsiText& text) {
  static const bool consoleIsUtf8 = SetConsoleOutputCP(CP_UTF8) != 0;
  (void)consoleIsUtf8;
  if (text.empty()) return std::string();
  const int textLength = static_cast<int>(text.size());
  const int wideLength = MultiByteToWideChar(1250, 0, text.data(), textLength, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(1250, 0, text.data(), textLength, wide.data(), wideLength);
  const int utf8Length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), utf8Length, nullptr, nullptr);
  return utf8;
}
