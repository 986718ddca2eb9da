// The getter against a recording fake transport: the platform arguments, the
// outcome rules, the busy rules and the end of a component during a transfer.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "TestSupport.h"
#include "framework/Controls.h"
#include "framework/Exception.h"
#include "framework/FileNames.h"
#include "tests/support/CaseName.h"
#include "tests/support/FakeInternet.h"
#include "tests/support/FakeWidgetSet.h"

using namespace httpget_test;

namespace {

// ---------------------------------------------------------------------------
// What reaches the platform.

struct ArgsCase {
  const char* name;
  std::function<void(THTTPGet&)> set;
  std::vector<std::string> calls;  // up to the first query
};

class PlatformArguments : public GetterTest, public ::testing::WithParamInterface<ArgsCase> {};

// The calls of a GET with the default agent, no credentials and no referrer:
// to host and port, for path, with those request flags and that send.
std::vector<std::string> GetCalls(const std::string& host, int port, const std::string& path,
                                  const char* flags, const std::string& send = "none,0") {
  return {R"(InternetOpenA("Kestrami HTTPGet",0,none,none,0))",
          "InternetConnectA(h1,\"" + host + "\"," + std::to_string(port) + R"(,"","",3,0,0))",
          "HttpOpenRequestA(h2,\"GET\",\"" + path + R"(","HTTP/1.0","",["*/*"],)" + flags + ",0)",
          "HttpSendRequestA(h3," + send + ",none,0)"};
}

