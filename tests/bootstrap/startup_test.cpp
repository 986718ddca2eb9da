#include "bootstrap/Startup.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "tests/support/CaseName.h"
#include "tests/support/FakeSystem.h"

namespace {
struct TStartRun {
  TBootstrapState state;
  TStartupResult result;
};

TStartRun StartAs(const AnsiText& exe, const AnsiText& arch = "AMD64", TFakeSystem* given = nullptr) {
  TFakeSystem local;
  TFakeSystem& sys = given != nullptr ? *given : local;
  sys.modulePath = "C:\\Apps\\" + exe;
  if (given == nullptr) {
    sys.env["temp"] = "C:\\Temp";
    sys.env["allusersprofile"] = "C:\\ProgramData";
    if (!arch.empty()) sys.env["processor_architecture"] = arch;
  }
  TStartRun r;
  r.result = RunStartup(r.state, sys);
  return r;
}

std::vector<std::pair<AnsiText, AnsiText>> Slots(const TBootstrapState& s) {
  std::vector<std::pair<AnsiText, AnsiText>> out;
  for (int i = 1; i <= TBootstrapState::kSlots; ++i) {
    if (!s.ServerFileNames[static_cast<std::size_t>(i)].empty() ||
        !s.LocalFileNames[static_cast<std::size_t>(i)].empty()) {
      out.emplace_back(s.ServerFileNames[static_cast<std::size_t>(i)],
                       s.LocalFileNames[static_cast<std::size_t>(i)]);
    }
  }
  return out;
}

constexpr TColor kBluePanel = 0xFFD8B0;
constexpr TColor kBlueGauge = 9262633;
constexpr TColor kVioletPanel = 15564525;
constexpr TColor kVioletGauge = 9765013;
}  // namespace

struct ProductCase {
  AnsiText exe;
  int count;
  std::vector<std::pair<AnsiText, AnsiText>> slots;  // with 64-bit processor
};

class Catalogue : public ::testing::TestWithParam<ProductCase> {};

TEST_P(Catalogue, ProductCodeSelectsItsDownloadList) {
  const ProductCase& p = GetParam();
  const TStartRun r = StartAs(p.exe);
  EXPECT_EQ(r.state.FileCount, p.count);
  EXPECT_EQ(Slots(r.state), p.slots);
  // Every product ends with the setup program somewhere in its list.
  bool hasSetup = false;
  for (const auto& s : p.slots) hasSetup |= s.second == "setup.exe";
  EXPECT_TRUE(hasSetup);
}

