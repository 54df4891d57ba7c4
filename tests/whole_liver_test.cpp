// Whole-liver volumetry: LiverSeg on the hard synthetic preset (dome islands, large tumours, a tip in
// pieces) followed by one tumour click per lesion, scored against the generator's truth; the click
// engine's outcomes on a small crafted volume; the whole-liver figures of the readout and report.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/area_statistics.h"
#include "export/report_writer.h"
#include "segmentation/liver_driver.h"
#include "segmentation/liver_segmenter.h"
#include "segmentation/tumour_click.h"
#include "tests/testing_support.h"
#include "tools/synthct/series_writer.h"
#include "view/slice_render.h"

namespace {

using morvex::TumourClickStatus;

// 6-connected parts of a volume mask (slices of w x h): each part's voxel indices.
std::vector<std::vector<std::size_t>> parts(const std::vector<uint8_t>& in, int w, int h, int d) {
  std::vector<std::vector<std::size_t>> out;
  std::vector<uint8_t> seen(in.size(), 0);
  const std::size_t plane = static_cast<std::size_t>(w) * h;
  for (std::size_t s = 0; s < in.size(); ++s) {
    if (!in[s] || seen[s]) continue;
    std::vector<std::size_t> part, todo = {s};
    seen[s] = 1;
    while (!todo.empty()) {
      const std::size_t i = todo.back();
      todo.pop_back();
      part.push_back(i);
      const int x = static_cast<int>(i % w), y = static_cast<int>(i / w % h), z = static_cast<int>(i / plane);
      const int n[6][3] = {{x + 1, y, z}, {x - 1, y, z}, {x, y + 1, z}, {x, y - 1, z}, {x, y, z + 1}, {x, y, z - 1}};
      for (const auto& q : n) {
        if (q[0] < 0 || q[1] < 0 || q[2] < 0 || q[0] >= w || q[1] >= h || q[2] >= d) continue;
        const std::size_t j = static_cast<std::size_t>(q[2]) * plane + static_cast<std::size_t>(q[1]) * w + q[0];
        if (in[j] && !seen[j]) {
          seen[j] = 1;
          todo.push_back(j);
        }
      }
    }
    out.push_back(std::move(part));
  }
  return out;
}

double dice(long both, long a, long b) { return a + b ? 2.0 * static_cast<double>(both) / static_cast<double>(a + b) : 1.0; }

morvex::LiverIntensity liverOf(const morvex::Study& study) {
  morvex::AreaStatistics st(7);
  morvex::SeriesStatistics series;
  series.compute(study, 0, false, st);
  return morvex::liverIntensityOf(st);
}

constexpr int kSize = 256, kSlices = 60, kSeed = 25;
constexpr std::size_t kPlane = static_cast<std::size_t>(kSize) * kSize;

// A generated series (256 x 256 x 60, 1.4 mm pixels, 5 mm slices) loaded with its truth, the seed
// slice labelled from the truth.
struct Generated {
  morvex::testing::TempDir dir;
  morvex::synth::PhantomOptions o;
  morvex::Study study;
  std::vector<uint8_t> truth;
  explicit Generated(bool hard) {
    o.hard = hard;
    o.size = kSize;
    o.slices = kSlices;
    o.pixelSpacing = 1.4;
    o.sliceThickness = 5.0;
    std::string error;
    EXPECT_TRUE(morvex::synth::writeSeries(o, dir.path(), &error)) << error;
    for (int k = 0; k < kSlices; ++k) {
      EXPECT_EQ(study.addFrameFromFile(dir.file(morvex::synth::sliceFileName(k) + ".dcm").c_str()), k);
      const cv::Mat gt = cv::imread(dir.file("m_" + morvex::synth::sliceFileName(k) + ".png"), cv::IMREAD_UNCHANGED);
      truth.insert(truth.end(), gt.data, gt.data + kPlane);
    }
    seed();
  }
  void seed() {
    for (int k = 0; k < kSlices; ++k) std::fill(study.labelImage(k), study.labelImage(k) + kPlane, 0);
    for (std::size_t i = 0; i < kPlane; ++i) study.labelImage(kSeed)[i] = truth[kPlane * kSeed + i] ? 1 : 0;
  }
  // LiverSeg from the seed; the Dice of label 1 against the whole truth.
  double liverSeg(bool followPieces) {
    morvex::LiverRunOptions options;
    options.currentFrame = kSeed;
    options.followPieces = followPieces;
    options.log = std::tmpfile();
    EXPECT_EQ(morvex::segmentLiver(study, options), morvex::LiverRunResult::Done);
    std::fclose(options.log);
    long both = 0, mine = 0, theirs = 0;
    for (int k = 0; k < kSlices; ++k)
      for (std::size_t i = 0; i < kPlane; ++i) {
        const bool p = study.labelImage(k)[i] == 1, g = truth[kPlane * k + i] != 0;
        both += p && g;
        mine += p;
        theirs += g;
      }
    return dice(both, mine, theirs);
  }
};

}  // namespace

