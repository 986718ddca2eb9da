#pragma once
// The 64-bit tick count on every Windows from XP on.
#include <cstdint>

// GetTickCount's milliseconds wrap to 0 after 49.7 days; widened, each wrap
// seen adds 2^32. Not thread-safe by itself, and it must see a tick at least
// once per wrap.
class TTickWidener {
 public:
  std::uint64_t Widen(std::uint32_t ticks) noexcept;

 private:
  std::uint32_t last_ = 0;
  std::uint64_t wraps_ = 0;
};

// The system's GetTickCount64 where there is one (Vista on), else GetTickCount
// widened to 64 bits.
std::uint64_t __stdcall TickCount64() noexcept;
