// tamper_proxy --upstream HOST:PORT --port-file FILE [--flip PATH=OFFSET]... [--replace PATH=FILE]...
//              [--delay PATH=MS]...
//
// A proxy between the installer and the vendor's server, as an attacker on
// the network path would run one: it hands every request on unchanged and
// every answer back, except that it flips one bit of the body byte at OFFSET
// of the answers for PATH (the Content-Length stays right), answers PATH
// itself with FILE's bytes where told to, and holds a request for PATH that
// long before handing it on. Each request is logged to stdout as it arrives.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace {
std::map<std::string, long long> flips;
std::map<std::string, std::string> replacements;
std::map<std::string, int> delays;
std::string upstreamHost;
int upstreamPort = 0;
std::mutex logMutex;

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The path of a request target in absolute or origin form.
std::string PathOf(const std::string& target) {
  if (target.rfind("http://", 0) != 0) return target;
  const std::size_t slash = target.find('/', 7);
  return slash == std::string::npos ? "/" : target.substr(slash);
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
  {
    std::lock_guard lock(logMutex);
    std::cout << method << " " << path << std::endl;
  }
  if (const auto r = replacements.find(path); r != replacements.end()) {
    std::ifstream file(r->second, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(bytes.str().size()) +
                               "\r\nConnection: close\r\n\r\n" + bytes.str();
    SendAll(client, answer.data(), answer.size());
    close(client);
    return;
  }
  if (const auto d = delays.find(path); d != delays.end()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(d->second));
  }
  const int server = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(upstreamPort));
  inet_pton(AF_INET, upstreamHost.c_str(), &address.sin_addr);
  if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      !SendAll(server, head.data(), head.size())) {
    close(server);
    close(client);
    return;
  }
  const auto flip = flips.find(path);
  // Bytes of the answer relayed so far, and where its body begins (-1: not yet known).
  long long relayed = 0;
  long long bodyStart = -1;
  std::string answerHead;
  for (;;) {
    const ssize_t n = recv(server, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    if (bodyStart < 0) {
      answerHead.append(buffer, static_cast<std::size_t>(n));
      if (const std::size_t end = answerHead.find("\r\n\r\n"); end != std::string::npos) {
        bodyStart = static_cast<long long>(end + 4);
      }
    }
    if (flip != flips.end() && bodyStart >= 0) {
      const long long at = bodyStart + flip->second - relayed;
      if (at >= 0 && at < n) buffer[at] = static_cast<char>(buffer[at] ^ 0x01);
    }
    relayed += n;
    if (!SendAll(client, buffer, static_cast<std::size_t>(n))) break;
  }
  close(server);
  shutdown(client, SHUT_WR);
  close(client);
}

int Usage() {
  std::cerr << "usage: tamper_proxy --upstream HOST:PORT --port-file FILE [--flip PATH=OFFSET]... "
               "[--replace PATH=FILE]... [--delay PATH=MS]...\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string portFile;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const std::string value = argv[i + 1];
    const std::size_t split = value.find_first_of(option == "--upstream" ? ":" : "=");
    if (split == std::string::npos && option != "--port-file") return Usage();
    if (option == "--upstream") {
      upstreamHost = value.substr(0, split);
      upstreamPort = std::stoi(value.substr(split + 1));
    } else if (option == "--port-file") {
      portFile = value;
    } else if (option == "--flip") {
      flips[value.substr(0, split)] = std::stoll(value.substr(split + 1));
    } else if (option == "--delay") {
      delays[value.substr(0, split)] = std::stoi(value.substr(split + 1));
    } else if (option == "--replace") {
      replacements[value.substr(0, split)] = value.substr(split + 1);
    } else {
      return Usage();
    }
  }
  if (upstreamHost.empty() || portFile.empty()) return Usage();
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  const int yes = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 64) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("tamper_proxy");
    return 1;
  }
  {
    std::ofstream out(portFile + ".tmp");
    out << ntohs(address.sin_port) << "\n";
  }
  std::rename((portFile + ".tmp").c_str(), portFile.c_str());
  for (;;) {
    const int client = accept(listener, nullptr, nullptr);
    if (client >= 0) std::thread(Serve, client).detach();
  }
}