// On the plain series following the pieces costs nothing (the parts of the left lobe the growth
// cuts off near the stomach are liver: it gains a little), and the outline on the liver's edge
// lifts the Dice from 0.943 to 0.967.
TEST(WholeLiver, FollowingPiecesNeverCostsThePlainSeries) {
  Generated g(false);
  const double without = g.liverSeg(false);
  g.seed();
  const double with = g.liverSeg(true);
  std::printf("plain series Dice %.5f, %.5f without following pieces\n", with, without);
  EXPECT_GE(with - without, -0.002);
  EXPECT_GE(with, 0.96);
}

// The hard preset: LiverSeg from one seed slice reaches both ends through the dome's islands and the
// tip's pieces; one click per tumour then labels each lesion; the whole liver comes out whole.
TEST(WholeLiver, HardPresetLiverSegThenOneClickPerTumour) {
  Generated g(true);
  morvex::Study& study = g.study;
  const std::vector<uint8_t>& truth = g.truth;
  const std::size_t plane = kPlane;
  // the preset: islands at the dome and pieces at the tip on some slices, tumours over 100 mL
  int islandSlices = 0;
  for (int k = 0; k < kSlices; ++k) {
    cv::Mat m(kSize, kSize, CV_8U, const_cast<uint8_t*>(truth.data()) + plane * k), ids;
    islandSlices += cv::connectedComponents(m > 0, ids, 8) - 1 > 1;
  }
  EXPECT_GE(islandSlices, 3) << "the dome and the tip show as several pieces";
  std::vector<uint8_t> isTumour(truth.size());
  for (std::size_t i = 0; i < truth.size(); ++i) isTumour[i] = truth[i] == morvex::synth::kGtTumour;
  const auto lesions = parts(isTumour, kSize, kSize, kSlices);
  const double voxelMl = 1.4 * 1.4 * 5.0 / 1000;
  int large = 0;
  for (const auto& l : lesions) large += static_cast<double>(l.size()) * voxelMl > 100.0;
  EXPECT_EQ(large, 2);

  g.liverSeg(true);
  int firstTruth = -1, lastTruth = -1, firstLabel = -1, lastLabel = -1;
  for (int k = 0; k < kSlices; ++k) {
    bool t = false, l = false;
    for (std::size_t i = 0; i < plane; ++i) {
      t |= truth[plane * k + i] != 0;
      l |= study.labelImage(k)[i] != 0;
    }
    if (t && firstTruth < 0) firstTruth = k;
    if (t) lastTruth = k;
    if (l && firstLabel < 0) firstLabel = k;
    if (l) lastLabel = k;
  }
  std::printf("liver slices %d-%d, labelled %d-%d\n", firstTruth, lastTruth, firstLabel, lastLabel);
  EXPECT_LE(std::abs(firstLabel - firstTruth), 2) << "the dome";
  EXPECT_LE(std::abs(lastLabel - lastTruth), 2) << "the tip";

  // one click per lesion, at its deepest pixel on its largest slice
  const morvex::LiverIntensity liver = liverOf(study);
  ASSERT_GT(liver.voxels, 0);
  const morvex::TumourVolume volume = morvex::tumourVolumeOf(study, 0);
  ASSERT_EQ(volume.slices(), kSlices);
  std::vector<uint8_t*> labels;
  for (int k = 0; k < kSlices; ++k) labels.push_back(study.labelImage(k));
  for (const auto& lesion : lesions) {
    std::vector<long> perSlice(kSlices, 0);
    for (std::size_t i : lesion) ++perSlice[i / plane];
    const int z = static_cast<int>(std::max_element(perSlice.begin(), perSlice.end()) - perSlice.begin());
    cv::Mat m(kSize, kSize, CV_8U, cv::Scalar(0)), distance;
    for (std::size_t i : lesion)
      if (static_cast<int>(i / plane) == z) m.data[i % plane] = 255;
    cv::distanceTransform(m, distance, cv::DIST_L2, 3);
    cv::Point deepest;
    cv::minMaxLoc(distance, nullptr, nullptr, nullptr, &deepest);
    const morvex::TumourRegion r = morvex::segmentTumourFromClick(volume, z, deepest.x, deepest.y, liver);
    ASSERT_EQ(r.status, TumourClickStatus::Done) << "lesion at slice " << z;
    std::vector<uint8_t> mine(truth.size(), 0);
    for (std::size_t k = 0; k < r.slices.size(); ++k)
      for (int32_t i : r.slices[k]) mine[plane * (r.firstSlice + k) + i] = 1;
    long both = 0;
    for (std::size_t i : lesion) both += mine[i];
    const double d = dice(both, r.voxels, static_cast<long>(lesion.size()));
    std::printf("lesion %.1f mL at slice %d: %.1f mL, %.0f HU, Dice %.3f\n", lesion.size() * voxelMl, z, r.voxels * voxelMl,
                r.lesionHU, d);
    // the 0.6 mL lesion too: a lens three voxels wide (59 voxels) between the liver and the body
    // wall's muscle, 30 and 20 HU from them under 10 HU of noise
    EXPECT_GE(d, 0.85) << "lesion at slice " << z;
    EXPECT_GT(morvex::applyTumour(r, labels, 3), 0);
  }
  long whole = 0, wholeTruth = 0, liverBoth = 0, liverMine = 0, liverTruth = 0;
  for (int k = 0; k < kSlices; ++k)
    for (std::size_t i = 0; i < plane; ++i) {
      const uint8_t l = study.labelImage(k)[i], t = truth[plane * k + i];
      whole += l != 0;
      wholeTruth += t != 0;
      const bool p = l == 1, g = t == morvex::synth::kGtLiver || t == morvex::synth::kGtVessel;
      liverBoth += p && g;
      liverMine += p;
      liverTruth += g;
    }
  const double volumeError = 100.0 * static_cast<double>(whole - wholeTruth) / static_cast<double>(wholeTruth);
  const double liverDice = dice(liverBoth, liverMine, liverTruth);
  std::printf("whole liver %.1f mL (truth %.1f mL, %+.2f %%), liver Dice %.4f\n", whole * voxelMl, wholeTruth * voxelMl,
              volumeError, liverDice);
  EXPECT_LE(std::fabs(volumeError), 3.0);
  EXPECT_GE(liverDice, 0.95);
}

