#include "bootstrap/Catalogue.h"

#include "textconv/Utility.h"

namespace {
// Stands for the database package, whose server name depends on the
// processor width.
constexpr const char* kDatabase = nullptr;
constexpr const char* kDatabaseLocal = "Firebird.exe";
constexpr const char* kDatabase32 = "Firebird-32.zip";
constexpr const char* kDatabase64 = "Firebird-64.zip";

struct TSlot {
  const char* server;
  const char* local;
};

constexpr TSlot kDatabaseSlot{kDatabase, kDatabaseLocal};
constexpr TSlot kSetup{"setup.zip", "setup.exe"};

std::vector<TSlot> Join(std::vector<TSlot> head, const std::vector<TSlot>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

struct TProduct {
  const char* code;
  std::vector<TSlot> slots;
};

const std::vector<TProduct>& Catalogue() {
  // The libraries most products download first, kept under their server names
  // or stored under the names the product's setup program looks for.
  static const std::vector<TSlot> kLibraries = {
      {"comm32.zip", "comm32.zip"}, {"ntdll.zip", "ntdll.zip"}, {"qtintf70.zip", "qtintf70.zip"}};
  static const std::vector<TSlot> kLibrariesRenamed = {
      {"comm32.zip", "comm32._dl"}, {"ntdll.zip", "ntdll._dl"}, {"qtintf70.zip", "qtintf70._dl"}};
  static const std::vector<TProduct> rows = {
      {"KALMIRO", {{"monitor.zip", "monitor.exe"}, kSetup, {"view.zip", "view.exe"}}},
      {"TERBO", Join(kLibrariesRenamed, {{"terbo.zip", "terbo._ex"},
                                         kDatabaseSlot,
                                         kSetup,
                                         {"fendo.zip", "fendo._ex"},
                                         {"rastel.zip", "rastel._ex"},
                                         {"kolvira.zip", "kolvira._ex"}})},
      {"ZULAN_FESTIR", Join(kLibrariesRenamed, {{"terbo.zip", "terbo._ex"},
                                                kDatabaseSlot,
                                                kSetup,
                                                {"rastel.zip", "rastel._ex"},
                                                {"zulancz.zip", "zulancz.inf"}})},
      {"MORVIKA", Join(kLibraries, {{"morvika.zip", "morvika.zip"},
                                    kDatabaseSlot,
                                    kSetup,
                                    {"morvika_db.zip", "morvika_db.zip"},
                                    {"morvika_db_av.zip", "morvika_db_av.zip"}})},
      {"DELUNO", Join(kLibraries, {{"deluno.zip", "deluno.zip"},
                                   kDatabaseSlot,
                                   kSetup,
                                   {"teamviewer.zip", "teamviewer.zip"},
                                   {"demodata.zip", "demodata.txt"}})},
      {"OSTRAF", Join(kLibrariesRenamed, {{"vindel.zip", "vindel._ex"}, kDatabaseSlot, kSetup})},
      {"BALMOT", Join(kLibrariesRenamed, {{"balmot.zip", "balmot._ex"}, kDatabaseSlot, kSetup})},
      {"GRENIK", Join(kLibrariesRenamed, {{"grenik.zip", "grenik._ex"}, kDatabaseSlot, kSetup})},
      {"PALUNE",
       {{"palune.zip", "palune._ex"},
        {"tormen.zip", "palune._cs"},
        kDatabaseSlot,
        kSetup,
        {"tormensk.zip", "palunesk._cs"}}},
      // Row 10 answers to two codes; see ApplyCatalogue.
      {"HORBESKA12",
       Join(kLibrariesRenamed,
            {{"horbeska.zip", "horbeska._ex"}, kDatabaseSlot, kSetup, {"pradok.zip", "pradok._ex"}})},
      {"MIRTOSKA", Join({{"vorn.zip", "vorn.zip"}, kSetup, kDatabaseSlot}, kLibraries)},
      {"LENDAK", Join(Join({{"terbo.zip", "terbo.zip"},
                            {"talbiro.zip", "talbiro.zip"},
                            {"lendak.zip", "lendak.zip"},
                            kSetup,
                            kDatabaseSlot},
                           kLibraries),
                      {{"ozt.zip", "ozt.zip"}})},
  };
  return rows;
}

void WriteSlots(TBootstrapState& state, const std::vector<TSlot>& slots) {
  int n = 0;
  for (const TSlot& slot : slots) {
    ++n;
    const bool database = slot.server == kDatabase;
    state.ServerFileNames[static_cast<std::size_t>(n)] =
        database ? (state.Is64Bit ? kDatabase64 : kDatabase32) : slot.server;
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

bool IsDatabasePackage(const AnsiText& serverName) {
  return serverName == kDatabase32 || serverName == kDatabase64;
}

std::vector<AnsiText> ProductCodes() {
  std::vector<AnsiText> codes;
  for (const TProduct& row : Catalogue()) {
    codes.emplace_back(row.code);
    if (AnsiText(row.code) == "HORBESKA12") codes.emplace_back("ZULAN_HORBESKA12");
  }
  return codes;
}

std::vector<TProductFile> DownloadList(const AnsiText& programName, bool is64Bit) {
  // The installer's own rule, so the tools cannot read the catalogue
  // differently from the program.
  TBootstrapState state;
  state.ProgramName = programName;
  state.Is64Bit = is64Bit;
  ApplyCatalogue(state);
  std::vector<TProductFile> files;
  for (std::int32_t n = 1; n <= state.FileCount; ++n) {
    const auto slot = static_cast<std::size_t>(n);
    files.push_back({state.ServerFileNames[slot], state.LocalFileNames[slot]});
  }
  return files;
}

std::vector<TProductFile> ProductFiles(const AnsiText& programName) {
  std::vector<TProductFile> files;
  for (const bool is64Bit : {false, true}) {
    for (const TProductFile& file : DownloadList(programName, is64Bit)) {
      bool known = false;
      for (const TProductFile& f : files) known = known || f.ServerName == file.ServerName;
      if (known) continue;
      if (is64Bit) {
        // The 64-bit package goes right after the 32-bit one.
        auto at = files.begin();
        while (at != files.end() && at->LocalName != file.LocalName) ++at;
        files.insert(at == files.end() ? at : at + 1, file);
      } else {
        files.push_back(file);
      }
    }
  }
  return files;
}
