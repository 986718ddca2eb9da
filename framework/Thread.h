#pragma once
#include <atomic>
#include <functional>
#include <thread>

#include "framework/Component.h"
#include "framework/Events.h"

// A worker thread. The body runs Execute(); when it has ended, OnTerminate
// runs on the UI thread while the worker waits; then, with FreeOnTerminate,
// the object frees itself.
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
  // Runs fn on the UI thread and waits until it has returned.
  static void Synchronize(const std::function<void()>& fn);

 private:
  void Run();

  std::atomic<bool> terminated_{false};
  std::thread thread_;
};
