#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/posix/system/Encoding.h"
#include "platform/posix/sysinfo/PosixSysInfoPlatform.h"
#include "sysinfo/KvSysInfo.h"
#include "tests/support/CaseName.h"

namespace {

// First line a shell command prints, without its line end.
std::string FirstLineOf(const char* command) {
  std::string line;
  if (FILE* pipe = popen(command, "r")) {
    int c;
    while ((c = std::fgetc(pipe)) != EOF && c != '\n') line += static_cast<char>(c);
    pclose(pipe);
  }
  return line;
}

TEST(PosixSysInfo, NamesAgreeWithTheSystemTools) {
  const std::string host = FirstLineOf("hostname");
  const std::string user = FirstLineOf("id -un");
  ASSERT_FALSE(host.empty());
  ASSERT_FALSE(user.empty());
  TKvSysInfo info(nullptr, PosixSysInfoPlatform());
  EXPECT_EQ(info.ComputerName(), Utf8ToAnsi(host));
  EXPECT_EQ(info.UserName(), Utf8ToAnsi(user));
  EXPECT_EQ(info.SystemDirectory(), "/usr/lib");
}

TEST(PosixSysInfo, VersionRecordComesFromUname) {
  const std::string system = FirstLineOf("uname -s");
  const std::string release = FirstLineOf("uname -r");
  ASSERT_FALSE(release.empty());
  const TKernelVersion kernel = ParseKernelRelease(release);

  TOSVersionInfoExA v{};
  std::memset(&v, 0x5A, sizeof v);
  v.dwOSVersionInfoSize = kOSVersionInfoExSize;
  ASSERT_NE(PosixSysInfoPlatform().GetVersionExA(&v), 0);
  EXPECT_EQ(v.dwPlatformId, 2u);
  EXPECT_EQ(v.dwMajorVersion, kernel.major);
  EXPECT_EQ(v.dwMinorVersion, kernel.minor);
  EXPECT_EQ(v.dwBuildNumber, kernel.build);
  EXPECT_EQ(std::string(v.szCSDVersion), system + " " + release);
  EXPECT_EQ(v.wProductType, 0);
  EXPECT_EQ(v.wSuiteMask, 0);

  TKvSysInfo info(nullptr, PosixSysInfoPlatform());
  const std::string description = info.OSDescription();
  const std::string tail =
      " " + system + " " + release + " (Build " + std::to_string(kernel.build & 0xFFFF) + ")";
  ASSERT_GE(description.size(), tail.size());
  EXPECT_EQ(description.substr(description.size() - tail.size()), tail);
  EXPECT_EQ(description.substr(0, description.size() - tail.size()), info.OSProductName());
}

TEST(PosixSysInfo, ShortRecordIsFilledWithinItsSizeAndOthersRefused) {
  TOSVersionInfoExA v{};
  std::memset(&v, 0x5A, sizeof v);
  v.dwOSVersionInfoSize = kOSVersionInfoSize;
  ASSERT_NE(PosixSysInfoPlatform().GetVersionExA(&v), 0);
  EXPECT_EQ(v.dwPlatformId, 2u);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&v);
  for (std::size_t i = kOSVersionInfoSize; i < sizeof v; ++i) EXPECT_EQ(bytes[i], 0x5A) << "byte " << i;

  for (std::uint32_t size : {0u, 100u, 152u, 157u}) {
    TOSVersionInfoExA refused{};
    refused.dwOSVersionInfoSize = size;
    EXPECT_EQ(PosixSysInfoPlatform().GetVersionExA(&refused), 0) << size;
  }
}

TEST(PosixSysInfo, RegistryHasNoKeys) {
  ISysInfoPlatform& platform = PosixSysInfoPlatform();
  TRegKey key = 123;
  EXPECT_EQ(platform.RegOpenKeyExA(kHKeyLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0,
                                   kKeyQueryValue, &key),
            kErrorFileNotFound);
  EXPECT_EQ(key, 0u);
}

