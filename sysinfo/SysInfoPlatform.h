#pragma once
// The operating-system calls the system-information component is written
// against. Names, argument order and results follow the Windows calls, so the
// Win32 side forwards them unchanged; other platforms answer as Windows would.
#include <cstddef>
#include <cstdint>

// Byte-for-byte image of OSVERSIONINFOEXA; the first 148 bytes are the short
// form OSVERSIONINFOA.
struct TOSVersionInfoExA {
  std::uint32_t dwOSVersionInfoSize;
  std::uint32_t dwMajorVersion;
  std::uint32_t dwMinorVersion;
  std::uint32_t dwBuildNumber;
  std::uint32_t dwPlatformId;
  char szCSDVersion[128];
  std::uint16_t wServicePackMajor;
  std::uint16_t wServicePackMinor;
  std::uint16_t wSuiteMask;
  std::uint8_t wProductType;
  std::uint8_t wReserved;
};

inline constexpr std::uint32_t kOSVersionInfoExSize = 156;
inline constexpr std::uint32_t kOSVersionInfoSize = 148;

static_assert(sizeof(TOSVersionInfoExA) == kOSVersionInfoExSize);
static_assert(offsetof(TOSVersionInfoExA, dwOSVersionInfoSize) == 0);
static_assert(offsetof(TOSVersionInfoExA, dwMajorVersion) == 4);
static_assert(offsetof(TOSVersionInfoExA, dwMinorVersion) == 8);
static_assert(offsetof(TOSVersionInfoExA, dwBuildNumber) == 12);
static_assert(offsetof(TOSVersionInfoExA, dwPlatformId) == 16);
static_assert(offsetof(TOSVersionInfoExA, szCSDVersion) == 20);
static_assert(offsetof(TOSVersionInfoExA, wServicePackMajor) == kOSVersionInfoSize);
static_assert(offsetof(TOSVersionInfoExA, wServicePackMinor) == 150);
static_assert(offsetof(TOSVersionInfoExA, wSuiteMask) == 152);
static_assert(offsetof(TOSVersionInfoExA, wProductType) == 154);
static_assert(offsetof(TOSVersionInfoExA, wReserved) == 155);

// A registry key handle; same width and values as HKEY.
using TRegKey = std::uintptr_t;

// HKEY_LOCAL_MACHINE is a sign-extended 32-bit value on every Windows.
inline constexpr TRegKey kHKeyLocalMachine =
    static_cast<TRegKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000002u)));
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;

inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorInvalidHandle = 6;
inline constexpr std::int32_t kErrorMoreData = 234;

// MAX_PATH: the buffer size the component hands to the name and folder calls.
inline constexpr std::uint32_t kMaxPath = 260;

class ISysInfoPlatform {
 public:
  virtual ~ISysInfoPlatform() = default;

  // Nonzero when the record was filled; zero when its size field is refused.
  virtual std::int32_t GetVersionExA(TOSVersionInfoExA* info) = 0;

  // Registry calls return a Windows error code, kErrorSuccess on success.
  virtual std::int32_t RegOpenKeyExA(TRegKey key, const char* subKey, std::uint32_t options,
                                     std::uint32_t samDesired, TRegKey* result) = 0;
  virtual std::int32_t RegQueryValueExA(TRegKey key, const char* valueName, std::uint32_t* reserved,
                                        std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) = 0;
  virtual std::int32_t RegCloseKey(TRegKey key) = 0;

  // Nonzero on success. *size is the buffer's capacity in characters on entry.
  virtual std::int32_t GetComputerNameA(char* buffer, std::uint32_t* size) = 0;
  virtual std::int32_t GetUserNameA(char* buffer, std::uint32_t* size) = 0;

  // The path's length on success, zero on failure, the size needed (with the
  // NUL) when the buffer is too small.
  virtual std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) = 0;
};
