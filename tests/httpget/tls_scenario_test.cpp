// The scenario table's TLS rows over the Linux transport, through the test's
// CONNECT proxy to the TLS peers that tests/httpget/tls_peers.sh starts and
// names in WEBSETUP_TLS_PROXY; the test's authority is trusted through
// SSL_CERT_FILE, as a user would trust one. The same rows run over WinINet.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Scenarios.h"
#include "TestSupport.h"
#include "platform/posix/http/PosixInternet.h"

using namespace httpget_test;

namespace {

class TlsScenario : public ::testing::TestWithParam<scenarios::Row> {};

TEST_P(TlsScenario, EndsAsOnWindows) {
  const char* proxy = std::getenv("WEBSETUP_TLS_PROXY");
  const char* authority = std::getenv("WEBSETUP_TLS_CA");
  ASSERT_TRUE(proxy != nullptr && authority != nullptr) << "run through tests/httpget/tls_peers.sh";
  ASSERT_EQ(setenv("SSL_CERT_FILE", authority, 1), 0);
  const scenarios::Row& row = GetParam();
  TempDir files;
  PosixInternetSettings settings;
  // Plain requests go the same way: a redirect followed to http:// would arrive.
  settings.httpsProxy = settings.httpProxy = std::string("http://") + proxy;
  settings.connectTimeout = settings.sendTimeout = settings.receiveTimeout = std::chrono::seconds(5);
  PosixInternet transport(settings);
  THTTPGet get(nullptr, transport);
  EventLog log;
  log.Attach(get);
  get.Https = true;
  get.URL = scenarios::UrlOf(row);
  get.FileName = files.File("target.bin");
  get.BinaryData = row.binaryData;
  WriteFile(get.FileName, "old");
  if (row.mode == scenarios::Mode::File) {
    get.GetFile();
  } else {
    get.GetString();
  }
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_TRUE(AllWorkersGone());

  EXPECT_EQ(log.Last(), row.event);
  const auto file = ReadFile(get.FileName);
  if (row.mode == scenarios::Mode::String) {
    EXPECT_TRUE(file == "old") << "the target was touched";
    if (row.event != "error") {
      EXPECT_TRUE(log.result == row.bytes) << log.result.size() << " bytes";
    }
  } else if (row.bytes) {
    EXPECT_TRUE(file == row.bytes) << "the file holds " << (file ? file->size() : 0) << " bytes";
  } else {
    EXPECT_TRUE(file == "old") << "the target was touched";
  }
  const THTTPFailure failure =
      row.event == "error" ? row.failure.value_or(THTTPFailure::Other) : THTTPFailure::None;
  EXPECT_EQ(FailureName(get.Result().Failure), std::string(FailureName(failure)))
      << "reason " << get.Result().PlatformError;
}

INSTANTIATE_TEST_SUITE_P(Tls, TlsScenario, ::testing::ValuesIn(scenarios::TlsTable()),
                         [](const auto& p) { return p.param.name; });

}  // namespace
