// The live-wire engine on crafted slices with known answers: cost maps, straight paths on a flat
// slice, a disc traced from four rim clicks, closing, segment penalties, object extension,
// Backspace, and a noisy synthetic slice whose liver boundary the path must follow.

#include "view/live_wire.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <queue>
#include <random>
#include <set>

#include "tools/synthct/phantom.h"

namespace {

using morvex::ImagePoint;
using morvex::LiveWire;

std::vector<int16_t> flat(int w, int h, int16_t v = 100) { return std::vector<int16_t>(static_cast<std::size_t>(w) * h, v); }

struct Disc {
  static constexpr int N = 128;
  static constexpr double cx = 64.0, cy = 64.0, r = 40.0;
  std::vector<int16_t> image = flat(N, N, 100);
  int pixels = 0;
  Disc() {
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x)
        if (std::hypot(x - cx, y - cy) <= r) {
          image[static_cast<std::size_t>(y) * N + x] = 600;
          ++pixels;
        }
  }
};

std::vector<ImagePoint> allPoints(const LiveWire& w) {
  std::vector<ImagePoint> out;
  for (const auto& s : w.segments()) out.insert(out.end(), s.begin(), s.end());
  return out;
}

int count255(const std::vector<uint8_t>& m) { return static_cast<int>(std::count(m.begin(), m.end(), 255)); }

// True when path shares a pixel with the earlier segments (other than its own first point, the
// joint) or steps diagonally between two of their pixels.
bool crosses(const std::vector<std::vector<ImagePoint>>& earlier, const std::vector<ImagePoint>& path) {
  std::set<std::pair<int, int>> drawn;
  for (const auto& s : earlier)
    for (const ImagePoint& p : s) drawn.insert({p.x, p.y});
  for (std::size_t i = 1; i < path.size(); ++i) {
    const ImagePoint a = path[i - 1], b = path[i];
    if (drawn.count({b.x, b.y})) return true;
    if (a.x != b.x && a.y != b.y && drawn.count({b.x, a.y}) && drawn.count({a.x, b.y})) return true;
  }
  return false;
}

}  // namespace

TEST(LiveWireCosts, FlatSliceHasUniformCostsAndAVerticalEdgeMakesVerticalLinksCheap) {
  LiveWire flatWire(flat(20, 20).data(), 20, 20);
  flatWire.CalculateCostFunction();
  EXPECT_EQ(flatWire.edgeCost(10, 10), 1000.0f);
  EXPECT_EQ(flatWire.gradientCost(10, 10), 1001) << "no gradient anywhere: every pixel costs the most";
  EXPECT_EQ(flatWire.gradientCost(0, 0), 1001);
  // no direction: both ends at a right angle, 2 x (pi / 2) x 2 / (3 pi) x 1000
  EXPECT_NEAR(flatWire.directionCost(10, 10, 4), 666.67f, 0.1f);
  EXPECT_EQ(flatWire.directionCost(0, 10, 4), 0.0f) << "border pixels keep cost 0";

  // left half dark, right half bright: the edge runs vertically between columns 19 and 20
  std::vector<int16_t> step = flat(40, 40, 0);
  for (int y = 0; y < 40; ++y)
    for (int x = 20; x < 40; ++x) step[static_cast<std::size_t>(y) * 40 + x] = 1000;
  LiveWire w(step.data(), 40, 40);
  w.CalculateCostFunction();
  EXPECT_TRUE(w.edgeCost(19, 20) == 0.0f || w.edgeCost(20, 20) == 0.0f) << "Canny finds the edge";
  EXPECT_EQ(w.edgeCost(5, 20), 1000.0f);
  EXPECT_EQ(w.edgeCost(35, 20), 1000.0f);
  EXPECT_LT(w.gradientCost(20, 20), w.gradientCost(5, 20)) << "strong gradient is cheap";
  EXPECT_NEAR(w.directionCost(20, 20, 6), 0.0f, 1.0f) << "a link along the edge costs nothing";
  EXPECT_NEAR(w.directionCost(20, 20, 1), 0.0f, 1.0f);
  EXPECT_NEAR(w.directionCost(20, 20, 4), 666.67f, 1.0f) << "a link across it turns by a right angle at both ends";
  // a diagonal link: 45 degrees off the edge at p, a right angle at q (no gradient beyond the edge)
  EXPECT_NEAR(w.directionCost(20, 20, 7), 500.0f, 1.0f);
}

