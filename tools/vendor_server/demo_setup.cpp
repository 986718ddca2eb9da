// Stands in for the product's setup program in the demo: records how it was started.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

namespace {

void AppendLine(const std::filesystem::path& file, const std::string& line) {
  std::ofstream out(file, std::ios::app | std::ios::binary);
  out << line << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  const std::string language = argc > 1 ? argv[1] : "";
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::current_path(ec);
  const std::string line = "started " + language + " in " + folder.string();

  AppendLine("setup-started.log", line);
  if (const char* extraLog = std::getenv("WEBSETUP_DEMO_SETUP_LOG");
      extraLog != nullptr && *extraLog != '\0') {
    AppendLine(extraLog, line);
  }
  std::cout << "Setup started with language " << language << std::endl;
  return 0;
}
