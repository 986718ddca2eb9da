#pragma once
// Serves the scenario table from a vendor server: every path's file under
// root, every path's fault.
#include <filesystem>
#include <fstream>
#include <vector>

#include "Scenarios.h"
#include "VendorServer.h"

namespace scenarios {

inline void Serve(const std::filesystem::path& root, const std::vector<Row>& rows,
                  vendor::VendorServer& server) {
  const std::filesystem::path folder = root / kFolder;
  std::filesystem::create_directories(folder);
  const std::string content = FileContent();
  for (const Row& row : rows) {
    for (const Served& s : row.served) {
      // A fault that lets the request through serves the file itself.
      std::ofstream(folder / std::filesystem::path(s.path).filename(), std::ios::binary) << content;
      server.SetFault(s.path, s.fault);
    }
  }
}

}  // namespace scenarios
