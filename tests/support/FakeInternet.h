#pragma once
// The one fake of the platform's HTTP calls, for every test of that seam. It
// answers each request with the response served for its host and path, or
// else with the response in its own fields; it records every call with its
// arguments as text, e.g. HttpOpenRequestA(h3,"GET","/a","HTTP/1.0","",["*/*"],0x80000000,0),
// and every request sent; it can hold the worker at a point of its body, fail
// a call with a reason of WinINet's, and answer a request for the rest of a
// body (Range: bytes=N-, If-Range) as a web server does.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "httpget/InternetApi.h"
#include "httpget/InternetErrors.h"
#include "tools/vendor_server/ByteRange.h"

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
  // The answer to a request nothing was served for. contentLength nullopt:
  // the header is missing.
  std::optional<std::string> contentLength = "3000";
  std::string status = "200";
  std::string body = std::string(3000, 'x');
  // Reads fail once this many body bytes have been delivered, with readError;
  // counted in the whole body, also when the answer is the rest of it.
  std::optional<std::size_t> failAfter;
  std::uint32_t readError = internet_error::kConnectionReset;
  // Further header fields of the answer by query level (kQueryETag, kQueryRetryAfter, ...).
  std::map<std::uint32_t, std::string> fields;
  // A request for the rest of the body is answered 206 with it, when its
  // If-Range (if any) is the ETag or the Last-Modified of fields; else 200.
  bool ranges = false;
  // Every operation fails, as for an unreachable server, with unreachableError.
  bool unreachable = false;
  std::uint32_t unreachableError = internet_error::kCannotConnect;
  // The operation of that name fails with that reason: {"HttpSendRequestA", 12007}.
  std::map<std::string, std::uint32_t> failCall;
  // What kOptionUrl answers once a request was sent (as after a redirect);
  // unset: the address the request was opened for.
  std::optional<std::string> finalUrl;
  // Held here, if set: in HttpSendRequestA, or before the read that would
  // deliver byte holdReadAt.
  Gate* holdSend = nullptr;
  Gate* holdQuery = nullptr;        // inside the length query
  Gate* holdStatusQuery = nullptr;  // inside the status query
  Gate* holdRead = nullptr;
  std::size_t holdReadAt = 0;
  // Above 0: each read brings at most this many bytes, after a pause of 20 ms.
  std::size_t trickle = 0;

  // What one host and path answers.
  struct Response {
    int status = 200;
    std::string body;
    bool withLength = true;
    std::size_t failAfter = std::string::npos;  // a read error once this many bytes went out
    std::map<std::uint32_t, std::string> fields{};
    bool ranges = false;
  };
  void Serve(const std::string& hostAndPath, Response r) {
    std::lock_guard lock(m_);
    served_[hostAndPath] = std::move(r);
  }
  // Anything not served is not found, as a web server answers.
  void NotFoundUnlessServed() {
    status = "404";
    body = "<html>not found</html>";
    contentLength = std::to_string(body.size());
  }

  struct Request {
    std::string host, verb, path;
    std::string headers{};  // the header text sent with it
  };
  // Every request sent, in order.
  std::vector<Request> Requests() const {
    std::lock_guard lock(m_);
    return requests_;
  }
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
                  !Fails("InternetOpenA"), {});
  }
  Handle InternetConnectA(Handle internet, const char* serverName, std::uint16_t serverPort,
                          const char* userName, const char* password, std::uint32_t service,
                          std::uint32_t flags, std::uintptr_t context) override {
    Object o;
    if (serverName != nullptr) o.host = serverName;
    return Record("InternetConnectA(" + Name(internet) + "," + Text(serverName) + "," + Num(serverPort) +
                      "," + Text(userName) + "," + Text(password) + "," + Num(service) + "," + Num(flags) +
                      "," + Num(context) + ")",
                  !Fails("InternetConnectA") &&
                      Usable(internet != nullptr, serverName != nullptr && *serverName != '\0'),
                  o);
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
    Object o;
    {
      std::lock_guard lock(m_);
      if (const Object* c = Find(connect)) o.host = c->host;
    }
    if (verb != nullptr) o.verb = verb;
    if (objectName != nullptr) o.path = objectName;
    o.secure = (flags & kFlagSecure) != 0;
    return Record("HttpOpenRequestA(" + Name(connect) + "," + Text(verb) + "," + Text(objectName) + "," +
                      Text(version) + "," + Text(referrer) + "," + accept + "," + hex + "," + Num(context) +
                      ")",
                  !Fails("HttpOpenRequestA") && Usable(connect != nullptr, true), o);
  }
  bool HttpSendRequestA(Handle request, const char* headers, std::uint32_t headersLength,
                        const void* optional, std::uint32_t optionalLength) override {
    const std::string sent =
        optional == nullptr ? "none"
                            : Text(std::string(static_cast<const char*>(optional), optionalLength).c_str());
    Record("HttpSendRequestA(" + Name(request) + "," + Text(headers) + "," + Num(headersLength) + "," + sent +
               "," + Num(optionalLength) + ")",
           false, {});
    if (holdSend != nullptr) holdSend->Pass();
    if (Fails("HttpSendRequestA")) return false;
    const std::string sentHeaders = headers == nullptr             ? ""
                                    : headersLength == 0xFFFFFFFFu ? headers
                                                                   : std::string(headers, headersLength);
    std::lock_guard lock(m_);
    Object* o = Find(request);
    if (o == nullptr) return SetError(internet_error::kInvalidHandle);
    requests_.push_back({o->host, o->verb, o->path, sentHeaders});
    o->sent = true;
    bool answersRanges = false;
    if (const auto it = served_.find(o->host + o->path); it != served_.end()) {
      const Response& r = it->second;
      o->status = std::to_string(r.status);
      o->body = r.body;
      if (r.withLength) o->contentLength = std::to_string(r.body.size());
      if (r.failAfter != std::string::npos) o->failAfter = r.failAfter;
      o->fields = r.fields;
      answersRanges = r.ranges;
    } else {
      o->status = status;
      o->body = body;
      o->contentLength = contentLength;
      o->failAfter = failAfter;
      o->fields = fields;
      answersRanges = ranges;
    }
    if (answersRanges) AnswerRange(*o, sentHeaders);
    return true;
  }
  bool HttpQueryInfoA(Handle request, std::uint32_t infoLevel, void* buffer, std::uint32_t* bufferLength,
                      std::uint32_t* index) override {
    Record("HttpQueryInfoA(" + Name(request) + "," + Num(infoLevel) + "," + Num(*bufferLength) + "," +
               Num(*index) + ")",
           false, {});
    if (holdQuery != nullptr && infoLevel == kQueryContentLength) holdQuery->Pass();
    if (holdStatusQuery != nullptr && infoLevel == kQueryStatusCode) holdStatusQuery->Pass();
    if (Fails("HttpQueryInfoA")) return false;
    std::lock_guard lock(m_);
    const Object* o = Find(request);
    if (o == nullptr) return SetError(internet_error::kInvalidHandle);
    if (!o->sent) return SetError(internet_error::kIncorrectHandleState);
    std::optional<std::string> value;
    if (infoLevel == kQueryContentLength) value = o->contentLength;
    if (infoLevel == kQueryStatusCode) value = o->status;
    if (const auto it = o->fields.find(infoLevel); it != o->fields.end()) value = it->second;
    if (!value) return SetError(internet_error::kHeaderNotFound);
    if (value->size() + 1 > *bufferLength) return SetError(internet_error::kInsufficientBuffer);
    std::memcpy(buffer, value->c_str(), value->size() + 1);
    *bufferLength = static_cast<std::uint32_t>(value->size());
    return true;
  }
  bool InternetReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) override {
    Record("InternetReadFile(" + Name(file) + "," + Num(toRead) + ")", false, {});
    *read = 0;
    if (Fails("InternetReadFile")) return false;
    std::size_t at = 0;
    {
      std::lock_guard lock(m_);
      const Object* o = Find(file);
      if (o == nullptr) return SetError(internet_error::kInvalidHandle);
      if (!o->sent) return SetError(internet_error::kIncorrectHandleState);
      at = o->delivered;
    }
    if (holdRead != nullptr && at == holdReadAt) holdRead->Pass();
    if (trickle > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard lock(m_);
    Object* o = Find(file);
    if (o->failAfter && o->delivered >= *o->failAfter) return SetError(readError);
    std::size_t n = std::min<std::size_t>(toRead, o->body.size() - o->delivered);
    if (o->failAfter) n = std::min(n, *o->failAfter - o->delivered);
    if (trickle > 0) n = std::min(n, trickle);
    std::memcpy(buffer, o->body.data() + o->delivered, n);
    o->delivered += n;
    *read = static_cast<std::uint32_t>(n);
    return true;
  }
  bool InternetQueryOptionA(Handle handle, std::uint32_t option, void* buffer,
                            std::uint32_t* bufferLength) override {
    Record("InternetQueryOptionA(" + Name(handle) + "," + Num(option) + "," + Num(*bufferLength) + ")", false,
           {});
    std::lock_guard lock(m_);
    const Object* o = Find(handle);
    if (o == nullptr || !o->sent || option != kOptionUrl) return false;
    const std::string url = finalUrl ? *finalUrl : (o->secure ? "https://" : "http://") + o->host + o->path;
    if (url.size() + 1 > *bufferLength) {
      *bufferLength = static_cast<std::uint32_t>(url.size() + 1);
      return false;
    }
    std::memcpy(buffer, url.c_str(), url.size() + 1);
    *bufferLength = static_cast<std::uint32_t>(url.size());
    return true;
  }
  bool InternetCloseHandle(Handle handle) override {
    Record("InternetCloseHandle(" + Name(handle) + ")", false, {});
    std::lock_guard lock(m_);
    if (handle != nullptr) ++closed_;
    return handle != nullptr || SetError(internet_error::kInvalidHandle);
  }
  std::uint32_t GetLastError() override {
    Record("GetLastError()", false, {});
    return LastError();
  }

 private:
  // One handle: a connection's host, then a request's own answer.
  struct Object {
    std::string host, verb, path;
    bool secure = false;
    bool sent = false;
    std::string status, body;
    std::optional<std::string> contentLength;
    std::optional<std::size_t> failAfter;
    std::map<std::uint32_t, std::string> fields;
    std::size_t delivered = 0;
  };

  // As the system keeps it: per thread.
  static std::uint32_t& LastError() {
    thread_local std::uint32_t error = 0;
    return error;
  }
  static bool SetError(std::uint32_t error) {
    LastError() = error;
    return false;
  }
  // Whether the operation fails as the test asked; sets its reason.
  bool Fails(const std::string& op) {
    std::lock_guard lock(m_);
    if (unreachable) return !SetError(unreachableError);
    const auto it = failCall.find(op);
    return it != failCall.end() && !SetError(it->second);
  }
  // Under m_. A request for the rest of the body, as a web server answers it
  // (one past the end is answered whole here).
  static void AnswerRange(Object& o, const std::string& headers) {
    auto field = [&](const std::string& name) -> std::string {
      const auto at = headers.find(name + ": ");
      if (at == std::string::npos || (at > 0 && headers[at - 1] != '\n')) return {};
      const auto start = at + name.size() + 2;
      return headers.substr(start, headers.find("\r\n", start) - start);
    };
    const auto validator = [&](std::uint32_t level) {
      const auto it = o.fields.find(level);
      return it == o.fields.end() ? std::string() : it->second;
    };
    const std::size_t size = o.body.size();
    const vendor::RangeAnswer answer = vendor::JudgeRange(
        field("Range"), field("If-Range"), {validator(kQueryETag), validator(kQueryLastModified)}, size);
    if (answer.kind != vendor::RangeAnswer::Part) return;
    // A part of a body held in memory fits its size type.
    const auto from = static_cast<std::size_t>(answer.first);
    const auto last = static_cast<std::size_t>(answer.last);
    o.status = "206";
    o.fields[kQueryContentRange] =
        "bytes " + std::to_string(from) + "-" + std::to_string(last) + "/" + std::to_string(size);
    o.body = o.body.substr(from, last - from + 1);
    if (o.contentLength) o.contentLength = std::to_string(o.body.size());
    if (o.failAfter) o.failAfter = *o.failAfter > from ? *o.failAfter - from : 0;
  }

  static std::string Text(const char* s) { return s == nullptr ? "none" : "\"" + std::string(s) + "\""; }
  static std::string Num(std::uint64_t n) { return std::to_string(n); }
  // Under m_.
  Object* Find(Handle h) {
    for (Object& o : objects_) {
      if (h == &o) return &o;
    }
    return nullptr;
  }
  std::string Name(Handle h) {
    std::lock_guard lock(m_);
    for (std::size_t i = 0; i < objects_.size(); ++i) {
      if (h == &objects_[i]) return "h" + std::to_string(i + 1);
    }
    return h == nullptr ? "none" : "h?";
  }
  // Whether a call's handle and arguments let it succeed; sets its reason when not.
  static bool Usable(bool handle, bool arguments) {
    if (!handle) return SetError(internet_error::kInvalidHandle);
    return arguments || SetError(internet_error::kInvalidParameter);
  }
  // makesHandle: the call succeeds with a new handle; false for a call that
  // makes none, or one that fails (its reason already set).
  Handle Record(const std::string& call, bool makesHandle, Object object) {
    std::lock_guard lock(m_);
    calls_.push_back(call);
    if (!makesHandle) return nullptr;
    ++opened_;
    objects_.push_back(std::move(object));
    return &objects_.back();
  }

  mutable std::mutex m_;
  std::map<std::string, Response> served_;
  std::vector<std::string> calls_;
  std::vector<Request> requests_;
  std::deque<Object> objects_;  // deque: a handle's address stays
  int opened_ = 0;
  int closed_ = 0;
};
