// Label surfaces without a display: a labelled ball's mesh encloses the ball's volume and is
// closed, lies where the voxels are, and an edit recomputes only the labels it touched.

#include <gtest/gtest.h>

#include <cmath>

#include "study/study.h"
#include "tests/testing_support.h"
#include "view3d/label_surfaces.h"

using morvex::view3d::LabelSurfaces;
using morvex::view3d::SliceStack;
using morvex::view3d::SurfaceOptions;

namespace {

constexpr double kPi = 3.14159265358979323846;

// An empty stack of width x height x slices with the given spacing.
SliceStack emptyStack(int width, int height, int slices, double sx, double sy, double sz, double zSign = -1) {
  SliceStack s;
  s.width = width, s.height = height;
  s.spacing[0] = sx, s.spacing[1] = sy, s.spacing[2] = sz;
  s.zSign = zSign;
  for (int k = 0; k < slices; ++k) {
    s.slices.push_back(std::make_shared<const std::vector<uint8_t>>(static_cast<size_t>(width) * height, 0));
    s.revisions.push_back(1);
  }
  return s;
}

// Sets the voxels of slice k where inside(x mm, y mm) holds to label, as an edit of that slice.
template <class Inside>
void paintSlice(SliceStack& s, int k, uint8_t label, Inside inside) {
  auto copy = std::make_shared<std::vector<uint8_t>>(*s.slices[k]);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x)
      if (inside(x * s.spacing[0], y * s.spacing[1])) (*copy)[static_cast<size_t>(y) * s.width + x] = label;
  s.slices[k] = copy;
  ++s.revisions[k];
}

// A ball of radius r mm centred at c (mm, in voxel-grid coordinates) painted with label.
void paintBall(SliceStack& s, uint8_t label, const double c[3], double r) {
  for (int k = 0; k < s.sliceCount(); ++k) {
    const double dz = k * s.spacing[2] - c[2];
    if (std::abs(dz) > r) continue;
    const double rr = r * r - dz * dz;
    paintSlice(s, k, label, [&](double x, double y) { return (x - c[0]) * (x - c[0]) + (y - c[1]) * (y - c[1]) <= rr; });
  }
}

// share: the triangles at most, as a share of the bound (a surface taken on coarser blocks, not
// decimated, stays well under it)
struct BallCase { const char* name; int maxTriangles; double zSign; double share; };

class BallSurface : public ::testing::TestWithParam<BallCase> {};

// 0.7 x 0.7 x 2.5 mm voxels, a 20 mm ball off the grid's symmetry: the mesh holds 4/3 pi r^3
// within 3 %, has no edge used by one triangle only, stays within the triangle bound, and its
// box sits where the voxels are (world z = slice * spacing * zSign).
TEST_P(BallSurface, EnclosesTheBallAndIsClosed) {
  const BallCase& bc = GetParam();
  SliceStack s = emptyStack(90, 76, 22, 0.7, 0.7, 2.5, bc.zSign);
  const double c[3] = {30.1, 26.3, 26.2}, r = 20.0;
  paintBall(s, 1, c, r);
  LabelSurfaces surfaces;
  SurfaceOptions opt;
  opt.maxTriangles = bc.maxTriangles;
  EXPECT_EQ(surfaces.update(s, opt), std::vector<int>{1});
  const double ball = 4.0 / 3.0 * kPi * r * r * r;
  EXPECT_NEAR(surfaces.enclosedVolume(1), ball, 0.03 * ball);
  EXPECT_EQ(surfaces.boundaryEdgeCount(1), 0);
  EXPECT_GT(surfaces.triangleCount(1), 100);
  EXPECT_LE(surfaces.triangleCount(1), bc.share * bc.maxTriangles);
  double b[6];
  ASSERT_TRUE(surfaces.bounds(1, b));
  const double zc = c[2] * bc.zSign;
  // within less than a pixel in-plane: blocks coarser than a pixel sit at their own centres
  EXPECT_NEAR((b[0] + b[1]) / 2, c[0], 0.5);
  EXPECT_NEAR((b[2] + b[3]) / 2, c[1], 0.5);
  EXPECT_NEAR((b[4] + b[5]) / 2, zc, 2.5);
  EXPECT_NEAR(b[1] - b[0], 2 * r, 2.0);
  EXPECT_NEAR(b[5] - b[4], 2 * r, 5.0);
}

