#include "platform/posix/http/HttpWire.h"

#include <algorithm>
#include <cctype>

#include "textconv/Ascii.h"

namespace http_wire {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Splits "host", "host:port" or "[v6]:port"; false when the port is no number.
bool SplitAuthority(std::string_view authority, std::string& host, std::string& port) {
  port.clear();
  if (!authority.empty() && authority.front() == '[') {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) return false;
    host = std::string(authority.substr(1, close - 1));
    authority.remove_prefix(close + 1);
    if (!authority.empty()) {
      if (authority.front() != ':') return false;
      port = std::string(authority.substr(1));
    }
  } else if (const auto colon = authority.rfind(':'); colon != std::string_view::npos) {
    host = std::string(authority.substr(0, colon));
    port = std::string(authority.substr(colon + 1));
  } else {
    host = std::string(authority);
  }
  return std::all_of(port.begin(), port.end(), IsDigit) && port.size() <= 5;
}

// RFC 3986, 5.2.4.
std::string RemoveDotSegments(std::string_view path) {
  std::vector<std::string_view> out;
  const bool absolute = !path.empty() && path.front() == '/';
  bool trailingSlash = false;
  std::size_t at = absolute ? 1 : 0;
  while (at <= path.size()) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    const std::string_view segment = path.substr(at, slash - at);
    const bool last = slash == path.size();
    trailingSlash = false;
    if (segment == "..") {
      if (!out.empty()) out.pop_back();
      trailingSlash = true;
    } else if (segment == ".") {
      trailingSlash = true;
    } else {
      out.push_back(segment);
    }
    if (last) break;
    at = slash + 1;
  }
  std::string result = absolute ? "/" : "";
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (i > 0) result += '/';
    result += out[i];
  }
  if (trailingSlash && (result.empty() || result.back() != '/')) result += '/';
  return result;
}

// A Location may hold bytes a request line cannot carry; they go out
// escaped, as a browser sends them.
std::string EscapeTarget(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

std::uint16_t DefaultPort(bool secure) {
  return secure ? 443 : 80;
}

std::string MakeAuthority(const std::string& host, std::uint16_t port, bool secure) {
  const std::string name = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return port == DefaultPort(secure) ? name : name + ":" + std::to_string(port);
}

}  // namespace

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (IsSpace(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (IsSpace(s.back()) || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
  return s;
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
    if (SameIgnoringAsciiCase(host, entry)) return true;
    if (host.size() > entry.size() && host[host.size() - entry.size() - 1] == '.' &&
        SameIgnoringAsciiCase(host.substr(host.size() - entry.size()), entry))
      return true;
  }
  return false;
}

std::string BasicCredentials(std::string_view user, std::string_view password) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string plain;
  plain.reserve(user.size() + 1 + password.size());
  plain.append(user).append(1, ':').append(password);
  std::string out = "Basic ";
  for (std::size_t i = 0; i < plain.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, plain.size() - i);
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 3; ++k)
      v = (v << 8) | (k < n ? static_cast<unsigned char>(plain[i + k]) : 0u);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[v & 63] : '=';
  }
  return out;
}

std::optional<ProxyEndpoint> ParseProxy(std::string_view setting) {
  setting = Trim(setting);
  ProxyEndpoint e;
  if (const auto scheme = setting.find("://"); scheme != std::string_view::npos) {
    e.tls = SameIgnoringAsciiCase(setting.substr(0, scheme), "https");
    setting.remove_prefix(scheme + 3);
  }
  if (const auto slash = setting.find('/'); slash != std::string_view::npos)
    setting = setting.substr(0, slash);
  if (const auto at = setting.rfind('@'); at != std::string_view::npos) {
    const std::string_view userinfo = setting.substr(0, at);
    const auto colon = userinfo.find(':');
    e.user = PercentDecode(userinfo.substr(0, colon));
    if (colon != std::string_view::npos) e.password = PercentDecode(userinfo.substr(colon + 1));
    setting.remove_prefix(at + 1);
  }
  if (!SplitAuthority(setting, e.host, e.port) || e.host.empty()) return std::nullopt;
  if (e.port.empty()) e.port = "1080";
  return e;
}

Target OriginTarget(std::string_view hostText, std::uint16_t port, std::string_view path, bool secure) {
  Target t;
  t.host = std::string(hostText);
  t.port = port;
  t.secure = secure;
  t.authority = port == DefaultPort(secure) ? t.host : t.host + ":" + std::to_string(port);
  t.path = path.empty() ? "/" : std::string(path);
  return t;
}

