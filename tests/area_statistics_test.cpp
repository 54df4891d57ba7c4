// Region statistics: the rank rule, summary values on small known cases, selection mode, slices
// of different sizes, and the incremental series path against a full computation.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "analysis/area_statistics.h"
#include "study/study.h"

using morvex::AreaStatistics;

TEST(RankRule, OddAndEvenTotals) {
  const int counts[] = {1, 1, 1, 1, 1};  // five values at bins 0..4
  EXPECT_FLOAT_EQ(morvex::quantileFromCounts(counts, 5, 5, 0.5f), 3.0f) << "rank 3, the fourth smallest";
  EXPECT_FLOAT_EQ(morvex::quantileFromCounts(counts, 5, 5, 0.25f), 1.0f);
  EXPECT_FLOAT_EQ(morvex::quantileFromCounts(counts, 5, 5, 0.75f), 4.0f);
  const int four[] = {2, 0, 1, 1};  // values 0, 0, 2, 3
  EXPECT_FLOAT_EQ(morvex::quantileFromCounts(four, 4, 4, 0.5f), 2.5f) << "mean of ranks 2 and 3";
  EXPECT_FLOAT_EQ(morvex::quantileFromCounts(four, 4, 4, 0.75f), 1.5f) << "rank 4 is held by no bin: counts 0";
}

TEST(AreaStatistics, FourPixelsOfTenToForty) {
  const int16_t hu[] = {5, 10, 20, 30, 40, 50};
  const uint8_t labels[] = {0, 1, 1, 1, 1, 2};
  AreaStatistics st(3);
  st.computeSlice(hu, labels, 3, 2, false);
  ASSERT_TRUE(st.computed());
  EXPECT_EQ(st.base(), 5);
  EXPECT_EQ(st.binCount(), 46);
  EXPECT_FLOAT_EQ(st.min(1), 10);
  EXPECT_FLOAT_EQ(st.max(1), 40);
  EXPECT_FLOAT_EQ(st.average(1), 25);
  EXPECT_FLOAT_EQ(st.median(1), 35);
  EXPECT_FLOAT_EQ(st.q1(1), 25);
  EXPECT_FLOAT_EQ(st.q3(1), (40 - 5 + 0) / 2.0f + 5);
  EXPECT_NEAR(st.std(1), std::sqrt(500.0 / 3.0), 1e-4);
  EXPECT_FLOAT_EQ(st.pixelCnt(1), 4);
  EXPECT_FLOAT_EQ(st.pixelCnt(2), 1);
  EXPECT_TRUE(std::isnan(st.std(2))) << "one pixel: the sample deviation is not a number";
  EXPECT_FLOAT_EQ(st.average(2), 50);
  for (float v : {st.min(3), st.max(3), st.average(3), st.q1(3), st.median(3), st.q3(3), st.std(3), st.pixelCnt(3)})
    EXPECT_EQ(v, 0.0f) << "an empty label reports zeros";
  EXPECT_EQ(st.pixelCnt(0), 0.0f);
  EXPECT_EQ(st.counts(4), nullptr);
  EXPECT_EQ(st.counts(1)[35], 1) << "bin of intensity 40";
}

TEST(AreaStatistics, SelectionModeLabelsAboveTheTableAndSlicesOfDifferentSizes) {
  const int16_t a[] = {1, 2, 3, 4};
  const int16_t b[] = {-7, 100, 6};
  const uint8_t la[] = {255, 0, 9, 1};  // 9 has no entry in a table of 7 labels
  const uint8_t lb[] = {1, 1, 255};
  const int16_t* hu[] = {a, b};
  const uint8_t* labels[] = {la, lb};
  const int widths[] = {2, 3}, heights[] = {2, 1};
  AreaStatistics st(7);
  st.computeSeries(hu, labels, widths, heights, 2, false);
  EXPECT_EQ(st.base(), -7);
  EXPECT_EQ(st.binCount(), 108);
  EXPECT_FLOAT_EQ(st.pixelCnt(1), 3);  // 4, -7, 100
  EXPECT_FLOAT_EQ(st.min(1), -7);
  EXPECT_FLOAT_EQ(st.max(1), 100);
  AreaStatistics sel(1);
  sel.computeSeries(hu, labels, widths, heights, 2, true);
  EXPECT_FLOAT_EQ(sel.pixelCnt(1), 6) << "every nonzero byte counts, whatever its value";
}

