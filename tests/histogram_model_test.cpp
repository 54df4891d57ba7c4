// The histogram widget's rules without a widget: bins, handles and their push rules, presets'
// building blocks, the automatic range and the dominant-cluster search.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "analysis/histogram_model.h"
#include "study/study.h"
#include "tests/testing_support.h"

using morvex::HistogramModel;

namespace {
HistogramModel withRange(int lo, int hi) {
  std::vector<int16_t> img = {static_cast<int16_t>(lo), static_cast<int16_t>(hi)};
  HistogramModel m;
  EXPECT_TRUE(m.computeHistogram(img.data(), 2, 1));
  return m;
}
}  // namespace

TEST(HistogramModel, BinsOfAFullCtRangeAreClippedAt2500) {
  std::vector<int16_t> img(200 * 200, 40);  // 40 000 pixels in one bin
  img[0] = -1024;
  img[1] = 3071;
  HistogramModel m;
  ASSERT_TRUE(m.computeHistogram(img.data(), 200, 200));
  ASSERT_EQ(m.bins().size(), 4096u);
  EXPECT_EQ(m.countScale(), 2500);
  EXPECT_EQ(m.bins()[40 + 1024], 2500) << "drawn at full height";
  EXPECT_EQ(m.bins()[0], 1);
  EXPECT_FLOAT_EQ(m.lowValue(), -1024);
  EXPECT_FLOAT_EQ(m.highValue(), 3071);
  EXPECT_FLOAT_EQ(m.lowX(), HistogramModel::kLeft);
  EXPECT_FLOAT_EQ(m.highX(), HistogramModel::kLeft + HistogramModel::kTrackWidth);
  EXPECT_FALSE(m.computeHistogram(img.data(), 0, 0)) << "an empty slice is refused";
  EXPECT_EQ(m.bins().size(), 4096u);
}

TEST(HistogramModel, LevelWidthPairsAndPushRules) {
  HistogramModel m = withRange(-1024, 3071);
  m.inputMode = 0;
  ASSERT_TRUE(m.setValues(40, 400));
  EXPECT_FLOAT_EQ(m.lowValue(), -160);
  EXPECT_FLOAT_EQ(m.highValue(), 240);
  EXPECT_FLOAT_EQ(m.lowX(), m.xOf(-160));
  m.setLow(500);  // past the upper handle: it is pushed to 501
  EXPECT_FLOAT_EQ(m.highValue(), 501);
  EXPECT_FLOAT_EQ(m.highX(), m.xOf(501));
  m.setHigh(-600);  // below the lower handle: it is pushed to -601
  EXPECT_FLOAT_EQ(m.lowValue(), -601);
  const float x = m.highX();
  m.setHigh(-2000);  // outside the accepted side: the value is taken, the position is not
  EXPECT_FLOAT_EQ(m.highValue(), -2000);
  EXPECT_FLOAT_EQ(m.highX(), x);
  m.inputMode = 1;
  m.setValues(-50, 70);
  EXPECT_FLOAT_EQ(m.lowValue(), -50);
  EXPECT_FLOAT_EQ(m.highValue(), 70);
  HistogramModel empty;
  EXPECT_FALSE(empty.setValues(1, 2)) << "nothing happens without bins";
}

TEST(HistogramModel, CountTableWithOneBinAndMarkers) {
  const int table[] = {5, 9, 2};
  HistogramModel m;
  ASSERT_TRUE(m.setHistogram(table, 3, 100, 101, 101));
  ASSERT_EQ(m.bins().size(), 1u);
  EXPECT_EQ(m.bins()[0], 9);
  EXPECT_EQ(m.countScale(), 9);
  ASSERT_TRUE(m.setHistogram(table, 3, 100, 98, 104));
  EXPECT_EQ(m.bins(), (std::vector<int>{0, 0, 5, 9, 2, 0, 0})) << "outside the table counts 0";
  EXPECT_FLOAT_EQ(m.rangeMin(), 98);
  const int markers[] = {99, 101};
  m.setMarkers(markers, 2);
  EXPECT_EQ(m.markers().size(), 2u);
  m.reset();
  EXPECT_FALSE(m.hasBins());
}

