// The synthetic CT series: it loads back through the decoder with the intended intensities in each
// organ, its ground-truth masks match the anatomy, and it is reproducible.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "study/study.h"
#include "tests/testing_support.h"
#include "tools/synthct/phantom.h"
#include "tools/synthct/series_writer.h"

using namespace morvex::synth;

namespace {

struct Stats {
  double sum = 0, sum2 = 0;
  long n = 0;
  void add(double v) {
    sum += v;
    sum2 += v * v;
    ++n;
  }
  double mean() const { return n ? sum / n : NAN; }
  double sd() const { return n > 1 ? std::sqrt(std::max(0.0, sum2 / n - mean() * mean())) : NAN; }
};

}  // namespace

TEST(SyntheticSeries, LoadsBackWithTheIntendedIntensitiesPerOrgan) {
  const std::string& folder = morvex::testing::smallSyntheticSeries();
  PhantomOptions o;
  o.size = 128;
  o.slices = 24;
  const Phantom phantom(o);
  morvex::Study study;
  std::map<Tissue, Stats> byTissue;
  Stats labelled[4];
  for (int k = 0; k < o.slices; ++k) {
    const std::string name = sliceFileName(k);
    const int f = study.addFrameFromFile((folder + "/" + name + ".dcm").c_str());
    ASSERT_EQ(f, k);
    ASSERT_EQ(study.width(f), 128);
    const morvex::SliceHeader& h = study.frame(f)->header;
    EXPECT_EQ(h.instanceNumber, k + 1);
    EXPECT_EQ(h.windowCenter, 40);
    EXPECT_EQ(h.windowWidth, 400);
    EXPECT_NEAR(h.pixelSpacing, 2.8, 1e-6);
    EXPECT_NEAR(h.sliceThickness, 12.5, 1e-6);
    EXPECT_EQ(h.patientName, "SYNTH^LIVER");
    EXPECT_EQ(h.seriesDate, "20260101");
    const cv::Mat mask = cv::imread(folder + "/m_" + name + ".png", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(mask.type(), CV_8UC1);
    ASSERT_EQ(mask.cols, 128);
    const int16_t* hu = study.intensities(f);
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 128; ++x) {
        const Tissue t = phantom.tissueAt(k, x, y);
        const double v = hu[y * 128 + x];
        byTissue[t].add(v);
        const int label = mask.at<uint8_t>(y, x);
        ASSERT_LE(label, 3);
        labelled[label].add(v);
        const int expectedLabel = t == Tissue::Liver ? 1 : t == Tissue::Vessel ? 2 : t == Tissue::Tumour ? 3 : 0;
        ASSERT_EQ(label, expectedLabel) << "slice " << k << " at " << x << "," << y;
      }
  }
  EXPECT_EQ(study.seriesCount(), 1);
  EXPECT_NEAR(labelled[1].mean(), kLiverHU, 2.0);
  EXPECT_NEAR(labelled[2].mean(), kVesselHU, 3.0);
  EXPECT_NEAR(labelled[3].mean(), kTumourHU, 3.0);
  EXPECT_NEAR(labelled[1].sd(), 10.0, 1.0) << "noise of about 10 HU";
  EXPECT_GT(labelled[2].n, 50) << "vessels are present";
  EXPECT_GT(labelled[3].n, 20) << "the tumour is present";
  EXPECT_NEAR(byTissue[Tissue::Air].mean(), kAirHU, 2.0);
  EXPECT_NEAR(byTissue[Tissue::SubcutaneousFat].mean(), kFatHU, 2.0);
  EXPECT_NEAR(byTissue[Tissue::Muscle].mean(), kMuscleHU, 2.0);
  EXPECT_NEAR(byTissue[Tissue::Bone].mean(), kBoneHU, 3.0);
  EXPECT_NEAR(byTissue[Tissue::Kidney].mean(), kKidneyHU, 3.0);
  EXPECT_GT(byTissue[Tissue::StomachAir].n, 0);
  EXPECT_GT(byTissue[Tissue::Table].n, 0);
}

TEST(SyntheticSeries, WriterReportsAFolderItCannotCreate) {
  morvex::testing::TempDir dir;
  std::ofstream(dir.file("file")) << "x";
  PhantomOptions o;
  o.size = 16;
  o.slices = 2;
  std::string error;
  EXPECT_FALSE(writeSeries(o, dir.file("file") + "/sub", &error));
  EXPECT_FALSE(error.empty());
}

namespace {
uint64_t fnv(const PhantomSlice& s) {
  uint64_t h = 1469598103934665603ULL;
  for (int16_t v : s.hu) h = (h ^ static_cast<uint16_t>(v)) * 1099511628211ULL;
  for (uint8_t v : s.labels) h = (h ^ v) * 1099511628211ULL;
  return h;
}
}  // namespace

TEST(SyntheticSeries, TheDefaultPresetStaysAsItWasAndAnotherSeedGivesOtherNoise) {
  PhantomOptions o;
  o.size = 64;
  o.slices = 12;
  const Phantom p(o);
  // hashes of the default preset before the hard preset existed
  EXPECT_EQ(fnv(p.slice(3)), 14037298175612284669ULL);
  EXPECT_EQ(fnv(p.slice(7)), 17135143593090118080ULL);
  o.seed = 2;
  const PhantomSlice other = Phantom(o).slice(3);
  EXPECT_NE(other.hu, p.slice(3).hu);
}
