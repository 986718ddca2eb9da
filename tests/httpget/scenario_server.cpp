// scenario_server ROOT PORT_FILE: serves the scenario table on 127.0.0.1 for
// the WinINet run under Wine and behind the TLS peers, until SIGINT or SIGTERM.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "ScenarioServe.h"
#include "Scenarios.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: scenario_server ROOT PORT_FILE\n";
    return 2;
  }
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  vendor::VendorServer server(argv[1], std::filesystem::path());
  auto rows = scenarios::Table();
  for (auto& row : scenarios::TlsTable()) rows.push_back(std::move(row));
  scenarios::Serve(argv[1], rows, server);
  try {
    server.Start("127.0.0.1", 0);
  } catch (const std::exception& e) {
    std::cerr << "scenario_server: " << e.what() << "\n";
    return 1;
  }
  const std::string portFile = argv[2];
  {
    std::ofstream out(portFile + ".tmp", std::ios::trunc);
    out << server.Port() << '\n';
  }
  if (std::rename((portFile + ".tmp").c_str(), portFile.c_str()) != 0) return 1;
  int received = 0;
  sigwait(&stopSignals, &received);
  server.Stop();
  return 0;
}
