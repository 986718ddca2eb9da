#include "bootstrap/Startup.h"

#include <string>
#include <vector>

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

namespace {
// Stands for the database package, whose server name depends on the
// processor width.
constexpr const char* kDatabase = nullptr;
constexpr const char* kDatabaseLocal = "Firebird.exe";

struct TSlot {
  const char* server;
  const char* local;
};

struct TProduct {
  const char* code;
  std::vector<TSlot> slots;
};

const std::vector<TProduct>& Catalogue() {
  static const std::vector<TProduct> rows = {
      {"KALMIRO", {{"monitor.zip", "monitor.exe"}, {"setup.zip", "setup.exe"}, {"view.zip", "view.exe"}}},
      {"TERBO",
       {{"comm32.zip", "comm32._dl"},
        {"ntdll.zip", "ntdll._dl"},
        {"qtintf70.zip", "qtintf70._dl"},
        {"terbo.zip", "terbo._ex"},
        {kDatabase, kDatabaseLocal},
        {"setup.zip", "setup.exe"},
        {"fendo.zip", "fendo._ex"},
        {"rastel.zip", "rastel._ex"},
        {"kolvira.zip", "kolvira._ex"}}},
      {"ZULAN_FESTIR",
       {{"comm32.zip", "comm32._dl"},
        {"ntdll.zip", "ntdll._dl"},
        {"qtintf70.zip", "qtintf70._dl"},
        {"terbo.zip", "terbo._ex"},
        {kDatabase, kDatabaseLocal},
        {"setup.zip", "setup.exe"},
        {"rastel.zip", "rastel._ex"},
        {"zulancz.zip", "zulancz.inf"}}},
      {"MORVIKA",
       {{"comm32.zip", "comm32.zip"},
        {"ntdll.zip", "ntdll.zip"},
        {"qtintf70.zip", "qtintf70.zip"},
        {"morvika.zip", "morvika.zip"},
        {kDatabase, kDatabaseLocal},
        {"setup.zip", "setup.exe"},
        {"morvika_db.zip", "morvika_db.zip"},
        {"morvika_db_av.zip", "morvika_db_av.zip"}}},
      {"DELUNO",
       {{"comm32.zip", "comm32.zip"},
        {"ntdll.zip", "ntdll.zip"},
        {"qtintf70.zip", "qtintf70.zip"},
        {"deluno.zip", "deluno.zip"},
        {kDatabase, kDatabaseLocal},
        {"setup.zip", "setup.exe"},
        {"teamviewer.zip", "teamviewer.zip"},
        {"demodata.zip", "demodata.txt"}}},
      {"OSTRAF",
       {{"comm32.zip", "comm32._dl"},
        {"ntdll.zip", "ntdll._dl"},
        {"qtintf70.zip", "qtintf70._dl"},
        {"vindel.zip", "vindel._ex"},
        {kDatabase, kDatabaseLocal},
        {"setup.zip", "setup.exe"}}},
      {"BALMOT",
       {{"comm32.zip", "comm32._dl"},
        {"ntdll.zip", "ntdll._dl"},
        {"qtintf70.zip", "qtintf70._dl"},
        {"balmot.zip", "balmot._ex"},
        {kDatabase, kDatabaseLocal},
        {"setup.zip", "setup.exe"}}},
      {"GRENIK",
       {{"comm32.zip", "comm32._dl"},
        {"ntdll.zip", "ntdll._dl"},
        {"qtintf70.zip", "qtintf70._dl"},
        {"grenik.zip", "grenik._ex"},
        {kDatabase, kDatabaseLocal},
        {"setup.zip", "setup.exe"}}},
      {"PALUNE",
       {{"palune.zip", "palune._ex"},
        {"tormen.zip", "palune._cs"},
        {kDatabase, kDatabaseLocal},
        {"setup.zip", "setup.exe"},
        {"tormensk.zip", "palunesk._cs"}}},
      // Row 10 answers to two codes; see ApplyCatalogue.
      {"HORBESKA12",
       {{"comm32.zip", "comm32._dl"},
        {"ntdll.zip", "ntdll._dl"},
        {"qtintf70.zip", "qtintf70._dl"},
        {"horbeska.zip", "horbeska._ex"},
        {kDatabase, kDatabaseLocal},
        {"setup.zip", "setup.exe"},
        {"pradok.zip", "pradok._ex"}}},
      {"MIRTOSKA",
       {{"vorn.zip", "vorn.zip"},
        {"setup.zip", "setup.exe"},
        {kDatabase, kDatabaseLocal},
        {"comm32.zip", "comm32.zip"},
        {"ntdll.zip", "ntdll.zip"},
        {"qtintf70.zip", "qtintf70.zip"}}},
      {"LENDAK",
       {{"terbo.zip", "terbo.zip"},
        {"talbiro.zip", "talbiro.zip"},
        {"lendak.zip", "lendak.zip"},
        {"setup.zip", "setup.exe"},
        {kDatabase, kDatabaseLocal},
        {"comm32.zip", "comm32.zip"},
        {"ntdll.zip", "ntdll.zip"},
        {"qtintf70.zip", "qtintf70.zip"},
        {"ozt.zip", "ozt.zip"}}},
  };
  return rows;
}

void WriteSlots(TBootstrapState& state, const std::vector<TSlot>& slots) {
  int n = 0;
  for (const TSlot& slot : slots) {
    ++n;
    const bool database = slot.server == kDatabase;
    state.ServerFileNames[static_cast<std::size_t>(n)] =
        database ? (state.Is64Bit ? "Firebird-64.zip" : "Firebird-32.zip") : slot.server;
    state.LocalFileNames[static_cast<std::size_t>(n)] = slot.local;
  }
  state.FileCount = n;
}
}  // namespace

void ApplyCatalogue(TBootstrapState& state) {
  const AnsiText upper = CzechUpper(state.ProgramName);
  for (const TProduct& row : Catalogue()) {
    const AnsiText code = row.code;
    const bool horbeska = code == "HORBESKA12";
    if (upper == code || (horbeska && upper == "ZULAN_HORBESKA12")) {
      WriteSlots(state, row.slots);
      if (horbeska && upper == "ZULAN_HORBESKA12") {
        state.ServerFileNames[8] = "zulancz.zip";
        state.LocalFileNames[8] = "zulancz.inf";
        state.FileCount = 8;
      }
    }
  }
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
  if (CzechUpper(state.ProgramName) == "KALMIRO") state.DownloadFolder = state.SharedDataFolder;
  result.FolderReady = system.ForceDirectories(state.DownloadFolder);
  if (!result.FolderReady) return result;
  state.FileCount = 0;
  ApplyCatalogue(state);
  return result;
}
