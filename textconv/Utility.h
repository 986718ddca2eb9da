#pragma once
// Czech text utilities: upper-casing and code-page conversion of Windows-1250 text
// through fixed tables, never through the locale.
#include "framework/Types.h"

// Raises a to z and the Czech letters ě š č ř ž ý á í é ť ď ň; ó, ú, ů and every
// other byte come back unchanged.
AnsiText CzechUpper(const AnsiText& text);

// Re-encodes text byte by byte between the code pages "W" (Windows-1250), "L"
// (code page 852), "K" (Kamenický) and "A" (plain ASCII). Only the first letter
// of a code counts, in either case; an empty source means "W", an empty target
// "A". Supported: W→L, W→K, W→A, L→W, K→W; any other pair returns the text as is.
AnsiText ConvertCodePage(const AnsiText& text, const AnsiText& source, const AnsiText& target);
