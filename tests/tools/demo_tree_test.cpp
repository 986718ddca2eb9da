#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <set>
#include <thread>

#include "DemoTree.h"
#include "RawHttp.h"
#include "VendorServer.h"
#include "bootstrap/Catalogue.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Every product's server files, as the installer's catalogue has them (its
// own table is checked against an independent one in the start-up tests).
const std::map<std::string, std::set<std::string>>& ExpectedProducts() {
  static const std::map<std::string, std::set<std::string>> products = [] {
    std::map<std::string, std::set<std::string>> map;
    for (const AnsiText& code : ProductCodes()) {
      for (const TProductFile& file : ProductFiles(code)) map[code].insert(file.ServerName);
    }
    return map;
  }();
  return products;
}

std::string Lower(std::string text) {
  return rawhttp::Lower(std::move(text));
}

std::string Pattern(const std::string& name, std::uint64_t size) {
  std::string bytes(static_cast<std::size_t>(size), '\0');
  vendor::FillPattern(vendor::PatternSeed(name), 0, std::span<char>(bytes.data(), bytes.size()));
  return bytes;
}

// One tree for the whole suite: it is a hundred megabytes.
class DemoTreeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new rawhttp::TempDir();
    stats_ = vendor::MakeDemoTree(root(), DEMO_SETUP_EXE);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static fs::path root() { return dir_->path() / "tree"; }

  static inline rawhttp::TempDir* dir_ = nullptr;
  static inline vendor::DemoTreeStats stats_;
};

TEST_F(DemoTreeTest, EveryProductHasBothFoldersWithExactlyItsFilesSharedOnDisk) {
  const std::string program = rawhttp::ReadFile(DEMO_SETUP_EXE);
  ASSERT_FALSE(program.empty());
  std::set<std::string> folders;
  for (const auto& entry : fs::directory_iterator(root())) folders.insert(entry.path().filename().string());
  std::set<std::string> expectedFolders;
  for (const auto& [code, files] : ExpectedProducts()) {
    expectedFolders.insert({code, Lower(code)});
    for (const std::string& folder : {code, Lower(code)}) {
      SCOPED_TRACE(folder);
      std::set<std::string> present;
      for (const auto& entry : fs::directory_iterator(root() / folder)) {
        EXPECT_TRUE(entry.is_regular_file());
        present.insert(entry.path().filename().string());
      }
      EXPECT_EQ(present, files);
      const fs::path setup = root() / folder / "setup.zip";
      EXPECT_TRUE(rawhttp::ReadFile(setup) == program);
      EXPECT_NE(fs::status(setup).permissions() & fs::perms::owner_exec, fs::perms::none);
    }
  }
  EXPECT_EQ(folders, expectedFolders);
  EXPECT_EQ(stats_.folders, 26);

  for (const std::string name : {"comm32.zip", "Firebird-64.zip", "setup.zip"}) {
    EXPECT_TRUE(fs::equivalent(root() / "TERBO" / name, root() / "lendak" / name)) << name;
  }
  EXPECT_TRUE(
      fs::equivalent(root() / "ZULAN_FESTIR" / "zulancz.zip", root() / "zulan_horbeska12" / "zulancz.zip"));
  EXPECT_LT(stats_.dataBytes, 150u * 1024 * 1024);
}

struct SizeRange {
  std::uint64_t min, max;
};

