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
// costs a few microseconds rather than tens.
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
  // UI side: waits until a call is queued or the timeout passes; true when a
  // call is waiting.
  bool WaitForPending(std::chrono::milliseconds timeout);

  // Called from the worker after each call is queued. Must be cheap and
  // thread-safe; it must not run the call itself.
  void SetWakeUp(std::function<void()> wakeUp);

 private:
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
  int uiSleepers_ = 0;      // UI threads blocked in WaitForPending
  int workerSleepers_ = 0;  // workers blocked for their answer
  std::condition_variable queued_;
  std::condition_variable answered_;
  std::function<void()> wakeUp_;
};

// The queue of the program's one UI thread.
TMainThreadQueue& MainThreadQueue();