TEST(LiveWirePath, OnAFlatSliceThePathIsTheStraightDigitalLine) {
  const int N = 40;
  LiveWire w(flat(N, N).data(), N, N);
  ASSERT_TRUE(w.addSeed(5, 20));
  EXPECT_EQ(w.totalCost(5, 20), 0);
  // horizontal, vertical and diagonal paths are unique shortest paths
  for (ImagePoint end : {ImagePoint{30, 20}, ImagePoint{5, 35}, ImagePoint{20, 5}}) {
    const std::vector<ImagePoint> path = w.tracePath(end.x, end.y);
    const int steps = std::max(std::abs(end.x - 5), std::abs(end.y - 20));
    ASSERT_EQ(static_cast<int>(path.size()), steps + 1);
    for (int i = 0; i <= steps; ++i) {
      const int sx = (end.x > 5) - (end.x < 5), sy = (end.y > 20) - (end.y < 20);
      EXPECT_EQ(path[static_cast<std::size_t>(i)].x, end.x - sx * i);
      EXPECT_EQ(path[static_cast<std::size_t>(i)].y, end.y - sy * i);
    }
  }
  // a diagonal step costs 10802 and a straight one 10502 (5 x 1000 + 2.5 x 1001 + 3 x 666.67 + base)
  EXPECT_EQ(w.totalCost(30, 20), 25 * 10502);
  EXPECT_EQ(w.totalCost(20, 5), 15 * 10802);
  // any slope: the fewest steps, each moving towards the end
  const std::vector<ImagePoint> oblique = w.tracePath(35, 31);
  ASSERT_EQ(oblique.size(), 31u);
  for (std::size_t i = 1; i < oblique.size(); ++i) {
    EXPECT_EQ(oblique[i - 1].x - oblique[i].x, 1);
    EXPECT_GE(oblique[i - 1].y - oblique[i].y, 0);
  }
  // the border band is not traceable
  EXPECT_TRUE(w.tracePath(1, 20).empty());
  EXPECT_TRUE(w.tracePath(20, N - 1).empty());
  EXPECT_FALSE(w.tracePath(N - 2, N - 2).empty());
  EXPECT_FALSE(w.addSeed(1, 20)) << "a click on the border band adds nothing";
  EXPECT_EQ(w.seeds().size(), 1u);
}

TEST(LiveWireContour, FourRimClicksOnADiscTraceItsRimAndEncloseItsArea) {
  Disc d;
  LiveWire w(d.image.data(), Disc::N, Disc::N);
  for (ImagePoint p : {ImagePoint{104, 64}, ImagePoint{64, 104}, ImagePoint{24, 64}, ImagePoint{64, 24}})
    ASSERT_TRUE(w.addSeed(p.x, p.y));
  EXPECT_FALSE(w.closed());
  ASSERT_TRUE(w.addSeed(104, 64)) << "right click: back to the first seed";
  ASSERT_TRUE(w.closed());
  ASSERT_EQ(w.segments().size(), 4u);
  for (const ImagePoint& p : allPoints(w))
    EXPECT_LE(std::fabs(std::hypot(p.x - Disc::cx, p.y - Disc::cy) - Disc::r), 1.5) << p.x << "," << p.y;
  const int area = count255(w.enclosedArea());
  EXPECT_NEAR(area, d.pixels, 0.02 * d.pixels);
  EXPECT_FALSE(w.addSeed(50, 50)) << "a closed contour takes no more seeds";

  // commit: label 1 on the contour and inside, whatever the ROI; other labels are kept unless the
  // user's current label is drawn; the selection layer takes the whole area instead
  std::vector<uint8_t> labels(Disc::N * Disc::N, 0), selection(Disc::N * Disc::N, 0);
  labels[64 * Disc::N + 64] = 3;
  morvex::SliceEdit s;
  s.labels = labels.data();
  s.selection = selection.data();
  s.width = s.height = Disc::N;
  s.roi = {true, 0, 0, 63, 127};  // the left half only
  EXPECT_EQ(morvex::commitLiveWire(s, w), 1);
  EXPECT_EQ(std::count(labels.begin(), labels.end(), 1), area - 1);
  EXPECT_EQ(labels[64 * Disc::N + 64], 3);
  EXPECT_EQ(labels[10 * Disc::N + 10], 0);
  const morvex::LabelTable table = morvex::defaultLabelTable();
  s.table = &table;
  s.currentLabel = morvex::kVessel;
  EXPECT_EQ(morvex::commitLiveWire(s, w), 1);
  EXPECT_EQ(std::count(labels.begin(), labels.end(), morvex::kVessel), area) << "the chosen label goes over all";
  EXPECT_EQ(count255(selection), 0);
  s.currentLabel = morvex::kSelectionLabel;
  EXPECT_EQ(morvex::commitLiveWire(s, w), 3);
  EXPECT_EQ(count255(selection), area);
  EXPECT_EQ(std::count(labels.begin(), labels.end(), morvex::kVessel), area);
}

