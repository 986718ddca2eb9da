#include "platform/posix/sysinfo/PosixSysInfoPlatform.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/posix/system/Encoding.h"

namespace {

constexpr std::uint32_t kPlatformNT = 2;
constexpr char kSystemDirectory[] = "/usr/lib";

// Copies text the way GetComputerNameA and GetUserNameA do: nothing when it
// does not fit, and *size reports the characters (with or without the NUL).
std::int32_t CopyName(const AnsiText& text, char* buffer, std::uint32_t* size, bool countNul) {
  if (buffer == nullptr || size == nullptr) return 0;
  const auto needed = static_cast<std::uint32_t>(text.size() + 1);
  if (needed > *size) {
    *size = needed;
    return 0;
  }
  std::memcpy(buffer, text.c_str(), needed);
  *size = countNul ? needed : needed - 1;
  return 1;
}

bool HostName(std::string& name) {
  std::array<char, 256> buffer{};
  if (gethostname(buffer.data(), buffer.size() - 1) != 0) return false;
  name = buffer.data();
  return true;
}

bool LoginName(std::string& name) {
  const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> scratch(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  while (getpwuid_r(geteuid(), &entry, scratch.data(), scratch.size(), &found) == ERANGE) {
    scratch.resize(scratch.size() * 2);
  }
  if (found == nullptr || found->pw_name == nullptr) return false;
  name = found->pw_name;
  return true;
}

class TPosixSysInfoPlatform final : public ISysInfoPlatform {
 public:
  std::int32_t GetVersionExA(TOSVersionInfoExA* info) override {
    if (info == nullptr) return 0;
    const std::uint32_t size = info->dwOSVersionInfoSize;
    if (size != kOSVersionInfoExSize && size != kOSVersionInfoSize) return 0;
    utsname names{};
    if (uname(&names) != 0) return 0;

    const TKernelVersion kernel = ParseKernelRelease(names.release);
    info->dwMajorVersion = kernel.major;
    info->dwMinorVersion = kernel.minor;
    info->dwBuildNumber = kernel.build;
    info->dwPlatformId = kPlatformNT;
    const AnsiText csd = Utf8ToAnsi(std::string(names.sysname) + " " + names.release);
    const std::size_t length = std::min(csd.size(), sizeof info->szCSDVersion - 1);
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::memcpy(info->szCSDVersion, csd.data(), length);
    // The short form ends before these; a caller may have no room for them.
    if (size == kOSVersionInfoExSize) {
      info->wServicePackMajor = 0;
      info->wServicePackMinor = 0;
      info->wSuiteMask = 0;
      info->wProductType = 0;
      info->wReserved = 0;
    }
    return 1;
  }

  std::int32_t RegOpenKeyExA(TRegKey, const char*, std::uint32_t, std::uint32_t, TRegKey* result) override {
    if (result != nullptr) *result = 0;
    return kErrorFileNotFound;
  }

  std::int32_t RegQueryValueExA(TRegKey, const char*, std::uint32_t*, std::uint32_t*, std::uint8_t*,
                                std::uint32_t*) override {
    return kErrorFileNotFound;
  }

  // No key is ever opened, so there is none to close.
  std::int32_t RegCloseKey(TRegKey) override { return kErrorInvalidHandle; }

  std::int32_t GetComputerNameA(char* buffer, std::uint32_t* size) override {
    std::string name;
    if (!HostName(name)) return 0;
    return CopyName(Utf8ToAnsi(name), buffer, size, false);
  }

  std::int32_t GetUserNameA(char* buffer, std::uint32_t* size) override {
    std::string name;
    if (!LoginName(name)) return 0;
    return CopyName(Utf8ToAnsi(name), buffer, size, true);
  }

  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override {
    constexpr auto kNeeded = static_cast<std::uint32_t>(sizeof kSystemDirectory);
    if (buffer == nullptr || size < kNeeded) return kNeeded;
    std::memcpy(buffer, kSystemDirectory, kNeeded);
    return kNeeded - 1;
  }
};

}  // namespace

ISysInfoPlatform& PosixSysInfoPlatform() {
  static TPosixSysInfoPlatform platform;
  return platform;
}

TKernelVersion ParseKernelRelease(std::string_view release) {
  std::array<std::uint32_t, 3> numbers{};
  std::size_t pos = 0;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) {
      if (pos >= release.size() || release[pos] != '.') break;
      ++pos;
    }
    const std::size_t start = pos;
    std::uint64_t value = 0;
    while (pos < release.size() && release[pos] >= '0' && release[pos] <= '9') {
      value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(release[pos] - '0'),
                                      std::numeric_limits<std::uint32_t>::max());
      ++pos;
    }
    if (pos == start) break;
    numbers[i] = static_cast<std::uint32_t>(value);
  }
  return TKernelVersion{numbers[0], numbers[1], numbers[2]};
}
