// Liver histogram analysis: the bounds of the three options, the liver areas, the selection of a
// frame, and the plan of the liver histogram from the quartiles.

#include <gtest/gtest.h>

#include <vector>

#include "analysis/area_statistics.h"
#include "analysis/histogram_range.h"

TEST(HistogramRange, OptionBoundsAndLiverAreas) {
  // "< low" excludes low, ">high" excludes high, "low~high" includes both; no option selects nothing
  EXPECT_TRUE(morvex::satisfiesOption(99, 100, 200, 1));
  EXPECT_FALSE(morvex::satisfiesOption(100, 100, 200, 1));
  EXPECT_TRUE(morvex::satisfiesOption(201, 100, 200, 3));
  EXPECT_FALSE(morvex::satisfiesOption(200, 100, 200, 3));
  for (int v : {100, 150, 200}) EXPECT_TRUE(morvex::satisfiesOption(v, 100, 200, 2)) << v;
  for (int v : {99, 201}) EXPECT_FALSE(morvex::satisfiesOption(v, 100, 200, 2)) << v;
  for (int option : {-1, 0, 4})
    for (int v : {-5000, 99, 150, 201}) EXPECT_FALSE(morvex::satisfiesOption(v, 100, 200, option));

  const bool whole[8] = {false, true, false, false, true, true, false, false};
  for (int label = 0; label < 8; ++label) {
    EXPECT_EQ(morvex::inLiverArea(static_cast<uint8_t>(label), 1), whole[label]) << label;
    EXPECT_EQ(morvex::inLiverArea(static_cast<uint8_t>(label), 2), label == 5) << label;
    EXPECT_EQ(morvex::inLiverArea(static_cast<uint8_t>(label), 3), label == 4) << label;
    EXPECT_FALSE(morvex::inLiverArea(static_cast<uint8_t>(label), -1));
  }
  EXPECT_EQ(morvex::liverEntryOfArea(1), 1);
  EXPECT_EQ(morvex::liverEntryOfArea(2), 5);
  EXPECT_EQ(morvex::liverEntryOfArea(3), 4);
}

TEST(HistogramRange, SelectionRewritesTheWholeFrame) {
  const std::vector<int16_t> hu = {99, 100, 150, 200, 201, 150, 150, 150};
  const std::vector<uint8_t> labels = {1, 1, 1, 1, 1, 5, 2, 0};
  std::vector<uint8_t> sel(8, 255);  // an old selection everywhere
  morvex::selectHistogramRange(hu.data(), labels.data(), sel.data(), 8, 100, 200, 1, 2);
  EXPECT_EQ(sel, (std::vector<uint8_t>{0, 255, 255, 255, 0, 255, 0, 0})) << "vessel and background never selected";
  morvex::selectHistogramRange(hu.data(), labels.data(), sel.data(), 8, 100, 200, 2, 2);
  EXPECT_EQ(sel, (std::vector<uint8_t>{0, 0, 0, 0, 0, 255, 0, 0})) << "right lobe: label 5 only";
  morvex::selectHistogramRange(hu.data(), labels.data(), sel.data(), 8, 100, 200, 1, -1);
  EXPECT_EQ(sel, std::vector<uint8_t>(8, 0)) << "no option only clears";
}

TEST(HistogramRange, PlanFromTheQuartilesAndNoneWithoutLiver) {
  // liver (label 1): 70, 80, 100, 130, 130 -> Q1 80 (rank 1), median 100 (rank 2), Q3 130 (rank 3)
  const int16_t hu[] = {70, 80, 100, 130, 130, -20, 40, 300};
  const uint8_t labels[] = {1, 1, 1, 1, 1, 0, 5, 5};
  morvex::AreaStatistics st(7);
  st.computeSlice(hu, labels, 4, 2, false);
  morvex::LiverHistogramPlan plan = morvex::planLiverHistogram(st, 1);
  ASSERT_TRUE(plan.hasLiver && plan.show);
  EXPECT_EQ(plan.entry, 1);
  EXPECT_EQ(plan.autoLow, 60);
  EXPECT_EQ(plan.autoHigh, 150);
  EXPECT_EQ((std::vector<int>(plan.markers, plan.markers + 3)), (std::vector<int>{80, 100, 130}));
  EXPECT_FLOAT_EQ(plan.min, 70);
  EXPECT_FLOAT_EQ(plan.max, 130);
  EXPECT_FLOAT_EQ(plan.average, 102);
  EXPECT_EQ(plan.pixelCnt, 5);

  plan = morvex::planLiverHistogram(st, 2);  // right lobe: 40 and 300
  ASSERT_TRUE(plan.show);
  EXPECT_EQ(plan.entry, 5);
  EXPECT_EQ(plan.pixelCnt, 2);
  EXPECT_FLOAT_EQ(plan.max, 300);
  plan = morvex::planLiverHistogram(st, 3);  // left lobe: no pixel, nothing to show
  EXPECT_TRUE(plan.hasLiver);
  EXPECT_FALSE(plan.show);

  int low = 0, high = 0;
  morvex::liverAutoRange(-80.5f, -60.0f, -40.0f, low, high);  // d = trunc(20.5) = 20
  EXPECT_EQ(low, -100);
  EXPECT_EQ(high, -20);

  const uint8_t noLiver[] = {0, 2, 3, 5, 5, 0, 0, 0};  // a right lobe without label 1 or 4 is not a liver yet
  st.computeSlice(hu, noLiver, 4, 2, false);
  plan = morvex::planLiverHistogram(st, 2);
  EXPECT_FALSE(plan.hasLiver);
  EXPECT_FALSE(plan.show);
  EXPECT_FALSE(morvex::planLiverHistogram(morvex::AreaStatistics(7), 1).hasLiver) << "never computed";
}
