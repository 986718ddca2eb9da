// A deliberately dumb HTTP client on plain sockets, so that the tests see the bytes on the wire
// (missing or odd headers, short bodies, stalls, resets) without any library smoothing them over.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace rawhttp {

enum class End { Closed, TimedOut, Reset, Error };

struct Response {
  End end = End::Error;
  std::string raw;   // every byte received
  std::string head;  // up to the blank line, exclusive
  std::string body;
  int status = 0;
  std::optional<std::string> contentLength;  // the header's value exactly as sent
};

inline std::string Lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

inline Response Parse(std::string raw, End end) {
  Response r;
  r.end = end;
  r.raw = std::move(raw);
  const std::size_t blank = r.raw.find("\r\n\r\n");
  if (blank == std::string::npos) return r;
  r.head = r.raw.substr(0, blank);
  r.body = r.raw.substr(blank + 4);
  std::istringstream lines(r.head);
  std::string line;
  std::getline(lines, line);
  if (line.rfind("HTTP/1.", 0) == 0 && line.size() >= 12) r.status = std::stoi(line.substr(9, 3));
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (Lower(line.substr(0, colon)) == "content-length") {
      const std::size_t start = line.find_first_not_of(' ', colon + 1);
      r.contentLength = start == std::string::npos ? std::string() : line.substr(start);
    }
  }
  return r;
}

// Connects to 127.0.0.1:port, or returns -1.
inline int Connect(std::uint16_t port, int timeoutMs) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

inline bool SendAll(int fd, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads until the server closes, resets, or stays silent for timeoutMs.
inline Response ReadAll(int fd) {
  std::string raw;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      raw.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) return Parse(std::move(raw), End::Closed);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Parse(std::move(raw), End::TimedOut);
    if (errno == ECONNRESET) return Parse(std::move(raw), End::Reset);
    return Parse(std::move(raw), End::Error);
  }
}

inline Response Exchange(std::uint16_t port, const std::string& request, int timeoutMs = 10000) {
  const int fd = Connect(port, timeoutMs);
  if (fd < 0) return Response{};
  Response r = SendAll(fd, request) ? ReadAll(fd) : Response{};
  ::close(fd);
  return r;
}

inline Response Get(std::uint16_t port, const std::string& target, int timeoutMs = 10000) {
  return Exchange(port, "GET " + target + " HTTP/1.0\r\nAccept: */*\r\n\r\n", timeoutMs);
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("vendor_server_test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace rawhttp
