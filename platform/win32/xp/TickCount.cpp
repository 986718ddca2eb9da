// Debian's prebuilt libwinpthread.a calls KERNEL32!GetTickCount64, which came
// with Vista, in the timed waits that std::condition_variable reaches; as an
// import it keeps the program from loading on Windows XP. The library calls
// through the import's address slot, __imp_GetTickCount64, so the program
// defines that slot itself: linked in as an object, it is found before the
// import library, and the import is never made.
// clang-format off
#include "platform/win32/xp/TickCount.h"
#include <windows.h>
// clang-format on

#include <atomic>

namespace {
using TGetTickCount64 = ULONGLONG(WINAPI*)();

// Constant-initialised: no guard that could itself wait on a timed lock.
std::atomic<bool> lookedUp{false};
std::atomic<TGetTickCount64> systemCall{nullptr};
std::atomic_flag widening = ATOMIC_FLAG_INIT;
TTickWidener widener;
}  // namespace

std::uint64_t TTickWidener::Widen(std::uint32_t ticks) noexcept {
  if (ticks < last_) wraps_ += std::uint64_t{1} << 32;
  last_ = ticks;
  return wraps_ + ticks;
}

std::uint64_t __stdcall TickCount64() noexcept {
  if (!lookedUp.load(std::memory_order_acquire)) {
    // Two threads may both look it up; they find the same.
    FARPROC found = nullptr;
    if (const HMODULE kernel = ::GetModuleHandleA("kernel32.dll"))
      found = ::GetProcAddress(kernel, "GetTickCount64");
    systemCall.store(reinterpret_cast<TGetTickCount64>(reinterpret_cast<void*>(found)),
                     std::memory_order_relaxed);
    lookedUp.store(true, std::memory_order_release);
  }
  if (const TGetTickCount64 call = systemCall.load(std::memory_order_relaxed)) return call();
  // Read under the lock, so the widener sees the ticks in the order they were read.
  while (widening.test_and_set(std::memory_order_acquire)) ::Sleep(0);
  const std::uint64_t ticks = widener.Widen(::GetTickCount());
  widening.clear(std::memory_order_release);
  return ticks;
}

// The import slot, under the name the compiler gives it for each width.
#if defined(_WIN64)
extern "C" TGetTickCount64 websetupGetTickCount64Slot __asm__("__imp_GetTickCount64");
#else
extern "C" TGetTickCount64 websetupGetTickCount64Slot __asm__("__imp__GetTickCount64@0");
#endif
TGetTickCount64 websetupGetTickCount64Slot = TickCount64;