TEST_P(PlatformArguments, AreExactlyThoseOfTheTable) {
  GetParam().set(get);
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  const auto calls = net.Calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 4), GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Getter, PlatformArguments,
    ::testing::Values(
        ArgsCase{"Get", [](THTTPGet&) {}, GetCalls("server", 80, "/dir/a.zip", "0x80000000")},
        ArgsCase{
            "Post",
            [](THTTPGet& g) { g.PostQuery = "a=1&b=2"; },
            {R"(InternetOpenA("Kestrami HTTPGet",0,none,none,0))",
             R"(InternetConnectA(h1,"server",80,"","",3,0,0))",
             R"(HttpOpenRequestA(h2,"POST","/dir/a.zip","HTTP/1.0","",["*/*"],0x80000000,0))",
             R"(HttpSendRequestA(h3,"Content-Type: application/x-www-form-urlencoded",47,"a=1&b=2",7))"}},
        ArgsCase{
            "EmptyAgentCacheAndCredentials",
            [](THTTPGet& g) {
              g.Agent = "";
              g.UseCache = true;
              g.UserName = "jan";
              g.Password = "heslo";
              g.Referer = "http://x/ref";
              g.AcceptTypes = "application/zip";
              g.URL = "HTTP://server:8080/a";
            },
            {R"(InternetOpenA(none,0,none,none,0))",
             R"(InternetConnectA(h1,"server",8080,"jan","heslo",3,0,0))",
             R"(HttpOpenRequestA(h2,"GET","/a","HTTP/1.0","http://x/ref",["application/zip"],0x00000000,0))",
             R"(HttpSendRequestA(h3,none,0,none,0))"}},
        // The rest of a file: never from or into WinINet's cache.
        ArgsCase{"Range",
                 [](THTTPGet& g) {
                   g.RangeFrom = 1000;
                   g.IfRange = "\"5f-1a\"";
                 },
                 GetCalls("server", 80, "/dir/a.zip", "0x84000000",
                          "\"Range: bytes=1000-\r\nIf-Range: \"5f-1a\"\r\n\",39")},
        ArgsCase{"RangeWithoutIfRangeUsingCache",
                 [](THTTPGet& g) {
                   g.RangeFrom = 7;
                   g.UseCache = true;
                 },
                 GetCalls("server", 80, "/dir/a.zip", "0x04000000", "\"Range: bytes=7-\r\n\",17")},
        ArgsCase{"HttpsGoesToPort443WithTheSecureFlag",
                 [](THTTPGet& g) {
                   g.Https = true;
                   g.URL = "HTTPS://server/dir/a.zip";
                 },
                 GetCalls("server", 443, "/dir/a.zip", "0x80800000")},
        ArgsCase{"HttpsOnLeavesAPlainAddressPlain",
                 [](THTTPGet& g) {
                   g.Https = true;
                   g.URL = "http://server/dir/a.zip";
                 },
                 GetCalls("server", 80, "/dir/a.zip", "0x80000000")},
        ArgsCase{"HttpsOffTakesTheSchemeAsAHost", [](THTTPGet& g) { g.URL = "https://server/dir/a.zip"; },
                 GetCalls("https:", 80, "//server/dir/a.zip", "0x80000000")}),
    [](const auto& p) { return std::string(p.param.name); });

// Over TLS the address the answer finally came from must still be https://.
struct FinalUrlCase {
  const char* name;
  std::optional<std::string> finalUrl;  // unset: the address asked for
  bool ok;
};

class FinalAddress : public GetterTest, public ::testing::WithParamInterface<FinalUrlCase> {};

TEST_P(FinalAddress, DecidesTheOutcome) {
  WriteFile(get.FileName, "old");
  net.finalUrl = GetParam().finalUrl;
  get.Https = true;
  get.URL = "https://server/dir/a.zip";
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_FALSE(net.Calls("InternetQueryOptionA").empty());
  if (GetParam().ok) {
    EXPECT_EQ(log.Last(), "donefile a.zip 3000");
  } else {
    EXPECT_EQ(log.Last(), "error");
    EXPECT_TRUE(ReadFile(get.FileName) == "old") << "the target was touched";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Getter, FinalAddress,
    ::testing::Values(FinalUrlCase{"AsAskedFor", std::nullopt, true},
                      FinalUrlCase{"RedirectedToAnotherHttpsHost", "HTTPS://mirror/a.zip", true},
                      FinalUrlCase{"LongHttpsAddress", "https://mirror/" + std::string(4000, 'a'), true},
                      FinalUrlCase{"RedirectedToHttp", "http://server/dir/a.zip", false},
                      FinalUrlCase{"Unknown", "", false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(GetterTest, QueriesLengthThenStatusReadsInChunksOf1025AndClosesInOrder) {
  net.body = std::string(1500, 'x');
  net.contentLength = "1500";
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  const auto calls = net.Calls();
  const std::vector<std::string> tail(calls.begin() + 4, calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"HttpQueryInfoA(h3,5,1024,0)", "HttpQueryInfoA(h3,19,32,0)",
                                            "InternetReadFile(h3,1025)", "InternetReadFile(h3,1025)",
                                            "InternetReadFile(h3,1025)", "InternetCloseHandle(h3)",
                                            "InternetCloseHandle(h2)", "InternetCloseHandle(h1)"}));
}

// ---------------------------------------------------------------------------
// URL splitting.

struct SplitCase {
  const char* url;
  const char* host;
  const char* path;
};

class SplitURL : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitURL, GivesHostAndPath) {
  AnsiText host = "stale";
  AnsiText path = "stale";
  THTTPGetThread::SplitURL(GetParam().url, host, path);
  EXPECT_EQ(host, GetParam().host);
  EXPECT_EQ(path, GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Getter, SplitURL,
    ::testing::Values(SplitCase{"server/dir/a.zip", "server", "/dir/a.zip"},
                      SplitCase{"HTTP://server/dir/a.zip", "server", "/dir/a.zip"},
                      SplitCase{"hTtP://server/dir/a.zip", "server", "/dir/a.zip"},
                      SplitCase{"server/", "server", "/"}, SplitCase{"server", "", "server"},
                      SplitCase{"http://server", "", "server"},
                      SplitCase{"server:8080/a", "server:8080", "/a"},
                      SplitCase{"server/s.asp?u=http://other/x", "server", "/s.asp?u=http://other/x"},
                      SplitCase{"https://server/a", "https:", "//server/a"},
                      SplitCase{"http:/server", "http:", "/server"}, SplitCase{"", "", ""}),
    [](const auto& p) { return CaseName(p.index, p.param.url); });

TEST_F(GetterTest, HostWithoutPathFailsWithoutTouchingTheFile) {
  WriteFile(get.FileName, "old");
  get.URL = "server";
  get.BinaryData = true;
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.events, std::vector<std::string>{"error"});
  EXPECT_EQ(net.Calls("InternetConnectA")[0], R"(InternetConnectA(h1,"",80,"","",3,0,0))");
  EXPECT_EQ(ReadFile(get.FileName), "old");
}

// ---------------------------------------------------------------------------
// The transfer and its events.

TEST_F(GetterTest, ProgressPerChunkFromTheWorkerThenDoneFromTheComponent) {
  std::string body(3000, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
  net.body = body;
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.events, (std::vector<std::string>{"progress 3000 1025", "progress 3000 2050",
                                                  "progress 3000 3000", "donefile a.zip 3000"}));
  ASSERT_EQ(log.progressSenders.size(), 3u);
  for (TObject* s : log.progressSenders) EXPECT_EQ(s, log.progressSenders[0]);
  EXPECT_NE(log.progressSenders[0], &get);
  EXPECT_EQ(log.progressSenderClasses, std::vector<std::string>(3, "THTTPGetThread"));
  EXPECT_EQ(log.lastSender, &get);
  EXPECT_EQ(ReadFile(get.FileName), body);
  EXPECT_FALSE(get.Busy());
  EXPECT_TRUE(net.AllClosed());
}

TEST_F(GetterTest, ConnectionLostAfter2050BytesIsAnErrorAndKeepsThem) {
  net.failAfter = 2050;
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.events, (std::vector<std::string>{"progress 3000 1025", "progress 3000 2050", "error"}));
  EXPECT_EQ(ReadFile(get.FileName), std::string(2050, 'x'));
  EXPECT_TRUE(net.AllClosed());
}

TEST_F(GetterTest, BodySlowerThanTheLowSpeedLimitTimesOutAndOneAtItsPaceArrives) {
  get.LowSpeedBytes = 1024;
  get.LowSpeedSeconds = 1;
  net.trickle = 1025;  // a full read each time: the limit never bites
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.Last(), "donefile a.zip 3000");
  net.trickle = 1;  // 50 bytes a second, each read on time
  log.finished = false;
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.Last(), "error");
  EXPECT_EQ(get.Result().Failure, THTTPFailure::TimedOut);
  EXPECT_EQ(get.Result().PlatformError, 12002u);
}

struct OutcomeCase {
  const char* name;
  bool toFile;
  std::optional<std::string> contentLength;
  std::string status;
  std::size_t bodySize;
  std::optional<std::size_t> failAfter;
  bool binaryData;
  std::string event;                     // the final event
  std::optional<std::size_t> fileBytes;  // nullopt: the old file stays untouched
};

class Outcome : public GetterTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(Outcome, FollowsTheRules) {
  const OutcomeCase& c = GetParam();
  net.contentLength = c.contentLength;
  net.status = c.status;
  net.body = std::string(c.bodySize, 'b');
  net.failAfter = c.failAfter;
  get.BinaryData = c.binaryData;
  WriteFile(get.FileName, "old");
  c.toFile ? get.GetFile() : get.GetString();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.Last(), c.event);
  if (c.toFile && c.fileBytes) {
    EXPECT_EQ(ReadFile(get.FileName), std::string(*c.fileBytes, 'b'));
  } else {
    EXPECT_EQ(ReadFile(get.FileName), "old");
  }
  EXPECT_TRUE(net.AllClosed());
}

INSTANTIATE_TEST_SUITE_P(
    Getter, Outcome,
    ::testing::Values(
        // name, file mode, Content-Length, status, body, read fails after, BinaryData, event, file
        OutcomeCase{"Complete", true, "3000", "200", 3000, {}, true, "donefile a.zip 3000", 3000},
        OutcomeCase{"EmptyWithZeroLength", true, "0", "200", 0, {}, true, "donefile a.zip 0", 0},
        OutcomeCase{"Created201", true, "10", "201", 10, {}, true, "donefile a.zip 10", 10},
        OutcomeCase{"ShortBody", true, "3000", "200", 2000, {}, true, "error", 2000},
        OutcomeCase{"LongerBody", true, "3000", "200", 4000, {}, true, "error", 4000},
        OutcomeCase{"NoLengthBinaryGivesUpEarly", true, {}, "200", 3000, {}, true, "error", {}},
        OutcomeCase{"NoLengthEndsNormally", true, {}, "200", 3000, {}, false, "donefile a.zip 3000", 3000},
        OutcomeCase{"NoLengthEmptyBody", true, {}, "200", 0, {}, false, "donefile a.zip 0", 0},
        OutcomeCase{"NoLengthReadError", true, {}, "200", 3000, 2050, false, "error", 2050},
        OutcomeCase{"LengthIsLetters", true, "abc", "200", 3000, {}, true, "error", {}},
        OutcomeCase{"LengthIsNegative", true, "-5", "200", 3000, {}, true, "error", {}},
        OutcomeCase{"LengthTooBig", true, "99999999999", "200", 3000, {}, true, "error", {}},
        // 2^32 + 3000: a wrapped number would make a 3000-byte body look complete.
        OutcomeCase{"LengthWrapsTo3000", true, "4294970296", "200", 3000, {}, true, "error", {}},
        OutcomeCase{"LengthWithBlanks", true, " 3000 ", "200", 3000, {}, true, "donefile a.zip 3000", 3000},
        OutcomeCase{"NotFoundWithMatchingLength", true, "3000", "404", 3000, {}, true, "error", {}},
        OutcomeCase{"ServerError", true, "3000", "500", 3000, {}, false, "error", {}},
        OutcomeCase{"NoStatus", true, "3000", "", 3000, {}, false, "error", {}},
        OutcomeCase{"StringComplete", false, "3000", "200", 3000, {}, true, "donestring 3000", {}},
        OutcomeCase{
            "StringShortBodyStillSucceeds", false, "3000", "200", 2000, {}, true, "donestring 2000", {}},
        OutcomeCase{
            "StringReadErrorAfterSomeBytes", false, "3000", "200", 3000, 1025, true, "donestring 1025", {}},
        OutcomeCase{"StringEmptyBody", false, "0", "200", 0, {}, true, "error", {}},
        OutcomeCase{"StringNotFound", false, "3000", "404", 3000, {}, true, "error", {}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(GetterTest, UnreachableServerIsAnErrorInEitherLengthMode) {
  for (bool binary : {true, false}) {
    FakeInternet down;
    down.unreachable = true;
    THTTPGet g(nullptr, down);
    EventLog events;
    events.Attach(g);
    g.URL = "server/a";
    g.FileName = dir.File("down.zip");
    g.BinaryData = binary;
    g.GetFile();
    ASSERT_TRUE(events.WaitFinished());
    EXPECT_EQ(events.events, std::vector<std::string>{"error"}) << binary;
    EXPECT_FALSE(ReadFile(g.FileName)) << binary;
  }
}

TEST_F(GetterTest, StringModeKeepsZeroBytes) {
  net.body = std::string("a\0b\0\0c", 6);
  net.contentLength = "6";
  get.GetString();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.result, net.body);
  EXPECT_EQ(log.lastSender, &get);
}

TEST_F(GetterTest, StringModeWithoutLengthReportsTotalZero) {
  net.contentLength.reset();
  net.body = std::string(2500, 's');
  get.GetString();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.events, (std::vector<std::string>{"progress 0 1025", "progress 0 2050", "progress 0 2500",
                                                  "donestring 2500"}));
  EXPECT_EQ(log.result, net.body);
}

TEST_F(GetterTest, UnwritableTargetIsAnError) {
  get.FileName = dir.File("no/such/folder/a.zip");
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.events, std::vector<std::string>{"error"});
  EXPECT_TRUE(net.Calls("InternetReadFile").empty());
}

TEST_F(GetterTest, ErrorFromTheProgressHandlerEndsTheTransferAsFailure) {
  get.OnProgress = TOnProgressEvent([](TObject*, std::int32_t, std::int32_t readed) {
    if (readed > 1025) throw std::runtime_error("stop");
  });
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.events, std::vector<std::string>{"error"});
  EXPECT_EQ(ReadFile(get.FileName), std::string(2050, 'x'));
  EXPECT_EQ(net.Calls("InternetReadFile").size(), 2u);
  EXPECT_TRUE(net.AllClosed());
}

// ---------------------------------------------------------------------------
// Inputs are taken at the start; the final handlers at the end.

TEST_F(GetterTest, InputsAreThoseOfTheStartButTheFinalHandlerIsLookedUpAtTheEnd) {
  Gate gate;
  net.holdRead = &gate;
  net.holdReadAt = 1025;
  const std::string target = get.FileName;
  get.GetFile();
  ASSERT_TRUE(PumpUntil([&] { return gate.Reached(); }));
  get.URL = "elsewhere/b";
  get.FileName = dir.File("b.zip");
  get.OnProgress =
      TOnProgressEvent([](TObject*, std::int32_t, std::int32_t) { FAIL() << "late progress handler"; });
  std::string lateHandler;
  get.OnDoneFile = TOnDoneFileEvent([&](TObject*, AnsiText name, std::int32_t size) {
    lateHandler = std::move(name) + " " + std::to_string(size);
    log.finished = true;
  });
  gate.Open();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(lateHandler, target + " 3000");
  EXPECT_EQ(log.events.size(), 3u);  // the three progress reports of the first handler
  EXPECT_EQ(net.Calls("InternetConnectA")[0], R"(InternetConnectA(h1,"server",80,"","",3,0,0))");
  EXPECT_FALSE(ReadFile(dir.File("b.zip")));
}

// ---------------------------------------------------------------------------
// One transfer at a time.

TEST_F(GetterTest, SecondStartWhileBusyIsIgnored) {
  get.GetFile();
  get.GetFile();
  get.GetString();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(net.Calls("InternetOpenA").size(), 1u);
  EXPECT_EQ(log.Last(), "donefile a.zip 3000");
}

TEST_F(GetterTest, StartFromInsideTheFinalEventIsIgnoredButWorksAfterwards) {
  int doneCount = 0;
  bool busyInside = false;
  get.OnDoneFile = TOnDoneFileEvent([&](TObject*, AnsiText, std::int32_t) {
    ++doneCount;
    busyInside = get.Busy();
    get.GetFile();
  });
  get.GetFile();
  ASSERT_TRUE(PumpUntil([&] { return doneCount == 1 && !get.Busy(); }));
  EXPECT_TRUE(busyInside);
  EXPECT_EQ(net.Calls("InternetOpenA").size(), 1u);
}

TEST_F(GetterTest, StartFromInsideOnErrorIsIgnored) {
  net.status = "404";
  int errors = 0;
  get.OnError = TNotifyEvent([&](TObject*) {
    ++errors;
    get.GetFile();
  });
  get.GetFile();
  ASSERT_TRUE(PumpUntil([&] { return errors == 1 && !get.Busy(); }));
  EXPECT_EQ(net.Calls("InternetOpenA").size(), 1u);
}

TEST_F(GetterTest, ErrorLeavingTheFinalHandlerIsShownAndTheComponentGoesIdle) {
  TFakeWidgets boxes;
  Application().SetWidgetSet(&boxes);
  net.status = "404";
  int errors = 0;
  get.OnError = TNotifyEvent([&](TObject*) {
    ++errors;
    throw Exception("Handler failed");
  });
  get.GetFile();
  const bool ended = PumpUntil([&] { return errors == 1 && !get.Busy(); });
  Application().SetWidgetSet(nullptr);
  ASSERT_TRUE(ended);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Handler failed.");
  EXPECT_TRUE(boxes.boxes[0].errorIcon);
}

TEST_F(GetterTest, TargetIsCreatedUnderThePlatformsNameForIt) {
  // As on Linux, where the Windows-1250 name is stored under its UTF-8 form;
  // here the platform's name is plain ASCII so any file system shows it.
  // Spelled by hand: a path object would re-encode the byte on some systems.
  get.FileName = dir.File("x.zip");
  get.FileName[get.FileName.size() - 5] = '\xe8';
  const AnsiText plain = get.FileName;
  SetNativeFileName([](const AnsiText& name) {
    AnsiText native = name;
    const auto at = native.find('\xe8');
    if (at != AnsiText::npos) native.replace(at, 1, "c-caron");
    return native;
  });
  get.GetFile();
  const bool finished = log.WaitFinished();
  SetNativeFileName(nullptr);
  ASSERT_TRUE(finished);
  EXPECT_TRUE(std::ifstream(dir.File("c-caron.zip")).good());
  EXPECT_FALSE(std::ifstream(plain).good());
}

TEST_F(GetterTest, AbortThenStartBeforeTheCompletionIsIgnored) {
  Gate gate;
  net.holdSend = &gate;
  get.GetFile();
  ASSERT_TRUE(PumpUntil([&] { return gate.Reached(); }));
  get.Abort();
  get.GetFile();
  EXPECT_TRUE(get.Busy());
  gate.Open();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.events, std::vector<std::string>{"error"});
  EXPECT_EQ(net.Calls("InternetOpenA").size(), 1u);
}

TEST_F(GetterTest, AbortWhileIdleDoesNothing) {
  get.Abort();
  EXPECT_FALSE(get.Busy());
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.Last(), "donefile a.zip 3000");
}

// Aborts while the worker is held before the target file is created: while
// sending, inside the length query and inside the status query. The next call must not happen.
struct EarlyAbortCase {
  const char* name;
  Gate* FakeInternet::*hold;
  const char* nextCall;
};

class EarlyAbort : public GetterTest, public ::testing::WithParamInterface<EarlyAbortCase> {};

TEST_P(EarlyAbort, LeavesTheTargetUntouched) {
  WriteFile(get.FileName, "old");
  Gate gate;
  net.*GetParam().hold = &gate;
  get.GetFile();
  ASSERT_TRUE(PumpUntil([&] { return gate.Reached(); }));
  get.Abort();
  gate.Open();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.events, std::vector<std::string>{"error"});
  EXPECT_EQ(ReadFile(get.FileName), "old");
  EXPECT_TRUE(net.Calls(GetParam().nextCall).empty());
  EXPECT_TRUE(net.AllClosed());
}

INSTANTIATE_TEST_SUITE_P(
    Getter, EarlyAbort,
    ::testing::Values(EarlyAbortCase{"WhileSending", &FakeInternet::holdSend, "HttpQueryInfoA"},
                      EarlyAbortCase{"DuringTheLengthQuery", &FakeInternet::holdQuery, "InternetReadFile"},
                      EarlyAbortCase{"DuringTheStatusQuery", &FakeInternet::holdStatusQuery,
                                     "InternetReadFile"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(GetterTest, AbortAfterTheFileWasCreatedKeepsTheBytesWritten) {
  WriteFile(get.FileName, "old");
  Gate gate;
  net.holdRead = &gate;
  net.holdReadAt = 2050;
  get.GetFile();
  ASSERT_TRUE(PumpUntil([&] { return gate.Reached(); }));
  get.Abort();
  gate.Open();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.Last(), "error");
  // The read under way when Abort came still completes and is stored.
  EXPECT_EQ(ReadFile(get.FileName), std::string(3000, 'x'));
  EXPECT_EQ(net.Calls("InternetReadFile").size(), 3u);
}

TEST_F(GetterTest, AbortStopsBeforeTheNextRead) {
  int progress = 0;
  get.OnProgress = TOnProgressEvent([&](TObject*, std::int32_t, std::int32_t) {
    if (++progress == 2) get.Abort();
  });
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.Last(), "error");
  EXPECT_EQ(ReadFile(get.FileName), std::string(2050, 'x'));
  EXPECT_EQ(net.Calls("InternetReadFile").size(), 2u);
}

TEST_F(GetterTest, AbortAfterTheBodyHasEndedStillEndsWithError) {
  get.OnProgress = TOnProgressEvent();  // the worker must not need the UI thread before its end
  get.GetFile();
  // The worker has closed its handles and waits for its completion to run.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!net.AllClosed() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
  ASSERT_TRUE(net.AllClosed());
  get.Abort();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.Last(), "error");
}

TEST_F(GetterTest, WaitThreadReturnsOnlyAfterTheFinalEvent) {
  get.WaitThread = true;
  get.GetFile();
  EXPECT_EQ(log.events, (std::vector<std::string>{"progress 3000 1025", "progress 3000 2050",
                                                  "progress 3000 3000", "donefile a.zip 3000"}));
  EXPECT_FALSE(get.Busy());
}

TEST_F(GetterTest, WaitThreadLetsTheWindowHandleItsMessages) {
  // The window's messages keep flowing while the caller waits for the transfer.
  TFakeWidgets widgets;
  Application().SetWidgetSet(&widgets);
  get.WaitThread = true;
  get.GetFile();
  Application().SetWidgetSet(nullptr);
  EXPECT_GE(widgets.processed, 1);
  EXPECT_EQ(log.Last(), "donefile a.zip 3000");
}

TEST_F(GetterTest, WaitThreadEndsWithErrorToo) {
  net.failAfter = 0;
  get.WaitThread = true;
  get.GetFile();
  EXPECT_EQ(log.events, std::vector<std::string>{"error"});
  EXPECT_FALSE(get.Busy());
}

// ---------------------------------------------------------------------------
// The component going away during a transfer.

TEST_F(GetterTest, DestroyedDuringTransferNothingReachesItAndTheWorkerFreesItself) {
  Gate gate;
  net.holdRead = &gate;
  net.holdReadAt = 1025;
  bool anyEvent = false;
  auto owner2 = std::make_unique<TComponent>(nullptr);
  auto* g = new THTTPGet(owner2.get(), net);
  g->URL = "server/a";
  g->FileName = dir.File("gone.zip");
  g->OnProgress = TOnProgressEvent([&](TObject*, std::int32_t, std::int32_t) { anyEvent = true; });
  g->OnError = TNotifyEvent([&](TObject*) { anyEvent = true; });
  g->OnDoneFile = TOnDoneFileEvent([&](TObject*, AnsiText, std::int32_t) { anyEvent = true; });
  g->GetFile();
  ASSERT_TRUE(PumpUntil([&] { return gate.Reached(); }));
  anyEvent = false;  // the first chunk's progress may have run
  owner2.reset();    // frees g
  gate.Open();
  EXPECT_TRUE(AllWorkersGone());
  EXPECT_FALSE(anyEvent);
  // The worker stopped at its next check.
  EXPECT_EQ(net.Calls("InternetReadFile").size(), 2u);
  EXPECT_TRUE(net.AllClosed());
}

TEST_F(GetterTest, DestroyedInsideItsOwnEvents) {
  for (int which = 0; which < 3; ++which) {
    FakeInternet n;
    auto* g = new THTTPGet(nullptr, n);
    g->URL = "server/a";
    g->FileName = dir.File("self.zip");
    bool fired = false;
    auto destroy = [&] {
      fired = true;
      delete g;
    };
    if (which == 0)
      g->OnProgress = TOnProgressEvent([&](TObject*, std::int32_t, std::int32_t) { destroy(); });
    if (which == 1) g->OnDoneFile = TOnDoneFileEvent([&](TObject*, AnsiText, std::int32_t) { destroy(); });
    if (which == 2) {
      n.status = "500";
      g->OnError = TNotifyEvent([&](TObject*) { destroy(); });
    }
    g->GetFile();
    EXPECT_TRUE(PumpUntil([&] { return fired; })) << which;
    EXPECT_TRUE(AllWorkersGone()) << which;
  }
}

TEST_F(GetterTest, DestroyedWhileWaitingForTheTransfer) {
  FakeInternet n;
  auto* g = new THTTPGet(nullptr, n);
  g->URL = "server/a";
  g->FileName = dir.File("wait.zip");
  g->WaitThread = true;
  int progress = 0;
  g->OnProgress = TOnProgressEvent([&](TObject*, std::int32_t, std::int32_t) {
    if (++progress == 1) delete g;
  });
  g->GetFile();  // returns once the component is gone
  EXPECT_EQ(progress, 1);
  EXPECT_TRUE(AllWorkersGone());
}

}  // namespace
