// Region statistics: the rank rule, summary values on small known cases, selection mode, slices
// of different sizes, and the incremental series path against a full computation.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include <opencv2/imgcodecs.hpp>

#include "analysis/area_statistics.h"
#include "analysis/histogram_range.h"
#include "study/series_import.h"
#include "study/slice_decoder.h"
#include "study/study.h"
#include "tests/testing_support.h"
#include "tools/synthct/series_writer.h"

using morvex::AreaStatistics;

TEST(RankRule, SmallCountsStayInOrderBetweenMinAndMax) {
  // values (bins) of one entry, and the expected q1, median, q3: position (n - 1) q, the mean of
  // the two ranks around it when it falls between them
  struct Case { std::vector<int> values; float q1, median, q3; };
  const Case cases[] = {
      {{7}, 7, 7, 7},
      {{2, 9}, 5.5f, 5.5f, 5.5f},           // positions 0.25, 0.5, 0.75: all between ranks 0 and 1
      {{10, 20, 30, 40}, 15, 25, 35},       // the median of four is the mean of the middle two
      {{0, 0, 2, 3}, 0, 1, 2.5f},
      {{10, 20, 30, 40, 50}, 20, 30, 40},   // positions 1, 2, 3
      {{5, 5, 5, 5, 9}, 5, 5, 5},
  };
  for (const Case& c : cases) {
    std::vector<int> counts(60, 0);
    for (int v : c.values) ++counts[v];
    const int n = static_cast<int>(c.values.size());
    SCOPED_TRACE(::testing::PrintToString(c.values));
    // every expected quartile lies between the case's min and max, so the exact values pin the order too
    EXPECT_FLOAT_EQ(morvex::quantileFromCounts(counts.data(), 60, n, 0.25f), c.q1);
    EXPECT_FLOAT_EQ(morvex::quantileFromCounts(counts.data(), 60, n, 0.5f), c.median);
    EXPECT_FLOAT_EQ(morvex::quantileFromCounts(counts.data(), 60, n, 0.75f), c.q3);
  }
  EXPECT_EQ(morvex::quantileFromCounts(std::vector<int>(4, 0).data(), 4, 0, 0.5f), 0.0f) << "no values";
}

// Sorted values by the rule the statistics used before ranks were counted from 0: odd totals rank
// trunc((n + 1) q), even totals the mean of ranks trunc(n q) and the next.
float formerQuantile(const std::vector<int>& sorted, float q) {
  const std::size_t n = sorted.size();
  if (n % 2) return static_cast<float>(sorted[static_cast<std::size_t>((n + 1.0) * q)]);
  const std::size_t r = static_cast<std::size_t>(static_cast<double>(n) * q);
  return (sorted[r] + sorted[r + 1]) / 2.0f;
}

TEST(RankRule, LargeCountsKeepTheAutomaticLiverWindow) {
  // the liver of the synthetic series, and the soft tissue (0..200 HU) of three real CT slices
  std::vector<std::vector<std::string>> series;
  const std::string& synthetic = morvex::testing::smallSyntheticSeries();
  series.emplace_back();
  for (int k = 0; k < 24; ++k) series.back().push_back(synthetic + "/" + morvex::synth::sliceFileName(k) + ".dcm");
  if (!morvex::testing::sharedDataDir().empty())
    series.push_back({morvex::testing::sharedFile("ct-3slice/01.dcm"), morvex::testing::sharedFile("ct-3slice/02.dcm"),
                      morvex::testing::sharedFile("ct-3slice/03.dcm")});
  morvex::initDicomCodecs();
  for (std::size_t s = 0; s < series.size(); ++s) {
    morvex::Study study;
    ASSERT_EQ(morvex::importSlices(study, series[s], {}).size(), series[s].size());
    std::vector<int> values;
    for (int f = 0; f < study.frameCount(); ++f) {
      const int16_t* hu = study.intensities(f);
      uint8_t* labels = study.labelImage(f);
      const cv::Mat truth = s == 0 ? cv::imread(synthetic + "/m_" + morvex::synth::sliceFileName(f) + ".png",
                                                cv::IMREAD_UNCHANGED) : cv::Mat();
      for (int p = 0; p < study.width(f) * study.height(f); ++p) {
        const bool liver = s == 0 ? truth.data[p] == 1 : hu[p] >= 0 && hu[p] <= 200;
        labels[p] = liver ? 1 : 0;
        if (liver) values.push_back(hu[p]);
      }
    }
    ASSERT_GT(values.size(), 5000u);
    std::sort(values.begin(), values.end());
    AreaStatistics st(7);
    morvex::SeriesStatistics().compute(study, 0, false, st);
    int low = 0, high = 0, formerLow = 0, formerHigh = 0;
    morvex::liverAutoRange(st.q1(1), st.median(1), st.q3(1), low, high);
    morvex::liverAutoRange(formerQuantile(values, 0.25f), formerQuantile(values, 0.5f), formerQuantile(values, 0.75f),
                           formerLow, formerHigh);
    EXPECT_EQ(low, formerLow) << "series " << s;
    EXPECT_EQ(high, formerHigh) << "series " << s;
    EXPECT_FLOAT_EQ(st.median(1), formerQuantile(values, 0.5f)) << "series " << s;
  }
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
  EXPECT_FLOAT_EQ(st.q1(1), 15);
  EXPECT_FLOAT_EQ(st.median(1), 25);
  EXPECT_FLOAT_EQ(st.q3(1), 35) << "never below the minimum";
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
    if (!std::isnan(a.std(e)) || !std::isnan(b.std(e))) {
      EXPECT_EQ(a.std(e), b.std(e)) << e;
    }
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