LocationKind ResolveLocation(const Target& base, std::string_view location, Target& out) {
  location = Trim(location);
  if (const auto hash = location.find('#'); hash != std::string_view::npos)
    location = location.substr(0, hash);

  // A scheme is letters, digits, "+", "-" and "." before a ":" that comes
  // ahead of any "/", "?" or "#".
  const auto colon = location.find(':');
  const auto firstDelimiter = location.find_first_of("/?");
  if (colon != std::string_view::npos && colon > 0 && colon < firstDelimiter &&
      std::isalpha(static_cast<unsigned char>(location.front())) &&
      std::all_of(location.begin(), location.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
      })) {
    // TLS is neither dropped nor taken up on the way.
    if (!SameIgnoringAsciiCase(location.substr(0, colon), base.secure ? "https" : "http"))
      return LocationKind::OtherScheme;
    location.remove_prefix(colon + 1);
    if (!StartsWithIgnoringAsciiCase(location, "//")) return LocationKind::Unusable;
  }

  out = base;
  if (location.substr(0, 2) == "//") {
    location.remove_prefix(2);
    const auto end = std::min(location.find_first_of("/?"), location.size());
    std::string_view authority = location.substr(0, end);
    location.remove_prefix(end);
    // Credentials in a Location are not sent anywhere.
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    std::string port;
    if (!SplitAuthority(authority, out.host, port) || out.host.empty()) return LocationKind::Unusable;
    if (!port.empty()) {
      const unsigned long value = std::stoul(port);
      if (value == 0 || value > 65535) return LocationKind::Unusable;
      out.port = static_cast<std::uint16_t>(value);
    } else {
      out.port = DefaultPort(out.secure);
    }
    out.authority = MakeAuthority(out.host, out.port, out.secure);
    out.path =
        location.empty() || location.front() == '?' ? "/" + std::string(location) : std::string(location);
  } else if (location.empty()) {
    // The same resource again.
  } else {
    const std::string_view basePath(base.path);
    const std::string_view baseNoQuery = basePath.substr(0, basePath.find('?'));
    if (location.front() == '/') {
      out.path = std::string(location);
    } else if (location.front() == '?') {
      out.path = std::string(baseNoQuery) + std::string(location);
    } else {
      const auto lastSlash = baseNoQuery.rfind('/');
      out.path = std::string(baseNoQuery.substr(0, lastSlash == std::string_view::npos ? 0 : lastSlash + 1)) +
                 std::string(location);
    }
  }
  const std::string_view full(out.path);
  const auto question = full.find('?');
  std::string path = RemoveDotSegments(full.substr(0, question));
  if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
  if (question != std::string_view::npos) path += full.substr(question);
  out.path = EscapeTarget(path);
  return LocationKind::Resolved;
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool RedirectDropsBody(int status, std::string_view method) {
  if (status == 303) return !SameIgnoringAsciiCase(method, "HEAD");
  return (status == 301 || status == 302) && SameIgnoringAsciiCase(method, "POST");
}

const std::string* ResponseHead::Find(std::string_view name) const {
  for (const auto& [n, v] : fields)
    if (SameIgnoringAsciiCase(n, name)) return &v;
  return nullptr;
}

bool ResponseHead::Chunked() const {
  for (const auto& [n, v] : fields) {
    if (!SameIgnoringAsciiCase(n, "Transfer-Encoding")) continue;
    // The last coding decides.
    std::string_view codings(v);
    const auto comma = codings.rfind(',');
    if (comma != std::string_view::npos) codings.remove_prefix(comma + 1);
    if (SameIgnoringAsciiCase(Trim(codings), "chunked")) return true;
  }
  return false;
}

