// The liver segmentation of a synthetic series seeded by the ground truth of one middle slice:
// Dice against the generator's truth, no leak into the touching organs, label values, 2D mode, the
// missing outline, the guard, a cancelled run and the run's log.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "segmentation/liver_driver.h"
#include "segmentation/liver_segmenter.h"
#include "tests/testing_support.h"
#include "tools/synthct/phantom.h"
#include "tools/synthct/series_writer.h"

namespace {

constexpr int kSize = 256, kSlices = 60, kSeed = 25;

struct Series {
  morvex::testing::TempDir dir;
  morvex::synth::PhantomOptions options;
  explicit Series(bool hard = false) {
    options.hard = hard;
    options.size = kSize;
    options.slices = kSlices;
    options.pixelSpacing = 1.4;
    options.sliceThickness = 5.0;
    std::string error;
    EXPECT_TRUE(morvex::synth::writeSeries(options, dir.path(), &error)) << error;
  }
  void load(morvex::Study& study) const {
    for (int k = 0; k < kSlices; ++k)
      ASSERT_EQ(study.addFrameFromFile(dir.file(morvex::synth::sliceFileName(k) + ".dcm").c_str()), k);
  }
  cv::Mat truth(int k) const {
    return cv::imread(dir.file("m_" + morvex::synth::sliceFileName(k) + ".png"), cv::IMREAD_UNCHANGED);
  }
  void seed(morvex::Study& study, int k) const {
    const cv::Mat gt = truth(k);
    for (int i = 0; i < kSize * kSize; ++i) study.labelImage(k)[i] = gt.data[i] ? 1 : 0;
  }
};

const Series& series() {
  static const Series s;
  return s;
}

std::string readLog(std::FILE* log) {
  std::rewind(log);
  std::string text;
  char buf[512];
  while (std::fgets(buf, sizeof buf, log)) text += buf;
  std::fclose(log);
  return text;
}

// Scores a 3D run against the truth (liver, vessels and tumours are all liver).
struct Score {
  double dice = 0, volumeError = 0;
  int firstTruth = -1, lastTruth = -1, firstLabelled = -1, lastLabelled = -1, labelledWithoutLiver = 0, maxLabel = 0;
  long actual = 0, leak = 0;  // liver pixels of the truth; labelled pixels in the stomach or a kidney
  std::vector<double> sliceDice;
};
Score score(const Series& s, const morvex::Study& study) {
  Score r;
  const morvex::synth::Phantom phantom(s.options);
  long inter = 0, predicted = 0;
  for (int k = 0; k < kSlices; ++k) {
    const cv::Mat gt = s.truth(k);
    long i2 = 0, p2 = 0, g2 = 0;
    for (int i = 0; i < kSize * kSize; ++i) {
      r.maxLabel = std::max<int>(r.maxLabel, study.labelImage(k)[i]);
      const bool p = study.labelImage(k)[i] == 1, g = gt.data[i] != 0;
      i2 += p && g;
      p2 += p;
      g2 += g;
      if (p && !g) {
        const morvex::synth::Tissue t = phantom.tissueAt(k, i % kSize, i / kSize);
        r.leak += t == morvex::synth::Tissue::StomachWall || t == morvex::synth::Tissue::StomachContent ||
                  t == morvex::synth::Tissue::StomachAir || t == morvex::synth::Tissue::Kidney;
      }
    }
    inter += i2;
    predicted += p2;
    r.actual += g2;
    r.sliceDice.push_back(p2 + g2 ? 2.0 * i2 / (p2 + g2) : 1.0);
    if (g2 && r.firstTruth < 0) r.firstTruth = k;
    if (g2) r.lastTruth = k;
    if (p2 && r.firstLabelled < 0) r.firstLabelled = k;
    if (p2) r.lastLabelled = k;
    if (p2 && !g2) ++r.labelledWithoutLiver;
  }
  r.dice = 2.0 * inter / (predicted + r.actual);
  r.volumeError = 100.0 * (predicted - r.actual) / r.actual;
  return r;
}

}  // namespace

