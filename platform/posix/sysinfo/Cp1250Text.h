#pragma once
// Conversion between the host's UTF-8 and the program's Windows-1250 text.
#include <string>
#include <string_view>

#include "framework/Types.h"

// A character Windows-1250 lacks, or a byte that is not valid UTF-8, becomes '?'.
AnsiText Utf8ToCp1250(std::string_view utf8);

// A byte Windows-1250 leaves undefined becomes '?'.
std::string Cp1250ToUtf8(std::string_view ansi);
