#include "httpget/HTTPGet.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

#include "framework/Controls.h"
#include "framework/FileNames.h"
#include "framework/MainThread.h"
#include "httpget/HTTPResult.h"
#include "httpget/InternetErrors.h"
#include "textconv/Ascii.h"

namespace {
constexpr std::uint32_t kReadSize = 1025;
constexpr std::uint32_t kLengthBufferSize = 1024;
constexpr char kFormHeader[] = "Content-Type: application/x-www-form-urlencoded";
constexpr std::uint32_t kFormHeaderLength = sizeof kFormHeader - 1;
static_assert(kFormHeaderLength == 47);
// A 1025-byte write per chunk would be a system call per chunk.
constexpr std::size_t kFileBufferSize = 64 * 1024;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A Content-Length: a decimal number that fits a signed 32-bit integer and is
// not negative. Anything else is refused rather than wrapped.
bool ParseLength(std::string_view text, std::int32_t& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  std::int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > INT32_MAX) return false;
  }
  value = static_cast<std::int32_t>(v);
  return true;
}

// A port written after the host ("host:8080", "[::1]:8080") is the port to
// connect to, not part of the name; 0 when none is written.
std::uint16_t SplitPort(AnsiText& host) {
  const std::size_t colon = host.rfind(':');
  if (colon == AnsiText::npos || colon + 1 == host.size() || colon + 6 < host.size()) return 0;
  const bool bracketed = host.front() == '[';
  if (bracketed ? host[colon - 1] != ']' : host.find(':') != colon) return 0;
  std::uint32_t port = 0;
  for (std::size_t i = colon + 1; i < host.size(); ++i) {
    if (host[i] < '0' || host[i] > '9') return 0;
    port = port * 10 + static_cast<std::uint32_t>(host[i] - '0');
  }
  if (port == 0 || port > 65535) return 0;
  host.resize(colon);
  if (bracketed) host = host.substr(1, host.size() - 2);
  return static_cast<std::uint16_t>(port);
}

// Text that may stand in a request header: no line break of its own making.
bool HeaderSafe(const AnsiText& text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

class TargetFile {
 public:
  // keep above 0: the file is continued after its first keep bytes.
  TargetFile(const AnsiText& name, std::int64_t keep) : buffer_(new char[kFileBufferSize]) {
    file_ = CreateTargetFile(name, keep);
    if (file_ != nullptr) std::setvbuf(file_, buffer_.get(), _IOFBF, kFileBufferSize);
  }
  ~TargetFile() { Close(); }
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  bool Write(const char* data, std::size_t size) { return std::fwrite(data, 1, size, file_) == size; }
  // The buffer's last write is judged apart: not every C library's fclose
  // reports a flush that failed (Wine's does not). errno keeps the first reason.
  bool Close() {
    if (file_ == nullptr) return true;
    int error = std::fflush(file_) == 0 ? 0 : errno == 0 ? EIO : errno;
    if (std::fclose(file_) != 0 && error == 0) error = errno == 0 ? EIO : errno;
    file_ = nullptr;
    if (error != 0) errno = error;
    return error == 0;
  }

 private:
  std::unique_ptr<char[]> buffer_;
  std::FILE* file_ = nullptr;
};
}  // namespace

// ---------------------------------------------------------------------------
// THTTPGetThread

std::atomic<int> THTTPGetThread::instances_{0};

THTTPGetThread::THTTPGetThread(IInternetApi& internet, THTTPGetInputs inputs)
    : internet_(internet), in_(std::move(inputs)) {
  FreeOnTerminate = true;
  instances_.fetch_add(1);
}

THTTPGetThread::~THTTPGetThread() {
  instances_.fetch_sub(1);
}

void THTTPGetThread::SplitURL(const AnsiText& url, AnsiText& host, AnsiText& path) {
  std::string_view rest(url);
  if (StartsWithIgnoringAsciiCase(rest, "http://")) rest.remove_prefix(7);
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) {
    host.clear();
    path = AnsiText(rest);
    return;
  }
  host = AnsiText(rest.substr(0, slash));
  path = AnsiText(rest.substr(slash));
}

