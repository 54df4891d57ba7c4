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

TEST(EditOps, RepeatedPointerPositionsAreNoLoopAndALoopThroughTheImageCornerAddsOnlyItsInside) {
  Slice sl;
  morvex::SliceEdit s = sl.edit();
  const std::vector<morvex::ImagePoint> open = {{5, 5}, {5, 5}, {10, 5}, {10, 5}, {15, 9}};
  EXPECT_FALSE(morvex::refineSlice(s, open, 1)) << "an open line in empty tissue changes nothing";
  EXPECT_FALSE(morvex::refineSlice(s, open, 2));
  EXPECT_EQ(sl.count(0), Slice::N * Slice::N);
  const std::vector<morvex::ImagePoint> loop = {{0, 0}, {8, 0}, {8, 8}, {0, 8}, {0, 0}, {1, 0}};
  ASSERT_TRUE(morvex::refineSlice(s, loop, 1));
  EXPECT_EQ(sl.labels[4 * Slice::N + 4], 1);
  EXPECT_EQ(sl.labels[20 * Slice::N + 20], 0) << "the rest of the slice stays outside";
  EXPECT_LT(sl.count(1), 100);
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

TEST(EditOps, ATailOfAnAddLoopReachingIntoTheObjectsHoleIsTrimmed) {
  Slice sl;
  // a liver ring (15..27 x 5..17) around an unlabelled hole (18..24 x 8..14)
  for (int y = 5; y <= 17; ++y)
    for (int x = 15; x <= 27; ++x) sl.labels[y * Slice::N + x] = (x >= 18 && x <= 24 && y >= 8 && y <= 14) ? 0 : 1;
  morvex::SliceEdit s = sl.edit();
  // a loop in empty tissue closed at (8, 8), its tail running on through the ring into the hole
  ASSERT_TRUE(morvex::refineSlice(s, {{8, 4}, {8, 12}, {2, 12}, {2, 8}, {21, 8}}, 1));
  EXPECT_EQ(sl.labels[10 * Slice::N + 5], 1) << "inside the loop";
  EXPECT_EQ(sl.labels[8 * Slice::N + 11], 1) << "the line between the loop and the ring";
  for (int x = 18; x <= 20; ++x) EXPECT_EQ(sl.labels[8 * Slice::N + x], 0) << "tail pixel in the hole at x " << x;
}

TEST(EditOps, EraserVesselSidesLayerMovesAndDeleteOfAllLabels) {
  Slice sl;
  constexpr int N = Slice::N;
  // eraser: label and selection go under the stroke inside the ROI, nowhere else
  std::vector<uint8_t> stroke(N * N, 0);
  for (int x = 0; x < N; ++x) {
    stroke[2 * N + x] = 1;
    sl.labels[2 * N + x] = 3;
    sl.selection[2 * N + x] = 255;
  }
  sl.selection[3 * N + 5] = 255;
  morvex::SliceEdit s = sl.edit();
  s.roi = {true, 0, 0, 19, N - 1};
  morvex::eraseStroke(s, stroke.data());
  EXPECT_EQ(sl.labels[2 * N + 10], 0);
  EXPECT_EQ(sl.selection[2 * N + 10], 0) << "the eraser clears the selection itself";
  EXPECT_EQ(sl.labels[2 * N + 25], 3) << "outside the ROI";
  EXPECT_EQ(sl.selection[2 * N + 25], 255);
  EXPECT_EQ(sl.selection[3 * N + 5], 255) << "off the stroke";

  // selection to vessel: each liver side to its own vessel, other labels and partial selections kept
  std::fill(sl.labels.begin(), sl.labels.end(), 0);
  std::fill(sl.selection.begin(), sl.selection.end(), 0);
  const uint8_t before[] = {1, 4, 5, 3, 0, 4};
  const uint8_t chosen[] = {255, 255, 255, 255, 255, 1};
  std::copy(before, before + 6, sl.labels.begin());
  std::copy(chosen, chosen + 6, sl.selection.begin());
  morvex::selectionToVessel(s);
  EXPECT_EQ(std::vector<uint8_t>(sl.labels.begin(), sl.labels.begin() + 6), (std::vector<uint8_t>{2, 6, 7, 3, 0, 4}));
  EXPECT_EQ(std::vector<uint8_t>(sl.selection.begin(), sl.selection.begin() + 6),
            (std::vector<uint8_t>{0, 0, 0, 255, 255, 1}));

  // a cancer object (label 3) moved to the vessel layer, then to the selection; the other stays
  std::fill(sl.labels.begin(), sl.labels.end(), 0);
  std::fill(sl.selection.begin(), sl.selection.end(), 0);
  s.roi = {};
  for (int y = 10; y <= 12; ++y)
    for (int x : {5, 6, 20}) sl.labels[y * N + x] = 3;
  morvex::moveObjectToLayer(s, {5, 11}, 2);
  EXPECT_EQ(sl.count(2), 6);
  EXPECT_EQ(sl.count(3), 3) << "the unconnected cancer stays";
  morvex::moveObjectToLayer(s, {20, 10}, morvex::kSelectionLabel);
  EXPECT_EQ(sl.count(3), 0);
  EXPECT_EQ(sl.selection[11 * N + 20], 255);

  // Delete with "all labels" (9999): every selected pixel goes, whatever its label
  sl.selection[11 * N + 5] = 255;
  s.currentLabel = 9999;
  morvex::deleteSelectedOrLayer(s);
  EXPECT_EQ(sl.labels[11 * N + 5], 0);
  EXPECT_EQ(sl.count(2), 5);
  EXPECT_EQ(std::count(sl.selection.begin(), sl.selection.end(), 255), 0);
}
