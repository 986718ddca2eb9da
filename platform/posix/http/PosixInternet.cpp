#include "platform/posix/http/PosixInternet.h"

// Asio's scheduler draws a false -Wnull-dereference once inlined at -O2.
#pragma GCC diagnostic ignored "-Wnull-dereference"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

// Socket reads fill this much at a time, so a 1025-byte read of the body is
// mostly a copy out of memory.
constexpr std::size_t kSocketBuffer = 256 * 1024;

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

std::string Env(const char* lower, const char* upper) {
  if (const char* v = std::getenv(lower); v != nullptr && *v != '\0') return v;
  if (const char* v = std::getenv(upper); v != nullptr && *v != '\0') return v;
  return {};
}

struct Endpoint {
  std::string host;
  std::string port;
};

// "http://user@host:port/..." -> host, port; empty host when unusable.
Endpoint ParseProxy(std::string_view proxy) {
  proxy = Trim(proxy);
  if (const auto scheme = proxy.find("://"); scheme != std::string_view::npos)
    proxy.remove_prefix(scheme + 3);
  if (const auto slash = proxy.find('/'); slash != std::string_view::npos) proxy = proxy.substr(0, slash);
  if (const auto at = proxy.rfind('@'); at != std::string_view::npos) proxy.remove_prefix(at + 1);
  Endpoint e;
  if (!proxy.empty() && proxy.front() == '[') {  // [v6]:port
    const auto close = proxy.find(']');
    if (close == std::string_view::npos) return {};
    e.host = std::string(proxy.substr(1, close - 1));
    proxy.remove_prefix(close + 1);
    if (!proxy.empty() && proxy.front() == ':') e.port = std::string(proxy.substr(1));
  } else if (const auto colon = proxy.rfind(':'); colon != std::string_view::npos) {
    e.host = std::string(proxy.substr(0, colon));
    e.port = std::string(proxy.substr(colon + 1));
  } else {
    e.host = std::string(proxy);
  }
  if (e.port.empty()) e.port = "1080";  // as curl assumes for a proxy without port
  return e;
}

