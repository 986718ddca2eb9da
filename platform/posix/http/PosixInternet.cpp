#include "platform/posix/http/PosixInternet.h"

// Asio's scheduler draws a false -Wnull-dereference once inlined at -O2.
#pragma GCC diagnostic ignored "-Wnull-dereference"

#include <algorithm>
#include <array>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "httpget/InternetErrors.h"
#include "platform/posix/http/HttpWire.h"
#include "platform/posix/http/Reasons.h"
#include "platform/posix/http/Tls.h"
#include "textconv/Ascii.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using http_reason::Stage;

namespace {

// As WinINet keeps it: the reason of the calling thread's last failed call.
thread_local std::uint32_t lastError = 0;

bool Failed(std::uint32_t reason) {
  lastError = reason;
  return false;
}

// Socket reads fill this much at a time, so a 1025-byte read of the body is
// mostly a copy out of memory.
constexpr std::size_t kSocketBuffer = 256 * 1024;
// WinINet reads heads far beyond the 8 KiB many servers allow; past this a
// head is refused rather than held in memory without bound.
constexpr std::size_t kHeadLimit = std::size_t{1} << 20;
// Redirects followed for one request; a loop ends as a failure.
constexpr int kMaxRedirects = 10;
// Once the announced length is in, how long the body waits for bytes that
// come right behind it: enough to catch a server that sends more than it
// announced, too short to matter when the server keeps the socket open.
constexpr std::chrono::milliseconds kOverrunGrace{5};

std::string Env(const char* lower, const char* upper) {
  if (const char* v = std::getenv(lower); v != nullptr && *v != '\0') return v;
  if (const char* v = std::getenv(upper); v != nullptr && *v != '\0') return v;
  return {};
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
  std::string user;
  std::string password;
};

class Request : public HandleObject {
 public:
  Request(const PosixInternetSettings& settings, const http_wire::ProxyRoute& proxy,
          const http_wire::ProxyRoute& httpsProxy, tls::Client& tls, const Connection& c)
      : settings_(settings), proxy_(proxy), httpsProxy_(httpsProxy), tls_(tls), conn_(c) {}

  std::string verb;
  std::string path;
  unsigned version = 10;
  std::string referrer;
  std::vector<std::string> acceptTypes;
  bool reload = false;
  bool secure = false;

  bool Send(std::string_view extraHeaders, std::string_view body);
  bool Query(std::uint32_t level, std::string& value) const;
  // The address the answer came from, after redirects.
  bool FinalUrl(std::string& value) const;
  bool PeerCertificate(std::string& subject, std::time_t& notAfter) const {
    return answered_ && channel_ && channel_->PeerCertificate(subject, notAfter);
  }
  bool Read(char* out, std::size_t want, std::size_t& got);
  // Why the last operation on this request failed.
  std::uint32_t Error() const noexcept { return error_; }

 private:
  enum class Framing { Empty, UntilClose, Length, Chunked };

  // Runs the queued operation to its end; the stream's expiry bounds it.
  void RunIo() {
    io_.restart();
    io_.run();
  }
  bool Exchange(const http_wire::Target& target, const std::string& method, std::string_view extraHeaders,
                std::string_view body, bool authorize);
  bool Connect(const http_wire::Target& target, const http_wire::ProxyEndpoint* proxy);
  bool Tunnel(const http_wire::Target& target, const http_wire::ProxyEndpoint& proxy);
  bool ReadHead();
  bool Fill(bool& endOfStream, std::chrono::milliseconds limit);
  std::string_view Buffered() const {
    return {static_cast<const char*>(buffer_.data().data()), buffer_.size()};
  }
  bool ReadChunked(char* out, std::size_t want, std::size_t& got);
  bool ReadPastLength(char* out, std::size_t want, std::size_t& got);
  bool Fail(std::uint32_t reason) {
    error_ = reason;
    return false;
  }
  // The body cannot go on, for that reason.
  void BodyFailed(std::uint32_t reason) {
    failed_ = true;
    error_ = reason;
  }

