// clang-format off
// Ours first: windows.h turns RGB and DeleteFile into macros.
#include "platform/win32/system/Win32System.h"
#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <shellapi.h>
// clang-format on
#undef DeleteFile

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {
bool IsDelimiter(char c) {
  return c == '\\' || c == '/';
}

bool IsFolder(const AnsiText& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The SID the process runs as, kept in its token's buffer.
struct TUserSid {
  std::vector<BYTE> buffer;
  PSID Sid() const { return reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid; }
  bool Read() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    buffer.resize(size);
    const bool ok = size != 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    ::CloseHandle(token);
    return ok;
  }
};

// A SID from its text form, freed with the object.
class TWellKnownSid {
 public:
  explicit TWellKnownSid(const char* text) { ::ConvertStringSidToSidA(text, &sid_); }
  ~TWellKnownSid() { ::LocalFree(sid_); }
  TWellKnownSid(const TWellKnownSid&) = delete;
  TWellKnownSid& operator=(const TWellKnownSid&) = delete;
  bool Is(PSID other) const { return sid_ != nullptr && other != nullptr && ::EqualSid(sid_, other); }

 private:
  PSID sid_ = nullptr;
};

// Everything that lets a holder change the folder or what it holds.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                     FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                     GENERIC_ALL;

// A plain file behind the handle: no folder, no reparse point, one name.
bool PlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(file, &info) &&
         (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
         info.nNumberOfLinks == 1;
}

AnsiText WithoutTrailingDelimiter(AnsiText folder) {
  while (folder.size() > 1 && IsDelimiter(folder.back()) && folder[folder.size() - 2] != ':') folder.pop_back();
  return folder;
}

// The wide text in the system's ANSI code page, which the A functions read
// it in; false when a character is not there, so it would not come back
// from there unchanged ("?" or a look-alike in its place).
bool ToAnsi(const std::wstring& wide, AnsiText& ansi) {
  const int length = static_cast<int>(wide.size());
  const int size = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  ansi.assign(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, ansi.data(), size, nullptr, nullptr);
  std::wstring back(wide.size(), L'\0');
  return ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, back.data(), length) == length && back == wide;
}

// The names asked for are ASCII, the same in every code page.
std::wstring Environment(const AnsiText& name) {
  std::wstring wideName(name.size(), L'\0');
  for (std::size_t i = 0; i < name.size(); ++i) wideName[i] = static_cast<unsigned char>(name[i]);
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n =
        ::GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.resize(n);  // the size it needs, terminator included
  }
}

// A variable whose value the ANSI code page cannot carry (a Cyrillic user
// name in TEMP on a Czech Windows) reaches the A functions with "?" in it.
// Where it names a folder, that folder's short 8.3 name, plain ASCII, names
// it as well: true, and that name. False for every other value.
bool ShortFolderName(const AnsiText& name, AnsiText& shortName) {
  const std::wstring value = Environment(name);
  AnsiText ansi;
  if (value.empty() || ToAnsi(value, ansi)) return false;
  const DWORD attributes = ::GetFileAttributesW(value.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  std::wstring wide(MAX_PATH, L'\0');
  DWORD n = ::GetShortPathNameW(value.c_str(), wide.data(), static_cast<DWORD>(wide.size()));
  if (n >= wide.size()) {
    wide.resize(n);
    n = ::GetShortPathNameW(value.c_str(), wide.data(), n);
  }
  // A volume without short names leaves the long ones in the path.
  if (n == 0 || n >= wide.size()) return false;
  wide.resize(n);
  return ToAnsi(wide, shortName);
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
  AnsiText shortName;
  if (!ShortFolderName(name, shortName)) return ::GetEnvironmentVariableA(name.c_str(), buffer, size);
  // Sized as the A call sizes a value: with no buffer or one too small, the size it needs.
  const auto length = static_cast<std::uint32_t>(shortName.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, shortName.c_str(), shortName.size() + 1);
  return length;
}

bool TWin32System::ForceDirectories(const AnsiText& path, bool shared) {
  const AnsiText folder = WithoutTrailingDelimiter(path);
  if (folder.empty()) return false;
  // A shared folder gets an access list of its own, not the one its parent
  // would hand down (under ProgramData every user may add files): the user,
  // the administrators and the system may write, every user may read.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (shared) {
    TUserSid user;
    char* userText = nullptr;
    if (!user.Read() || !::ConvertSidToStringSidA(user.Sid(), &userText)) return false;
    const std::string sddl = SharedFolderAccess(userText);
    ::LocalFree(userText);
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                                nullptr))
      return false;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  for (std::size_t i = FirstCreatable(folder); i <= folder.size(); ++i) {
    if (i != folder.size() && !IsDelimiter(folder[i])) continue;
    const AnsiText part = folder.substr(0, i);
    if (part.empty() || IsDelimiter(part.back())) continue;
    // A parent that exists (or cannot be made) is judged at the end.
    if (!IsFolder(part)) ::CreateDirectoryA(part.c_str(), i == folder.size() && shared ? &attributes : nullptr);
  }
  if (descriptor != nullptr) ::LocalFree(descriptor);
  return IsFolder(folder);
}

std::string TWin32System::SharedFolderAccess(const std::string& userSid) {
  // Protected: nothing is handed down from the parent. Full control for the
  // user, the administrators and the system; read and run for all users.
  return "D:P(A;OICI;FA;;;" + userSid + ")(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
}

