// The keyed run, decided in one place.
//
//   Idle --Start--> FetchingList (the vendor's host)
//   FetchingList --accepted--> BetweenFiles (BeginFile 1)
//                --refused, expired, replayed--> Pausing, or Ended when no host is left
//   BetweenFiles --Begin--> CheckingKept (a file there of the listed size, when kept files count)
//                       --> FetchingFile (old copy and .part cleared, from byte 0)
//   CheckingKept --passed--> BetweenFiles (NextFile) or Reporting
//                --failed--> FetchingFile (cleared, from byte 0)
//   FetchingFile --ok--> CheckingFile
//                --failed--> Pausing, or Ended when no host is left
//   CheckingFile --passed--> Saving --renamed--> BetweenFiles (NextFile) or Reporting
//                                   --not renamed--> Ended
//                --failed--> Pausing (the list first), or Ended
//   Pausing --PauseEnded--> FetchingFile, or FetchingList (alone, or before the file's try)
//   FetchingList, before a file's try --a newer list--> BetweenFiles (BeginFile 1)
//                                     --anything else--> FetchingFile
//
// An item (the list, or one file) is tried on one host, then the next,
// wrapping round to the vendor's host, until every host has had its tries:
// the failure table (Retry.cpp) says whether a failure is worth another try
// on the same host. Each file starts on the host that served the last one.
//
// The .part and If-Range: the validator sent is the one of the answer whose
// bytes are in the .part. An answer that wrote the .part from byte 0 gives
// it; a continued answer keeps it; an answer that wrote nothing changes
// nothing. Bytes from another host have none, and are continued with a plain
// Range: the list's hash decides, and a file that fails it starts from 0.
#include "bootstrap/KeyedRun.h"

namespace {
TKeyedRun::TDecision Decide(TKeyedRun::TAction action, std::int32_t file,
                            TKeyedRun::THeading heading = TKeyedRun::THeading::Unchanged) {
  TKeyedRun::TDecision d;
  d.Action = action;
  d.File = file;
  d.Heading = heading;
  return d;
}
}  // namespace

TKeyedRun::TKeyedRun(TSettings settings, std::int32_t fileCount)
    : settings_(settings), fileCount_(fileCount) {
  if (settings_.Hosts == 0) settings_.Hosts = 1;
}

void TKeyedRun::NewItem() {
  tries_ = 0;
  hosts_ = 1;
  repeats_ = 0;
  part_ = 0;
  validator_.clear();
  beyond_ = false;
}

TKeyedRun::TDecision TKeyedRun::Start() {
  if (state_ != TState::Idle) return {};
  NewItem();
  host_ = 0;
  return FetchList(false);
}

TKeyedRun::TDecision TKeyedRun::FetchList(bool refetch) {
  refetch_ = refetch;
  state_ = TState::FetchingList;
  TDecision d;
  d.Action = TAction::FetchList;
  d.Host = host_;
  d.File = file_;
  return d;
}

TKeyedRun::TDecision TKeyedRun::ListChecked(TListVerdict verdict, const THTTPResult& result,
                                            std::uint64_t serial) {
  if (state_ != TState::FetchingList) return {};
  const bool accepted = verdict == TListVerdict::Accepted;
  if (refetch_) {
    refetch_ = false;
    if (accepted && serial != serial_) {
      // The vendor published during the run: everything again under the new
      // list, keeping what already matches it.
      serial_ = serial;
      served_ = host_;
      file_ = 1;
      state_ = TState::BetweenFiles;
      return Decide(TAction::BeginFile, file_, THeading::Usual);
    }
    // The list taken before still holds: the file's own try goes ahead.
    return Fetch();
  }
  if (accepted) {
    serial_ = serial;
    served_ = host_;
    file_ = 1;
    state_ = TState::BetweenFiles;
    return Decide(TAction::BeginFile, file_, THeading::Usual);
  }
  // A list older than one seen, or expired, is what this host serves: another
  // host may have a fresher one, this one will not.
  if (verdict == TListVerdict::Expired)
    return TryAgain(TTryAction::NextHost, -1, TAfterPause::List, TMessage::ListExpired);
  if (verdict == TListVerdict::Replayed)
    return TryAgain(TTryAction::NextHost, -1, TAfterPause::List, TMessage::ListFailed);
  // One that arrived but does not pass may have been cut or changed on the way.
  const TTryAction action = result.Failure == THTTPFailure::None ? ActionFor(TTryFault::CheckFailed, result)
                                                                 : ActionFor(TTryFault::Transfer, result);
  return TryAgain(action, result.RetryAfter, TAfterPause::List, TMessage::ListFailed);
}

TKeyedRun::TDecision TKeyedRun::Begin(std::int32_t file, std::int64_t listed, std::int64_t kept) {
  if (state_ != TState::BetweenFiles) return {};
  file_ = file;
  listed_ = listed;
  NewItem();
  host_ = served_;
  if (settings_.KeepChecked && listed >= 0 && kept == listed) {
    state_ = TState::CheckingKept;
    return Decide(TAction::CheckKept, file_);
  }
  TDecision d = Fetch();
  d.ClearSlot = true;
  return d;
}