  const PosixInternetSettings& settings_;
  const http_wire::ProxyRoute& proxy_;
  const http_wire::ProxyRoute& httpsProxy_;
  tls::Client& tls_;
  Connection conn_;
  asio::io_context io_{1};
  std::unique_ptr<tls::Channel> channel_;
  http_wire::Target final_;
  beast::flat_buffer buffer_;
  http_wire::ResponseHead head_;
  bool answered_ = false;       // the head of the last response has arrived
  bool proxyAnswered_ = false;  // the proxy answered a CONNECT itself
  bool bodyDone_ = false;
  bool failed_ = false;  // the body cannot go on
  Framing framing_ = Framing::Empty;
  std::uint64_t remaining_ = 0;
  http_wire::ChunkDecoder chunks_;
  beast::error_code ioError_;  // of the last socket read
  std::uint32_t error_ = 0;
};

bool Request::Send(std::string_view extraHeaders, std::string_view body) {
  if (answered_ || channel_) return Fail(internet_error::kIncorrectHandleState);
  if (conn_.host.empty()) return Fail(internet_error::kInvalidParameter);
  const http_wire::Target origin = http_wire::OriginTarget(conn_.host, conn_.port, path, secure);
  http_wire::Target target = origin;
  std::string method = verb;
  std::string extra(extraHeaders);
  bool authorize = false;
  for (int hops = 0;;) {
    const bool sameOrigin = SameIgnoringAsciiCase(target.host, origin.host) && target.port == origin.port;
    if (!Exchange(target, method, extra, body, authorize && sameOrigin)) return false;
    const int status = head_.status;
    if (const std::string* location = head_.Find("Location");
        location != nullptr && http_wire::IsRedirect(status)) {
      if (++hops > kMaxRedirects) return Fail(internet_error::kRedirectFailed);
      http_wire::Target next;
      const http_wire::LocationKind kind = http_wire::ResolveLocation(target, *location, next);
      // TLS is never given up on the way, as WinINet refuses it.
      if (kind == http_wire::LocationKind::OtherScheme && target.secure &&
          StartsWithIgnoringAsciiCase(http_wire::Trim(*location), "http:"))
        return Fail(internet_error::kHttpsToHttpOnRedirect);
      if (kind != http_wire::LocationKind::Resolved) return Fail(internet_error::kRedirectFailed);
      if (http_wire::RedirectDropsBody(status, method)) {
        method = "GET";
        body = {};
        extra.clear();  // the form's content type went with its body
      }
      target = std::move(next);
      continue;
    }
    // Credentials given to the connection answer one Basic challenge of its
    // own server, as WinINet does with those handed to InternetConnect.
    if (status == 401 && !authorize && sameOrigin && !conn_.user.empty() &&
        head_.OffersBasic("WWW-Authenticate")) {
      authorize = true;
      continue;
    }
    break;
  }
  answered_ = true;
  final_ = std::move(target);
  const bool noBody = verb == "HEAD" || head_.status == 204 || head_.status == 304 || head_.status < 200;
  const std::string* length = head_.Find("Content-Length");
  if (noBody) {
    framing_ = Framing::Empty;
    bodyDone_ = true;
  } else if (head_.Chunked()) {
    framing_ = Framing::Chunked;
  } else if (length != nullptr && !length->empty() && length->size() < 19 &&
             std::all_of(length->begin(), length->end(), [](char c) { return c >= '0' && c <= '9'; })) {
    // The announced length ends the body (with what comes right behind it)
    // whatever the connection headers say, so a server that keeps the
    // socket open costs no wait.
    framing_ = Framing::Length;
    remaining_ = std::stoull(*length);
  } else {
    framing_ = Framing::UntilClose;
  }
  return true;
}

bool Request::Exchange(const http_wire::Target& target, const std::string& method,
                       std::string_view extraHeaders, std::string_view body, bool authorize) {
  const http_wire::ProxyRoute& route = target.secure ? httpsProxy_ : proxy_;
  const http_wire::ProxyEndpoint* proxy = nullptr;
  if (route.configured && !http_wire::BypassesProxy(target.host, settings_.noProxy)) {
    if (!route.endpoint) return Fail(internet_error::kInvalidUrl);
    proxy = &*route.endpoint;
    // Never as a plain proxy: its credentials would go out in clear.
    if (proxy->tls) {
      std::fprintf(stderr,
                   "websetup: the proxy %s:%s is named with https://; TLS to a proxy is not supported\n",
                   proxy->host.c_str(), proxy->port.c_str());
      return Fail(internet_error::kCannotConnect);
    }
  }
  // A proxy's refusal of the tunnel is its answer to this request.
  if (!Connect(target, proxy)) return proxyAnswered_;
  beast::error_code ec;
  // Through the tunnel the request is the server's own, in origin form.
  if (target.secure) proxy = nullptr;

  std::string head;
  head.reserve(512);
  head.append(method).append(" ");
  if (proxy != nullptr) head.append("http://").append(target.authority);
  head.append(target.path).append(version == 11 ? " HTTP/1.1\r\n" : " HTTP/1.0\r\n");
  head.append("Host: ").append(target.authority).append("\r\n");
  if (conn_.agent) head.append("User-Agent: ").append(*conn_.agent).append("\r\n");
  for (const auto& a : acceptTypes) head.append("Accept: ").append(a).append("\r\n");
  if (!referrer.empty()) head.append("Referer: ").append(referrer).append("\r\n");
  if (reload) head.append("Pragma: no-cache\r\n");
  // The proxy's credentials go to the proxy only, the server's to its server.
  if (proxy != nullptr && proxy->user)
    head.append("Proxy-Authorization: ")
        .append(http_wire::BasicCredentials(*proxy->user, proxy->password))
        .append("\r\n");
  if (authorize)
    head.append("Authorization: ")
        .append(http_wire::BasicCredentials(conn_.user, conn_.password))
        .append("\r\n");
  while (!extraHeaders.empty()) {
    const auto eol = extraHeaders.find('\n');
    const std::string_view line = http_wire::Trim(extraHeaders.substr(0, eol));
    extraHeaders = eol == std::string_view::npos ? std::string_view() : extraHeaders.substr(eol + 1);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    head.append(http_wire::Trim(line.substr(0, colon)))
        .append(": ")
        .append(http_wire::Trim(line.substr(colon + 1)))
        .append("\r\n");
  }
  if (!body.empty() || method == "POST")
    head.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
  head.append("\r\n");

  const std::array<asio::const_buffer, 2> request{asio::buffer(head), asio::buffer(body.data(), body.size())};
  channel_->Tcp().expires_after(settings_.sendTimeout);
  channel_->AsyncWrite(request, [&ec](const beast::error_code& e, std::size_t) { ec = e; });
  RunIo();
  if (ec) return Fail(http_reason::ErrorOf(ec, Stage::Send));
  return ReadHead();
}

// A new connection for every exchange (the request is HTTP/1.0): to the
// proxy or the server, through the proxy's tunnel for TLS, then the
// handshake, bounded by the connect time-out.
bool Request::Connect(const http_wire::Target& target, const http_wire::ProxyEndpoint* proxy) {
  buffer_.clear();
  channel_.reset();
  beast::tcp_stream tcp(io_);
  beast::error_code ec;
  tcp::resolver resolver(io_);
  const auto endpoints = proxy != nullptr ? resolver.resolve(proxy->host, proxy->port, ec)
                                          : resolver.resolve(target.host, std::to_string(target.port), ec);
  if (ec) return Fail(http_reason::ErrorOf(ec, Stage::Resolve));
  tcp.expires_after(settings_.connectTimeout);
  tcp.async_connect(endpoints, [&ec](const beast::error_code& e, const tcp::endpoint&) { ec = e; });
  RunIo();
  if (ec) return Fail(http_reason::ErrorOf(ec, Stage::Connect));
  channel_ = tls::Plain(std::move(tcp));
  if (!target.secure) return true;
  // The server speaks first only after the handshake: anything behind the
  // proxy's answer is not the server's.
  if (proxy != nullptr && !Tunnel(target, *proxy)) return false;
  if (buffer_.size() != 0) return Fail(internet_error::kInvalidServerResponse);
  channel_ = tls_.Secure(std::move(channel_->Tcp()), target.host);
  if (!channel_) return Fail(internet_error::kSecureChannelError);
  channel_->Tcp().expires_after(settings_.connectTimeout);
  channel_->AsyncHandshake([&ec](const beast::error_code& e) { ec = e; });
  RunIo();
  if (!ec) return true;
  // A certificate that failed the check says how; anything else is the channel.
  const long verified = channel_->VerifyResult();
  return Fail(verified != 0 ? http_reason::CertificateError(verified) : http_reason::ErrorOf(ec, Stage::Handshake));
}

// CONNECT host:port, with the proxy's credentials; any 2xx opens the tunnel.
bool Request::Tunnel(const http_wire::Target& target, const http_wire::ProxyEndpoint& proxy) {
  const std::string name = target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host;
  const std::string authority = name + ":" + std::to_string(target.port);
  std::string head = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
  if (conn_.agent) head.append("User-Agent: ").append(*conn_.agent).append("\r\n");
  if (proxy.user)
    head.append("Proxy-Authorization: ")
        .append(http_wire::BasicCredentials(*proxy.user, proxy.password))
        .append("\r\n");
  head.append("\r\n");
  beast::error_code ec;
  channel_->Tcp().expires_after(settings_.sendTimeout);
  channel_->AsyncWrite({asio::buffer(head), asio::const_buffer()},
                       [&ec](const beast::error_code& e, std::size_t) { ec = e; });
  RunIo();
  if (ec) return Fail(http_reason::ErrorOf(ec, Stage::Send));
  if (!ReadHead()) return false;
  if (head_.status >= 200 && head_.status < 300) return true;
  // The proxy asking for credentials is reported as WinINet does, by the
  // status; any other refusal is no answer of the server's.
  if (head_.status == 407) {
    proxyAnswered_ = true;
    return false;
  }
  return Fail(internet_error::kCannotConnect);
}

// The head of the answer, past any interim 1xx heads.
bool Request::ReadHead() {
  for (;;) {
    http_wire::HeadReader reader(kHeadLimit);
    for (;;) {
      const auto state = reader.Feed(Buffered());
      if (state == http_wire::HeadReader::State::Done) break;
      if (state != http_wire::HeadReader::State::NeedMore)
        return Fail(internet_error::kInvalidServerResponse);
      bool endOfStream = false;
      // A server that closes without a whole head gave no answer WinINet would take.
      if (!Fill(endOfStream, settings_.receiveTimeout))
        return Fail(endOfStream ? internet_error::kInvalidServerResponse
                                : http_reason::ErrorOf(ioError_, Stage::Receive));
    }
    buffer_.consume(reader.Consumed());
    head_ = reader.Head();
    if (head_.status >= 200 || head_.status == 101) return true;
  }
}

bool Request::FinalUrl(std::string& value) const {
  if (!answered_) return Failed(internet_error::kIncorrectHandleState);
  value = (final_.secure ? "https://" : "http://") + final_.authority + final_.path;
  return true;
}

bool Request::Query(std::uint32_t level, std::string& value) const {
  if (!answered_) return Failed(internet_error::kIncorrectHandleState);
  if (level == IInternetApi::kQueryStatusCode) {
    value = std::to_string(head_.status);
    return true;
  }
  static constexpr std::pair<std::uint32_t, const char*> kFields[] = {
      {IInternetApi::kQueryContentLength, "Content-Length"},
      {IInternetApi::kQueryETag, "ETag"},
      {IInternetApi::kQueryLastModified, "Last-Modified"},
      {IInternetApi::kQueryRetryAfter, "Retry-After"},
      {IInternetApi::kQueryDate, "Date"},
      {IInternetApi::kQueryContentRange, "Content-Range"}};
  for (const auto& [fieldLevel, name] : kFields) {
    if (fieldLevel != level) continue;
    const std::string* field = head_.Find(name);
    if (field == nullptr) return Failed(internet_error::kHeaderNotFound);
    value = *field;
    return true;
  }
  return Failed(internet_error::kHeaderNotFound);
}

// One socket read into the buffer, waiting at most limit; false at the end
// of the stream, on error or when the wait runs out, with endOfStream telling
// the orderly close apart.
bool Request::Fill(bool& endOfStream, std::chrono::milliseconds limit) {
  endOfStream = false;
  beast::error_code ec;
  std::size_t n = 0;
  channel_->Tcp().expires_after(limit);
  channel_->AsyncReadSome(buffer_.prepare(kSocketBuffer), [&](const beast::error_code& e, std::size_t bytes) {
    ec = e;
    n = bytes;
  });
  RunIo();
  ioError_ = ec;
  buffer_.commit(n);
  if (n == 0 && ec == asio::error::eof) endOfStream = true;
  return !ec || n > 0;
}

bool Request::ReadChunked(char* out, std::size_t want, std::size_t& got) {
  while (got < want) {
    std::size_t used = 0;
    const auto state = chunks_.Step(Buffered(), used);
    buffer_.consume(used);
    if (state == http_wire::ChunkDecoder::State::Done) {
      bodyDone_ = true;
      break;
    }
    if (state == http_wire::ChunkDecoder::State::Malformed) {
      BodyFailed(internet_error::kInvalidServerResponse);
      break;
    }
    if (state == http_wire::ChunkDecoder::State::Data && buffer_.size() > 0) {
      const std::size_t n = static_cast<std::size_t>(
          std::min<std::uint64_t>({chunks_.Available(), buffer_.size(), want - got}));
      std::memcpy(out + got, buffer_.data().data(), n);
      buffer_.consume(n);
      chunks_.Delivered(n);
      got += n;
      continue;
    }
    bool endOfStream = false;
    // A chunked body ends with its last chunk; a close before it cuts it short.
    if (!Fill(endOfStream, settings_.receiveTimeout)) {
      BodyFailed(http_reason::ErrorOf(ioError_, Stage::Receive));
      break;
    }
  }
  return got > 0 || !failed_;
}

// Past the announced length, what is already here or comes at once still
// belongs to the body, so the getter sees a body longer than announced;
// then the body ends, whether the server closes or keeps the socket open.
bool Request::ReadPastLength(char* out, std::size_t want, std::size_t& got) {
  bool endOfStream = false;
  if (buffer_.size() == 0 && !Fill(endOfStream, kOverrunGrace)) {
    bodyDone_ = true;
    return true;
  }
  got = std::min(buffer_.size(), want);
  std::memcpy(out, buffer_.data().data(), got);
  buffer_.consume(got);
  return true;
}

bool Request::Read(char* out, std::size_t want, std::size_t& got) {
  got = 0;
  if (!answered_) return Fail(internet_error::kIncorrectHandleState);
  if (failed_) return false;
  if (bodyDone_) return true;
  if (framing_ == Framing::Chunked) return ReadChunked(out, want, got);
  if (framing_ == Framing::Length && remaining_ == 0) return ReadPastLength(out, want, got);

  const bool untilClose = framing_ == Framing::UntilClose;
  if (!untilClose) want = static_cast<std::size_t>(std::min<std::uint64_t>(want, remaining_));
  while (got < want) {
    bool endOfStream = false;
    if (buffer_.size() == 0 && !Fill(endOfStream, settings_.receiveTimeout)) {
      // Without a length only an orderly close ends the body; a reset or a
      // time-out cuts it short.
      if (untilClose && endOfStream) {
        bodyDone_ = true;
      } else {
        BodyFailed(http_reason::ErrorOf(ioError_, Stage::Receive));
      }
      break;
    }
    const std::size_t n = std::min(buffer_.size(), want - got);
    std::memcpy(out + got, buffer_.data().data(), n);
    buffer_.consume(n);
    got += n;
  }
  if (!untilClose) remaining_ -= got;
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
  s.httpsProxy = Env("https_proxy", "HTTPS_PROXY");
  s.noProxy = Env("no_proxy", "NO_PROXY");
  return s;
}

PosixInternet::PosixInternet() : PosixInternet(PosixInternetSettings::FromEnvironment()) {}

PosixInternet::PosixInternet(PosixInternetSettings settings)
    : settings_(std::move(settings)), tls_(std::make_shared<tls::Client>()) {
  proxy_.configured = !settings_.httpProxy.empty();
  if (proxy_.configured) proxy_.endpoint = http_wire::ParseProxy(settings_.httpProxy);
  httpsProxy_.configured = !settings_.httpsProxy.empty();
  if (httpsProxy_.configured) httpsProxy_.endpoint = http_wire::ParseProxy(settings_.httpsProxy);
}

// Every operation reports failure by its result; nothing escapes.

IInternetApi::Handle PosixInternet::InternetOpenA(const char* agent, std::uint32_t, const char*, const char*,
                                                  std::uint32_t) {
  try {
    auto s = std::make_unique<Session>();
    if (agent != nullptr) s->agent = agent;
    return static_cast<HandleObject*>(s.release());
  } catch (...) {
    Failed(internet_error::kNotEnoughMemory);
    return nullptr;
  }
}

IInternetApi::Handle PosixInternet::InternetConnectA(Handle internet, const char* serverName,
                                                     std::uint16_t serverPort, const char* userName,
                                                     const char* password, std::uint32_t service,
                                                     std::uint32_t, std::uintptr_t) {
  try {
    const Session* s = As<Session>(internet);
    if (s == nullptr || serverName == nullptr || service != kServiceHttp) {
      Failed(s == nullptr ? internet_error::kInvalidHandle : internet_error::kInvalidParameter);
      return nullptr;
    }
    auto c = std::make_unique<Connection>();
    c->agent = s->agent;
    c->host = serverName;
    c->port = serverPort == 0 ? kDefaultHttpPort : serverPort;
    if (userName != nullptr) c->user = userName;
    if (password != nullptr) c->password = password;
    return static_cast<HandleObject*>(c.release());
  } catch (...) {
    Failed(internet_error::kNotEnoughMemory);
    return nullptr;
  }
}

IInternetApi::Handle PosixInternet::HttpOpenRequestA(Handle connect, const char* verb, const char* objectName,
                                                     const char* version, const char* referrer,
                                                     const char* const* acceptTypes, std::uint32_t flags,
                                                     std::uintptr_t) {
  try {
    const Connection* c = As<Connection>(connect);
    if (c == nullptr) {
      Failed(internet_error::kInvalidHandle);
      return nullptr;
    }
    auto r = std::make_unique<Request>(settings_, proxy_, httpsProxy_, *tls_, *c);
    r->verb = verb != nullptr && *verb != '\0' ? verb : "GET";
    r->path = objectName != nullptr && *objectName != '\0' ? objectName : "/";
    if (version != nullptr && std::string_view(version) == "HTTP/1.1") r->version = 11;
    if (referrer != nullptr) r->referrer = referrer;
    for (const char* const* a = acceptTypes; a != nullptr && *a != nullptr; ++a)
      r->acceptTypes.emplace_back(*a);
    r->reload = (flags & kFlagReload) != 0;
    r->secure = (flags & kFlagSecure) != 0;
    return static_cast<HandleObject*>(r.release());
  } catch (...) {
    Failed(internet_error::kNotEnoughMemory);
    return nullptr;
  }
}

bool PosixInternet::HttpSendRequestA(Handle request, const char* headers, std::uint32_t headersLength,
                                     const void* optional, std::uint32_t optionalLength) {
  try {
    Request* r = As<Request>(request);
    if (r == nullptr) return Failed(internet_error::kInvalidHandle);
    std::string_view extra;
    if (headers != nullptr)
      extra = headersLength == 0xFFFFFFFFu ? headers : std::string_view(headers, headersLength);
    std::string_view body;
    if (optional != nullptr) body = std::string_view(static_cast<const char*>(optional), optionalLength);
    return r->Send(extra, body) || Failed(r->Error());
  } catch (...) {
    return Failed(internet_error::kNotEnoughMemory);
  }
}

bool PosixInternet::HttpQueryInfoA(Handle request, std::uint32_t infoLevel, void* buffer,
                                   std::uint32_t* bufferLength, std::uint32_t* index) {
  try {
    const Request* r = As<Request>(request);
    if (r == nullptr) return Failed(internet_error::kInvalidHandle);
    if (bufferLength == nullptr) return Failed(internet_error::kInvalidParameter);
    if (index != nullptr && *index != 0) return Failed(internet_error::kHeaderNotFound);
    std::string value;
    if (!r->Query(infoLevel, value)) return false;
    if (buffer == nullptr || value.size() + 1 > *bufferLength) {
      *bufferLength = static_cast<std::uint32_t>(value.size() + 1);
      return Failed(internet_error::kInsufficientBuffer);
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
    if (r == nullptr) return Failed(internet_error::kInvalidHandle);
    if (buffer == nullptr || numberOfBytesRead == nullptr) return Failed(internet_error::kInvalidParameter);
    std::size_t got = 0;
    const bool ok = r->Read(static_cast<char*>(buffer), numberOfBytesToRead, got);
    *numberOfBytesRead = static_cast<std::uint32_t>(got);
    return ok || Failed(r->Error());
  } catch (...) {
    return false;
  }
}

bool PosixInternet::InternetCloseHandle(Handle handle) {
  // Each handle holds what it needs, so they may be closed in any order.
  HandleObject* h = static_cast<HandleObject*>(handle);
  if (h == nullptr) return Failed(internet_error::kInvalidHandle);
  delete h;
  return true;
}

std::uint32_t PosixInternet::GetLastError() {
  return lastError;
}

bool PosixInternet::InternetQueryOptionA(Handle handle, std::uint32_t option, void* buffer,
                                         std::uint32_t* bufferLength) {
  try {
    const Request* r = As<Request>(handle);
    if (r == nullptr) return Failed(internet_error::kInvalidHandle);
    if (bufferLength == nullptr || option != kOptionUrl) return Failed(internet_error::kInvalidParameter);
    std::string value;
    if (!r->FinalUrl(value)) return false;
    if (buffer == nullptr || value.size() + 1 > *bufferLength) {
      *bufferLength = static_cast<std::uint32_t>(value.size() + 1);
      return Failed(internet_error::kInsufficientBuffer);
    }
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    *bufferLength = static_cast<std::uint32_t>(value.size());
    return true;
  } catch (...) {
    return Failed(internet_error::kNotEnoughMemory);
  }
}

bool PosixInternet::PeerCertificate(Handle request, std::string& subject, std::time_t& notAfter) const {
  const Request* r = As<Request>(request);
  return r != nullptr && r->PeerCertificate(subject, notAfter);
}
