#include "framework/Thread.h"

#include <system_error>

#include "framework/Exception.h"
#include "framework/MainThread.h"

TThread::TThread() = default;

TThread::~TThread() {
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
}

void TThread::Start() {
  // A self-freeing thread may be gone by the time the constructor of
  // std::thread returns: decide before it starts, touch nothing after.
  const bool selfFreeing = FreeOnTerminate;
  std::thread t;
  try {
    t = std::thread(&TThread::Run, this, selfFreeing);
  } catch (const std::system_error& e) {
    throw Exception(FormatText("Thread creation error: %s", e.what()));
  }
  if (selfFreeing) {
    t.detach();
  } else {
    thread_ = std::move(t);
  }
}

void TThread::Synchronize(const std::function<void()>& fn) {
  MainThreadQueue().RunAndWait(fn);
}

void TThread::DoTerminate() {
  if (OnTerminate) OnTerminate(this);
}

void TThread::Run(bool selfFreeing) {
  try {
    Execute();
  } catch (...) {
    // The body owns its error handling; nothing may escape the thread.
  }
  try {
    Synchronize([this] { DoTerminate(); });
  } catch (...) {
  }
  if (selfFreeing) delete this;
}
