#pragma once
// The system-information calls forwarded to Windows itself.
#include "sysinfo/SysInfoPlatform.h"

// One stateless instance for the whole process; safe from any thread.
ISysInfoPlatform& Win32SysInfoPlatform();
