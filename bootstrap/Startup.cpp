#include "bootstrap/Startup.h"

#include <vector>

#include "bootstrap/Catalogue.h"
#include "textconv/Utility.h"

TBootstrapState& BootstrapState() {
  static TBootstrapState state;
  return state;
}

AnsiText DeriveProgramName(const AnsiText& modulePath, char delimiter) {
  const auto slash = modulePath.rfind(delimiter);
  const AnsiText fileName = slash == AnsiText::npos ? modulePath : modulePath.substr(slash + 1);
  // The extension is assumed to be four characters, whatever it is.
  return fileName.size() <= 4 ? AnsiText() : fileName.substr(0, fileName.size() - 4);
}

AnsiText GetEnv(ISystem& system, const AnsiText& name) {
  const std::uint32_t size = system.GetEnvironmentVariableA(name, nullptr, 0);
  if (size < 1) return AnsiText();
  AnsiText value(size - 1, '\0');
  std::vector<char> buffer(size);
  const std::uint32_t length = system.GetEnvironmentVariableA(name, buffer.data(), size);
  // The variable may change between the two calls: keep only what was copied.
  if (length < size) value.assign(buffer.data(), length);
  return value;
}

AnsiText MachineArchitecture(ISystem& system) {
  // A 32-bit program on 64-bit Windows sees "x86" in processor_architecture;
  // the system gives such a process the machine's own value beside it.
  const AnsiText own = GetEnv(system, "processor_architecture");
  const AnsiText machine = GetEnv(system, "processor_architew6432");
  return machine.empty() ? own : machine;
}

TColourScheme ColourScheme(const AnsiText& programName) {
  if (programName.find("zulan") != AnsiText::npos) {
    return {ColorRGB(237, 126, 237), ColorRGB(149, 0, 149)};
  }
  return {ColorRGB(176, 216, 255), ColorRGB(41, 86, 141)};
}

TStartupResult RunStartup(TBootstrapState& state, ISystem& system) {
  TStartupResult result;
  const char delimiter = system.PathDelimiter();
  const AnsiText delim(1, delimiter);
  state.ProgramName = DeriveProgramName(system.ModuleFileName(), delimiter);
  state.DownloadFolder = GetEnv(system, "temp") + delim + state.ProgramName + delim;
  const AnsiText architecture = MachineArchitecture(system);
  result.Caption = CzechUpper(state.ProgramName);
  state.Is64Bit = architecture.find("64") != AnsiText::npos;
  state.SharedDataFolder = GetEnv(system, "allusersprofile") + delim + "qormonitor" + delim;
  result.Colours = ColourScheme(state.ProgramName);
  const bool shared = CzechUpper(state.ProgramName) == "KALMIRO";
  if (shared) state.DownloadFolder = state.SharedDataFolder;
  // What lands here is started later: a folder someone else owns or may
  // write to is as unusable as one that cannot be made.
  result.FolderReady =
      system.ForceDirectories(state.DownloadFolder, shared) && system.IsPrivateFolder(state.DownloadFolder);
  if (!result.FolderReady) return result;
  state.FileCount = 0;
  ApplyCatalogue(state);
  return result;
}