bool THTTPGetThread::Succeeded() const noexcept {
  return Succeeded_.load(std::memory_order_acquire) && !failedMark_.load(std::memory_order_acquire);
}

void THTTPGetThread::Execute() {
  bool ok = false;
  try {
    ok = Transfer();
  } catch (...) {
    ok = false;
  }
  if (!ok && Result_.Failure == THTTPFailure::None) Result_.Failure = THTTPFailure::Other;
  CloseInternetHandles();
  Succeeded_.store(ok, std::memory_order_release);
}

void THTTPGetThread::CloseInternetHandles() noexcept {
  for (IInternetApi::Handle* h : {&hRequest_, &hConnect_, &hInternet_}) {
    if (*h != nullptr) {
      try {
        internet_.InternetCloseHandle(*h);
      } catch (...) {
      }
      *h = nullptr;
    }
  }
}

bool THTTPGetThread::Fail(THTTPFailure failure) {
  Result_.Failure = failure;
  return false;
}

bool THTTPGetThread::FailFile() {
  return Fail(errno == ENOSPC ? THTTPFailure::DiskFull : THTTPFailure::FileError);
}

// The first failed call's reason is the one that counts: every later call
// fails only because that one did.
void THTTPGetThread::NotePlatformError(bool callSucceeded) {
  if (!callSucceeded && Result_.PlatformError == 0) Result_.PlatformError = internet_.GetLastError();
}

bool THTTPGetThread::Query(std::uint32_t level, AnsiText& value) {
  char buffer[kLengthBufferSize] = {};
  std::uint32_t size = sizeof buffer;
  std::uint32_t index = 0;
  if (!internet_.HttpQueryInfoA(hRequest_, level, buffer, &size, &index)) return false;
  value.assign(buffer, strnlen(buffer, sizeof buffer));
  return true;
}

