#include "framework/Pixels.h"

#include <gtest/gtest.h>

TEST(ScalePixels, SameSizeIsUnchangedAndNothingGivesNothing) {
  const TPixels picture{3, 2, 3, {1, 2, 3, 40, 50, 60, 7, 8, 9, 255, 0, 128, 90, 91, 92, 13, 14, 15}};
  EXPECT_EQ(ScalePixels(picture, 3, 2), picture);
  EXPECT_TRUE(ScalePixels(picture, 0, 2).Bytes.empty());
  EXPECT_TRUE(ScalePixels(TPixels{0, 0, 3, {}}, 6, 4).Bytes.empty());
}

TEST(ScalePixels, OneColourStaysThatColourAtAnySize) {
  TPixels flag{40, 27, 4, {}};
  for (int i = 0; i < 40 * 27; ++i) flag.Bytes.insert(flag.Bytes.end(), {200, 30, 17, 0});
  for (const auto& [width, height] : {std::pair{60, 41}, {80, 54}, {50, 34}, {13, 9}, {1, 1}}) {
    const TPixels scaled = ScalePixels(flag, width, height);
    ASSERT_EQ(scaled.Bytes.size(), static_cast<std::size_t>(width * height * 4)) << width;
    for (std::size_t i = 0; i < scaled.Bytes.size(); i += 4) {
      ASSERT_EQ(
          (std::vector<int>{scaled.Bytes[i], scaled.Bytes[i + 1], scaled.Bytes[i + 2], scaled.Bytes[i + 3]}),
          (std::vector<int>{200, 30, 17, 0}))
          << width << " x " << height << " at " << i / 4;
    }
  }
}

// Smooth, not the nearest pixel repeated: an edge gets the shades between its
// two sides, and shrinking averages what one new pixel covers.
TEST(ScalePixels, EdgesBlendWhenEnlargedAndPixelsAverageWhenShrunk) {
  struct Case {
    TPixels from;
    int width, height;
    std::vector<std::uint8_t> want;
  };
  for (const Case& c : {
           Case{{2, 1, 1, {0, 255}}, 6, 1, {0, 0, 85, 170, 255, 255}},
           Case{{1, 2, 1, {0, 255}}, 1, 6, {0, 0, 85, 170, 255, 255}},
           Case{{2, 2, 1, {0, 255, 255, 0}}, 1, 1, {128}},
       }) {
    EXPECT_EQ(ScalePixels(c.from, c.width, c.height).Bytes, c.want) << c.width << " x " << c.height;
  }
}
