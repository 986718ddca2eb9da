#pragma once
// What the getter's tests share: the UI pump, a temp folder, file helpers, a
// recorder of the component's events and a getter on the fake transport.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "framework/MainThread.h"
#include "httpget/HTTPGet.h"
#include "tests/support/FakeInternet.h"

namespace httpget_test {

// Plays the UI thread: runs handed-off calls until pred holds.
template <class Pred>
bool PumpUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(20000)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return false;
    if (MainThreadQueue().ProcessPending() == 0)
      MainThreadQueue().WaitForPending(std::chrono::milliseconds(5));
  }
  return true;
}

// Waits until every worker has freed itself; a worker that never does is a leak.
inline bool AllWorkersGone() {
  return PumpUntil([] { return THTTPGetThread::Instances() == 0; });
}

class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("httpget_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             std::to_string(counter++) + "_" +
             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::optional<std::string> ReadFile(const std::string& name) {
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
  std::fclose(f);
  return bytes;
}

inline void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Sends the component's port-80 connection to the test server's port, so the
// whole getter runs over the real transport without a proxy.
class PortRedirect : public IInternetApi {
 public:
  PortRedirect(IInternetApi& inner, std::uint16_t port) : inner_(inner), port_(port) {}
  Handle InternetOpenA(const char* a, std::uint32_t t, const char* p, const char* b,
                       std::uint32_t f) override {
    return inner_.InternetOpenA(a, t, p, b, f);
  }
  Handle InternetConnectA(Handle i, const char* s, std::uint16_t, const char* u, const char* p,
                          std::uint32_t sv, std::uint32_t f, std::uintptr_t c) override {
    return inner_.InternetConnectA(i, s, port_, u, p, sv, f, c);
  }
  Handle HttpOpenRequestA(Handle c, const char* v, const char* o, const char* ver, const char* r,
                          const char* const* a, std::uint32_t f, std::uintptr_t x) override {
    return inner_.HttpOpenRequestA(c, v, o, ver, r, a, f, x);
  }
  bool HttpSendRequestA(Handle r, const char* h, std::uint32_t hl, const void* o, std::uint32_t ol) override {
    return inner_.HttpSendRequestA(r, h, hl, o, ol);
  }
  bool HttpQueryInfoA(Handle r, std::uint32_t l, void* b, std::uint32_t* bl, std::uint32_t* i) override {
    return inner_.HttpQueryInfoA(r, l, b, bl, i);
  }
  bool InternetReadFile(Handle f, void* b, std::uint32_t n, std::uint32_t* r) override {
    return inner_.InternetReadFile(f, b, n, r);
  }
  bool InternetCloseHandle(Handle h) override { return inner_.InternetCloseHandle(h); }
  bool InternetQueryOptionA(Handle h, std::uint32_t o, void* b, std::uint32_t* bl) override {
    return inner_.InternetQueryOptionA(h, o, b, bl);
  }
  std::uint32_t GetLastError() override { return inner_.GetLastError(); }

 private:
  IInternetApi& inner_;
  std::uint16_t port_;
};

// Every event of one component, in order, as text, plus what a test needs to
// check the senders.
struct EventLog {
  std::vector<std::string> events;
  std::vector<TObject*> progressSenders;  // gone by the end: compare, never use
  std::vector<std::string> progressSenderClasses;
  TObject* lastSender = nullptr;
  std::string result;
  bool finished = false;

  void Attach(THTTPGet& get) {
    get.OnProgress = TOnProgressEvent([this](TObject* sender, std::int32_t total, std::int32_t readed) {
      progressSenders.push_back(sender);
      progressSenderClasses.push_back(sender->ClassName());
      events.push_back("progress " + std::to_string(total) + " " + std::to_string(readed));
    });
    get.OnDoneFile = TOnDoneFileEvent([this](TObject* sender, AnsiText fileName, std::int32_t size) {
      lastSender = sender;
      finished = true;
      events.push_back("donefile " + std::filesystem::path(fileName).filename().string() + " " +
                       std::to_string(size));
    });
    get.OnDoneString = TOnDoneStringEvent([this](TObject* sender, AnsiText text) {
      lastSender = sender;
      finished = true;
      result = text;
      events.push_back("donestring " + std::to_string(text.size()));
    });
    get.OnError = TNotifyEvent([this](TObject* sender) {
      lastSender = sender;
      finished = true;
      events.push_back("error");
    });
  }
  bool WaitFinished() {
    return PumpUntil([this] { return finished; });
  }
  std::string Last() const { return events.empty() ? "" : events.back(); }
};

// One getter on the fake transport, fetching server/dir/a.zip into a temp folder.
class GetterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    get.URL = "server/dir/a.zip";
    get.FileName = dir.File("a.zip");
    log.Attach(get);
  }
  void TearDown() override { EXPECT_TRUE(AllWorkersGone()); }

  TempDir dir;
  FakeInternet net;
  TComponent owner{nullptr};
  THTTPGet& get = *new THTTPGet(&owner, net);
  EventLog log;
};

}  // namespace httpget_test
