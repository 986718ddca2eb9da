// The installer's system calls on Windows: path, environment, folders and files.
// clang-format off
#include "platform/win32/system/Win32System.h"
#include <windows.h>
// clang-format on
#undef DeleteFile

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {
// A fresh folder under %TEMP% for each test, removed with its contents at the end.
class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
    root = std::string(temp) + "websetup-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(::CreateDirectoryA(root.c_str(), nullptr));
    ::GetCurrentDirectoryA(MAX_PATH, cwd);
  }
  void TearDown() override {
    ::SetCurrentDirectoryA(cwd);
    std::string from = root + std::string(1, '\0');  // double-NUL terminated
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationA(&op);
  }
  static bool IsFolder(const std::string& path) {
    const DWORD a = ::GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  void Write(const std::string& path) { std::ofstream(path) << "x"; }

  TWin32System system;
  std::string root;
  char cwd[MAX_PATH] = {};
};
}  // namespace

TEST(Win32System, ModuleFileNameIsTheFullPathOfTheExecutable) {
  TWin32System system;
  const AnsiText path = system.ModuleFileName();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(path.substr(1, 2), ":\\");
  EXPECT_EQ(path.substr(path.rfind('\\') + 1), "win32_test.exe");
  EXPECT_EQ(system.PathDelimiter(), '\\');
}

TEST(Win32System, EnvironmentIsFoundWithoutRegardToCaseAndSizedAsWindowsSizesIt) {
  TWin32System system;
  ASSERT_TRUE(::SetEnvironmentVariableA("WebSetup_Test_Value", "C:\\Temp\\x"));
  // Asked without a buffer: the size the value needs, terminator included.
  EXPECT_EQ(system.GetEnvironmentVariableA("websetup_test_value", nullptr, 0), 10u);
  char buffer[10];
  EXPECT_EQ(system.GetEnvironmentVariableA("WEBSETUP_TEST_VALUE", buffer, sizeof buffer), 9u);
  EXPECT_STREQ(buffer, "C:\\Temp\\x");
  char small[4];
  EXPECT_EQ(system.GetEnvironmentVariableA("websetup_test_value", small, sizeof small), 10u);
  EXPECT_EQ(system.GetEnvironmentVariableA("websetup_test_unset", buffer, sizeof buffer), 0u);
}

TEST_F(Win32Files, ForceDirectoriesCreatesEveryMissingParent) {
  const std::string deep = root + "\\a\\b\\c\\";
  EXPECT_TRUE(system.ForceDirectories(deep, false));
  EXPECT_TRUE(IsFolder(root + "\\a\\b\\c"));
  EXPECT_TRUE(system.ForceDirectories(deep, false)) << "an existing folder counts as made";
  EXPECT_TRUE(system.ForceDirectories(root + "\\a\\b\\d", false));
  EXPECT_TRUE(IsFolder(root + "\\a\\b\\d"));
}

TEST_F(Win32Files, ForceDirectoriesFailsWhereAFileStandsInTheWay) {
  Write(root + "\\file");
  EXPECT_FALSE(system.ForceDirectories(root + "\\file\\sub\\", false));
  EXPECT_FALSE(system.ForceDirectories(root + "\\file", false));
}

TEST_F(Win32Files, AFolderIsNoFile) {
  Write(root + "\\setup.exe");
  EXPECT_TRUE(system.FileExists(root + "\\setup.exe"));
  EXPECT_FALSE(system.FileExists(root));
  EXPECT_FALSE(system.FileExists(root + "\\"));
  EXPECT_FALSE(system.FileExists(root + "\\missing.exe"));
}

TEST_F(Win32Files, DeleteFileRemovesAFileAndReportsAMissingOne) {
  Write(root + "\\old._dl");
  EXPECT_TRUE(system.DeleteFile(root + "\\old._dl"));
  EXPECT_FALSE(system.FileExists(root + "\\old._dl"));
  EXPECT_FALSE(system.DeleteFile(root + "\\old._dl"));
}

TEST_F(Win32Files, SetCurrentDirectoryReturnsTheSystemsErrorCode) {
  EXPECT_EQ(system.SetCurrentDirectoryA(root + "\\"), 0);
  char now[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, now);
  EXPECT_EQ(std::string(now), root);
  EXPECT_EQ(system.SetCurrentDirectoryA(root + "\\gone\\"), 2);
  EXPECT_EQ(system.SetCurrentDirectoryA(root + "\\gone\\deeper\\"), 3);
}
