#pragma once
// The model's timers on FLTK's timeouts, which fire once: each is armed
// again after its tick.
#include <map>
#include <memory>

#include "framework/Controls.h"

class TFltkTimers {
 public:
  TFltkTimers() = default;
  ~TFltkTimers();
  TFltkTimers(const TFltkTimers&) = delete;
  TFltkTimers& operator=(const TFltkTimers&) = delete;

  // Enabled, disabled or given a new interval: the interval starts afresh.
  void Changed(TTimer& timer);
  void Destroyed(TTimer& timer);
  // Arms the running timers of owner and of its components.
  void ArmEnabled(TComponent& owner);

 private:
  struct TSlot {
    TFltkTimers* owner = nullptr;
    TTimer* timer = nullptr;
    bool armed = false;
  };
  static void Timeout(void* data);
  TSlot& SlotOf(TTimer& timer);
  static void Disarm(TSlot& slot);
  static void ArmIfEnabled(TSlot& slot);

  std::map<TTimer*, std::unique_ptr<TSlot>> slots_;
};
