#pragma once
// THTTPGet fetches one URL over HTTP into a file or a text on a worker thread
// of its own and reports progress, success and failure as events on the UI
// thread.
#include <atomic>
#include <cstdint>
#include <memory>

#include "framework/Component.h"
#include "framework/Events.h"
#include "framework/Thread.h"
#include "framework/Types.h"
#include "httpget/HTTPResult.h"
#include "httpget/InternetApi.h"

using TOnProgressEvent = TEvent<TObject*, std::int32_t, std::int32_t>;
using TOnDoneFileEvent = TEvent<TObject*, AnsiText, std::int32_t>;
using TOnDoneStringEvent = TEvent<TObject*, AnsiText>;

// A transfer's inputs, copied from the component when it starts: changing the
// component's properties later does not touch a running transfer.
struct THTTPGetInputs {
  AnsiText AcceptTypes;
  AnsiText Agent;
  AnsiText URL;
  AnsiText FileName;
  AnsiText UserName;
  AnsiText Password;
  AnsiText PostQuery;
  AnsiText Referer;
  bool BinaryData = false;
  bool UseCache = false;
  bool Https = false;
  TOnProgressEvent OnProgress;
  bool ToFile = true;  // file mode; false: string mode
  std::int32_t RangeFrom = 0;
  AnsiText IfRange;
  bool QueryDetails = false;
  std::int32_t LowSpeedBytes = 0;
  std::int32_t LowSpeedSeconds = 0;
};

class THTTPGetThread : public TThread {
 public:
  // Frees itself after its completion.
  THTTPGetThread(IInternetApi& internet, THTTPGetInputs inputs);
  ~THTTPGetThread() override;
  AnsiText ClassName() const override { return "THTTPGetThread"; }

  // Host and path of a URL: an optional "http://" (any case) is dropped; the
  // host runs up to the first "/", the path starts there. Nothing else is
  // parsed: a port or a query stays in the host or the path.
  static void SplitURL(const AnsiText& url, AnsiText& host, AnsiText& path);

  // Read by the UI thread while the worker waits in a hand-off.
  bool Succeeded() const noexcept;
  bool ToFile() const noexcept { return in_.ToFile; }
  const AnsiText& FileName() const noexcept { return in_.FileName; }
  const AnsiText& ResultString() const noexcept { return ResultString_; }
  std::int32_t FileSize() const noexcept { return FileSize_; }
  std::int32_t Readed() const noexcept { return Readed_; }
  // The worker's own record: complete once the body has ended.
  const THTTPResult& Result() const noexcept { return Result_; }
  bool Aborted() const noexcept { return failedMark_.load(std::memory_order_acquire); }
  // Where the record is shown to the component's readers: written on the UI
  // thread only, at the first progress report.
  void PublishTo(std::shared_ptr<THTTPResult> shown) { shown_ = std::move(shown); }

  // UI thread: the outcome is failure whatever the body does from now on.
  void MarkFailed() noexcept { failedMark_.store(true, std::memory_order_release); }
  // UI thread: the component is going away; no progress or completion may
  // reach it from now on.
  void Detach() noexcept { detached_.store(true, std::memory_order_release); }

  // Workers not yet freed, for leak checks.
  static int Instances() noexcept { return instances_.load(); }

 protected:
  void Execute() override;
  void DoTerminate() override;

 private:
  bool Transfer();
  bool StillSecure();
  bool Fail(THTTPFailure failure);
  bool FailFile();
  void NotePlatformError(bool callSucceeded);
  bool Query(std::uint32_t level, AnsiText& value);
  void ReportProgress();
  void CloseInternetHandles() noexcept;

  IInternetApi& internet_;
  const THTTPGetInputs in_;
  AnsiText ResultString_;
  std::atomic<bool> Succeeded_{false};
  std::int32_t FileSize_ = 0;
  std::uint32_t BytesRead_ = 0;
  std::int32_t Readed_ = 0;
  THTTPResult Result_;
  std::shared_ptr<THTTPResult> shown_;
  bool shownOnce_ = false;

  std::atomic<bool> failedMark_{false};
  std::atomic<bool> detached_{false};
  IInternetApi::Handle hInternet_ = nullptr;
  IInternetApi::Handle hConnect_ = nullptr;
  IInternetApi::Handle hRequest_ = nullptr;

  static std::atomic<int> instances_;
};

class THTTPGet : public TComponent {
 public:
  // internet: the platform's transport; it must outlive every transfer this
  // component starts, including one still ending after the component is gone.
  THTTPGet(TComponent* owner, IInternetApi& internet);
  ~THTTPGet() override;
  AnsiText ClassName() const override { return "THTTPGet"; }

  // Published properties: plain stored values, read when a transfer starts.
  AnsiText AcceptTypes = "*/*";
  AnsiText Agent = "Kestrami HTTPGet";
  bool BinaryData = false;
  AnsiText URL;
  bool UseCache = false;
  AnsiText FileName;
  AnsiText UserName;
  AnsiText Password;
  AnsiText PostQuery;
  AnsiText Referer;
  bool WaitThread = false;
  // Not stored with the others: a vendor's build setting. On, a URL that
  // starts with "https://" (any case) goes over TLS on port 443 and fails
  // unless its final address, after redirects, is still https://.
  bool Https = false;
  TOnProgressEvent OnProgress;
  TOnDoneFileEvent OnDoneFile;
  TOnDoneStringEvent OnDoneString;
  TNotifyEvent OnError;

  // Not stored with the layout; for a caller that tries again. File mode
  // only: above 0, the request asks for the file from that byte on (with
  // If-Range when IfRange is set, and not for WinINet's cache). A 206 of
  // exactly the rest continues the target from there (cut to that many bytes
  // first) and must announce the rest's length; a 200 is written from byte 0;
  // any other answer fails without touching the target.
  std::int32_t RangeFrom = 0;
  AnsiText IfRange;
  // Also asks the answer for its status when it has no length, and for its
  // ETag, Last-Modified, Retry-After and Date (Result's Validator and
  // RetryAfter stay empty without it).
  bool QueryDetails = false;
  // Above 0: a body that brings fewer than LowSpeedBytes in LowSpeedSeconds
  // fails as a time-out, however often its reads return.
  std::int32_t LowSpeedBytes = 0;
  std::int32_t LowSpeedSeconds = 0;

  // What the last transfer came to. Reset when a transfer starts; Status,
  // Continued, Offset and Total are there from its first progress event on,
  // everything from its final event on. UI thread.
  const THTTPResult& Result() const noexcept { return *result_; }

  // Start a transfer of URL into FileName, or into a text. Ignored while a
  // transfer runs, also from inside its final event.
  void GetFile() { Start(true); }
  void GetString() { Start(false); }
  // Ends the running transfer as a failure at the worker's next check.
  void Abort();

  bool Busy() const noexcept { return ActiveThread != nullptr; }

 private:
  void Start(bool toFile);
  void TransferDone(TObject* sender);

  IInternetApi& internet_;
  THTTPGetThread* ActiveThread = nullptr;
  std::shared_ptr<THTTPResult> result_ = std::make_shared<THTTPResult>();
  // Cleared by the destructor, so code still running on the stack inside an
  // event handler learns that the component is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
