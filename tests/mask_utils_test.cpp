// Seed fill against OpenCV's 4-connected flood fill, the fill's edge cases, digital lines in every
// octant, and the body mask on the synthetic phantom.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "segmentation/label_cleanup.h"
#include "segmentation/mask_utils.h"
#include "tools/synthct/phantom.h"

namespace {

// Reference: pixels 4-connected to an in-range seed through in-range pixels, by cv::floodFill.
template <typename T>
std::vector<int16_t> referenceFill(const std::vector<T>& src, int w, int h, double lo, double hi,
                                   const std::vector<int16_t>& sx, const std::vector<int16_t>& sy) {
  cv::Mat inRange(h, w, CV_8UC1);
  for (int i = 0; i < w * h; ++i) inRange.data[i] = (src[i] >= lo && src[i] <= hi) ? 1 : 0;
  cv::Mat mask = cv::Mat::zeros(h + 2, w + 2, CV_8UC1);
  for (std::size_t s = 0; s < sx.size(); ++s) {
    if (sx[s] == -1 || sy[s] == -1) break;
    if (sx[s] < 0 || sy[s] < 0 || sx[s] >= w || sy[s] >= h) continue;
    if (!inRange.at<uint8_t>(sy[s], sx[s])) continue;
    cv::floodFill(inRange, mask, cv::Point(sx[s], sy[s]), 0, nullptr, 0, 0, 4 | cv::FLOODFILL_MASK_ONLY | (1 << 8));
  }
  std::vector<int16_t> out(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out[y * w + x] = mask.at<uint8_t>(y + 1, x + 1) ? 7 : -3;
  return out;
}

}  // namespace

TEST(SeedFill, MatchesFourConnectedFloodFillOnRandomImages) {
  std::mt19937 rng(12345);
  for (int trial = 0; trial < 200; ++trial) {
    const int w = 1 + static_cast<int>(rng() % 60), h = 1 + static_cast<int>(rng() % 50);
    const int levels = 2 + static_cast<int>(rng() % 6);
    std::vector<uint8_t> img8(static_cast<std::size_t>(w) * h);
    std::vector<int16_t> img16(img8.size());
    for (std::size_t i = 0; i < img8.size(); ++i) {
      img8[i] = static_cast<uint8_t>((rng() % levels) * 40);
      img16[i] = static_cast<int16_t>(static_cast<int>(rng() % 2000) - 1000);
    }
    std::vector<int16_t> sx, sy;
    for (int s = 0, n = 1 + static_cast<int>(rng() % 6); s < n; ++s) {
      sx.push_back(static_cast<int16_t>(rng() % w));
      sy.push_back(static_cast<int16_t>(rng() % h));
    }
    const float lo8 = static_cast<float>(rng() % 200) - 0.5f, hi8 = lo8 + static_cast<float>(rng() % 120);
    std::vector<int16_t> out(img8.size());
    morvex::seedFill(img8.data(), lo8, hi8, sx.data(), sy.data(), static_cast<int>(sx.size()), w, h, out.data(), 7, -3);
    ASSERT_EQ(out, referenceFill(img8, w, h, lo8, hi8, sx, sy)) << "8-bit trial " << trial;

    const int lo = static_cast<int>(rng() % 1600) - 1000, hi = lo + static_cast<int>(rng() % 900);
    morvex::seedFill(img16.data(), static_cast<float>(lo) + 0.25f, static_cast<float>(hi), sx.data(), sy.data(),
                     static_cast<int>(sx.size()), w, h, out.data(), 7, -3);
    ASSERT_EQ(out, referenceFill(img16, w, h, lo + 0.25, hi, sx, sy)) << "16-bit trial " << trial;
    morvex::seedFillInt(img16.data(), lo, hi, sx.data(), sy.data(), static_cast<int>(sx.size()), w, h, out.data(), 7, -3);
    ASSERT_EQ(out, referenceFill(img16, w, h, lo, hi, sx, sy)) << "integer trial " << trial;

    // Walls: pixels marked in b read as the "other" value (-3, outside every window used here).
    std::vector<int16_t> walls(img16.size());
    for (auto& v : walls) v = static_cast<int16_t>(rng() % 5 == 0);
    std::vector<int16_t> built(img16.size());
    for (std::size_t i = 0; i < built.size(); ++i) built[i] = walls[i] ? -3 : img16[i];
    morvex::seedFillExcluding(img16.data(), walls.data(), std::max(lo, 0), hi, sx.data(), sy.data(),
                              static_cast<int>(sx.size()), w, h, out.data(), 7, -3);
    ASSERT_EQ(out, referenceFill(built, w, h, std::max(lo, 0), hi, sx, sy)) << "walled trial " << trial;

    // The output buffer may be the source itself: the same filled set as with a separate buffer.
    std::vector<int16_t> inPlace = img16;
    morvex::seedFillInt(inPlace.data(), lo, hi, sx.data(), sy.data(), static_cast<int>(sx.size()), w, h,
                        inPlace.data(), 7, -3);
    ASSERT_EQ(inPlace, referenceFill(img16, w, h, lo, hi, sx, sy)) << "in-place trial " << trial;
    inPlace = img16;
    morvex::seedFill(inPlace.data(), static_cast<float>(lo), static_cast<float>(hi), sx.data(), sy.data(),
                     static_cast<int>(sx.size()), w, h, inPlace.data(), 7, -3);
    ASSERT_EQ(inPlace, referenceFill(img16, w, h, lo, hi, sx, sy)) << "in-place float trial " << trial;
    inPlace = walls;
    morvex::seedFillExcluding(img16.data(), inPlace.data(), std::max(lo, 0), hi, sx.data(), sy.data(),
                              static_cast<int>(sx.size()), w, h, inPlace.data(), 7, -3);
    ASSERT_EQ(inPlace, referenceFill(built, w, h, std::max(lo, 0), hi, sx, sy)) << "in-place walls " << trial;
  }
}

TEST(SeedFill, EndMarkerOutOfRangeSeedsAndSinglePixels) {
  // 5 x 3: two separate zero regions; a lone 0 at (4, 2) touches the others only diagonally.
  const std::vector<uint8_t> img = {0, 0, 9, 0, 0,
                                    0, 0, 9, 0, 9,
                                    9, 9, 9, 9, 0};
  std::vector<int16_t> out(15);
  auto filledCount = [&] { return std::count(out.begin(), out.end(), 1); };
  const int16_t sx[] = {0, -1, 3}, sy[] = {0, -1, 0};
  morvex::seedFill(img.data(), 0, 0, sx, sy, 3, 5, 3, out.data(), 1, 0);
  EXPECT_EQ(filledCount(), 4) << "the end marker stops the seed list: only the left region";
  EXPECT_EQ(out[3], 0);

  const int16_t lone[] = {4}, loneY[] = {2};
  morvex::seedFill(img.data(), 0, 0, lone, loneY, 1, 5, 3, out.data(), 1, 0);
  EXPECT_EQ(filledCount(), 1) << "diagonal neighbours are never reached";
  EXPECT_EQ(out[14], 1);

  const int16_t outsideX[] = {5, -7, 2}, outsideY[] = {0, 1, 0};
  morvex::seedFill(img.data(), 0, 0, outsideX, outsideY, 3, 5, 3, out.data(), 1, 0);
  EXPECT_EQ(filledCount(), 0) << "seeds outside the image or on out-of-window pixels fill nothing";
  morvex::seedFill(img.data(), 0, 0, nullptr, nullptr, 0, 5, 3, out.data(), 1, 0);
  EXPECT_EQ(filledCount(), 0);
  EXPECT_EQ(out[0], 0);
}

TEST(DigitalLine, InteriorPointsInEveryOctant) {
  std::vector<int> px(64), py(64);
  int count = 0;
  const std::pair<int, int> ends[] = {{7, 3}, {3, 7}, {-3, 7}, {-7, 3}, {-7, -3}, {-3, -7}, {3, -7}, {7, -3},
                                      {6, 6}, {-6, 6}, {9, 0}, {0, -9}};
  for (const auto& [ex, ey] : ends) {
    const int x0 = 10, y0 = 20, x1 = x0 + ex, y1 = y0 + ey;
    morvex::getLinePoints(x0, y0, x1, y1, px.data(), py.data(), &count);
    ASSERT_EQ(count, std::max(std::abs(ex), std::abs(ey)) - 1) << ex << "," << ey;
    // Points run from one endpoint to the other in unit steps and stay within half a pixel of the line.
    const bool fromStart = std::abs(px[0] - x0) <= 1 && std::abs(py[0] - y0) <= 1;
    int prevX = fromStart ? x0 : x1, prevY = fromStart ? y0 : y1;
    for (int i = 0; i < count; ++i) {
      EXPECT_LE(std::max(std::abs(px[i] - prevX), std::abs(py[i] - prevY)), 1);
      const double dist = std::abs(static_cast<double>(ey) * (px[i] - x0) - static_cast<double>(ex) * (py[i] - y0)) /
                          std::max(std::abs(ex), std::abs(ey));
      EXPECT_LE(dist, 0.5 + 1e-9) << ex << "," << ey << " point " << i;
      prevX = px[i];
      prevY = py[i];
    }
    EXPECT_LE(std::max(std::abs((fromStart ? x1 : x0) - prevX), std::abs((fromStart ? y1 : y0) - prevY)), 1);
  }
  morvex::getLinePoints(4, 4, 4, 4, px.data(), py.data(), &count);
  EXPECT_EQ(count, -1);
  morvex::getLinePoints(4, 4, 5, 5, px.data(), py.data(), &count);
  EXPECT_EQ(count, 0);
}

TEST(BodyMask, CoversTheBodyOfThePhantomAndNothingElse) {
  morvex::synth::PhantomOptions o;
  o.size = 160;
  o.slices = 12;
  const morvex::synth::Phantom phantom(o);
  for (int k : {2, 6, 10}) {
    const morvex::synth::PhantomSlice s = phantom.slice(k);
    const std::vector<int16_t> mask = morvex::extractBodyMask(s.hu.data(), 160, 160);
    int wrong = 0, body = 0;
    for (int y = 0; y < 160; ++y)
      for (int x = 0; x < 160; ++x) {
        const auto t = phantom.tissueAt(k, x, y);
        const bool inBody = t != morvex::synth::Tissue::Air && t != morvex::synth::Tissue::Table;
        body += inBody;
        wrong += (mask[y * 160 + x] == 255) != inBody;
        ASSERT_TRUE(mask[y * 160 + x] == 0 || mask[y * 160 + x] == 255);
      }
    EXPECT_EQ(wrong, 0) << "slice " << k << ": the stomach's air is a hole of the body, the table is outside";
    EXPECT_GT(body, 160 * 160 / 4);
  }
}

TEST(BodyMask, CentreInAirGivesAnEmptyBodyAndClearingTwiceChangesNothing) {
  std::vector<int16_t> air(100 * 100, -1000);
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 15; ++x) air[y * 100 + x] = 40;  // tissue in a corner only
  const std::vector<int16_t> mask = morvex::extractBodyMask(air.data(), 100, 100);
  EXPECT_EQ(std::count(mask.begin(), mask.end(), 255), 0);
  morvex::clearOutsideBody(air.data(), 100, 100);
  EXPECT_EQ(std::count(air.begin(), air.end(), 0), 100 * 100) << "everything outside the (empty) body becomes 0";

