// The getter over WinINet against the vendor server, reached through
// http_proxy. scripts/windows-test.sh starts the server and sets:
//   http_proxy               http://127.0.0.1:PORT
//   WEBSETUP_TEST_ROOT       the server's root folder as Windows sees it
// and serves under /download/W/: full.bin and short.bin (cut after 5000
// bytes), nolength.bin (no Content-Length); missing.bin does not exist.
// clang-format off
#include "httpget/HTTPGet.h"
#include "platform/win32/http/WinInetInternet.h"
#include "platform/win32/ui/Win32WidgetSet.h"
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {
std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class WinInetTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* root = std::getenv("WEBSETUP_TEST_ROOT");
    ASSERT_NE(std::getenv("http_proxy"), nullptr) << "run through scripts/windows-test.sh";
    ASSERT_NE(root, nullptr) << "run through scripts/windows-test.sh";
    serverRoot = root;
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    target = std::string(temp) + "websetup-transport-" + std::to_string(::GetCurrentProcessId()) + ".bin";
    ::DeleteFileA(target.c_str());
    // The hand-offs go through the widget set's posted wake-ups, as in the program.
    Application().SetWidgetSet(&widgets);
    get = new THTTPGet(&owner, internet);
    get->WaitThread = true;
    get->BinaryData = true;
    get->OnProgress = TOnProgressEvent(this, &WinInetTransport::Progress);
    get->OnDoneFile = TOnDoneFileEvent(this, &WinInetTransport::DoneFile);
    get->OnDoneString = TOnDoneStringEvent(this, &WinInetTransport::DoneString);
    get->OnError = TNotifyEvent(this, &WinInetTransport::Error);
  }
  void TearDown() override {
    ::DeleteFileA(target.c_str());
    Application().SetWidgetSet(nullptr);
  }
  void Fetch(const std::string& name) {
    get->URL = "www.vendor.example/download/W/" + name;
    get->FileName = target;
    get->GetFile();
  }
  void Progress(TObject*, std::int32_t total, std::int32_t readed) {
    lastTotal = total;
    lastReaded = readed;
    ++progressCalls;
  }
  void DoneFile(TObject*, AnsiText, std::int32_t size) {
    ++done;
    doneSize = size;
  }
  void DoneString(TObject*, AnsiText text) {
    ++done;
    result = text;
  }
  void Error(TObject*) { ++errors; }

  WinInetInternet internet;
  TWin32WidgetSet widgets;
  TComponent owner{nullptr};
  THTTPGet* get = nullptr;
  std::string serverRoot, target, result;
  int done = 0, errors = 0, progressCalls = 0;
  std::int32_t doneSize = -1, lastTotal = -1, lastReaded = -1;
};
}  // namespace

TEST_F(WinInetTransport, ACompleteFileArrivesWholeWithItsProgress) {
  const std::string original = ReadAll(serverRoot + "\\W\\full.bin");
  ASSERT_GT(original.size(), 100000u);
  Fetch("full.bin");
  EXPECT_EQ(errors, 0);
  ASSERT_EQ(done, 1);
  EXPECT_EQ(doneSize, static_cast<std::int32_t>(original.size()));
  EXPECT_TRUE(ReadAll(target) == original) << "the file differs from the server's";
  EXPECT_GT(progressCalls, 1);
  EXPECT_EQ(lastTotal, static_cast<std::int32_t>(original.size()));
  EXPECT_EQ(lastReaded, lastTotal);
}

TEST_F(WinInetTransport, AShortBodyFailsAndKeepsWhatArrived) {
  Fetch("short.bin");
  EXPECT_EQ(done, 0);
  EXPECT_EQ(errors, 1);
  const std::string original = ReadAll(serverRoot + "\\W\\short.bin");
  const std::string kept = ReadAll(target);
  EXPECT_EQ(kept.size(), 5000u);
  EXPECT_TRUE(original.compare(0, kept.size(), kept) == 0);
}

// A not-found page, and binary data without a Content-Length: no download.
TEST_F(WinInetTransport, RefusedAnswersFailAndLeaveTheTargetAlone) {
  for (const std::string name : {"missing.bin", "nolength.bin"}) {
    SCOPED_TRACE(name);
    std::ofstream(target, std::ios::binary) << "earlier copy";
    done = errors = 0;
    Fetch(name);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(ReadAll(target), "earlier copy");
  }
}

TEST_F(WinInetTransport, AStringModeTransferDeliversTheBody) {
  get->BinaryData = false;
  get->URL = "http://www.vendor.example/download/W/nolength.bin";
  get->GetString();
  EXPECT_EQ(errors, 0);
  ASSERT_EQ(done, 1);
  EXPECT_TRUE(result == ReadAll(serverRoot + "\\W\\nolength.bin"));
}
