#include "platform/win32/ui/WakeUp.h"

#include <atomic>

#include "framework/MainThread.h"

namespace {
// Set while a wake-up message is on its way; one stands for any number of hand-offs.
std::atomic<bool>& WakeUpPosted() {
  static std::atomic<bool> posted{false};
  return posted;
}
}  // namespace

// The wake-up may still run on a worker after the widget set is gone: it
// touches only the window handle (posting to a dead one fails harmlessly),
// its own copy of the post function and a flag of the process's.
void InstallWakeUp(HWND window, TWin32WidgetSet::TPostMessage post) {
  if (!post) {
    post = [](void* to, unsigned message) {
      return ::PostMessageA(static_cast<HWND>(to), message, 0, 0) != FALSE;
    };
  }
  MainThreadQueue().SetWakeUp([window, post = std::move(post)] {
    // A post that failed (a full queue) leaves nothing on its way: the flag
    // is cleared and the post tried again, or no later hand-off would post
    // and the worker would wait for ever. A window that is gone has no one
    // to wake.
    while (!WakeUpPosted().exchange(true)) {
      if (post(window, kWakeUp)) return;
      WakeUpPosted() = false;
      if (!::IsWindow(window)) return;
      ::Sleep(1);  // the UI thread empties its queue meanwhile
    }
  });
}

void RemoveWakeUp() {
  MainThreadQueue().SetWakeUp(nullptr);
}

void WakeUpArrived() {
  // Cleared before running: a call queued from now on posts a new wake-up.
  WakeUpPosted() = false;
  if (!MainThreadQueue().ProcessBurst().cut) return;
  // Posted messages come before input and paint, and the worker's next call
  // posts the next wake-up at once: after a burst cut short by its slice the
  // window's own messages go first, or a transfer would freeze it. Bounded:
  // a paint nobody validates comes back.
  MSG msg;
  for (int i = 0; i < 64 && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT | PM_QS_PAINT); ++i) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

void WakeUpWindowGone() {
  WakeUpPosted() = false;
}
