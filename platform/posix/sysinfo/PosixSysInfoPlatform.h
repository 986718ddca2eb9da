#pragma once
// The system-information calls answered from POSIX facts: host name, login
// name of the effective user, "/usr/lib", a version record built from uname()
// and a registry that holds no keys.
#include <cstdint>
#include <string_view>

#include "sysinfo/SysInfoPlatform.h"

// One stateless instance for the whole process; safe from any thread.
ISysInfoPlatform& PosixSysInfoPlatform();

struct TKernelVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
};

// The first three numbers of a kernel release such as "6.1.0-18-amd64";
// missing ones are 0.
TKernelVersion ParseKernelRelease(std::string_view release);
