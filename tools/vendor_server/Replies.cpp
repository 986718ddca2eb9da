#include "Replies.h"

#include <algorithm>
#include <boost/beast/core/detail/base64.hpp>
#include <exception>
#include <fstream>
#include <iterator>

#include "ByteRange.h"
#include "VendorServer.h"
#include "textconv/Ascii.h"

namespace vendor {

namespace beast = boost::beast;
namespace fs = std::filesystem;

std::string_view OriginForm(std::string_view target) {
  for (std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
    if (StartsWithIgnoringAsciiCase(target, scheme)) {
      std::string_view rest = target.substr(scheme.size());
      std::size_t slash = rest.find('/');
      return slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
    }
  }
  return target;
}

Reply HtmlReply(int status, std::string body) {
  Reply reply;
  reply.status = status;
  reply.size = body.size();
  reply.body = std::move(body);
  return reply;
}

Reply NotFoundReply() {
  return HtmlReply(404,
                   "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1>"
                   "<p>The requested URL was not found on this server.</p></body></html>\n");
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 407:
      return "Proxy Authentication Required";
    case 416:
      return "Range Not Satisfiable";
    default:
      return "Not Found";
  }
}

bool CredentialsMatch(std::string_view header, std::string_view userAndPassword) {
  namespace base64 = beast::detail::base64;
  std::string expected(base64::encoded_size(userAndPassword.size()), '\0');
  expected.resize(base64::encode(expected.data(), userAndPassword.data(), userAndPassword.size()));
  if (!StartsWithIgnoringAsciiCase(header, "basic ")) return false;
  header.remove_prefix(6);
  while (!header.empty() && header.front() == ' ') header.remove_prefix(1);
  while (!header.empty() && header.back() == ' ') header.remove_suffix(1);
  return header == expected;
}

Reply ChallengeReply(int status, const char* field) {
  Reply reply =
      HtmlReply(status, std::string("<html><body><h1>") + ReasonPhrase(status) + "</h1></body></html>\n");
  reply.headers.emplace_back(field, "Basic realm=\"vendor\"");
  return reply;
}

std::string EntityTag(const fs::path& file, std::uint64_t size) {
  std::error_code ec;
  const auto modified = fs::last_write_time(file, ec).time_since_epoch().count();
  char tag[64];
  std::snprintf(tag, sizeof tag, "\"%llx-%llx\"", static_cast<unsigned long long>(modified),
                static_cast<unsigned long long>(size));
  return tag;
}

void ApplyRange(Reply& reply, const std::string& etag, std::string_view range, std::string_view ifRange) {
  reply.headers.emplace_back("ETag", etag);
  reply.headers.emplace_back("Accept-Ranges", "bytes");
  const RangeAnswer answer = JudgeRange(range, ifRange, {etag}, reply.size);
  const std::string size = std::to_string(reply.size);
  if (answer.kind == RangeAnswer::Unsatisfiable) {
    Reply refused = HtmlReply(416, "<html><body><h1>Range Not Satisfiable</h1></body></html>\n");
    refused.headers = std::move(reply.headers);
    refused.headers.emplace_back("Content-Range", "bytes */" + size);
    reply = std::move(refused);
    return;
  }
  if (answer.kind != RangeAnswer::Part ||
      std::fseek(reply.file.get(), static_cast<long>(answer.first), SEEK_SET) != 0)
    return;
  reply.status = 206;
  reply.headers.emplace_back("Content-Range", "bytes " + std::to_string(answer.first) + "-" +
                                                  std::to_string(answer.last) + "/" + size);
  reply.size = answer.last - answer.first + 1;
}

std::optional<fs::path> ResolveDownload(const fs::path& root, std::string_view path) {
  constexpr std::string_view kPrefix = "/download/";
  if (path.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  std::error_code ec;
  const fs::path realRoot = fs::canonical(root, ec);
  if (ec) return std::nullopt;
  fs::path candidate = realRoot;
  std::string_view rest = path.substr(kPrefix.size());
  int segments = 0;
  for (;;) {
    const std::size_t slash = rest.find('/');
    const std::string_view segment = rest.substr(0, slash);
    if (segment.empty() || segment == "." || segment == ".." ||
        segment.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos) {
      return std::nullopt;
    }
    candidate /= std::string(segment);
    ++segments;
    if (slash == std::string_view::npos) break;
    rest = rest.substr(slash + 1);
  }
  if (segments < 2) return std::nullopt;
  // Symlinks are followed, but only to places inside root.
  const fs::path real = fs::canonical(candidate, ec);
  if (ec || !fs::is_regular_file(real, ec)) return std::nullopt;
  const fs::path relative = real.lexically_relative(realRoot);
  if (relative.empty() || *relative.begin() == "..") return std::nullopt;
  return real;
}

std::optional<Fault> ParseFault(std::string_view kindAndArg) {
  const std::size_t colon = kindAndArg.find(':');
  std::string kind(kindAndArg.substr(0, colon));
  kind = AsciiLowerText(kind);
  const bool hasArg = colon != std::string_view::npos;
  const std::string arg = hasArg ? std::string(kindAndArg.substr(colon + 1)) : std::string();

  auto number = [&](Fault::Kind k) -> std::optional<Fault> {
    if (!hasArg || arg.empty()) return std::nullopt;
    std::size_t used = 0;
    try {
      const long long value = std::stoll(arg, &used);
      if (used != arg.size()) return std::nullopt;
      return Fault{k, value, {}};
    } catch (const std::exception&) {
      return std::nullopt;
    }
  };
  auto plain = [&](Fault::Kind k) -> std::optional<Fault> {
    if (hasArg) return std::nullopt;
    return Fault{k, 0, {}};
  };

  if (kind == "cut" || kind == "cutafter") return number(Fault::Kind::CutAfter);
  if (kind == "wronglength") return number(Fault::Kind::WrongLength);
  if (kind == "textlength") {
    if (!hasArg) return std::nullopt;
    return Fault{Fault::Kind::TextLength, 0, arg};
  }
  if (kind == "nolength") return plain(Fault::Kind::NoLength);
  if (kind == "notfound") return plain(Fault::Kind::NotFound);
  if (kind == "stall") return hasArg ? number(Fault::Kind::Stall) : plain(Fault::Kind::Stall);
  if (kind == "reset") return plain(Fault::Kind::Reset);
  if (kind == "none") return plain(Fault::Kind::None);
  if (kind == "echo") return plain(Fault::Kind::Echo);
  if (kind == "redirect") {
    // redirect:CODE:LOCATION; the Location may hold colons of its own.
    const std::size_t second = arg.find(':');
    if (!hasArg || second == std::string::npos || second + 1 >= arg.size()) return std::nullopt;
    const std::string code = arg.substr(0, second);
    if (code.size() != 3 ||
        !std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::nullopt;
    return Fault{Fault::Kind::Redirect, std::stoll(code), arg.substr(second + 1)};
  }
  if (kind == "auth" || kind == "proxyauth") {
    if (!hasArg || arg.find(':') == std::string::npos) return std::nullopt;
    return Fault{kind == "auth" ? Fault::Kind::Auth : Fault::Kind::ProxyAuth, 0, arg};
  }
  if (kind == "rawfile") {
    if (!hasArg || arg.empty()) return std::nullopt;
    std::ifstream in(arg, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Fault{Fault::Kind::Raw, 0, std::move(bytes)};
  }
  return std::nullopt;
}

}  // namespace vendor
