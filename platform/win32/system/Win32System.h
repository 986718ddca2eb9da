#pragma once
#include "bootstrap/System.h"

// The installer's system calls made on Windows itself, with the A functions:
// every text is Windows-1250 already.
class TWin32System final : public ISystem {
 public:
  AnsiText ModuleFileName() override;
  char PathDelimiter() override { return '\\'; }
  std::uint32_t GetEnvironmentVariableA(const AnsiText& name, char* buffer, std::uint32_t size) override;
  bool ForceDirectories(const AnsiText& path) override;
  bool FileExists(const AnsiText& path) override;
  bool DeleteFile(const AnsiText& path) override;
  int SetCurrentDirectoryA(const AnsiText& path) override;
  void Sleep(std::uint32_t milliseconds) override;
  void ShellExecuteOpen(const AnsiText& file, const AnsiText& parameters) override;
};
