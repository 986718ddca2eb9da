#pragma once
#include "bootstrap/Main.h"

// The title the program shows on its taskbar button and on every message
// box: the executable's file name up to its first dot, every character after
// the first in lower case.
AnsiText ProgramTitle(const AnsiText& modulePath, char delimiter);

// Host name of the vendor's web server, as the build set it.
AnsiText VendorHostName();
// Puts the vendor's key, HTTPS, retries and mirrors, as the program was
// built with them, into platform: defined by the settings library the program
// links (cmake/BuildSettings.cmake).
void ApplyBuildSettings(TPlatform& platform);

// The program: sets the title, creates the installer window as the main
// window and runs the message loop until it closes. The platform's widget
// set must be installed in Application() first.
int RunSetup(TPlatform& platform);

// The whole program, as each platform's main runs it: the widget set
// installed for the window's life, the key and cryptography the program was
// built with, an error of the window's creation shown.
int RunProgram(IWidgetSet& widgets, ISystem& system, ISysInfoPlatform& sysInfo, IInternetApi& internet);