// Pieces cut off from the propagated region: a liver disc with a bump on the reference slice; on
// the next slice the bump is an island 9 pixels of fat away from the disc. It is followed, unless
// following is off or it has the heart's intensity.
TEST(LiverPieces, AnIslandOnTheReferenceIsFollowedAndAHeartIsNot) {
  constexpr int N = 128;
  auto slice = [](int discRadius, int islandX, int islandRadius, int islandHU) {
    std::vector<int16_t> px(N * N);
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        const int noise = ((x * 7 + y * 13) % 31 - 15) / 3;
        const int d = (x - 56) * (x - 56) + (y - 64) * (y - 64), i = (x - islandX) * (x - islandX) + (y - 64) * (y - 64);
        px[y * N + x] = static_cast<int16_t>(d <= discRadius * discRadius ? 60 + noise : i <= islandRadius * islandRadius ? islandHU + noise : -90);
      }
    return px;
  };
  const std::vector<int16_t> reference = slice(30, 92, 12, 60), next = slice(28, 101, 7, 60), heart = slice(28, 101, 7, 40);
  // a strip of the liver's intensity two pixels wide (a diaphragm) leaving the island for the edge
  std::vector<int16_t> strip = next;
  for (int y = 64; y < 66; ++y)
    for (int x = 108; x < N; ++x) strip[y * N + x] = 60;
  struct Case {
    const std::vector<int16_t>* to;
    bool follow;
    bool island;
  } cases[] = {{&next, true, true}, {&next, false, false}, {&heart, true, false}, {&strip, true, true}};
  for (const Case& c : cases) {
    std::vector<uint8_t> mask(N * N);
    for (int i = 0; i < N * N; ++i) mask[i] = reference[i] > 0;
    morvex::CLiverSegmenter e;
    std::FILE* log = std::tmpfile();
    e.setLog(log);
    e.setOption(0);
    e.pixelSpacing = 1.0;
    e.followPieces = c.follow;
    e.setInput(reference.data(), mask.data(), N, N, 1);
    e.allocateReference();
    e.saveReference();
    e.restoreReference();
    e.setInput(c.to->data(), mask.data(), N, N, 1);
    e.run(morvex::CLiverSegmenter::RunKind::Propagation);
    std::fclose(log);
    long disc = 0, island = 0, elsewhere = 0, diaphragm = 0;
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        if (!mask[y * N + x]) continue;
        diaphragm += x > 110 && (y == 64 || y == 65);
        const bool inDisc = (x - 56) * (x - 56) + (y - 64) * (y - 64) <= 29 * 29;
        const bool inIsland = (x - 101) * (x - 101) + (y - 64) * (y - 64) <= 8 * 8;
        (inDisc ? disc : inIsland ? island : elsewhere)++;
      }
    EXPECT_GT(disc, 2000) << c.follow << c.island;
    EXPECT_EQ(island > 100, c.island) << "island pixels " << island;
    EXPECT_EQ(e.lastIslandPixels() > 0, c.island);
    EXPECT_LT(elsewhere, 200);
    EXPECT_EQ(diaphragm, 0) << "the 5 x 5 median keeps the strip out of the piece";
  }
}

