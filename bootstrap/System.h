#pragma once
// What the installer asks of the operating system besides its window:
// its own path, the environment, files and folders, and the shell.
// All texts are Windows-1250; an implementation converts at its boundary.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "framework/Types.h"

// A file opened for reading and held so that nobody can change, replace or
// delete it until it is let go: what was read from it is what it holds, and
// what is started from it.
class IHeldFile {
 public:
  virtual ~IHeldFile() = default;
  // The next bytes, up to size: the count read, 0 at the end, -1 on an error.
  virtual std::int64_t Read(char* buffer, std::size_t size) = 0;
  // The shell's "open" of the held file with the parameter text, started
  // from the file as held; the result is not reported.
  virtual void ShellExecuteOpen(const AnsiText& parameters) = 0;
};

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
  // The last folder, when made here, is writable by the user alone; with
  // shared, every user may read it and only the user, the administrators and
  // the system may write to it.
  virtual bool ForceDirectories(const AnsiText& path, bool shared) = 0;
  // True when the folder belongs to the user the program runs as (or, on
  // Windows, to the administrators or the system) and nobody else may write
  // to it. Only the folder itself is judged, not its parents.
  virtual bool IsPrivateFolder(const AnsiText& path) = 0;
  // True for an existing file; a folder does not count.
  virtual bool FileExists(const AnsiText& path) = 0;
  // The size of a file in bytes; -1 when there is no file there.
  virtual std::int64_t FileSize(const AnsiText& path) = 0;
  virtual bool DeleteFile(const AnsiText& path) = 0;
  // Gives the file at from the name to, replacing a file already there.
  virtual bool RenameFile(const AnsiText& from, const AnsiText& to) = 0;
  // 0 on success, else the system's error code (2 file not found, 3 path not
  // found, 4 too many open files, 5 access denied, or another).
  virtual int SetCurrentDirectoryA(const AnsiText& path) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // The computer's clock: seconds since 1970-01-01T00:00:00Z.
  virtual std::int64_t UtcNow() = 0;
  // Holds a regular file of the user's own, never through a link; nullptr
  // when it cannot (missing, a link, someone else's, in use for writing).
  virtual std::unique_ptr<IHeldFile> HoldFile(const AnsiText& path) = 0;
};
