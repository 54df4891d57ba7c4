#include "segmentation/slice_interpolation.h"
#include "tests/testing_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "study/study.h"

namespace {

using morvex::SliceFillPlan;

constexpr int kW = 200, kH = 150;  // not square on purpose

struct Volume {
  std::vector<std::vector<uint8_t>> slices;
  explicit Volume(int n) : slices(n, std::vector<uint8_t>(static_cast<std::size_t>(kW) * kH, 0)) {}
  void disc(int z, double cx, double cy, double r, uint8_t label = 1) {
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) slices[z][y * kW + x] = label;
  }
  std::vector<const uint8_t*> pointers() const {
    std::vector<const uint8_t*> p;
    for (const auto& s : slices) p.push_back(s.data());
    return p;
  }
  SliceFillPlan plan(uint8_t label = 1) const { return morvex::planSliceFill(pointers(), kW, kH, label); }
};

const SliceFillPlan::Slice* sliceAt(const SliceFillPlan& plan, int index) {
  for (const auto& s : plan.slices)
    if (s.index == index) return &s;
  return nullptr;
}

// Centroid x and area of a plan slice's mask.
void moments(const SliceFillPlan::Slice& s, double& cx, double& area) {
  double sx = 0;
  area = 0;
  for (int p = 0; p < kW * kH; ++p)
    if (s.mask[p]) {
      sx += p % kW;
      ++area;
    }
  cx = area > 0 ? sx / area : -1;
}

// Discs on slices 0 and 10: every slice between has the disc of the linearly blended centre and radius.
TEST(SliceInterpolation, DiscsGrowAndMoveLinearlyBetweenKeys) {
  struct Case { const char* name; double x0, r0, x1, r1; };
  for (const Case& c : {Case{"growing", 100, 40, 100, 60}, Case{"moving 20 px", 60, 30, 80, 30}}) {
    Volume v(11);
    v.disc(0, c.x0, 75, c.r0);
    v.disc(10, c.x1, 75, c.r1);
    const SliceFillPlan plan = v.plan();
    EXPECT_EQ(plan.keys, (std::vector<int>{0, 10})) << c.name;
    ASSERT_EQ(plan.filledSlices(), 9) << c.name;
    for (int i = 1; i <= 9; ++i) {
      ASSERT_EQ(plan.slices[i - 1].index, i);
      double cx, area;
      moments(plan.slices[i - 1], cx, area);
      EXPECT_NEAR(std::sqrt(area / M_PI), c.r0 + (c.r1 - c.r0) * i / 10, 1.0) << c.name << " slice " << i;
      EXPECT_NEAR(cx, c.x0 + (c.x1 - c.x0) * i / 10, 0.5) << c.name << " slice " << i;
    }
  }
}

TEST(SliceInterpolation, BallFromEveryFifthSliceMatchesTheBall) {
  const int n = 61;
  const double r = 30;
  Volume truth(n), keys(n);
  for (int z = 0; z < n; ++z) {
    const double rz2 = r * r - (z - 30.0) * (z - 30.0);
    if (rz2 < 0) continue;
    truth.disc(z, 95, 72, std::sqrt(rz2));
    if (z % 5 == 0) keys.disc(z, 95, 72, std::sqrt(rz2));
  }
  const SliceFillPlan plan = keys.plan();
  EXPECT_EQ(plan.keys.size(), 13u);
  long both = 0, inTruth = 0, inResult = 0;
  for (int z = 0; z < n; ++z) {
    const SliceFillPlan::Slice* s = sliceAt(plan, z);
    for (int p = 0; p < kW * kH; ++p) {
      const bool t = truth.slices[z][p] == 1;
      const bool got = keys.slices[z][p] == 1 || (s && s->mask[p]);
      inTruth += t;
      inResult += got;
      both += t && got;
    }
  }
  EXPECT_GE(2.0 * both / (inTruth + inResult), 0.95);
}

