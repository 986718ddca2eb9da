#pragma once
// What the tool needs of the machine it runs on; one source file per platform.
#include <string>

#include "framework/Types.h"
#include "sysinfo/SysInfoPlatform.h"

ISysInfoPlatform& HostSysInfoPlatform();

// The component's Windows-1250 text in the terminal's encoding (UTF-8).
std::string ForTerminal(const AnsiText& text);
