#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "DemoTree.h"
#include "RawHttp.h"
#include "VendorServer.h"
#include "tests/support/CaseName.h"

namespace {

namespace fs = std::filesystem;

// A case is shown by its name when it fails.
template <class Case>
requires requires(const Case& c) {
  std::string_view(c.name);
}
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}
using rawhttp::End;
using vendor::Fault;

std::string Pattern(std::uint64_t seed, std::size_t size) {
  std::string bytes(size, '\0');
  vendor::FillPattern(seed, 0, std::span<char>(bytes.data(), bytes.size()));
  return bytes;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Names parameterised cases after their table row.
struct RowName {
  template <class T>
  std::string operator()(const ::testing::TestParamInfo<T>& row) const {
    return row.param.name;
  }
};

// A root with TERBO/a.bin and a secret file beside (not inside) the root.
class ServerTest : public ::testing::Test {
 protected:
  ServerTest() : root_(dir_.path() / "root"), log_(dir_.path() / "report.log"), server_(root_, log_) {
    content_ = Pattern(7, 100'000);
    WriteBytes(root_ / "TERBO" / "a.bin", content_);
    WriteBytes(dir_.path() / "secret.txt", "SECRET");
    server_.Start();
  }

  std::uint16_t port() const { return server_.Port(); }

  rawhttp::TempDir dir_;
  fs::path root_, log_;
  std::string content_;
  vendor::VendorServer server_;
};

// ---- serving files ----

class FileSizeTest : public ServerTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(FileSizeTest, BodyIsTheFileByteForByteWithItsLength) {
  const std::string bytes = Pattern(GetParam() + 1, GetParam());
  WriteBytes(root_ / "TERBO" / "sized.zip", bytes);
  const rawhttp::Response r = rawhttp::Get(port(), "/download/TERBO/sized.zip");
  EXPECT_EQ(r.end, End::Closed);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.contentLength, std::to_string(bytes.size()));
  EXPECT_TRUE(r.body == bytes) << "body of " << r.body.size() << " bytes differs";
}

// Around the read buffer of the getter and the server's own write chunk of 1 MiB.
INSTANTIATE_TEST_SUITE_P(Sizes, FileSizeTest,
                         ::testing::Values(0, 1, 1025, 1024 * 1024 - 1, 1024 * 1024, 1024 * 1024 + 1,
                                           3 * 1024 * 1024 + 7),
                         [](const auto& p) {
                           return CaseName(p.index, "Bytes" + CaseNumber(static_cast<long long>(p.param)));
                         });

struct TargetCase {
  const char* name;
  std::string request;
};

class TargetFormTest : public ServerTest, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(TargetFormTest, ServesTheFile) {
  const rawhttp::Response r = rawhttp::Exchange(port(), GetParam().request);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.contentLength, "100000");
  EXPECT_TRUE(r.body == content_);
  ASSERT_EQ(server_.Requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, TargetFormTest,
    ::testing::Values(
        TargetCase{"OriginHttp10", "GET /download/TERBO/a.bin HTTP/1.0\r\n\r\n"},
        TargetCase{"OriginHttp11", "GET /download/TERBO/a.bin HTTP/1.1\r\nHost: www.vendor.example\r\n\r\n"},
        TargetCase{"AbsoluteForm", "GET http://www.vendor.example/download/TERBO/a.bin HTTP/1.0\r\n\r\n"},
        TargetCase{"AbsoluteFormWithPort",
                   "GET http://www.vendor.example:80/download/TERBO/a.bin HTTP/1.0\r\n\r\n"},
        TargetCase{"AbsoluteFormUpperScheme",
                   "GET HTTP://WWW.VENDOR.EXAMPLE/download/TERBO/a.bin HTTP/1.0\r\n\r\n"},
        TargetCase{"EncodedName", "GET /download/TERBO/%61.bin HTTP/1.0\r\n\r\n"},
        TargetCase{"QueryIgnored", "GET /download/TERBO/a.bin?x=1 HTTP/1.0\r\n\r\n"},
        TargetCase{"Post", "POST /download/TERBO/a.bin HTTP/1.0\r\nContent-Length: 3\r\n\r\nx=1"}),
    RowName());

class NotFoundTest : public ServerTest, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(NotFoundTest, Answers404WithAnHtmlBodyOfTheAnnouncedLength) {
  fs::create_symlink(dir_.path() / "secret.txt", root_ / "TERBO" / "escape.zip");
  const rawhttp::Response r = rawhttp::Get(port(), GetParam().request);
  EXPECT_EQ(r.end, End::Closed);
  EXPECT_EQ(r.status, 404);
  EXPECT_FALSE(r.body.empty());
  EXPECT_EQ(r.contentLength, std::to_string(r.body.size()));
  EXPECT_EQ(r.body.find("SECRET"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, NotFoundTest,
    ::testing::Values(TargetCase{"MissingFile", "/download/TERBO/none.zip"},
                      TargetCase{"FolderNameIsCaseSensitive", "/download/terbo/a.bin"},
                      TargetCase{"Folder", "/download/TERBO/"},
                      TargetCase{"FolderNoSlash", "/download/TERBO"}, TargetCase{"OtherPath", "/index.html"},
                      TargetCase{"Root", "/"}, TargetCase{"DotDot", "/download/../secret.txt"},
                      TargetCase{"DotDotInside", "/download/TERBO/../../secret.txt"},
                      TargetCase{"EncodedDotDot", "/download/TERBO/%2e%2e/%2E%2E/secret.txt"},
                      TargetCase{"EncodedSlash", "/download/TERBO%2F..%2F..%2Fsecret.txt"},
                      TargetCase{"Backslash", "/download/TERBO/..%5C..%5Csecret.txt"},
                      TargetCase{"AbsoluteFormDotDot", "http://h/download/TERBO/../../secret.txt"},
                      TargetCase{"SymlinkOutOfRoot", "/download/TERBO/escape.zip"}),
    RowName());

TEST_F(ServerTest, FollowsASymlinkThatStaysInsideRoot) {
  fs::create_directories(root_ / "terbo");
  fs::create_symlink(root_ / "TERBO" / "a.bin", root_ / "terbo" / "a.bin");
  const rawhttp::Response r = rawhttp::Get(port(), "/download/terbo/a.bin");
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.body == content_);
}

TEST_F(ServerTest, PacedBodyStillArrivesWhole) {
  server_.SetRate(1'000'000);  // 50 KB slices for a 100 KB file
  const rawhttp::Response r = rawhttp::Get(port(), "/download/TERBO/a.bin");
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.body == content_);
}

TEST_F(ServerTest, MalformedRequestGetsAnAnswerAndAClose) {
  const rawhttp::Response r = rawhttp::Exchange(port(), "NONSENSE\r\n\r\n");
  EXPECT_EQ(r.end, End::Closed);
  EXPECT_EQ(r.status, 400);
}

// ---- recording ----

TEST_F(ServerTest, RecordsEveryRequestWithHeadersAndBody) {
  rawhttp::Exchange(port(),
                    "POST /programy/other.asp HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                    "Content-Length: 7\r\n\r\na=1&b=2");
  rawhttp::Exchange(port(), "GET http://h/download/TERBO/a.bin HTTP/1.1\r\nHost: h\r\nUser-Agent: T\r\n\r\n");
  const std::vector<vendor::RecordedRequest> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/programy/other.asp");
  EXPECT_EQ(requests[0].version, "HTTP/1.0");
  EXPECT_EQ(requests[0].body, "a=1&b=2");
  const std::pair<std::string, std::string> contentType{"Content-Type", "application/x-www-form-urlencoded"};
  EXPECT_NE(std::find(requests[0].headers.begin(), requests[0].headers.end(), contentType),
            requests[0].headers.end());
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[1].target, "http://h/download/TERBO/a.bin");
  EXPECT_EQ(requests[1].version, "HTTP/1.1");
  EXPECT_TRUE(requests[1].body.empty());
  EXPECT_EQ(requests[1].headers.size(), 2u);
}

struct ReportCase {
  const char* name;
  std::string target;
  std::string line;
};

class ReportTest : public ServerTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ReportTest, LogsTheDecodedQueryAndAnswers200) {
  const rawhttp::Response r = rawhttp::Get(port(), GetParam().target);
  EXPECT_EQ(r.status, 200);
  EXPECT_FALSE(r.body.empty());
  EXPECT_EQ(r.contentLength, std::to_string(r.body.size()));
  EXPECT_EQ(server_.ReportLines(), std::vector<std::string>{GetParam().line});
  EXPECT_EQ(rawhttp::ReadFile(log_), GetParam().line + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Queries, ReportTest,
    ::testing::Values(
        ReportCase{
            "Report",
            "/programy/setup.asp?telefon=XXX&co=stazeno%20(TERBO)*PC01*jan*Windows%20XP%20Professional"
            "%20Service%20Pack%202%20(Build%202600)*Windows%20XP*C:%5CWINDOWS%5Csystem32*",
            "telefon=XXX&co=stazeno (TERBO)*PC01*jan*Windows XP Professional Service Pack 2 (Build 2600)"
            "*Windows XP*C:\\WINDOWS\\system32*"},
        ReportCase{"PlusStaysPlus", "/programy/setup.asp?co=a+b%2Bc", "co=a+b+c"},
        ReportCase{"EncodedPunctuation", "/programy/setup.asp?co=%28X%29%2A%2a%3D%26", "co=(X)**=&"},
        ReportCase{"MalformedEscapesKept", "/programy/setup.asp?co=%zz%4%", "co=%zz%4%"},
        ReportCase{"AbsoluteForm", "http://www.vendor.example/programy/setup.asp?co=DOWNLOAD%20ERROR%20(X)**",
                   "co=DOWNLOAD ERROR (X)**"},
        ReportCase{"EmptyQuery", "/programy/setup.asp", ""}),
    RowName());

TEST_F(ServerTest, ReportLinesAccumulateInOrder) {
  rawhttp::Get(port(), "/programy/setup.asp?n=1");
  rawhttp::Get(port(), "/download/TERBO/a.bin");
  rawhttp::Get(port(), "/programy/setup.asp?n=2");
  EXPECT_EQ(server_.ReportLines(), (std::vector<std::string>{"n=1", "n=2"}));
  EXPECT_EQ(rawhttp::ReadFile(log_), "n=1\nn=2\n");
}

// ---- faults ----

struct FaultCase {
  const char* name;
  Fault fault;
  End end;
  int status;
  std::optional<std::string> contentLength;
  std::size_t bodySize;  // bytes of a.bin (100000) that arrive
};

class FaultTest : public ServerTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTest, ClientSeesTheFault) {
  const FaultCase& c = GetParam();
  server_.SetFault("/download/TERBO/a.bin", c.fault);
  // The installer's transport comes through the proxy route, so the absolute form must hit the fault too.
  for (const std::string target :
       {"/download/TERBO/a.bin", "http://www.vendor.example/download/TERBO/a.bin"}) {
    SCOPED_TRACE(target);
    const rawhttp::Response r = rawhttp::Get(port(), target, 200);
    EXPECT_EQ(r.end, c.end);
    EXPECT_EQ(r.status, c.status);
    if (c.status == 404) {
      EXPECT_FALSE(r.body.empty());
      EXPECT_EQ(r.contentLength, std::to_string(r.body.size()));
    } else {
      EXPECT_EQ(r.contentLength, c.contentLength);
    }
    if (c.status == 200) {
      EXPECT_EQ(r.body.size(), c.bodySize);
      EXPECT_TRUE(r.body == content_.substr(0, c.bodySize));
    }
  }
  // Other paths are untouched, and clearing restores the file.
  WriteBytes(root_ / "TERBO" / "b.bin", "bbb");
  EXPECT_EQ(rawhttp::Get(port(), "/download/TERBO/b.bin").body, "bbb");
  server_.ClearFaults();
  const rawhttp::Response r = rawhttp::Get(port(), "/download/TERBO/a.bin");
  EXPECT_EQ(r.contentLength, "100000");
  EXPECT_TRUE(r.body == content_);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FaultTest,
    ::testing::Values(
        FaultCase{"CutAfter2050", {Fault::Kind::CutAfter, 2050, {}}, End::Closed, 200, "100000", 2050},
        FaultCase{"CutAfter0", {Fault::Kind::CutAfter, 0, {}}, End::Closed, 200, "100000", 0},
        FaultCase{
            "CutAfterBeyondEnd", {Fault::Kind::CutAfter, 500000, {}}, End::Closed, 200, "100000", 100000},
        FaultCase{"NoLength", {Fault::Kind::NoLength, 0, {}}, End::Closed, 200, std::nullopt, 100000},
        FaultCase{"WrongLengthShort", {Fault::Kind::WrongLength, 5, {}}, End::Closed, 200, "5", 100000},
        FaultCase{
            "WrongLengthLong", {Fault::Kind::WrongLength, 200000, {}}, End::Closed, 200, "200000", 100000},
        FaultCase{"TextLengthLetters", {Fault::Kind::TextLength, 0, "abc"}, End::Closed, 200, "abc", 100000},
        FaultCase{"TextLengthNegative", {Fault::Kind::TextLength, 0, "-5"}, End::Closed, 200, "-5", 100000},
        FaultCase{"TextLengthHuge",
                  {Fault::Kind::TextLength, 0, "99999999999"},
                  End::Closed,
                  200,
                  "99999999999",
                  100000},
        FaultCase{"NotFound", {Fault::Kind::NotFound, 0, {}}, End::Closed, 404, std::nullopt, 0},
        FaultCase{"Stall", {Fault::Kind::Stall, 0, {}}, End::TimedOut, 0, std::nullopt, 0},
        FaultCase{"Reset", {Fault::Kind::Reset, 0, {}}, End::Reset, 0, std::nullopt, 0}),
    RowName());

