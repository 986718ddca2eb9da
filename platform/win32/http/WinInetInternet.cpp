#include "platform/win32/http/WinInetInternet.h"

// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on

#include "httpget/InternetErrors.h"

// The seam's constants are WinINet's own values.
static_assert(IInternetApi::kOpenTypePreconfig == INTERNET_OPEN_TYPE_PRECONFIG);
static_assert(IInternetApi::kDefaultHttpPort == INTERNET_DEFAULT_HTTP_PORT);
static_assert(IInternetApi::kServiceHttp == INTERNET_SERVICE_HTTP);
static_assert(IInternetApi::kFlagReload == INTERNET_FLAG_RELOAD);
static_assert(IInternetApi::kQueryContentLength == HTTP_QUERY_CONTENT_LENGTH);
static_assert(IInternetApi::kQueryStatusCode == HTTP_QUERY_STATUS_CODE);
static_assert(IInternetApi::kFlagNoCacheWrite == INTERNET_FLAG_NO_CACHE_WRITE);
static_assert(IInternetApi::kQueryDate == HTTP_QUERY_DATE);
static_assert(IInternetApi::kQueryLastModified == HTTP_QUERY_LAST_MODIFIED);
static_assert(IInternetApi::kQueryRetryAfter == HTTP_QUERY_RETRY_AFTER);
static_assert(IInternetApi::kQueryContentRange == HTTP_QUERY_CONTENT_RANGE);
static_assert(IInternetApi::kQueryETag == HTTP_QUERY_ETAG);
static_assert(sizeof(DWORD) == sizeof(std::uint32_t));

// The reasons the portable code reads are WinINet's and the system's own.
namespace e = internet_error;
static_assert(e::kTimeout == ERROR_INTERNET_TIMEOUT);
static_assert(e::kInvalidUrl == ERROR_INTERNET_INVALID_URL);
static_assert(e::kNameNotResolved == ERROR_INTERNET_NAME_NOT_RESOLVED);
static_assert(e::kOperationCancelled == ERROR_INTERNET_OPERATION_CANCELLED);
static_assert(e::kIncorrectHandleState == ERROR_INTERNET_INCORRECT_HANDLE_STATE);
static_assert(e::kCannotConnect == ERROR_INTERNET_CANNOT_CONNECT);
static_assert(e::kConnectionAborted == ERROR_INTERNET_CONNECTION_ABORTED);
static_assert(e::kConnectionReset == ERROR_INTERNET_CONNECTION_RESET);
static_assert(e::kCertDateInvalid == ERROR_INTERNET_SEC_CERT_DATE_INVALID);
static_assert(e::kCertNameInvalid == ERROR_INTERNET_SEC_CERT_CN_INVALID);
static_assert(e::kHttpToHttpsOnRedirect == ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR);
static_assert(e::kHttpsToHttpOnRedirect == ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
static_assert(e::kClientCertNeeded == ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED);
static_assert(e::kInvalidCa == ERROR_INTERNET_INVALID_CA);
static_assert(e::kCertErrors == ERROR_INTERNET_SEC_CERT_ERRORS);
static_assert(e::kCertNoRevocation == ERROR_INTERNET_SEC_CERT_NO_REV);
static_assert(e::kCertRevocationFailed == ERROR_INTERNET_SEC_CERT_REV_FAILED);
static_assert(e::kHeaderNotFound == ERROR_HTTP_HEADER_NOT_FOUND);
static_assert(e::kInvalidServerResponse == ERROR_HTTP_INVALID_SERVER_RESPONSE);
static_assert(e::kRedirectFailed == ERROR_HTTP_REDIRECT_FAILED);
static_assert(e::kSecureChannelError == ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
static_assert(e::kDisconnected == ERROR_INTERNET_DISCONNECTED);
static_assert(e::kServerUnreachable == ERROR_INTERNET_SERVER_UNREACHABLE);
static_assert(e::kProxyServerUnreachable == ERROR_INTERNET_PROXY_SERVER_UNREACHABLE);
static_assert(e::kInvalidCertificate == ERROR_INTERNET_SEC_INVALID_CERT);
static_assert(e::kCertRevoked == ERROR_INTERNET_SEC_CERT_REVOKED);
static_assert(e::kInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(e::kNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(e::kInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(e::kInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);

namespace {
// The system's reason, taken right after the failed call, before anything
// else on this thread can replace it.
thread_local DWORD lastError = 0;

template <class T>
T Noted(T result) {
  if (!result) lastError = ::GetLastError();
  return result;
}
}  // namespace

IInternetApi::Handle WinInetInternet::InternetOpenA(const char* agent, std::uint32_t accessType,
                                                    const char* proxy, const char* proxyBypass,
                                                    std::uint32_t flags) {
  return Noted(::InternetOpenA(agent, accessType, proxy, proxyBypass, flags));
}

IInternetApi::Handle WinInetInternet::InternetConnectA(Handle internet, const char* serverName,
                                                       std::uint16_t serverPort, const char* userName,
                                                       const char* password, std::uint32_t service,
                                                       std::uint32_t flags, std::uintptr_t context) {
  return Noted(
      ::InternetConnectA(internet, serverName, serverPort, userName, password, service, flags, context));
}

IInternetApi::Handle WinInetInternet::HttpOpenRequestA(Handle connect, const char* verb,
                                                       const char* objectName, const char* version,
                                                       const char* referrer, const char* const* acceptTypes,
                                                       std::uint32_t flags, std::uintptr_t context) {
  // WinINet takes the list as non-const but does not write to it.
  return Noted(::HttpOpenRequestA(connect, verb, objectName, version, referrer,
                                  const_cast<LPCSTR*>(acceptTypes), flags, context));
}

bool WinInetInternet::HttpSendRequestA(Handle request, const char* headers, std::uint32_t headersLength,
                                       const void* optional, std::uint32_t optionalLength) {
  return Noted(::HttpSendRequestA(request, headers, headersLength, const_cast<void*>(optional),
                                  optionalLength) != FALSE);
}

bool WinInetInternet::HttpQueryInfoA(Handle request, std::uint32_t infoLevel, void* buffer,
                                     std::uint32_t* bufferLength, std::uint32_t* index) {
  DWORD length = bufferLength != nullptr ? *bufferLength : 0;
  DWORD at = index != nullptr ? *index : 0;
  const BOOL ok =
      Noted(::HttpQueryInfoA(request, infoLevel, buffer, &length, index != nullptr ? &at : nullptr));
  if (bufferLength != nullptr) *bufferLength = length;
  if (index != nullptr) *index = at;
  return ok != FALSE;
}

bool WinInetInternet::InternetReadFile(Handle file, void* buffer, std::uint32_t numberOfBytesToRead,
                                       std::uint32_t* numberOfBytesRead) {
  DWORD read = 0;
  const BOOL ok = Noted(::InternetReadFile(file, buffer, numberOfBytesToRead, &read));
  if (numberOfBytesRead != nullptr) *numberOfBytesRead = read;
  return ok != FALSE;
}

bool WinInetInternet::InternetCloseHandle(Handle handle) {
  return Noted(::InternetCloseHandle(handle) != FALSE);
}

std::uint32_t WinInetInternet::GetLastError() {
  return lastError;
}
