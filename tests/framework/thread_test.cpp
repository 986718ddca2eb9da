#include "framework/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "framework/Exception.h"
#include "framework/MainThread.h"

namespace {
using namespace std::chrono_literals;

// Pumps the UI queue on this thread until pred holds (or a generous limit).
template <class Pred>
bool PumpUntil(Pred pred) {
  const auto limit = std::chrono::steady_clock::now() + 10s;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    MainThreadQueue().WaitForPending(10ms);
    MainThreadQueue().ProcessPending();
  }
  return true;
}

class TCounting : public TThread {
 public:
  TCounting(std::atomic<int>* freed, std::thread::id* ranOn) : freed_(freed), ranOn_(ranOn) {}
  ~TCounting() override { freed_->fetch_add(1); }
  std::atomic<int> handedOff{0};

 protected:
  void Execute() override {
    for (int i = 0; i < 100; ++i) {
      Synchronize([this] {
        *ranOn_ = std::this_thread::get_id();
        handedOff.fetch_add(1);
      });
    }
  }

 private:
  std::atomic<int>* freed_;
  std::thread::id* ranOn_;
};
}  // namespace

TEST(MainThreadQueue, RunAndWaitRunsOnThePumpingThreadAndRethrows) {
  std::thread::id ranOn;
  bool threw = false;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    MainThreadQueue().RunAndWait([&] { ranOn = std::this_thread::get_id(); });
    try {
      MainThreadQueue().RunAndWait([] { throw Exception("boom"); });
    } catch (const Exception& e) {
      threw = e.Message() == "boom";
    }
    finished = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return finished.load(); }));
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_TRUE(threw);
}

TEST(Thread, CompletionRunsOnUiThreadThenSelfFrees) {
  std::atomic<int> freed{0};
  std::thread::id ranOn;
  auto* t = new TCounting(&freed, &ranOn);
  t->FreeOnTerminate = true;
  std::atomic<int> completions{0};
  int handedOffAtCompletion = -1;
  t->OnTerminate = TNotifyEvent([&](TObject* sender) {
    completions++;
    handedOffAtCompletion = static_cast<TCounting*>(sender)->handedOff.load();
    EXPECT_EQ(freed.load(), 0);
  });
  t->Start();
  EXPECT_TRUE(PumpUntil([&] { return freed.load() == 1; }));
  EXPECT_EQ(completions.load(), 1);
  EXPECT_EQ(handedOffAtCompletion, 100);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(MainThreadQueue, ManyWorkersEachGetTheirOwnAnswerInOrder) {
  constexpr int kWorkers = 4;
  constexpr int kCalls = 2000;
  std::vector<std::vector<int>> seen(kWorkers);  // touched on this thread only
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < kCalls; ++i) {
        int answer = -1;
        MainThreadQueue().RunAndWait([&] {
          seen[static_cast<std::size_t>(w)].push_back(i);
          answer = i * 2;
        });
        if (answer != i * 2) ADD_FAILURE() << "worker " << w << " call " << i << " got " << answer;
      }
      finished++;
    });
  }
  EXPECT_TRUE(PumpUntil([&] { return finished.load() == kWorkers; }));
  for (auto& t : workers) t.join();
  for (const auto& s : seen) {
    ASSERT_EQ(s.size(), static_cast<std::size_t>(kCalls));
    for (int i = 0; i < kCalls; ++i) ASSERT_EQ(s[static_cast<std::size_t>(i)], i);
  }
}

TEST(MainThreadQueue, AWorkerWaitsAsLongAsTheUiThreadTakes) {
  // Well past any spinning, so the worker has gone to sleep when the answer comes.
  std::atomic<bool> queued{false};
  std::atomic<bool> returned{false};
  bool threw = false;
  std::thread worker([&] {
    queued = true;
    try {
      MainThreadQueue().RunAndWait([] { throw Exception("late"); });
    } catch (const Exception& e) {
      threw = e.Message() == "late";
    }
    returned = true;
  });
  while (!queued) std::this_thread::yield();
  EXPECT_TRUE(MainThreadQueue().WaitForPending(10s));
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(returned.load());
  EXPECT_EQ(MainThreadQueue().ProcessPending(), 1);
  worker.join();
  EXPECT_TRUE(threw);
}

TEST(MainThreadQueue, WaitForPendingTimesOutWhenNothingComes) {
  EXPECT_EQ(MainThreadQueue().ProcessPending(), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(MainThreadQueue().WaitForPending(30ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
}

TEST(MainThreadQueue, ACallMayPumpTheQueueItself) {
  // A handler that waits for something (a nested message loop) still lets
  // other workers' calls run.
  std::atomic<bool> secondQueued{false};
  bool secondRan = false;
  std::thread second;
  std::thread first([&] {
    MainThreadQueue().RunAndWait([&] {
      second = std::thread([&] {
        secondQueued = true;
        MainThreadQueue().RunAndWait([&] { secondRan = true; });
      });
      EXPECT_TRUE(PumpUntil([&] { return secondRan; }));
    });
  });
  EXPECT_TRUE(PumpUntil([&] { return secondRan; }));
  first.join();
  second.join();
}

TEST(MainThreadQueue, WakeUpRunsOncePerCallAndCanDriveTheUiLoop) {
  // Stands in for a message loop that sleeps in its own wait (FLTK's poll)
  // and is woken only through the installed wake-up.
  std::mutex m;
  std::condition_variable cv;
  int wakeUps = 0;
  MainThreadQueue().SetWakeUp([&] {
    std::lock_guard lock(m);
    ++wakeUps;
    cv.notify_all();
  });
  constexpr int kCalls = 200;
  std::atomic<int> ran{0};
  std::thread worker([&] {
    for (int i = 0; i < kCalls; ++i) MainThreadQueue().RunAndWait([&] { ran++; });
  });
  int seenWakeUps = 0;
  while (ran.load() < kCalls) {
    std::unique_lock lock(m);
    cv.wait_for(lock, 1s, [&] { return wakeUps > seenWakeUps; });
    seenWakeUps = wakeUps;
    lock.unlock();
    MainThreadQueue().ProcessPending();
  }
  worker.join();
  MainThreadQueue().SetWakeUp(nullptr);
  EXPECT_EQ(wakeUps, kCalls);
}

namespace {
class TQuick : public TThread {
 public:
  explicit TQuick(std::atomic<bool>* gate) : gate_(gate) {}

 protected:
  void Execute() override {
    while (!gate_->load()) std::this_thread::yield();
  }

 private:
  std::atomic<bool>* gate_;
};
}  // namespace

TEST(Thread, CompletionHandlerMayBeChangedOnTheUiThreadWhileItRuns) {
  std::atomic<bool> gate{false};
  auto* t = new TQuick(&gate);
  t->FreeOnTerminate = true;
  int first = 0;
  int second = 0;
  t->OnTerminate = TNotifyEvent([&](TObject*) { first++; });
  t->Start();
  t->OnTerminate = TNotifyEvent([&](TObject*) { second++; });
  gate = true;
  EXPECT_TRUE(PumpUntil([&] { return second == 1; }));
  EXPECT_EQ(first, 0);
}

TEST(Thread, NotSelfFreeingIsJoinedByItsOwner) {
  std::atomic<bool> gate{true};
  auto t = std::make_unique<TQuick>(&gate);
  bool done = false;
  t->OnTerminate = TNotifyEvent([&](TObject*) { done = true; });
  t->Start();
  EXPECT_TRUE(PumpUntil([&] { return done; }));
  t.reset();  // joins
}