// Faults that answer in place of the file: redirects, credential
// challenges, a raw answer, an echo of the request.
struct AnswerCase {
  const char* name;
  Fault fault;
  std::string request;
  End end;
  int status;
  std::string inHead;               // a line the head must hold ("" for none)
  std::optional<std::string> body;  // nullopt: the file itself
  std::string raw;                  // when set, every byte received
};

class AnswerTest : public ServerTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerTest, ReplacesOrGuardsTheFile) {
  const AnswerCase& c = GetParam();
  server_.SetFault("/download/TERBO/a.bin", c.fault);
  const rawhttp::Response r = rawhttp::Exchange(port(), c.request, 3000);
  EXPECT_EQ(r.end, c.end);
  if (!c.raw.empty()) {
    EXPECT_EQ(r.raw, c.raw);
    return;
  }
  EXPECT_EQ(r.status, c.status);
  if (!c.inHead.empty()) {
    EXPECT_NE(r.head.find("\r\n" + c.inHead + "\r\n"), std::string::npos) << r.head;
  }
  if (c.status == 0) return;
  EXPECT_TRUE(r.body == c.body.value_or(content_)) << r.body.substr(0, 200);
  EXPECT_EQ(r.contentLength, std::to_string(r.body.size()));
}

const std::string kGet = "GET /download/TERBO/a.bin HTTP/1.0\r\n";
const std::string kProxyGet = "GET http://www.vendor.example/download/TERBO/a.bin HTTP/1.0\r\n";
// "user:pass" and "user:bad" in Basic form.
const std::string kRight = "Basic dXNlcjpwYXNz";
const std::string kWrong = "Basic dXNlcjpiYWQ=";
const std::string kRawAnswer = "HTTP/1.0 200\nContent-Length: 2\n\nhi";