// The body. Every "return false" stops the transfer as a failure; the file and
// the length buffer are released on the way out, the handles by Execute.
bool THTTPGetThread::Transfer() {
  AnsiText host;
  AnsiText path;
  const bool secure = in_.Https && StartsWithIgnoringAsciiCase(in_.URL, "https://");
  SplitURL(secure ? in_.URL.substr(8) : in_.URL, host, path);
  if (Terminated()) return false;
  if (in_.RangeFrom < 0 || !HeaderSafe(in_.IfRange)) return Fail(THTTPFailure::Other);
  const bool resume = in_.ToFile && in_.RangeFrom > 0;

  // The results are not examined here, only a failure's reason noted: a
  // missing handle makes every later call fail, which shows as a failed
  // query and an empty read.
  hInternet_ = internet_.InternetOpenA(in_.Agent.empty() ? nullptr : in_.Agent.c_str(),
                                       IInternetApi::kOpenTypePreconfig, nullptr, nullptr, 0);
  NotePlatformError(hInternet_ != nullptr);
  const std::uint16_t port = SplitPort(host);
  const std::uint16_t defaultPort = secure ? IInternetApi::kDefaultHttpsPort : IInternetApi::kDefaultHttpPort;
  hConnect_ = internet_.InternetConnectA(hInternet_, host.c_str(), port != 0 ? port : defaultPort,
                                         in_.UserName.c_str(), in_.Password.c_str(), IInternetApi::kServiceHttp, 0, 0);
  NotePlatformError(hConnect_ != nullptr);
  const bool post = !in_.PostQuery.empty();
  const char* acceptTypes[] = {in_.AcceptTypes.c_str(), nullptr};
  // The rest of a file is not worth a place in WinINet's cache, and must not
  // come from there either.
  const std::uint32_t flags = (in_.UseCache ? 0 : IInternetApi::kFlagReload) |
                              (resume ? IInternetApi::kFlagNoCacheWrite : 0) |
                              (secure ? IInternetApi::kFlagSecure : 0);
  hRequest_ = internet_.HttpOpenRequestA(hConnect_, post ? "POST" : "GET", path.c_str(), "HTTP/1.0",
                                         in_.Referer.c_str(), acceptTypes, flags, 0);
  NotePlatformError(hRequest_ != nullptr);
  std::string headers = post ? kFormHeader : "";
  if (resume) {
    if (post) headers += "\r\n";
    headers += "Range: bytes=" + std::to_string(in_.RangeFrom) + "-\r\n";
    if (!in_.IfRange.empty()) headers += "If-Range: " + in_.IfRange + "\r\n";
  }
  bool sent = false;
  if (post) {
    sent = internet_.HttpSendRequestA(hRequest_, headers.c_str(), static_cast<std::uint32_t>(headers.size()),
                                      in_.PostQuery.data(), static_cast<std::uint32_t>(in_.PostQuery.size()));
  } else if (resume) {
    sent = internet_.HttpSendRequestA(hRequest_, headers.c_str(), static_cast<std::uint32_t>(headers.size()),
                                      nullptr, 0);
  } else {
    sent = internet_.HttpSendRequestA(hRequest_, nullptr, 0, nullptr, 0);
  }
  NotePlatformError(sent);
  if (Terminated()) return false;
  // WinINet may follow a redirect to plain HTTP on its own.
  if (secure && sent && !StillSecure()) return Fail(THTTPFailure::RedirectLoop);

  std::unique_ptr<char[]> lengthBuffer(new char[kLengthBufferSize]());
  std::uint32_t lengthSize = kLengthBufferSize;
  std::uint32_t index = 0;
  const bool haveLength = internet_.HttpQueryInfoA(hRequest_, IInternetApi::kQueryContentLength,
                                                   lengthBuffer.get(), &lengthSize, &index);
  // An answer without the header is one thing; no answer to ask at all (a
  // send that claimed success on a connection closed at once) is another.
  if (!haveLength && Result_.PlatformError == 0) {
    const std::uint32_t reason = internet_.GetLastError();
    if (reason != internet_error::kHeaderNotFound) Result_.PlatformError = reason;
  }
  if (Terminated()) return false;
  // Without an answer the transport's reason is the failure; without a reason
  // the server closed the connection before answering.
  const THTTPFailure noAnswer =
      Result_.PlatformError != 0 ? ClassifyFailure(Result_.PlatformError, 0) : THTTPFailure::ConnectionFailed;
  if (!haveLength && in_.BinaryData && !in_.QueryDetails)
    return Fail(Result_.PlatformError != 0 ? noAnswer : THTTPFailure::NoLength);

  // Only a 2xx answer counts; an error page is no download.
  char status[32] = {};
  std::uint32_t statusSize = sizeof status;
  index = 0;
  const bool haveStatus =
      internet_.HttpQueryInfoA(hRequest_, IInternetApi::kQueryStatusCode, status, &statusSize, &index);
  // An Abort during the query must leave the target as it was.
  if (Terminated()) return false;
  if (!haveStatus) return Fail(noAnswer);
  const std::string_view statusText = Trim(std::string_view(status, strnlen(status, sizeof status)));
  if (statusText.size() == 3 && statusText.find_first_not_of("0123456789") == std::string_view::npos)
    Result_.Status = std::stoi(std::string(statusText));
  if (in_.QueryDetails) {
    AnsiText etag, modified, retryAfter, date;
    Query(IInternetApi::kQueryETag, etag);
    Query(IInternetApi::kQueryLastModified, modified);
    Query(IInternetApi::kQueryRetryAfter, retryAfter);
    Query(IInternetApi::kQueryDate, date);
    Result_.Validator = http_answer::ValidatorOf(etag, modified, date);
    if (!retryAfter.empty())
      Result_.RetryAfter = http_answer::RetryAfterSeconds(retryAfter, date, std::time(nullptr));
  }
  if (statusText.size() != 3 || statusText[0] != '2')
    return Fail(Result_.Status != 0 ? THTTPFailure::HttpStatus : noAnswer);
  if (!haveLength && in_.BinaryData) return Fail(THTTPFailure::NoLength);

  if (haveLength) {
    const std::string_view text(lengthBuffer.get(), strnlen(lengthBuffer.get(), kLengthBufferSize));
    if (!ParseLength(text, FileSize_)) return Fail(THTTPFailure::BadLength);
  }
  lengthBuffer.reset();

  if (resume) {
    if (Result_.Status == 206) {
      // Exactly the rest of the file, announced as such, or nothing is written.
      AnsiText rangeText;
      const auto range = Query(IInternetApi::kQueryContentRange, rangeText)
                             ? http_answer::ParseContentRange(rangeText)
                             : std::nullopt;
      if (!range || range->first != in_.RangeFrom || range->last != range->complete - 1 ||
          range->complete > INT32_MAX || !haveLength || FileSize_ != range->complete - range->first)
        return Fail(THTTPFailure::BadRange);
      Result_.Continued = true;
      Result_.Offset = in_.RangeFrom;
      Result_.Total = static_cast<std::int32_t>(range->complete);
    } else if (Result_.Status != 200) {
      return Fail(THTTPFailure::HttpStatus);
    }
  }
  if (!Result_.Continued) Result_.Total = FileSize_;

  Readed_ = 0;
  std::unique_ptr<TargetFile> file;
  if (in_.ToFile) {
    errno = 0;
    file = std::make_unique<TargetFile>(in_.FileName, Result_.Continued ? in_.RangeFrom : 0);
    if (!file->IsOpen()) return FailFile();
  } else {
    ResultString_.clear();
  }

  char buffer[kReadSize];
  bool readFailed = false;
  using Clock = std::chrono::steady_clock;
  Clock::time_point slowSince = Clock::now();
  std::int32_t slowFrom = 0;
  for (;;) {
    if (Terminated()) return false;
    if (in_.LowSpeedSeconds > 0) {
      const Clock::time_point now = Clock::now();
      if (Readed_ - slowFrom >= in_.LowSpeedBytes) {
        slowSince = now;
        slowFrom = Readed_;
      } else if (now - slowSince >= std::chrono::seconds(in_.LowSpeedSeconds)) {
        Result_.PlatformError = internet_error::kTimeout;
        return Fail(THTTPFailure::TimedOut);
      }
    }
    BytesRead_ = 0;
    if (!internet_.InternetReadFile(hRequest_, buffer, kReadSize, &BytesRead_)) {
      NotePlatformError(false);
      readFailed = true;
      break;
    }
    if (BytesRead_ == 0) break;
    if (BytesRead_ > kReadSize) return Fail(THTTPFailure::Other);
    if (BytesRead_ > static_cast<std::uint32_t>(INT32_MAX - Readed_)) return Fail(THTTPFailure::BodyTooLong);
    if (file) {
      errno = 0;
      if (!file->Write(buffer, BytesRead_)) return FailFile();
    } else {
      ResultString_.append(buffer, BytesRead_);
    }
    Readed_ += static_cast<std::int32_t>(BytesRead_);
    if (in_.OnProgress && !detached_.load(std::memory_order_acquire)) Synchronize([this] { ReportProgress(); });
  }

  bool ok = false;
  THTTPFailure failure = THTTPFailure::BodyCutShort;
  if (!in_.ToFile) {
    ok = Readed_ != 0;
    if (!readFailed && !(haveLength && FileSize_ > 0)) failure = THTTPFailure::Other;  // an empty answer
  } else if (haveLength) {
    ok = FileSize_ == Readed_;
    if (Readed_ > FileSize_) failure = THTTPFailure::BodyTooLong;
  } else {
    // Without an announced length only a normal end of the body tells that
    // everything arrived.
    ok = !readFailed;
  }
  errno = 0;
  if (file && !file->Close()) return FailFile();
  return ok ? true : Fail(failure);
}

