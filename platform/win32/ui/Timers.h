#pragma once
// The model's timers on the system's, which tick a hidden window.
// clang-format off
#include "framework/Controls.h"
#include <windows.h>
// clang-format on

#include <unordered_map>

class TWin32Timers {
 public:
  explicit TWin32Timers(HWND window);
  ~TWin32Timers();
  TWin32Timers(const TWin32Timers&) = delete;
  TWin32Timers& operator=(const TWin32Timers&) = delete;

  // Enabled, disabled or given a new interval: a running one starts its
  // interval afresh.
  void Changed(TTimer& timer);
  void Destroyed(TTimer& timer);
  // Arms the running timers of owner and of its components.
  void ArmEnabled(TComponent& owner);
  // The window's WM_TIMER for a timer id.
  void Tick(UINT_PTR id) const;

 private:
  HWND window_;
  std::unordered_map<UINT_PTR, TTimer*> timers_;
  std::unordered_map<TTimer*, UINT_PTR> ids_;
  UINT_PTR nextId_ = 1;
};