INSTANTIATE_TEST_SUITE_P(
    Kinds, AnswerTest,
    ::testing::Values(
        AnswerCase{"Redirect307",
                   {Fault::Kind::Redirect, 307, "http://mirror.example:8080/x"},
                   kGet + "\r\n",
                   End::Closed,
                   307,
                   "Location: http://mirror.example:8080/x",
                   "<html><body>Moved</body></html>\n",
                   ""},
        AnswerCase{"AuthWithout",
                   {Fault::Kind::Auth, 0, "user:pass"},
                   kGet + "\r\n",
                   End::Closed,
                   401,
                   "WWW-Authenticate: Basic realm=\"vendor\"",
                   "<html><body><h1>Unauthorized</h1></body></html>\n",
                   ""},
        AnswerCase{"AuthWrong",
                   {Fault::Kind::Auth, 0, "user:pass"},
                   kGet + "Authorization: " + kWrong + "\r\n\r\n",
                   End::Closed,
                   401,
                   "",
                   "<html><body><h1>Unauthorized</h1></body></html>\n",
                   ""},
        AnswerCase{"AuthRight",
                   {Fault::Kind::Auth, 0, "user:pass"},
                   kGet + "Authorization: " + kRight + "\r\n\r\n",
                   End::Closed,
                   200,
                   "",
                   std::nullopt,
                   ""},
        AnswerCase{"ProxyAuthIsNoMatterForAnOriginRequest",
                   {Fault::Kind::ProxyAuth, 0, "user:pass"},
                   kGet + "\r\n",
                   End::Closed,
                   200,
                   "",
                   std::nullopt,
                   ""},
        AnswerCase{"ProxyAuthWithout",
                   {Fault::Kind::ProxyAuth, 0, "user:pass"},
                   kProxyGet + "\r\n",
                   End::Closed,
                   407,
                   "Proxy-Authenticate: Basic realm=\"vendor\"",
                   "<html><body><h1>Proxy Authentication Required</h1></body></html>\n",
                   ""},
        AnswerCase{"ProxyAuthRight",
                   {Fault::Kind::ProxyAuth, 0, "user:pass"},
                   kProxyGet + "Proxy-Authorization: " + kRight + "\r\n\r\n",
                   End::Closed,
                   200,
                   "",
                   std::nullopt,
                   ""},
        AnswerCase{"EchoOfAPost",
                   {Fault::Kind::Echo, 0, {}},
                   "POST /download/TERBO/a.bin HTTP/1.0\r\nContent-Length: 3\r\n\r\nx=1",
                   End::Closed,
                   200,
                   "Content-Type: text/plain",
                   "POST x=1",
                   ""},
        AnswerCase{
            "Raw", {Fault::Kind::Raw, 0, kRawAnswer}, kGet + "\r\n", End::Closed, 0, "", "", kRawAnswer},
        AnswerCase{
            "RawHeldOpenThenClosed",
            {Fault::Kind::Raw, 0, kRawAnswer, false, Fault::End::Stall, std::chrono::milliseconds(300)},
            kGet + "\r\n",
            End::Closed,
            0,
            "",
            "",
            kRawAnswer},
        AnswerCase{
            "StallThenReset", {Fault::Kind::Stall, 300, {}}, kGet + "\r\n", End::Reset, 0, "", "", ""}),
    RowName());

