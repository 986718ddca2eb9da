#pragma once
// The getter's transport on Windows: the WinINet calls themselves.
#include "httpget/InternetApi.h"

class WinInetInternet : public IInternetApi {
 public:
  Handle InternetOpenA(const char* agent, std::uint32_t accessType, const char* proxy,
                       const char* proxyBypass, std::uint32_t flags) override;
  Handle InternetConnectA(Handle internet, const char* serverName, std::uint16_t serverPort,
                          const char* userName, const char* password, std::uint32_t service,
                          std::uint32_t flags, std::uintptr_t context) override;
  Handle HttpOpenRequestA(Handle connect, const char* verb, const char* objectName, const char* version,
                          const char* referrer, const char* const* acceptTypes, std::uint32_t flags,
                          std::uintptr_t context) override;
  bool HttpSendRequestA(Handle request, const char* headers, std::uint32_t headersLength,
                        const void* optional, std::uint32_t optionalLength) override;
  bool HttpQueryInfoA(Handle request, std::uint32_t infoLevel, void* buffer, std::uint32_t* bufferLength,
                      std::uint32_t* index) override;
  bool InternetReadFile(Handle file, void* buffer, std::uint32_t numberOfBytesToRead,
                        std::uint32_t* numberOfBytesRead) override;
  bool InternetCloseHandle(Handle handle) override;
  std::uint32_t GetLastError() override;
};
