// Coronal and sagittal planes on a crafted non-square series (7 x 4 pixels, 0.5 mm rows, 0.8 mm
// columns, 3 mm thick slices 2 mm apart, listed feet first): where a voxel lands in each plane,
// the planes' proportions and pictures, and edits made in a plane written back across frames
// with one undo step.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "analysis/area_statistics.h"
#include "tests/testing_support.h"
#include "view/plane_reformat.h"
#include "workspace/undo_history.h"

namespace {

using morvex::PlaneAxis;

constexpr int kW = 7, kH = 4, kFrames = 5;

struct Series {
  morvex::Study study;
  morvex::LabelTable table = morvex::defaultLabelTable();
  // positions: frame k at z = 2k (feet first, so the stack lists the frames from the last one)
  explicit Series(bool positions = true) {
    for (int k = 0; k < kFrames; ++k) {
      morvex::SliceHeader h;
      h.patientName = "P";
      h.seriesDate = "20200101";
      h.instanceNumber = k + 1;
      h.pixelSpacing = 0.5f;
      h.pixelSpacingRow = 0.5;
      h.pixelSpacingColumn = 0.8;
      h.sliceThickness = 3.0f;
      h.hasPosition = positions;
      h.imagePosition[2] = 2.0 * k;
      const double orientation[6] = {1, 0, 0, 0, 1, 0};
      std::copy(orientation, orientation + 6, h.imageOrientation);
      const int f = morvex::testing::addFrame(study, h, kW, kH);
      int16_t* v = study.intensitiesForEdit(f);
      for (int p = 0; p < kW * kH; ++p) v[p] = static_cast<int16_t>(100 * k + p);  // every voxel its own value
    }
  }
  std::vector<std::vector<uint8_t>> labels() const { return morvex::testing::allLabels(study); }
};

TEST(PlaneReformat, StackOrderSpacingAndSizesFromPositionsOrThickness) {
  Series s;
  // a slice of another size in the same series stays out of the planes
  morvex::SliceHeader odd = s.study.frame(0)->header;
  odd.instanceNumber = 9;
  morvex::testing::addFrame(s.study, odd, kH, kW);
  const morvex::PlaneStack st = morvex::collectPlaneStack(s.study, 2);
  EXPECT_EQ(st.frames, (std::vector<int>{4, 3, 2, 1, 0})) << "the head (largest z) on top";
  EXPECT_DOUBLE_EQ(st.sliceSpacing, 2.0) << "from the positions, not the 3 mm thickness";
  const morvex::PlaneSize coronal = morvex::planeSize(st, PlaneAxis::Coronal);
  const morvex::PlaneSize sagittal = morvex::planeSize(st, PlaneAxis::Sagittal);
  EXPECT_EQ(coronal.width, kW);
  EXPECT_EQ(coronal.height, kFrames);
  EXPECT_DOUBLE_EQ(coronal.rowScale, 2.0 / 0.8);
  EXPECT_EQ(sagittal.width, kH);
  EXPECT_DOUBLE_EQ(sagittal.rowScale, 2.0 / 0.5);
  EXPECT_EQ(morvex::planeCount(st, PlaneAxis::Coronal), kH);
  EXPECT_EQ(morvex::planeCount(st, PlaneAxis::Sagittal), kW);

  Series flat(false);
  const morvex::PlaneStack byThickness = morvex::collectPlaneStack(flat.study, 0);
  EXPECT_EQ(byThickness.frames, (std::vector<int>{0, 1, 2, 3, 4})) << "without positions the frame order stays";
  EXPECT_DOUBLE_EQ(byThickness.sliceSpacing, 3.0);
}

TEST(PlaneReformat, AVoxelLandsWhereEachPlaneShowsItInTheAxialColours) {
  Series s;
  const morvex::PlaneStack st = morvex::collectPlaneStack(s.study, 0);
  const int x = 5, y = 1, frame = 1, row = st.rowOf(frame);
  ASSERT_EQ(row, 3);
  s.study.labelImage(frame)[y * kW + x] = 1;
  morvex::OverlaySettings overlay;
  overlay.labels = &s.table;
  overlay.currentLabel = 1;
  struct Case { PlaneAxis axis; int index, u, v; };
  std::vector<uint32_t> axial(kW * kH);
  ASSERT_TRUE(morvex::renderPlane(s.study, st, PlaneAxis::Axial, row, 0, 600, false, overlay, axial.data()));
  for (const Case& c : {Case{PlaneAxis::Coronal, y, x, row}, Case{PlaneAxis::Sagittal, x, y, row}}) {
    SCOPED_TRACE(c.axis == PlaneAxis::Coronal ? "coronal" : "sagittal");
    const morvex::PlaneSize size = morvex::planeSize(st, c.axis);
    const std::size_t n = static_cast<std::size_t>(size.width) * size.height;
    std::vector<int16_t> values(n);
    std::vector<uint8_t> labels(n);
    ASSERT_TRUE(morvex::samplePlane(s.study, st, c.axis, c.index, values.data(), labels.data(), nullptr));
    const std::size_t at = static_cast<std::size_t>(c.v) * size.width + c.u;
    EXPECT_EQ(std::count(labels.begin(), labels.end(), 1), 1);
    EXPECT_EQ(labels[at], 1);
    EXPECT_EQ(values[at], 100 * frame + y * kW + x);
    // the top row is the head-most frame, each row one frame
    EXPECT_EQ(values[0], 100 * 4 + (c.axis == PlaneAxis::Coronal ? y * kW : x));
    const morvex::VoxelPoint p = morvex::planeToVoxel(c.axis, c.index, c.u, c.v);
    EXPECT_EQ(std::make_tuple(p.x, p.y, p.row), std::make_tuple(x, y, row));
    const morvex::PlanePoint back = morvex::voxelToPlane(c.axis, p);
    EXPECT_EQ(std::make_tuple(back.u, back.v, back.index), std::make_tuple(c.u, c.v, c.index));
    // the same window and label colour as the axial slice, the unlabelled neighbour grey
    std::vector<uint32_t> canvas(n);
    ASSERT_TRUE(morvex::renderPlane(s.study, st, c.axis, c.index, 0, 600, false, overlay, canvas.data()));
    EXPECT_EQ(canvas[at], axial[static_cast<std::size_t>(y) * kW + x]);
    const uint32_t grey = canvas[at - 1] & 0xff;
    EXPECT_EQ(canvas[at - 1], 0xff000000u | grey << 16 | grey << 8 | grey);
    EXPECT_FALSE(morvex::samplePlane(s.study, st, c.axis, morvex::planeCount(st, c.axis), nullptr, nullptr, nullptr));
  }
}

TEST(PlaneReformat, ScaledPenIsRoundOnTheDrawnPictureAndMatchesTheAxialPenUnscaled) {
  // rows 4 columns tall: a 3-column dot covers its own row only; a 9-column dot reaches one row up and down
  const std::vector<uint8_t> dot3 = morvex::rasteriseScaledBrush({{3, 2}}, 7, 5, 3, 4.0);
  EXPECT_EQ(std::accumulate(dot3.begin(), dot3.end(), 0), 3);
  EXPECT_EQ(dot3[2 * 7 + 2] + dot3[2 * 7 + 3] + dot3[2 * 7 + 4], 3);
  const std::vector<uint8_t> dot9 = morvex::rasteriseScaledBrush({{3, 2}}, 7, 5, 9, 4.0);
  EXPECT_TRUE(dot9[1 * 7 + 3] && dot9[3 * 7 + 3] && !dot9[0 * 7 + 3] && !dot9[1 * 7 + 0]);
  for (int pen : {1, 3, 5}) {
    const std::vector<morvex::ImagePoint> stroke = {{4, 5}, {12, 9}, {6, 14}};
    EXPECT_EQ(morvex::rasteriseScaledBrush(stroke, 20, 18, pen, 1.0), morvex::rasteriseBrush(stroke, 20, 18, pen))
        << "pen " << pen;
  }
}

// A sagittal stroke down column u = 1 of plane x = 3 with a 1-column pen writes voxel (3, 1) of
// every frame and nothing else; undo restores every frame, redo writes them again.
TEST(PlaneReformat, SagittalStrokeWritesTheCrossedFramesAndOneUndoStepRestoresThem) {
  struct Case {
    const char* name;
    int label;                // the brush's label
    uint8_t under;            // what the voxels held before
    uint8_t expected;         // what they hold after the stroke and its clean-up
    morvex::Roi roi;
  };
  morvex::Roi outside;
  outside.set = true;
  outside.x1 = 4, outside.x2 = 6, outside.y1 = 0, outside.y2 = 3;
  for (const Case& c : {Case{"liver", 1, 0, 1, {}}, Case{"vessel in liver", 2, 1, 2, {}},
                        Case{"vessel outside liver is taken back", 2, 0, 0, {}},
                        Case{"outside the ROI", 1, 0, 0, outside}}) {
    SCOPED_TRACE(c.name);
    Series s;
    for (int f = 0; f < kFrames; ++f) std::fill(s.study.labelImage(f), s.study.labelImage(f) + kW * kH, c.under);
    const auto before = s.labels();
    const morvex::PlaneStack st = morvex::collectPlaneStack(s.study, 0);
    const double rowScale = morvex::planeSize(st, PlaneAxis::Sagittal).rowScale;
    std::vector<uint64_t> revisions;
    for (int f = 0; f < kFrames; ++f) revisions.push_back(s.study.frame(f)->revision);
    // the series counted before the edit; the edit's changes bring the counts up to date
    const int series = s.study.seriesOfFrame(0);
    morvex::SeriesStatistics stats;
    morvex::AreaStatistics area(s.table.size());
    stats.compute(s.study, series, false, area);
    morvex::FrameRevisions written;
    const std::vector<morvex::VoxelChange> changes = morvex::editPlane(
        s.study, st, PlaneAxis::Sagittal, 3, c.roi, &s.table, c.label, [&](morvex::SliceEdit& e) {
          const auto mask = morvex::rasteriseScaledBrush({{1, 0}, {1, kFrames - 1}}, e.width, e.height, 1, rowScale);
          morvex::paintStroke(e, mask.data());
          return true;
        }, &written);
    const auto after = s.labels();
    for (int f = 0; f < kFrames; ++f)
      for (int p = 0; p < kW * kH; ++p)
        EXPECT_EQ(after[f][p], p == 1 * kW + 3 ? c.expected : c.under) << "frame " << f << " pixel " << p;
    const bool changed = c.expected != c.under;
    ASSERT_EQ(changes.size(), changed ? static_cast<std::size_t>(kFrames) : 0u);
    for (int f = 0; f < kFrames; ++f)
      EXPECT_EQ(s.study.frame(f)->revision > revisions[f], changed) << "only written frames count as changed";
    if (!changed) continue;

    // statistics and the readout count exactly the written voxels, without counting a frame again,
    // as a count from nothing does
    ASSERT_EQ(written.size(), static_cast<std::size_t>(kFrames));
    stats.applyChanges(s.study, changes, written);
    stats.compute(s.study, series, false, area);
    EXPECT_EQ(stats.recountedFrames(), 0);
    morvex::SeriesStatistics fresh;
    morvex::AreaStatistics full(s.table.size());
    fresh.compute(s.study, series, false, full);
    for (int e = 1; e <= s.table.size(); ++e) {
      EXPECT_EQ(area.pixelCnt(e), full.pixelCnt(e)) << e;
      EXPECT_EQ(area.average(e), full.average(e)) << e;
      EXPECT_EQ(area.max(e), full.max(e)) << e;
    }
    EXPECT_EQ(area.pixelCnt(c.expected), kFrames);
    const double voxelMl = s.study.frame(0)->header.voxelVolumeMl();
    if (c.expected == 1) {
      EXPECT_FLOAT_EQ(morvex::computeVolumeReadout(voxelMl, &area).liver, static_cast<float>(kFrames * voxelMl));
    }

    morvex::UndoHistory history;
    ASSERT_TRUE(history.pushVoxels(0, changes));
    EXPECT_EQ(history.steps(), 1);
    auto images = [&](int f) {
      return morvex::FrameImages{f, s.study.labelImage(f), s.study.selectionImage(f), std::size_t{kW * kH}};
    };
    const morvex::UndoHistory::Step* undo = history.undo();
    ASSERT_NE(undo, nullptr);
    morvex::UndoHistory::apply(*undo, false, images);
    EXPECT_EQ(s.labels(), before);
    morvex::UndoHistory::apply(*history.redo(), true, images);
    EXPECT_EQ(s.labels(), after);
  }
}

TEST(PlaneReformat, RegionGrowingInACoronalPlaneSelectsAcrossFrames) {
  Series s;
  // a bar of equal intensity through row y = 2 of frames 1..3, columns 2..4 (every other voxel
  // differs by more than the tool's +-10): the selection tool on it in coronal plane y = 2
  // selects exactly the bar, one region of that plane spread over three frames
  for (int f = 1; f <= 3; ++f)
    for (int x = 2; x <= 4; ++x) s.study.intensitiesForEdit(f)[2 * kW + x] = 1000;
  const morvex::PlaneStack st = morvex::collectPlaneStack(s.study, 0);
  const auto changes = morvex::editPlane(s.study, st, PlaneAxis::Coronal, 2, {}, &s.table, morvex::kSelectionLabel,
                                         [&](morvex::SliceEdit& e) { return morvex::growRegion(e, {3, st.rowOf(2)}, 1, false); });
  EXPECT_EQ(changes.size(), 9u);
  for (int f = 0; f < kFrames; ++f)
    for (int p = 0; p < kW * kH; ++p)
      EXPECT_EQ(s.study.selectionImage(f)[p] != 0, f >= 1 && f <= 3 && p / kW == 2 && p % kW >= 2 && p % kW <= 4);
}

}  // namespace