// Requests for part of a file, as a getter continuing it makes them.
Fault WithETag(std::string etag) {
  Fault f;
  f.etag = std::move(etag);
  return f;
}
const std::string kContent = Pattern(7, 100'000);
const std::string kNotSatisfiable = "<html><body><h1>Range Not Satisfiable</h1></body></html>\n";

INSTANTIATE_TEST_SUITE_P(
    Ranges, AnswerTest,
    ::testing::Values(AnswerCase{"FromAByte",
                                 {},
                                 kGet + "Range: bytes=1000-\r\n\r\n",
                                 End::Closed,
                                 206,
                                 "Content-Range: bytes 1000-99999/100000",
                                 kContent.substr(1000),
                                 ""},
                      AnswerCase{"OfAPart",
                                 {},
                                 kGet + "Range: bytes=10-19\r\n\r\n",
                                 End::Closed,
                                 206,
                                 "Content-Range: bytes 10-19/100000",
                                 kContent.substr(10, 10),
                                 ""},
                      AnswerCase{"WithItsIfRange", WithETag("\"t1\""),
                                 kGet + "Range: bytes=1000-\r\nIf-Range: \"t1\"\r\n\r\n", End::Closed, 206,
                                 "Content-Range: bytes 1000-99999/100000", kContent.substr(1000), ""},
                      AnswerCase{"WithAStaleIfRange", WithETag("\"t1\""),
                                 kGet + "Range: bytes=1000-\r\nIf-Range: \"t0\"\r\n\r\n", End::Closed, 200,
                                 "ETag: \"t1\"", std::nullopt, ""},
                      AnswerCase{"PastTheEnd",
                                 {},
                                 kGet + "Range: bytes=100000-\r\n\r\n",
                                 End::Closed,
                                 416,
                                 "Content-Range: bytes */100000",
                                 kNotSatisfiable,
                                 ""},
                      AnswerCase{"SeveralAreIgnored",
                                 {},
                                 kGet + "Range: bytes=0-1,5-6\r\n\r\n",
                                 End::Closed,
                                 200,
                                 "Accept-Ranges: bytes",
                                 std::nullopt,
                                 ""}),
    RowName());

TEST_F(ServerTest, FaultOnReportPageStillLogsTheReport) {
  server_.SetFault("/programy/setup.asp", Fault{Fault::Kind::Reset, 0, {}});
  EXPECT_EQ(rawhttp::Get(port(), "/programy/setup.asp?co=x").end, End::Reset);
  EXPECT_EQ(server_.ReportLines(), std::vector<std::string>{"co=x"});
}

// ---- stopping ----

bool WaitForRequests(const vendor::VendorServer& server, std::size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (server.Requests().size() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TEST_F(ServerTest, StopReturnsWhileConnectionsStallAndClosesThem) {
  server_.SetFault("/download/TERBO/a.bin", Fault{Fault::Kind::Stall, 0, {}});
  const int stalled = rawhttp::Connect(port(), 10000);
  const int silent = rawhttp::Connect(port(), 10000);  // never sends a request
  ASSERT_GE(stalled, 0);
  ASSERT_GE(silent, 0);
  ASSERT_TRUE(rawhttp::SendAll(stalled, "GET /download/TERBO/a.bin HTTP/1.0\r\n\r\n"));
  ASSERT_TRUE(WaitForRequests(server_, 1));

  auto stopped = std::async(std::launch::async, [this] { server_.Stop(); });
  ASSERT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "Stop() hangs";
  EXPECT_NE(rawhttp::ReadAll(stalled).end, End::TimedOut);
  EXPECT_NE(rawhttp::ReadAll(silent).end, End::TimedOut);
  ::close(stalled);
  ::close(silent);
  EXPECT_LT(rawhttp::Connect(port(), 1000), 0);
}

TEST_F(ServerTest, StartsAgainAfterStop) {
  server_.Stop();
  server_.Start();
  EXPECT_TRUE(rawhttp::Get(port(), "/download/TERBO/a.bin").body == content_);
  EXPECT_THROW(server_.Start(), std::logic_error);
}

// ---- fault texts of the command line ----

struct ParseCase {
  const char* text;
  std::optional<Fault> fault;
};
void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << '"' << c.text << '"';
}

class ParseFaultTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseFaultTest, Parses) {
  const std::optional<Fault> parsed = vendor::ParseFault(GetParam().text);
  ASSERT_EQ(parsed.has_value(), GetParam().fault.has_value());
  if (!parsed) return;
  EXPECT_EQ(parsed->kind, GetParam().fault->kind);
  EXPECT_EQ(parsed->n, GetParam().fault->n);
  EXPECT_EQ(parsed->text, GetParam().fault->text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseFaultTest,
    ::testing::Values(
        ParseCase{"cut:2050", Fault{Fault::Kind::CutAfter, 2050, {}}},
        ParseCase{"CutAfter:7", Fault{Fault::Kind::CutAfter, 7, {}}},
        ParseCase{"nolength", Fault{Fault::Kind::NoLength, 0, {}}},
        ParseCase{"wronglength:-3", Fault{Fault::Kind::WrongLength, -3, {}}},
        ParseCase{"textlength:a:b", Fault{Fault::Kind::TextLength, 0, "a:b"}},
        ParseCase{"textlength:", Fault{Fault::Kind::TextLength, 0, ""}},
        ParseCase{"NotFound", Fault{Fault::Kind::NotFound, 0, {}}},
        ParseCase{"stall", Fault{Fault::Kind::Stall, 0, {}}},
        ParseCase{"reset", Fault{Fault::Kind::Reset, 0, {}}}, ParseCase{"cut", std::nullopt},
        ParseCase{"cut:12x", std::nullopt}, ParseCase{"wronglength:", std::nullopt},
        ParseCase{"stall:1", Fault{Fault::Kind::Stall, 1, {}}}, ParseCase{"stall:x", std::nullopt},
        ParseCase{"redirect:302:http://h:81/a", Fault{Fault::Kind::Redirect, 302, "http://h:81/a"}},
        ParseCase{"redirect:302", std::nullopt}, ParseCase{"redirect:30x:/a", std::nullopt},
        ParseCase{"auth:u:p:w", Fault{Fault::Kind::Auth, 0, "u:p:w"}},
        ParseCase{"ProxyAuth:u:", Fault{Fault::Kind::ProxyAuth, 0, "u:"}},
        ParseCase{"auth:user", std::nullopt}, ParseCase{"echo", Fault{Fault::Kind::Echo, 0, {}}},
        ParseCase{"echo:1", std::nullopt}, ParseCase{"rawfile:/no/such/file", std::nullopt},
        ParseCase{"explode", std::nullopt}, ParseCase{"", std::nullopt}),
    [](const auto& p) { return CaseName(p.index, p.param.text); });

}  // namespace
