#include "framework/MainThread.h"

#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

// How long a worker spins for its answer before it sleeps; covers a UI thread
// that is awake or is being woken from poll.
constexpr auto kWorkerSpin = std::chrono::microseconds(200);
// Busy waiting before a spinning thread starts to yield.
constexpr auto kBusySpin = std::chrono::microseconds(5);
// How long the UI thread waits for the next call after answering one, before
// it goes back to the message loop: first busily, then asleep on the queue.
// A transfer's worker is back after one read and one write: at once when it
// has a core of its own, else after a wake-up of 15 to 25 us on this kind of
// machine; 99% within 50 us (bench/httpget). Nothing to do for longer: the
// line is slow, and the loop sleeps as before.
constexpr auto kUiSpin = std::chrono::microseconds(5);
constexpr auto kUiLinger = std::chrono::microseconds(100);
// How often a burst lets the window's own messages through.
constexpr auto kMessagesEvery = std::chrono::milliseconds(2);

// Spins until flag is set or the budget is spent; true when it was set. After
// busy microseconds of busy waiting it yields at every turn: when the cores
// are all taken, the thread that has to answer may be waiting for ours.
bool SpinFor(const std::atomic<bool>& flag, Clock::duration budget, Clock::duration busy = kBusySpin) {
  if (flag.load(std::memory_order_acquire)) return true;
  const auto start = Clock::now();
  const auto busyUntil = start + busy;
  const auto until = start + budget;
  for (;;) {
    const auto now = Clock::now();
    if (now >= until) return false;
    if (now < busyUntil) {
      for (int i = 0; i < 32; ++i) {
        if (flag.load(std::memory_order_acquire)) return true;
      }
    } else {
      std::this_thread::yield();
      if (flag.load(std::memory_order_acquire)) return true;
    }
  }
}
}  // namespace

TMainThreadQueue& MainThreadQueue() {
  // Never destroyed: a self-freeing worker may still be on its way out of
  // RunAndWait while the program ends.
  static TMainThreadQueue& queue = *new TMainThreadQueue;
  return queue;
}

void TMainThreadQueue::SetWakeUp(std::function<void()> wakeUp) {
  std::lock_guard lock(mutex_);
  wakeUp_ = std::move(wakeUp);
}

void TMainThreadQueue::RunAndWait(const std::function<void()>& fn) {
  Call call;
  call.fn = &fn;
  bool uiAsleep = false;
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    if (tail_ != nullptr) {
      tail_->next = &call;
    } else {
      head_ = &call;
    }
    tail_ = &call;
    pending_.store(true, std::memory_order_release);
    uiAsleep = uiSleepers_ > 0;
    // A UI thread waiting for the next call needs no wake-up of its loop.
    if (wakeUp_ && !uiLingering_) wake = wakeUp_;
  }
  if (uiAsleep) queued_.notify_all();
  if (wake) wake();

  if (!SpinFor(call.doneFast, kWorkerSpin)) {
    std::unique_lock lock(mutex_);
    ++workerSleepers_;
    answered_.wait(lock, [&call] { return call.done; });
    --workerSleepers_;
  }
  // The UI side touches the call only under the lock, and not after marking
  // it done, so it may go out of scope from here on.
  if (call.error) std::rethrow_exception(call.error);
}

int TMainThreadQueue::ProcessPending() {
  int ran = 0;
  for (;;) {
    Call* call = nullptr;
    {
      std::lock_guard lock(mutex_);
      call = head_;
      if (call == nullptr) break;
      head_ = call->next;
      if (head_ == nullptr) {
        tail_ = nullptr;
        pending_.store(false, std::memory_order_relaxed);
      }
    }
    std::exception_ptr error;
    try {
      (*call->fn)();
    } catch (...) {
      error = std::current_exception();
    }
    ++ran;
    bool workerAsleep = false;
    {
      std::lock_guard lock(mutex_);
      call->error = std::move(error);
      call->done = true;
      call->doneFast.store(true, std::memory_order_release);
      workerAsleep = workerSleepers_ > 0;
    }
    if (workerAsleep) answered_.notify_all();
  }
  return ran;
}

// The UI side never yields while it spins: with every core taken, a yield
// hands the core to another process for a whole time slice, and a UI thread
// that spun for long starved the worker and the network it waits for.
TMainThreadQueue::TBurst TMainThreadQueue::ProcessBurst(std::chrono::microseconds slice) {
  TBurst burst;
  const auto until = Clock::now() + slice;
  // The loop has just handled the window's messages.
  if (burstDepth_ == 0) lastMessages_ = Clock::now();
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(++d) {}
    ~Depth() { --depth; }
  } depth(burstDepth_);
  for (;;) {
    const int ran = ProcessPending();
    burst.ran += ran;
    if (ran == 0) return burst;
    if (Clock::now() >= until) {
      burst.cut = true;
      return burst;
    }
    if (!AwaitNext()) return burst;
  }
}

bool TMainThreadQueue::MessagesDue() {
  if (burstDepth_ == 0) return true;
  const auto now = Clock::now();
  if (now - lastMessages_ < kMessagesEvery) return false;
  lastMessages_ = now;
  return true;
}

bool TMainThreadQueue::AwaitNext() {
  {
    std::lock_guard lock(mutex_);
    if (head_ != nullptr) return true;
    uiLingering_ = true;
  }
  const bool soon = SpinFor(pending_, kUiSpin, kUiSpin);
  std::unique_lock lock(mutex_);
  // Decided under the lock: a call queued after this asks for a wake-up.
  bool any = soon;
  if (!any) {
    ++uiSleepers_;
    any = queued_.wait_for(lock, kUiLinger, [this] { return head_ != nullptr; });
    --uiSleepers_;
  }
  uiLingering_ = false;
  return any;
}

bool TMainThreadQueue::WaitForPending(std::chrono::microseconds timeout) {
  std::unique_lock lock(mutex_);
  ++uiSleepers_;
  const bool any = queued_.wait_for(lock, timeout, [this] { return head_ != nullptr; });
  --uiSleepers_;
  return any;
}
