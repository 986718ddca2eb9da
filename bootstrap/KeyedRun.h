#pragma once
// The run of a program built with the vendor's key, as a state machine that
// does no I/O: the window hands it what happened and carries out what it
// decides. See KeyedRun.cpp for its states and transitions.
#include <cstddef>
#include <cstdint>

#include "bootstrap/Retry.h"
#include "bootstrap/VendorList.h"
#include "framework/Types.h"
#include "httpget/HTTPResult.h"

class TKeyedRun {
 public:
  struct TSettings {
    int Retries = 0;           // more tries of an item on each host
    std::size_t Hosts = 1;     // the vendor's own host, then each mirror
    bool KeepChecked = false;  // a file already there that the list vouches for is not fetched again
  };

  enum class TState {
    Idle,
    FetchingList,
    CheckingKept,
    FetchingFile,
    CheckingFile,
    Saving,
    Pausing,
    BetweenFiles,
    Reporting,
    Ended,
  };

  enum class TAction {
    None,
    FetchList,  // from Host
    BeginFile,  // the slot File comes next: gather its facts and call Begin
    CheckKept,  // the file already at File's local name
    FetchFile,  // File from Host from byte From (0: the .part deleted first), If-Range Validator
    CheckFile,  // File's .part, as the transfer left it
    SaveFile,   // File's .part passed: give it its name, then call Saved
    Pause,      // PauseMs, with the heading Heading
    NextFile,   // File after a pause between files
    Report,     // every file is there
    End,        // with Message
  };
  enum class THeading { Unchanged, Usual, Retrying, OtherHost };
  enum class TMessage { None, ListFailed, ListExpired, FileFailed, DownloadError };

  struct TDecision {
    TAction Action = TAction::None;
    std::int32_t File = 0;
    std::size_t Host = 0;
    std::int64_t From = 0;
    bool ClearSlot = false;  // with FetchFile: the old copy goes first too
    bool DropPart = false;   // the .part holds nothing worth going on from: delete it now
    AnsiText Validator;
    std::uint32_t PauseMs = 0;  // at least a second (PauseBefore): a timer armed at 0 never fires
    THeading Heading = THeading::Unchanged;
    int Try = 0;  // with Retrying: this try, of Tries on the host
    int Tries = 0;
    TMessage Message = TMessage::None;
  };

  TKeyedRun(TSettings settings, std::int32_t fileCount);

  TState State() const noexcept { return state_; }
  std::int32_t File() const noexcept { return file_; }
  std::size_t Host() const noexcept { return host_; }

  // Events, each valid in the states its comment names; any other is
  // ignored (decision None).
  TDecision Start();  // Idle
  // FetchingList. serial: the accepted list's.
  TDecision ListChecked(TListVerdict verdict, const THTTPResult& result, std::uint64_t serial);
  // BetweenFiles (after BeginFile or NextFile). listed: the list's size for the slot (-1: not listed);
  // kept: the size of the file at its local name (-1: none).
  TDecision Begin(std::int32_t file, std::int64_t listed, std::int64_t kept);
  // FetchingFile, at each progress report: true when the transfer must stop,
  // having announced or brought more than the list allows.
  bool Progress(std::int32_t total, std::int32_t readed, std::int32_t offset);
  // FetchingFile. part: the bytes the .part holds now.
  TDecision TransferEnded(bool ok, const THTTPResult& result, std::int64_t part);
  TDecision FileChecked(bool passed);  // CheckingKept, CheckingFile
  TDecision Saved(bool renamed);       // Saving
  TDecision PauseEnded();              // Pausing

 private:
  enum class TAfterPause { File, List, ListThenFile };
  TDecision Fetch();
  TDecision FetchList(bool refetch);
  TDecision Done();
  TDecision End(TMessage message);
  // The next try of the current item, as the failure's action allows; an
  // End when every host has had its tries.
  TDecision TryAgain(TTryAction action, std::int32_t retryAfter, TAfterPause after, TMessage otherwise);
  void NewItem();

  TSettings settings_;
  const std::int32_t fileCount_;
  TState state_ = TState::Idle;
  std::int32_t file_ = 0;
  std::size_t host_ = 0;
  std::size_t served_ = 0;  // the host that served the last list or file
  int tries_ = 0;           // of the current item on this host, beyond its first
  std::size_t hosts_ = 1;   // hosts the current item has been tried on
  int repeats_ = 0;         // tries of the current item beyond its first, on any host
  TAfterPause after_ = TAfterPause::File;
  bool refetch_ = false;  // the list is fetched again before a file's next try
  std::uint64_t serial_ = 0;
  std::int64_t listed_ = -1;
  std::int64_t part_ = 0;
  AnsiText validator_;
  bool beyond_ = false;
};