TEST(LiverSegmentation, ThreeDRunFollowsTheLiverThroughTheSeries) {
  const Series& s = series();
  morvex::Study study;
  s.load(study);
  s.seed(study, kSeed);
  study.labelImage(kSeed + 3)[5] = 3;  // another label in the series is cleared by the run
  std::FILE* log = std::tmpfile();
  morvex::LiverRunOptions options;
  options.currentFrame = kSeed;
  options.log = log;
  int lastDone = 0, total = 0;
  options.progress = [&](int done, int t) {
    EXPECT_EQ(done, lastDone + 1) << "progress advances per slice";
    lastDone = done;
    total = t;
  };
  ASSERT_EQ(morvex::segmentLiver(study, options), morvex::LiverRunResult::Done);
  EXPECT_EQ(total, kSlices);

  // The seed slice keeps the level set's result: the propagation does not re-segment it.
  {
    morvex::Study fresh;
    s.load(fresh);
    std::vector<uint8_t> mask(kSize * kSize);
    const cv::Mat gt = s.truth(kSeed);
    for (int i = 0; i < kSize * kSize; ++i) mask[i] = gt.data[i] ? 1 : 0;
    morvex::CLiverSegmenter seedOnly;
    seedOnly.setLog(log);
    seedOnly.setOption(0);
    seedOnly.setInput(fresh.intensities(kSeed), mask.data(), kSize, kSize, 1);
    seedOnly.iterations = 10;
    seedOnly.run(morvex::CLiverSegmenter::RunKind::Seed);
    EXPECT_TRUE(std::equal(mask.begin(), mask.end(), study.labelImage(kSeed))) << "the seed slice holds the level-set result";
  }
  const Score r = score(s, study);
  std::printf("series Dice %.4f, leak into stomach and kidney %.2f %% of the liver\n", r.dice, 100.0 * r.leak / r.actual);
  EXPECT_LE(r.maxLabel, 1) << "written frames hold only 0 and 1";
  EXPECT_GE(r.dice, 0.94);
  EXPECT_LE(r.leak, r.actual / 20) << "at most 5 % of the liver volume in the touching organs";
  const std::string text = readLog(log);
  const std::string banner = std::string(62, '/') + "\nContour number : 1\nIteration number : 100\n";
  for (const std::string& piece : {banner, std::string("now slice: 26\n"), std::string("propagation up"),
                                   std::string("propagation down"), std::string("final fT = 0.700"), std::string("good res"),
                                   std::string("tycnt = 1, now slice num = 27"), std::string("propagation time = ")})
    EXPECT_NE(text.find(piece), std::string::npos) << piece;
}

TEST(LiverSegmentation, TwoDModeTouchesOnlyTheSeedSliceNoOutlineChangesNothingAndACancelStopsAtOnce) {
  const Series& s = series();
  morvex::Study study;
  s.load(study);
  s.seed(study, kSeed);
  study.labelImage(kSeed + 5)[100] = 2;
  morvex::LiverRunOptions options;
  options.threeD = false;
  options.currentFrame = kSeed;
  options.log = std::tmpfile();
  ASSERT_EQ(morvex::segmentLiver(study, options), morvex::LiverRunResult::Done);
  EXPECT_EQ(study.labelImage(kSeed + 5)[100], 2) << "other slices keep their labels";
  EXPECT_EQ(std::count(study.labelImage(kSeed + 1), study.labelImage(kSeed + 1) + kSize * kSize, 1), 0);
  EXPECT_GT(std::count(study.labelImage(kSeed), study.labelImage(kSeed) + kSize * kSize, 1), 1000);

  options.currentFrame = kSeed + 5;  // the outline is on another slice
  const std::vector<uint8_t> seedResult(study.labelImage(kSeed), study.labelImage(kSeed) + kSize * kSize);
  EXPECT_EQ(morvex::segmentLiver(study, options), morvex::LiverRunResult::NoOutline);
  EXPECT_EQ(std::vector<uint8_t>(study.labelImage(kSeed), study.labelImage(kSeed) + kSize * kSize), seedResult);
  EXPECT_EQ(study.labelImage(kSeed + 5)[100], 2);
  std::fclose(options.log);

  // A cancel is seen before the next slice: the run ends at once and says so, and a run on a work
  // copy leaves the study it came from as it was.
  options = morvex::LiverRunOptions();
  options.currentFrame = kSeed;
  std::vector<std::vector<uint8_t>> before;
  for (int k = 0; k < kSlices; ++k) before.emplace_back(study.labelImage(k), study.labelImage(k) + kSize * kSize);
  morvex::Study work = study.seriesWorkCopy(0);
  options.log = std::tmpfile();
  int steps = 0;
  options.progress = [&](int, int) { ++steps; };
  options.cancelled = [&] { return steps >= 4; };
  int labelled = -1;
  EXPECT_EQ(morvex::segmentLiver(work, options, &labelled), morvex::LiverRunResult::Cancelled);
  const std::string log = readLog(options.log);
  EXPECT_EQ(steps, 4) << "no slice is processed after the cancel";
  EXPECT_NE(log.find("segmentLiver(): cancelled after 4 slices"), std::string::npos) << log;
  EXPECT_EQ(labelled, 0);
  int written = 0;
  for (int k = 0; k < kSlices; ++k) {
    EXPECT_TRUE(std::equal(before[k].begin(), before[k].end(), study.labelImage(k))) << "slice " << k;
    written += !std::equal(before[k].begin(), before[k].end(), work.labelImage(k));
  }
  EXPECT_GT(written, 2) << "the copy received what the run did before the cancel";

  // cancelled before it starts: nothing is processed
  steps = 0;
  options.cancelled = [] { return true; };
  options.log = std::tmpfile();
  EXPECT_EQ(morvex::segmentLiver(work, options), morvex::LiverRunResult::Cancelled);
  std::fclose(options.log);
  EXPECT_EQ(steps, 0);
}

