#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "framework/Exception.h"
#include "framework/MainThread.h"
#include "framework/Thread.h"

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