namespace {
const std::pair<AnsiText, AnsiText> kDb{"Firebird-64.zip", "Firebird.exe"};
const std::vector<std::pair<AnsiText, AnsiText>> kCommonDl = {
    {"comm32.zip", "comm32._dl"}, {"ntdll.zip", "ntdll._dl"}, {"qtintf70.zip", "qtintf70._dl"}};
std::vector<std::pair<AnsiText, AnsiText>> Join(std::vector<std::pair<AnsiText, AnsiText>> a,
                                                const std::vector<std::pair<AnsiText, AnsiText>>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
}  // namespace

INSTANTIATE_TEST_SUITE_P(
    AllRows, Catalogue,
    ::testing::Values(
        ProductCase{"KALMIRO.exe",
                    3,
                    {{"monitor.zip", "monitor.exe"}, {"setup.zip", "setup.exe"}, {"view.zip", "view.exe"}}},
        ProductCase{"TERBO.exe", 9,
                    Join(kCommonDl, {{"terbo.zip", "terbo._ex"},
                                     kDb,
                                     {"setup.zip", "setup.exe"},
                                     {"fendo.zip", "fendo._ex"},
                                     {"rastel.zip", "rastel._ex"},
                                     {"kolvira.zip", "kolvira._ex"}})},
        ProductCase{"ZULAN_FESTIR.exe", 8,
                    Join(kCommonDl, {{"terbo.zip", "terbo._ex"},
                                     kDb,
                                     {"setup.zip", "setup.exe"},
                                     {"rastel.zip", "rastel._ex"},
                                     {"zulancz.zip", "zulancz.inf"}})},
        ProductCase{"MORVIKA.exe",
                    8,
                    {{"comm32.zip", "comm32.zip"},
                     {"ntdll.zip", "ntdll.zip"},
                     {"qtintf70.zip", "qtintf70.zip"},
                     {"morvika.zip", "morvika.zip"},
                     kDb,
                     {"setup.zip", "setup.exe"},
                     {"morvika_db.zip", "morvika_db.zip"},
                     {"morvika_db_av.zip", "morvika_db_av.zip"}}},
        ProductCase{"DELUNO.exe",
                    8,
                    {{"comm32.zip", "comm32.zip"},
                     {"ntdll.zip", "ntdll.zip"},
                     {"qtintf70.zip", "qtintf70.zip"},
                     {"deluno.zip", "deluno.zip"},
                     kDb,
                     {"setup.zip", "setup.exe"},
                     {"teamviewer.zip", "teamviewer.zip"},
                     {"demodata.zip", "demodata.txt"}}},
        ProductCase{"OSTRAF.exe", 6,
                    Join(kCommonDl, {{"vindel.zip", "vindel._ex"}, kDb, {"setup.zip", "setup.exe"}})},
        ProductCase{"BALMOT.exe", 6,
                    Join(kCommonDl, {{"balmot.zip", "balmot._ex"}, kDb, {"setup.zip", "setup.exe"}})},
        ProductCase{"GRENIK.exe", 6,
                    Join(kCommonDl, {{"grenik.zip", "grenik._ex"}, kDb, {"setup.zip", "setup.exe"}})},
        ProductCase{"PALUNE.exe",
                    5,
                    {{"palune.zip", "palune._ex"},
                     {"tormen.zip", "palune._cs"},
                     kDb,
                     {"setup.zip", "setup.exe"},
                     {"tormensk.zip", "palunesk._cs"}}},
        ProductCase{"horbeska12.exe", 7,
                    Join(kCommonDl, {{"horbeska.zip", "horbeska._ex"},
                                     kDb,
                                     {"setup.zip", "setup.exe"},
                                     {"pradok.zip", "pradok._ex"}})},
        ProductCase{"zulan_horbeska12.exe", 8,
                    Join(kCommonDl, {{"horbeska.zip", "horbeska._ex"},
                                     kDb,
                                     {"setup.zip", "setup.exe"},
                                     {"pradok.zip", "pradok._ex"},
                                     {"zulancz.zip", "zulancz.inf"}})},
        ProductCase{"MIRTOSKA.exe",
                    6,
                    {{"vorn.zip", "vorn.zip"},
                     {"setup.zip", "setup.exe"},
                     kDb,
                     {"comm32.zip", "comm32.zip"},
                     {"ntdll.zip", "ntdll.zip"},
                     {"qtintf70.zip", "qtintf70.zip"}}},
        ProductCase{"LENDAK.exe",
                    9,
                    {{"terbo.zip", "terbo.zip"},
                     {"talbiro.zip", "talbiro.zip"},
                     {"lendak.zip", "lendak.zip"},
                     {"setup.zip", "setup.exe"},
                     kDb,
                     {"comm32.zip", "comm32.zip"},
                     {"ntdll.zip", "ntdll.zip"},
                     {"qtintf70.zip", "qtintf70.zip"},
                     {"ozt.zip", "ozt.zip"}}}),
    [](const auto& p) { return CaseName(p.index, p.param.exe); });

struct NameCase {
  AnsiText exe;
  AnsiText programName;
  AnsiText caption;
  int count;
  TColor panel;
  TColor gauge;
};

class ProgramNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ProgramNames, NameCaptionCountAndColours) {
  const NameCase& c = GetParam();
  const TStartRun r = StartAs(c.exe);
  EXPECT_EQ(r.state.ProgramName, c.programName);
  EXPECT_EQ(r.result.Caption, c.caption);
  EXPECT_EQ(r.state.FileCount, c.count);
  EXPECT_EQ(r.result.Colours.PanelColor, c.panel);
  EXPECT_EQ(r.result.Colours.GaugeColor, c.gauge);
  if (c.count == 0) {
    EXPECT_TRUE(Slots(r.state).empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramNames,
    ::testing::Values(NameCase{"TERBO.exe", "TERBO", "TERBO", 9, kBluePanel, kBlueGauge},
                      NameCase{"terbo.exe", "terbo", "TERBO", 9, kBluePanel, kBlueGauge},
                      NameCase{"Terbo.EXE", "Terbo", "TERBO", 9, kBluePanel, kBlueGauge},
                      // The colour test is case-sensitive, the product test is not.
                      NameCase{"zulan_festir.exe", "zulan_festir", "ZULAN_FESTIR", 8, kVioletPanel,
                               kVioletGauge},
                      NameCase{"ZULAN_FESTIR.exe", "ZULAN_FESTIR", "ZULAN_FESTIR", 8, kBluePanel, kBlueGauge},
                      NameCase{"TERBO (2).exe", "TERBO (2)", "TERBO (2)", 0, kBluePanel, kBlueGauge},
                      NameCase{"setup.exe", "setup", "SETUP", 0, kBluePanel, kBlueGauge},
                      // The last four characters go whatever they are.
                      NameCase{"TERBO.ex", "TERB", "TERB", 0, kBluePanel, kBlueGauge},
                      NameCase{"a.ex", "", "", 0, kBluePanel, kBlueGauge},
                      NameCase{"abc", "", "", 0, kBluePanel, kBlueGauge},
                      NameCase{"xzulanx.exe", "xzulanx", "XZULANX", 0, kVioletPanel, kVioletGauge},
                      // Czech letters are raised for the caption and the comparison.
                      NameCase{"\x9e"
                               "lu\x9d.exe",
                               "\x9e"
                               "lu\x9d",
                               "\x8eLU\x8d", 0, kBluePanel, kBlueGauge}),
    [](const auto& p) { return CaseName(p.index, p.param.exe); });

TEST(Startup, FoldersAreBuiltWithThePlatformDelimiter) {
  const TStartRun r = StartAs("TERBO.exe");
  EXPECT_EQ(r.state.DownloadFolder, "C:\\Temp\\TERBO\\");
  EXPECT_EQ(r.state.SharedDataFolder, "C:\\ProgramData\\qormonitor\\");

  TFakeSystem posix;
  posix.delimiter = '/';
  posix.env["temp"] = "/tmp";
  posix.env["allusersprofile"] = "/var/lib";
  posix.modulePath = "/opt/bin/kalmiro.exe";
  TBootstrapState s;
  RunStartup(s, posix);
  EXPECT_EQ(s.DownloadFolder, "/var/lib/qormonitor/");
  EXPECT_EQ(posix.createdFolders, std::vector<AnsiText>{"/var/lib/qormonitor/"});
  EXPECT_EQ(s.FileCount, 3);
}

TEST(Startup, KalmiroDownloadsIntoTheSharedFolder) {
  TFakeSystem sys;
  sys.env["temp"] = "C:\\Temp";
  sys.env["allusersprofile"] = "C:\\ProgramData";
  const TStartRun r = StartAs("kalmiro.exe", "", &sys);
  EXPECT_EQ(r.state.DownloadFolder, r.state.SharedDataFolder);
  EXPECT_EQ(sys.createdFolders, std::vector<AnsiText>{"C:\\ProgramData\\qormonitor\\"});
}

TEST(Startup, UnsetEnvironmentReadsAsEmpty) {
  TFakeSystem sys;
  const TStartRun r = StartAs("TERBO.exe", "", &sys);
  EXPECT_EQ(r.state.DownloadFolder, "\\TERBO\\");
  EXPECT_EQ(r.state.SharedDataFolder, "\\qormonitor\\");
  EXPECT_FALSE(r.state.Is64Bit);
  EXPECT_EQ(r.state.ServerFileNames[5], "Firebird-32.zip");
}

struct ArchCase {
  AnsiText arch;
  bool is64;
};
class Architecture : public ::testing::TestWithParam<ArchCase> {};

TEST_P(Architecture, DatabasePackageFollowsProcessorWidth) {
  const TStartRun r = StartAs("TERBO.exe", GetParam().arch);
  EXPECT_EQ(r.state.Is64Bit, GetParam().is64);
  EXPECT_EQ(r.state.ServerFileNames[5], GetParam().is64 ? "Firebird-64.zip" : "Firebird-32.zip");
  EXPECT_EQ(r.state.LocalFileNames[5], "Firebird.exe");
}

INSTANTIATE_TEST_SUITE_P(Values, Architecture,
                         ::testing::Values(ArchCase{"AMD64", true}, ArchCase{"ARM64", true},
                                           ArchCase{"IA64", true}, ArchCase{"x86", false},
                                           ArchCase{"", false}, ArchCase{"6", false}),
                         [](const auto& p) { return CaseName(p.index, p.param.arch); });

// A 32-bit program on 64-bit Windows sees "x86" in processor_architecture and
// the machine's own architecture in processor_architew6432.
struct WidthCase {
  std::optional<AnsiText> architecture;
  std::optional<AnsiText> wow64;
  bool is64;
};
class MachineWidth : public ::testing::TestWithParam<WidthCase> {};

TEST_P(MachineWidth, TheMachineDecidesWhateverTheProgramsWidth) {
  const WidthCase& c = GetParam();
  TFakeSystem sys;
  sys.env["temp"] = "C:\\Temp";
  if (c.architecture) sys.env["processor_architecture"] = *c.architecture;
  if (c.wow64) sys.env["processor_architew6432"] = *c.wow64;
  const TStartRun r = StartAs("TERBO.exe", "", &sys);
  EXPECT_EQ(r.state.Is64Bit, c.is64);
  EXPECT_EQ(r.state.ServerFileNames[5], c.is64 ? "Firebird-64.zip" : "Firebird-32.zip");
  EXPECT_EQ(r.state.LocalFileNames[5], "Firebird.exe");
  EXPECT_EQ(MachineArchitecture(sys), c.wow64 ? *c.wow64 : c.architecture.value_or(""));
}

INSTANTIATE_TEST_SUITE_P(Values, MachineWidth,
                         ::testing::Values(WidthCase{"x86", std::nullopt, false},
                                           WidthCase{"x86", "AMD64", true}, WidthCase{"x86", "ARM64", true},
                                           WidthCase{"AMD64", std::nullopt, true},
                                           WidthCase{std::nullopt, std::nullopt, false}),
                         [](const ::testing::TestParamInfo<WidthCase>& p) {
                           return p.param.architecture.value_or("unset") + "_" +
                                  p.param.wow64.value_or("unset");
                         });

namespace {
// processor_architew6432 shrinks between the size query and the read.
class TShrinkingWow64 : public TFakeSystem {
 public:
  std::uint32_t GetEnvironmentVariableA(const AnsiText& name, char* buffer, std::uint32_t size) override {
    if (name == "processor_architew6432" && buffer != nullptr) env["processor_architew6432"] = "x8";
    return TFakeSystem::GetEnvironmentVariableA(name, buffer, size);
  }
};
}  // namespace

TEST(Startup, MachineArchitectureIsReadThroughGetEnv) {
  TShrinkingWow64 sys;
  sys.env["processor_architecture"] = "x86";
  sys.env["processor_architew6432"] = "AMD64";
  EXPECT_EQ(MachineArchitecture(sys), "x8");
}

TEST(Startup, FolderThatCannotBeCreatedIsReported) {
  TFakeSystem sys;
  sys.env["temp"] = "C:\\Temp";
  sys.foldersCreatable = false;
  const TStartRun r = StartAs("TERBO.exe", "", &sys);
  EXPECT_FALSE(r.result.FolderReady);
  EXPECT_EQ(r.result.Caption, "TERBO");
  EXPECT_STREQ(kFolderErrorMessage, "Nelze vytvorit tmp adresar");
}

TEST(Startup, GetEnvAsksForTheSizeThenReadsTheValue) {
  TFakeSystem sys;
  sys.env["temp"] = "C:\\Users\\jan\\AppData\\Local\\Temp";
  EXPECT_EQ(GetEnv(sys, "temp"), "C:\\Users\\jan\\AppData\\Local\\Temp");
  EXPECT_EQ(GetEnv(sys, "TEMP"), "C:\\Users\\jan\\AppData\\Local\\Temp");
  sys.env["empty"] = "";
  EXPECT_EQ(GetEnv(sys, "empty"), "");
  EXPECT_EQ(GetEnv(sys, "missing"), "");
}

namespace {
// A variable that shrinks between the size query and the read.
class TShrinkingEnv : public TFakeSystem {
 public:
  int calls = 0;
  std::uint32_t GetEnvironmentVariableA(const AnsiText& name, char* buffer, std::uint32_t size) override {
    if (++calls == 2) env["temp"] = "C:";
    return TFakeSystem::GetEnvironmentVariableA(name, buffer, size);
  }
};
}  // namespace

TEST(Startup, GetEnvKeepsOnlyWhatTheReadCopied) {
  TShrinkingEnv sys;
  sys.env["temp"] = "C:\\Temp";
  EXPECT_EQ(GetEnv(sys, "temp"), "C:");
}
