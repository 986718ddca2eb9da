#include "platform/posix/system/Encoding.h"
#include "platform/posix/sysinfo/PosixSysInfoPlatform.h"
#include "tools/sysinfo_tool/HostPlatform.h"

ISysInfoPlatform& HostSysInfoPlatform() {
  return PosixSysInfoPlatform();
}

std::string ForTerminal(const AnsiText& text) {
  return AnsiToUtf8(text);
}
