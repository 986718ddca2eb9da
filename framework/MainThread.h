#pragma once
// The hand-off from worker threads to the user-interface thread.
//
// A worker queues a call and blocks until the UI thread has run it. The UI
// thread runs queued calls when it processes its messages: the program's
// message loop is woken through the installed wake-up (FLTK: Fl::awake,
// Win32: a posted message); tests pump the queue themselves.
//
// A progress report costs one hand-off per chunk, so a worker spins briefly
// for its answer before it sleeps: woken once instead of twice, a round trip
// costs a few microseconds rather than tens. A message loop answers through
// ProcessBurst, which waits a little for the next call (a few microseconds
// busily, then asleep on the queue) before the loop goes back to its own
// wait: in a transfer the next report comes after one read and one write,
// sooner and cheaper than through the loop's own wake-up.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

class TMainThreadQueue {
 public:
  TMainThreadQueue() = default;
  TMainThreadQueue(const TMainThreadQueue&) = delete;
  TMainThreadQueue& operator=(const TMainThreadQueue&) = delete;

  // Worker side: runs fn on the UI thread and returns once it has returned.
  // An exception fn throws is rethrown here. Must not be called from the UI
  // thread itself, which would wait for itself.
  void RunAndWait(const std::function<void()>& fn);

  // UI side: runs every call queued so far, including calls queued while it
  // runs. Returns how many ran. May be entered again from inside a call.
  int ProcessPending();
  // UI side, from a message loop's wake-up: runs what is queued, then, while
  // each next call follows within a hundred microseconds, that one too, for
  // up to slice, so that the loop still gets to its own events. Never waits
  // when nothing ran.
  struct TBurst {
    int ran = 0;
    bool cut = false;  // ended by the slice, not because the calls stopped
  };
  TBurst ProcessBurst(std::chrono::microseconds slice = std::chrono::milliseconds(10));
  // UI side, for a widget set's ProcessMessages: whether the window's own
  // messages are due. Always outside a burst; inside one (a transfer's
  // reports, one per chunk), once per couple of milliseconds: checking the
  // window and painting it at every chunk costs more than the chunk.
  bool MessagesDue();
  // UI side: waits until a call is queued or the timeout passes; true when a
  // call is waiting.
  bool WaitForPending(std::chrono::microseconds timeout);

  // Called from the worker after each call is queued. Must be cheap and
  // thread-safe; it must not run the call itself.
  void SetWakeUp(std::function<void()> wakeUp);

 private:
  // After a call has run: waits briefly for the next; true when one came.
  bool AwaitNext();

  struct Call {
    const std::function<void()>* fn = nullptr;
    std::exception_ptr error;
    Call* next = nullptr;
    bool done = false;  // under mutex_; doneFast mirrors it for spinning
    std::atomic<bool> doneFast{false};
  };

  std::mutex mutex_;
  Call* head_ = nullptr;  // FIFO of waiting calls, linked through Call::next
  Call* tail_ = nullptr;
  std::atomic<bool> pending_{false};  // head_ != nullptr, for spinning
  bool uiLingering_ = false;          // in AwaitNext: calls need no wake-up
  int burstDepth_ = 0;                // UI thread only, as is lastMessages_
  std::chrono::steady_clock::time_point lastMessages_;
  int uiSleepers_ = 0;      // UI threads blocked in WaitForPending or AwaitNext
  int workerSleepers_ = 0;  // workers blocked for their answer
  std::condition_variable queued_;
  std::condition_variable answered_;
  std::function<void()> wakeUp_;
};

// The queue of the program's one UI thread.
TMainThreadQueue& MainThreadQueue();
