// The system-information component on the Win32 platform, under the Windows
// version the prefix is set to (WEBSETUP_WINDOWS_VERSION: win2k or win10, as
// scripts/windows-test.sh sets it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "framework/Component.h"
#include "platform/win32/sysinfo/Win32SysInfoPlatform.h"
#include "sysinfo/KvSysInfo.h"

namespace {
std::string ConfiguredVersion() {
  const char* v = std::getenv("WEBSETUP_WINDOWS_VERSION");
  return v != nullptr ? v : "";
}

class Win32SysInfo : public ::testing::Test {
 protected:
  TComponent owner{nullptr};
  TKvSysInfo* info = new TKvSysInfo(&owner, Win32SysInfoPlatform());
};
}  // namespace

TEST_F(Win32SysInfo, EveryPropertyHasText) {
  EXPECT_FALSE(info->ComputerName().empty());
  EXPECT_FALSE(info->UserName().empty());
  EXPECT_FALSE(info->OSProductName().empty());
  EXPECT_FALSE(info->OSDescription().empty());
  const AnsiText system = info->SystemDirectory();
  ASSERT_GE(system.size(), 3u);
  EXPECT_EQ(system[1], ':');
  EXPECT_NE(system.back(), '\\');
}

TEST_F(Win32SysInfo, DescribesTheConfiguredWindowsVersion) {
  const std::string version = ConfiguredVersion();
  if (version == "win2k") {
    EXPECT_EQ(info->OSProductName(), "Windows 2000");
    EXPECT_EQ(info->OSDescription(), "Windows 2000 Professional Service Pack 4 (Build 2195)");
  } else if (version == "win10") {
    // 10.0 has no name of its own; no service pack leaves two spaces.
    EXPECT_EQ(info->OSProductName(), "Unknown Windows NT Release");
    EXPECT_TRUE(std::regex_match(
        info->OSDescription(), std::regex(R"(Unknown Windows NT Release Professional  \(Build 1[0-9]{4}\))")))
        << info->OSDescription();
  } else {
    GTEST_SKIP() << "WEBSETUP_WINDOWS_VERSION not set (win2k or win10)";
  }
}