INSTANTIATE_TEST_SUITE_P(Options, BallSurface,
                         ::testing::Values(BallCase{"headFirst", 40000, -1, 1}, BallCase{"feetFirst", 40000, 1, 1},
                                           BallCase{"decimated", 2000, -1, 1}, BallCase{"coarser", 4000, 1, 0.9}),
                         [](const auto& info) { return std::string(info.param.name); });

// Two labels; editing one slice of the second recomputes the second only (the first keeps its
// very mesh), an unchanged stack recomputes nothing, and emptying a label drops its mesh.
TEST(LabelSurfaces, AnEditRecomputesOnlyTheLabelsItTouches) {
  SliceStack s = emptyStack(64, 48, 12, 0.8, 0.6, 3.0);
  const double c[3] = {18, 14, 15};
  paintBall(s, 1, c, 10);
  for (int k = 3; k < 8; ++k) paintSlice(s, k, 2, [](double x, double y) { return x > 35 && x < 45 && y > 5 && y < 20; });
  LabelSurfaces surfaces;
  EXPECT_EQ(surfaces.update(s), (std::vector<int>{1, 2}));
  vtkPolyData* ball = surfaces.surface(1);
  const double before = surfaces.enclosedVolume(2);

  paintSlice(s, 8, 2, [](double x, double y) { return x > 35 && x < 45 && y > 5 && y < 20; });
  EXPECT_EQ(surfaces.update(s), std::vector<int>{2});
  EXPECT_EQ(surfaces.surface(1), ball);
  EXPECT_GT(surfaces.enclosedVolume(2), before * 1.1);

  // a slice copied anew with a new revision but the same labels changes nothing
  s.slices[5] = std::make_shared<const std::vector<uint8_t>>(*s.slices[5]);
  ++s.revisions[5];
  EXPECT_TRUE(surfaces.update(s).empty());

  for (int k = 3; k <= 8; ++k) paintSlice(s, k, 0, [](double x, double) { return x > 30; });
  EXPECT_EQ(surfaces.update(s), std::vector<int>{2});
  EXPECT_EQ(surfaces.labels(), std::vector<int>{1});
  EXPECT_EQ(surfaces.surface(1), ball);
}

// A series read from the study: spacing per axis from the header, slice order from the
// positions, and an unchanged frame's buffer shared with the previous stack.
TEST(LabelSurfaces, StackOfSeriesTakesSpacingAndSharesUnchangedSlices) {
  morvex::Study study;
  std::vector<int> frames;
  for (int i = 0; i < 4; ++i) {
    morvex::SliceHeader h;
    h.patientName = "P";
    h.seriesDate = "20200101";
    h.instanceNumber = i + 1;
    h.fileName = "s" + std::to_string(i);
    h.pixelSpacing = 0.9f;
    h.pixelSpacingRow = 0.9;
    h.pixelSpacingColumn = 0.6;
    h.sliceThickness = 2.0f;
    h.hasPosition = true;
    const double orientation[6] = {1, 0, 0, 0, 1, 0};
    std::copy(orientation, orientation + 6, h.imageOrientation);
    h.imagePosition[2] = 10.0 + 2.0 * i;  // towards the head
    frames.push_back(morvex::testing::addFrame(study, h, 7, 5));
  }
  study.labelImage(frames[2])[3] = 1;
  const SliceStack first = morvex::view3d::stackOfSeries(study, study.seriesOfFrame(frames[0]));
  ASSERT_EQ(first.sliceCount(), 4);
  EXPECT_EQ(first.width, 7);
  EXPECT_EQ(first.height, 5);
  EXPECT_DOUBLE_EQ(first.spacing[0], 0.6);
  EXPECT_DOUBLE_EQ(first.spacing[1], 0.9);
  EXPECT_DOUBLE_EQ(first.spacing[2], 2.0);
  EXPECT_EQ(first.zSign, 1);
  const int k = frames[2] - study.firstFrameOfSeries(study.seriesOfFrame(frames[0]));
  EXPECT_EQ((*first.slices[k])[3], 1);

  study.labelImage(frames[1])[0] = 2;
  const SliceStack second = morvex::view3d::stackOfSeries(study, study.seriesOfFrame(frames[0]), &first);
  const int k1 = frames[1] - study.firstFrameOfSeries(study.seriesOfFrame(frames[0]));
  EXPECT_EQ(second.slices[k], first.slices[k]);
  EXPECT_NE(second.slices[k1], first.slices[k1]);
  EXPECT_EQ((*second.slices[k1])[0], 2);
}

}  // namespace
