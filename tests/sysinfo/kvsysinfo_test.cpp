#include "sysinfo/KvSysInfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/CaseName.h"
#include "tests/support/FakeSysInfoPlatform.h"

namespace {

const char* const kProductOptions = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
const char* const kHotfix6a = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

enum class Form { Accepted, Refused };

// A registry string value as stored: with its NUL.
std::string Sz(const char* text) {
  return std::string(text) + '\0';
}

struct TVersionCase {
  const char* name;
  std::uint32_t platformId;
  std::uint32_t major;
  std::uint32_t minor;
  std::uint32_t build;
  const char* csd;
  Form form;
  std::uint8_t productType;
  std::uint16_t suiteMask;
  bool hotfixKey;
  const char* productTypeValue;  // nullptr: no ProductOptions key at all
  const char* description;
};

void PrintTo(const TVersionCase& c, std::ostream* os) {
  *os << c.name;
}

void Configure(TFakeSysInfoPlatform& platform, const TVersionCase& c) {
  platform.version.dwPlatformId = c.platformId;
  platform.version.dwMajorVersion = c.major;
  platform.version.dwMinorVersion = c.minor;
  platform.version.dwBuildNumber = c.build;
  std::strncpy(platform.version.szCSDVersion, c.csd, sizeof platform.version.szCSDVersion - 1);
  platform.version.wProductType = c.productType;
  platform.version.wSuiteMask = c.suiteMask;
  platform.acceptExtended = c.form == Form::Accepted;
  if (c.hotfixKey) platform.registry[kHotfix6a] = {};
  if (c.productTypeValue != nullptr)
    platform.registry[kProductOptions] = {{"ProductType", Sz(c.productTypeValue)}};
}

class Description : public ::testing::TestWithParam<TVersionCase> {};

TEST_P(Description, IsBuiltFromRecordAndRegistry) {
  TFakeSysInfoPlatform platform;
  Configure(platform, GetParam());
  TKvSysInfo info(nullptr, platform);
  EXPECT_EQ(info.OSDescription(), GetParam().description);
}

constexpr auto A = Form::Accepted;
constexpr auto R = Form::Refused;
constexpr auto kNoKey = nullptr;

// clang-format off
const TVersionCase kKnownSystems[] = {
  {"XpProSp2",          2, 5, 1,  2600, "Service Pack 2", A, 1, 0,      false, kNoKey,   "Windows XP Professional Service Pack 2 (Build 2600)"},
  {"XpHomeSp1",         2, 5, 1,  2600, "Service Pack 1", A, 1, 0x0200, false, kNoKey,   "Windows XP Home Edition Service Pack 1 (Build 2600)"},
  {"W2kAdvServerSp4",   2, 5, 0,  2195, "Service Pack 4", A, 3, 0x0002, false, kNoKey,   "Windows 2000 Advanced Server Service Pack 4 (Build 2195)"},
  {"Nt4Sp6aHotfix",     2, 4, 0,  1381, "Service Pack 6", A, 1, 0,      true,  kNoKey,   "Windows NT Workstation version 4.0 Service Pack 6a (Build 1381)"},
  {"Nt4Sp5ShortForm",   2, 4, 0,  1381, "Service Pack 5", R, 0, 0,      false, "WinNT",  "Windows NT Professional version 4.0 Service Pack 5 (Build 1381)"},
  {"S2003DomainCtrl",   2, 5, 2,  3790, "Service Pack 1", A, 2, 0,      false, kNoKey,   "Windows Server 2003 Service Pack 1 (Build 3790)"},
  {"Win98SE",           1, 4, 10, 0,    " A ",            A, 0, 0,      false, kNoKey,   "Windows 98 SE"},
  {"Win95OSR2",         1, 4, 0,  0,    " C ",            A, 0, 0,      false, kNoKey,   "Windows 95 OSR2"},
  {"WinMe",             1, 4, 90, 0,    "",               A, 0, 0,      false, kNoKey,   "Windows Me"},
  {"Win32s",            0, 0, 0,  0,    "",               A, 0, 0,      false, kNoKey,   "Win32s"},
};

const TVersionCase kEdgeCases[] = {
  // Neither edition, service pack nor build outside the 9x and NT families.
  {"PlatformZeroFull",  0, 5, 1,  2600, "Service Pack 2", A, 1, 0,      true,  "WinNT",  "Win32s"},
  {"PlatformThree",     3, 5, 1,  2600, "Service Pack 2", A, 1, 0,      false, kNoKey,   "Win32s"},
  {"NtSix",             2, 6, 0,  6000, "Service Pack 1", A, 1, 0,      false, kNoKey,   "Unknown Windows NT Release Professional Service Pack 1 (Build 6000)"},
  {"NtFiveThree",       2, 5, 3,  100,  "",               A, 1, 0,      false, kNoKey,   "Unknown Windows NT Release Professional  (Build 100)"},
  // Server editions of 5.2: "Web" only for the blade bit alone.
  {"S2003Web",          2, 5, 2,  3790, "Service Pack 1", A, 3, 0x0400, false, kNoKey,   "Windows Server 2003 Web Edition Service Pack 1 (Build 3790)"},
  {"S2003WebPlusBit",   2, 5, 2,  3790, "Service Pack 1", A, 3, 0x0410, false, kNoKey,   "Windows Server 2003 Standard Edition Service Pack 1 (Build 3790)"},
  {"S2003WebEnterprise",2, 5, 2,  3790, "Service Pack 1", A, 3, 0x0402, false, kNoKey,   "Windows Server 2003 Enterprise Edition Service Pack 1 (Build 3790)"},
  {"S2003Datacenter",   2, 5, 2,  3790, "",               A, 3, 0x0082, false, kNoKey,   "Windows Server 2003 Datacenter Edition  (Build 3790)"},
  {"W2kDatacenter",     2, 5, 0,  2195, "",               A, 3, 0x0082, false, kNoKey,   "Windows 2000 Datacenter Server  (Build 2195)"},
  {"W2kServer",         2, 5, 0,  2195, "",               A, 3, 0x0400, false, kNoKey,   "Windows 2000 Server  (Build 2195)"},
  {"Nt4ServerEnt",      2, 4, 0,  1381, "",               A, 3, 0x0002, false, kNoKey,   "Windows NT Server, Enterprise Edition version 4.0  (Build 1381)"},
  {"NtSixServer",       2, 6, 0,  6001, "",               A, 3, 0x0080, false, kNoKey,   "Unknown Windows NT Release Server  (Build 6001)"},
  {"XpWorkstationOnly4",2, 5, 1,  2600, "",               A, 1, 0,      false, "WinNT",  "Windows XP Professional  (Build 2600)"},
  // An empty service pack leaves two spaces; only the low 16 bits of the build count.
  {"EmptyCsdMajor4",    2, 4, 0,  1381, "",               A, 1, 0,      false, kNoKey,   "Windows NT Workstation version 4.0  (Build 1381)"},
  {"BuildHighBits",     2, 5, 1,  0xC5010A28, "Service Pack 2", A, 1, 0, false, kNoKey,  "Windows XP Professional Service Pack 2 (Build 2600)"},
  {"BuildHighBitsNt4",  2, 4, 0,  0x04000565, "",         A, 1, 0,      false, kNoKey,   "Windows NT Workstation version 4.0  (Build 1381)"},
  // Service Pack 6a only on major 4, matched without regard to case, kept as given otherwise.
  {"Sp6LowerHotfix",    2, 4, 0,  1381, "service pack 6", A, 1, 0,      true,  kNoKey,   "Windows NT Workstation version 4.0 Service Pack 6a (Build 1381)"},
  {"Sp6LowerNoHotfix",  2, 4, 0,  1381, "service pack 6", A, 1, 0,      false, kNoKey,   "Windows NT Workstation version 4.0 service pack 6 (Build 1381)"},
  {"Sp6On351",          2, 3, 51, 1057, "service pack 6", A, 1, 0,      true,  kNoKey,   "Windows NT Professional version 3.51 service pack 6 (Build 1057)"},
  {"Sp6OnW2k",          2, 5, 0,  2195, "Service Pack 6", A, 1, 0,      true,  kNoKey,   "Windows 2000 Professional Service Pack 6 (Build 2195)"},
  {"Sp6aAlready",       2, 4, 0,  1381, "Service Pack 6a",A, 1, 0,      true,  kNoKey,   "Windows NT Workstation version 4.0 Service Pack 6a (Build 1381)"},
  {"Sp60NotSp6",        2, 4, 0,  1381, "Service Pack 60",A, 1, 0,      true,  kNoKey,   "Windows NT Workstation version 4.0 Service Pack 60 (Build 1381)"},
  // Short form: the edition comes from the ProductType value, whatever its case.
  {"ShortWinNtLower",   2, 4, 0,  1381, "",               R, 1, 0x0200, false, "winnt",  "Windows NT Professional version 4.0  (Build 1381)"},
  {"ShortWinNtUpper",   2, 5, 0,  2195, "",               R, 0, 0,      false, "WINNT",  "Windows 2000 Professional  (Build 2195)"},
  {"ShortLanman",       2, 4, 0,  1381, "",               R, 0, 0,      false, "LanmanNT", "Windows NT Server version 4.0  (Build 1381)"},
  {"ShortServerNT",     2, 4, 0,  1381, "",               R, 0, 0,      false, "serverNT", "Windows NT Advanced Server version 4.0  (Build 1381)"},
  {"ShortOtherValue",   2, 4, 0,  1381, "",               R, 0, 0,      false, "WinNT4", "Windows NT version 4.0  (Build 1381)"},
  {"ShortNoKey",        2, 4, 0,  1381, "Service Pack 5", R, 1, 0x0200, false, kNoKey,   "Windows NT version 4.0 Service Pack 5 (Build 1381)"},
  // 9x sub-releases: the second character, exact upper case, on the right minor only.
  {"Win95SecondA",      1, 4, 0,  0,    " A ",            A, 0, 0,      false, kNoKey,   "Windows 95"},
  {"Win95SecondB",      1, 4, 0,  0,    " B",             A, 0, 0,      false, kNoKey,   "Windows 95 OSR2"},
  {"Win95SecondLowerC", 1, 4, 0,  0,    " c",             A, 0, 0,      false, kNoKey,   "Windows 95"},
  {"Win95FirstC",       1, 4, 0,  0,    "C",              A, 0, 0,      false, kNoKey,   "Windows 95"},
  {"Win98SecondC",      1, 4, 10, 0,    " C",             A, 0, 0,      false, kNoKey,   "Windows 98"},
  {"Win98SecondLowerA", 1, 4, 10, 0,    " a",             A, 0, 0,      false, kNoKey,   "Windows 98"},
  {"WinMeSecondA",      1, 4, 90, 0,    " A",             A, 0, 0,      false, kNoKey,   "Windows Me"},
  {"Win9xOtherMajor",   1, 3, 0,  0,    " C",             A, 1, 0,      false, "WinNT",  "Unknown Windows 9x Release"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(KnownSystems, Description, ::testing::ValuesIn(kKnownSystems),
                         [](const auto& p) { return std::string(p.param.name); });
INSTANTIATE_TEST_SUITE_P(EdgeCases, Description, ::testing::ValuesIn(kEdgeCases),
                         [](const auto& p) { return std::string(p.param.name); });

struct TProductCase {
  std::uint32_t platformId;
  std::uint32_t major;
  std::uint32_t minor;
  const char* product;
};

class ProductName : public ::testing::TestWithParam<TProductCase> {};

TEST_P(ProductName, FollowsClassification) {
  TFakeSysInfoPlatform platform;
  platform.version.dwPlatformId = GetParam().platformId;
  platform.version.dwMajorVersion = GetParam().major;
  platform.version.dwMinorVersion = GetParam().minor;
  TKvSysInfo info(nullptr, platform);
  EXPECT_EQ(info.OSProductName(), GetParam().product);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProductName,
    ::testing::Values(TProductCase{1, 4, 0, "Windows 95"}, TProductCase{1, 4, 10, "Windows 98"},
                      TProductCase{1, 4, 90, "Windows Me"},
                      TProductCase{1, 4, 1, "Unknown Windows 9x Release"},
                      TProductCase{1, 5, 0, "Unknown Windows 9x Release"},
                      TProductCase{2, 0, 0, "Windows NT"}, TProductCase{2, 3, 51, "Windows NT"},
                      TProductCase{2, 4, 90, "Windows NT"}, TProductCase{2, 5, 0, "Windows 2000"},
                      TProductCase{2, 5, 1, "Windows XP"}, TProductCase{2, 5, 2, "Windows Server 2003"},
                      TProductCase{2, 5, 3, "Unknown Windows NT Release"},
                      TProductCase{2, 6, 1, "Unknown Windows NT Release"},
                      TProductCase{2, 10, 0, "Unknown Windows NT Release"}, TProductCase{0, 4, 0, "Win32s"},
                      TProductCase{3, 5, 1, "Win32s"}, TProductCase{0xFFFFFFFF, 4, 0, "Win32s"}),
    [](const auto& p) {
      return CaseName(p.index, "Id" + CaseNumber(p.param.platformId) + "_" + CaseNumber(p.param.major) + "_" +
                                   CaseNumber(p.param.minor));
    });

TEST(VersionRecord, ExtendedFormIsAskedFirstAndRegistryLeftAlone) {
  TFakeSysInfoPlatform platform;
  platform.version = {0, 5, 1, 2600, 2, "Service Pack 2", 0, 0, 0, 1, 0};
  platform.registry[kProductOptions] = {{"ProductType", Sz("LanmanNT")}};
  TKvSysInfo info(nullptr, platform);
  EXPECT_EQ(info.OSDescription(), "Windows XP Professional Service Pack 2 (Build 2600)");
  EXPECT_EQ(platform.versionSizes, (std::vector<std::uint32_t>{156}));
  EXPECT_TRUE(platform.keysOpened.empty());
}

TEST(VersionRecord, ShortFormFollowsRefusalWithFreshZeroedRecord) {
  TFakeSysInfoPlatform platform;
  platform.acceptExtended = false;
  platform.version = {0, 5, 0, 2195, 2, "Service Pack 4", 0, 0, 0x0080, 3, 0};
  platform.registry[kProductOptions] = {{"ProductType", Sz("ServerNT")}};
  TKvSysInfo info(nullptr, platform);
  // The suite mask and product type of a short record are not the edition's source.
  EXPECT_EQ(info.OSDescription(), "Windows 2000 Advanced Server Service Pack 4 (Build 2195)");
  EXPECT_EQ(platform.versionSizes, (std::vector<std::uint32_t>{156, 148}));
  EXPECT_EQ(platform.keysOpened, (std::vector<std::string>{kProductOptions}));
}

TEST(VersionRecord, ProductTypeValueReadOnlyUpToItsNul) {
  TFakeSysInfoPlatform platform;
  platform.acceptExtended = false;
  platform.version = {0, 4, 0, 1381, 2, "", 0, 0, 0, 0, 0};
  platform.registry[kProductOptions] = {{"ProductType", std::string("WinNT\0Server", 12)}};
  TKvSysInfo info(nullptr, platform);
  EXPECT_EQ(info.OSDescription(), "Windows NT Professional version 4.0  (Build 1381)");
}

TEST(VersionRecord, ProductTypeValueTooLongOrMissingGivesNoEdition) {
  for (const auto& values : std::vector<std::map<std::string, std::string>>{
           {{"ProductType", std::string(100, 'W')}},
           {{"ProductType", std::string(81, 'W')}},  // fills the buffer, no NUL
           {{"Other", Sz("WinNT")}}}) {
    TFakeSysInfoPlatform platform;
    platform.acceptExtended = false;
    platform.version = {0, 4, 0, 1381, 2, "", 0, 0, 0, 0, 0};
    platform.registry[kProductOptions] = values;
    TKvSysInfo info(nullptr, platform);
    EXPECT_EQ(info.OSDescription(), "Windows NT version 4.0  (Build 1381)");
  }
}

TEST(VersionRecord, FullLengthServicePackTextIsCutAtTheRecord) {
  TFakeSysInfoPlatform platform;
  platform.version = {0, 5, 1, 2600, 2, "", 0, 0, 0, 1, 0};
  std::memset(platform.version.szCSDVersion, 'S', sizeof platform.version.szCSDVersion);
  platform.version.wServicePackMajor = 'X';
  TKvSysInfo info(nullptr, platform);
  EXPECT_EQ(info.OSDescription(), "Windows XP Professional " + std::string(128, 'S') + " (Build 2600)");
}

TEST(VersionRecord, BothFormsRefusedRaisesFromBothReads) {
  TFakeSysInfoPlatform platform;
  platform.acceptExtended = false;
  platform.acceptShort = false;
  TKvSysInfo info(nullptr, platform);
  for (auto read : {&TKvSysInfo::OSProductName, &TKvSysInfo::OSDescription}) {
    platform.versionSizes.clear();
    try {
      (info.*read)();
      ADD_FAILURE() << "no exception";
    } catch (const EKvSysInfo& e) {
      EXPECT_STREQ(e.what(), "Can't get OS version info");
    }
    EXPECT_EQ(platform.versionSizes, (std::vector<std::uint32_t>{156, 148}));
  }
  // The other properties do not depend on the version record.
  EXPECT_EQ(info.ComputerName(), "PC1");
  EXPECT_EQ(info.UserName(), "novak");
  EXPECT_EQ(info.SystemDirectory(), "C:\\WINDOWS\\system32");
}

TEST(VersionRecord, EveryReadAsksThePlatformAgain) {
  TFakeSysInfoPlatform platform;
  platform.version = {0, 5, 1, 2600, 2, "Service Pack 2", 0, 0, 0, 1, 0};
  platform.computerName = "FIRST";
  TKvSysInfo info(nullptr, platform);
  EXPECT_EQ(info.OSProductName(), "Windows XP");
  EXPECT_EQ(info.ComputerName(), "FIRST");
  platform.version.dwMinorVersion = 2;
  platform.computerName = "SECOND";
  EXPECT_EQ(info.OSProductName(), "Windows Server 2003");
  EXPECT_EQ(info.OSDescription(), "Windows Server 2003 Professional Service Pack 2 (Build 2600)");
  EXPECT_EQ(info.ComputerName(), "SECOND");
  EXPECT_EQ(platform.versionSizes.size(), 3u);
}

TEST(Names, ComeFromThePlatformOrAreEmpty) {
  TFakeSysInfoPlatform platform;
  platform.computerName = "N\xC1ZEV-PC";
  platform.userName = std::string(259, 'u');
  TKvSysInfo info(nullptr, platform);
  EXPECT_EQ(info.ComputerName(), "N\xC1ZEV-PC");
  EXPECT_EQ(info.UserName(), std::string(259, 'u'));

  platform.computerName.reset();
  platform.userName.reset();
  EXPECT_EQ(info.ComputerName(), "");
  EXPECT_EQ(info.UserName(), "");
}

struct TFolderCase {
  const char* name;
  std::optional<std::string> reported;
  std::optional<std::uint32_t> result;
  const char* expected;
};

class SystemFolder : public ::testing::TestWithParam<TFolderCase> {};

TEST_P(SystemFolder, LosesEveryTrailingBackslash) {
  TFakeSysInfoPlatform platform;
  platform.systemDirectory = GetParam().reported;
  platform.systemDirectoryResult = GetParam().result;
  TKvSysInfo info(nullptr, platform);
  EXPECT_EQ(info.SystemDirectory(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SystemFolder,
    ::testing::Values(
        TFolderCase{"Plain", "C:\\WINDOWS\\system32", std::nullopt, "C:\\WINDOWS\\system32"},
        TFolderCase{"OneTrailing", "C:\\WINNT\\system32\\", std::nullopt, "C:\\WINNT\\system32"},
        TFolderCase{"TwoTrailing", "C:\\WINNT\\system32\\\\", std::nullopt, "C:\\WINNT\\system32"},
        TFolderCase{"DriveRoot", "C:\\", std::nullopt, "C:"},
        TFolderCase{"OnlyBackslashes", "\\\\\\", std::nullopt, ""},
        TFolderCase{"InnerKept", "\\\\srv\\sys", std::nullopt, "\\\\srv\\sys"},
        TFolderCase{"CallFails", std::nullopt, std::nullopt, ""},
        // The platform reports the size a longer path needs; the buffer holds no path.
        TFolderCase{"BufferTooSmall", "C:\\partial", 300u, ""}),
    [](const auto& p) { return std::string(p.param.name); });

// A component of another class, to sit beside the system-information one.
class TOther : public TComponent {
 public:
  TOther(TComponent* owner, AnsiText name) : TComponent(owner) { SetName(std::move(name)); }
};

// A derived class counts as one of its own kind and names itself.
class TMySysInfo : public TKvSysInfo {
 public:
  TMySysInfo(TComponent* owner, ISysInfoPlatform& platform)
      : TKvSysInfo(owner, platform, "TMySysInfo", &IsInstanceOf<TMySysInfo>) {}
  AnsiText ClassName() const override { return "TMySysInfo"; }
};

std::vector<TComponent*> ComponentsOf(const TComponent& owner) {
  std::vector<TComponent*> list;
  for (int i = 0; i < owner.ComponentCount(); ++i) list.push_back(owner.Components(i));
  return list;
}

// The message of the exception the construction raises; empty when none.
template <class Make>
std::string CreationError(Make make) {
  try {
    make();
  } catch (const EKvSysInfo& e) {
    return std::string("wrong class: ") + e.what();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

TEST(Construction, SecondInstanceOnOwnerIsRefused) {
  TFakeSysInfoPlatform platform;
  TComponent form(nullptr);
  form.SetName("Form1");
  new TOther(&form, "Timer1");
  auto* first = new TKvSysInfo(&form, platform);
  first->SetName("info");
  EXPECT_EQ(first->ClassName(), "TKvSysInfo");
  new TOther(&form, "had");
  const auto before = ComponentsOf(form);

  EXPECT_EQ(CreationError([&] { new TKvSysInfo(&form, platform); }),
            "Only one TKvSysInfo component is permitted on a form: info is already present on Form1");
  EXPECT_EQ(ComponentsOf(form), before);
}

TEST(Construction, DerivedInstancesMatchTheirOwnClassAndBase) {
  TFakeSysInfoPlatform platform;
  TComponent form(nullptr);
  form.SetName("Form2");
  (new TKvSysInfo(&form, platform))->SetName("plain");
  (new TMySysInfo(&form, platform))->SetName("mine");
  ASSERT_EQ(form.ComponentCount(), 2);
  const auto before = ComponentsOf(form);

  EXPECT_EQ(CreationError([&] { new TKvSysInfo(&form, platform); }),
            "Only one TKvSysInfo component is permitted on a form: plain is already present on Form2");
  EXPECT_EQ(CreationError([&] { new TMySysInfo(&form, platform); }),
            "Only one TMySysInfo component is permitted on a form: mine is already present on Form2");
  EXPECT_EQ(ComponentsOf(form), before);

  TComponent other(nullptr);
  other.SetName("Form3");
  (new TMySysInfo(&other, platform))->SetName("mine");
  EXPECT_EQ(CreationError([&] { new TKvSysInfo(&other, platform); }),
            "Only one TKvSysInfo component is permitted on a form: mine is already present on Form3");
}

TEST(Construction, OwnersAreCheckedSeparatelyAndNoOwnerIsFree) {
  TFakeSysInfoPlatform platform;
  TComponent form1(nullptr);
  TComponent form2(nullptr);
  EXPECT_EQ(CreationError([&] { new TKvSysInfo(&form1, platform); }), "");
  EXPECT_EQ(CreationError([&] { new TKvSysInfo(&form2, platform); }), "");
  TKvSysInfo loose1(nullptr, platform);
  TKvSysInfo loose2(nullptr, platform);
  EXPECT_EQ(loose2.Owner(), nullptr);
  EXPECT_EQ(form1.ComponentCount(), 1);
}

}  // namespace
