// The keyed run's transitions: a row is the events that lead to a state,
// one more event, and what the run must decide then.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bootstrap/KeyedRun.h"

namespace {
using Machine = TKeyedRun;
using F = THTTPFailure;
using V = TListVerdict;
constexpr std::int64_t kSize = 3000;  // every file's listed size

THTTPResult Answer(F failure, int status = 0, const char* validator = "", std::int32_t retryAfter = -1,
                   bool continued = false) {
  THTTPResult r;
  r.Failure = failure;
  r.Status = status;
  r.Validator = validator;
  r.RetryAfter = retryAfter;
  r.Continued = continued;
  return r;
}

// Events, as the window hands them over.
using Event = std::function<Machine::TDecision(Machine&)>;
Event List(V verdict, THTTPResult result = {}, std::uint64_t serial = 7) {
  return [=](Machine& r) { return r.ListChecked(verdict, result, serial); };
}
Event Begin(std::int32_t file, std::int64_t kept = -1) {
  return [=](Machine& r) { return r.Begin(file, kSize, kept); };
}
Event Ended(THTTPResult result, std::int64_t part) {
  return [=](Machine& r) { return r.TransferEnded(result.Failure == F::None, result, part); };
}
Event Beyond() {
  return [](Machine& r) {
    EXPECT_TRUE(r.Progress(static_cast<std::int32_t>(kSize) + 100, 1025, 0));
    return r.TransferEnded(false, Answer(F::Aborted, 200), 1025);
  };
}
Event Checked(bool passed) {
  return [=](Machine& r) { return r.FileChecked(passed); };
}
Event Saved(bool renamed = true) {
  return [=](Machine& r) { return r.Saved(renamed); };
}
Event Paused() {
  return [](Machine& r) { return r.PauseEnded(); };
}

const char* kActions[] = {"None",     "FetchList", "BeginFile", "CheckKept", "FetchFile", "CheckFile",
                          "SaveFile", "Pause",     "NextFile",  "Report",    "End"};
const char* kHeadings[] = {"", " usual", " retrying", " other host"};
const char* kMessages[] = {"", " ListFailed", " ListExpired", " FileFailed", " DownloadError"};

std::string Describe(const Machine::TDecision& d) {
  std::string s = kActions[static_cast<int>(d.Action)];
  if (d.Action == Machine::TAction::Pause) {
    s += " " + std::to_string(d.PauseMs);
  } else if (d.Action != Machine::TAction::End) {
    s += " " + std::to_string(d.File);
  }
  if (d.Action == Machine::TAction::FetchList || d.Action == Machine::TAction::FetchFile)
    s += " host " + std::to_string(d.Host);
  if (d.Action == Machine::TAction::FetchFile)
    s += " from " + std::to_string(d.From) + " [" + d.Validator + "]";
  if (d.ClearSlot) s += " cleared";
  s += kHeadings[static_cast<int>(d.Heading)];
  if (d.Heading == Machine::THeading::Retrying)
    s += " " + std::to_string(d.Try) + "/" + std::to_string(d.Tries);
  s += kMessages[static_cast<int>(d.Message)];
  if (d.DropPart) s += " drop";
  return s;
}

using Events = std::vector<Event>;
Events operator+(Events a, const Events& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// A failure of the current file's try, and the pause after it, n times.
Events Failures(int n, THTTPResult result = Answer(F::TimedOut)) {
  Events out;
  for (int i = 0; i < n; ++i) out = out + Events{Ended(result, 0), Paused()};
  return out;
}

struct Row {
  const char* name;
  Machine::TSettings settings;
  Events before;
  Event event;
  const char* decision;
};

const Machine::TSettings kPlain{0, 1, false};   // the key, no setting
const Machine::TSettings kMore{3, 2, true};     // three more tries, one mirror
const Machine::TSettings kMirrors{0, 3, true};  // two mirrors, no more tries

const Events kFirst{List(V::Accepted), Begin(1)};  // file 1 on its way
const Events kArrived = kFirst + Events{Ended({}, kSize)};
// File 1 cut at 1500 bytes on the vendor's host, by an answer whose ETag is "A".
const Events kCut = kFirst + Events{Ended(Answer(F::BodyCutShort, 200, "A"), 1500)};
// File 1 came from the first mirror, after the vendor's host had no such file.
const Events kFromMirror =
    kFirst + Failures(1, Answer(F::HttpStatus, 404)) + Events{Ended({}, kSize), Checked(true), Saved()};

class KeyedRun : public ::testing::TestWithParam<Row> {};

TEST_P(KeyedRun, Decides) {
  const Row& row = GetParam();
  Machine run(row.settings, 2);
  ASSERT_EQ(Describe(run.Start()), "FetchList 0 host 0");
  for (const Event& e : row.before) e(run);
  EXPECT_EQ(Describe(row.event(run)), row.decision);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, KeyedRun, ::testing::Values(
    Row{"ListAcceptedBeginsTheFirstFile", kPlain, {}, List(V::Accepted), "BeginFile 1 usual"},
    Row{"FirstFileFetchedFromTheStart", kPlain, {List(V::Accepted)}, Begin(1, 10), "FetchFile 1 host 0 from 0 [] cleared"},
    Row{"ArrivedFileIsChecked", kPlain, kFirst, Ended({}, kSize), "CheckFile 1"},
    Row{"PassedFileIsSaved", kPlain, kArrived, Checked(true), "SaveFile 1"},
    Row{"SavedFileLeadsToTheNext", kPlain, kArrived + Events{Checked(true)}, Saved(), "NextFile 2 usual"},
    Row{"LastFileLeadsToTheReport", kPlain,
        kArrived + Events{Checked(true), Saved(), Begin(2), Ended({}, kSize), Checked(true)}, Saved(), "Report 3 usual"},
    Row{"FileThatCannotBeNamedEndsTheRun", kPlain, kArrived + Events{Checked(true)}, Saved(false), "End DownloadError drop"},
    // Without settings every failure ends the run, with nothing aside.
    Row{"PlainCutFileEnds", kPlain, kFirst, Ended(Answer(F::BodyCutShort, 200), 10), "End DownloadError drop"},
    Row{"PlainFileBeyondTheListEnds", kPlain, kFirst, Beyond(), "End FileFailed drop"},
    Row{"PlainFileFailingItsCheckEnds", kPlain, kArrived, Checked(false), "End FileFailed drop"},
    Row{"PlainRefusedListEnds", kPlain, {}, List(V::Refused), "End ListFailed"},
    Row{"PlainExpiredListEnds", kPlain, {}, List(V::Expired), "End ListExpired"},
    Row{"KeptFileIsNotKeptWithoutTheSetting", kPlain, {List(V::Accepted)}, Begin(1, kSize), "FetchFile 1 host 0 from 0 [] cleared"},
    // a) never a pause of 0
    Row{"RetryAfterZeroOnTheListWaitsASecond", kMore, {}, List(V::Refused, Answer(F::HttpStatus, 503, "", 0)), "Pause 1000 retrying 2/4"},
    Row{"RetryAfterZeroOnAFileWaitsASecond", kMore, kFirst, Ended(Answer(F::HttpStatus, 503, "", 0), 0), "Pause 1000 retrying 2/4"},
    Row{"RetryAfterIsHonouredUpToAMinute", kMore, kFirst, Ended(Answer(F::HttpStatus, 429, "", 600), 0), "Pause 60000 retrying 2/4"},
    // Pauses double over the file's tries on every host, up to half a minute.
    Row{"FourthFailureGoesToTheMirrorAfterEightSeconds", kMore, kFirst + Failures(3), Ended(Answer(F::TimedOut), 0), "Pause 8000 other host"},
    Row{"SeventhFailureWaitsHalfAMinute", kMore, kFirst + Failures(6), Ended(Answer(F::TimedOut), 0), "Pause 30000 retrying 4/4"},
    // b) the validator of the bytes aside
    Row{"CutFileContinuesWithItsOwnValidator", kMore, kCut, Paused(), "FetchFile 1 host 0 from 1500 [A]"},
    Row{"ErrorPageDoesNotReplaceTheValidator", kMore, kCut + Events{Paused(), Ended(Answer(F::HttpStatus, 503, "err"), 1500)},
        Paused(), "FetchFile 1 host 0 from 1500 [A]"},
    Row{"ErrorPageBeforeTheFirstBytesLeavesNoValidator", kMore,
        kFirst + Failures(1, Answer(F::HttpStatus, 503, "err")) + Events{Ended(Answer(F::BodyCutShort, 200, "A"), 1500)},
        Paused(), "FetchFile 1 host 0 from 1500 [A]"},
    Row{"FileStartedAgainTakesTheNewValidator", kMore, kCut + Events{Paused(), Ended(Answer(F::BodyCutShort, 200, "B"), 900)},
        Paused(), "FetchFile 1 host 0 from 900 [B]"},
    Row{"ContinuedAnswerKeepsTheValidator", kMore, kCut + Events{Paused(), Ended(Answer(F::BodyCutShort, 206, "A", -1, true), 2000)},
        Paused(), "FetchFile 1 host 0 from 2000 [A]"},
    Row{"AnswerWithoutValidatorIsContinuedWithPlainRange", kMore, kFirst + Events{Ended(Answer(F::BodyCutShort, 200), 1500)},
        Paused(), "FetchFile 1 host 0 from 1500 []"},
    Row{"BytesFromAnotherHostAreContinuedWithPlainRange", kMirrors, kCut, Paused(), "FetchFile 1 host 1 from 1500 []"},
    Row{"AnotherRangeStartsFromZero", kMore, kCut + Events{Paused()}, Ended(Answer(F::BadRange, 206), 1500), "Pause 2000 retrying 3/4 drop"},
    Row{"FailedCheckFetchesTheListFirst", kMore, kArrived, Checked(false), "Pause 1000 retrying 2/4 drop"},
    Row{"SameListAfterAFailedCheckRefetchesTheFileFromZero", kMore, kArrived + Events{Checked(false), Paused()},
        List(V::Accepted), "FetchFile 1 host 0 from 0 []"},
    Row{"NewerListStartsTheRunAgain", kMore, kFirst + Events{Beyond(), Paused()}, List(V::Accepted, {}, 8), "BeginFile 1 usual"},
    Row{"RefusedListDuringARunLetsTheFileGoAhead", kMore, kFirst + Events{Beyond(), Paused()}, List(V::Refused),
        "FetchFile 1 host 0 from 0 []"},
    // c) hosts wrap round
    Row{"NextFileStartsOnTheHostThatServedTheLast", kMirrors, kFromMirror, Begin(2), "FetchFile 2 host 1 from 0 [] cleared"},
    Row{"FileTheMirrorLacksIsAskedOfTheVendorsHost", kMirrors,
        kFromMirror + Events{Begin(2)} + Failures(1, Answer(F::HttpStatus, 404)) + Events{Ended(Answer(F::HttpStatus, 404), 0)},
        Paused(), "FetchFile 2 host 0 from 0 []"},
    Row{"EveryHostTriedEndsTheRun", kMirrors, kFirst + Failures(2, Answer(F::HttpStatus, 404)),
        Ended(Answer(F::HttpStatus, 404), 0), "End DownloadError drop"},
    Row{"EveryTryOnEveryHostEndsTheRun", kMore, kFirst + Failures(7), Ended(Answer(F::TimedOut), 0), "End DownloadError drop"},
    Row{"UsersProxyRefusingEndsTheRunAtOnce", kMore, kFirst, Ended(Answer(F::HttpStatus, 407), 0), "End DownloadError drop"},
    Row{"FullDiskEndsTheRunAtOnce", kMore, kFirst, Ended(Answer(F::DiskFull, 200), 10), "End DownloadError drop"},
    // d) a list older than seen, or expired, goes to the next host at once
    Row{"ReplayedListGoesToTheNextHost", kMore, {}, List(V::Replayed), "Pause 1000 other host"},
    Row{"ExpiredListGoesToTheNextHost", kMore, {}, List(V::Expired), "Pause 1000 other host"},
    Row{"ListFromTheNextHostAfterAReplay", kMore, {List(V::Replayed)}, Paused(), "FetchList 0 host 1"},
    Row{"ExpiredEverywhereSaysToCheckTheClock", kMore, {List(V::Expired), Paused()}, List(V::Expired), "End ListExpired"},
    // Kept files
    Row{"FileOfTheListedSizeIsCheckedWhereItIs", kMore, {List(V::Accepted)}, Begin(1, kSize), "CheckKept 1"},
    Row{"KeptFileThatPassesIsDone", kMore, {List(V::Accepted), Begin(1, kSize)}, Checked(true), "NextFile 2 usual"},
    Row{"KeptFileThatFailsIsFetchedAgain", kMore, {List(V::Accepted), Begin(1, kSize)}, Checked(false),
        "FetchFile 1 host 0 from 0 [] cleared"}),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

TEST(KeyedRun, EventsOutOfTurnAreIgnored) {
  Machine run(kMore, 2);
  EXPECT_EQ(Describe(run.PauseEnded()), "None 0");
  run.Start();
  EXPECT_EQ(Describe(run.FileChecked(true)), "None 0");
  EXPECT_FALSE(run.Progress(1, 1, 0));
  EXPECT_EQ(run.State(), Machine::TState::FetchingList);
}

}  // namespace
