#include "platform/win32/sysinfo/Win32SysInfoPlatform.h"

#include <windows.h>

#include <cstddef>
#include <type_traits>

// The component's record and key handle go to Windows as they are.
static_assert(sizeof(TOSVersionInfoExA) == sizeof(OSVERSIONINFOEXA));
static_assert(kOSVersionInfoSize == sizeof(OSVERSIONINFOA));
static_assert(offsetof(TOSVersionInfoExA, dwMajorVersion) == offsetof(OSVERSIONINFOEXA, dwMajorVersion));
static_assert(offsetof(TOSVersionInfoExA, dwMinorVersion) == offsetof(OSVERSIONINFOEXA, dwMinorVersion));
static_assert(offsetof(TOSVersionInfoExA, dwBuildNumber) == offsetof(OSVERSIONINFOEXA, dwBuildNumber));
static_assert(offsetof(TOSVersionInfoExA, dwPlatformId) == offsetof(OSVERSIONINFOEXA, dwPlatformId));
static_assert(offsetof(TOSVersionInfoExA, szCSDVersion) == offsetof(OSVERSIONINFOEXA, szCSDVersion));
static_assert(sizeof(TOSVersionInfoExA::szCSDVersion) == sizeof(OSVERSIONINFOEXA::szCSDVersion));
static_assert(offsetof(TOSVersionInfoExA, wServicePackMajor) ==
              offsetof(OSVERSIONINFOEXA, wServicePackMajor));
static_assert(offsetof(TOSVersionInfoExA, wServicePackMinor) ==
              offsetof(OSVERSIONINFOEXA, wServicePackMinor));
static_assert(offsetof(TOSVersionInfoExA, wSuiteMask) == offsetof(OSVERSIONINFOEXA, wSuiteMask));
static_assert(offsetof(TOSVersionInfoExA, wProductType) == offsetof(OSVERSIONINFOEXA, wProductType));
static_assert(offsetof(TOSVersionInfoExA, wReserved) == offsetof(OSVERSIONINFOEXA, wReserved));
static_assert(sizeof(TRegKey) == sizeof(HKEY));
static_assert(sizeof(DWORD) == sizeof(std::uint32_t) && sizeof(LONG) == sizeof(std::int32_t));
static_assert(sizeof(BOOL) == sizeof(std::int32_t));
static_assert(KEY_QUERY_VALUE == kKeyQueryValue);
static_assert(ERROR_SUCCESS == kErrorSuccess && ERROR_FILE_NOT_FOUND == kErrorFileNotFound);
static_assert(MAX_PATH == kMaxPath);

namespace {

HKEY ToHKey(TRegKey key) {
  return reinterpret_cast<HKEY>(key);
}

// Calls a Windows function that takes a DWORD* size, DWORD being unsigned long.
template <class Call>
std::int32_t WithDwordSize(std::uint32_t* size, Call call) {
  if (size == nullptr) return call(nullptr);
  DWORD n = *size;
  const BOOL ok = call(&n);
  *size = n;
  return ok;
}

class TWin32SysInfoPlatform final : public ISysInfoPlatform {
 public:
  std::int32_t GetVersionExA(TOSVersionInfoExA* info) override {
    return ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info));
  }

  std::int32_t RegOpenKeyExA(TRegKey key, const char* subKey, std::uint32_t options, std::uint32_t samDesired,
                             TRegKey* result) override {
    HKEY opened = nullptr;
    const LONG rc = ::RegOpenKeyExA(ToHKey(key), subKey, options, samDesired, &opened);
    if (result != nullptr) *result = reinterpret_cast<TRegKey>(opened);
    return rc;
  }

  std::int32_t RegQueryValueExA(TRegKey key, const char* valueName, std::uint32_t* reserved,
                                std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override {
    // DWORD is unsigned long here, so the counts travel through DWORDs of our own.
    DWORD typeOut = type != nullptr ? *type : 0;
    DWORD sizeInOut = dataSize != nullptr ? *dataSize : 0;
    const LONG rc = ::RegQueryValueExA(ToHKey(key), valueName, reinterpret_cast<DWORD*>(reserved),
                                       type != nullptr ? &typeOut : nullptr, data,
                                       dataSize != nullptr ? &sizeInOut : nullptr);
    if (type != nullptr) *type = typeOut;
    if (dataSize != nullptr) *dataSize = sizeInOut;
    return rc;
  }

  std::int32_t RegCloseKey(TRegKey key) override { return ::RegCloseKey(ToHKey(key)); }

  std::int32_t GetComputerNameA(char* buffer, std::uint32_t* size) override {
    return WithDwordSize(size, [buffer](DWORD* n) { return ::GetComputerNameA(buffer, n); });
  }

  std::int32_t GetUserNameA(char* buffer, std::uint32_t* size) override {
    return WithDwordSize(size, [buffer](DWORD* n) { return ::GetUserNameA(buffer, n); });
  }

  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override {
    return ::GetSystemDirectoryA(buffer, size);
  }
};

}  // namespace

ISysInfoPlatform& Win32SysInfoPlatform() {
  static TWin32SysInfoPlatform platform;
  return platform;
}