bool BypassesProxy(std::string_view host, std::string_view noProxy) {
  if (const auto colon = host.rfind(':');
      colon != std::string_view::npos && host.find(']') == std::string_view::npos)
    host = host.substr(0, colon);
  while (!noProxy.empty()) {
    const auto comma = noProxy.find(',');
    std::string_view entry = Trim(noProxy.substr(0, comma));
    noProxy = comma == std::string_view::npos ? std::string_view() : noProxy.substr(comma + 1);
    if (entry == "*") return true;
    if (const auto colon = entry.rfind(':');
        colon != std::string_view::npos && entry.find(']') == std::string_view::npos)
      entry = entry.substr(0, colon);
    while (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
    if (entry.empty()) continue;
    if (EqualNoCase(host, entry)) return true;
    if (host.size() > entry.size() && host[host.size() - entry.size() - 1] == '.' &&
        EqualNoCase(host.substr(host.size() - entry.size()), entry))
      return true;
  }
  return false;
}

// Every handle is one of these; the type is checked on each use.
struct HandleObject {
  virtual ~HandleObject() = default;
};

struct Session : HandleObject {
  std::optional<std::string> agent;
};

struct Connection : HandleObject {
  std::optional<std::string> agent;
  std::string host;
  std::uint16_t port = 80;
};

class Request : public HandleObject {
 public:
  Request(const PosixInternetSettings& settings, const Connection& c) : settings_(settings), conn_(c) {}

  std::string verb;
  std::string path;
  unsigned version = 10;
  std::string referrer;
  std::vector<std::string> acceptTypes;
  bool reload = false;

  bool Send(std::string_view extraHeaders, std::string_view body);
  bool Query(std::uint32_t level, std::string& value) const;
  bool Read(char* out, std::size_t want, std::size_t& got);

 private:
  // Runs the queued operation to its end; the stream's expiry bounds it.
  void RunIo() {
    io_.restart();
    io_.run();
  }
  bool Fill(bool& endOfStream);

  const PosixInternetSettings& settings_;
  Connection conn_;
  asio::io_context io_{1};
  beast::tcp_stream stream_{io_};
  beast::flat_buffer buffer_;
  std::optional<http::response_parser<http::buffer_body>> parser_;
  bool answered_ = false;  // the head of a response has arrived
  bool bodyDone_ = false;
  bool failed_ = false;    // the body cannot go on
  bool untilEof_ = false;  // body ends when the server closes
  std::uint64_t remaining_ = 0;
};

bool Request::Send(std::string_view extraHeaders, std::string_view body) {
  if (answered_ || conn_.host.empty()) return false;
  const bool viaProxy = !settings_.httpProxy.empty() && !BypassesProxy(conn_.host, settings_.noProxy);
  Endpoint target{conn_.host, std::to_string(conn_.port)};
  if (viaProxy) {
    target = ParseProxy(settings_.httpProxy);
    if (target.host.empty()) return false;
  }
  beast::error_code ec;
  tcp::resolver resolver(io_);
  const auto endpoints = resolver.resolve(target.host, target.port, ec);
  if (ec) return false;
  stream_.expires_after(settings_.connectTimeout);
  stream_.async_connect(endpoints, [&ec](const beast::error_code& e, const tcp::endpoint&) { ec = e; });
  RunIo();
  if (ec) return false;

  http::request<http::string_body> req;
  req.method_string(verb);
  req.target(viaProxy ? "http://" + conn_.host + path : path);
  req.version(version);
  req.set(http::field::host, conn_.port == 80 ? conn_.host : conn_.host + ":" + std::to_string(conn_.port));
  if (conn_.agent) req.set(http::field::user_agent, *conn_.agent);
  for (const auto& a : acceptTypes) req.insert(http::field::accept, a);
  if (!referrer.empty()) req.set(http::field::referer, referrer);
  if (reload) req.set(http::field::pragma, "no-cache");
  while (!extraHeaders.empty()) {
    const auto eol = extraHeaders.find('\n');
    const std::string_view line = Trim(extraHeaders.substr(0, eol));
    extraHeaders = eol == std::string_view::npos ? std::string_view() : extraHeaders.substr(eol + 1);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    req.set(beast::string_view(name.data(), name.size()), beast::string_view(value.data(), value.size()));
  }
  if (!body.empty() || verb == "POST") {
    req.body() = std::string(body);
    req.prepare_payload();
  }

  stream_.expires_after(settings_.sendTimeout);
  http::async_write(stream_, req, [&ec](const beast::error_code& e, std::size_t) { ec = e; });
  RunIo();
  if (ec) return false;

  parser_.emplace();
  parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
  stream_.expires_after(settings_.receiveTimeout);
  http::async_read_header(stream_, buffer_, *parser_,
                          [&ec](const beast::error_code& e, std::size_t) { ec = e; });
  RunIo();
  if (ec) return false;
  answered_ = true;
  if (parser_->is_done()) {
    bodyDone_ = true;
  } else if (!parser_->chunked()) {
    if (const auto length = parser_->content_length()) {
      remaining_ = *length;
      bodyDone_ = remaining_ == 0;
    } else {
      untilEof_ = true;
    }
  }
  return true;
}

bool Request::Query(std::uint32_t level, std::string& value) const {
  if (!answered_) return false;
  const auto& head = parser_->get();
  if (level == IInternetApi::kQueryContentLength) {
    const auto it = head.find(http::field::content_length);
    if (it == head.end()) return false;
    value = std::string(it->value());
    return true;
  }
  if (level == IInternetApi::kQueryStatusCode) {
    value = std::to_string(head.result_int());
    return true;
  }
  return false;
}

// One socket read into the buffer; false at the end of the stream or on
// error, with endOfStream telling the orderly close apart.
bool Request::Fill(bool& endOfStream) {
  endOfStream = false;
  beast::error_code ec;
  std::size_t n = 0;
  stream_.expires_after(settings_.receiveTimeout);
  stream_.async_read_some(buffer_.prepare(kSocketBuffer), [&](const beast::error_code& e, std::size_t bytes) {
    ec = e;
    n = bytes;
  });
  RunIo();
  buffer_.commit(n);
  if (n == 0 && ec == asio::error::eof) endOfStream = true;
  return !ec || n > 0;
}

bool Request::Read(char* out, std::size_t want, std::size_t& got) {
  got = 0;
  if (!answered_ || failed_) return false;
  if (bodyDone_) return true;

  if (parser_->chunked()) {
    // Rare for an HTTP/1.0 request; Beast decodes the chunks.
    auto& b = parser_->get().body();
    b.data = out;
    b.size = want;
    beast::error_code ec;
    stream_.expires_after(settings_.receiveTimeout);
    http::async_read(stream_, buffer_, *parser_, [&ec](const beast::error_code& e, std::size_t) { ec = e; });
    RunIo();
    got = want - b.size;
    if (ec == http::error::need_buffer) ec = {};
    if (parser_->is_done()) bodyDone_ = true;
    if (ec) failed_ = true;
    return got > 0 || !ec;
  }

  if (!untilEof_) want = static_cast<std::size_t>(std::min<std::uint64_t>(want, remaining_));
  while (got < want) {
    bool endOfStream = false;
    if (buffer_.size() == 0 && !Fill(endOfStream)) {
      // Without a length only an orderly close ends the body; a reset or a
      // time-out cuts it short.
      if (untilEof_ && endOfStream) {
        bodyDone_ = true;
      } else {
        failed_ = true;
      }
      break;
    }
    const std::size_t n = std::min(buffer_.size(), want - got);
    std::memcpy(out + got, buffer_.data().data(), n);
    buffer_.consume(n);
    got += n;
  }
  if (!untilEof_) {
    remaining_ -= got;
    if (remaining_ == 0) bodyDone_ = true;
  }
  // Bytes that did arrive are delivered; the failure shows at the next read.
  return got > 0 || !failed_;
}

template <class T>
T* As(IInternetApi::Handle h) {
  return dynamic_cast<T*>(static_cast<HandleObject*>(h));
}

}  // namespace

