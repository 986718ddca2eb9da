#include "bootstrap/Trust.h"

#include <cstdio>
#include <vector>

#include "framework/Controls.h"
#include "framework/FileNames.h"
#include "framework/Thread.h"

namespace {
constexpr std::size_t kHashBuffer = 256 * 1024;
}

bool HashHeldFile(IHeldFile& file, ISha256& sha, std::int64_t& size, TSha256Digest& digest,
                  const TThread* stopper) {
  std::vector<char> buffer(kHashBuffer);
  size = 0;
  for (;;) {
    if (stopper != nullptr && stopper->Terminated()) return false;
    const std::int64_t n = file.Read(buffer.data(), buffer.size());
    if (n < 0) return false;
    if (n == 0) break;
    sha.Update(buffer.data(), static_cast<std::size_t>(n));
    size += n;
  }
  digest = sha.Final();
  return true;
}

// Hashes one held file; the file and the hash are its own, so nothing of the
// component is touched off the UI thread.
class TTrust::THashThread : public TThread {
 public:
  THashThread(std::unique_ptr<IHeldFile> file, std::unique_ptr<ISha256> sha, std::shared_ptr<bool> alive)
      : file_(std::move(file)), sha_(std::move(sha)), alive_(std::move(alive)) {
    FreeOnTerminate = true;
  }
  AnsiText ClassName() const override { return "THashThread"; }

  bool Hashed() const { return hashed_; }
  std::int64_t Size() const { return size_; }
  const TSha256Digest& Digest() const { return digest_; }
  // Lets the file go, so that it can be deleted.
  void Release() { file_.reset(); }

 protected:
  void Execute() override { hashed_ = HashHeldFile(*file_, *sha_, size_, digest_, this); }
  void DoTerminate() override {
    // The component may have gone with the window.
    if (*alive_) TThread::DoTerminate();
  }

 private:
  std::unique_ptr<IHeldFile> file_;
  std::unique_ptr<ISha256> sha_;
  std::shared_ptr<bool> alive_;
  bool hashed_ = false;
  std::int64_t size_ = 0;
  TSha256Digest digest_{};
};

TTrust::TTrust(TComponent* owner, ISystem& system, ICrypto& crypto, IInternetApi& internet, std::string publicKey)
    : TComponent(owner),
      system_(system),
      crypto_(crypto),
      publicKey_(std::move(publicKey)),
      listGetter_(new THTTPGet(this, internet)) {
  listGetter_->OnDoneString = TOnDoneStringEvent([this](TObject*, AnsiText text) { ListArrived(text); }, this);
  listGetter_->OnError = TNotifyEvent([this](TObject*) { ListDone(TListVerdict::Refused); }, this);
  // A list is small; a server that sends more is stopped, not stored.
  listGetter_->OnProgress = TOnProgressEvent(
      [this](TObject*, std::int32_t, std::int32_t readed) {
        if (static_cast<std::size_t>(readed) > kVendorListLimit) listGetter_->Abort();
      },
      this);
}

TTrust::~TTrust() {
  *alive_ = false;
  if (worker_ != nullptr) worker_->Terminate();
}

void TTrust::FetchList(const AnsiText& url, const AnsiText& product, const THTTPGet& like,
                       const AnsiText& keptPath) {
  product_ = product;
  keptPath_ = keptPath;
  listGetter_->AcceptTypes = like.AcceptTypes;
  listGetter_->Agent = like.Agent;
  listGetter_->UseCache = like.UseCache;
  listGetter_->Https = like.Https;
  listGetter_->UserName = like.UserName;
  listGetter_->Password = like.Password;
  listGetter_->Referer = like.Referer;
  listGetter_->QueryDetails = like.QueryDetails;
  listGetter_->LowSpeedBytes = like.LowSpeedBytes;
  listGetter_->LowSpeedSeconds = like.LowSpeedSeconds;
  listGetter_->PostQuery.clear();
  listGetter_->URL = url;
  listGetter_->GetString();
}

