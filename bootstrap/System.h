#pragma once
// What the installer asks of the operating system besides its window:
// its own path, the environment, files and folders, and the shell.
// All texts are Windows-1250; an implementation converts at its boundary.
#include <cstdint>

#include "framework/Types.h"

class ISystem {
 public:
  virtual ~ISystem() = default;

  // Full path of the running executable.
  virtual AnsiText ModuleFileName() = 0;
  // The character that separates folders in a path ('\' or '/').
  virtual char PathDelimiter() = 0;
  // As the Win32 call of that name: the variable is found without regard to
  // case. With a buffer too small (or none) it returns the size the value
  // needs, terminator included; otherwise it copies the value with its
  // terminator and returns the value's length. 0 when the variable is unset.
  virtual std::uint32_t GetEnvironmentVariableA(const AnsiText& name, char* buffer, std::uint32_t size) = 0;
  // Creates the folder with every missing parent; true when it exists after.
  virtual bool ForceDirectories(const AnsiText& path) = 0;
  // True for an existing file; a folder does not count.
  virtual bool FileExists(const AnsiText& path) = 0;
  virtual bool DeleteFile(const AnsiText& path) = 0;
  // 0 on success, else the system's error code (2 file not found, 3 path not
  // found, 4 too many open files, 5 access denied, or another).
  virtual int SetCurrentDirectoryA(const AnsiText& path) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // The shell's "open" with the parameter text; the result is not reported.
  virtual void ShellExecuteOpen(const AnsiText& file, const AnsiText& parameters) = 0;
};
