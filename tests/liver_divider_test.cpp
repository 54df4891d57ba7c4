// Liver division: border extension, division maps, stroke resampling, interpolation between key
// slices, the tool's stages and drags, applying to the labels, and taking a division back. (The
// volumes of the two sides are the statistics', readout's and report's tests on divided labels.)

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "segmentation/liver_divider.h"
#include "study/label_table.h"
#include "study/study.h"
#include "tests/testing_support.h"

using morvex::CLiverDivider;
using morvex::DivisionLine;
using morvex::DivPoint;
using morvex::Study;

namespace {

constexpr int W = 64, H = 48;

DivisionLine line(std::initializer_list<DivPoint> points) {
  DivisionLine l;
  for (DivPoint p : points) l.append(p, 0, p);
  return l;
}

// A series of `count` W x H frames; frames first..last hold a liver disc of radius 15 at (32, 24).
int addSeries(Study& study, int count, int first, int last, const std::string& patient = "P") {
  int s = -1;
  for (int i = 0; i < count; ++i) {
    morvex::SliceHeader h;
    h.patientName = patient;
    h.seriesDate = "20200101";
    h.instanceNumber = i + 1;
    h.pixelSpacing = 0.5f;
    h.sliceThickness = 2.0f;
    const int f = morvex::testing::addFrame(study, h, W, H);
    s = study.seriesOfFrame(f);
    if (i < first || i > last) continue;
    uint8_t* labels = study.labelImage(f);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        if ((x - 32) * (x - 32) + (y - 24) * (y - 24) <= 225) labels[y * W + x] = morvex::kLiver;
  }
  return s;
}

int countLabel(const Study& study, int f, uint8_t value) {
  const uint8_t* l = study.labelImage(f);
  return static_cast<int>(std::count(l, l + study.width(f) * study.height(f), value));
}

// Pixels of the disc (or any label) on frame f with x < column, and the rest.
std::pair<int, int> discSplit(const Study& study, int f, int column, uint8_t value) {
  const uint8_t* l = study.labelImage(f);
  int left = 0, right = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (l[y * W + x] == value) (x < column ? left : right)++;
  return {left, right};
}

// Draws a stroke with the tool as the pointer would: press, moves, release.
CLiverDivider::ReleaseResult drawStroke(CLiverDivider& d, const Study& s, int f, std::initializer_list<DivPoint> pts) {
  auto it = pts.begin();
  d.press(s, f, it->x, it->y);
  DivPoint last = *it;
  for (++it; it != pts.end(); ++it) {
    d.move(f, it->x, it->y, true);
    last = *it;
  }
  return d.release(s, f, last.x, last.y, true);
}

CLiverDivider::ReleaseResult click(CLiverDivider& d, const Study& s, int f, int x, int y) {
  d.press(s, f, x, y);
  return d.release(s, f, x, y, true);
}

// Column of the first map value 2 in row y (the line's column on a vertical division).
int boundaryColumn(const uint8_t* map, int y) {
  for (int x = 0; x < W; ++x)
    if (map[y * W + x] == 2) return x;
  return -1;
}

}  // namespace

TEST(DivisionGeometry, ExtensionMeetsTheBorderOppositeTheReferencePoint) {
  EXPECT_EQ(morvex::extendToBorder({10, 10}, {10, 20}, W, H), (DivPoint{10, 0})) << "q below: top border";
  EXPECT_EQ(morvex::extendToBorder({10, 10}, {10, 5}, W, H), (DivPoint{10, H - 1})) << "q above: bottom border";
  EXPECT_EQ(morvex::extendToBorder({10, 10}, {20, 10}, W, H), (DivPoint{0, 10})) << "q right: left border";
  EXPECT_EQ(morvex::extendToBorder({10, 10}, {5, 10}, W, H), (DivPoint{W - 1, 10})) << "q left: right border";
  EXPECT_EQ(morvex::extendToBorder({5, 10}, {7, 12}, W, H), (DivPoint{0, 5})) << "diagonal: first border crossed";
  EXPECT_EQ(morvex::extendToBorder({60, 40}, {58, 36}, W, H), (DivPoint{63, 46}));
  EXPECT_EQ(morvex::extendToBorder({7, 7}, {7, 7}, W, H), (DivPoint{7, 7})) << "no direction: stays";
}

