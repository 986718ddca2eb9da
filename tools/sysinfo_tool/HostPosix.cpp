#include "platform/posix/sysinfo/Cp1250Text.h"
#include "platform/posix/sysinfo/PosixSysInfoPlatform.h"
#include "tools/sysinfo_tool/HostPlatform.h"

ISysInfoPlatform& HostSysInfoPlatform() {
  return PosixSysInfoPlatform();
}

std::string ForTerminal(const AnsiText& text) {
  return Cp1250ToUtf8(text);
}
