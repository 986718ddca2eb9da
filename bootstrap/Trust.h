#pragma once
// Trust in what was downloaded, for a program built with the vendor's key:
// the product's signed list is fetched before the first file, and each file
// is held and hashed against it before the run goes on. A list is taken only
// while it has not expired and when it is not older than the one taken
// before, which is kept beside the files.
#include <cstdint>
#include <memory>
#include <string>

#include "bootstrap/Crypto.h"
#include "bootstrap/System.h"
#include "bootstrap/VendorList.h"
#include "framework/Component.h"
#include "framework/Events.h"
#include "httpget/HTTPGet.h"

// Sender, and whether the check passed.
using TCheckedEvent = TEvent<TObject*, bool>;

using TListCheckedEvent = TEvent<TObject*, TListVerdict>;

class TTrust : public TComponent {
 public:
  // publicKey: the vendor's key as DER; crypto and system must outlive every
  // check this component starts.
  TTrust(TComponent* owner, ISystem& system, ICrypto& crypto, IInternetApi& internet, std::string publicKey);
  ~TTrust() override;
  AnsiText ClassName() const override { return "TTrust"; }

  // Fetches the list at url with the settings of the given getter (agent,
  // credentials, cache), through the same transport. OnListChecked follows
  // on the UI thread. An accepted list is kept at keptPath, where the next
  // fetch finds its floor: a list of a lower serial, or of the same serial
  // with other signed content, is refused then as replayed. A kept list that
  // does not verify sets no floor.
  void FetchList(const AnsiText& url, const AnsiText& product, const THTTPGet& like, const AnsiText& keptPath);
  TListCheckedEvent OnListChecked;

  // Hashes the file at path in a worker, held so it cannot change meanwhile.
  // OnFileChecked follows on the UI thread, once the file is let go: true
  // when its size and SHA-256 are the list's for serverName.
  void CheckFile(const AnsiText& serverName, const AnsiText& path);
  TCheckedEvent OnFileChecked;

  // The same check of a held file, read to its end on the calling thread.
  bool CheckHeld(IHeldFile& file, const AnsiText& serverName);

  const TVendorList& List() const noexcept { return list_; }
  // What the last fetch of the list came to on the wire.
  const THTTPResult& ListResult() const noexcept { return listGetter_->Result(); }

 private:
  class THashThread;
  bool Matches(const AnsiText& serverName, bool hashed, std::int64_t size, const TSha256Digest& digest) const;
  void ListArrived(const AnsiText& text);
  TListVerdict Judge(const AnsiText& text);
  void ListDone(TListVerdict verdict);
  void Keep(const std::string& text);
  void FileHashed(TObject* sender);

  ISystem& system_;
  ICrypto& crypto_;
  std::string publicKey_;
  THTTPGet* listGetter_;
  AnsiText product_;
  AnsiText keptPath_;
  TVendorList list_;
  THashThread* worker_ = nullptr;
  AnsiText workerServerName_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Reads the held file to its end through sha; false on a read error or stop.
bool HashHeldFile(IHeldFile& file, ISha256& sha, std::int64_t& size, TSha256Digest& digest,
                  const TThread* stopper = nullptr);
