#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "bootstrap/Startup.h"
#include "framework/Exception.h"
#include "platform/posix/system/Encoding.h"
#include "platform/posix/system/PosixSystem.h"
#include "tests/support/CaseName.h"

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
  void Open(const AnsiText& path, const AnsiText& parameters) {
    const std::unique_ptr<IHeldFile> held = sys_.HoldFile(path);
    ASSERT_TRUE(held) << path;
    held->ShellExecuteOpen(parameters);
  }

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
  // The suite's own environment comes back afterwards.
  std::map<std::string, std::optional<std::string>> saved;
  for (const char* v : {"TMPDIR", "HOME", "XDG_CACHE_HOME"}) {
    const char* value = std::getenv(v);
    saved[v] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
  }
  for (const char* v : {"TEMP", "temp", "Temp", "TMPDIR", "XDG_CACHE_HOME", "PROCESSOR_ARCHITECTURE",
                        "ALLUSERSPROFILE"})
    unsetenv(v);
  // Like Windows' TEMP, the user's own: never the shared /tmp.
  setenv("HOME", "/home/jan/", 1);
  EXPECT_EQ(GetEnv(sys_, "temp"), "/home/jan/.cache");
  setenv("XDG_CACHE_HOME", "/srv/cache/jan", 1);
  EXPECT_EQ(GetEnv(sys_, "temp"), "/srv/cache/jan");
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(GetEnv(sys_, "temp"), "/var/tmp");
  setenv("Temp", "/scratch", 1);
  EXPECT_EQ(GetEnv(sys_, "temp"), "/scratch");
  unsetenv("Temp");
  EXPECT_EQ(GetEnv(sys_, "allusersprofile"), "/var/lib");
  const AnsiText arch = GetEnv(sys_, "processor_architecture");
#if defined(__x86_64__)
  EXPECT_EQ(arch, "AMD64");
#elif defined(__aarch64__)
  EXPECT_EQ(arch, "ARM64");
#else
  EXPECT_FALSE(arch.empty());
#endif
  for (const auto& [name, value] : saved) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

TEST_F(PosixSystem, ProgramNameComesFromTheBaseNameOfArgv0) {
  EXPECT_EQ(DeriveProgramName(sys_.ModuleFileName(), sys_.PathDelimiter()), "TERBO");
  TPosixSystem relative("./bin/zulan_festir.exe");
  EXPECT_EQ(DeriveProgramName(relative.ModuleFileName(), relative.PathDelimiter()), "zulan_festir");
}

TEST_F(PosixSystem, ForceDirectoriesCreatesEveryMissingParent) {
  EXPECT_TRUE(sys_.ForceDirectories(Path("a/b/c/"), false));
  EXPECT_TRUE(fs::is_directory(dir_ / "a/b/c"));
  EXPECT_TRUE(sys_.ForceDirectories(Path("a/b/c/"), false));  // already there
  std::ofstream(dir_ / "file") << "x";
  EXPECT_FALSE(sys_.ForceDirectories(Path("file/sub/"), false));
  EXPECT_FALSE(sys_.ForceDirectories(Path("file"), false));
}

TEST_F(PosixSystem, TheFolderMadeIsTheUsersOwnWhateverTheUmask) {
  const mode_t old = umask(002);
  EXPECT_TRUE(sys_.ForceDirectories(Path("p/TERBO/"), false));
  EXPECT_TRUE(sys_.ForceDirectories(Path("s/qormonitor/"), true));
  umask(old);
  EXPECT_EQ(fs::status(dir_ / "p/TERBO").permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(dir_ / "s/qormonitor").permissions(),
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                fs::perms::others_exec);
  EXPECT_TRUE(sys_.IsPrivateFolder(Path("p/TERBO/")));
  EXPECT_TRUE(sys_.IsPrivateFolder(Path("s/qormonitor/")));
}

TEST_F(PosixSystem, OnlyAFolderOfTheUsersOwnThatNobodyElseMayWriteIsPrivate) {
  struct Case {
    const char* what;
    mode_t mode;
    bool foreign;  // another user's (a numeric owner without an account)
    bool expected;
  };
  const Case cases[] = {
      {"own, 0700", 0700, false, true},
      {"own, readable by all", 0755, false, true},
      {"own, group may write", 0770, false, false},
      {"own, anyone may write", 01777, false, false},
      {"another user's", 0700, true, false},
  };
  for (const Case& c : cases) {
    if (c.foreign && geteuid() != 0) continue;  // only root can give a folder away
    const fs::path folder = dir_ / c.what;
    fs::create_directories(folder);
    ASSERT_EQ(chmod(folder.c_str(), c.mode), 0);
    if (c.foreign) {
      ASSERT_EQ(chown(folder.c_str(), 54321, 54321), 0);
    }
    EXPECT_EQ(sys_.IsPrivateFolder(Path(c.what) + "/"), c.expected) << c.what;
  }
  // A link to a folder counts only when it is the user's own link.
  fs::create_directory_symlink(dir_ / "own, 0700", dir_ / "link");
  EXPECT_TRUE(sys_.IsPrivateFolder(Path("link")));
  EXPECT_FALSE(sys_.IsPrivateFolder(Path("missing")));
}