TEST(LiveWireContour, AClickWithinTwoPixelsOfTheFirstSeedClosesTheContourAndTheGapIsBridged) {
  // a flat 90 x 60 slice: every path is the straight digital line between its seeds
  const int W = 90, H = 60;
  LiveWire w(flat(W, H).data(), W, H);
  for (ImagePoint p : {ImagePoint{20, 20}, ImagePoint{60, 20}, ImagePoint{60, 45}, ImagePoint{20, 45}})
    ASSERT_TRUE(w.addSeed(p.x, p.y));
  ASSERT_TRUE(w.addSeed(23, 23));  // 3 px from the first seed: just another seed
  EXPECT_FALSE(w.closed());
  w.removeLastSeed();
  ASSERT_TRUE(w.addSeed(20, 22));
  ASSERT_TRUE(w.closed());
  // the rectangle and its rim exactly: the pixel (20, 21) between the last point and the first
  // seed closes the wall, so the inside does not leak out
  const std::vector<uint8_t> area = w.enclosedArea();
  EXPECT_EQ(count255(area), 41 * 26);
  EXPECT_EQ(area[21 * W + 20], 255);
  EXPECT_EQ(area[30 * W + 40], 255);
  EXPECT_EQ(area[30 * W + 70], 0);
}

TEST(LiveWireContour, NewSegmentsGoAroundDrawnOnesInsteadOfCrossingThem) {
  const int N = 60;
  LiveWire w(flat(N, N).data(), N, N);
  // a diagonal segment, then a vertical one; the straight way to (9, 40) would cut the diagonal
  // between two of its pixels without sharing one
  ASSERT_TRUE(w.addSeed(10, 10));
  ASSERT_TRUE(w.addSeed(40, 40));
  ASSERT_TRUE(w.addSeed(40, 9));
  const std::vector<ImagePoint> path = w.tracePath(9, 40);
  std::vector<ImagePoint> forward(path.rbegin(), path.rend());
  EXPECT_FALSE(crosses(w.segments(), forward));
  EXPECT_GT(path.size(), 40u) << "the detour is longer than the 31-step diagonal";
  EXPECT_LT(w.totalCost(9, 40), LiveWire::kPenalty) << "round the end of the diagonal, without any penalty";
  // a pixel of a drawn segment is still reached, at the price of the penalty
  EXPECT_GE(w.totalCost(25, 25), LiveWire::kPenalty);
  EXPECT_LT(w.totalCost(25, 25), 2 * LiveWire::kPenalty);
}