// (a vertical line stopping short, drawn either way: AStraightKeyLine... and Interpolation... below)
TEST(DivisionGeometry, AHorizontalLineThatStopsShortStillCutsTheWholeImage) {
  // the top and bottom halves have equal mean x, so the filled (top) side is 1
  std::vector<uint8_t> map;
  ASSERT_TRUE(morvex::divisionMapFromLine(line({{30, 10}, {40, 10}}), W, H, map));
  EXPECT_EQ(map[0], 1);
  EXPECT_EQ(map[10 * W], 2) << "the line itself belongs to the unfilled side";
  EXPECT_EQ(map[(H - 1) * W + W - 1], 2);
}

TEST(DivisionGeometry, ALineThroughTheSeedCornerStillDividesAndDegenerateLinesAreRefused) {
  // the main diagonal runs through (0, 0): the lower-left triangle with the diagonal (the side
  // not reached from the first free border pixel, and of smaller mean x) is 1
  std::vector<uint8_t> map;
  ASSERT_TRUE(morvex::divisionMapFromLine(line({{10, 10}, {30, 30}}), H, H, map));
  int ones = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < H; ++x) {
      ASSERT_EQ(map[y * H + x], x <= y ? 1 : 2) << x << "," << y;
      ones += map[y * H + x] == 1;
    }
  EXPECT_EQ(ones, H * (H + 1) / 2);
  // a start whose fifth point coincides with it falls back to the next distinct point
  ASSERT_TRUE(morvex::divisionMapFromLine(line({{20, 20}, {20, 24}, {20, 20}, {20, 24}, {20, 20}, {20, 30}}), W, H, map));
  EXPECT_EQ(map[0 * W + 19], 1);
  EXPECT_EQ(map[(H - 1) * W + 21], 2);
  map.assign(3, 9);
  EXPECT_FALSE(morvex::divisionMapFromLine(line({{5, 5}, {5, 5}, {5, 5}}), W, H, map));
  EXPECT_FALSE(morvex::divisionMapFromLine(line({{5, 5}}), W, H, map));
  EXPECT_EQ(map, std::vector<uint8_t>(3, 9)) << "a refused line leaves the map alone";
}

TEST(DivisionGeometry, StrokesAreResampledByTheSpacing) {
  const DivisionLine two = line({{0, 0}, {0, 200}});
  EXPECT_EQ(morvex::resampleStroke(two, 50).points, two.points) << "fewer than 3 points: unchanged";
  // 60 pixels: n = 1, the two ends only
  DivisionLine sixty = line({{10, 0}, {10, 20}, {10, 41}, {10, 60}});
  EXPECT_EQ(morvex::resampleStroke(sixty, 50).points, (std::vector<DivPoint>{{10, 0}, {10, 60}}));
  // 20 pixels is shorter than one step and still gives its two ends
  EXPECT_EQ(morvex::resampleStroke(line({{0, 0}, {0, 7}, {0, 20}}), 50).points,
            (std::vector<DivPoint>{{0, 0}, {0, 20}}));
  // an L of 100 + 50 pixels: three steps of 50, at the corner's neighbourhood exactly
  EXPECT_EQ(morvex::resampleStroke(line({{0, 0}, {0, 100}, {50, 100}}), 50).points,
            (std::vector<DivPoint>{{0, 0}, {0, 50}, {0, 100}, {50, 100}}));
}

