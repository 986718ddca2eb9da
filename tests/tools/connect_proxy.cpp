// connect_proxy --upstream HOST:PORT --port-file FILE [--route NAME=PORT]... [--authorization VALUE]
//               [--plain HOST:PORT]
//
// The proxy an office network puts between the installer and the web, for
// https:// only: it answers "CONNECT name:443" by tunnelling the bytes to
// UPSTREAM (a route sends one name to 127.0.0.1:PORT instead), so the TLS
// runs of the tests reach a local server under any host name without port
// 443. With --authorization it wants exactly that Proxy-Authorization (the
// script encodes it, apart from the program's own encoding) and answers 407
// without it. A plain request goes to the --plain server as it
// is, when one is named; any other request or port is refused. Each request
// is logged to stdout: "CONNECT name:port STATUS", or "GET URL" when handed on.
#include <poll.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "ProxyListener.h"

namespace {
using proxy::Dial;
using proxy::Log;
using proxy::SendAll;
std::string upstreamHost;
int upstreamPort = 0;
std::string plainHost;
int plainPort = 0;
std::map<std::string, int> routes;  // lower-case name -> port on 127.0.0.1
std::string wantedCredentials;      // the whole Proxy-Authorization value, or empty

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

void Answer(int client, const std::string& request, const std::string& status,
            const std::string& extra = {}) {
  Log(request + " " + status.substr(0, 3));
  const std::string answer =
      "HTTP/1.1 " + status + "\r\n" + extra + "Content-Length: 0\r\nConnection: close\r\n\r\n";
  SendAll(client, answer.data(), answer.size());
}

// Both ways until either side closes.
void Relay(int a, int b) {
  char buffer[65536];
  pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, 60000) <= 0) return;
    for (int i = 0; i < 2; ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
      if (n <= 0 || !SendAll(fds[1 - i].fd, buffer, static_cast<std::size_t>(n))) return;
    }
  }
}

void Serve(int client) {
  std::string head;
  char byte;
  // Byte by byte: nothing of the tunnel may be read as part of the head.
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    if (recv(client, &byte, 1, 0) != 1) break;
    head += byte;
  }
  std::istringstream lines(head);
  std::string line;
  std::getline(lines, line);
  std::istringstream requestLine(line);
  std::string method, authority;
  requestLine >> method >> authority;
  const std::string request = method + " " + authority;
  std::string credentials;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto colon = line.find(':');
    if (colon != std::string::npos && Lower(line.substr(0, colon)) == "proxy-authorization") {
      credentials = line.substr(colon + 1);
      credentials.erase(0, credentials.find_first_not_of(' '));
    }
  }
  const auto colon = authority.rfind(':');
  if (method != "CONNECT" && plainPort != 0) {
    Log(request);
    const int server = Dial(plainHost, plainPort);
    if (server >= 0 && SendAll(server, head.data(), head.size())) Relay(client, server);
    if (server >= 0) close(server);
  } else if (method != "CONNECT" || colon == std::string::npos) {
    Answer(client, request, "405 Method Not Allowed");
  } else if (authority.substr(colon + 1) != "443") {
    Answer(client, request, "403 Forbidden");
  } else if (!wantedCredentials.empty() && credentials != wantedCredentials) {
    Answer(client, request, "407 Proxy Authentication Required",
           "Proxy-Authenticate: Basic realm=\"proxy\"\r\n");
  } else {
    const auto route = routes.find(Lower(authority.substr(0, colon)));
    const int server =
        route != routes.end() ? Dial("127.0.0.1", route->second) : Dial(upstreamHost, upstreamPort);
    if (server < 0) {
      Answer(client, request, "502 Bad Gateway");
    } else {
      Log(request + " 200");
      const std::string established = "HTTP/1.1 200 Connection Established\r\n\r\n";
      if (SendAll(client, established.data(), established.size())) Relay(client, server);
      close(server);
    }
  }
  close(client);
}
}  // namespace

int main(int argc, char** argv) {
  std::string portFile;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i], value = argv[i + 1];
    const auto split = value.rfind(':');
    if (option == "--upstream" && split != std::string::npos) {
      upstreamHost = value.substr(0, split);
      upstreamPort = std::stoi(value.substr(split + 1));
    } else if (option == "--plain" && split != std::string::npos) {
      plainHost = value.substr(0, split);
      plainPort = std::stoi(value.substr(split + 1));
    } else if (option == "--route" && value.find('=') != std::string::npos) {
      routes[Lower(value.substr(0, value.find('=')))] = std::stoi(value.substr(value.find('=') + 1));
    } else if (option == "--authorization") {
      wantedCredentials = value;
    } else if (option == "--port-file") {
      portFile = value;
    } else {
      std::cerr << "unknown option " << option << "\n";
      return 2;
    }
  }
  if (upstreamPort == 0 || portFile.empty()) {
    std::cerr << "usage: connect_proxy --upstream HOST:PORT --port-file FILE [--route NAME=PORT]... "
                 "[--authorization VALUE]\n";
    return 2;
  }
  return proxy::ServeForever("connect_proxy", portFile, Serve);
}
