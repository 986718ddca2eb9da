#pragma once
// The hand-off from worker threads to the user-interface thread.
//
// A worker queues a call and blocks until the UI thread has run it. The UI
// thread runs queued calls when it processes its messages: the program's
// message loop is woken through the installed wake-up (FLTK: Fl::awake,
// Win32: a posted message); tests pump the queue themselves.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>

class TMainThreadQueue {
 public:
  // Worker side: runs fn on the UI thread and returns once it has returned.
  // An exception fn throws is rethrown here.
  void RunAndWait(const std::function<void()>& fn);

  // UI side: runs every call queued so far. Returns how many ran.
  int ProcessPending();
  // UI side: waits until a call is queued or the timeout passes.
  bool WaitForPending(std::chrono::milliseconds timeout);

  // Called from the worker after each call is queued. Must be cheap and
  // thread-safe; it must not run the call itself.
  void SetWakeUp(std::function<void()> wakeUp);

 private:
  struct Call {
    const std::function<void()>* fn = nullptr;
    std::exception_ptr error;
    std::atomic<bool> done{false};
  };

  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<Call*> calls_;
  std::function<void()> wakeUp_;
};

// The queue of the program's one UI thread.
TMainThreadQueue& MainThreadQueue();