bool THTTPGetThread::StillSecure() {
  std::string url(2048, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto size = static_cast<std::uint32_t>(url.size());
    if (internet_.InternetQueryOptionA(hRequest_, IInternetApi::kOptionUrl, url.data(), &size)) {
      return StartsWithIgnoringAsciiCase(std::string_view(url.data(), strnlen(url.data(), url.size())),
                                         "https://");
    }
    if (size <= url.size() || size > 1024 * 1024) return false;
    url.assign(size, '\0');
  }
  return false;
}

void THTTPGetThread::ReportProgress() {
  if (detached_.load(std::memory_order_acquire)) return;
  // What the head told is known now; the component shows it from here on.
  if (!shownOnce_ && shown_) {
    *shown_ = Result_;
    shownOnce_ = true;
  }
  in_.OnProgress(this, FileSize_, Readed_);
}

void THTTPGetThread::DoTerminate() {
  if (detached_.load(std::memory_order_acquire)) return;
  TThread::DoTerminate();
}

// ---------------------------------------------------------------------------
// THTTPGet

THTTPGet::THTTPGet(TComponent* owner, IInternetApi& internet) : TComponent(owner), internet_(internet) {}

THTTPGet::~THTTPGet() {
  *alive_ = false;
  if (ActiveThread != nullptr) {
    // The worker ends on its own; nothing of it may reach this component.
    ActiveThread->Detach();
    Abort();
    ActiveThread = nullptr;
  }
}