namespace {

void expectSame(const AreaStatistics& a, const AreaStatistics& b) {
  ASSERT_EQ(a.base(), b.base());
  ASSERT_EQ(a.binCount(), b.binCount());
  for (int e = 1; e <= a.labelCount(); ++e) {
    EXPECT_EQ(a.pixelCnt(e), b.pixelCnt(e)) << e;
    EXPECT_EQ(a.min(e), b.min(e)) << e;
    EXPECT_EQ(a.max(e), b.max(e)) << e;
    EXPECT_EQ(a.sum(e), b.sum(e)) << e;
    EXPECT_EQ(a.average(e), b.average(e)) << e;
    EXPECT_EQ(a.q1(e), b.q1(e)) << e;
    EXPECT_EQ(a.median(e), b.median(e)) << e;
    EXPECT_EQ(a.q3(e), b.q3(e)) << e;
    if (!std::isnan(a.std(e)) || !std::isnan(b.std(e))) EXPECT_EQ(a.std(e), b.std(e)) << e;
    ASSERT_EQ(0, std::memcmp(a.counts(e), b.counts(e), sizeof(int) * a.binCount())) << e;
  }
}

AreaStatistics fullRecompute(const morvex::Study& s, int series, bool selection, int labelCount = 7) {
  std::vector<const int16_t*> hu;
  std::vector<const uint8_t*> labels;
  std::vector<int> w, h;
  for (int f = s.firstFrameOfSeries(series); f >= 0 && f <= s.lastFrameOfSeries(series); ++f) {
    hu.push_back(s.intensities(f));
    labels.push_back(selection ? s.selectionImage(f) : s.labelImage(f));
    w.push_back(s.width(f));
    h.push_back(s.height(f));
  }
  AreaStatistics st(selection ? 1 : labelCount);
  st.computeSeries(hu.data(), labels.data(), w.data(), h.data(), static_cast<int>(hu.size()), selection);
  return st;
}

}  // namespace

TEST(SeriesStatistics, IncrementalPathEqualsAFullRecomputeAfterRandomEdits) {
  std::mt19937 rng(7);
  morvex::Study study;
  for (int k = 0; k < 12; ++k) {
    morvex::SliceHeader h;
    h.patientName = k < 9 ? "A" : "B";
    h.seriesDate = "D";
    h.instanceNumber = k;
    morvex::SlicePixels px;
    px.width = 20 + (k % 3);
    px.height = 15;
    px.intensities.reset(static_cast<std::size_t>(px.width) * px.height);
    for (auto& v : px.intensities) v = static_cast<int16_t>(static_cast<int>(rng() % 400) - 100 - 30 * k);
    study.insertFrame(h, std::move(px));
  }
  morvex::SeriesStatistics incremental;  // one cache serves label mode and selection mode alike
  AreaStatistics st(7), sel(1);
  for (int round = 0; round < 40; ++round) {
    // edit one frame: paint labels, a selection, sometimes change intensities
    const int f = static_cast<int>(rng() % 9);
    uint8_t* labels = study.labelImage(f);
    const int n = study.width(f) * study.height(f);
    for (int i = 0; i < 30; ++i) labels[rng() % n] = static_cast<uint8_t>(rng() % 9);
    study.selectionImage(f)[rng() % n] = 255;
    if (round % 7 == 3) study.intensitiesForEdit(f)[rng() % n] = static_cast<int16_t>(rng() % 3000 - 1500);
    incremental.compute(study, 0, false, st);
    EXPECT_LE(incremental.recountedFrames(), round == 0 ? 9 : 1) << "only the edited frame is counted again";
    expectSame(st, fullRecompute(study, 0, false));
    incremental.compute(study, 0, true, sel);
    expectSame(sel, fullRecompute(study, 0, true));
  }
  incremental.compute(study, 0, false, st);
  EXPECT_EQ(incremental.recountedFrames(), 0) << "nothing changed, nothing counted";
  incremental.compute(study, 1, false, st);
  expectSame(st, fullRecompute(study, 1, false));

  // a smaller label table (a caller with fewer labels) counts again instead of reading old tables
  AreaStatistics few(3);
  incremental.compute(study, 0, false, few);
  EXPECT_EQ(incremental.recountedFrames(), 9);
  expectSame(few, fullRecompute(study, 0, false, 3));
}