// The dome's end in a crafted series (136 x 120 pixels of 1 mm): frame 0 a disc with a bump (the
// seed), frame 1 a smaller disc with the bump cut off 9 pixels away, frame 2 the island alone (the
// disc has ended: only the pieces step reaches it), frame 3 fat. The run follows the island to
// frame 2 and stops there; without following pieces it stops at frame 1.
TEST(LiverPieces, TheRunFollowsAnIslandPastTheEndOfTheMainRegion) {
  constexpr int W = 136, H = 120;
  struct Blob { int x, r; };
  const std::vector<std::vector<Blob>> frames = {{{56, 30}, {92, 12}}, {{56, 28}, {101, 7}}, {{104, 6}}, {}};
  std::vector<long> golden;
  for (const bool follow : {true, false}) {
    morvex::Study study;
    for (std::size_t k = 0; k < frames.size(); ++k) {
      morvex::SliceHeader h;
      h.instanceNumber = static_cast<int>(k) + 1;
      h.pixelSpacing = 1.0f;
      h.sliceThickness = 2.0f;
      const int f = morvex::testing::addFrame(study, h, W, H, -90);
      int16_t* px = study.intensitiesForEdit(f);
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
          for (const Blob& b : frames[k])
            if ((x - b.x) * (x - b.x) + (y - 64) * (y - 64) <= b.r * b.r) {
              px[y * W + x] = static_cast<int16_t>(60 + ((x * 7 + y * 13) % 31 - 15) / 3);
              if (k == 0) study.labelImage(f)[y * W + x] = 1;
            }
    }
    morvex::LiverRunOptions options;
    options.currentFrame = 0;
    options.followPieces = follow;
    options.log = std::tmpfile();
    ASSERT_EQ(morvex::segmentLiver(study, options), morvex::LiverRunResult::Done);
    std::fclose(options.log);
    std::vector<long> counts;
    for (std::size_t k = 0; k < frames.size(); ++k)
      counts.push_back(std::count(study.labelImage(static_cast<int>(k)), study.labelImage(static_cast<int>(k)) + W * H, 1));
    if (follow) golden = counts;
    EXPECT_EQ(study.labelImage(1)[64 * W + 101], follow ? 1 : 0) << "the island cut off on frame 1";
    EXPECT_EQ(counts[2] > 0, follow) << "the island beyond the disc's end";
    EXPECT_EQ(counts[3], 0) << "the run stops at the true end";
  }
  std::printf("labelled per frame: %ld %ld %ld %ld\n", golden[0], golden[1], golden[2], golden[3]);
  EXPECT_EQ(golden, (std::vector<long>{3199, 2383, 109, 0}));
}