void THTTPGet::Abort() {
  if (ActiveThread == nullptr) return;
  ActiveThread->MarkFailed();
  ActiveThread->Terminate();
}

void THTTPGet::Start(bool toFile) {
  if (ActiveThread != nullptr) return;
  auto worker = std::make_unique<THTTPGetThread>(
      internet_, THTTPGetInputs{.AcceptTypes = AcceptTypes,
                                .Agent = Agent,
                                .URL = URL,
                                .FileName = FileName,
                                .UserName = UserName,
                                .Password = Password,
                                .PostQuery = PostQuery,
                                .Referer = Referer,
                                .BinaryData = BinaryData,
                                .UseCache = UseCache,
                                .Https = Https,
                                .OnProgress = OnProgress,
                                .ToFile = toFile,
                                .RangeFrom = RangeFrom,
                                .IfRange = IfRange,
                                .QueryDetails = QueryDetails,
                                .LowSpeedBytes = LowSpeedBytes,
                                .LowSpeedSeconds = LowSpeedSeconds});
  worker->OnTerminate = TNotifyEvent(this, &THTTPGet::TransferDone);
  *result_ = THTTPResult{};
  worker->PublishTo(result_);
  ActiveThread = worker.get();
  try {
    worker->Start();
  } catch (...) {
    ActiveThread = nullptr;
    throw;
  }
  worker.release();  // frees itself after TransferDone

  if (!WaitThread) return;
  // Every event of the transfer fires inside this loop, and the window keeps
  // handling its own messages meanwhile. Sleeping briefly on the hand-off
  // queue instead of polling keeps the UI thread from burning a core.
  const std::shared_ptr<bool> alive = alive_;
  while (*alive && ActiveThread != nullptr) {
    Application().ProcessMessages();
    if (*alive && ActiveThread != nullptr && MainThreadQueue().ProcessPending() == 0) {
      MainThreadQueue().WaitForPending(std::chrono::milliseconds(10));
    }
  }
}

void THTTPGet::TransferDone(TObject* sender) {
  auto* worker = static_cast<THTTPGetThread*>(sender);
  const std::shared_ptr<bool> alive = alive_;
  // Busy until the handler has returned, also when it throws; a handler may
  // also destroy this component.
  struct ClearWhenDone {
    THTTPGet* self;
    const std::shared_ptr<bool>& alive;
    ~ClearWhenDone() {
      if (*alive) self->ActiveThread = nullptr;
    }
  } clear{this, alive};

  THTTPResult result = worker->Result();
  if (worker->Succeeded()) {
    result.Failure = THTTPFailure::None;
  } else if (worker->Aborted()) {
    result.Failure = THTTPFailure::Aborted;
  }
  *result_ = std::move(result);

  // Handlers are copied before the call: the component, and with it the
  // event member, may be gone by the time the handler returns.
  // An error leaving a final handler is the window's to show, like any
  // handler's; it must not vanish into the worker.
  Application().Dispatch([&] {
    if (worker->Succeeded()) {
      if (worker->ToFile()) {
        // On success Readed equals the announced length, or is the whole body
        // when none was announced.
        if (const TOnDoneFileEvent handler = OnDoneFile) handler(this, worker->FileName(), worker->Readed());
      } else if (const TOnDoneStringEvent handler = OnDoneString) {
        handler(this, worker->ResultString());
      }
    } else if (const TNotifyEvent handler = OnError) {
      handler(this);
    }
  });
}
