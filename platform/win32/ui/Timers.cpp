#include "platform/win32/ui/Timers.h"

TWin32Timers::TWin32Timers(HWND window) : window_(window) {}

TWin32Timers::~TWin32Timers() {
  for (const auto& [id, timer] : timers_) ::KillTimer(window_, id);
}

void TWin32Timers::Changed(TTimer& timer) {
  auto it = ids_.find(&timer);
  if (timer.Runs()) {
    if (it == ids_.end()) {
      it = ids_.emplace(&timer, nextId_++).first;
      timers_[it->second] = &timer;
    }
    ::SetTimer(window_, it->second, timer.Interval(), nullptr);
  } else if (it != ids_.end()) {
    ::KillTimer(window_, it->second);
  }
}

void TWin32Timers::Destroyed(TTimer& timer) {
  const auto it = ids_.find(&timer);
  if (it == ids_.end()) return;
  ::KillTimer(window_, it->second);
  timers_.erase(it->second);
  ids_.erase(it);
}

void TWin32Timers::ArmEnabled(TComponent& owner) {
  for (TTimer* timer : RunningTimers(owner)) Changed(*timer);
}

void TWin32Timers::Tick(UINT_PTR id) const {
  if (const auto it = timers_.find(id); it != timers_.end()) it->second->Tick();
}
