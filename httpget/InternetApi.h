#pragma once
// The platform's HTTP calls as the getter makes them: WinINet on Windows, a
// Boost.Beast transport on Linux, a recording fake in tests. The operations
// keep the names and argument order of the WinINet calls.
#include <cstdint>

class IInternetApi {
 public:
  // Opaque; nullptr is "none", which every call given it fails on.
  using Handle = void*;

  static constexpr std::uint32_t kOpenTypePreconfig = 0;     // INTERNET_OPEN_TYPE_PRECONFIG
  static constexpr std::uint16_t kDefaultHttpPort = 80;      // INTERNET_DEFAULT_HTTP_PORT
  static constexpr std::uint32_t kServiceHttp = 3;           // INTERNET_SERVICE_HTTP
  static constexpr std::uint32_t kFlagReload = 0x80000000u;  // INTERNET_FLAG_RELOAD
  static constexpr std::uint32_t kQueryContentLength = 5;    // HTTP_QUERY_CONTENT_LENGTH
  static constexpr std::uint32_t kQueryStatusCode = 19;      // HTTP_QUERY_STATUS_CODE

  // For continuing a file and learning why a transfer failed.
  static constexpr std::uint32_t kFlagNoCacheWrite = 0x04000000u;  // INTERNET_FLAG_NO_CACHE_WRITE
  static constexpr std::uint32_t kQueryDate = 9;                   // HTTP_QUERY_DATE
  static constexpr std::uint32_t kQueryLastModified = 11;          // HTTP_QUERY_LAST_MODIFIED
  static constexpr std::uint32_t kQueryRetryAfter = 36;            // HTTP_QUERY_RETRY_AFTER
  static constexpr std::uint32_t kQueryContentRange = 53;          // HTTP_QUERY_CONTENT_RANGE
  static constexpr std::uint32_t kQueryETag = 54;                  // HTTP_QUERY_ETAG

  IInternetApi() = default;
  IInternetApi(const IInternetApi&) = delete;
  IInternetApi& operator=(const IInternetApi&) = delete;
  virtual ~IInternetApi() = default;

  // agent, proxy and proxyBypass may be nullptr ("none").
  virtual Handle InternetOpenA(const char* agent, std::uint32_t accessType, const char* proxy,
                               const char* proxyBypass, std::uint32_t flags) = 0;
  virtual Handle InternetConnectA(Handle internet, const char* serverName, std::uint16_t serverPort,
                                  const char* userName, const char* password, std::uint32_t service,
                                  std::uint32_t flags, std::uintptr_t context) = 0;
  // acceptTypes ends with a nullptr entry.
  virtual Handle HttpOpenRequestA(Handle connect, const char* verb, const char* objectName,
                                  const char* version, const char* referrer, const char* const* acceptTypes,
                                  std::uint32_t flags, std::uintptr_t context) = 0;
  // Sends the request and takes in the head of the response.
  virtual bool HttpSendRequestA(Handle request, const char* headers, std::uint32_t headersLength,
                                const void* optional, std::uint32_t optionalLength) = 0;
  // Text form: on success the value is zero-terminated in buffer and
  // *bufferLength is its length without the terminator. False when the
  // response lacks the header, or when there is no response.
  virtual bool HttpQueryInfoA(Handle request, std::uint32_t infoLevel, void* buffer,
                              std::uint32_t* bufferLength, std::uint32_t* index) = 0;
  // True with *numberOfBytesRead > 0 while body bytes remain, true with 0 at
  // the end of the body, false on error.
  virtual bool InternetReadFile(Handle file, void* buffer, std::uint32_t numberOfBytesToRead,
                                std::uint32_t* numberOfBytesRead) = 0;
  virtual bool InternetCloseHandle(Handle handle) = 0;
  // Why the calling thread's last failed call failed, in WinINet's numbering
  // (httpget/InternetErrors.h); 0 when the transport cannot say.
  virtual std::uint32_t GetLastError() = 0;
};