// Plain Dijkstra with a binary heap over the same step costs and penalties: the bucket queue must
// give every pixel the same path cost, also behind drawn segments, where a step costs more than
// the ring of buckets spans.
TEST(LiveWirePath, PathCostsEqualAPlainDijkstraOnANoisySliceWithSegments) {
  const int N = 64;
  std::mt19937 rng(7);
  std::vector<int16_t> image(N * N);
  for (int16_t& v : image) v = static_cast<int16_t>(std::uniform_int_distribution<int>(0, 400)(rng));
  LiveWire w(image.data(), N, N);
  for (ImagePoint p : {ImagePoint{10, 10}, ImagePoint{50, 12}, ImagePoint{45, 50}, ImagePoint{8, 40}, ImagePoint{10, 14}})
    ASSERT_TRUE(w.addSeed(p.x, p.y));
  std::vector<uint8_t> wall(N * N, 0);
  for (const auto& s : w.segments())
    for (const ImagePoint& p : s) wall[static_cast<std::size_t>(p.y) * N + p.x] = 1;
  const int dx[8] = {-1, 0, 1, -1, 1, -1, 0, 1}, dy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
  const int64_t unreached = std::numeric_limits<int64_t>::max();
  std::vector<int64_t> cost(N * N, unreached);
  std::vector<bool> done(N * N, false);
  using Entry = std::pair<int64_t, int>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap;
  cost[14 * N + 10] = 0;
  heap.push({0, 14 * N + 10});
  while (!heap.empty()) {
    const auto [c, p] = heap.top();
    heap.pop();
    if (done[p] || c != cost[p]) continue;
    done[p] = true;
    const int x = p % N, y = p / N;
    if (x < 2 || y < 2 || x > N - 2 || y > N - 2) continue;
    for (int k = 0; k < 8; ++k) {
      const int qx = x + dx[k], qy = y + dy[k], q = qy * N + qx;
      if (done[q]) continue;
      const float node = 5.0f * w.edgeCost(qx, qy) + 2.5f * static_cast<float>(w.gradientCost(qx, qy));
      const float step = node + 3.0f * w.directionCost(x, y, k) + (dx[k] && dy[k] ? 1300.0f : 1000.0f);
      int64_t next = c + static_cast<int64_t>(step);
      if (wall[q] || (dx[k] && dy[k] && wall[y * N + qx] && wall[qy * N + x])) next += LiveWire::kPenalty;
      if (next < cost[q]) {
        cost[q] = next;
        heap.push({next, q});
      }
    }
  }
  int behindWall = 0, differ = 0;
  for (int y = 0; y < N; ++y)
    for (int x = 0; x < N; ++x) {
      const int64_t expected = cost[y * N + x] == unreached ? LiveWire::kUnreached : cost[y * N + x];
      differ += w.totalCost(x, y) != expected;
      behindWall += expected > LiveWire::kPenalty;
    }
  EXPECT_EQ(differ, 0);
  EXPECT_GT(behindWall, 100) << "the segments and the pocket they close off cost a penalty";
}

TEST(LiveWireContour, BackspaceDropsTheLastSeedAndRegrowsTheTreeFromThePreviousOne) {
  Disc d;
  LiveWire w(d.image.data(), Disc::N, Disc::N);
  ASSERT_TRUE(w.addSeed(104, 64));
  ASSERT_TRUE(w.addSeed(64, 104));
  ASSERT_TRUE(w.addSeed(24, 64));
  w.removeLastSeed();
  ASSERT_EQ(w.seeds().size(), 2u);
  ASSERT_EQ(w.segments().size(), 1u);
  const std::vector<ImagePoint> preview = w.tracePath(24, 64);
  ASSERT_FALSE(preview.empty());
  EXPECT_EQ(preview.back().x, 64);
  EXPECT_EQ(preview.back().y, 104) << "the preview starts again from the second seed";
  w.removeLastSeed();
  ASSERT_EQ(w.seeds().size(), 1u);
  EXPECT_TRUE(w.segments().empty());
  EXPECT_EQ(w.tracePath(24, 64).back().x, 104);
  w.removeLastSeed();
  EXPECT_TRUE(w.seeds().empty());
  EXPECT_TRUE(w.tracePath(24, 64).empty());
  w.removeLastSeed();  // nothing left: no effect
  EXPECT_TRUE(w.seeds().empty());
}