TEST(PosixSysInfo, NameCallsReportTheSizeNeededWhenTooSmall) {
  ISysInfoPlatform& platform = PosixSysInfoPlatform();
  const std::string host = Utf8ToAnsi(FirstLineOf("hostname"));
  char buffer[kMaxPath];
  std::uint32_t size = 1;
  EXPECT_EQ(platform.GetComputerNameA(buffer, &size), 0);
  EXPECT_EQ(size, host.size() + 1);
  size = kMaxPath;
  ASSERT_NE(platform.GetComputerNameA(buffer, &size), 0);
  EXPECT_EQ(size, host.size());  // without the NUL, as Windows counts it

  const std::string user = Utf8ToAnsi(FirstLineOf("id -un"));
  size = kMaxPath;
  ASSERT_NE(platform.GetUserNameA(buffer, &size), 0);
  EXPECT_EQ(size, user.size() + 1);  // with the NUL, as Windows counts it

  EXPECT_EQ(platform.GetSystemDirectoryA(buffer, 4), 9u);
  EXPECT_EQ(platform.GetSystemDirectoryA(buffer, kMaxPath), 8u);
}

struct TReleaseCase {
  const char* release;
  std::uint32_t major, minor, build;
};

class KernelRelease : public ::testing::TestWithParam<TReleaseCase> {};

TEST_P(KernelRelease, GivesItsFirstThreeNumbers) {
  const TKernelVersion v = ParseKernelRelease(GetParam().release);
  EXPECT_EQ(v.major, GetParam().major);
  EXPECT_EQ(v.minor, GetParam().minor);
  EXPECT_EQ(v.build, GetParam().build);
}

INSTANTIATE_TEST_SUITE_P(Releases, KernelRelease,
                         ::testing::Values(TReleaseCase{"6.1.0-18-amd64", 6, 1, 0},
                                           TReleaseCase{"5.15.153.1-microsoft-standard-WSL2", 5, 15, 153},
                                           TReleaseCase{"4.19.282", 4, 19, 282},
                                           TReleaseCase{"6.8-rc3", 6, 8, 0}, TReleaseCase{"6", 6, 0, 0},
                                           TReleaseCase{"6.x.3", 6, 0, 0}, TReleaseCase{"", 0, 0, 0},
                                           TReleaseCase{"99999999999.1.2", 0xFFFFFFFF, 1, 2}),
    [](const auto& p) { return CaseName(p.index, p.param.release); });

struct TTextCase {
  const char* name;
  std::string utf8;
  std::string cp1250;
};

class Utf8ToAnsiCases : public ::testing::TestWithParam<TTextCase> {};

TEST_P(Utf8ToAnsiCases, MapsOrMarksEveryCharacter) {
  EXPECT_EQ(Utf8ToAnsi(GetParam().utf8), GetParam().cp1250);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8ToAnsiCases,
    ::testing::Values(TTextCase{"Ascii", "build-pc 01", "build-pc 01"},
                      TTextCase{"Czech", "P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd k\u016f\u0148",
                                "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2"},
                      TTextCase{"CzechUpper", "\u017d\u0158\u010c\u011a\u00c1", "\x8E\xD8\xC8\xCC\xC1"},
                      TTextCase{"Euro", "\u20ac5",
                                "\x80"
                                "5"},
                      TTextCase{"Unmappable", "a\u65e5\u672cb\U0001F600c", "a??b?c"},
                      TTextCase{"InvalidByte",
                                "a\xFF"
                                "b\xC3",
                                "a?b?"},
                      TTextCase{"LoneContinuation", "x\x80y", "x?y"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(AnsiToUtf8Text, RoundTripsCzechAndMarksUndefinedBytes) {
  const std::string czech = "P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd k\u016f\u0148 \u20ac";
  EXPECT_EQ(AnsiToUtf8(Utf8ToAnsi(czech)), czech);
  EXPECT_EQ(AnsiToUtf8("a\x81"
                         "b\x98"),
            "a?b?");
}

}  // namespace