TEST_F(DemoTreeTest, FilesHaveRealisticSizesAndTheirNamesPattern) {
  std::set<std::string> names;
  for (const auto& [code, files] : ExpectedProducts()) names.insert(files.begin(), files.end());
  names.erase("setup.zip");
  std::set<std::string> heads;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    // The database package is the large one, as on the vendor's server.
    const SizeRange range = IsDatabasePackage(name) ? SizeRange{25 * 1024 * 1024, 40 * 1024 * 1024}
                                                    : SizeRange{100 * 1024, 1024 * 1024};
    const fs::path file = root() / "TERBO" / name;
    const fs::path anyCopy = fs::exists(file) ? file : [&] {
      for (const auto& [code, files] : ExpectedProducts()) {
        if (files.count(name)) return root() / Lower(code) / name;
      }
      return fs::path();
    }();
    const std::uint64_t size = fs::file_size(anyCopy);
    EXPECT_GE(size, range.min);
    EXPECT_LE(size, range.max);
    EXPECT_TRUE(rawhttp::ReadFile(anyCopy) == Pattern(name, size)) << anyCopy;
    heads.insert(Pattern(name, 64));
  }
  EXPECT_EQ(heads.size(), names.size()) << "two names share a pattern";
}

TEST_F(DemoTreeTest, ServerDeliversTreeFilesThroughTheProxyForm) {
  vendor::VendorServer server(root(), "");
  server.Start();
  const rawhttp::Response firebird =
      rawhttp::Get(server.Port(), "http://www.vendor.example/download/TERBO/Firebird-64.zip");
  const std::uint64_t size = vendor::DemoFileSize("Firebird-64.zip");
  EXPECT_EQ(firebird.contentLength, std::to_string(size));
  EXPECT_TRUE(firebird.body == Pattern("Firebird-64.zip", size));
  const rawhttp::Response setup = rawhttp::Get(server.Port(), "/download/zulan_horbeska12/setup.zip");
  EXPECT_TRUE(setup.body == rawhttp::ReadFile(DEMO_SETUP_EXE));
}

TEST(DemoTree, MissingSetupProgramIsAnError) {
  rawhttp::TempDir dir;
  EXPECT_THROW(vendor::MakeDemoTree(dir.path() / "tree", dir.path() / "no-such-setup.exe"),
               std::runtime_error);
}

// ---- the demo setup program ----

TEST(DemoSetup, RecordsItsArgumentAndFolder) {
  rawhttp::TempDir dir;
  const fs::path work = fs::canonical(dir.path());
  const fs::path extra = work / "extra.log";
  const std::string cd = "cd '" + work.string() + "' && ";
  ASSERT_EQ(std::system((cd + "WEBSETUP_DEMO_SETUP_LOG='" + extra.string() + "' '" + DEMO_SETUP_EXE +
                         "' cz > out1.txt")
                            .c_str()),
            0);
  ASSERT_EQ(
      std::system((cd + "env -u WEBSETUP_DEMO_SETUP_LOG '" + DEMO_SETUP_EXE + "' en > out2.txt").c_str()), 0);
  EXPECT_EQ(rawhttp::ReadFile(work / "out1.txt"), "Setup started with language cz\n");
  EXPECT_EQ(rawhttp::ReadFile(work / "out2.txt"), "Setup started with language en\n");
  EXPECT_EQ(rawhttp::ReadFile(work / "setup-started.log"),
            "started cz in " + work.string() + "\nstarted en in " + work.string() + "\n");
  EXPECT_EQ(rawhttp::ReadFile(extra), "started cz in " + work.string() + "\n");
}

// ---- the command-line programs ----

// Runs a program with its stdout on a pipe.
struct Child {
  pid_t pid = -1;
  int out = -1;

  explicit Child(std::vector<std::string> args) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out = fds[0];
  }
  ~Child() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    if (out >= 0) ::close(out);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // One line of stdout, or empty when none comes within 10 s.
  std::string ReadLine() {
    std::string line;
    char c = 0;
    pollfd p{out, POLLIN, 0};
    while (::poll(&p, 1, 10000) == 1 && ::read(out, &c, 1) == 1 && c != '\n') line.push_back(c);
    return line;
  }

  // Exit status, or -1 when the program has not ended within 10 s.
  int WaitExit() {
    for (int i = 0; i < 1000; ++i) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
};

