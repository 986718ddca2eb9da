#include "platform/posix/fltk/Timers.h"

#include <FL/Fl.H>

TFltkTimers::~TFltkTimers() {
  for (auto& [timer, slot] : slots_) Disarm(*slot);
}

void TFltkTimers::Changed(TTimer& timer) {
  TSlot& slot = SlotOf(timer);
  Disarm(slot);
  ArmIfEnabled(slot);
}

void TFltkTimers::Destroyed(TTimer& timer) {
  const auto found = slots_.find(&timer);
  if (found == slots_.end()) return;
  Disarm(*found->second);
  slots_.erase(found);
}

void TFltkTimers::ArmEnabled(TComponent& owner) {
  for (TTimer* timer : RunningTimers(owner)) ArmIfEnabled(SlotOf(*timer));
}

void TFltkTimers::Timeout(void* data) {
  auto* slot = static_cast<TSlot*>(data);
  TFltkTimers* owner = slot->owner;
  TTimer* timer = slot->timer;
  slot->armed = false;
  timer->Tick();
  // The handler may have freed the timer, or disabled or re-armed it.
  const auto found = owner->slots_.find(timer);
  if (found != owner->slots_.end() && !found->second->armed) ArmIfEnabled(*found->second);
}

TFltkTimers::TSlot& TFltkTimers::SlotOf(TTimer& timer) {
  auto& slot = slots_[&timer];
  if (!slot) slot = std::make_unique<TSlot>(TSlot{this, &timer, false});
  return *slot;
}

void TFltkTimers::Disarm(TSlot& slot) {
  if (slot.armed) Fl::remove_timeout(Timeout, &slot);
  slot.armed = false;
}

void TFltkTimers::ArmIfEnabled(TSlot& slot) {
  if (slot.armed || !slot.timer->Runs()) return;
  Fl::add_timeout(slot.timer->Interval() / 1000.0, Timeout, &slot);
  slot.armed = true;
}
