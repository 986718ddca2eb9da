// The scenario table over the Linux transport, through the proxy route and
// straight to the server. The same table runs over WinINet under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "ScenarioServe.h"
#include "Scenarios.h"
#include "TestSupport.h"
#include "platform/posix/http/PosixInternet.h"

using namespace httpget_test;

namespace {

enum class Route { Proxy, Direct };

class Scenario : public ::testing::TestWithParam<std::tuple<Route, scenarios::Row>> {};

TEST_P(Scenario, EndsAsOnWindows) {
  const auto& [route, tableRow] = GetParam();
  if (route == Route::Direct && tableRow.proxyOnly) GTEST_SKIP() << "a case of the proxy's own answer: there is no proxy on the direct route";
  TempDir root;
  TempDir files;
  vendor::VendorServer server(root.Path(), std::filesystem::path());
  server.Start("127.0.0.1", 0);
  const std::string address = "127.0.0.1:" + std::to_string(server.Port());
  // Straight to the server, an absolute redirect names it under another name.
  const auto rows = scenarios::Table(route == Route::Proxy ? scenarios::kMirror
                                                           : "localhost:" + std::to_string(server.Port()));
  const auto row =
      *std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.name == tableRow.name; });
  scenarios::Serve(root.Path(), rows, server);

  PosixInternetSettings settings;
  if (route == Route::Proxy) settings.httpProxy = scenarios::ProxySetting(address, row);
  settings.connectTimeout = settings.sendTimeout = std::chrono::seconds(5);
  settings.receiveTimeout = std::chrono::seconds(1);
  PosixInternet transport(settings);
  PortRedirect direct(transport,
                      row.peer == scenarios::Peer::ClosedPort ? scenarios::kClosedPort : server.Port());
  THTTPGet get(nullptr, route == Route::Proxy ? static_cast<IInternetApi&>(transport) : direct);
  EventLog log;
  log.Attach(get);
  const std::string host = row.peer == scenarios::Peer::UnknownName ? scenarios::kUnknownName : "127.0.0.1";
  get.URL = route == Route::Proxy ? scenarios::UrlOf(row) : host + row.served.front().path;
  get.FileName = files.File("target.bin");
  get.BinaryData = row.binaryData;
  get.UserName = row.userName;
  get.Password = row.password;
  get.PostQuery = row.postQuery;
  get.RangeFrom = row.rangeFrom;
  get.IfRange = row.ifRange;
  get.QueryDetails = row.queryDetails;
  WriteFile(get.FileName, scenarios::Before(row));
  const auto started = std::chrono::steady_clock::now();
  if (row.mode == scenarios::Mode::File) {
    get.GetFile();
  } else {
    get.GetString();
  }
  ASSERT_TRUE(log.WaitFinished());
  const auto took = std::chrono::steady_clock::now() - started;
  if (row.endsWithin) {
    EXPECT_LT(took, *row.endsWithin) << "the server keeps its socket open";
  }
  EXPECT_TRUE(AllWorkersGone());
  server.Stop();

  EXPECT_EQ(log.Last(), row.event);
  EXPECT_EQ(std::count_if(log.events.begin(), log.events.end(),
                          [](const std::string& e) { return e.rfind("progress", 0) != 0; }),
            1);
  const auto file = ReadFile(get.FileName);
  if (row.mode == scenarios::Mode::String) {
    EXPECT_TRUE(file == "old") << "the target was touched";
    if (row.event != "error") {
      EXPECT_TRUE(log.result == row.bytes) << log.result.substr(0, 100);
    }
  } else if (row.bytes) {
    EXPECT_TRUE(file == row.bytes) << "the file holds " << (file ? file->size() : 0) << " bytes";
  } else {
    EXPECT_TRUE(file == scenarios::Before(row)) << "the target was touched";
  }

  const THTTPResult& result = get.Result();
  const auto failure = row.event == "error" ? row.failure : THTTPFailure::None;
  if (failure) {
    EXPECT_EQ(FailureName(result.Failure), std::string(FailureName(*failure)))
        << "reason " << result.PlatformError;
  }
  if (row.status) {
    EXPECT_EQ(result.Status, *row.status);
  }
  if (row.continued) {
    EXPECT_EQ(result.Continued, *row.continued);
  }
  if (row.retryAfter) {
    EXPECT_EQ(result.RetryAfter, *row.retryAfter);
  }
  if (row.validator) {
    EXPECT_EQ(result.Validator, *row.validator);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Scenario,
                         ::testing::Combine(::testing::Values(Route::Proxy, Route::Direct),
                                            ::testing::ValuesIn(scenarios::Table())),
                         [](const auto& p) {
                           return std::string(std::get<0>(p.param) == Route::Proxy ? "Proxy_" : "Direct_") +
                                  std::get<1>(p.param).name;
                         });

}  // namespace