TEST(HistogramModel, PressGrabsTheNearestSideAndDraggingSetsCustom) {
  HistogramModel m = withRange(0, 220);
  m.inputMode = 1;
  m.setValues(50, 150);  // handles at x 65 and 165
  m.press(20, 80, 100);  // left of the lower handle
  EXPECT_EQ(m.dragHandle(), 0);
  ASSERT_TRUE(m.move(200, 80, 100));  // dragged past the upper handle
  EXPECT_FLOAT_EQ(m.lowValue(), 185);
  EXPECT_FLOAT_EQ(m.highValue(), 186) << "the upper handle is pushed";
  EXPECT_EQ(m.preset, 4);
  m.release();
  m.setValues(50, 150);
  m.press(230, 80, 100);  // right of the upper handle
  EXPECT_EQ(m.dragHandle(), 1);
  m.release();
  m.press(115, 80, 100);  // between the handles: nothing grabbed
  EXPECT_EQ(m.dragHandle(), -1);
  EXPECT_FALSE(m.move(300, 80, 100)) << "outside the track band";

  // a CT range: the dragged position maps onto -1024..3071, not onto 0..4095
  HistogramModel ct = withRange(-1024, 3071);
  ct.inputMode = 1;
  ct.setValues(-500, 1000);
  ct.press(20, 80, 100);
  ASSERT_TRUE(ct.move(HistogramModel::kLeft + 44, 80, 100));
  EXPECT_FLOAT_EQ(ct.lowValue(), -205) << "4095 x 44 / 220 above -1024";
  EXPECT_FLOAT_EQ(ct.lowX(), HistogramModel::kLeft + 44);
  ct.release();
  ct.press(200, 80, 100);
  ASSERT_TRUE(ct.move(HistogramModel::kLeft + 110, 80, 100));
  EXPECT_FLOAT_EQ(ct.highValue(), 1023);
  EXPECT_FLOAT_EQ(ct.lowValue(), -205);
}

TEST(DominantRange, LargestClusterWithMarginsAndFallbacks) {
  std::vector<int16_t> img(100 * 100, 0);
  for (int i = 0; i < 3000; ++i) img[i] = static_cast<int16_t>(-900 + i % 3);    // small cluster
  for (int i = 3000; i < 9000; ++i) img[i] = static_cast<int16_t>(40 + i % 20);  // dominant cluster
  for (int i = 9000; i < 10000; ++i) img[i] = 500;
  int low = 0, high = 0;
  morvex::findDominantRange(img.data(), nullptr, 100, 100, &low, &high);
  EXPECT_EQ(low, -60) << "100 steps below the cluster's first bin";
  EXPECT_EQ(high, 40 + 19 + 100) << "the 100th empty bin after its last bin";
  std::vector<int16_t> sparse(50 * 50, 7);
  for (int i = 0; i < 2500; ++i) sparse[i] = static_cast<int16_t>(i);  // no bin reaches 100 pixels
  morvex::findDominantRange(sparse.data(), nullptr, 50, 50, &low, &high);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 0);
  const std::vector<int16_t> none(16, 0);
  morvex::findDominantRange(none.data(), none.data(), 4, 4, &low, &high);
  EXPECT_EQ(low, 0) << "nothing counted";
}

