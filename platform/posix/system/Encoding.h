#pragma once
// The program's text is Windows-1250 inside; Linux speaks UTF-8 outside.
#include <string>
#include <string_view>

#include "framework/Types.h"

// Characters Windows-1250 lacks, and malformed input, become '?'.
AnsiText Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);