PosixInternetSettings PosixInternetSettings::FromEnvironment() {
  PosixInternetSettings s;
  s.httpProxy = Env("http_proxy", "HTTP_PROXY");
  s.noProxy = Env("no_proxy", "NO_PROXY");
  return s;
}

PosixInternet::PosixInternet() : PosixInternet(PosixInternetSettings::FromEnvironment()) {}

PosixInternet::PosixInternet(PosixInternetSettings settings) : settings_(std::move(settings)) {}

// Every operation reports failure by its result; nothing escapes.

IInternetApi::Handle PosixInternet::InternetOpenA(const char* agent, std::uint32_t, const char*, const char*,
                                                  std::uint32_t) {
  try {
    auto s = std::make_unique<Session>();
    if (agent != nullptr) s->agent = agent;
    return static_cast<HandleObject*>(s.release());
  } catch (...) {
    return nullptr;
  }
}

IInternetApi::Handle PosixInternet::InternetConnectA(Handle internet, const char* serverName,
                                                     std::uint16_t serverPort, const char*, const char*,
                                                     std::uint32_t service, std::uint32_t, std::uintptr_t) {
  try {
    const Session* s = As<Session>(internet);
    if (s == nullptr || serverName == nullptr || service != kServiceHttp) return nullptr;
    auto c = std::make_unique<Connection>();
    c->agent = s->agent;
    c->host = serverName;
    c->port = serverPort == 0 ? kDefaultHttpPort : serverPort;
    return static_cast<HandleObject*>(c.release());
  } catch (...) {
    return nullptr;
  }
}

IInternetApi::Handle PosixInternet::HttpOpenRequestA(Handle connect, const char* verb, const char* objectName,
                                                     const char* version, const char* referrer,
                                                     const char* const* acceptTypes, std::uint32_t flags,
                                                     std::uintptr_t) {
  try {
    const Connection* c = As<Connection>(connect);
    if (c == nullptr) return nullptr;
    auto r = std::make_unique<Request>(settings_, *c);
    r->verb = verb != nullptr && *verb != '\0' ? verb : "GET";
    r->path = objectName != nullptr && *objectName != '\0' ? objectName : "/";
    if (version != nullptr && std::string_view(version) == "HTTP/1.1") r->version = 11;
    if (referrer != nullptr) r->referrer = referrer;
    for (const char* const* a = acceptTypes; a != nullptr && *a != nullptr; ++a)
      r->acceptTypes.emplace_back(*a);
    r->reload = (flags & kFlagReload) != 0;
    return static_cast<HandleObject*>(r.release());
  } catch (...) {
    return nullptr;
  }
}

bool PosixInternet::HttpSendRequestA(Handle request, const char* headers, std::uint32_t headersLength,
                                     const void* optional, std::uint32_t optionalLength) {
  try {
    Request* r = As<Request>(request);
    if (r == nullptr) return false;
    std::string_view extra;
    if (headers != nullptr)
      extra = headersLength == 0xFFFFFFFFu ? headers : std::string_view(headers, headersLength);
    std::string_view body;
    if (optional != nullptr) body = std::string_view(static_cast<const char*>(optional), optionalLength);
    return r->Send(extra, body);
  } catch (...) {
    return false;
  }
}

bool PosixInternet::HttpQueryInfoA(Handle request, std::uint32_t infoLevel, void* buffer,
                                   std::uint32_t* bufferLength, std::uint32_t* index) {
  try {
    const Request* r = As<Request>(request);
    if (r == nullptr || bufferLength == nullptr || (index != nullptr && *index != 0)) return false;
    std::string value;
    if (!r->Query(infoLevel, value)) return false;
    if (buffer == nullptr || value.size() + 1 > *bufferLength) {
      *bufferLength = static_cast<std::uint32_t>(value.size() + 1);
      return false;
    }
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    *bufferLength = static_cast<std::uint32_t>(value.size());
    if (index != nullptr) ++*index;
    return true;
  } catch (...) {
    return false;
  }
}

bool PosixInternet::InternetReadFile(Handle file, void* buffer, std::uint32_t numberOfBytesToRead,
                                     std::uint32_t* numberOfBytesRead) {
  try {
    if (numberOfBytesRead != nullptr) *numberOfBytesRead = 0;
    Request* r = As<Request>(file);
    if (r == nullptr || buffer == nullptr || numberOfBytesRead == nullptr) return false;
    std::size_t got = 0;
    const bool ok = r->Read(static_cast<char*>(buffer), numberOfBytesToRead, got);
    *numberOfBytesRead = static_cast<std::uint32_t>(got);
    return ok;
  } catch (...) {
    return false;
  }
}

bool PosixInternet::InternetCloseHandle(Handle handle) {
  // Each handle holds what it needs, so they may be closed in any order.
  HandleObject* h = static_cast<HandleObject*>(handle);
  if (h == nullptr) return false;
  delete h;
  return true;
}