bool ResponseHead::OffersBasic(std::string_view field) const {
  for (const auto& [n, v] : fields) {
    if (!SameIgnoringAsciiCase(n, field)) continue;
    // Several challenges may share a field: "Negotiate, Basic realm=...".
    std::string_view rest(v);
    for (;;) {
      rest = Trim(rest);
      if (StartsWithIgnoringAsciiCase(rest, "basic") && (rest.size() == 5 || IsSpace(rest[5]) || rest[5] == ','))
        return true;
      const auto comma = rest.find(',');
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return false;
}

bool HeadReader::TakeLine(std::string_view line) {
  if (!statusSeen_) {
    // "HTTP/1.0 200 OK", "HTTP/1.1 200", any case of the name.
    if (!StartsWithIgnoringAsciiCase(line, "HTTP/")) return false;
    line.remove_prefix(5);
    std::size_t i = 0;
    unsigned major = 0;
    unsigned minor = 0;
    if (i >= line.size() || !IsDigit(line[i])) return false;
    while (i < line.size() && IsDigit(line[i]) && major < 100)
      major = major * 10 + static_cast<unsigned>(line[i++] - '0');
    if (i < line.size() && line[i] == '.') {
      ++i;
      while (i < line.size() && IsDigit(line[i]) && minor < 100)
        minor = minor * 10 + static_cast<unsigned>(line[i++] - '0');
    }
    if (i >= line.size() || !IsSpace(line[i])) return false;
    while (i < line.size() && IsSpace(line[i])) ++i;
    if (i + 3 > line.size() || !IsDigit(line[i]) || !IsDigit(line[i + 1]) || !IsDigit(line[i + 2]))
      return false;
    if (i + 3 < line.size() && !IsSpace(line[i + 3])) return false;
    head_.status = (line[i] - '0') * 100 + (line[i + 1] - '0') * 10 + (line[i + 2] - '0');
    head_.version = (major == 1 && minor == 0) || major == 0 ? 10 : 11;
    statusSeen_ = true;
    return true;
  }
  if (IsSpace(line.front())) {
    // A folded line continues the field before it.
    if (!head_.fields.empty()) {
      const std::string_view more = Trim(line);
      if (!more.empty()) head_.fields.back().second.append(" ").append(more);
    }
    return true;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return true;  // not a field: skipped
  head_.fields.emplace_back(std::string(Trim(line.substr(0, colon))),
                            std::string(Trim(line.substr(colon + 1))));
  return true;
}

HeadReader::State HeadReader::Feed(std::string_view received) {
  for (;;) {
    const auto eol = received.find('\n', scanned_);
    if (eol == std::string_view::npos) {
      scanned_ = std::max(scanned_, consumed_);
      return received.size() > limit_ ? State::TooLarge : State::NeedMore;
    }
    if (eol + 1 > limit_) return State::TooLarge;
    std::string_view line = received.substr(scanned_, eol - scanned_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    scanned_ = eol + 1;
    if (line.empty()) {
      // Blank lines before the status line are noise some servers send.
      if (!statusSeen_) continue;
      consumed_ = scanned_;
      return State::Done;
    }
    if (!TakeLine(line)) return State::Malformed;
  }
}

ChunkDecoder::State ChunkDecoder::Step(std::string_view input, std::size_t& used) {
  // A size or trailer line longer than this is no chunked body.
  constexpr std::size_t kLineLimit = 64 * 1024;
  used = 0;
  for (;;) {
    std::string_view rest = input.substr(used);
    if (phase_ == Phase::Done) return State::Done;
    if (phase_ == Phase::Data) {
      if (remaining_ > 0) return State::Data;
      phase_ = Phase::DataEnd;
      continue;
    }
    if (phase_ == Phase::DataEnd) {
      if (rest.empty()) return State::NeedMore;
      if (rest.front() == '\n') {
        used += 1;
      } else if (rest.front() == '\r') {
        if (rest.size() < 2) return State::NeedMore;
        if (rest[1] != '\n') return State::Malformed;
        used += 2;
      } else {
        return State::Malformed;
      }
      phase_ = Phase::Size;
      continue;
    }
    const auto eol = rest.find('\n');
    if (eol == std::string_view::npos) return rest.size() > kLineLimit ? State::Malformed : State::NeedMore;
    std::string_view line = rest.substr(0, eol);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    used += eol + 1;
    if (phase_ == Phase::Trailer) {
      if (line.empty()) phase_ = Phase::Done;
      continue;
    }
    // Size line: hex digits, then extensions after ";".
    line = Trim(line.substr(0, line.find(';')));
    if (line.empty() || line.size() > 15) return State::Malformed;
    std::uint64_t size = 0;
    for (const char c : line) {
      const int v = HexDigitValue(c);
      if (v < 0) return State::Malformed;
      size = size * 16 + static_cast<unsigned>(v);
    }
    remaining_ = size;
    phase_ = size == 0 ? Phase::Trailer : Phase::Data;
  }
}

}  // namespace http_wire