TEST(VendorServerProgram, ServesReportsInjectsFaultsAndStopsOnSigterm) {
  rawhttp::TempDir dir;
  const fs::path root = dir.path() / "root";
  for (const std::string folder : {"TERBO", "terbo"}) {
    fs::create_directories(root / folder);
    for (const std::string name : {"comm32.zip", "view.zip", "ntdll.zip"}) {
      vendor::WritePatternFile(root / folder / name, vendor::PatternSeed(name), 3000);
    }
  }
  const fs::path log = dir.path() / "cli-report.log";
  const fs::path portFile = dir.path() / "port";
  Child server({VENDOR_SERVER_EXE, "--root", root.string(), "--log", log.string(), "--port-file",
                portFile.string(), "--fault", "/download/TERBO/comm32.zip=cut:10", "--fault",
                "/download/TERBO/view.zip=textlength:x"});
  ASSERT_GT(server.pid, 0);
  const std::string line = server.ReadLine();
  const std::string prefix = "vendor server listening on http://127.0.0.1:";
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
  const std::string port = line.substr(prefix.size(), line.size() - prefix.size() - 1);
  EXPECT_EQ(line.back(), '/');
  EXPECT_EQ(rawhttp::ReadFile(portFile), port + "\n");
  const auto p = static_cast<std::uint16_t>(std::stoi(port));

  EXPECT_EQ(rawhttp::Get(p, "/download/TERBO/comm32.zip").body.size(), 10u);
  EXPECT_EQ(rawhttp::Get(p, "/download/TERBO/view.zip").contentLength, "x");
  EXPECT_EQ(rawhttp::Get(p, "/download/terbo/ntdll.zip").body, Pattern("ntdll.zip", 3000));
  rawhttp::Get(p, "/programy/setup.asp?co=stazeno%20(TERBO)*");
  EXPECT_EQ(rawhttp::ReadFile(log), "co=stazeno (TERBO)*\n");
  // Each request on standard output as its answer ends: method, target, status, body bytes sent.
  EXPECT_EQ(server.ReadLine(), "GET /download/TERBO/comm32.zip 200 10");
  EXPECT_EQ(server.ReadLine(), "GET /download/TERBO/view.zip 200 3000");
  EXPECT_EQ(server.ReadLine(), "GET /download/terbo/ntdll.zip 200 3000");
  EXPECT_EQ(server.ReadLine().rfind("GET /programy/setup.asp?co=stazeno%20(TERBO)* 200 ", 0), 0u);

  ::kill(server.pid, SIGTERM);
  EXPECT_EQ(server.WaitExit(), 0);
}

TEST(VendorServerProgram, RejectsBadArguments) {
  for (const std::string args : {"--root /tmp", "--root /tmp --log /dev/null --fault /x=explode",
                                 "--root /tmp --log /dev/null --port 70000", "--bogus 1"}) {
    const int status = std::system((std::string(VENDOR_SERVER_EXE) + " " + args + " 2>/dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args;
  }
}

TEST(MakeDemoTreeProgram, LaysOutTheTreeOverStaleFiles) {
  rawhttp::TempDir dir;
  const fs::path root = dir.path() / "tree";
  fs::create_directories(root / "terbo");
  std::ofstream(root / "terbo" / "ntdll.zip") << "stale";
  const std::string command =
      std::string(MAKE_DEMO_TREE_EXE) + " '" + root.string() + "' '" + DEMO_SETUP_EXE + "' > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::uint64_t size = vendor::DemoFileSize("ntdll.zip");
  EXPECT_TRUE(rawhttp::ReadFile(root / "terbo" / "ntdll.zip") == Pattern("ntdll.zip", size));
  EXPECT_TRUE(rawhttp::ReadFile(root / "KALMIRO" / "setup.zip") == rawhttp::ReadFile(DEMO_SETUP_EXE));
  EXPECT_NE(std::system((std::string(MAKE_DEMO_TREE_EXE) + " > /dev/null 2>&1").c_str()), 0);
}

}  // namespace