// The window reuses the last contour's engine: on the same slice its maps stay, on another slice
// (here another size too) the maps and the tree are those of a fresh engine.
TEST(LiveWireContour, ARestartedEngineKeepsTheMapsOfItsSliceAndRedoesThemForAnother) {
  Disc d;
  LiveWire w(d.image.data(), Disc::N, Disc::N);
  ASSERT_TRUE(w.takeObjectAt(std::vector<uint8_t>(Disc::N * Disc::N, 2).data(), 5, 5));
  ASSERT_TRUE(w.addSeed(104, 64));
  EXPECT_TRUE(w.restart(d.image.data(), Disc::N, Disc::N));
  EXPECT_TRUE(w.seeds().empty() && w.segments().empty() && !w.hasObject() && w.tracePath(64, 104).empty());
  std::vector<int16_t> nudged = d.image;  // the same size, one intensity other
  nudged[5] += 1;
  EXPECT_FALSE(w.restart(nudged.data(), Disc::N, Disc::N)) << "maps of one slice never serve another";
  const int W = 90, H = 60;
  std::vector<int16_t> other = flat(W, H);
  for (int y = 0; y < H; ++y) other[static_cast<std::size_t>(y) * W + 70] = 700;
  EXPECT_FALSE(w.restart(other.data(), W, H));
  EXPECT_FALSE(w.costsReady());
  LiveWire fresh(other.data(), W, H);
  for (LiveWire* e : {&w, &fresh}) ASSERT_TRUE(e->addSeed(20, 20));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      ASSERT_EQ(w.totalCost(x, y), fresh.totalCost(x, y)) << x << "," << y;
      ASSERT_EQ(w.edgeCost(x, y), fresh.edgeCost(x, y));
      ASSERT_EQ(w.directionCost(x, y, 5), fresh.directionCost(x, y, 5));
    }
}

TEST(LiveWireObject, AContourStartedOnALabelClosesOnlyAtItsFirstSeedAndExtendsThatLabelOnly) {
  const int N = 80;
  // a bright bar from x 20 to 60; its left part (up to x 40) is labelled "Vessel"
  std::vector<int16_t> image = flat(N, N, 0);
  std::vector<uint8_t> labels(N * N, 0), selection(N * N, 0);
  for (int y = 20; y <= 40; ++y)
    for (int x = 20; x <= 60; ++x) {
      image[static_cast<std::size_t>(y) * N + x] = 800;
      if (x <= 40) labels[static_cast<std::size_t>(y) * N + x] = 2;
    }
  labels[30 * N + 50] = 3;  // inside the coming contour, as is a liver pixel
  labels[25 * N + 50] = 1;
  LiveWire w(image.data(), N, N);
  EXPECT_FALSE(w.takeObjectAt(labels.data(), 10, 10)) << "background is no object";
  ASSERT_TRUE(w.takeObjectAt(labels.data(), 35, 21));
  EXPECT_EQ(w.objectValue(), 2);
  ASSERT_TRUE(w.addSeed(35, 21));
  EXPECT_TRUE(w.inObject());
  EXPECT_FALSE(w.takeObjectAt(labels.data(), 70, 70)) << "only the first seed takes an object";
  ASSERT_TRUE(w.addSeed(25, 30));
  EXPECT_FALSE(w.closed()) << "a second click inside the object is just a seed";
  w.removeLastSeed();
  for (ImagePoint p : {ImagePoint{59, 21}, ImagePoint{59, 39}, ImagePoint{35, 39}}) ASSERT_TRUE(w.addSeed(p.x, p.y));
  EXPECT_FALSE(w.closed());
  ASSERT_TRUE(w.addSeed(35, 21));
  ASSERT_TRUE(w.closed());
  morvex::SliceEdit s;
  s.labels = labels.data();
  s.selection = selection.data();
  s.width = s.height = N;
  const morvex::LabelTable table = morvex::defaultLabelTable();
  s.table = &table;
  s.currentLabel = morvex::kLiver;  // an object contour extends its own label
  EXPECT_EQ(morvex::commitLiveWire(s, w), 1);
  EXPECT_EQ(labels[30 * N + 45], 2) << "the enclosed part of the bar joins the vessel";
  EXPECT_EQ(labels[25 * N + 50], 2) << "over the liver, the layer being edited";
  EXPECT_EQ(labels[30 * N + 50], 3) << "another label inside is left alone";
  EXPECT_EQ(labels[30 * N + 25], 2);
  EXPECT_EQ(labels[30 * N + 65], 0);
  EXPECT_EQ(labels[10 * N + 50], 0);
  EXPECT_EQ(std::count(labels.begin(), labels.end(), 1), 0);
  EXPECT_EQ(count255(selection), 0);
}