void TTrust::ListArrived(const AnsiText& text) { ListDone(Judge(text)); }

TListVerdict TTrust::Judge(const AnsiText& text) {
  TVendorList fresh;
  if (!fresh.Read(crypto_, publicKey_, product_, text)) return TListVerdict::Refused;
  if (fresh.Expires() <= system_.UtcNow()) return TListVerdict::Expired;
  // An older list, however well signed, is a replay.
  if (const std::unique_ptr<IHeldFile> file = system_.HoldFile(keptPath_)) {
    std::string keptText;
    char buffer[4096];
    std::int64_t n = 0;
    while (keptText.size() <= kVendorListLimit && (n = file->Read(buffer, sizeof buffer)) > 0)
      keptText.append(buffer, static_cast<std::size_t>(n));
    TVendorList kept;
    if (n >= 0 && kept.Read(crypto_, publicKey_, product_, keptText)) {
      // Compared as signed: another spelling of the same list is the same list.
      if (fresh.Serial() < kept.Serial()) return TListVerdict::Replayed;
      if (fresh.Serial() == kept.Serial() && fresh.Signed() != kept.Signed()) return TListVerdict::Replayed;
    }
  }
  if (fresh.Text() != list_.Text()) Keep(fresh.Text());
  list_ = std::move(fresh);
  return TListVerdict::Accepted;
}

// Written aside and renamed, so that a kept list is whole or not there.
void TTrust::Keep(const std::string& text) {
  const AnsiText part = keptPath_ + ".part";
  std::FILE* file = CreateTargetFile(part);
  if (file == nullptr) return;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) == 0 && written && system_.RenameFile(part, keptPath_)) return;
  system_.DeleteFile(part);
}

void TTrust::ListDone(TListVerdict verdict) {
  if (const TListCheckedEvent handler = OnListChecked) handler(this, verdict);
}

bool TTrust::Matches(const AnsiText& serverName, bool hashed, std::int64_t size,
                     const TSha256Digest& digest) const {
  const TListedFile* entry = list_.Find(serverName);
  return hashed && entry != nullptr && entry->Size == size && entry->Digest == digest;
}

void TTrust::CheckFile(const AnsiText& serverName, const AnsiText& path) {
  std::unique_ptr<IHeldFile> file = list_.Loaded() && worker_ == nullptr ? system_.HoldFile(path) : nullptr;
  std::unique_ptr<ISha256> sha = file ? crypto_.NewSha256() : nullptr;
  if (!sha) {
    file.reset();
    if (const TCheckedEvent handler = OnFileChecked) handler(this, false);
    return;
  }
  auto worker = std::make_unique<THashThread>(std::move(file), std::move(sha), alive_);
  worker->OnTerminate = TNotifyEvent(this, &TTrust::FileHashed);
  workerServerName_ = serverName;
  worker_ = worker.get();
  try {
    worker->Start();
  } catch (...) {
    worker_ = nullptr;
    throw;
  }
  worker.release();  // frees itself after FileHashed
}

void TTrust::FileHashed(TObject* sender) {
  auto* worker = static_cast<THashThread*>(sender);
  worker_ = nullptr;
  worker->Release();
  const bool ok = Matches(workerServerName_, worker->Hashed(), worker->Size(), worker->Digest());
  // As the getter's events: an error leaving the handler is the window's to show.
  Application().Dispatch([&] {
    if (const TCheckedEvent handler = OnFileChecked) handler(this, ok);
  });
}

bool TTrust::CheckHeld(IHeldFile& file, const AnsiText& serverName) {
  const std::unique_ptr<ISha256> sha = list_.Loaded() ? crypto_.NewSha256() : nullptr;
  std::int64_t size = 0;
  TSha256Digest digest{};
  const bool hashed = sha && HashHeldFile(file, *sha, size, digest);
  return Matches(serverName, hashed, size, digest);
}
