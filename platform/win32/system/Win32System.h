#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "bootstrap/System.h"

// The installer's system calls made on Windows itself, with the A functions:
// every text is Windows-1250 already.
class TWin32System final : public ISystem {
 public:
  AnsiText ModuleFileName() override;
  char PathDelimiter() override { return '\\'; }
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

  // Creates a download's file for writing without following a reparse point
  // planted under its name; emptied only once it is known to be a plain file.
  // With keep above 0 the file must be there, of one name, the user's (or the
  // administrators' or the system's), with at least keep bytes; it is cut to
  // keep bytes and written from there. errno tells why it could not.
  static std::FILE* CreateTargetFile(const std::string& name, std::int64_t keep = 0);
  // The access list a shared folder is made with, in SDDL, for the user's SID.
  static std::string SharedFolderAccess(const std::string& userSid);
};
