#pragma once
// The getter's transport on Linux: HTTP over TCP with Boost.Beast, proxy
// settings from http_proxy / no_proxy, WinINet-like time-outs.
#include <chrono>
#include <memory>
#include <string>

#include "httpget/InternetApi.h"
#include "platform/posix/http/HttpWire.h"

struct PosixInternetSettings {
  // "http://host:port", "host:port" or "host", with "user:password@" before
  // the host when the proxy wants Basic credentials; empty: no proxy.
  std::string httpProxy;
  // Comma-separated host names or domain suffixes that bypass the proxy; "*": all.
  std::string noProxy;
  std::chrono::milliseconds connectTimeout{60000};
  std::chrono::milliseconds sendTimeout{30000};
  std::chrono::milliseconds receiveTimeout{30000};

  // http_proxy (else HTTP_PROXY) and no_proxy (else NO_PROXY), default time-outs.
  static PosixInternetSettings FromEnvironment();
};

class PosixInternet : public IInternetApi {
 public:
  // Settings from the environment, read now.
  PosixInternet();
  explicit PosixInternet(PosixInternetSettings settings);

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

  const PosixInternetSettings& Settings() const noexcept { return settings_; }

 private:
  PosixInternetSettings settings_;
  http_wire::ProxyRoute proxy_;
};
