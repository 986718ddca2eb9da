#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "bootstrap/System.h"

// The installer's system calls answered with the nearest Linux facts.
class TPosixSystem : public ISystem {
 public:
  // argv0 names the program as it was started: its base name picks the product.
  explicit TPosixSystem(const char* argv0);

  AnsiText ModuleFileName() override;
  char PathDelimiter() override { return '/'; }
  std::uint32_t GetEnvironmentVariableA(const AnsiText& name, char* buffer, std::uint32_t size) override;
  bool ForceDirectories(const AnsiText& path, bool shared) override;
  bool IsPrivateFolder(const AnsiText& path) override;
  bool FileExists(const AnsiText& path) override;
  std::int64_t FileSize(const AnsiText& path) override;
  bool DeleteFile(const AnsiText& path) override;
  bool RenameFile(const AnsiText& from, const AnsiText& to) override;
  int SetCurrentDirectoryA(const AnsiText& path) override;
  void Sleep(std::uint32_t milliseconds) override;
  std::int64_t UtcNow() override;
  std::unique_ptr<IHeldFile> HoldFile(const AnsiText& path) override;

  // Creates a download's file (a UTF-8 name) for writing without following a
  // link, and only as a regular file of the user's own with one name; emptied
  // only then. With keep above 0 the file must be there with at least keep
  // bytes; it is cut to keep bytes and written from there.
  static std::FILE* CreateTargetFile(const std::string& name, std::int64_t keep = 0);

  // Environment lookup without regard to case, with the Linux stand-ins for
  // what Windows always sets. Exposed for tests.
  static bool LookUp(const AnsiText& name, AnsiText& value);

  // The Windows error code a failed call's errno stands for: 2 to 5 where
  // their meaning matches, else kErrnoBase + errno.
  static constexpr int kErrnoBase = 10000;
  static int IoErrorCode(int err);

 private:
  AnsiText argv0_;
};
