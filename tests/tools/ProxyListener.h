#pragma once
// What the test proxies share: a listener on a loopback port the system picks
// (no other test can hold it), written to a file for the script that started
// the proxy; one thread a connection; whole sends; one log line at a time.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

namespace proxy {

inline bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

inline bool SendText(int fd, const std::string& text) {
  return SendAll(fd, text.data(), text.size());
}

inline void Log(const std::string& line) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::cout << line << std::endl;
}

// Connects to host:port; -1 when it cannot.
inline int Dial(const std::string& host, int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (fd < 0 || inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 ||
      connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

// Listens, writes the port into portFile (whole, by a rename) and serves each
// connection on a thread of its own; returns only when it cannot listen.
inline int ServeForever(const char* name, const std::string& portFile, void (*serve)(int client)) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 64) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror(name);
    return 1;
  }
  {
    std::ofstream out(portFile + ".tmp");
    out << ntohs(address.sin_port) << "\n";
  }
  std::rename((portFile + ".tmp").c_str(), portFile.c_str());
  for (;;) {
    const int client = accept(listener, nullptr, nullptr);
    if (client >= 0) std::thread(serve, client).detach();
  }
}

}  // namespace proxy
