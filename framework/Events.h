#pragma once
// Events are handlers bound to an object: code plus the object it runs on.
#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>

#include "framework/Types.h"

class TObject;

template <class... Args>
class TEvent {
 public:
  TEvent() = default;

  // Binds a method to the object it runs on.
  template <class T>
  TEvent(T* object, void (T::*method)(Args...))
      : data_(object), fn_([object, method](Args... args) { (object->*method)(std::forward<Args>(args)...); }) {}

  // Binds any callable; its object is the one given, or none.
  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, TEvent> &&
                                                std::is_invocable_v<F&, Args...>>>
  TEvent(F&& f, const void* object = nullptr) : data_(object), fn_(std::forward<F>(f)) {}

  bool Assigned() const noexcept { return static_cast<bool>(fn_); }
  explicit operator bool() const noexcept { return Assigned(); }
  // The object the handler is bound to.
  const void* Data() const noexcept { return data_; }

  void operator()(Args... args) const { fn_(std::forward<Args>(args)...); }

 private:
  const void* data_ = nullptr;
  std::function<void(Args...)> fn_;
};

using TNotifyEvent = TEvent<TObject*>;