// What a download or a start meets where a file should be: the same case
// list for creating the target file, continuing it and holding a file.
TEST_F(PosixSystem, NoFileIsWrittenOrHeldThroughALinkOrOfSomeoneElse) {
  const fs::path outside = dir_ / "outside";
  fs::create_directories(outside);
  std::ofstream(outside / "victim") << "keep";
  fs::create_directories(dir_ / "in");
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> plant;
    bool creatable;
    bool holdable;
    bool continuable = false;  // after its first two bytes
  };
  const Case cases[] = {
      {"nothing there", [](const fs::path&) {}, true, false},
      {"an old copy", [](const fs::path& p) { std::ofstream(p) << "old"; }, true, true, true},
      {"a copy too short to continue", [](const fs::path& p) { std::ofstream(p) << "o"; }, true, true},
      {"a dangling link", [&](const fs::path& p) { fs::create_symlink(outside / "new", p); }, false, false},
      {"a link to a file", [&](const fs::path& p) { fs::create_symlink(outside / "victim", p); }, false, false},
      {"a hard link to a file", [&](const fs::path& p) { fs::create_hard_link(outside / "victim", p); }, false,
       true},
      {"a pipe", [](const fs::path& p) { mkfifo(p.c_str(), 0600); }, false, false},
      {"a file anyone may write",
       [](const fs::path& p) {
         std::ofstream(p) << "old";
         chmod(p.c_str(), 0666);
       },
       false, false},
  };
  for (const Case& c : cases) {
    const fs::path target = dir_ / "in" / c.what;
    c.plant(target);
    // Holding only reads: the hard link's bytes are the user's own file's.
    EXPECT_EQ(sys_.HoldFile(Path("in/" + std::string(c.what))) != nullptr, c.holdable) << c.what;
    std::FILE* continued = TPosixSystem::CreateTargetFile(target.string(), 2);
    EXPECT_EQ(continued != nullptr, c.continuable) << c.what;
    if (continued != nullptr) {
      EXPECT_EQ(std::fputs("new", continued) >= 0 && std::fclose(continued) == 0, true) << c.what;
      std::string contents;
      std::getline(std::ifstream(target), contents);
      EXPECT_EQ(contents, "olnew") << c.what;
    }
    std::FILE* file = TPosixSystem::CreateTargetFile(target.string());
    EXPECT_EQ(file != nullptr, c.creatable) << c.what;
    if (file != nullptr) {
      EXPECT_EQ(std::fputs("new", file) >= 0 && std::fclose(file) == 0, true) << c.what;
      std::string contents;
      std::getline(std::ifstream(target), contents);
      EXPECT_EQ(contents, "new") << c.what;
    }
    std::string victim;
    std::getline(std::ifstream(outside / "victim"), victim);
    EXPECT_EQ(victim, "keep") << c.what;
    EXPECT_FALSE(fs::exists(outside / "new")) << c.what;
  }
  // A link in place of a file counts as one, so that it is deleted as an old copy.
  EXPECT_TRUE(sys_.FileExists(Path("in/a dangling link")));
  EXPECT_TRUE(sys_.DeleteFile(Path("in/a dangling link")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "in/a dangling link")));
}

// Windows-1250 has no Cyrillic letters: such a TEMP crosses the boundary as
// "?", and start-up must end in the folder message, not make a "?" folder.
TEST_F(PosixSystem, TempWithLettersWindows1250LacksGivesNoFolder) {
  const fs::path user = dir_ / "\xd0\xae\xd1\x80\xd0\xb8\xd0\xb9";  // "Юрий" in UTF-8
  fs::create_directories(user);
  const char* before = std::getenv("TEMP");
  const std::string saved = before != nullptr ? before : "";
  setenv("TEMP", user.c_str(), 1);
  TBootstrapState state;
  const TStartupResult start = RunStartup(state, sys_);
  if (before != nullptr) {
    setenv("TEMP", saved.c_str(), 1);
  } else {
    unsetenv("TEMP");
  }
  EXPECT_EQ(state.DownloadFolder, Utf8ToAnsi(dir_.string()) + "/" + std::string(4, '?') + "/TERBO/");
  EXPECT_FALSE(start.FolderReady);
  std::vector<std::string> made;
  for (const auto& entry : fs::recursive_directory_iterator(dir_)) made.push_back(entry.path().string());
  EXPECT_EQ(made, std::vector<std::string>{user.string()});
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
                      ErrnoCase{ENOMEM, 10012, "I/O error 10012"}),
    [](const auto& p) { return CaseName(p.index, "Errno" + CaseNumber(p.param.err)); });

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
  Open(Path("setup.exe"), "cz");
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
  Open("setup.exe", "en");
  ASSERT_TRUE(WaitForFile(dir_ / "started.txt"));
  std::string line;
  std::getline(std::ifstream(dir_ / "started.txt"), line);
  EXPECT_EQ(line, "en");
}

TEST_F(PosixSystem, StartedProgramInheritsNoOpenFilesBeyondTheStandardOnes) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);  // inheritable, like a library's descriptors
  // Above the few the start itself uses, so that none stands for another.
  for (int& end : pipeEnds) {
    const int high = fcntl(end, F_DUPFD, 50);
    close(end);
    end = high;
  }
  {
    std::ofstream script(dir_ / "setup.exe");
    script << "#!/bin/sh\nls /proc/$$/fd > fds.txt\necho done > started.txt\n";
  }
  ASSERT_EQ(sys_.SetCurrentDirectoryA(Path("")), 0);
  Open(Path("setup.exe"), "cz");
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
