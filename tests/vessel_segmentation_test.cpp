// Vessel segmentation: the chessboard distance and the square filters against direct reference
// versions, the growth on a crafted tube with known answers, and the synthetic series against its
// vessel truth.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>

#include "analysis/vessel_segmentation.h"
#include "tools/synthct/phantom.h"

namespace {

std::vector<uint8_t> referenceDistance(const std::vector<uint8_t>& img, int w, int h, int cap) {
  std::vector<uint8_t> out(img.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int best = cap;
      for (int v = 0; v < h; ++v)
        for (int u = 0; u < w; ++u)
          if (img[v * w + u]) best = std::min(best, std::max(std::abs(u - x), std::abs(v - y)));
      out[y * w + x] = static_cast<uint8_t>(best);
    }
  return out;
}

// The square filters as their definition reads: centres at least r from every border.
std::vector<int16_t> referenceSquare(const std::vector<int16_t>& m, int w, int h, int k, bool dilate) {
  const int r = k / 2;
  std::vector<int16_t> out(m.size(), 0);
  for (int y = r; y < h - r; ++y)
    for (int x = r; x < w - r; ++x) {
      bool all = true;
      for (int v = -r; v <= r; ++v)
        for (int u = -r; u <= r; ++u) {
          if (dilate && m[y * w + x]) out[(y + v) * w + x + u] = 255;
          all = all && m[(y + v) * w + x + u] != 0;
        }
      if (!dilate) out[y * w + x] = all ? 255 : 0;
    }
  return out;
}

// A series of n slices of w x w for the growth: intensities, liver masks, the user's seeds, the truth.
struct Series {
  int w, n;
  std::vector<std::vector<int16_t>> hu;
  std::vector<std::vector<uint8_t>> liver, seeds, truth, result;
  Series(int width, int slices)
      : w(width), n(slices), hu(n, std::vector<int16_t>(w * w, -100)), liver(n, std::vector<uint8_t>(w * w, 0)),
        seeds(liver), truth(liver) {}
  bool run(const morvex::VesselTolerances& t, std::vector<morvex::VesselWindow>* windows = nullptr,
           const std::function<void(int)>& progress = {}, const std::function<bool()>& cancelled = {}) {
    std::vector<const int16_t*> ip;
    std::vector<const uint8_t*> lp, sp;
    for (int k = 0; k < n; ++k) {
      ip.push_back(hu[k].data());
      lp.push_back(liver[k].data());
      sp.push_back(seeds[k].data());
    }
    return morvex::segmentVessels(ip.data(), lp.data(), sp.data(), w, w, n, result, t, progress, windows, cancelled);
  }
};

// 6 slices of 20 x 20: liver (60 HU) on [2, 17]^2 of every slice, a 3 x 3 tube of 180 HU whose
// corner moves one pixel right per slice, and a separate bright blob.
struct Tube : Series {
  Tube() : Series(20, 6) {
    for (int k = 0; k < n; ++k) {
      for (int y = 2; y < w - 2; ++y)
        for (int x = 2; x < w - 2; ++x) {
          hu[k][y * w + x] = 60;
          liver[k][y * w + x] = 255;
        }
      for (int y = 5; y < 8; ++y)
        for (int x = 4 + k; x < 7 + k; ++x) {
          hu[k][y * w + x] = 180;
          truth[k][y * w + x] = 255;
        }
      hu[k][14 * w + 14] = hu[k][14 * w + 15] = 180;  // bright, but not connected to the tube
    }
  }
  void seedSlice(int k) { seeds[k] = truth[k]; }
};

}  // namespace

TEST(VesselHelpers, ChessboardDistanceMatchesTheDefinition) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 60; ++trial) {
    const int w = 1 + static_cast<int>(rng() % 24), h = 1 + static_cast<int>(rng() % 20);
    const int cap = 1 + static_cast<int>(rng() % 16);
    std::vector<uint8_t> img(static_cast<std::size_t>(w) * h);
    const unsigned density = 2 + rng() % 40;
    for (auto& v : img) v = rng() % density == 0 ? static_cast<uint8_t>(1 + rng() % 255) : 0;
    std::vector<uint8_t> out;
    morvex::chessboardDistance(img.data(), w, h, cap, out);
    ASSERT_EQ(out, referenceDistance(img, w, h, cap)) << "trial " << trial;
  }
  std::vector<uint8_t> out;
  morvex::chessboardDistance(std::vector<uint8_t>(12, 0).data(), 4, 3, 15, out);
  EXPECT_EQ(out, std::vector<uint8_t>(12, 15)) << "nothing to be near: every pixel at the cap";
}

TEST(VesselHelpers, SquareDilationAndErosionMatchTheDefinition) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 90; ++trial) {
    const int w = 1 + static_cast<int>(rng() % 20), h = 1 + static_cast<int>(rng() % 16);
    const int k = 1 + 2 * static_cast<int>(rng() % 3);
    std::vector<int16_t> m(static_cast<std::size_t>(w) * h);
    for (auto& v : m) v = rng() % 3 == 0 ? 0 : static_cast<int16_t>(rng() % 7);
    std::vector<int16_t> d = m, e = m;
    morvex::dilateSquare(d.data(), w, h, k);
    morvex::erodeSquare(e.data(), w, h, k);
    ASSERT_EQ(d, referenceSquare(m, w, h, k, true)) << "dilation, trial " << trial << " k " << k;
    ASSERT_EQ(e, referenceSquare(m, w, h, k, false)) << "erosion, trial " << trial << " k " << k;
  }
}