TEST(LiveWireSynthetic, OnANoisySliceThePathSnapsToTheLiverBoundary) {
  morvex::synth::PhantomOptions o;
  o.size = 192;
  o.slices = 40;
  const morvex::synth::Phantom phantom(o);
  const int k = 16;
  const morvex::synth::PhantomSlice slice = phantom.slice(k);
  const int N = slice.size;
  auto liver = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < N && y < N && slice.labels[static_cast<std::size_t>(y) * N + x] != 0;
  };
  // the liver's boundary pixels and its centre
  std::vector<ImagePoint> boundary;
  double cx = 0, cy = 0;
  int area = 0;
  for (int y = 0; y < N; ++y)
    for (int x = 0; x < N; ++x) {
      if (!liver(x, y)) continue;
      cx += x;
      cy += y;
      ++area;
      if (!liver(x - 1, y) || !liver(x + 1, y) || !liver(x, y - 1) || !liver(x, y + 1)) boundary.push_back({x, y});
    }
  ASSERT_GT(area, 2000) << "slice " << k << " should cut through the liver";
  cx /= area;
  cy /= area;
  auto distanceToBoundary = [&](ImagePoint p) {
    double best = 1e9;
    for (const ImagePoint& b : boundary) best = std::min(best, std::hypot(p.x - b.x, p.y - b.y));
    return best;
  };
  // The liver's lateral side lies against the muscle wall (10 HU apart, no visible edge); its
  // medial side, from the top round to the bottom, borders fat and the kidney. Five clicks on that
  // side, at 45-degree steps round the centre (the outermost liver pixel on each ray).
  std::vector<ImagePoint> clicks;
  for (int a = -2; a <= 2; ++a) {
    const double th = a * M_PI / 4;
    ImagePoint last{static_cast<int>(cx), static_cast<int>(cy)};
    for (double r = 0; r < N; r += 0.5) {
      const int x = static_cast<int>(std::lround(cx + r * std::cos(th)));
      const int y = static_cast<int>(std::lround(cy + r * std::sin(th)));
      if (liver(x, y)) last = {x, y};
    }
    clicks.push_back(last);
  }
  LiveWire w(slice.hu.data(), N, N);
  for (const ImagePoint& c : clicks) ASSERT_TRUE(w.addSeed(c.x, c.y));
  const std::vector<ImagePoint> path = allPoints(w);
  auto fractionNear = [&](const std::vector<ImagePoint>& points) {
    int near = 0;
    for (const ImagePoint& p : points) near += distanceToBoundary(p) <= 1.5;
    return static_cast<double>(near) / static_cast<double>(points.size());
  };
  EXPECT_GT(fractionNear(path), 0.95) << "the path follows the visible boundary";
  // the chords between the same clicks cut across the lobes
  std::vector<ImagePoint> chords;
  for (std::size_t i = 0; i + 1 < clicks.size(); ++i) {
    const int steps = std::max(std::abs(clicks[i + 1].x - clicks[i].x), std::abs(clicks[i + 1].y - clicks[i].y));
    for (int t = 0; t <= steps; ++t)
      chords.push_back({static_cast<int>(std::lround(clicks[i].x + (clicks[i + 1].x - clicks[i].x) * double(t) / steps)),
                        static_cast<int>(std::lround(clicks[i].y + (clicks[i + 1].y - clicks[i].y) * double(t) / steps))});
  }
  EXPECT_LT(fractionNear(chords), 0.8);
}