// (the same rule on the synthetic series: viewing_test's window of a file without window tags)
TEST(AutoRange, CraftedBodyLungAndTheFallbackWindow) {
  HistogramModel m;
  // A crafted body of soft tissue 40..59 (over 100 pixels a value) in air, a thin fat row at -100
  // and one bone pixel: the window is the cluster's with 100 steps of margin each side, not the fallback.
  std::vector<int16_t> body(64 * 64, -1000);
  for (int y = 7; y < 57; ++y)
    for (int x = 7; x < 57; ++x) body[y * 64 + x] = static_cast<int16_t>(y == 7 ? -100 : 40 + (x + y) % 20);
  body[30 * 64 + 30] = 1000;
  ASSERT_TRUE(m.computeHistogram(body.data(), 64, 64));
  ASSERT_TRUE(m.setAutoRange(body.data(), 64, 64));
  EXPECT_FLOAT_EQ(m.lowValue(), -60);
  EXPECT_FLOAT_EQ(m.highValue(), 159);

  // Only air and lung-like tissue in the body: the dominant cluster starts below -499.
  std::vector<int16_t> lung(256 * 256, -1000);
  for (int y = 40; y < 216; ++y)
    for (int x = 40; x < 216; ++x) lung[y * 256 + x] = static_cast<int16_t>(-850 + (x + y) % 40);
  ASSERT_TRUE(m.computeHistogram(lung.data(), 256, 256));
  ASSERT_TRUE(m.setAutoRange(lung.data(), 256, 256));
  EXPECT_FLOAT_EQ(m.lowValue(), -200);
  EXPECT_FLOAT_EQ(m.highValue(), 240);
}

TEST(AutoRange, RealSliceWithPaddingOutsideTheScanField) {
  MORVEX_REQUIRE_SHARED_DATA();
  morvex::Study study;
  const int f = study.addFrameFromFile(morvex::testing::sharedFile("ct-3slice/01.dcm").c_str());
  ASSERT_EQ(f, 0);
  HistogramModel m;
  ASSERT_TRUE(m.computeHistogram(study.intensities(f), 512, 512));
  EXPECT_FLOAT_EQ(m.rangeMin(), -3024) << "padding outside the scan field";
  ASSERT_TRUE(m.setAutoRange(study.intensities(f), 512, 512));
  EXPECT_GT(m.lowValue(), -500) << "the padding does not drag the window down";
  EXPECT_LT(m.lowValue(), 0);
  EXPECT_GT(m.highValue(), 100);
  EXPECT_LT(m.highValue(), 600);
}

TEST(HistogramModel, UniformSliceKeepsFiniteHandlesAndOnePixelIsRefused) {
  const std::vector<int16_t> flat(64, 40);
  HistogramModel m;
  ASSERT_TRUE(m.computeHistogram(flat.data(), 8, 8));
  EXPECT_EQ(m.bins().size(), 1u);
  for (const auto& values : {std::pair{40, 40}, std::pair{40, 400}, std::pair{-1000, 3000}}) {
    m.setValues(values.first, values.second);
    for (float x : {m.lowX(), m.highX()}) {
      EXPECT_TRUE(std::isfinite(x));
      EXPECT_GE(x, HistogramModel::kLeft);
      EXPECT_LE(x, HistogramModel::kLeft + HistogramModel::kTrackWidth);
    }
  }
  EXPECT_EQ(m.xOf(40), HistogramModel::kLeft);
  EXPECT_EQ(m.xOf(41), HistogramModel::kLeft + HistogramModel::kTrackWidth);
  EXPECT_TRUE(m.move(100, 80, 100)) << "a drag on a one-value range stays on that value";
  EXPECT_TRUE(std::isfinite(m.lowX()) && std::isfinite(m.highX()));

  // a range of two values moves the upper handle's value to its end but keeps its old x; three move both
  HistogramModel two = withRange(0, 220);
  two.inputMode = 1;
  two.setValues(50, 150);
  const std::vector<int16_t> pair = {5, 6}, three = {5, 7};
  ASSERT_TRUE(two.computeHistogram(pair.data(), 2, 1));
  EXPECT_FLOAT_EQ(two.highValue(), 6);
  EXPECT_FLOAT_EQ(two.highX(), HistogramModel::kLeft + 150);
  EXPECT_FLOAT_EQ(two.lowX(), HistogramModel::kLeft);
  ASSERT_TRUE(two.computeHistogram(three.data(), 2, 1));
  EXPECT_FLOAT_EQ(two.highX(), HistogramModel::kLeft + HistogramModel::kTrackWidth);

  HistogramModel one;
  const int16_t pixel = 5;
  EXPECT_FALSE(one.computeHistogram(&pixel, 1, 1)) << "a slice of one pixel has no meaningful bins";
  EXPECT_FALSE(one.hasBins());
}
