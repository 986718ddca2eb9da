// What a transfer came to: the answer's fields the getter reads, and on the
// fake transport the failure the getter gives for each kind of reason and
// status, and the continuing of a file.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <climits>
#include <functional>

#include "TestSupport.h"
#include "framework/FileNames.h"
#include "httpget/HTTPResult.h"
#include "httpget/InternetErrors.h"
#include "tests/support/CaseName.h"
#include "tests/support/FakeInternet.h"

using namespace httpget_test;
using F = THTTPFailure;

void PrintTo(THTTPFailure f, std::ostream* os) {
  *os << FailureName(f);
}

namespace {

// ---------------------------------------------------------------------------
// The answer's fields.

struct RangeCase {
  const char* text;
  std::optional<std::array<std::int64_t, 3>> range;
};

class ContentRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(ContentRange, IsReadStrictly) {
  const auto r = http_answer::ParseContentRange(GetParam().text);
  ASSERT_EQ(r.has_value(), GetParam().range.has_value());
  if (r) {
    EXPECT_EQ((std::array<std::int64_t, 3>{r->first, r->last, r->complete}), *GetParam().range);
  }
}

INSTANTIATE_TEST_SUITE_P(Result, ContentRange,
                         ::testing::Values(RangeCase{"bytes 1000-2999/3000", {{1000, 2999, 3000}}},
                                           RangeCase{" BYTES 0-0/1 ", {{0, 0, 1}}},
                                           RangeCase{"bytes 1000-2999/*", {}}, RangeCase{"bytes */3000", {}},
                                           RangeCase{"bytes 5-4/10", {}}, RangeCase{"bytes 0-10/10", {}},
                                           RangeCase{"1000-2999/3000", {}}, RangeCase{"bytes -5-9/10", {}},
                                           RangeCase{"bytes 0-1/99999999999999999999999", {}}),
                         [](const auto& p) { return CaseName(p.index, p.param.text); });

struct RetryCase {
  const char* retryAfter;
  const char* date;
  std::int32_t seconds;
};

class RetryAfter : public ::testing::TestWithParam<RetryCase> {};

TEST_P(RetryAfter, GivesSeconds) {
  // The client's clock: 1994-11-06 08:49:00 UTC.
  EXPECT_EQ(http_answer::RetryAfterSeconds(GetParam().retryAfter, GetParam().date, 784111740),
            GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Result, RetryAfter,
    ::testing::Values(RetryCase{"120", "", 120}, RetryCase{" 0 ", "", 0},
                      RetryCase{"99999999999", "", INT32_MAX}, RetryCase{"1.5", "", -1},
                      RetryCase{"", "", -1},
                      // Against the answer's own Date, in each of the three forms.
                      RetryCase{"Sun, 06 Nov 1994 08:50:37 GMT", "Sun, 06 Nov 1994 08:49:37 GMT", 60},
                      RetryCase{"Sunday, 06-Nov-94 08:50:37 GMT", "Sun, 06 Nov 1994 08:49:37 GMT", 60},
                      RetryCase{"Sun Nov  6 08:50:37 1994", "Sun, 06 Nov 1994 08:49:37 GMT", 60},
                      RetryCase{"Tue, 01 Mar 2022 00:00:00 GMT", "Mon, 28 Feb 2022 23:59:00 GMT", 60},
                      // Without a Date (or with one unreadable) against the client's clock.
                      RetryCase{"Sun, 06 Nov 1994 08:50:37 GMT", "", 97},
                      RetryCase{"Sun, 06 Nov 1994 08:50:37 GMT", "yesterday", 97},
                      RetryCase{"Sun, 06 Nov 1994 08:48:37 GMT", "", 0},
                      RetryCase{"Sun, 06 Nov 1994 25:50:37 GMT", "", -1},
                      RetryCase{"Sun, 06 Foo 1994 08:50:37 GMT", "", -1}),
    [](const auto& p) { return CaseName(p.index, p.param.retryAfter); });

struct ValidatorCase {
  const char* name;
  const char* etag;
  const char* lastModified;
  const char* date;
  const char* validator;
};

class Validator : public ::testing::TestWithParam<ValidatorCase> {};

TEST_P(Validator, IsWhatIfRangeMayCarry) {
  EXPECT_EQ(http_answer::ValidatorOf(GetParam().etag, GetParam().lastModified, GetParam().date),
            GetParam().validator);
}

constexpr const char* kModified = "Sun, 06 Nov 1994 08:49:37 GMT";
constexpr const char* kLater = "Sun, 06 Nov 1994 08:49:38 GMT";

INSTANTIATE_TEST_SUITE_P(
    Result, Validator,
    ::testing::Values(ValidatorCase{"StrongETag", "\"5f-1a\"", kModified, kLater, "\"5f-1a\""},
                      ValidatorCase{"WeakETagThenDate", "W/\"5f\"", kModified, kLater, kModified},
                      ValidatorCase{"UnquotedETagThenDate", "5f", kModified, kLater, kModified},
                      ValidatorCase{"ETagWithAQuoteInside", "\"a\"b\"", "", "", ""},
                      ValidatorCase{"ETagWithALineBreak", "\"a\r\nX: y\"", "", "", ""},
                      // A date is a strong validator only a second before the answer.
                      ValidatorCase{"DateOfTheSameSecond", "", kModified, kModified, ""},
                      ValidatorCase{"DateWithoutAnAnswerDate", "", kModified, "", ""},
                      ValidatorCase{"None", "", "", kLater, ""}),
    [](const auto& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------------------
// The getter's reasons, on the fake.

class ResultTest : public GetterTest {
 protected:
  void SetUp() override {
    GetterTest::SetUp();
    get.BinaryData = true;
  }
};

struct ReasonCase {
  const char* name;
  std::function<void(FakeInternet&, THTTPGet&)> set;
  std::string event;
  F failure;
  int status;
  std::uint32_t platformError;
};

class Reasons : public ResultTest, public ::testing::WithParamInterface<ReasonCase> {};

TEST_P(Reasons, AreThoseOfTheTransfer) {
  GetParam().set(net, get);
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.Last(), GetParam().event);
  EXPECT_EQ(get.Result().Failure, GetParam().failure);
  EXPECT_EQ(get.Result().Status, GetParam().status);
  EXPECT_EQ(get.Result().PlatformError, GetParam().platformError);
}

INSTANTIATE_TEST_SUITE_P(
    Getter, Reasons,
    ::testing::Values(
        ReasonCase{"Complete", [](FakeInternet&, THTTPGet&) {}, "donefile a.zip 3000", F::None, 200, 0},
        ReasonCase{"Refused", [](FakeInternet& n, THTTPGet&) { n.failCall["HttpSendRequestA"] = 12029; },
                   "error", F::ConnectionFailed, 0, 12029},
        ReasonCase{"NameNotResolved",
                   [](FakeInternet& n, THTTPGet&) { n.failCall["HttpSendRequestA"] = 12007; }, "error",
                   F::NameNotResolved, 0, 12007},
        // The first failed call's reason, not that of the calls failing after it.
        ReasonCase{"Unreachable", [](FakeInternet& n, THTTPGet&) { n.unreachable = true; }, "error",
                   F::ConnectionFailed, 0, 12029},
        ReasonCase{"TimedOutWithoutBinaryData",
                   [](FakeInternet& n, THTTPGet& g) {
                     n.failCall["HttpSendRequestA"] = 12002;
                     g.BinaryData = false;
                   },
                   "error", F::TimedOut, 0, 12002},
        // Each kind of reason a platform gives, and one that is none of them.
        ReasonCase{"UntrustedCertificate",
                   [](FakeInternet& n, THTTPGet&) { n.failCall["HttpSendRequestA"] = internet_error::kInvalidCa; },
                   "error", F::Certificate, 0, internet_error::kInvalidCa},
        ReasonCase{"RedirectFailed",
                   [](FakeInternet& n, THTTPGet&) { n.failCall["HttpSendRequestA"] = internet_error::kRedirectFailed; },
                   "error", F::RedirectLoop, 0, internet_error::kRedirectFailed},
        ReasonCase{"ProxyUnreachable",
                   [](FakeInternet& n, THTTPGet&) {
                     n.failCall["HttpSendRequestA"] = internet_error::kProxyServerUnreachable;
                   },
                   "error", F::ConnectionFailed, 0, internet_error::kProxyServerUnreachable},
        ReasonCase{"OtherReason",
                   [](FakeInternet& n, THTTPGet&) { n.failCall["HttpSendRequestA"] = internet_error::kInvalidUrl; },
                   "error", F::Other, 0, internet_error::kInvalidUrl},
        ReasonCase{"NotFound", [](FakeInternet& n, THTTPGet&) { n.status = "404"; }, "error", F::HttpStatus,
                   404, 0},
        // An answer's status counts before anything the platform said.
        ReasonCase{"InformationalStatus", [](FakeInternet& n, THTTPGet&) { n.status = "199"; }, "error",
                   F::HttpStatus, 199, 0},
        ReasonCase{"NoLength", [](FakeInternet& n, THTTPGet&) { n.contentLength.reset(); }, "error",
                   F::NoLength, 0, 0},
        // With the details the status of an answer without a length is known.
        ReasonCase{"NoLengthWithDetails",
                   [](FakeInternet& n, THTTPGet& g) {
                     n.contentLength.reset();
                     g.QueryDetails = true;
                   },
                   "error", F::NoLength, 200, 0},
        ReasonCase{"BusyWithoutLengthWithDetails",
                   [](FakeInternet& n, THTTPGet& g) {
                     n.contentLength.reset();
                     n.status = "503";
                     g.QueryDetails = true;
                   },
                   "error", F::HttpStatus, 503, 0},
        // A send that claimed success on a connection closed before any answer.
        ReasonCase{"NoAnswerWithDetails",
                   [](FakeInternet& n, THTTPGet& g) {
                     n.contentLength.reset();
                     n.status = "0";
                     g.QueryDetails = true;
                   },
                   "error", F::ConnectionFailed, 0, 0},
        ReasonCase{"BadLength", [](FakeInternet& n, THTTPGet&) { n.contentLength = "12abc"; }, "error",
                   F::BadLength, 200, 0},
        ReasonCase{"CutShort", [](FakeInternet& n, THTTPGet&) { n.failAfter = 2050; }, "error",
                   F::BodyCutShort, 200, 12031},
        ReasonCase{"EndedShort", [](FakeInternet& n, THTTPGet&) { n.body.resize(2000); }, "error",
                   F::BodyCutShort, 200, 0},
        ReasonCase{"TooLong", [](FakeInternet& n, THTTPGet&) { n.body.resize(4000, 'x'); }, "error",
                   F::BodyTooLong, 200, 0},
        ReasonCase{"UnwritableTarget", [](FakeInternet&, THTTPGet& g) { g.FileName += "/no/such/folder"; },
                   "error", F::FileError, 200, 0},
        // A header of the caller's making never reaches the platform.
        ReasonCase{"IfRangeWithALineBreak",
                   [](FakeInternet&, THTTPGet& g) {
                     g.RangeFrom = 10;
                     g.IfRange = "\"v1\"\r\nX-Other: 1";
                   },
                   "error", F::Other, 0, 0},
        ReasonCase{"NegativeRangeFrom", [](FakeInternet&, THTTPGet& g) { g.RangeFrom = -1; }, "error",
                   F::Other, 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ResultTest, ABadInputMakesNoPlatformCall) {
  get.IfRange = "\"v1\"\nX: y";
  get.RangeFrom = 10;
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_TRUE(net.Calls().empty());
}

TEST_F(ResultTest, DetailsGiveTheValidatorAndTheRetryAfter) {
  net.status = "503";
  net.fields = {{IInternetApi::kQueryETag, "\"v7\""},
                {IInternetApi::kQueryRetryAfter, "Sun, 06 Nov 1994 08:50:37 GMT"},
                {IInternetApi::kQueryDate, "Sun, 06 Nov 1994 08:50:00 GMT"}};
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(get.Result().Validator, "");
  EXPECT_EQ(get.Result().RetryAfter, -1) << "asked for only with QueryDetails";
  EXPECT_TRUE(net.Calls("HttpQueryInfoA").size() == 2u);

  get.QueryDetails = true;
  log.finished = false;
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(get.Result().Status, 503);
  EXPECT_EQ(get.Result().Validator, "\"v7\"");
  EXPECT_EQ(get.Result().RetryAfter, 37);
}

TEST_F(ResultTest, AbortIsTheReasonWhateverTheWorkerWasDoing) {
  get.OnProgress = TOnProgressEvent([this](TObject*, std::int32_t, std::int32_t) { get.Abort(); });
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(get.Result().Failure, F::Aborted);
}

TEST_F(ResultTest, AFullDiskIsToldFromAnyOtherFileError) {
  // A device every write to fails as on a full disk, where the system has one.
  std::FILE* probe = std::fopen("/dev/full", "wb");
  const bool full =
      probe != nullptr && std::fputc('x', probe) != EOF && std::fflush(probe) != 0 && errno == ENOSPC;
  if (probe != nullptr) std::fclose(probe);
  if (!full) GTEST_SKIP() << "no /dev/full here";
  SetTargetFileCreator([](const std::string&, std::int64_t) { return std::fopen("/dev/full", "wb"); });
  get.GetFile();
  const bool finished = log.WaitFinished();
  SetTargetFileCreator(nullptr);
  ASSERT_TRUE(finished);
  EXPECT_EQ(log.Last(), "error");
  EXPECT_EQ(get.Result().Failure, F::DiskFull);
}

// ---------------------------------------------------------------------------
// Continuing a file.

std::string Body() {
  std::string body(3000, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + i / 256);
  return body;
}

constexpr std::int32_t kFrom = 1000;

struct ResumeCase {
  const char* name;
  std::function<void(FakeInternet&, THTTPGet&)> set;
  std::string before;  // the target before the transfer
  std::string event;
  F failure;
  std::optional<std::string> after;  // nullopt: the target stays as it was
  int status;
  bool continued;
  std::int32_t total;
};

class Resume : public ResultTest, public ::testing::WithParamInterface<ResumeCase> {};

TEST_P(Resume, ContinuesExactlyTheRestOrStartsOver) {
  const ResumeCase& c = GetParam();
  net.body = Body();
  net.fields[IInternetApi::kQueryETag] = "\"v1\"";
  net.ranges = true;
  get.RangeFrom = kFrom;
  get.IfRange = "\"v1\"";
  c.set(net, get);
  WriteFile(get.FileName, c.before);
  std::optional<THTTPResult> atFirstProgress;
  get.OnProgress = TOnProgressEvent([&](TObject*, std::int32_t, std::int32_t) {
    if (!atFirstProgress) atFirstProgress = get.Result();
  });
  get.GetFile();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(log.Last(), c.event);
  EXPECT_EQ(get.Result().Failure, c.failure);
  EXPECT_EQ(get.Result().Status, c.status);
  EXPECT_EQ(get.Result().Continued, c.continued);
  EXPECT_EQ(get.Result().Offset, c.continued ? kFrom : 0);
  EXPECT_EQ(get.Result().Total, c.total);
  EXPECT_TRUE(ReadFile(get.FileName) == c.after.value_or(c.before)) << "the target's bytes";
  if (atFirstProgress) {
    EXPECT_EQ(atFirstProgress->Status, c.status);
    EXPECT_EQ(atFirstProgress->Continued, c.continued);
    EXPECT_EQ(atFirstProgress->Total, c.total);
  }
}

const std::string kStart = Body().substr(0, kFrom);
const std::string kJunk(500, 'j');

// The server answers STATUS itself, with that body, length and Content-Range
// (none when empty) instead of the rest asked for: an error that leaves the
// target as it was, a 206 of another part being a bad range.
ResumeCase Refused(const char* name, int status, std::string body = "", std::string length = "",
                   std::string contentRange = "") {
  auto set = [=](FakeInternet& n, THTTPGet&) {
    n.ranges = false;
    n.status = std::to_string(status);
    if (status != 206) return;
    n.body = body;
    n.contentLength = length;
    if (!contentRange.empty()) n.fields[IInternetApi::kQueryContentRange] = contentRange;
  };
  return {name, set, kStart, "error", status == 206 ? F::BadRange : F::HttpStatus, {}, status, false, 0};
}

INSTANTIATE_TEST_SUITE_P(
    Getter, Resume,
    ::testing::Values(
        ResumeCase{"TheRest", [](FakeInternet&, THTTPGet&) {}, kStart, "donefile a.zip 2000", F::None, Body(),
                   206, true, 3000},
        // Bytes past RangeFrom are no part of the file any more.
        ResumeCase{"TheRestAfterALongerTarget", [](FakeInternet&, THTTPGet&) {}, kStart + kJunk,
                   "donefile a.zip 2000", F::None, Body(), 206, true, 3000},
        ResumeCase{"StaleIfRangeGetsTheWholeFile", [](FakeInternet&, THTTPGet& g) { g.IfRange = "\"v0\""; },
                   kStart + kJunk, "donefile a.zip 3000", F::None, Body(), 200, false, 3000},
        ResumeCase{"RangeIgnored", [](FakeInternet& n, THTTPGet&) { n.ranges = false; }, kStart,
                   "donefile a.zip 3000", F::None, Body(), 200, false, 3000},
        // Answers of the server's own, not the rest asked for: the target stays.
        Refused("AnotherRange", 206, Body().substr(500), "2500", "bytes 500-2999/3000"),
        Refused("TheRestWithAWrongLength", 206, Body().substr(kFrom), "2500", "bytes 1000-2999/3000"),
        Refused("NotToTheEnd", 206, Body().substr(kFrom, 1000), "1000", "bytes 1000-1999/3000"),
        Refused("WithoutContentRange", 206, Body().substr(kFrom), "2000", ""), Refused("NotSatisfiable", 416),
        Refused("OtherSuccess", 203),
        // A cut continuation keeps what arrived, after the first RangeFrom bytes.
        ResumeCase{"TheRestCutShort", [](FakeInternet& n, THTTPGet&) { n.failAfter = 2050; }, kStart, "error",
                   F::BodyCutShort, Body().substr(0, 2050), 206, true, 3000},
        ResumeCase{"TargetShorterThanRangeFrom",
                   [](FakeInternet&, THTTPGet&) {},
                   kStart.substr(0, 999),
                   "error",
                   F::FileError,
                   {},
                   206,
                   true,
                   3000}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ResultTest, StringModeAsksForTheWholeBody) {
  get.RangeFrom = kFrom;
  get.GetString();
  ASSERT_TRUE(log.WaitFinished());
  EXPECT_EQ(net.Calls("HttpSendRequestA"), std::vector<std::string>{"HttpSendRequestA(h3,none,0,none,0)"});
  EXPECT_EQ(get.Result().Continued, false);
}

}  // namespace
