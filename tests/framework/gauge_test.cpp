#include <gtest/gtest.h>

#include "framework/Controls.h"
#include "framework/Exception.h"
#include "tests/support/CaseName.h"
#include "tests/support/FakeWidgetSet.h"

namespace {
class Gauge : public ::testing::Test {
 protected:
  void SetUp() override { Application().SetWidgetSet(&widgets_); }
  void TearDown() override { Application().SetWidgetSet(nullptr); }
  TFakeWidgets widgets_;
  TGauge gauge_{nullptr};
};
}  // namespace

struct PercentCase {
  std::int32_t min, max, progress, percent;
};
class GaugePercent : public ::testing::TestWithParam<PercentCase> {};

TEST_P(GaugePercent, TruncatesTowardsZero) {
  TGauge g(nullptr);
  g.SetMaxValue(GetParam().max);
  g.SetMinValue(GetParam().min);
  g.SetProgress(GetParam().progress);
  EXPECT_EQ(g.PercentDone(), GetParam().percent);
}

INSTANTIATE_TEST_SUITE_P(Cases, GaugePercent,
                         ::testing::Values(PercentCase{0, 100, 77, 77}, PercentCase{0, 3000, 1025, 34},
                                           PercentCase{0, 3000, 2999, 99}, PercentCase{0, 3000, 3000, 100},
                                           PercentCase{0, 0, 0, 0}, PercentCase{5, 5, 5, 0},
                                           PercentCase{-100, 100, 0, 50}, PercentCase{-100, 100, -99, 0},
                                           // Large files must not overflow the multiplication.
                                           PercentCase{0, 2147483647, 2147483646, 99},
                                           PercentCase{0, 2147483647, 1073741824, 50}),
                         [](const auto& p) {
                           return CaseName(p.index, "From" + CaseNumber(p.param.min) + "To" +
                                                        CaseNumber(p.param.max) + "At" +
                                                        CaseNumber(p.param.progress));
                         });

TEST_F(Gauge, ProgressIsClampedIntoTheRange) {
  gauge_.SetProgress(150);
  EXPECT_EQ(gauge_.Progress(), 100);
  gauge_.SetProgress(-5);
  EXPECT_EQ(gauge_.Progress(), 0);
}

TEST_F(Gauge, RepaintsOnlyWhenThePercentageChanges) {
  gauge_.SetMaxValue(3000);
  widgets_.changes = 0;
  gauge_.SetProgress(10);  // 0% still
  EXPECT_EQ(widgets_.changes, 0);
  gauge_.SetProgress(30);  // 1%
  EXPECT_EQ(widgets_.changes, 1);
  gauge_.SetProgress(31);
  EXPECT_EQ(widgets_.changes, 1);
}

TEST_F(Gauge, LowerMaximumPullsProgressDown) {
  gauge_.SetProgress(77);
  gauge_.SetMaxValue(50);
  EXPECT_EQ(gauge_.Progress(), 50);
  EXPECT_EQ(gauge_.PercentDone(), 100);
}

TEST_F(Gauge, MaximumBelowMinimumIsRefused) {
  gauge_.SetMinValue(10);
  try {
    gauge_.SetMaxValue(5);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Value must be between 10 and 2147483647");
  }
  EXPECT_EQ(gauge_.MaxValue(), 100);
}

TEST(GaugeBar, WidthIsTruncatedAndCapped) {
  EXPECT_EQ(TGauge::BarWidth(564, 0), 0);
  EXPECT_EQ(TGauge::BarWidth(564, 50), 282);
  EXPECT_EQ(TGauge::BarWidth(564, 33), 186);
  EXPECT_EQ(TGauge::BarWidth(564, 100), 564);
  EXPECT_EQ(TGauge::BarWidth(564, 150), 564);
}
