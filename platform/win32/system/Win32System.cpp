// clang-format off
// Ours first: windows.h turns RGB and DeleteFile into macros.
#include "platform/win32/system/Win32System.h"
#include <windows.h>
#include <shellapi.h>
// clang-format on
#undef DeleteFile

namespace {
bool IsDelimiter(char c) {
  return c == '\\' || c == '/';
}

bool IsFolder(const AnsiText& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where the folders that may be created begin: after "C:\" or "\\server\share\".
std::size_t FirstCreatable(const AnsiText& path) {
  if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && IsDelimiter(path[2]) ? 3 : 2;
  if (path.size() >= 2 && IsDelimiter(path[0]) && IsDelimiter(path[1])) {
    std::size_t i = 2;
    for (int parts = 0; parts < 2 && i < path.size(); ++parts) {
      while (i < path.size() && !IsDelimiter(path[i])) ++i;
      if (i < path.size()) ++i;
    }
    return i;
  }
  return IsDelimiter(path[0]) ? 1 : 0;
}
}  // namespace

AnsiText TWin32System::ModuleFileName() {
  AnsiText path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return AnsiText();
    // A full buffer may be a truncated path.
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::uint32_t TWin32System::GetEnvironmentVariableA(const AnsiText& name, char* buffer, std::uint32_t size) {
  return ::GetEnvironmentVariableA(name.c_str(), buffer, size);
}

bool TWin32System::ForceDirectories(const AnsiText& path) {
  AnsiText folder = path;
  while (folder.size() > 1 && IsDelimiter(folder.back()) && folder[folder.size() - 2] != ':')
    folder.pop_back();
  if (folder.empty()) return false;
  for (std::size_t i = FirstCreatable(folder); i <= folder.size(); ++i) {
    if (i != folder.size() && !IsDelimiter(folder[i])) continue;
    const AnsiText part = folder.substr(0, i);
    if (part.empty() || IsDelimiter(part.back())) continue;
    // A parent that exists (or cannot be made) is judged at the end.
    if (!IsFolder(part)) ::CreateDirectoryA(part.c_str(), nullptr);
  }
  return IsFolder(folder);
}

bool TWin32System::FileExists(const AnsiText& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool TWin32System::DeleteFile(const AnsiText& path) {
  return ::DeleteFileA(path.c_str()) != 0;
}

int TWin32System::SetCurrentDirectoryA(const AnsiText& path) {
  if (::SetCurrentDirectoryA(path.c_str()) != 0) return 0;
  return static_cast<int>(::GetLastError());
}

void TWin32System::Sleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

void TWin32System::ShellExecuteOpen(const AnsiText& file, const AnsiText& parameters) {
  ::ShellExecuteA(nullptr, "open", file.c_str(), parameters.c_str(), nullptr, SW_SHOW);
}
