#pragma once
#include <atomic>
#include <functional>
#include <thread>

#include "framework/Component.h"
#include "framework/Events.h"

// A worker thread. The body runs Execute(); when it has ended, DoTerminate
// (by default: OnTerminate) runs on the UI thread while the worker waits;
// then, with FreeOnTerminate, the object frees itself.
//
// FreeOnTerminate and OnTerminate are set before Start. OnTerminate is read
// on the UI thread only, so the UI thread may still change it while the
// thread runs. A thread without FreeOnTerminate is freed by its creator once
// it has ended; its destructor joins it.
class TThread : public TObject {
 public:
  TThread();
  ~TThread() override;
  AnsiText ClassName() const override { return "TThread"; }

  // Lets the thread run. Raises Exception("Thread creation error: ...") when
  // the system cannot create it.
  void Start();
  // Asks the body to stop at its next check.
  void Terminate() noexcept { terminated_.store(true, std::memory_order_release); }
  bool Terminated() const noexcept { return terminated_.load(std::memory_order_acquire); }

  TNotifyEvent OnTerminate;
  bool FreeOnTerminate = false;

 protected:
  virtual void Execute() = 0;
  // Runs on the UI thread after the body has ended.
  virtual void DoTerminate();
  // Runs fn on the UI thread and waits until it has returned.
  static void Synchronize(const std::function<void()>& fn);

 private:
  void Run(bool selfFreeing);

  std::atomic<bool> terminated_{false};
  std::thread thread_;
};
