// The 64-bit tick count that stands in for GetTickCount64 on Windows XP.
#include <gtest/gtest.h>

#include <utility>

#include "platform/win32/xp/TickCount.h"

TEST(TickCount, WideningAddsTwoToTheThirtySecondAtEachWrap) {
  TTickWidener widener;
  const std::pair<std::uint32_t, std::uint64_t> steps[] = {
      {0xFFFFFF00u, 0xFFFFFF00u},   // before the first wrap: as it is
      {0xFFFFFFFFu, 0xFFFFFFFFu},   // the last tick before it
      {0x10u, 0x100000010u},        // wrapped
      {0x10u, 0x100000010u},        // the same tick again is no wrap
      {0xFFFFFFF0u, 0x1FFFFFFF0u},  // up to the next
      {0x5u, 0x200000005u},         // the second wrap
  };
  for (const auto& [ticks, widened] : steps) EXPECT_EQ(widener.Widen(ticks), widened) << std::hex << ticks;
}
