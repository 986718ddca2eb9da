// The installer's system calls on Windows: path, environment, folders and files.
// clang-format off
#include "platform/win32/system/Win32System.h"
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on
#undef DeleteFile

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>
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

// A folder whose name the ANSI code page lacks (Cyrillic, under the code
// pages of Czech and Western Windows) is named by its short name, which the
// A functions reach; a value that names no folder reads as the A call gives it.
TEST_F(Win32Files, AFolderTheAnsiCodePageCannotNameIsNamedByItsShortName) {
  const std::wstring wideRoot(root.begin(), root.end());
  const std::wstring folder = wideRoot + L"\\\x042e\x0440\x0438\x0439 \x041f\x0435\x0442\x0440\x043e\x0432";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  ::CloseHandle(::CreateFileW((folder + L"\\inside.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(::SetEnvironmentVariableW(L"WEBSETUP_TEST_TEMP", folder.c_str()));
  const DWORD size = system.GetEnvironmentVariableA("websetup_test_temp", nullptr, 0);
  ASSERT_GT(size, 1u);
  std::string value(size, '\0');
  ASSERT_EQ(system.GetEnvironmentVariableA("websetup_test_temp", value.data(), size), size - 1);
  value.resize(size - 1);
  EXPECT_EQ(value.find('?'), std::string::npos) << value;
  for (const char c : value) EXPECT_LT(static_cast<unsigned char>(c), 0x80u) << value;
  EXPECT_TRUE(IsFolder(value)) << value;
  EXPECT_TRUE(system.FileExists(value + "\\inside.txt")) << value;

  // Naming no folder, the same letters come as the A call gives them.
  const std::wstring nowhere = wideRoot + L"\\\x042e\x0440\x0438\x0439 missing";
  ASSERT_TRUE(::SetEnvironmentVariableW(L"WEBSETUP_TEST_TEMP", nowhere.c_str()));
  char ours[MAX_PATH] = {}, theirs[MAX_PATH] = {};
  EXPECT_EQ(system.GetEnvironmentVariableA("websetup_test_temp", ours, MAX_PATH),
            ::GetEnvironmentVariableA("websetup_test_temp", theirs, MAX_PATH));
  EXPECT_STREQ(ours, theirs);
  EXPECT_FALSE(system.ForceDirectories(std::string(ours) + "\\TERBO\\", false)) << ours;
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

namespace {
// An access list one line per entry: "allow|deny SID mask flags".
std::string Entries(PSECURITY_DESCRIPTOR descriptor, bool& isProtected) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(descriptor, &control, &revision);
  isProtected = (control & SE_DACL_PROTECTED) != 0;
  std::string text;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ::GetAce(dacl, i, &ace);
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    char* sid = nullptr;
    ::ConvertSidToStringSidA(const_cast<DWORD*>(&allowed->SidStart), &sid);
    char line[256];
    std::snprintf(line, sizeof line, "%s %s 0x%lx %u\n", allowed->Header.AceType == 0 ? "allow" : "deny", sid,
                  static_cast<unsigned long>(allowed->Mask), static_cast<unsigned>(allowed->Header.AceFlags));
    ::LocalFree(sid);
    text += line;
  }
  return text;
}

// The access list of a folder as the system reads it back.
std::string AccessList(const std::string& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    return "unreadable";
  bool isProtected = false;
  std::string text = Entries(descriptor, isProtected);
  ::LocalFree(descriptor);
  return text;
}

std::string UserSid() {
  HANDLE token = nullptr;
  ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
  char buffer[256];
  DWORD size = sizeof buffer;
  ::GetTokenInformation(token, TokenUser, buffer, size, &size);
  ::CloseHandle(token);
  char* sid = nullptr;
  ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid);
  std::string text = sid;
  ::LocalFree(sid);
  return text;
}

// Gives the folder an access list of the SDDL's, as an owner may at any time.
void Grant(const std::string& folder, const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr));
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  EXPECT_EQ(::SetNamedSecurityInfoA(const_cast<char*>(folder.c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    dacl, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS))
      << sddl;
  ::LocalFree(descriptor);
}
}  // namespace

