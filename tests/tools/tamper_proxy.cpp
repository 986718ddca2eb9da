// tamper_proxy --upstream HOST:PORT --port-file FILE [--once] [FAULT PATH=VALUE]...
//
// A proxy between the installer and the vendor's server, as an attacker on
// the network path (or a bad line) would be: it hands every request on
// unchanged and every answer back, except for the faults given for a path
// (a PATH ending in "*" stands for every path it begins):
//   --flip PATH=OFFSET    flips one bit of the body byte at OFFSET (the Content-Length stays right)
//   --replace PATH=FILE   answers with FILE's bytes instead of asking the server
//   --delay PATH=MS       holds the request that long before handing it on
//   --hold PATH=FILE      holds the request until FILE exists (the script says when)
//   --cut PATH=N|half     passes N bytes of the body (or half its length), then closes
//   --stall PATH=N|half   passes N bytes of the body, then sends nothing more
//   --grow PATH=N         sends N bytes more than the server did, and announces them
//   --status PATH=CODE[,SECONDS]  answers with that status itself, with Retry-After SECONDS (default 1)
// With --once, each fault but --replace, --delay and --hold strikes a path's first
// request only, as a line that fails once. Each request is logged to stdout as
// "METHOD PATH" when it arrives, and as "sent PATH BYTES" (body bytes passed
// on) when it ends.
#include <chrono>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "ProxyListener.h"

namespace {
using proxy::Log;
using proxy::SendText;
std::map<std::string, std::map<std::string, std::string>> faults;  // fault -> path -> value
bool once = false;
std::set<std::string> struck;  // "fault path" already used, with --once
std::string upstreamHost;
int upstreamPort = 0;
std::mutex mutex;

// The value of a fault for path, if it strikes this request.
const std::string* Fault(const std::string& fault, const std::string& path) {
  const auto f = faults.find(fault);
  if (f == faults.end()) return nullptr;
  for (const auto& [pattern, value] : f->second) {
    const bool prefix = !pattern.empty() && pattern.back() == '*';
    if (prefix ? path.rfind(pattern.substr(0, pattern.size() - 1), 0) != 0 : path != pattern) continue;
    if (once && fault != "--replace" && fault != "--delay" && fault != "--hold") {
      std::lock_guard lock(mutex);
      if (!struck.insert(fault + " " + path).second) return nullptr;
    }
    return &value;
  }
  return nullptr;
}

// The path of a request target in absolute or origin form.
std::string PathOf(const std::string& target) {
  if (target.rfind("http://", 0) != 0) return target;
  const std::size_t slash = target.find('/', 7);
  return slash == std::string::npos ? "/" : target.substr(slash);
}

long long ContentLength(const std::string& head) {
  std::istringstream lines(head);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.size() > 15 && strncasecmp(line.c_str(), "content-length:", 15) == 0) {
      return std::atoll(line.c_str() + 15);
    }
  }
  return -1;
}

std::string WithLength(const std::string& head, long long length) {
  std::istringstream lines(head);
  std::string line;
  std::string out;
  while (std::getline(lines, line)) {
    if (line.size() > 15 && strncasecmp(line.c_str(), "content-length:", 15) == 0) {
      line = "Content-Length: " + std::to_string(length) + "\r";
    }
    out += line + "\n";
  }
  return out;
}

// A byte limit of a fault: a number, or "half" of the announced length.
long long Limit(const std::string* value, long long length) {
  if (value == nullptr) return -1;
  return *value == "half" ? (length > 0 ? length / 2 : 0) : std::stoll(*value);
}

