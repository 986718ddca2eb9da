#pragma once
// The program's text is Windows-1250 inside; Linux speaks UTF-8 outside.
#include <string>

#include "framework/Types.h"

// Characters Windows-1250 lacks become '?'.
AnsiText Utf8ToAnsi(const std::string& utf8);
std::string AnsiToUtf8(const AnsiText& ansi);
