#pragma once
// File names are Windows-1250 text inside the program. Where the system names
// files in another encoding (UTF-8 on Linux), the platform installs a
// converter, and portable code that opens files itself asks for the native
// name here. How a file to be written is created is the platform's too: it
// must never write through a link planted where the file should be.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "framework/Types.h"

using TNativeFileName = std::function<std::string(const AnsiText&)>;
// Creates the file of that native name for writing, or empties it. With keep
// above 0 it continues the file instead: it must exist with at least keep
// bytes, is cut to keep bytes and written from there. nullptr when it
// cannot, with errno telling why (ENOSPC: the disk is full).
using TTargetFileCreator = std::function<std::FILE*(const std::string&, std::int64_t keep)>;

// The name to hand to the C library's file calls.
std::string NativeFileName(const AnsiText& name);
// Installs the platform's converter; an empty one passes names unchanged.
void SetNativeFileName(TNativeFileName converter);

// Creates a file to write a download into (or continues one, see keep),
// through the installed creator; without one, as the C library's
// fopen(name, "wb") does, or for keep above 0 fopen(name, "r+b") after
// cutting the file to keep bytes.
std::FILE* CreateTargetFile(const AnsiText& name, std::int64_t keep = 0);
void SetTargetFileCreator(TTargetFileCreator creator);
