#pragma once
// File names are Windows-1250 text inside the program. Where the system names
// files in another encoding (UTF-8 on Linux), the platform installs a
// converter, and portable code that opens files itself asks for the native
// name here. How a file to be written is created is the platform's too: it
// must never write through a link planted where the file should be.
#include <cstdio>
#include <functional>
#include <string>

#include "framework/Types.h"

using TNativeFileName = std::function<std::string(const AnsiText&)>;
// Creates the file of that native name for writing, or empties it; nullptr
// when it cannot.
using TTargetFileCreator = std::function<std::FILE*(const std::string&)>;

// The name to hand to the C library's file calls.
std::string NativeFileName(const AnsiText& name);
// Installs the platform's converter; an empty one passes names unchanged.
void SetNativeFileName(TNativeFileName converter);

// Creates a file to write a download into, through the installed creator;
// without one, as the C library's fopen(name, "wb") does.
std::FILE* CreateTargetFile(const AnsiText& name);
void SetTargetFileCreator(TTargetFileCreator creator);
