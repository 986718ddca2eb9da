#include "platform/posix/fltk/WakeUp.h"

#include <FL/Fl.H>

#include <atomic>

#include "framework/MainThread.h"

namespace {
// Set while a wake-up is on its way; one stands for any number of hand-offs.
std::atomic<bool> wakeUpPending{false};

void WakeUpHandler(void*) {
  // Cleared first: a call queued from now on asks for a wake-up of its own.
  // A burst cut short by its slice lets FLTK handle its own events and paint;
  // the worker's next call brings it straight back here.
  wakeUpPending.store(false);
  // Inside the burst the handlers' ProcessMessages let FLTK look at the
  // window only now and then; what came meanwhile (a close, a paint) may wait
  // in Xlib's queue, where the loop's select does not see it. One look after
  // the burst, never nested: the look can run this handler again.
  static bool looking = false;
  if (MainThreadQueue().ProcessBurst().ran > 0 && !looking) {
    looking = true;
    Fl::check();
    looking = false;
  }
}
}  // namespace

void InstallWakeUp() {
  MainThreadQueue().SetWakeUp([] {
    if (wakeUpPending.exchange(true)) return;
    if (Fl::awake(WakeUpHandler, nullptr) != 0) wakeUpPending.store(false);
  });
}

void RemoveWakeUp() {
  MainThreadQueue().SetWakeUp(nullptr);
}
