#include "Scenarios.h"

// Rows name only the fields that differ from a plain download.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <cstdint>

namespace scenarios {

namespace {

using K = vendor::Fault::Kind;

constexpr std::size_t kFileSize = 100 * 1000 + 7;
constexpr std::size_t kRawSize = 2048;

std::string Pattern(std::uint32_t seed, std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t x = seed;
  for (char& c : bytes) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

std::string Path(const std::string& name) {
  return std::string("/download/") + kFolder + "/" + name;
}

vendor::Fault Plain(K kind, std::int64_t n = 0, std::string text = {}) {
  vendor::Fault f;
  f.kind = kind;
  f.n = n;
  f.text = std::move(text);
  return f;
}

vendor::Fault Redirect(int status, std::string location) {
  return Plain(K::Redirect, status, std::move(location));
}

vendor::Fault Raw(std::string answer) {
  return Plain(K::Raw, 0, std::move(answer));
}

// A raw answer after which the server keeps the socket open that long.
vendor::Fault RawHeldOpen(std::string answer, std::chrono::milliseconds held) {
  vendor::Fault f = Raw(std::move(answer));
  f.end = vendor::Fault::End::Stall;
  f.held = held;
  return f;
}

// A head of about that many bytes of filler fields, then a real answer.
std::string LongHead(std::size_t fillerBytes) {
  std::string head = "HTTP/1.0 200 OK\r\n";
  for (std::size_t i = 0; head.size() < fillerBytes; ++i)
    head += "X-Filler-" + std::to_string(i) + ": " + std::string(100, 'f') + "\r\n";
  return head + "Content-Length: " + std::to_string(kRawSize) + "\r\n\r\n" + RawBody();
}

std::string Chunked() {
  const std::string body = RawBody();
  std::string answer = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  // Uneven chunks, one with an extension, then a trailer.
  const std::size_t sizes[] = {1, 1000, 47, kRawSize - 1048};
  std::size_t at = 0;
  const char* const hex = "0123456789abcdef";
  for (const std::size_t n : sizes) {
    std::string size;
    for (std::size_t v = n; v > 0; v /= 16) size.insert(size.begin(), hex[v % 16]);
    answer += size + (at == 0 ? ";note=first" : "") + "\r\n" + body.substr(at, n) + "\r\n";
    at += n;
  }
  return answer + "0\r\nX-Trailer: done\r\n\r\n";
}

}  // namespace

std::string FileContent() {
  return Pattern(42, kFileSize);
}

std::string RawBody() {
  return Pattern(7, kRawSize);
}

std::string UrlOf(const Row& row) {
  return std::string(kVendorHost) + row.served.front().path;
}

std::string ProxySetting(const std::string& proxyAddress, const Row& row) {
  const std::string address = row.peer == Peer::ClosedPort    ? "127.0.0.1:" + std::to_string(kClosedPort)
                              : row.peer == Peer::UnknownName ? std::string(kUnknownName) + ":8080"
                                                              : proxyAddress;
  return "http://" + (row.proxyUserInfo.empty() ? "" : row.proxyUserInfo + "@") + address;
}

std::string Before(const Row& row) {
  return row.before.value_or("old");
}

std::vector<Row> Table(const std::string& other) {
  const std::string file = FileContent();
  const std::string raw = RawBody();
  const std::string size = std::to_string(file.size());
  const std::string rawSize = std::to_string(raw.size());
  const std::string done = "donefile target.bin " + size;
  const std::string rawDone = "donefile target.bin " + rawSize;
  const std::string elsewhere = "http://" + other + Path("plain.bin");
  const vendor::Fault none;

  std::vector<Row> rows;
  auto add = [&rows](Row row) { rows.push_back(std::move(row)); };

  add({.name = "Plain", .served = {{Path("plain.bin"), none}}, .event = done, .bytes = file});

  // Redirects, as WinINet follows them on its own.
  add({.name = "Redirect302Relative",
       .served = {{Path("r302"), Redirect(302, "plain.bin")}},
       .event = done,
       .bytes = file});
  add({.name = "Redirect301ToAnotherHostAndPort",
       .served = {{Path("r301"), Redirect(301, elsewhere)}},
       .event = done,
       .bytes = file});
  add({.name = "RedirectChain303To307",
       .served = {{Path("chain1"), Redirect(303, Path("chain2"))},
                  {Path("chain2"), Redirect(307, elsewhere)}},
       .event = done,
       .bytes = file});
  add({.name = "Redirect308",
       .served = {{Path("r308"), Redirect(308, "plain.bin")}},
       .event = done,
       .bytes = file,
       .wineDiffers = "Wine 8 does not follow a 308; the getter fails on that status",
       .wineEvent = "error"});
  add({.name = "RedirectLoop",
       .served = {{Path("loop"), Redirect(302, Path("loop"))}},
       .event = "error",
       .failure = THTTPFailure::RedirectLoop,
       .wineDiffers = "Wine follows a redirect loop without end"});
  add({.name = "RedirectToHttps",
       .served = {{Path("tohttps"), Redirect(302, "https://" + other + Path("plain.bin"))}},
       .event = "error"});
  add({.name = "PostRedirectedBy302BecomesGet",
       .served = {{Path("post302"), Redirect(302, Path("echo"))}, {Path("echo"), Plain(K::Echo)}},
       .mode = Mode::String,
       .postQuery = "a=1&b=2",
       .event = "donestring 4",
       .bytes = "GET "});
  add({.name = "PostRedirectedBy307StaysPost",
       .served = {{Path("post307"), Redirect(307, Path("echo"))}, {Path("echo"), Plain(K::Echo)}},
       .mode = Mode::String,
       .postQuery = "a=1&b=2",
       .event = "donestring 12",
       .bytes = "POST a=1&b=2",
       .wineDiffers = "Wine repeats the POST without its body",
       .wineEvent = "donestring 5",
       .wineBytes = "POST "});

  // Credentials: the proxy's from http_proxy, the server's from the properties.
  const vendor::Fault proxyAuth = Plain(K::ProxyAuth, 0, "proxy:heslo");
  add({.name = "ProxyChallengeWithoutCredentials",
       .served = {{Path("proxyauth"), proxyAuth}},
       .proxyOnly = true,
       .event = "error",
       .failure = THTTPFailure::HttpStatus,
       .status = 407});
  add({.name = "ProxyChallengeWithCredentials",
       .served = {{Path("proxyauth"), proxyAuth}},
       .proxyUserInfo = "proxy:heslo",
       .proxyOnly = true,
       .event = done,
       .bytes = file});
  add({.name = "ProxyChallengeWithEscapedCredentials",
       .served = {{Path("proxyauth-escaped"), Plain(K::ProxyAuth, 0, "proxy user:p@ss:word")}},
       .proxyUserInfo = "proxy%20user:p%40ss%3Aword",
       .proxyOnly = true,
       .event = done,
       .bytes = file,
       .wineDiffers = "Wine sends the credentials of http_proxy still percent-encoded",
       .wineEvent = "error"});
  add({.name = "ProxyChallengeWithWrongCredentials",
       .served = {{Path("proxyauth"), proxyAuth}},
       .proxyUserInfo = "proxy:spatne",
       .proxyOnly = true,
       .event = "error"});
  // WinINet keeps credentials a server took for the rest of the process and
  // offers them unasked, so the row without a user name comes first.
  const vendor::Fault serverAuth = Plain(K::Auth, 0, "kestrami:heslo");
  add({.name = "ServerChallengeWithoutUserName", .served = {{Path("auth"), serverAuth}}, .event = "error"});
  add({.name = "ServerChallengeWithUserName",
       .served = {{Path("auth"), serverAuth}},
       .userName = "kestrami",
       .password = "heslo",
       .event = done,
       .bytes = file});
  add({.name = "ServerChallengeWithWrongPassword",
       .served = {{Path("auth"), serverAuth}},
       .userName = "kestrami",
       .password = "spatne",
       .event = "error"});

  // Answers that are not strictly formed.
  add({.name = "HeadOfHalfAMebibyte",
       .served = {{Path("longhead"), Raw(LongHead(512 * 1024))}},
       .event = rawDone,
       .bytes = raw});
  add({.name = "HeadBeyondOneMebibyte",
       .served = {{Path("hugehead"), Raw(LongHead(1536 * 1024))}},
       .event = "error",
       .wineDiffers = "Wine reads a head of any size",
       .wineEvent = rawDone,
       .wineBytes = raw});
  add({.name = "BareLineFeeds",
       .served = {{Path("barelf"), Raw("HTTP/1.0 200 OK\nContent-Length: " + rawSize + "\n\n" + raw)}},
       .event = rawDone,
       .bytes = raw});
  add({.name = "StatusWithoutReasonPhrase",
       .served = {{Path("noreason"), Raw("HTTP/1.0 200\r\nContent-Length: " + rawSize + "\r\n\r\n" + raw)}},
       .event = rawDone,
       .bytes = raw});

  // The body against its announced length.
  const std::string longer = "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + raw;
  add({.name = "BodyLongerThanAnnounced",
       .served = {{Path("longer"), Raw(longer)}},
       .event = "error",
       .bytes = raw,
       .failure = THTTPFailure::BodyTooLong});
  add({.name = "KeepAliveBodyLongerThanAnnounced",
       .served = {{Path("longer-keepalive"),
                   Raw("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\nConnection: keep-alive\r\n\r\n" + raw)}},
       .event = "error",
       .bytes = raw});
  add({.name = "BodyLongerThanAnnouncedAsText",
       .served = {{Path("longer"), Raw(longer)}},
       .mode = Mode::String,
       .event = "donestring " + rawSize,
       .bytes = raw});
  add({.name = "BodyShorterThanAnnounced",
       .served = {{Path("cut.bin"), Plain(K::CutAfter, 5000)}},
       .event = "error",
       .bytes = file.substr(0, 5000),
       .failure = THTTPFailure::BodyCutShort});
  // A complete body from a server that does not close, whatever its answer
  // said: the body ends with its announced length, not with the socket.
  add({.name = "CompleteBodyServerKeepsSocketOpen",
       .served = {{Path("held"),
                   RawHeldOpen("HTTP/1.0 200 OK\r\nContent-Length: " + rawSize + "\r\n\r\n" + raw,
                               std::chrono::seconds(10))}},
       .event = rawDone,
       .bytes = raw,
       .endsWithin = std::chrono::milliseconds(500)});
  add({.name = "EmptyBodyAsText",
       .served = {{Path("empty.bin"), Plain(K::CutAfter, 0)}},
       .mode = Mode::String,
       .event = "error",
       .bytes = ""});
  add({.name = "NoLengthWithBinaryData",
       .served = {{Path("nolength.bin"), Plain(K::NoLength)}},
       .event = "error",
       .failure = THTTPFailure::NoLength});
  add({.name = "NoLengthWithoutBinaryData",
       .served = {{Path("nolength.bin"), Plain(K::NoLength)}},
       .binaryData = false,
       .event = done,
       .bytes = file});
  add({.name = "LengthIsLetters",
       .served = {{Path("letters.bin"), Plain(K::TextLength, 0, "abc")}},
       .event = "error",
       .failure = THTTPFailure::BadLength});
  add({.name = "ChunkedWithBinaryData", .served = {{Path("chunked"), Raw(Chunked())}}, .event = "error"});
  add({.name = "ChunkedWithoutBinaryData",
       .served = {{Path("chunked"), Raw(Chunked())}},
       .binaryData = false,
       .event = rawDone,
       .bytes = raw});
  add({.name = "NotFoundPage",
       .served = {{Path("missing.bin"), Plain(K::NotFound)}},
       .event = "error",
       .failure = THTTPFailure::HttpStatus,
       .status = 404});
  add({.name = "ResetBeforeTheAnswer",
       .served = {{Path("reset.bin"), Plain(K::Reset)}},
       .event = "error",
       .failure = THTTPFailure::ConnectionFailed,
       .wineDiffers = "Wine's send mostly succeeds on a reset before any answer, which then has no "
                      "headers: without QueryDetails (no status asked) that reads as NoLength",
       .wineEvent = "error"});
  // With the details the status is asked for, and there is none.
  add({.name = "ResetBeforeTheAnswerWithDetails",
       .served = {{Path("reset.bin"), Plain(K::Reset)}},
       .queryDetails = true,
       .event = "error",
       .failure = THTTPFailure::ConnectionFailed});
  // The server gives up after a while; a client's own time-out ends it first.
  add({.name = "StallBeforeTheAnswer",
       .served = {{Path("stall.bin"), Plain(K::Stall, 8000)}},
       .event = "error"});

  // Continuing a file: the server's own answer to a Range, with If-Range.
  constexpr std::int32_t kFrom = 40000;
  vendor::Fault tagged;
  tagged.etag = "\"scenario-1\"";
  const std::string rest = "donefile target.bin " + std::to_string(file.size() - kFrom);
  add({.name = "RangeAnsweredWithTheRest",
       .served = {{Path("range.bin"), tagged}},
       .rangeFrom = kFrom,
       .ifRange = tagged.etag,
       .before = file.substr(0, kFrom) + "a stale tail",
       .queryDetails = true,
       .event = rest,
       .bytes = file,
       .status = 206,
       .continued = true,
       .validator = tagged.etag});
  add({.name = "RangeWithAStaleIfRangeGetsTheWholeFile",
       .served = {{Path("range.bin"), tagged}},
       .rangeFrom = kFrom,
       .ifRange = "\"scenario-0\"",
       .before = file.substr(0, kFrom) + "a stale tail",
       .event = done,
       .bytes = file,
       .status = 200,
       .continued = false});
  add({.name = "RangeAnsweredWithAnotherRange",
       .served = {{Path("otherrange"), Raw("HTTP/1.0 206 Partial Content\r\nContent-Range: bytes 0-" +
                                           std::to_string(kRawSize - 1) + "/" + rawSize +
                                           "\r\nContent-Length: " + rawSize + "\r\n\r\n" + raw)}},
       .rangeFrom = 1000,
       .before = raw.substr(0, 1000),
       .event = "error",
       .failure = THTTPFailure::BadRange,
       .status = 206});
  add({.name = "BusyWithRetryAfter",
       .served = {{Path("busy"),
                   Raw("HTTP/1.0 503 Service Unavailable\r\nRetry-After: 7\r\nContent-Length: 0\r\n\r\n")}},
       .queryDetails = true,
       .event = "error",
       .failure = THTTPFailure::HttpStatus,
       .status = 503,
       .retryAfter = 7});

  // The transport's reasons for no answer at all.
  add({.name = "ConnectionRefused",
       .served = {{Path("plain.bin"), none}},
       .peer = Peer::ClosedPort,
       .event = "error",
       .failure = THTTPFailure::ConnectionFailed});
  add({.name = "NameNotResolved",
       .served = {{Path("plain.bin"), none}},
       .peer = Peer::UnknownName,
       .event = "error",
       .failure = THTTPFailure::NameNotResolved});
  return rows;
}

}  // namespace scenarios