// The volume the engine reads over crafted slices (width x height each) and spacings.
morvex::TumourVolume tumourVolume(const std::vector<std::vector<int16_t>>& hu, const std::vector<std::vector<uint8_t>>& labels,
                                  int width, int height, double cs, double rs, double ss) {
  morvex::TumourVolume v;
  v.width = width, v.height = height, v.columnSpacing = cs, v.rowSpacing = rs, v.sliceSpacing = ss;
  for (std::size_t z = 0; z < hu.size(); ++z) {
    v.intensities.push_back(hu[z].data());
    v.labels.push_back(labels[z].data());
  }
  return v;
}

// The engine on a crafted volume: 5 slices of 48 x 36 pixels, 0.8 mm columns, 1.1 mm rows, 2 mm
// apart. The liver label is a block at 60 HU; a hypodense lesion (20 HU) lies inside it and a
// hyperdense one (120 HU) on its border, half outside the label; fat (-100 HU) around.
struct Crafted {
  static constexpr int W = 48, H = 36, D = 5;
  std::vector<std::vector<int16_t>> hu;
  std::vector<std::vector<uint8_t>> labels;
  std::vector<uint8_t> hypo, hyper;  // truth, W x H x D
  Crafted() : hu(D, std::vector<int16_t>(W * H, -100)), labels(D, std::vector<uint8_t>(W * H, 0)), hypo(W * H * D), hyper(W * H * D) {
    for (int z = 0; z < D; ++z)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const std::size_t i = static_cast<std::size_t>(y) * W + x, v = static_cast<std::size_t>(z) * W * H + i;
          // a ripple of +-4 HU stands in for noise: deterministic and below the contrasts
          const int ripple = ((x * 7 + y * 3 + z * 5) % 9) - 4;
          const bool inLiver = x >= 6 && x < 38 && y >= 5 && y < 31;
          const double a = (x - 18.0) / 6.5, b = (y - 17.0) / 5.0, c = (z - 2.0) / 1.6;
          const double e = (x - 36.0) / 5.0, f = (y - 12.0) / 4.0, g = (z - 2.0) / 1.3;
          hypo[v] = a * a + b * b + c * c < 1.0;
          hyper[v] = e * e + f * f + g * g < 1.0;
          if (inLiver) labels[z][i] = x > 30 && y > 22 ? 2 : 1;  // a vessel label in one corner
          hu[z][i] = static_cast<int16_t>((hyper[v] ? 120 : hypo[v] ? 20 : inLiver ? 60 : -100) + ripple);
        }
    labels[2][17 * W + 18] = 8;  // a user's label inside the hypodense lesion
  }
  morvex::TumourVolume volume() const { return tumourVolume(hu, labels, W, H, 0.8, 1.1, 2.0); }
};

