#pragma once
#include "bootstrap/Main.h"

// The title the program shows on its taskbar button and on every message
// box: the executable's file name up to its first dot, every character after
// the first in lower case.
AnsiText ProgramTitle(const AnsiText& modulePath, char delimiter);

// Host name of the vendor's web server, as the build set it.
AnsiText VendorHostName();
// The vendor's public key (PEM) the program was built with, or "": defined by
// the key library the program links (cmake/TrustKey.cmake).
std::string VendorTrustKey();
// More tries of a file on each host, and the mirror hosts ("h2;h3"), as the
// build set them: defined by the library the program links
// (cmake/Resilience.cmake).
int VendorRetries();
const char* VendorMirrors();

// The program: sets the title, creates the installer window as the main
// window and runs the message loop until it closes. The platform's widget
// set must be installed in Application() first.
int RunSetup(TPlatform& platform);

// The whole program, as each platform's main runs it: the widget set
// installed for the window's life, the key and cryptography the program was
// built with, an error of the window's creation shown.
int RunProgram(IWidgetSet& widgets, ISystem& system, ISysInfoPlatform& sysInfo, IInternetApi& internet);
