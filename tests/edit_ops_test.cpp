// Editing operations on small slices without a widget: strokes touching the image corner,
// repeated pointer positions, the selection tool's window on negative CT values, and the
// body mask and series TIFF on inputs the widget tests do not reach.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <filesystem>

#include "export/mask_writer.h"
#include "segmentation/mask_utils.h"
#include "tests/testing_support.h"
#include "view/edit_ops.h"

namespace {

struct Slice {
  static constexpr int N = 30;
  std::vector<uint8_t> labels = std::vector<uint8_t>(N * N, 0), selection = std::vector<uint8_t>(N * N, 0);
  std::vector<int16_t> hu = std::vector<int16_t>(N * N, 60);
  morvex::LabelTable table = morvex::defaultLabelTable();
  morvex::SliceEdit edit() {
    morvex::SliceEdit s;
    s.labels = labels.data();
    s.selection = selection.data();
    s.intensities = hu.data();
    s.width = s.height = N;
    s.table = &table;
    s.currentLabel = 1;
    return s;
  }
  long count(uint8_t v) const { return static_cast<long>(std::count(labels.begin(), labels.end(), v)); }
};

}  // namespace

TEST(EditOps, ALoopThroughTheImageCornerAddsOnlyItsInside) {
  Slice sl;
  morvex::SliceEdit s = sl.edit();
  const std::vector<morvex::ImagePoint> loop = {{0, 0}, {8, 0}, {8, 8}, {0, 8}, {0, 0}, {1, 0}};
  ASSERT_TRUE(morvex::refineSlice(s, loop, 1));
  EXPECT_EQ(sl.labels[4 * Slice::N + 4], 1);
  EXPECT_EQ(sl.labels[20 * Slice::N + 20], 0) << "the rest of the slice stays outside";
  EXPECT_LT(sl.count(1), 100);
}

TEST(EditOps, RepeatedPointerPositionsAreNoLoop) {
  Slice sl;
  morvex::SliceEdit s = sl.edit();
  const std::vector<morvex::ImagePoint> open = {{5, 5}, {5, 5}, {10, 5}, {10, 5}, {15, 9}};
  EXPECT_FALSE(morvex::refineSlice(s, open, 1)) << "an open line in empty tissue changes nothing";
  EXPECT_EQ(sl.count(0), Slice::N * Slice::N);
  EXPECT_FALSE(morvex::refineSlice(s, open, 2));
}

TEST(EditOps, SelectionWindowCentresOnNegativeIntensitiesToo) {
  Slice sl;
  for (int i = 0; i < Slice::N * Slice::N; ++i) sl.hu[i] = static_cast<int16_t>(i % Slice::N < 15 ? -100 : 40);
  morvex::SliceEdit s = sl.edit();  // a label chosen, an unlabelled seed in fat
  ASSERT_TRUE(morvex::growRegion(s, {3, 3}, 1, false));
  EXPECT_EQ(sl.count(1), 15 * Slice::N) << "the fat (-100) around the click, nothing else";
}

TEST(EditOps, BodyMaskOfANarrowImageUsesTheSeedsInside) {
  std::vector<int16_t> img(12 * 12, -1000);
  for (int y = 3; y <= 8; ++y)
    for (int x = 3; x <= 8; ++x) img[y * 12 + x] = 40;
  const std::vector<int16_t> mask = morvex::extractBodyMask(img.data(), 12, 12);
  EXPECT_EQ(std::count(mask.begin(), mask.end(), 255), 36) << "just the tissue block";
}

TEST(EditOps, SeriesTiffOfASeriesWithoutPixelsIsNotWritten) {
  morvex::testing::TempDir dir;
  morvex::Study study;
  EXPECT_FALSE(morvex::writeSeriesTiff(dir.file("none.tiff"), study, 0));
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.tiff")));
}

TEST(EditOps, ACutLoopInEmptyTissueRemovesWhatItEnclosesAndCommitsNothingElse) {
  Slice sl;
  // a liver piece inside the loop (current label), a selection far away from it
  for (int y = 6; y <= 9; ++y)
    for (int x = 6; x <= 9; ++x) sl.labels[y * Slice::N + x] = 1;
  sl.selection[25 * Slice::N + 25] = 255;
  sl.selection[8 * Slice::N + 12] = 255;  // a selected pixel enclosed by the loop
  morvex::SliceEdit s = sl.edit();
  const std::vector<morvex::ImagePoint> loop = {{3, 3}, {15, 3}, {15, 15}, {3, 15}, {3, 3}, {4, 3}};
  ASSERT_TRUE(morvex::refineSlice(s, loop, 2));
  EXPECT_EQ(sl.count(1), 0) << "the enclosed liver goes";
  EXPECT_EQ(sl.selection[8 * Slice::N + 12], 0) << "the enclosed selection goes";
  EXPECT_EQ(sl.selection[25 * Slice::N + 25], 255) << "the selection outside the loop stays a selection";
  EXPECT_EQ(sl.labels[25 * Slice::N + 25], 0) << "and is not committed to the liver";
}

TEST(BrushRaster, DotsAndBandsAreExactlyThePenWidthAndSymmetricForEveryWidth) {
  constexpr int N = 40;
  for (int pen = 1; pen <= 8; ++pen) {
    SCOPED_TRACE("pen " + std::to_string(pen));
    const std::vector<uint8_t> dot = morvex::rasteriseBrush({{20, 20}}, N, N, pen);
    int minX = N, maxX = -1, minY = N, maxY = -1;
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        if (!dot[y * N + x]) continue;
        minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
        // symmetric about the pixel centre (odd) or the top-left corner (even) of the stroke point
        const int mx = pen % 2 ? 40 - x : 39 - x, my = pen % 2 ? 40 - y : 39 - y;
        EXPECT_TRUE(dot[my * N + mx]) << "mirror of (" << x << ", " << y << ")";
        EXPECT_TRUE(dot[x * N + y]) << "transpose of (" << x << ", " << y << ")";
      }
    EXPECT_EQ(maxX - minX + 1, pen);
    EXPECT_EQ(maxY - minY + 1, pen);
    EXPECT_EQ(minX, 20 - pen / 2) << "the dot lies where the cursor circle is drawn";
    const std::vector<uint8_t> band = morvex::rasteriseBrush({{5, 20}, {34, 20}}, N, N, pen);
    for (int x : {10, 20, 30}) {
      int rows = 0, first = -1;
      for (int y = 0; y < N; ++y)
        if (band[y * N + x]) rows += 1, first = first < 0 ? y : first;
      EXPECT_EQ(rows, pen) << "band height at x = " << x;
      EXPECT_EQ(first, 20 - pen / 2);
    }
  }
  // a dot at the image corner is clipped, never written outside
  const std::vector<uint8_t> corner = morvex::rasteriseBrush({{0, 0}}, 3, 3, 5);
  EXPECT_EQ(std::count(corner.begin(), corner.end(), 1), 8) << "the quarter disc of radius 2.5 about pixel (0, 0)";
  EXPECT_EQ(morvex::rasteriseBrush({{1, 1}}, 0, 5, 3).size(), 0u);
}