TKeyedRun::TDecision TKeyedRun::Fetch() {
  state_ = TState::FetchingFile;
  beyond_ = false;
  // What is aside is asked for no more when it already holds the whole file.
  if (listed_ >= 0 && part_ >= listed_) part_ = 0;
  TDecision d;
  d.Action = TAction::FetchFile;
  d.File = file_;
  d.Host = host_;
  d.From = part_;
  if (part_ > 0) d.Validator = validator_;
  return d;
}

bool TKeyedRun::Progress(std::int32_t total, std::int32_t readed, std::int32_t offset) {
  if (state_ != TState::FetchingFile || beyond_) return false;
  const std::int64_t expected = listed_ - offset;
  beyond_ = total != expected || readed > expected;
  return beyond_;
}

TKeyedRun::TDecision TKeyedRun::TransferEnded(bool ok, const THTTPResult& result, std::int64_t part) {
  if (state_ != TState::FetchingFile) return {};
  if (ok && !beyond_) {
    state_ = TState::CheckingFile;
    return Decide(TAction::CheckFile, file_);
  }
  part_ = part < 0 ? 0 : part;
  const bool wroteFromStart = result.Status >= 200 && result.Status < 300 && !result.Continued;
  if (wroteFromStart) validator_ = result.Validator;
  // Bytes beyond the list, or of a range other than asked, are no start to go on from.
  const bool drop = beyond_ || result.Failure == THTTPFailure::BadRange;
  if (drop) part_ = 0;
  if (part_ == 0) validator_.clear();
  const TTryAction action = ActionFor(beyond_ ? TTryFault::LengthNotListed : TTryFault::Transfer, result);
  // A file of another size than listed may be a newer one: the list first.
  TDecision d = beyond_ ? TryAgain(action, result.RetryAfter, TAfterPause::ListThenFile, TMessage::FileFailed)
                        : TryAgain(action, result.RetryAfter, TAfterPause::File, TMessage::DownloadError);
  d.DropPart = d.DropPart || drop;
  return d;
}

TKeyedRun::TDecision TKeyedRun::FileChecked(bool passed) {
  if (state_ == TState::CheckingKept) {
    if (passed) return Done();
    TDecision d = Fetch();
    d.ClearSlot = true;
    return d;
  }
  if (state_ != TState::CheckingFile) return {};
  if (passed) {
    state_ = TState::Saving;
    return Decide(TAction::SaveFile, file_);
  }
  part_ = 0;
  validator_.clear();
  // The vendor may have published while the run went on: the list first.
  TDecision d = TryAgain(TTryAction::SameHost, -1, TAfterPause::ListThenFile, TMessage::FileFailed);
  d.DropPart = true;
  return d;
}

TKeyedRun::TDecision TKeyedRun::Saved(bool renamed) {
  if (state_ != TState::Saving) return {};
  if (!renamed) return End(TMessage::DownloadError);
  served_ = host_;
  return Done();
}

TKeyedRun::TDecision TKeyedRun::Done() {
  if (file_ < fileCount_) {
    ++file_;
    state_ = TState::BetweenFiles;
    return Decide(TAction::NextFile, file_, THeading::Usual);
  }
  state_ = TState::Reporting;
  return Decide(TAction::Report, file_ + 1, THeading::Usual);
}

TKeyedRun::TDecision TKeyedRun::End(TMessage message) {
  state_ = TState::Ended;
  // What a failed try left aside was never checked: none of it stays.
  TDecision d = Decide(TAction::End, file_);
  d.DropPart = file_ > 0;
  d.Message = message;
  return d;
}

TKeyedRun::TDecision TKeyedRun::TryAgain(TTryAction action, std::int32_t retryAfter, TAfterPause after,
                                         TMessage otherwise) {
  TDecision d;
  if (action == TTryAction::SameHost && tries_ < settings_.Retries) {
    ++tries_;
    d.Heading = THeading::Retrying;
    d.Try = tries_ + 1;
    d.Tries = settings_.Retries + 1;
  } else if (action != TTryAction::EndRun && hosts_ < settings_.Hosts) {
    host_ = (host_ + 1) % settings_.Hosts;
    ++hosts_;
    tries_ = 0;
    // Another host's validator would not match the bytes aside.
    validator_.clear();
    d.Heading = THeading::OtherHost;
  } else {
    return End(otherwise);
  }
  ++repeats_;
  after_ = after;
  state_ = TState::Pausing;
  d.Action = TAction::Pause;
  d.File = file_;
  d.Host = host_;
  d.PauseMs = PauseBefore(repeats_, retryAfter);
  return d;
}

TKeyedRun::TDecision TKeyedRun::PauseEnded() {
  if (state_ != TState::Pausing) return {};
  switch (after_) {
    case TAfterPause::File:
      return Fetch();
    case TAfterPause::List:
      return FetchList(false);
    case TAfterPause::ListThenFile:
      return FetchList(true);
  }
  return {};
}