bool TWin32System::IsPrivateFolder(const AnsiText& path) {
  const AnsiText folder = WithoutTrailingDelimiter(path);
  // A junction or link could be pointed elsewhere by whoever made it.
  const DWORD attributes = ::GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return false;
  TUserSid user;
  if (!user.Read()) return false;
  const TWellKnownSid administrators("S-1-5-32-544");
  const TWellKnownSid system("S-1-5-18");
  const TWellKnownSid creatorOwner("S-1-3-0");
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoA(const_cast<char*>(folder.c_str()), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  const auto trusted = [&](PSID sid) {
    return ::EqualSid(sid, user.Sid()) || administrators.Is(sid) || system.Is(sid);
  };
  // No access list at all lets everyone do everything.
  bool ok = owner != nullptr && trusted(owner) && dacl != nullptr;
  for (DWORD i = 0; ok && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) {
      ok = false;
      break;
    }
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      ok = false;  // an allowing entry of a kind not judged here
      break;
    }
    // Entries handed down to what is made inside count too: a file made in
    // the folder must be no one else's to change either.
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if ((allowed->Mask & kWriteRights) != 0 && !trusted(sid) && !creatorOwner.Is(sid)) ok = false;
  }
  ::LocalFree(descriptor);
  return ok;
}

bool TWin32System::FileExists(const AnsiText& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool TWin32System::DeleteFile(const AnsiText& path) {
  return ::DeleteFileA(path.c_str()) != 0;
}

std::int64_t TWin32System::FileSize(const AnsiText& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) == 0 ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return -1;
  return static_cast<std::int64_t>((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
}

bool TWin32System::RenameFile(const AnsiText& from, const AnsiText& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

int TWin32System::SetCurrentDirectoryA(const AnsiText& path) {
  if (::SetCurrentDirectoryA(path.c_str()) != 0) return 0;
  return static_cast<int>(::GetLastError());
}

void TWin32System::Sleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

std::int64_t TWin32System::UtcNow() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  // FILETIME counts 100 ns from 1601-01-01.
  return static_cast<std::int64_t>(ticks / 10000000u) - 11644473600;
}

namespace {
class TWin32HeldFile final : public IHeldFile {
 public:
  TWin32HeldFile(HANDLE file, AnsiText path) : file_(file), path_(std::move(path)) {}
  ~TWin32HeldFile() override { ::CloseHandle(file_); }
  TWin32HeldFile(const TWin32HeldFile&) = delete;
  TWin32HeldFile& operator=(const TWin32HeldFile&) = delete;

  std::int64_t Read(char* buffer, std::size_t size) override {
    DWORD read = 0;
    const DWORD want = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    if (!::ReadFile(file_, buffer, want, &read, nullptr)) return -1;
    return read;
  }
  // The handle shares reading only, so until the program has started nobody
  // can open the file to write, rename or delete it.
  void ShellExecuteOpen(const AnsiText& parameters) override {
    ::ShellExecuteA(nullptr, "open", path_.c_str(), parameters.c_str(), nullptr, SW_SHOW);
  }

 private:
  HANDLE file_;
  AnsiText path_;
};
}  // namespace

std::unique_ptr<IHeldFile> TWin32System::HoldFile(const AnsiText& path) {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  if (!PlainFile(file)) {
    ::CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<TWin32HeldFile>(file, path);
}

namespace {
// errno for a failed file call, as the C library's own calls would set it.
std::FILE* FailedTarget(HANDLE file, DWORD error) {
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  errno = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? ENOSPC : EACCES;
  return nullptr;
}

// The owner of a file to continue: the user, or the owner the system gives
// the user's new files (the administrators, for an administrator on XP).
bool OwnFile(HANDLE file) {
  TUserSid user;
  if (!user.Read()) return false;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
    return false;
  const bool ok =
      owner != nullptr && (::EqualSid(owner, user.Sid()) || TWellKnownSid("S-1-5-32-544").Is(owner) ||
                           TWellKnownSid("S-1-5-18").Is(owner));
  ::LocalFree(descriptor);
  return ok;
}
}  // namespace

std::FILE* TWin32System::CreateTargetFile(const std::string& name, std::int64_t keep) {
  // The reparse point itself is opened, never what it points to, and the
  // file is emptied (or cut) only once it is known to be a plain file of one
  // name. A file to continue must be there already.
  const HANDLE file = ::CreateFileA(name.c_str(), GENERIC_WRITE | (keep > 0 ? READ_CONTROL : 0),
                                    FILE_SHARE_READ, nullptr, keep > 0 ? OPEN_EXISTING : OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FailedTarget(file, ::GetLastError());
  LARGE_INTEGER size{};
  LARGE_INTEGER at{};
  at.QuadPart = keep;
  if (!PlainFile(file) ||
      (keep > 0 && (!OwnFile(file) || !::GetFileSizeEx(file, &size) || size.QuadPart < keep)))
    return FailedTarget(file, ERROR_ACCESS_DENIED);
  if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !::SetEndOfFile(file))
    return FailedTarget(file, ::GetLastError());
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
  if (fd < 0) return FailedTarget(file, ERROR_ACCESS_DENIED);
  std::FILE* stream = ::_fdopen(fd, "wb");
  if (stream == nullptr) ::_close(fd);
  return stream;
}