TEST(DivisionGeometry, ASlantedKeyLineIsResampledAlongItselfAndCutsTheSliceThere) {
  // a stroke from (4, 40) to (36, 20), one point per column, ending inside the 64 x 48 slice
  DivisionLine stroke;
  for (int x = 4; x <= 36; ++x) {
    const DivPoint p{x, static_cast<int>(std::lround(40 - (x - 4) * 20.0 / 32.0))};
    stroke.append(p, 0, p);
  }
  // signed distance from the straight line through the ends (negative on the upper left)
  auto side = [](double x, double y) { return (32.0 * (y - 40) + 20.0 * (x - 4)) / std::hypot(32.0, 20.0); };
  const DivisionLine key = morvex::resampleStroke(stroke, 6);
  ASSERT_EQ(key.size(), 7) << "40 pixels along the stroke at spacing 6: six steps";
  EXPECT_EQ(key.points.front(), (DivPoint{4, 40}));
  EXPECT_EQ(key.points.back(), (DivPoint{36, 20}));
  for (const DivPoint& p : key.points) EXPECT_LE(std::fabs(side(p.x, p.y)), 1.0) << p.x << "," << p.y;
  // halfway to the same line 12 columns further right: 6 columns right of it
  DivisionLine shifted = key;
  for (DivPoint& p : shifted.points) p.x += 12;
  const DivisionLine mid = morvex::interpolateLines(key, shifted, 0.5, 6);
  ASSERT_GE(mid.size(), 2);
  for (const DivPoint& p : mid.points) EXPECT_LE(std::fabs(side(p.x - 6, p.y)), 1.0) << p.x << "," << p.y;
  // the map: both ends continue along the line to the border (the far one from the mean of the
  // last points); the upper-left side (the smaller mean x) is 1, clear of the line's own pixels
  std::vector<uint8_t> map;
  ASSERT_TRUE(morvex::divisionMapFromLine(key, W, H, map));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (std::fabs(side(x, y)) > 1.5) {
        ASSERT_EQ(map[y * W + x], side(x, y) < 0 ? 1 : 2) << x << "," << y;
      }
}

TEST(DivisionGeometry, InterpolatedLinesSpanBothKeyLinesEndToEnd) {
  const DivisionLine a = line({{10, 0}, {10, 40}}), b = line({{30, 0}, {30, 40}});
  const DivisionLine mid = morvex::interpolateLines(a, b, 0.5, 50);
  ASSERT_GE(mid.size(), 2);
  EXPECT_EQ(mid.points.front(), (DivPoint{20, 0}));
  EXPECT_EQ(mid.points.back(), (DivPoint{20, 40})) << "the last point is the end, not short of it";
  for (std::size_t i = 0; i < mid.points.size(); ++i) {
    EXPECT_EQ(mid.types[i], 1);
    EXPECT_EQ(mid.controls[i], mid.points[i]);
  }
  // 120 pixels at spacing 50: floor(120 / 50 + 1) = 3 points
  EXPECT_EQ(morvex::interpolateLines(line({{0, 0}, {0, 120}}), line({{10, 0}, {10, 120}}), 0.25, 50).points,
            (std::vector<DivPoint>{{3, 0}, {3, 60}, {3, 120}}));
  DivisionLine r = line({{1, 1}, {2, 2}, {3, 3}});
  r.types = {0, 0, 1};
  r.controls = {{1, 1}, {2, 2}, {9, 0}};
  r.reverse();
  EXPECT_EQ(r.points, (std::vector<DivPoint>{{3, 3}, {2, 2}, {1, 1}}));
  EXPECT_EQ(r.types[1], 1) << "the curve from p1 to p2 is now the first segment";
  EXPECT_EQ(r.controls[1], (DivPoint{9, 0}));
}

