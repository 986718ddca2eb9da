// The scenario table over WinINet, through the proxy route, against
// scenario_server, which scripts/windows-test.sh starts and names in
//   WEBSETUP_SCENARIO_PROXY   127.0.0.1:PORT
// A row whose proxy credentials differ from those in http_proxy runs in a
// child process with its own setting. Under Wine a row that says how Wine differs from Windows
// is held to what Wine does.
// clang-format off
#include "httpget/HTTPGet.h"
#include "platform/win32/http/WinInetInternet.h"
#include "platform/win32/ui/Win32WidgetSet.h"
#include "Scenarios.h"
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::optional<std::string> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class Scenario : public ::testing::TestWithParam<scenarios::Row> {
 protected:
  void SetUp() override {
    const char* proxy = std::getenv("WEBSETUP_SCENARIO_PROXY");
    ASSERT_NE(proxy, nullptr) << "run through scripts/windows-test.sh";
    proxy_ = proxy;
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "websetup-scenario-" + std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryA(folder_.c_str(), nullptr);
    target_ = folder_ + "\\target.bin";
    Application().SetWidgetSet(&widgets_);
  }
  void TearDown() override {
    ::DeleteFileA(target_.c_str());
    ::RemoveDirectoryA(folder_.c_str());
    Application().SetWidgetSet(nullptr);
  }

  std::string proxy_, folder_, target_;
  TWin32WidgetSet widgets_;
};

TEST_P(Scenario, EndsAsOnWindows) {
  const scenarios::Row& row = GetParam();
  const bool wineDiffers = UnderWine() && !row.wineDiffers.empty();
  if (wineDiffers && row.wineEvent.empty()) GTEST_SKIP() << "under Wine: " << row.wineDiffers;
  const std::string setting = scenarios::ProxySetting(proxy_, row);
  const char* current = std::getenv("http_proxy");
  if (current == nullptr || setting != current) {
    // WinINet takes http_proxy once a process, so a row with other proxy
    // credentials runs in a process of its own.
    ASSERT_TRUE(::SetEnvironmentVariableA("http_proxy", setting.c_str()));
    char self[MAX_PATH];
    ASSERT_NE(::GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::string command = std::string("\"") + self + "\" --gtest_filter=" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const BOOL started = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          nullptr, &startup, &child);
    ::SetEnvironmentVariableA("http_proxy", current);
    ASSERT_TRUE(started) << command;
    ::WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(child.hProcess, &code);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    EXPECT_EQ(code, 0u) << "with http_proxy=" << setting;
    return;
  }

  WinInetInternet internet;
  TComponent owner(nullptr);
  auto* get = new THTTPGet(&owner, internet);
  std::vector<std::string> events;
  std::string result;
  get->OnDoneFile = TOnDoneFileEvent([&](TObject*, AnsiText name, std::int32_t size) {
    events.push_back("donefile " + name.substr(name.rfind('\\') + 1) + " " + std::to_string(size));
  });
  get->OnDoneString = TOnDoneStringEvent([&](TObject*, AnsiText text) {
    result = text;
    events.push_back("donestring " + std::to_string(text.size()));
  });
  get->OnError = TNotifyEvent([&](TObject*) { events.push_back("error"); });
  get->WaitThread = true;
  get->URL = scenarios::UrlOf(row);
  get->FileName = target_;
  get->BinaryData = row.binaryData;
  get->UserName = row.userName;
  get->Password = row.password;
  get->PostQuery = row.postQuery;
  get->RangeFrom = row.rangeFrom;
  get->IfRange = row.ifRange;
  get->QueryDetails = row.queryDetails;
  std::ofstream(target_, std::ios::binary) << scenarios::Before(row);
  const auto started = std::chrono::steady_clock::now();
  if (row.mode == scenarios::Mode::File) {
    get->GetFile();
  } else {
    get->GetString();
  }
  const auto took = std::chrono::steady_clock::now() - started;

  std::string event = row.event;
  std::optional<std::string> bytes = row.bytes;
  std::optional<THTTPFailure> failure = row.event == "error" ? row.failure : THTTPFailure::None;
  if (wineDiffers) {
    std::cout << "  Wine differs from Windows here: " << row.wineDiffers << "\n";
    event = row.wineEvent;
    bytes = row.wineBytes;
    failure = event == "error" ? row.wineFailure : THTTPFailure::None;
  }
  ASSERT_EQ(events.size(), 1u) << "one final event";
  if (row.endsWithin) {
    EXPECT_LT(took, *row.endsWithin) << "the server keeps its socket open";
  }
  EXPECT_EQ(events.back(), event);
  const auto file = ReadAll(target_);
  if (row.mode == scenarios::Mode::String) {
    EXPECT_TRUE(file == "old") << "the target was touched";
    if (event != "error") {
      EXPECT_TRUE(result == bytes) << result.substr(0, 100);
    }
  } else if (bytes) {
    EXPECT_TRUE(file == bytes) << "the file holds " << (file ? file->size() : 0) << " bytes";
  } else {
    EXPECT_TRUE(file == scenarios::Before(row)) << "the target was touched";
  }

  const THTTPResult& outcome = get->Result();
  std::cout << "  " << FailureName(outcome.Failure) << ", status " << outcome.Status << ", reason "
            << outcome.PlatformError << "\n";
  if (failure) {
    EXPECT_EQ(FailureName(outcome.Failure), std::string(FailureName(*failure)));
  }
  if (row.status && !wineDiffers) {
    EXPECT_EQ(outcome.Status, *row.status);
  }
  if (row.continued && !wineDiffers) {
    EXPECT_EQ(outcome.Continued, *row.continued);
  }
  if (row.retryAfter && !wineDiffers) {
    EXPECT_EQ(outcome.RetryAfter, *row.retryAfter);
  }
  if (row.validator && !wineDiffers) {
    EXPECT_EQ(outcome.Validator, *row.validator);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Scenario, ::testing::ValuesIn(scenarios::Table()),
                         [](const auto& p) { return p.param.name; });

}  // namespace
