#pragma once
// File names are Windows-1250 text inside the program. Where the system names
// files in another encoding (UTF-8 on Linux), the platform installs a
// converter, and portable code that opens files itself asks for the native
// name here.
#include <functional>
#include <string>

#include "framework/Types.h"

using TNativeFileName = std::function<std::string(const AnsiText&)>;

// The name to hand to the C library's file calls.
std::string NativeFileName(const AnsiText& name);
// Installs the platform's converter; an empty one passes names unchanged.
void SetNativeFileName(TNativeFileName converter);