TEST(TumourClick, OutcomesOnACraftedVolume) {
  Crafted c;
  const morvex::TumourVolume v = c.volume();
  const morvex::LiverIntensity liver{56, 60, 64, 4000};
  morvex::TumourClickOptions small;
  small.maxMl = 0.05;
  struct Case {
    const char* what;
    int z, x, y;
    morvex::LiverIntensity liver;
    morvex::TumourClickOptions options;
    TumourClickStatus status;
    const std::vector<uint8_t>* truth;
    double lesionHU;
  } cases[] = {
      {"hypodense inside", 2, 18, 17, liver, {}, TumourClickStatus::Done, &c.hypo, 20},
      {"hyperdense on the border", 2, 36, 12, liver, {}, TumourClickStatus::Done, &c.hyper, 120},
      {"liver", 2, 27, 24, liver, {}, TumourClickStatus::NoContrast, nullptr, 60},
      {"fat far from the liver", 2, 46, 34, liver, {}, TumourClickStatus::OutsideLiver, nullptr, 0},
      {"no liver histogram", 2, 18, 17, morvex::LiverIntensity{}, {}, TumourClickStatus::NoLiver, nullptr, 0},
      {"size guard", 2, 18, 17, liver, small, TumourClickStatus::TooLarge, nullptr, 20},
  };
  for (const Case& k : cases) {
    const morvex::TumourRegion r = morvex::segmentTumourFromClick(v, k.z, k.x, k.y, k.liver, k.options);
    EXPECT_EQ(r.status, k.status) << k.what;
    if (k.status != TumourClickStatus::NoLiver && k.status != TumourClickStatus::OutsideLiver) {
      EXPECT_NEAR(r.lesionHU, k.lesionHU, 12.0) << k.what;
    }
    if (!k.truth) {
      EXPECT_TRUE(r.slices.empty()) << k.what;
      continue;
    }
    long both = 0, truth = 0;
    for (uint8_t t : *k.truth) truth += t;
    for (std::size_t s = 0; s < r.slices.size(); ++s)
      for (int32_t i : r.slices[s]) both += (*k.truth)[(r.firstSlice + s) * Crafted::W * Crafted::H + i];
    EXPECT_GE(dice(both, r.voxels, truth), 0.9) << k.what;
  }
  // Writing: liver and vessel labels and the background of the rim become 3, the user's label stays.
  const morvex::TumourRegion hyper = morvex::segmentTumourFromClick(v, 2, 36, 12, liver);
  std::vector<uint8_t*> labels;
  for (auto& l : c.labels) labels.push_back(l.data());
  long background = 0;
  for (std::size_t s = 0; s < hyper.slices.size(); ++s)
    for (int32_t i : hyper.slices[s]) background += c.labels[hyper.firstSlice + s][i] == 0;
  EXPECT_GT(background, 0) << "the part outside the liver label is taken";
  EXPECT_EQ(morvex::applyTumour(hyper, labels, 3), hyper.voxels);
  const morvex::TumourRegion hypo = morvex::segmentTumourFromClick(v, 2, 18, 17, liver);
  EXPECT_EQ(morvex::applyTumour(hypo, labels, 3), hypo.voxels - 1) << "the user's label stays";
  EXPECT_EQ(c.labels[2][17 * Crafted::W + 18], 8);
  EXPECT_EQ(morvex::applyTumour(hypo, labels, 3), 0) << "a second time writes nothing new";
}

// The edge against its own neighbour: a hypodense lesion (20 HU) on the side of the liver (60 HU)
// where a muscle of 40 HU lies (the midpoint against the liver would take it), and the liver label
// stopping a slice short of the lesion's end. 40 x 32 pixels of 0.9 x 1.2 mm, 5 slices 3 mm apart.
TEST(TumourClick, EdgeAgainstAMuscleAndPastTheLabelsEnd) {
  constexpr int W = 40, H = 32, D = 5;
  std::vector<std::vector<int16_t>> hu(D, std::vector<int16_t>(W * H, -100));
  std::vector<std::vector<uint8_t>> labels(D, std::vector<uint8_t>(W * H, 0));
  std::vector<uint8_t> truth(W * H * D, 0);
  for (int z = 0; z < D; ++z) {
    for (int y = 4; y < 28; ++y)
      for (int x = 4; x < 34; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * W + x;
        const double a = (x - 25.0) / 7.0, b = (y - 16.0) / 6.0, c = (z - 2.5) / 1.8;
        truth[z * W * H + i] = x < 30 && a * a + b * b + c * c < 1.0;
        const int ripple = ((x * 7 + y * 3 + z * 5) % 9) - 4;
        hu[z][i] = static_cast<int16_t>((x >= 30 ? 40 : truth[z * W * H + i] ? 20 : 60) + ripple);
        if (x < 30 && z < 4) labels[z][i] = 1;  // no label on the last slice
      }
  }
  const morvex::TumourVolume v = tumourVolume(hu, labels, W, H, 0.9, 1.2, 3.0);
  const morvex::TumourRegion r = morvex::segmentTumourFromClick(v, 2, 24, 16, morvex::LiverIntensity{56, 60, 64, 4000});
  ASSERT_EQ(r.status, TumourClickStatus::Done);
  long both = 0, muscle = 0, lastSlice = 0, all = 0;
  for (std::size_t s = 0; s < r.slices.size(); ++s)
    for (int32_t i : r.slices[s]) {
      both += truth[(r.firstSlice + s) * W * H + i];
      muscle += i % W >= 30;
      lastSlice += r.firstSlice + static_cast<int>(s) == 4;
    }
  for (uint8_t t : truth) all += t;
  EXPECT_EQ(muscle, 0) << "the muscle beside the lesion stays out";
  EXPECT_GT(lastSlice, 0) << "the lesion's last slice, past the liver label";
  EXPECT_GE(dice(both, r.voxels, all), 0.9);
}