TEST(LiverDivider, AStraightKeyLineSplitsEveryLiverFrameIntoTwoExactHalves) {
  Study study;
  const int s = addSeries(study, 6, 1, 4);
  // vessel pixels on both sides of the coming line
  for (int f = 1; f <= 4; ++f) study.labelImage(f)[24 * W + 25] = study.labelImage(f)[24 * W + 40] = morvex::kVessel;
  study.labelImage(5)[3] = morvex::kCancer;  // labelled, but no liver
  const std::vector<uint8_t> before2(study.labelImage(2), study.labelImage(2) + W * H);
  const auto expected = discSplit(study, 2, 32, morvex::kLiver);

  CLiverDivider d(CLiverDivider::Mode::Series, s, W, H);
  EXPECT_EQ(d.stage, 1);
  // drawn from the bottom upwards, stopping well short of both borders
  EXPECT_EQ(drawStroke(d, study, 2, {{32, 40}, {32, 30}, {32, 20}, {32, 10}}), CLiverDivider::ReleaseResult::Redraw);
  EXPECT_EQ(d.stage, 3);
  ASSERT_EQ(d.keyLines().size(), 1u);
  EXPECT_EQ(d.keyLines()[0].frame, 2);
  EXPECT_EQ(d.mapFrames(), (std::vector<int>{1, 2, 3, 4})) << "one map per frame holding liver";

  EXPECT_EQ(click(d, study, 0, 5, 5), CLiverDivider::ReleaseResult::Nothing) << "no map on a frame without liver";
  ASSERT_EQ(click(d, study, 3, 5, 5), CLiverDivider::ReleaseResult::Apply);
  EXPECT_EQ(d.apply(study), (std::vector<int>{1, 2, 3, 4}));
  for (int f = 1; f <= 4; ++f) {
    EXPECT_EQ(countLabel(study, f, morvex::kLiverRight), expected.first) << "image-left half: right liver";
    EXPECT_EQ(countLabel(study, f, morvex::kLiverLeft), expected.second);
    EXPECT_EQ(countLabel(study, f, morvex::kLiver) + countLabel(study, f, morvex::kVessel), 0);
    EXPECT_EQ(study.labelImage(f)[24 * W + 25], morvex::kVesselRight);
    EXPECT_EQ(study.labelImage(f)[24 * W + 40], morvex::kVesselLeft);
    EXPECT_TRUE(study.divisionDefined(f));
  }
  EXPECT_FALSE(study.divisionDefined(0));
  EXPECT_FALSE(study.divisionDefined(5));
  EXPECT_EQ(study.labelImage(5)[3], morvex::kCancer);

  // taking it back restores the liver and vessel labels exactly
  EXPECT_EQ(morvex::uniteDivision(study, s, -1), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_TRUE(std::equal(before2.begin(), before2.end(), study.labelImage(2)));
  EXPECT_TRUE(study.divisionDefined(2)) << "maps and flags stay";
}

TEST(LiverDivider, ShortStrokesAreCutBackAndTwoClicksDrawAStraightLine) {
  Study study;
  const int s = addSeries(study, 3, 0, 1);
  CLiverDivider d(CLiverDivider::Mode::Series, s, W, H);
  // a scribble ending 5 pixels from its start is cut back to its first point
  drawStroke(d, study, 0, {{30, 10}, {40, 20}, {34, 12}});
  EXPECT_EQ(d.stroke().points, (std::vector<DivPoint>{{30, 10}}));
  EXPECT_EQ(d.stage, 1);
  // a second click far away completes a two-point key line
  click(d, study, 0, 34, 40);
  ASSERT_EQ(d.keyLines().size(), 1u);
  EXPECT_EQ(d.keyLines()[0].points, (std::vector<DivPoint>{{30, 10}, {34, 40}}));
  EXPECT_EQ(d.stage, 3);
  // no more strokes once the key line exists
  d.press(study, 1, 5, 5);
  EXPECT_TRUE(d.stroke().points.empty());

  // a stroke on an unlabelled frame is discarded
  CLiverDivider e(CLiverDivider::Mode::Series, s, W, H);
  drawStroke(e, study, 2, {{30, 5}, {30, 40}});
  EXPECT_TRUE(e.keyLines().empty());
  EXPECT_TRUE(e.stroke().points.empty());
  EXPECT_EQ(e.stage, 1);
  // frames of another series are not drawn on
  addSeries(study, 1, 0, 0, "Q");
  drawStroke(e, study, 3, {{30, 5}, {30, 40}});
  EXPECT_TRUE(e.keyLines().empty());
}

TEST(LiverDivider, HandlesAndLinesAreDraggedAndTheDivisionFollows) {
  Study study;
  const int s = addSeries(study, 2, 0, 1);
  CLiverDivider d(CLiverDivider::Mode::Series, s, W, H);
  drawStroke(d, study, 0, {{32, 5}, {32, 40}});
  ASSERT_EQ(d.stage, 3);
  EXPECT_EQ(boundaryColumn(d.divisionMap(1), 24), 32);

  // grab the lower handle 3 pixels off (the pick radius) and move it: the line tilts
  d.press(study, 0, 35, 43);
  ASSERT_TRUE(d.draggingPoint);
  EXPECT_TRUE(d.move(0, 44, 40, true));
  EXPECT_EQ(d.release(study, 0, 44, 40, true), CLiverDivider::ReleaseResult::Redraw) << "a drag never applies";
  EXPECT_FALSE(d.draggingPoint);
  EXPECT_EQ(d.keyLines()[0].points.back(), (DivPoint{44, 40}));
  EXPECT_GT(boundaryColumn(d.divisionMap(1), 35), boundaryColumn(d.divisionMap(1), 10));

  // 4 pixels off a handle grabs nothing there, but the line between the handles is grabbed
  d.press(study, 0, 32, 1);
  EXPECT_FALSE(d.draggingPoint || d.draggingLine);
  d.release(study, 0, 32, 1, false);
  d.press(study, 0, 38, 22);  // on the segment from (32, 5) to (44, 40)
  ASSERT_TRUE(d.draggingLine);
  d.move(0, 30, 22, true);
  d.release(study, 0, 30, 22, false);  // released outside the image: the drag still ends
  EXPECT_FALSE(d.draggingLine);
  EXPECT_EQ(d.keyLines()[0].points, (std::vector<DivPoint>{{24, 5}, {36, 40}}));
  // a line dragged against the border stops there
  d.press(study, 0, 24, 5);
  d.release(study, 0, 24, 5, true);
  d.press(study, 0, 30, 22);
  ASSERT_TRUE(d.draggingLine);
  d.move(0, 0, 22, true);
  d.release(study, 0, 0, 22, true);
  EXPECT_EQ(d.keyLines()[0].points, (std::vector<DivPoint>{{0, 5}, {12, 40}}));
}

TEST(LiverDivider, InterpolationPutsTheMiddleSliceLineHalfway) {
  Study study;
  const int s = addSeries(study, 26, 5, 24);
  study.fillLabelImage(12, 0);
  study.labelImage(12)[0] = morvex::kCancer;  // a frame in the range without liver
  CLiverDivider d(CLiverDivider::Mode::Interpolation, s, W, H);
  drawStroke(d, study, 10, {{20, 2}, {20, 25}, {20, 45}});
  EXPECT_EQ(d.stage, 2) << "waiting for the second key line";
  EXPECT_TRUE(d.mapFrames().empty());
  // the second key line is drawn the other way; it is turned round before interpolating
  drawStroke(d, study, 20, {{40, 45}, {40, 25}, {40, 2}});
  ASSERT_EQ(d.stage, 3);

  const DivisionLine* mid = d.interpolatedLineOf(15);
  ASSERT_NE(mid, nullptr);
  for (const DivPoint& p : mid->points) EXPECT_NEAR(p.x, 30, 1) << p.y;
  EXPECT_NEAR(mid->points.front().y, 2, 1);
  EXPECT_NEAR(mid->points.back().y, 45, 1);
  EXPECT_EQ(d.interpolatedLineOf(12), nullptr);
  EXPECT_EQ(d.divisionMap(12), nullptr);
  EXPECT_EQ(d.interpolatedLineOf(10), nullptr) << "key frames keep their key lines";
  for (int y : {0, 24, H - 1}) {
    EXPECT_EQ(boundaryColumn(d.divisionMap(5), y), 20) << "before the first key frame: its line";
    EXPECT_NEAR(boundaryColumn(d.divisionMap(15), y), 30, 1);
    EXPECT_NEAR(boundaryColumn(d.divisionMap(13), y), 26, 1);
    EXPECT_EQ(boundaryColumn(d.divisionMap(24), y), 40) << "after the last key frame: its line";
  }
  EXPECT_EQ(d.mapFrames().size(), 19u);

  // editing an interpolated line recomputes that frame alone
  const std::vector<uint8_t> map14(d.divisionMap(14), d.divisionMap(14) + W * H);
  const DivPoint top = d.interpolatedLineOf(15)->points.front();
  d.press(study, 15, top.x, top.y);
  ASSERT_TRUE(d.draggingPoint);
  EXPECT_EQ(d.dragTarget, 1);
  d.move(15, 50, 2, true);
  d.release(study, 15, 50, 2, true);
  EXPECT_GT(boundaryColumn(d.divisionMap(15), 3), 45);
  EXPECT_TRUE(std::equal(map14.begin(), map14.end(), d.divisionMap(14)));
  EXPECT_EQ(d.interpolatedLineOf(15)->points.front(), (DivPoint{50, 2}));

  ASSERT_EQ(click(d, study, 15, 10, 10), CLiverDivider::ReleaseResult::Apply);
  d.apply(study);
  EXPECT_EQ(study.labelImage(12)[0], morvex::kCancer);
  EXPECT_FALSE(study.divisionDefined(12));
  EXPECT_EQ(discSplit(study, 20, 40, morvex::kLiverRight).second, 0);
  EXPECT_EQ(discSplit(study, 20, 40, morvex::kLiverLeft).first, 0);
}

TEST(LiverDivider, SingleModeTouchesOnlyTheKeyFrameAndItsTakeBackOnlyThatFrame) {
  Study study;
  const int s = addSeries(study, 4, 0, 3);
  CLiverDivider d(CLiverDivider::Mode::Single, s, W, H);
  drawStroke(d, study, 2, {{32, 2}, {32, 45}});
  EXPECT_EQ(d.mapFrames(), (std::vector<int>{2}));
  ASSERT_EQ(click(d, study, 2, 50, 20), CLiverDivider::ReleaseResult::Apply);
  EXPECT_EQ(d.apply(study), (std::vector<int>{2}));
  for (int f : {0, 1, 3}) {
    EXPECT_EQ(countLabel(study, f, morvex::kLiverLeft) + countLabel(study, f, morvex::kLiverRight), 0);
    EXPECT_FALSE(study.divisionDefined(f));
  }
  const auto expected = discSplit(study, 2, 32, morvex::kLiverRight);
  EXPECT_GT(expected.first, 300);
  EXPECT_EQ(expected.second, 0);

  // a second single division on frame 0 (via the whole-series path it would be undone too)
  CLiverDivider e(CLiverDivider::Mode::Single, s, W, H);
  drawStroke(e, study, 0, {{20, 2}, {20, 45}});
  click(e, study, 0, 1, 1);
  e.apply(study);
  EXPECT_EQ(morvex::uniteDivision(study, s, 0), (std::vector<int>{0})) << "frame 0 is a frame, not the series";
  EXPECT_EQ(countLabel(study, 0, morvex::kLiverLeft) + countLabel(study, 0, morvex::kLiverRight), 0);
  EXPECT_GT(countLabel(study, 2, morvex::kLiverRight), 300) << "frame 2 keeps its division";
  EXPECT_TRUE(morvex::uniteDivision(study, s, 1).empty()) << "a frame without a stored division is left alone";
  // the whole series is taken back when any of its frames holds a division
  EXPECT_EQ(morvex::uniteDivision(study, s, -1), (std::vector<int>{2}));
  EXPECT_EQ(countLabel(study, 2, morvex::kLiver), countLabel(study, 1, morvex::kLiver));
  Study fresh;
  const int t = addSeries(fresh, 2, 0, 1);
  fresh.labelImage(0)[0] = morvex::kLiverLeft;  // imported, not divided here
  EXPECT_TRUE(morvex::uniteDivision(fresh, t, -1).empty());
  EXPECT_EQ(fresh.labelImage(0)[0], morvex::kLiverLeft);
}

TEST(LiverDivider, FramesHoldingOnlyOneSideAreTakenBackToo) {
  Study study;
  const int s = addSeries(study, 4, 0, 3);
  const int disc = countLabel(study, 0, morvex::kLiver);
  // whole-frame maps: frames 0 and 2 all left, 1 and 3 all right; vessels only on frames 2 and 3
  for (int f = 0; f < 4; ++f) {
    if (f >= 2) study.labelImage(f)[24 * W + 32] = morvex::kVessel;
    const std::vector<uint8_t> map(W * H, f % 2 ? 1 : 2);
    ASSERT_TRUE(study.setDivisionImage(f, map.data(), W, H));
    study.applyDivision(f);
  }
  ASSERT_EQ(countLabel(study, 0, morvex::kLiverLeft), disc) << "frame 0 holds only left liver";
  ASSERT_EQ(countLabel(study, 1, morvex::kLiverRight), disc);
  EXPECT_EQ(morvex::uniteDivision(study, s, 0), (std::vector<int>{0}));
  EXPECT_EQ(countLabel(study, 0, morvex::kLiver), disc);
  EXPECT_EQ(morvex::uniteDivision(study, s, -1), (std::vector<int>{1, 2, 3}));
  for (int f = 1; f < 4; ++f) EXPECT_EQ(countLabel(study, f, morvex::kLiver), f >= 2 ? disc - 1 : disc) << f;
  EXPECT_EQ(study.labelImage(2)[24 * W + 32], morvex::kVessel);
  EXPECT_EQ(study.labelImage(3)[24 * W + 32], morvex::kVessel);
}