namespace {
// A series of flat slices (every pixel 100 HU): any growth floods the whole slice, so the growth
// guard fires on the first propagated result.
void addFlatSlices(morvex::Study& study, int count, int size) {
  for (int k = 0; k < count; ++k) {
    morvex::SliceHeader h;
    h.patientName = "FLAT";
    h.seriesDate = "20240101";
    h.instanceNumber = k + 1;
    h.pixelSpacing = 0.7f;
    h.sliceThickness = 5.0f;
    morvex::testing::addFrame(study, h, size, size, 100);
  }
}
long liverPixels(const morvex::Study& study, int f) {
  const uint8_t* l = study.labelImage(f);
  return std::count(l, l + study.width(f) * study.height(f), 1);
}
}  // namespace

TEST(LiverSegmentation, TheGuardNeverEmptiesTheSeedSliceAndTheRunCountsWhatItLabelled) {
  constexpr int size = 96;
  for (const bool threeD : {false, true}) {
    SCOPED_TRACE(threeD ? "3D" : "2D");
    morvex::Study study;
    addFlatSlices(study, 3, size);
    for (int y = 38; y < 58; ++y)
      for (int x = 38; x < 58; ++x) study.labelImage(1)[y * size + x] = 1;  // a 20 x 20 outline
    morvex::LiverRunOptions options;
    options.threeD = threeD;
    options.currentFrame = 1;
    options.log = std::tmpfile();
    int labelled = -1;
    ASSERT_EQ(morvex::segmentLiver(study, options, &labelled), morvex::LiverRunResult::Done);
    std::fclose(options.log);
    EXPECT_GT(liverPixels(study, 1), 200) << "the seed slice keeps its outline's result";
    EXPECT_LT(liverPixels(study, 1), size * size / 2) << "and no flooded result is written over it";
    EXPECT_EQ(liverPixels(study, 0) + liverPixels(study, 2), 0) << "flooded neighbours are not written";
    EXPECT_EQ(labelled, 1) << "only the seed slice received a result";
  }
}

// A closed ring as the seed is filled when what it encloses is at least twice the ring: a square
// ring of side a encloses (a - 2)^2 pixels with 4 (a - 1) of its own, 64 / 36 for a = 10 and
// 81 / 40 for a = 11. 3D fills the lowest frame holding liver, 2D the current frame.
TEST(LiverSegmentation, ARingSeedIsFilledOnlyWhenItEnclosesTwiceItsOwnArea) {
  struct Case { int side0, side1; bool threeD; long filled0, filled1; };
  for (const Case& c : {Case{10, 11, true, 0, 0}, Case{11, 11, true, 81, 0}, Case{11, 11, false, 0, 81}}) {
    morvex::Study study;
    addFlatSlices(study, 3, 40);
    for (int f : {0, 1}) {
      const int a = f == 0 ? c.side0 : c.side1;
      for (int y = 5; y < 5 + a; ++y)
        for (int x = 5; x < 5 + a; ++x)
          if (y == 5 || x == 5 || y == 4 + a || x == 4 + a) study.labelImage(f)[y * 40 + x] = 1;
    }
    const long ring0 = liverPixels(study, 0), ring1 = liverPixels(study, 1);
    morvex::LiverRunOptions options;
    options.threeD = c.threeD;
    options.currentFrame = 1;
    EXPECT_EQ(morvex::fillRingSeed(study, options), c.filled0 + c.filled1) << c.side0 << (c.threeD ? " 3D" : " 2D");
    EXPECT_EQ(liverPixels(study, 0), ring0 + c.filled0);
    EXPECT_EQ(liverPixels(study, 1), ring1 + c.filled1);
  }
}
// The hard preset is scored in whole_liver_test.cpp (LiverSeg, then one click per tumour).