TEST(SliceInterpolation, OtherLabelsAreNeverWrittenAndLeaveCountedHoles) {
  Volume v(11);
  v.disc(0, 100, 75, 40);
  v.disc(10, 100, 75, 60);
  v.disc(5, 100, 75, 5, 2);   // a vessel inside the gap's shape
  v.disc(5, 190, 10, 5, 3);   // a tumour outside it
  const SliceFillPlan plan = v.plan();
  const SliceFillPlan::Slice& s = *sliceAt(plan, 5);
  int vessel = 0;
  for (int p = 0; p < kW * kH; ++p) {
    if (v.slices[5][p] == 0) continue;
    EXPECT_EQ(s.mask[p], 0) << "pixel " << p;
    vessel += v.slices[5][p] == 2;
  }
  EXPECT_EQ(s.blocked, vessel);
  EXPECT_EQ(plan.blockedSlices(), 1);
  EXPECT_EQ(plan.blockedPixels(), vessel);
}

// Shapes that share no pixel, split or merge: every slice between two non-empty keys gets pixels.
TEST(SliceInterpolation, NoEmptySliceBetweenNonEmptyKeys) {
  struct Case {
    const char* name;
    std::vector<std::vector<double>> a, b;  // discs (cx, cy, r) on slice 0 and on the last slice
    int slices;
  };
  const Case cases[] = {
      {"far apart", {{20, 20, 8}}, {{170, 120, 8}}, 9},
      {"split", {{100, 75, 30}}, {{40, 75, 12}, {160, 75, 12}}, 7},
      {"merge", {{30, 30, 10}, {170, 120, 10}}, {{100, 75, 10}}, 5},
  };
  for (const Case& c : cases) {
    Volume v(c.slices);
    for (const auto& d : c.a) v.disc(0, d[0], d[1], d[2]);
    for (const auto& d : c.b) v.disc(c.slices - 1, d[0], d[1], d[2]);
    const SliceFillPlan plan = v.plan();
    EXPECT_EQ(plan.filledSlices(), c.slices - 2) << c.name;
  }
}

TEST(SliceInterpolation, UpdateAfterAKeyEditEqualsAFullPlan) {
  Volume v(21);
  v.disc(0, 100, 75, 20);
  v.disc(10, 110, 75, 30);
  v.disc(20, 100, 75, 20);
  SliceFillPlan plan = v.plan();
  // a key grows, a new key appears in the second gap, a key outside the range of the edit stays
  v.disc(10, 110, 75, 40);
  morvex::updateSliceFill(plan, v.pointers(), 10);
  v.disc(15, 120, 80, 10);
  morvex::updateSliceFill(plan, v.pointers(), 15);
  const SliceFillPlan full = v.plan();
  EXPECT_EQ(plan.keys, full.keys);
  ASSERT_EQ(plan.slices.size(), full.slices.size());
  for (std::size_t i = 0; i < full.slices.size(); ++i) {
    EXPECT_EQ(plan.slices[i].index, full.slices[i].index);
    EXPECT_TRUE(plan.slices[i].mask == full.slices[i].mask) << "slice " << full.slices[i].index;
  }
}

TEST(SliceInterpolation, ApplyWritesTheLabelIntoBackgroundOfTheStudy) {
  morvex::Study study;
  Volume v(5);
  v.disc(0, 100, 75, 20);
  v.disc(4, 100, 75, 20);
  v.disc(2, 100, 75, 3, 2);
  for (int i = 0; i < 5; ++i) {
    morvex::SliceHeader h;
    h.patientName = "P";
    h.seriesDate = "20240101";
    h.instanceNumber = i + 1;
    h.width = kW;
    h.height = kH;
    const int f = morvex::testing::addFrame(study, h, kW, kH);
    ASSERT_TRUE(study.setLabelImage(f, v.slices[i].data(), kW, kH));
  }
  const SliceFillPlan plan = morvex::planSliceFill(study, 0, 4, 1);
  EXPECT_EQ(plan.filledSlices(), 3);
  EXPECT_EQ(morvex::applySliceFill(plan, study), plan.filledPixels());
  const uint8_t* mid = static_cast<const morvex::Study&>(study).labelImage(2);
  for (int p = 0; p < kW * kH; ++p) {
    const uint8_t expected = v.slices[2][p] == 2 ? 2 : v.slices[0][p];  // the same disc, vessel kept
    ASSERT_EQ(mid[p], expected) << "pixel " << p;
  }
}

}  // namespace
