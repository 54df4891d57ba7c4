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

TEST(SyntheticSeries, VesselTruthIsOneConnectedTreeAtFullSize) {
  // 512 x 512 x 120 as written by default; only the box around the liver is classified
  const PhantomOptions o;
  const Phantom phantom(o);
  const int x0 = 20, x1 = 350, y0 = 110, y1 = 380, w = x1 - x0, h = y1 - y0, n = o.slices;
  std::vector<uint8_t> vessel(static_cast<std::size_t>(w) * h * n);
  auto at = [&](int x, int y, int k) { return (static_cast<std::size_t>(k) * h + y) * w + x; };
  for (int k = 0; k < n; ++k)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) vessel[at(x, y, k)] = phantom.tissueAt(k, x + x0, y + y0) == Tissue::Vessel;
  for (int k = 0; k < n; ++k)  // the box holds the whole liver: nothing of it on the box's rim
    for (int y = 0; y < h; ++y)
      EXPECT_FALSE(vessel[at(0, y, k)] || vessel[at(w - 1, y, k)]) << "slice " << k;
  // 26-connected components
  std::vector<int> component(vessel.size(), 0);
  std::vector<long> sizes;
  std::vector<int> firstSlice, lastSlice;
  for (std::size_t start = 0; start < vessel.size(); ++start) {
    if (!vessel[start] || component[start]) continue;
    const int id = static_cast<int>(sizes.size()) + 1;
    sizes.push_back(0);
    firstSlice.push_back(n);
    lastSlice.push_back(-1);
    std::vector<std::size_t> stack{start};
    component[start] = id;
    while (!stack.empty()) {
      const std::size_t p = stack.back();
      stack.pop_back();
      const int k = static_cast<int>(p / (static_cast<std::size_t>(w) * h)), y = static_cast<int>(p / w % h),
                x = static_cast<int>(p % w);
      ++sizes.back();
      firstSlice.back() = std::min(firstSlice.back(), k);
      lastSlice.back() = std::max(lastSlice.back(), k);
      for (int dk = -1; dk <= 1; ++dk)
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int X = x + dx, Y = y + dy, K = k + dk;
            if (X < 0 || Y < 0 || K < 0 || X >= w || Y >= h || K >= n) continue;
            const std::size_t q = at(X, Y, K);
            if (vessel[q] && !component[q]) {
              component[q] = id;
              stack.push_back(q);
            }
          }
    }
  }
  ASSERT_EQ(sizes.size(), 1u) << "the vessels of the liver form one tree";
  EXPECT_GT(sizes[0], 30000);
  EXPECT_GE(lastSlice[0] - firstSlice[0], 50) << "the tree runs through most of the liver";
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

TEST(SyntheticSeries, TheHardPresetAddsHeartDiaphragmTongueLesionsAndNotch) {
  PhantomOptions o;
  o.size = 256;
  o.slices = 60;
  o.pixelSpacing = 1.4;
  const Phantom plain(o);
  o.hard = true;
  const Phantom hard(o);
  int heartSlices = 0, firstLiver = -1, lastLiver = -1, lastPlainLiver = -1;
  long heartNextToLiver = 0, diaphragm = 0, borderLesion = 0, notch = 0, tongueTouchesWall = 0;
  for (int k = 0; k < o.slices; ++k) {
    const PhantomSlice s = hard.slice(k), base = plain.slice(k);
    bool heart = false, liver = false, plainLiver = false;
    for (int y = 1; y < 255; ++y)
      for (int x = 1; x < 255; ++x) {
        const Tissue t = hard.tissueAt(k, x, y);
        const std::size_t i = static_cast<std::size_t>(y) * 256 + x;
        if (t == plain.tissueAt(k, x, y)) {
          EXPECT_EQ(s.hu[i], base.hu[i]) << "the same noise where nothing changed";
        }
        heart |= t == Tissue::Heart;
        liver |= s.labels[i] != 0;
        plainLiver |= base.labels[i] != 0;
        diaphragm += t == Tissue::Diaphragm;
        notch += t == Tissue::PortalVein && s.labels[i] == 0;
        const Tissue n4[] = {hard.tissueAt(k, x + 1, y), hard.tissueAt(k, x - 1, y), hard.tissueAt(k, x, y + 1),
                             hard.tissueAt(k, x, y - 1)};
        for (Tissue n : n4) {
          heartNextToLiver += t == Tissue::Heart && (n == Tissue::Liver || n == Tissue::Vessel);
          borderLesion += t == Tissue::Tumour && s.labels[i] == kGtTumour && n == Tissue::VisceralFat;
          tongueTouchesWall += k > 46 && s.labels[i] && n != Tissue::Liver && n != Tissue::VisceralFat;
        }
      }
    heartSlices += heart;
    if (liver && firstLiver < 0) firstLiver = k;
    if (liver) lastLiver = k;
    if (plainLiver) lastPlainLiver = k;
  }
  EXPECT_GE(heartSlices, 6);
  EXPECT_LT(heartSlices, firstLiver + 5) << "the heart lies above the liver's top (its dome's islands beside it)";
  EXPECT_GT(diaphragm, 100);
  EXPECT_EQ(heartNextToLiver, 0) << "the diaphragm always separates heart and liver";
  EXPECT_GT(borderLesion, 10) << "lesions reach the liver's border";
  EXPECT_GT(notch, 50) << "the portal vein lies in a notch, outside the liver";
  EXPECT_GE(lastLiver, lastPlainLiver + 4) << "the tongue reaches further down";
  EXPECT_EQ(tongueTouchesWall, 0) << "the tongue lies in visceral fat";
}