void Serve(int client) {
  std::string head;
  char buffer[65536];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 1 << 20) {
    const ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  std::istringstream line(head.substr(0, head.find("\r\n")));
  std::string method, target;
  line >> method >> target;
  const std::string path = PathOf(target);
  Log(method + " " + path);
  long long sent = 0;
  const auto finish = [&] {
    Log("sent " + path + " " + std::to_string(sent));
    shutdown(client, SHUT_WR);
    close(client);
  };
  if (const std::string* file = Fault("--replace", path)) {
    std::ifstream in(*file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    SendText(client, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(bytes.str().size()) +
                         "\r\nConnection: close\r\n\r\n" + bytes.str());
    sent = static_cast<long long>(bytes.str().size());
    return finish();
  }
  if (const std::string* fault = Fault("--status", path)) {
    const std::size_t comma = fault->find(',');
    const std::string code = fault->substr(0, comma);
    const std::string retryAfter = comma == std::string::npos ? "1" : fault->substr(comma + 1);
    const std::string body = "<html>" + code + "</html>";
    SendText(client, "HTTP/1.0 " + code + " Fault\r\nContent-Length: " + std::to_string(body.size()) +
                         "\r\nRetry-After: " + retryAfter + "\r\nConnection: close\r\n\r\n" + body);
    return finish();
  }
  if (const std::string* file = Fault("--hold", path)) {
    for (int i = 0; i < 1200 && std::ifstream(*file).fail(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (const std::string* ms = Fault("--delay", path)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(*ms)));
  }
  const int server = proxy::Dial(upstreamHost, upstreamPort);
  if (server < 0 || !SendText(server, head)) {
    if (server >= 0) close(server);
    return finish();
  }
  // The answer's head, whole, before any of its body is passed on.
  std::string answer;
  std::size_t headEnd = std::string::npos;
  while ((headEnd = answer.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t n = recv(server, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  if (headEnd == std::string::npos) {
    SendText(client, answer);
    close(server);
    return finish();
  }
  std::string answerHead = answer.substr(0, headEnd + 2);
  std::string body = answer.substr(headEnd + 4);
  const long long length = ContentLength(answerHead);
  const std::string* flip = Fault("--flip", path);
  const long long flipAt = flip != nullptr ? std::stoll(*flip) : -1;
  const long long grow = Limit(Fault("--grow", path), length);
  const long long cut = Limit(Fault("--cut", path), length);
  const long long stall = Limit(Fault("--stall", path), length);
  if (grow > 0 && length >= 0) answerHead = WithLength(answerHead, length + grow);
  if (!SendText(client, answerHead + "\r\n")) {
    close(server);
    return finish();
  }
  // Passes on body bytes until a fault's limit; false when the client is gone.
  const auto pass = [&](std::string chunk) {
    if (flipAt >= sent && flipAt < sent + static_cast<long long>(chunk.size()))
      chunk[static_cast<std::size_t>(flipAt - sent)] ^= 0x01;
    for (const long long limit : {cut, stall}) {
      if (limit >= 0 && sent + static_cast<long long>(chunk.size()) > limit)
        chunk.resize(static_cast<std::size_t>(limit - sent));
    }
    if (!SendText(client, chunk)) return false;
    sent += static_cast<long long>(chunk.size());
    return (cut < 0 || sent < cut) && (stall < 0 || sent < stall);
  };
  bool going = body.empty() || pass(body);
  while (going) {
    const ssize_t n = recv(server, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    going = pass(std::string(buffer, static_cast<std::size_t>(n)));
  }
  close(server);
  if (going && grow > 0) {
    const std::string extra(1 << 16, 'x');
    for (long long left = grow; left > 0 && going; left -= static_cast<long long>(extra.size())) {
      going = pass(extra.substr(0, static_cast<std::size_t>(std::min<long long>(left, 1 << 16))));
    }
  }
  if (stall >= 0 && sent >= stall) {
    // Silent, with the connection open, until the client gives up.
    while (recv(client, buffer, sizeof buffer, 0) > 0) {
    }
  }
  finish();
}

int Usage() {
  std::cerr << "usage: tamper_proxy --upstream HOST:PORT --port-file FILE [--once] [FAULT PATH=VALUE]...\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string portFile;
  static const std::set<std::string> kFaults = {"--flip", "--replace", "--delay", "--hold",
                                                "--cut",  "--stall",   "--grow",  "--status"};
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--once") {
      once = true;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (option == "--port-file") {
      portFile = value;
    } else if (option == "--upstream") {
      const std::size_t colon = value.find(':');
      if (colon == std::string::npos) return Usage();
      upstreamHost = value.substr(0, colon);
      upstreamPort = std::stoi(value.substr(colon + 1));
    } else if (kFaults.count(option) != 0) {
      const std::size_t split = value.find('=');
      if (split == std::string::npos) return Usage();
      faults[option][value.substr(0, split)] = value.substr(split + 1);
    } else {
      return Usage();
    }
  }
  if (upstreamHost.empty() || portFile.empty()) return Usage();
  return proxy::ServeForever("tamper_proxy", portFile, Serve);
}
