// The vendor's web server for the demo and the tests: serves a folder under /download/,
// records the report page's queries, and misbehaves per URL path on request.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vendor {

struct Fault {
  enum class Kind {
    None,
    CutAfter,
    NoLength,
    WrongLength,
    TextLength,
    NotFound,
    Stall,
    Reset,
    Redirect,   // n: the status (301, 302, ...); text: the Location
    Auth,       // text: "user:password" the server wants as Basic credentials
    ProxyAuth,  // text: "user:password" the proxy wants (proxy-form requests only)
    Raw,        // text: the whole answer, sent as it is
    Echo,       // answers 200 with "METHOD BODY" of the request it got
  };
  Kind kind = Kind::None;
  // CutAfter: body bytes sent before the connection ends; WrongLength: the
  // announced value; Redirect: the status; Stall: milliseconds before the
  // server resets the connection (0: it waits for the client to close).
  std::int64_t n = 0;
  // TextLength: the literal Content-Length value ("abc", "-5", ...);
  // Redirect: the Location; Auth, ProxyAuth: "user:password"; Raw: the bytes.
  std::string text;
  // With any kind that sends a body: no Content-Length header at all.
  bool withoutLength = false;
  // How the connection ends once the body (or its cut part) has gone out.
  enum class End { Close, Reset, Stall };
  End end = End::Close;
  // End::Stall: how long the connection is held before the server closes it
  // (0: until the client closes).
  std::chrono::milliseconds held{0};
  // A served file's ETag in place of the one made from its size and time.
  std::string etag{};
};

struct RecordedRequest {
  std::string method, target, version;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
};

// "cut:100", "nolength", "wronglength:5", "textlength:abc", "notfound", "stall", "stall:MS",
// "reset", "redirect:302:LOCATION", "auth:USER:PASSWORD", "proxyauth:USER:PASSWORD",
// "rawfile:PATH" (the answer is the file's bytes), "echo" (kind names without regard to
// case; the enum names such as "CutAfter" are accepted too).
std::optional<Fault> ParseFault(std::string_view kindAndArg);

class VendorServer {
 public:
  // reportLog may be empty: the report lines are then kept in memory only.
  VendorServer(std::filesystem::path root, std::filesystem::path reportLog);
  ~VendorServer();  // stops
  VendorServer(const VendorServer&) = delete;
  VendorServer& operator=(const VendorServer&) = delete;

  // Throws on a second Start without Stop, or when the address cannot be bound.
  void Start(const std::string& address = "127.0.0.1", std::uint16_t port = 0);
  // Closes every connection, stalled ones included, and returns once the server thread has ended.
  void Stop();
  std::uint16_t Port() const;
  // "http://127.0.0.1:PORT" (no trailing slash), handy as an http_proxy value.
  std::string BaseUrl() const;

  void SetFault(const std::string& urlPath, Fault fault);  // urlPath like "/download/TERBO/ntdll.zip"
  void ClearFaults();
  // Called with one line for each request, "METHOD TARGET STATUS BODY-BYTES" ("-" for no
  // answer; " unfinished" after an answer cut off), once its answer has gone or its connection
  // has ended; on the server thread.
  void SetRequestLog(std::function<void(const std::string&)> log);
  // Limits every body to this many bytes a second (0: as fast as it goes).
  void SetRate(std::uint64_t bytesPerSecond);

  std::vector<RecordedRequest> Requests() const;  // every request received, in order
  // Lines this server appended to the report log, in order.
  std::vector<std::string> ReportLines() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vendor