// Noise near the contrast: a lesion of 20 HU in liver of 60 HU, both with noise of up to +-30 HU;
// the edge's neighbours vote. 48 x 40 pixels of 0.8 x 0.8 mm, 5 slices 2.5 mm apart.
TEST(TumourClick, ANoisyEdgeIsDecidedByItsNeighboursToo) {
  constexpr int W = 48, H = 40, D = 5;
  std::vector<std::vector<int16_t>> hu(D, std::vector<int16_t>(W * H, -100));
  std::vector<std::vector<uint8_t>> labels(D, std::vector<uint8_t>(W * H, 0));
  std::vector<uint8_t> truth(W * H * D, 0);
  for (int z = 0; z < D; ++z) {
    for (int y = 2; y < H - 2; ++y)
      for (int x = 2; x < W - 2; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * W + x;
        const double a = (x - 24.0) / 10.0, b = (y - 20.0) / 8.0, c = (z - 2.0) / 2.2;
        truth[z * W * H + i] = a * a + b * b + c * c < 1.0;
        const unsigned hash = (static_cast<unsigned>(x) * 73856093u) ^ (static_cast<unsigned>(y) * 19349663u) ^
                              (static_cast<unsigned>(z) * 83492791u);
        hu[z][i] = static_cast<int16_t>((truth[z * W * H + i] ? 20 : 60) + static_cast<int>(hash % 61u) - 30);
        labels[z][i] = 1;
      }
  }
  const morvex::TumourVolume v = tumourVolume(hu, labels, W, H, 0.8, 0.8, 2.5);
  const morvex::TumourRegion r = morvex::segmentTumourFromClick(v, 2, 24, 20, morvex::LiverIntensity{40, 60, 80, 4000});
  ASSERT_EQ(r.status, TumourClickStatus::Done);
  long both = 0, all = 0;
  for (std::size_t s = 0; s < r.slices.size(); ++s)
    for (int32_t i : r.slices[s]) both += truth[(r.firstSlice + s) * W * H + i];
  for (uint8_t t : truth) all += t;
  // golden: the neighbours' weight and the local tissue's reach move it (without the vote the lesion
  // takes 1048 voxels, Dice 0.81)
  EXPECT_EQ(r.voxels, 708);
  EXPECT_EQ(both, 704);
  EXPECT_GE(dice(both, r.voxels, all), 0.98);
}

// The readout and the report add liver, vessels and tumours up as the whole liver, the other rows
// as they were.
TEST(WholeLiver, ReadoutAndReportCarryTheWholeLiver) {
  const uint8_t labels[] = {1, 1, 1, 2, 3, 3, 5, 7, 8, 0};
  const int16_t hu[10] = {};
  morvex::AreaStatistics st(8);
  st.computeSlice(hu, labels, 5, 2, false);
  const morvex::VolumeReadout r = morvex::computeVolumeReadout(2.0, &st);
  EXPECT_FLOAT_EQ(r.tumours, 4.0f);
  EXPECT_FLOAT_EQ(r.wholeLiver, 16.0f) << "labels 1 to 7, the user's label 8 out";
  EXPECT_FLOAT_EQ(r.liver, 4.0f) << "the divided lobes alone, as before";
  morvex::SliceHeader h;
  h.patientId = "ID7";
  h.pixelSpacing = 10.0f;
  h.sliceThickness = 2.5f;  // 0.25 mL a voxel
  const std::string text = morvex::volumeReportText(h, st);
  ASSERT_EQ(text.rfind(morvex::reportText(h, st), 0), 0u) << "the report's rows unchanged";
  std::istringstream last(text.substr(text.rfind('\n') + 1));
  std::string name, value;
  std::getline(last, name, '\t');
  std::getline(last, value);
  EXPECT_EQ(name, "whole liver");
  EXPECT_DOUBLE_EQ(std::stod(value), 2.0);
}
