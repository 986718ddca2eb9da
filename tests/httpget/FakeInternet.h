#pragma once
// A scripted transport that records every call with its arguments as text,
// e.g. HttpOpenRequestA(h2,"GET","/a","HTTP/1.0","",["*/*"],0x80000000,0).
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "httpget/InternetApi.h"

// Lets a test hold the worker at a point of its body and release it.
class Gate {
 public:
  // Worker side.
  void Pass() {
    std::unique_lock lock(m_);
    reached_ = true;
    cv_.notify_all();
    cv_.wait(lock, [this] { return open_; });
  }
  // Test side.
  bool Reached() {
    std::lock_guard lock(m_);
    return reached_;
  }
  void Open() {
    std::lock_guard lock(m_);
    open_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool reached_ = false;
  bool open_ = false;
};

class FakeInternet : public IInternetApi {
 public:
  // The response. contentLength nullopt: the header is missing.
  std::optional<std::string> contentLength = "3000";
  std::string status = "200";
  std::string body = std::string(3000, 'x');
  // Reads fail once this many body bytes have been delivered.
  std::optional<std::size_t> failAfter;
  // Every operation fails, as for an unreachable server.
  bool unreachable = false;
  // Held here, if set: in HttpSendRequestA, or before the read that would
  // deliver byte holdReadAt.
  Gate* holdSend = nullptr;
  Gate* holdQuery = nullptr;        // inside the length query
  Gate* holdStatusQuery = nullptr;  // inside the status query
  Gate* holdRead = nullptr;
  std::size_t holdReadAt = 0;

  std::vector<std::string> Calls() const {
    std::lock_guard lock(m_);
    return calls_;
  }
  // Calls of one operation, in order.
  std::vector<std::string> Calls(const std::string& op) const {
    std::vector<std::string> out;
    for (const auto& c : Calls()) {
      if (c.rfind(op + "(", 0) == 0) out.push_back(c);
    }
    return out;
  }
  bool AllClosed() const {
    std::lock_guard lock(m_);
    return opened_ > 0 && closed_ == opened_;
  }

  Handle InternetOpenA(const char* agent, std::uint32_t accessType, const char* proxy,
                       const char* proxyBypass, std::uint32_t flags) override {
    return Record("InternetOpenA(" + Text(agent) + "," + Num(accessType) + "," + Text(proxy) + "," +
                      Text(proxyBypass) + "," + Num(flags) + ")",
                  true);
  }
  Handle InternetConnectA(Handle internet, const char* serverName, std::uint16_t serverPort,
                          const char* userName, const char* password, std::uint32_t service,
                          std::uint32_t flags, std::uintptr_t context) override {
    return Record("InternetConnectA(" + Name(internet) + "," + Text(serverName) + "," + Num(serverPort) +
                      "," + Text(userName) + "," + Text(password) + "," + Num(service) + "," + Num(flags) +
                      "," + Num(context) + ")",
                  internet != nullptr && serverName != nullptr && *serverName != '\0');
  }
  Handle HttpOpenRequestA(Handle connect, const char* verb, const char* objectName, const char* version,
                          const char* referrer, const char* const* acceptTypes, std::uint32_t flags,
                          std::uintptr_t context) override {
    std::string accept = "none";
    if (acceptTypes != nullptr) {
      accept = "[";
      for (const char* const* a = acceptTypes; *a != nullptr; ++a)
        accept += (a == acceptTypes ? "" : ",") + Text(*a);
      accept += "]";
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", flags);
    return Record("HttpOpenRequestA(" + Name(connect) + "," + Text(verb) + "," + Text(objectName) + "," +
                      Text(version) + "," + Text(referrer) + "," + accept + "," + hex + "," + Num(context) +
                      ")",
                  connect != nullptr);
  }
  bool HttpSendRequestA(Handle request, const char* headers, std::uint32_t headersLength,
                        const void* optional, std::uint32_t optionalLength) override {
    const std::string sent =
        optional == nullptr ? "none"
                            : Text(std::string(static_cast<const char*>(optional), optionalLength).c_str());
    Record("HttpSendRequestA(" + Name(request) + "," + Text(headers) + "," + Num(headersLength) + "," + sent +
               "," + Num(optionalLength) + ")",
           false);
    if (holdSend != nullptr) holdSend->Pass();
    std::lock_guard lock(m_);
    sent_ = request != nullptr;
    return sent_;
  }
  bool HttpQueryInfoA(Handle request, std::uint32_t infoLevel, void* buffer, std::uint32_t* bufferLength,
                      std::uint32_t* index) override {
    Record("HttpQueryInfoA(" + Name(request) + "," + Num(infoLevel) + "," + Num(*bufferLength) + "," +
               Num(*index) + ")",
           false);
    if (holdQuery != nullptr && infoLevel == kQueryContentLength) holdQuery->Pass();
    if (holdStatusQuery != nullptr && infoLevel == kQueryStatusCode) holdStatusQuery->Pass();
    std::lock_guard lock(m_);
    if (!sent_) return false;
    std::optional<std::string> value;
    if (infoLevel == kQueryContentLength) value = contentLength;
    if (infoLevel == kQueryStatusCode) value = status;
    if (!value || value->size() + 1 > *bufferLength) return false;
    std::memcpy(buffer, value->c_str(), value->size() + 1);
    *bufferLength = static_cast<std::uint32_t>(value->size());
    return true;
  }
  bool InternetReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) override {
    Record("InternetReadFile(" + Name(file) + "," + Num(toRead) + ")", false);
    *read = 0;
    std::size_t at = 0;
    {
      std::lock_guard lock(m_);
      if (!sent_) return false;
      at = delivered_;
    }
    if (holdRead != nullptr && at == holdReadAt) holdRead->Pass();
    std::lock_guard lock(m_);
    if (failAfter && delivered_ >= *failAfter) return false;
    std::size_t n = std::min<std::size_t>(toRead, body.size() - delivered_);
    if (failAfter) n = std::min(n, *failAfter - delivered_);
    std::memcpy(buffer, body.data() + delivered_, n);
    delivered_ += n;
    *read = static_cast<std::uint32_t>(n);
    return true;
  }
  bool InternetCloseHandle(Handle handle) override {
    Record("InternetCloseHandle(" + Name(handle) + ")", false);
    std::lock_guard lock(m_);
    if (handle != nullptr) ++closed_;
    return handle != nullptr;
  }

 private:
  static std::string Text(const char* s) { return s == nullptr ? "none" : "\"" + std::string(s) + "\""; }
  static std::string Num(std::uint64_t n) { return std::to_string(n); }
  std::string Name(Handle h) const {
    for (std::size_t i = 0; i < handles_.size(); ++i) {
      if (h == handles_[i]) return "h" + std::to_string(i + 1);
    }
    return h == nullptr ? "none" : "h?";
  }
  Handle Record(const std::string& call, bool makesHandle) {
    std::lock_guard lock(m_);
    calls_.push_back(call);
    if (!makesHandle || unreachable) return nullptr;
    ++opened_;
    handles_.push_back(&handleSlots_[std::min<std::size_t>(handles_.size(), 15)]);
    return handles_.back();
  }

  mutable std::mutex m_;
  std::vector<std::string> calls_;
  std::vector<Handle> handles_;
  char handleSlots_[16] = {};
  bool sent_ = false;
  std::size_t delivered_ = 0;
  int opened_ = 0;
  int closed_ = 0;
};