// The monitoring product's folder is shared by all users: when the program
// makes it, nobody but the user, the administrators and the system may write.
TEST_F(Win32Files, TheSharedFolderIsMadeWithAnAccessListOfItsOwn) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(
      TWin32System::SharedFolderAccess(UserSid()).c_str(), SDDL_REVISION_1, &descriptor, nullptr));
  bool isProtected = false;
  const std::string flags = std::to_string(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  EXPECT_EQ(Entries(descriptor, isProtected),
            "allow " + UserSid() + " 0x1f01ff " + flags + "\n" +  // full control
            "allow S-1-5-32-544 0x1f01ff " + flags + "\n" +      // Administrators
            "allow S-1-5-18 0x1f01ff " + flags + "\n" +          // SYSTEM
            "allow S-1-5-32-545 0x1200a9 " + flags + "\n");      // Users: read and run
  EXPECT_TRUE(isProtected) << "nothing handed down from the parent";
  ::LocalFree(descriptor);

  // Read back as the system keeps it (Wine keeps Unix permissions, not the
  // list itself): whoever it names, only those may write.
  const std::string shared = root + "\\all\\qormonitor\\";
  ASSERT_TRUE(system.ForceDirectories(shared, true));
  const std::string kept = AccessList(root + "\\all\\qormonitor");
  std::istringstream lines(kept);
  std::string kind, sid, mask, aceFlags;
  while (lines >> kind >> sid >> mask >> aceFlags) {
    const bool writes = (std::stoul(mask, nullptr, 16) & (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE)) != 0;
    if (kind == "allow" && writes) {
      EXPECT_TRUE(sid == UserSid() || sid == "S-1-5-32-544" || sid == "S-1-5-18") << kept;
    }
  }
  EXPECT_TRUE(system.IsPrivateFolder(shared)) << kept;
}

TEST_F(Win32Files, AFolderOthersMayWriteToIsNotPrivate) {
  ASSERT_TRUE(system.ForceDirectories(root + "\\own\\", false));
  EXPECT_TRUE(system.IsPrivateFolder(root + "\\own\\")) << AccessList(root + "\\own");
  // Everyone may write: the one grant to others that Wine keeps as well.
  const std::string open = root + "\\open";
  ASSERT_TRUE(system.ForceDirectories(open, false));
  Grant(open, "D:P(A;OICI;FA;;;WD)");
  EXPECT_FALSE(system.IsPrivateFolder(open + "\\")) << AccessList(open);
  EXPECT_FALSE(system.IsPrivateFolder(root + "\\missing\\"));
}
TEST_F(Win32Files, AHeldFileCanBeNeitherChangedNorDeletedUntilItIsLetGo) {
  Write(root + "\\setup.exe");
  std::unique_ptr<IHeldFile> held = system.HoldFile(root + "\\setup.exe");
  ASSERT_TRUE(held);
  const HANDLE writer = ::CreateFileA((root + "\\setup.exe").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(system.DeleteFile(root + "\\setup.exe"));
  EXPECT_FALSE(::MoveFileA((root + "\\setup.exe").c_str(), (root + "\\moved.exe").c_str()));
  char first = 0;
  EXPECT_EQ(held->Read(&first, 1), 1);
  EXPECT_EQ(first, 'x');
  EXPECT_EQ(held->Read(&first, 1), 0);
  held.reset();
  EXPECT_TRUE(system.DeleteFile(root + "\\setup.exe"));
  EXPECT_FALSE(system.HoldFile(root + "\\setup.exe"));
  EXPECT_FALSE(system.HoldFile(root)) << "a folder is no file";
}

TEST_F(Win32Files, ATargetFileIsEmptiedAndWritten) {
  std::ofstream(root + "\\old._dl") << "an old copy";
  std::FILE* file = TWin32System::CreateTargetFile(root + "\\old._dl");
  ASSERT_NE(file, nullptr);
  EXPECT_GE(std::fputs("new", file), 0);
  EXPECT_EQ(std::fclose(file), 0);
  std::string text;
  std::getline(std::ifstream(root + "\\old._dl"), text);
  EXPECT_EQ(text, "new");
  EXPECT_EQ(TWin32System::CreateTargetFile(root), nullptr) << "a folder is no file";
}

// Continued after its first bytes, cut there first; never a file that is
// missing, too short or has a second name.
TEST_F(Win32Files, ATargetFileIsContinuedAfterItsFirstBytes) {
  std::ofstream(root + "\\part._dl") << "an old copy";
  std::FILE* file = TWin32System::CreateTargetFile(root + "\\part._dl", 3);
  ASSERT_NE(file, nullptr);
  EXPECT_GE(std::fputs("new", file), 0);
  EXPECT_EQ(std::fclose(file), 0);
  std::string text;
  std::getline(std::ifstream(root + "\\part._dl"), text);
  EXPECT_EQ(text, "an new");
  errno = 0;
  EXPECT_EQ(TWin32System::CreateTargetFile(root + "\\missing._dl", 3), nullptr);
  EXPECT_NE(errno, ENOSPC);
  EXPECT_FALSE(std::ifstream(root + "\\missing._dl").good()) << "continuing creates nothing";
  EXPECT_EQ(TWin32System::CreateTargetFile(root + "\\part._dl", 7), nullptr) << "shorter than what it keeps";
  ASSERT_TRUE(::CreateHardLinkA((root + "\\second._dl").c_str(), (root + "\\part._dl").c_str(), nullptr));
  EXPECT_EQ(TWin32System::CreateTargetFile(root + "\\part._dl", 3), nullptr) << "a file of two names";
  std::getline(std::ifstream(root + "\\part._dl"), text);
  EXPECT_EQ(text, "an new");
}