TEST(VesselSegmentation, GrowsTheTubeThroughEverySliceAndNothingElse) {
  Tube t;
  t.seedSlice(2);
  std::vector<morvex::VesselWindow> windows;
  t.run({}, &windows);
  ASSERT_EQ(t.result.size(), 6u);
  for (int k = 0; k < t.n; ++k) EXPECT_EQ(t.result[k], t.truth[k]) << "slice " << k;
  // seed slice: 180 +- 36; next slice: (1 - 0.15) * 180 raised to the running mean 180, up to 2 * 180
  ASSERT_GE(windows.size(), 2u);
  EXPECT_FLOAT_EQ(windows[0].lo, 144.0f);
  EXPECT_FLOAT_EQ(windows[0].hi, 216.0f);
  EXPECT_EQ(windows[1].slice, 3);
  EXPECT_EQ(windows[1].seeds, 1) << "the 3 x 3 region less its rim";
  EXPECT_FLOAT_EQ(windows[1].lo, 180.0f);
  EXPECT_FLOAT_EQ(windows[1].hi, 360.0f);

  // without the shrink every position of the region seeds the next slice
  windows.clear();
  t.run({0.2f, 0.15f, 0}, &windows);
  EXPECT_EQ(windows[1].seeds, 9);
  for (int k = 0; k < t.n; ++k) EXPECT_EQ(t.result[k], t.truth[k]) << "slice " << k;
}

TEST(VesselSegmentation, SeedsOutsideTheLiverAndTheExactWindow) {
  Tube t;
  t.seedSlice(0);
  t.seeds[0][0] = 255;  // a seed on air outside the liver: must not pull the mean down
  t.hu[0][6 * t.w + 7] = 190;  // an arm of the tube, brighter than its mean
  t.run({});
  std::vector<uint8_t> withArm = t.truth[0];
  withArm[6 * t.w + 7] = 255;
  EXPECT_EQ(t.result[0], withArm);
  EXPECT_EQ(t.result[5], t.truth[5]);
  t.run({0.0f, 0.15f, 2});  // [mean, mean]: only pixels of exactly 180
  EXPECT_EQ(t.result[0], t.truth[0]);

  // seeds only outside the liver: no seed slice, an empty result of the series' shape
  Tube outside;
  outside.seeds[1][0] = outside.seeds[1][1] = 255;
  outside.run({});
  ASSERT_EQ(outside.result.size(), 6u);
  for (const auto& r : outside.result) EXPECT_EQ(r, std::vector<uint8_t>(400, 0));
}

TEST(VesselSegmentation, FindsTheVesselTreeOfTheSyntheticSeries) {
  morvex::synth::PhantomOptions o;
  o.size = 256;
  o.slices = 60;
  const morvex::synth::Phantom phantom(o);
  Series v(256, 60);
  for (int k = 0; k < 60; ++k) {
    const morvex::synth::PhantomSlice s = phantom.slice(k);
    v.hu[k] = s.hu;
    for (std::size_t i = 0; i < s.labels.size(); ++i) {
      v.liver[k][i] = s.labels[i] == morvex::synth::kGtLiver || s.labels[i] == morvex::synth::kGtVessel ? 255 : 0;
      v.truth[k][i] = s.labels[i] == morvex::synth::kGtVessel ? 255 : 0;
    }
    // the user labels the vessels of three slices: above, at and below the hilum
    if (k == 15 || k == 26 || k == 34) v.seeds[k] = v.truth[k];
  }
  std::vector<int> progress;
  v.run({}, nullptr, [&](int p) { progress.push_back(p); });
  long both = 0, found = 0, real = 0, outsideLiver = 0;
  for (int k = 0; k < 60; ++k)
    for (std::size_t i = 0; i < v.truth[k].size(); ++i) {
      const bool r = v.result[k][i] != 0, t = v.truth[k][i] != 0;
      both += r && t;
      found += r;
      real += t;
      outsideLiver += r && !v.liver[k][i];
    }
  const double dice = 2.0 * both / static_cast<double>(found + real);
  RecordProperty("dice", std::to_string(dice));
  EXPECT_GE(dice, 0.70) << "found " << found << " of " << real << " vessel pixels, " << both << " right";
  EXPECT_EQ(outsideLiver, 0);
  // the bar moves slice by slice, rising, and ends full
  EXPECT_GT(progress.size(), 20u);
  EXPECT_TRUE(std::adjacent_find(progress.begin(), progress.end(), std::greater_equal<int>()) == progress.end());
  EXPECT_EQ(progress.back(), 100);

  // a cancel is seen before the next slice: the run ends at once with nothing
  int last = 0;
  std::vector<morvex::VesselWindow> windows;
  std::size_t grownAtCancel = 0;
  bool cancel = false;
  EXPECT_FALSE(v.run({}, &windows, [&](int p) { last = p; }, [&] {
    if (!cancel && last >= 20) grownAtCancel = windows.size();
    return cancel = cancel || last >= 20;
  }));
  ASSERT_TRUE(cancel);
  EXPECT_EQ(windows.size(), grownAtCancel) << "no slice is grown after the cancel";
  EXPECT_LT(last, 50);
  ASSERT_EQ(v.result.size(), 60u);
  for (const auto& r : v.result) EXPECT_TRUE(std::none_of(r.begin(), r.end(), [](uint8_t x) { return x != 0; }));
}
