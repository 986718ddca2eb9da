#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "bootstrap/Startup.h"
#include "framework/Exception.h"
#include "platform/posix/system/Encoding.h"
#include "platform/posix/system/PosixSystem.h"

namespace fs = std::filesystem;

namespace {
class PosixSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("websetup-sys-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    cwd_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(cwd_);
    fs::remove_all(dir_);
  }
  AnsiText Path(const std::string& rel) const { return Utf8ToAnsi((dir_ / rel).string()); }

  fs::path dir_;
  fs::path cwd_;
  TPosixSystem sys_{"/usr/local/bin/TERBO.exe"};
};

bool WaitForFile(const fs::path& p) {
  for (int i = 0; i < 500; ++i) {
    if (fs::exists(p) && fs::file_size(p) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}
}  // namespace

TEST_F(PosixSystem, EnvironmentIsFoundWithoutRegardToCase) {
  setenv("WebSetup_Probe", "value", 1);
  EXPECT_EQ(GetEnv(sys_, "websetup_probe"), "value");
  EXPECT_EQ(GetEnv(sys_, "WEBSETUP_PROBE"), "value");
  unsetenv("WebSetup_Probe");
  EXPECT_EQ(GetEnv(sys_, "websetup_probe"), "");
}

TEST_F(PosixSystem, EnvironmentValuesArriveInWindows1250) {
  setenv("WEBSETUP_CZ", "P\xc5\x99\xc3\xadli\xc5\xa1", 1);  // "Příliš" in UTF-8
  EXPECT_EQ(GetEnv(sys_, "websetup_cz"), "P\xf8\xedli\x9a");
  unsetenv("WEBSETUP_CZ");
}

TEST_F(PosixSystem, WindowsVariablesHaveLinuxStandIns) {
  // The suite's own temporary folder comes back afterwards.
  const char* tmpdir = std::getenv("TMPDIR");
  const bool hadTmpdir = tmpdir != nullptr;
  const std::string savedTmpdir = hadTmpdir ? tmpdir : "";
  for (const char* v : {"TEMP", "temp", "Temp", "TMPDIR", "PROCESSOR_ARCHITECTURE", "ALLUSERSPROFILE"}) unsetenv(v);
  EXPECT_EQ(GetEnv(sys_, "temp"), "/tmp");
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(GetEnv(sys_, "temp"), "/var/tmp");
  setenv("Temp", "/scratch", 1);
  EXPECT_EQ(GetEnv(sys_, "temp"), "/scratch");
  unsetenv("Temp");
  unsetenv("TMPDIR");
  EXPECT_EQ(GetEnv(sys_, "allusersprofile"), "/var/lib");
  const AnsiText arch = GetEnv(sys_, "processor_architecture");
#if defined(__x86_64__)
  EXPECT_EQ(arch, "AMD64");
#elif defined(__aarch64__)
  EXPECT_EQ(arch, "ARM64");
#else
  EXPECT_FALSE(arch.empty());
#endif
  if (hadTmpdir) setenv("TMPDIR", savedTmpdir.c_str(), 1);
}

TEST_F(PosixSystem, ProgramNameComesFromTheBaseNameOfArgv0) {
  EXPECT_EQ(DeriveProgramName(sys_.ModuleFileName(), sys_.PathDelimiter()), "TERBO");
  TPosixSystem relative("./bin/zulan_festir.exe");
  EXPECT_EQ(DeriveProgramName(relative.ModuleFileName(), relative.PathDelimiter()), "zulan_festir");
}

TEST_F(PosixSystem, ForceDirectoriesCreatesEveryMissingParent) {
  EXPECT_TRUE(sys_.ForceDirectories(Path("a/b/c/")));
  EXPECT_TRUE(fs::is_directory(dir_ / "a/b/c"));
  EXPECT_TRUE(sys_.ForceDirectories(Path("a/b/c/")));  // already there
  std::ofstream(dir_ / "file") << "x";
  EXPECT_FALSE(sys_.ForceDirectories(Path("file/sub/")));
  EXPECT_FALSE(sys_.ForceDirectories(Path("file")));
}

TEST_F(PosixSystem, FolderIsNoFileAndDeletionReportsFailure) {
  fs::create_directories(dir_ / "folder");
  std::ofstream(dir_ / "setup.exe") << "x";
  EXPECT_FALSE(sys_.FileExists(Path("folder")));
  EXPECT_FALSE(sys_.FileExists(Path("missing")));
  EXPECT_TRUE(sys_.FileExists(Path("setup.exe")));
  EXPECT_TRUE(sys_.DeleteFile(Path("setup.exe")));
  EXPECT_FALSE(sys_.FileExists(Path("setup.exe")));
  EXPECT_FALSE(sys_.DeleteFile(Path("setup.exe")));
  EXPECT_FALSE(sys_.DeleteFile(Path("folder")));
}

TEST_F(PosixSystem, SetCurrentDirectoryGivesWindowsErrorCodes) {
  EXPECT_EQ(sys_.SetCurrentDirectoryA(Path("")), 0);
  EXPECT_EQ(fs::current_path(), dir_);
  EXPECT_EQ(sys_.SetCurrentDirectoryA(Path("missing/")), 2);
  std::ofstream(dir_ / "plain") << "x";
  EXPECT_EQ(sys_.SetCurrentDirectoryA(Path("plain/sub")), 3);
  EXPECT_EQ(sys_.SetCurrentDirectoryA(Path(std::string(300, 'n'))), 3);
  // A loop of links is none of the four: it shows as an I/O error of its own.
  fs::create_symlink("loop-b", dir_ / "loop-a");
  fs::create_symlink("loop-a", dir_ / "loop-b");
  const int loop = sys_.SetCurrentDirectoryA(Path("loop-a"));
  EXPECT_EQ(loop, TPosixSystem::kErrnoBase + ELOOP);
  EXPECT_EQ(EInOutError(loop).Message(), "I/O error " + std::to_string(TPosixSystem::kErrnoBase + ELOOP));
}

struct ErrnoCase {
  int err;
  int code;
  const char* shown;
};
class IoErrorCodes : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(IoErrorCodes, ErrnoBecomesTheCodeWhoseMessageMatchesIt) {
  const int code = TPosixSystem::IoErrorCode(GetParam().err);
  EXPECT_EQ(code, GetParam().code);
  EXPECT_EQ(EInOutError(code).Message(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IoErrorCodes,
    ::testing::Values(ErrnoCase{ENOENT, 2, "File not found"}, ErrnoCase{ENOTDIR, 3, "Invalid filename"},
                      ErrnoCase{ENAMETOOLONG, 3, "Invalid filename"},
                      ErrnoCase{EMFILE, 4, "Too many open files"},
                      ErrnoCase{ENFILE, 4, "Too many open files"}, ErrnoCase{EACCES, 5, "File access denied"},
                      ErrnoCase{EPERM, 5, "File access denied"},
                      // errnos whose numbers are those of the Windows codes, with other meanings
                      ErrnoCase{EIO, 10005, "I/O error 10005"}, ErrnoCase{EINTR, 10004, "I/O error 10004"},
                      ErrnoCase{ESRCH, 10003, "I/O error 10003"}, ErrnoCase{ELOOP, 10040, "I/O error 10040"},
                      ErrnoCase{ENOMEM, 10012, "I/O error 10012"}));

TEST(IoErrorCodesOfEveryErrno, OnlyTheMatchingOnesGiveTheCodesTwoToFive) {
  const std::set<int> matching{ENOENT, ENOTDIR, ENAMETOOLONG, EMFILE, ENFILE, EACCES, EPERM};
  for (int err = 1; err < 200; ++err) {
    const int code = TPosixSystem::IoErrorCode(err);
    if (matching.count(err) != 0) {
      EXPECT_GE(code, 2) << err;
      EXPECT_LE(code, 5) << err;
    } else {
      EXPECT_TRUE(code < 2 || code > 5) << "errno " << err << " gives " << code;
      EXPECT_EQ(EInOutError(code).Message(), "I/O error " + std::to_string(code)) << err;
    }
  }
}

TEST_F(PosixSystem, OpenStartsAScriptDetachedWithTheLanguageAsOnlyArgument) {
  {
    std::ofstream script(dir_ / "setup.exe");
    script << "#!/bin/sh\necho \"$# $1 $(pwd)\" > started.txt\n";
  }
  fs::permissions(dir_ / "setup.exe", fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(sys_.SetCurrentDirectoryA(Path("")), 0);
  sys_.ShellExecuteOpen(Path("setup.exe"), "cz");
  ASSERT_TRUE(WaitForFile(dir_ / "started.txt"));
  std::string line;
  std::getline(std::ifstream(dir_ / "started.txt"), line);
  EXPECT_EQ(line, "1 cz " + dir_.string());
  EXPECT_NE(fs::status(dir_ / "setup.exe").permissions() & fs::perms::owner_exec, fs::perms::none);
}

TEST_F(PosixSystem, OpenOfABareNameRunsTheFileInTheCurrentFolder) {
  {
    std::ofstream script(dir_ / "setup.exe");
    script << "#!/bin/sh\necho \"$1\" > started.txt\n";
  }
  ASSERT_EQ(sys_.SetCurrentDirectoryA(Path("")), 0);
  sys_.ShellExecuteOpen("setup.exe", "en");
  ASSERT_TRUE(WaitForFile(dir_ / "started.txt"));
  std::string line;
  std::getline(std::ifstream(dir_ / "started.txt"), line);
  EXPECT_EQ(line, "en");
}

TEST_F(PosixSystem, StartedProgramInheritsNoOpenFilesBeyondTheStandardOnes) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);  // inheritable, like a library's descriptors
  {
    std::ofstream script(dir_ / "setup.exe");
    script << "#!/bin/sh\nls /proc/$$/fd > fds.txt\necho done > started.txt\n";
  }
  ASSERT_EQ(sys_.SetCurrentDirectoryA(Path("")), 0);
  sys_.ShellExecuteOpen(Path("setup.exe"), "cz");
  ASSERT_TRUE(WaitForFile(dir_ / "started.txt"));
  std::ifstream fds(dir_ / "fds.txt");
  std::string fd;
  while (fds >> fd) {
    EXPECT_NE(fd, std::to_string(pipeEnds[0]));
    EXPECT_NE(fd, std::to_string(pipeEnds[1]));
  }
  close(pipeEnds[0]);
  close(pipeEnds[1]);
}

TEST(Encoding, CzechTextCrossesTheBoundaryBothWays) {
  const std::string utf8 = "\xc5\xbdlu\xc5\xa5ou\xc4\x8dk\xc3\xbd k\xc5\xaf\xc5\x88";  // Žluťoučký kůň
  const AnsiText ansi = "\x8elu\x9dou\xe8k\xfd k\xf9\xf2";
  EXPECT_EQ(Utf8ToAnsi(utf8), ansi);
  EXPECT_EQ(AnsiToUtf8(ansi), utf8);
  EXPECT_EQ(Utf8ToAnsi("a\xe2\x82\xac" "b\xe4\xb8\xad" "c"), "a\x80" "b?c");  // euro exists, CJK does not
  EXPECT_EQ(Utf8ToAnsi("bad\xff" "x"), "bad?x");
}
