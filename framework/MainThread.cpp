#include "framework/MainThread.h"

#include <thread>

TMainThreadQueue& MainThreadQueue() {
  static TMainThreadQueue queue;
  return queue;
}

void TMainThreadQueue::SetWakeUp(std::function<void()> wakeUp) {
  std::lock_guard lock(mutex_);
  wakeUp_ = std::move(wakeUp);
}

void TMainThreadQueue::RunAndWait(const std::function<void()>& fn) {
  Call call;
  call.fn = &fn;
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(&call);
    wake = wakeUp_;
  }
  queued_.notify_one();
  if (wake) wake();
  // The UI thread usually answers within microseconds: spin briefly before
  // sleeping, so a chunk-by-chunk hand-off does not pay for a futex round trip.
  for (int i = 0; i < 2000 && !call.done.load(std::memory_order_acquire); ++i) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  while (!call.done.load(std::memory_order_acquire)) {
    call.done.wait(false, std::memory_order_acquire);
  }
  if (call.error) std::rethrow_exception(call.error);
}

int TMainThreadQueue::ProcessPending() {
  int ran = 0;
  for (;;) {
    Call* call = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (calls_.empty()) break;
      call = calls_.front();
      calls_.pop_front();
    }
    try {
      (*call->fn)();
    } catch (...) {
      call->error = std::current_exception();
    }
    ++ran;
    call->done.store(true, std::memory_order_release);
    call->done.notify_one();
  }
  return ran;
}

bool TMainThreadQueue::WaitForPending(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return queued_.wait_for(lock, timeout, [this] { return !calls_.empty(); });
}