  morvex::synth::PhantomOptions o;
  o.size = 128;
  o.slices = 5;
  std::vector<int16_t> hu = morvex::synth::Phantom(o).slice(2).hu;
  morvex::clearOutsideBody(hu.data(), 128, 128);
  const std::vector<int16_t> once = hu;
  EXPECT_GT(std::count(hu.begin(), hu.end(), 0), 128 * 128 / 4);
  morvex::clearOutsideBody(hu.data(), 128, 128);
  EXPECT_EQ(hu, once) << "the cleared pixels lie above -424: a second run keeps everything";
}

TEST(LabelCleanup, DeNoiseMakesOneLiverObject) {
  // a ring of vessel and cancer labels around an unlabelled hole, background outside
  std::vector<uint8_t> labels = {0, 0, 0, 0, 0,
                                 0, 2, 3, 2, 0,
                                 0, 2, 0, 2, 0,
                                 0, 2, 2, 7, 0};
  morvex::deNoiseLabels(labels.data(), 5, 4);
  const std::vector<uint8_t> expected = {0, 0, 0, 0, 0,
                                         0, 1, 1, 1, 0,
                                         0, 1, 1, 1, 0,
                                         0, 1, 1, 1, 0};
  EXPECT_EQ(labels, expected);
  std::vector<uint8_t> corner = {5, 0, 0, 0};
  morvex::deNoiseLabels(corner.data(), 2, 2);
  EXPECT_EQ(corner, (std::vector<uint8_t>{1, 1, 1, 1})) << "a labelled corner turns the whole slice into liver";
}

TEST(LabelCleanup, VesselLabelsStayOnlyOverTheLiver) {
  const std::vector<uint8_t> before = {1, 4, 5, 0, 3, 0, 1};
  const std::vector<uint8_t> after = {2, 6, 7, 2, 2, 1, 1};
  std::vector<uint8_t> labels = after;
  morvex::reLabel(labels.data(), before.data(), after.data(), labels.size());
  EXPECT_EQ(labels, (std::vector<uint8_t>{2, 6, 7, 0, 3, 1, 1}));
}

TEST(LabelCleanup, WindowedImageUsesAnEvenWidth) {
  const int16_t v[] = {-5, -1, 0, 9, 10, 11, 12};
  EXPECT_EQ(morvex::windowedImage(v, 7, 0, 11), (std::vector<uint8_t>{0, 0, 0, 208, 231, 255, 255}));
  EXPECT_EQ(morvex::windowedImage(v, 7, -1, -1), (std::vector<uint8_t>{0, 0, 255, 255, 255, 255, 255}));
}
