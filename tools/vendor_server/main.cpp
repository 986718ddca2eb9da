// vendor_server --root DIR --log FILE [--address 127.0.0.1] [--port 0] [--port-file FILE]
//               [--fault PATH=KIND[:ARG]]... [--rate BYTES_PER_SECOND] [--access-log FILE]
//
// Every request is logged, one line each ("GET /download/TERBO/setup.zip 200 1234": method,
// target, status, body bytes sent), on standard output or in the --access-log file.
#include <pthread.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "VendorServer.h"

namespace {

int Usage(const std::string& problem) {
  std::cerr
      << "vendor_server: " << problem << "\n"
      << "usage: vendor_server --root DIR --log FILE [--address 127.0.0.1] [--port 0] [--port-file FILE]\n"
      << "                     [--fault PATH=KIND[:ARG]]... [--rate BYTES_PER_SECOND] [--access-log FILE]\n"
      << "  KIND: cut:N nolength wronglength:N textlength:TEXT notfound stall[:MS] reset\n"
      << "        redirect:CODE:LOCATION auth:USER:PASSWORD proxyauth:USER:PASSWORD rawfile:PATH echo\n";
  return 2;
}

// Written under a temporary name first, so that a poller never reads half a number.
bool WritePortFile(const std::string& path, std::uint16_t port) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << port << '\n';
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root, log, address = "127.0.0.1", portFile, accessLog;
  unsigned long port = 0;
  unsigned long long rate = 0;
  std::vector<std::pair<std::string, vendor::Fault>> faults;

  const std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--help" || option == "-h") return Usage("help");
    if (i + 1 >= args.size()) return Usage("missing value after " + option);
    const std::string& value = args[++i];
    if (option == "--root") {
      root = value;
    } else if (option == "--log") {
      log = value;
    } else if (option == "--address") {
      address = value;
    } else if (option == "--port") {
      try {
        port = std::stoul(value);
      } catch (const std::exception&) {
        return Usage("bad port " + value);
      }
      if (port > 65535) return Usage("bad port " + value);
    } else if (option == "--rate") {
      try {
        rate = std::stoull(value);
      } catch (const std::exception&) {
        return Usage("bad rate " + value);
      }
    } else if (option == "--access-log") {
      accessLog = value;
    } else if (option == "--port-file") {
      portFile = value;
    } else if (option == "--fault") {
      const std::size_t equals = value.find('=');
      std::optional<vendor::Fault> fault;
      if (equals != std::string::npos) fault = vendor::ParseFault(std::string_view(value).substr(equals + 1));
      if (!fault) return Usage("bad fault " + value);
      faults.emplace_back(value.substr(0, equals), *fault);
    } else {
      return Usage("unknown option " + option);
    }
  }
  if (root.empty() || log.empty()) return Usage("--root and --log are required");

  // Blocked before the server thread exists, so that only sigwait below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::ofstream accessFile;
  if (!accessLog.empty()) {
    accessFile.open(accessLog, std::ios::app);
    if (!accessFile) {
      std::cerr << "vendor_server: cannot write " << accessLog << "\n";
      return 1;
    }
  }
  std::ostream& requests = accessLog.empty() ? std::cout : accessFile;

  vendor::VendorServer server(root, log);
  // Flushed line by line, so that whoever watches sees each request as it ends.
  server.SetRequestLog([&requests](const std::string& line) { requests << line << std::endl; });
  for (const auto& [path, fault] : faults) server.SetFault(path, fault);
  server.SetRate(rate);
  try {
    server.Start(address, static_cast<std::uint16_t>(port));
  } catch (const std::exception& e) {
    std::cerr << "vendor_server: cannot listen on " << address << ":" << port << ": " << e.what() << "\n";
    return 1;
  }
  if (!portFile.empty() && !WritePortFile(portFile, server.Port())) {
    std::cerr << "vendor_server: cannot write " << portFile << "\n";
    return 1;
  }
  std::cout << "vendor server listening on http://" << address << ":" << server.Port() << "/" << std::endl;

  int received = 0;
  sigwait(&stopSignals, &received);
  server.Stop();
  return 0;
}
