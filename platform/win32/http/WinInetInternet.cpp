#include "platform/win32/http/WinInetInternet.h"

// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on

// The seam's constants are WinINet's own values.
static_assert(IInternetApi::kOpenTypePreconfig == INTERNET_OPEN_TYPE_PRECONFIG);
static_assert(IInternetApi::kDefaultHttpPort == INTERNET_DEFAULT_HTTP_PORT);
static_assert(IInternetApi::kDefaultHttpsPort == INTERNET_DEFAULT_HTTPS_PORT);
static_assert(IInternetApi::kServiceHttp == INTERNET_SERVICE_HTTP);
static_assert(IInternetApi::kFlagReload == INTERNET_FLAG_RELOAD);
static_assert(IInternetApi::kFlagSecure == INTERNET_FLAG_SECURE);
static_assert(IInternetApi::kOptionUrl == INTERNET_OPTION_URL);
static_assert(IInternetApi::kQueryContentLength == HTTP_QUERY_CONTENT_LENGTH);
static_assert(IInternetApi::kQueryStatusCode == HTTP_QUERY_STATUS_CODE);
static_assert(sizeof(DWORD) == sizeof(std::uint32_t));

IInternetApi::Handle WinInetInternet::InternetOpenA(const char* agent, std::uint32_t accessType,
                                                    const char* proxy, const char* proxyBypass,
                                                    std::uint32_t flags) {
  return ::InternetOpenA(agent, accessType, proxy, proxyBypass, flags);
}

IInternetApi::Handle WinInetInternet::InternetConnectA(Handle internet, const char* serverName,
                                                       std::uint16_t serverPort, const char* userName,
                                                       const char* password, std::uint32_t service,
                                                       std::uint32_t flags, std::uintptr_t context) {
  return ::InternetConnectA(internet, serverName, serverPort, userName, password, service, flags, context);
}

IInternetApi::Handle WinInetInternet::HttpOpenRequestA(Handle connect, const char* verb,
                                                       const char* objectName, const char* version,
                                                       const char* referrer, const char* const* acceptTypes,
                                                       std::uint32_t flags, std::uintptr_t context) {
  // WinINet takes the list as non-const but does not write to it.
  return ::HttpOpenRequestA(connect, verb, objectName, version, referrer, const_cast<LPCSTR*>(acceptTypes),
                            flags, context);
}

bool WinInetInternet::HttpSendRequestA(Handle request, const char* headers, std::uint32_t headersLength,
                                       const void* optional, std::uint32_t optionalLength) {
  return ::HttpSendRequestA(request, headers, headersLength, const_cast<void*>(optional), optionalLength) !=
         FALSE;
}

bool WinInetInternet::HttpQueryInfoA(Handle request, std::uint32_t infoLevel, void* buffer,
                                     std::uint32_t* bufferLength, std::uint32_t* index) {
  DWORD length = bufferLength != nullptr ? *bufferLength : 0;
  DWORD at = index != nullptr ? *index : 0;
  const BOOL ok = ::HttpQueryInfoA(request, infoLevel, buffer, &length, index != nullptr ? &at : nullptr);
  if (bufferLength != nullptr) *bufferLength = length;
  if (index != nullptr) *index = at;
  return ok != FALSE;
}

bool WinInetInternet::InternetReadFile(Handle file, void* buffer, std::uint32_t numberOfBytesToRead,
                                       std::uint32_t* numberOfBytesRead) {
  DWORD read = 0;
  const BOOL ok = ::InternetReadFile(file, buffer, numberOfBytesToRead, &read);
  if (numberOfBytesRead != nullptr) *numberOfBytesRead = read;
  return ok != FALSE;
}

bool WinInetInternet::InternetCloseHandle(Handle handle) {
  return ::InternetCloseHandle(handle) != FALSE;
}

bool WinInetInternet::InternetQueryOptionA(Handle handle, std::uint32_t option, void* buffer,
                                           std::uint32_t* bufferLength) {
  DWORD length = bufferLength != nullptr ? *bufferLength : 0;
  const BOOL ok = ::InternetQueryOptionA(handle, option, buffer, &length);
  if (bufferLength != nullptr) *bufferLength = length;
  return ok != FALSE;
}
