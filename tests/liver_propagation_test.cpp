// The propagation's steps on small crafted images whose answers are known by construction (or,
// where the arithmetic is long, golden values): threshold, homogeneity map, edge network, growth,
// bridging, the leak check with its thin test, the nets and the confined retry.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

#include "segmentation/liver_segmenter.h"
#include "tools/synthct/phantom.h"

namespace {

using Image = std::vector<int16_t>;

struct Canvas {
  int w, h;
  Image px;
  Canvas(int width, int height, int16_t v = 0) : w(width), h(height), px(static_cast<std::size_t>(width) * height, v) {}
  int16_t& at(int x, int y) { return px[static_cast<std::size_t>(y) * w + x]; }
  void rect(int x0, int y0, int x1, int y1, int16_t v) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) at(x, y) = v;
  }
};

long count(const Image& img) { return std::count_if(img.begin(), img.end(), [](int16_t v) { return v != 0; }); }
bool on(const Image& img, int w, int x, int y) { return img[static_cast<std::size_t>(y) * w + x] != 0; }

// Prints a golden vector when MORVEX_PRINT_GOLDEN is set (to renew a golden after a deliberate change).
template <class T>
void printGolden(const char* name, const std::vector<T>& v) {
  if (!std::getenv("MORVEX_PRINT_GOLDEN")) return;
  std::printf("%s = {", name);
  for (const T& x : v) std::printf("%g, ", static_cast<double>(x));
  std::printf("}\n");
}

}  // namespace

TEST(PropagationThreshold, TheOptionsGiveTheirThresholds) {
  EXPECT_EQ(morvex::regionThreshold(0.7f), 177);
  EXPECT_EQ(morvex::regionThreshold(0.8f), 203);
  EXPECT_EQ(morvex::regionThreshold(0.6f), 152);
}

TEST(HomogeneityMap, FlatImageAndALowContrastStep) {
  // a flat image rescales to 0 everywhere: no variation, H = floor(254 / (1 + e^-6)) = 253
  const Canvas flat(30, 20, 7);
  const Image hf = morvex::homogeneityMap(flat.px.data(), 30, 20, 10, -0.5, 3.0);
  EXPECT_EQ(std::count(hf.begin(), hf.end(), 253), 30 * 20);

  // a step of 12 (of 255 after rescaling: one bright pixel sets the scale) seen along one row
  Canvas step(48, 24, 0);
  step.rect(24, 0, 47, 23, 12);
  step.at(0, 0) = 255;
  const Image H = morvex::homogeneityMap(step.px.data(), 48, 24, 10, -0.5, 3.0);
  std::vector<int> row(H.begin() + 12 * 48, H.begin() + 13 * 48);
  printGolden("homogeneity row", row);
  const std::vector<int> golden = {253, 253, 253, 253, 253, 253, 253, 253, 253, 253, 253, 253, 253, 252, 251, 241,
                                   173, 42,  4,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   9,   78,  207,
                                   246, 252, 253, 253, 253, 247, 253, 253, 253, 253, 253, 253, 253, 253, 253, 253};
  EXPECT_EQ(row, golden);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(row[x], 253) << "no variation within the radius of the border, x " << x;
  EXPECT_LT(row[23], 50) << "the step is an edge";
  // the radius sets how far the edge reaches
  const Image H7 = morvex::homogeneityMap(step.px.data(), 48, 24, 7, -0.5, 3.0);
  EXPECT_EQ(H7[12 * 48 + 14], 253) << "10 columns from the step: outside radius 7";
  EXPECT_LT(H[12 * 48 + 14], 253) << "but inside radius 10";
}

TEST(EdgeNetwork, SeedsFromTheColumnScansAndTheWindow) {
  constexpr int W = 60, H = 60, thr = 177;
  Canvas c(W, H, 254);
  c.rect(20, 5, 20, 14, 0);   // column 20: found by the first-pixel scan
  c.rect(24, 5, 24, 40, 0);   // column 24 is no scanned column
  c.at(30, 2) = 0;            // column 30: a dot (first pixel) ...
  c.rect(30, 10, 30, 29, 0);  // ... and a run of 20 (deep seed)
  c.at(40, 2) = 0;            // column 40: a dot, a run of 19 (too short) ...
  c.rect(40, 10, 40, 28, 0);
  c.rect(40, 49, 40, 58, 0);  // ... and 10 from the bottom (bottom seed)
  c.at(50, 2) = 0;            // column 50: a dot and 9 from the bottom (too short)
  c.rect(50, 50, 50, 58, 0);
  c.at(10, 3) = 0;            // column 10: a dot joined to pixels at the threshold, then one above it
  c.rect(11, 3, 16, 3, thr);
  c.at(17, 3) = thr + 1;
  c.at(18, 3) = 0;
  const Image E = morvex::edgeNetwork(c.px, W, H, thr);
  EXPECT_TRUE(on(E, W, 20, 14));
  EXPECT_FALSE(on(E, W, 24, 20)) << "only every tenth column is scanned";
  EXPECT_TRUE(on(E, W, 30, 2));
  EXPECT_TRUE(on(E, W, 30, 10)) << "a run of 20 is seeded";
  EXPECT_TRUE(on(E, W, 40, 2));
  EXPECT_FALSE(on(E, W, 40, 10)) << "a run of 19 is not";
  EXPECT_TRUE(on(E, W, 40, 49)) << "10 from the bottom are seeded";
  EXPECT_FALSE(on(E, W, 50, 55)) << "9 from the bottom are not";
  EXPECT_TRUE(on(E, W, 16, 3)) << "the fill takes values up to the threshold";
  EXPECT_FALSE(on(E, W, 18, 3)) << "and stops above it";
  EXPECT_EQ(count(E), 10 + 1 + 20 + 1 + 10 + 1 + 1 + 6) << "nothing else";
}

TEST(Growth, ThroughTheCoreAcrossAWallAndHolesFilled) {
  constexpr int W = 40, H = 40, thr = 177;
  Canvas e(W, H, 0), core(W, H, 0);
  for (int i = 5; i <= 34; ++i) e.at(i, 5) = e.at(i, 34) = e.at(5, i) = e.at(34, i) = 254;  // the outer wall
  e.rect(20, 6, 20, 33, 254);   // a wall between room A (6..19) and room B (21..33)
  e.rect(10, 10, 12, 12, 254);  // an edge blob inside room A: a hole of the grown region
  core.rect(17, 18, 20, 20, 254);  // the core reaches into the wall
  std::vector<int16_t> sx, sy;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (core.at(x, y)) {
        sx.push_back(static_cast<int16_t>(x));
        sy.push_back(static_cast<int16_t>(y));
      }
  const Image R = morvex::growRegion(core.px, sx, sy, e.px, thr, W, H);
  EXPECT_EQ(count(R), 14 * 28 + 13 * 28 + 3) << "both rooms, the hole and the wall under the core";
  EXPECT_TRUE(on(R, W, 11, 11)) << "the hole is filled";
  EXPECT_TRUE(on(R, W, 30, 30)) << "room B is reached through the core";
  EXPECT_FALSE(on(R, W, 20, 10)) << "the wall outside the core stays out";
  EXPECT_FALSE(on(R, W, 2, 2));
}

TEST(Bridging, GapsUpToTwiceTheRadiusAreBridgedAndTheClosingFillsHoles) {
  constexpr int W = 60, H = 40;
  Canvas s(W, H, 0);
  s.rect(5, 10, 20, 29, 255);
  s.rect(40, 10, 55, 29, 255);  // a gap of 19 columns, 10 from its middle column to either block
  s.at(12, 20) = 0;             // a one-pixel hole
  const Image P = morvex::bridgeAndClose(s.px, W, H, 10);
  EXPECT_TRUE(on(P, W, 12, 20)) << "the closing fills the hole";
  EXPECT_TRUE(on(P, W, 30, 20)) << "the middle of the gap is bridged";
  long middle = 0;
  for (int y = 0; y < H; ++y) middle += on(P, W, 30, y);
  std::vector<long> golden = {middle, count(P)};
  printGolden("bridge", golden);
  EXPECT_EQ(golden, (std::vector<long>{20, 2 * 16 * 20 + 19 * 20})) << "the whole gap is filled";
  Canvas slot(44, 30, 255);  // a gap 3 wide through the whole image: too close for a bridge, too wide to close
  slot.rect(21, 0, 23, 29, 0);
  EXPECT_FALSE(on(morvex::bridgeAndClose(slot.px, 44, 30, 10), 44, 22, 15));
  EXPECT_FALSE(on(morvex::bridgeAndClose(s.px, W, H, 9), W, 30, 20)) << "radius 9: no ring reaches both blocks";
  Canvas wide(W, H, 0);  // a gap of 21 columns: 11 from its middle
  wide.rect(5, 10, 20, 29, 255);
  wide.rect(42, 10, 57, 29, 255);
  EXPECT_EQ(count(morvex::bridgeAndClose(wide.px, W, H, 10)), 2 * 16 * 20) << "radius 10 leaves it open";
  EXPECT_TRUE(on(morvex::bridgeAndClose(wide.px, W, H, 11), W, 31, 20)) << "radius 11 bridges it";
}

namespace {
// Reference: a 40 x 40 square and two segments of 13 and 14 pixels; the result adds a leak beside
// the square of the given width.
struct LeakCase {
  static constexpr int W = 128, H = 110;
  Canvas q{W, H, 0}, p{W, H, 0};
  explicit LeakCase(int leakWidth, int segment13 = 13, int segment14 = 14) {
    q.rect(10, 10, 49, 49, 254);
    if (segment13) q.rect(20, 80, 20 + segment13 - 1, 80, 254);
    if (segment14) q.rect(20, 90, 20 + segment14 - 1, 90, 254);
    p.px = q.px;
    if (leakWidth) p.rect(50, 10, 50 + leakWidth - 1, 49, 254);
  }
};
}  // namespace

TEST(LeakCheck, FarBoundaryThinTestAndErasure) {
  LeakCase big(60);
  big.p.rect(100, 50, 103, 75, 254);  // a 4-pixel strip below the leak: the 5 x 5 opening drops it
  morvex::LeakCheck c = morvex::removeLeak(big.p.px, big.q.px, LeakCase::W, LeakCase::H);
  EXPECT_EQ(c.thin, 13 + 12) << "13 of the 13-pixel segment and 12 of the 14-pixel one lie 13 from the result";
  EXPECT_TRUE(c.failed());
  EXPECT_FALSE(on(big.p.px, LeakCase::W, 100, 30)) << "the leak is erased";
  EXPECT_TRUE(on(big.p.px, LeakCase::W, 45, 30)) << "the reference's square stays";
  EXPECT_TRUE(on(big.p.px, LeakCase::W, 101, 70)) << "a strip thinner than 5 is no leak";
  std::vector<long> golden = {c.far, count(big.p.px)};
  printGolden("leak", golden);
  EXPECT_EQ(golden, (std::vector<long>{760, 1699}));

  LeakCase small(12);  // a short leak: its boundary is too little to count
  c = morvex::removeLeak(small.p.px, small.q.px, LeakCase::W, LeakCase::H);
  EXPECT_LE(c.far, 200);
  EXPECT_EQ(c.thin, 0) << "the thin test is skipped";
  EXPECT_EQ(small.p.px, LeakCase(12).p.px) << "nothing erased";

  LeakCase four(60, 4, 0), three(60, 3, 0);  // thin = 4 fails the check, thin = 3 passes it
  EXPECT_TRUE(morvex::removeLeak(four.p.px, four.q.px, LeakCase::W, LeakCase::H).failed());
  EXPECT_FALSE(on(four.p.px, LeakCase::W, 100, 30)) << "and erases the leak";
  c = morvex::removeLeak(three.p.px, three.q.px, LeakCase::W, LeakCase::H);
  EXPECT_EQ(c.thin, 3);
  EXPECT_FALSE(c.failed());
  EXPECT_TRUE(on(three.p.px, LeakCase::W, 100, 30)) << "a passing check erases nothing";
}

TEST(LiverNets, EachNetFiresJustPastItsBound) {
  constexpr int W = 40, H = 40;
  Canvas q(W, H, 0), intensity(W, H, 60);
  q.rect(10, 10, 29, 29, 254);  // 400 pixels
  const Image nearQ = morvex::dilateRegion(q.px, W, H, 3);
  EXPECT_EQ(count(nearQ), 26 * 26) << "dilated by 3 pixels";
  const morvex::IntensityProfile liver{60, 16, 400};
  using morvex::LiverNet;
  auto nets = [&](const Canvas& p, const morvex::IntensityProfile& profile) {
    return morvex::checkNets(p.px, q.px, nearQ, intensity.px.data(), profile);
  };
  EXPECT_EQ(nets(q, liver), LiverNet::None);
  Canvas grown = q;
  grown.rect(30, 10, 34, 29, 254);  // 500 pixels: 125 %
  EXPECT_EQ(nets(grown, liver), LiverNet::None);
  grown.rect(10, 30, 34, 33, 254);  // 600: exactly 150 %
  EXPECT_EQ(count(grown.px), 600);
  EXPECT_EQ(nets(grown, liver), LiverNet::None) << "150 % passes the guard";
  grown.at(0, 0) = 254;
  EXPECT_EQ(nets(grown, liver), LiverNet::GrowthGuard) << "601 pixels";

  Canvas half(W, H, 0);  // 200 pixels inside, then outside the dilated reference
  half.rect(10, 10, 19, 29, 254);
  half.rect(33, 0, 39, 28, 254);  // 7 x 29 = 203 outside
  EXPECT_EQ(nets(half, liver), LiverNet::Outside);
  half.rect(33, 27, 39, 28, 0);  // 189 outside of 389
  EXPECT_EQ(nets(half, liver), LiverNet::None);

  // 9 HU off is more than half the IQR of 16; a narrow liver (IQR 4) still allows 5 HU
  for (const auto& [hu, iqr, net] : {std::tuple{69, 16, LiverNet::Intensity}, {68, 16, LiverNet::None},
                                     {66, 4, LiverNet::Intensity}, {65, 4, LiverNet::None}}) {
    intensity.rect(0, 0, W - 1, H - 1, static_cast<int16_t>(hu));
    EXPECT_EQ(nets(q, morvex::IntensityProfile{60, static_cast<double>(iqr), 400}), net) << hu << " HU, IQR " << iqr;
  }
  EXPECT_EQ(nets(q, morvex::IntensityProfile{}), LiverNet::None) << "no seed liver: no intensity net";

  Canvas ramp(10, 10, 0), all(10, 10, 1);
  for (int i = 0; i < 100; ++i) ramp.px[static_cast<std::size_t>(i)] = static_cast<int16_t>(i + 1);
  const morvex::IntensityProfile r = morvex::intensityProfile(ramp.px.data(), all.px);
  EXPECT_EQ(r.count, 100);
  EXPECT_EQ(r.median, 51);
  EXPECT_EQ(r.iqr, 76 - 26);
}

namespace {
// A layered body wall over fat, and a liver disc of 60 HU (+- 5 of pattern noise) inside it: the disc's edge never joins the edge network, so the growth floods.
constexpr int kN = 160;
Canvas tipSlice(int cx, int cy, int radius, int16_t organ) {
  Canvas c(kN, kN, -90);
  for (int y = 0; y < kN; ++y)
    for (int x = 0; x < kN; ++x) {
      const int ring = std::min(std::min(x, y), std::min(kN - 1 - x, kN - 1 - y));
      if (ring >= 8 && ring <= 24) c.at(x, y) = (ring / 2) % 2 ? 50 : -90;  // muscle and fat layers
      const int noise = ((x * 7 + y * 13) % 31 - 15) / 3;
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) c.at(x, y) = static_cast<int16_t>(organ + noise);
    }
  return c;
}
// An engine with a log: `from` and its mask become the reference (option 0), then the propagation
// runs onto `to` and the mask receives its result.
struct Propagation {
  morvex::CLiverSegmenter e;
  std::FILE* log = std::tmpfile();
  ~Propagation() { std::fclose(log); }
  void reference(const Canvas& from, std::vector<uint8_t>& m, double pixelSpacing = 0) {
    e.setLog(log);
    e.setOption(0);
    if (pixelSpacing > 0) e.pixelSpacing = pixelSpacing;
    e.setInput(from.px.data(), m.data(), from.w, from.h, 1);
    e.allocateReference();
    e.saveReference();
    e.restoreReference();
  }
  std::string onto(const Canvas& to, std::vector<uint8_t>& m) {
    e.setInput(to.px.data(), m.data(), to.w, to.h, 1);
    e.run(morvex::CLiverSegmenter::RunKind::Propagation);
    std::rewind(log);
    std::string text;
    char buf[512];
    while (std::fgets(buf, sizeof buf, log)) text += buf;
    return text;
  }
};
std::vector<uint8_t> maskOf(const Canvas& c) {
  std::vector<uint8_t> m(c.px.size());
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = c.px[i] > 0;
  return m;
}
struct Propagated { std::vector<uint8_t> mask; std::string nets, log; };
// Propagates from the disc (64, 64, 16) of `from` to `to`, at 1 mm pixels (a margin of 5 pixels).
Propagated propagate(const Canvas& from, const Canvas& to) {
  Propagated out;
  out.mask.assign(from.px.size(), 0);
  for (int y = 0; y < from.h; ++y)
    for (int x = 0; x < from.w; ++x) out.mask[static_cast<std::size_t>(y) * from.w + x] = (x - 64) * (x - 64) + (y - 64) * (y - 64) <= 16 * 16;
  Propagation r;
  r.reference(from, out.mask, 1.0);
  out.log = r.onto(to, out.mask);
  out.nets = r.e.lastNets();
  return out;
}
}  // namespace

TEST(ConfinedRetry, ATipInFatIsFollowedAndAHeartIsRefused) {
  const Canvas seed = tipSlice(64, 64, 16, 60);
  // the tip shrinks and moves: the free growth floods the body, the confined retry finds the disc
  const Propagated tip = propagate(seed, tipSlice(66, 64, 13, 60));
  EXPECT_EQ(tip.nets, "growth guard");
  EXPECT_NE(tip.log.find("growth guard ("), std::string::npos) << tip.log;
  EXPECT_NE(tip.log.find(" of the previous)\tconfined retry\t"), std::string::npos) << tip.log;
  long inside = 0, outside = 0, far = 0;
  for (int y = 0; y < kN; ++y)
    for (int x = 0; x < kN; ++x) {
      if (!tip.mask[static_cast<std::size_t>(y) * kN + x]) continue;
      const int d2 = (x - 66) * (x - 66) + (y - 64) * (y - 64);
      (d2 <= 13 * 13 ? inside : outside)++;
      far += std::max(std::abs(x - 64), std::abs(y - 64)) > 16 + 5;
    }
  EXPECT_GT(inside, 13 * 13 * 3 * 8 / 10) << "most of the disc";
  EXPECT_LT(outside, inside / 10) << "and little else";
  EXPECT_EQ(far, 0) << "nothing beyond the previous result dilated by 5 mm";

  // where the liver was, the next slice holds a heart of 40 HU: the retry grows into it and the
  // intensity net refuses it
  const Propagated heart = propagate(seed, tipSlice(64, 64, 16, 40));
  EXPECT_EQ(heart.nets, "growth guard, then intensity net");
  EXPECT_NE(heart.log.find("intensity net (median "), std::string::npos) << heart.log;
  EXPECT_EQ(std::count(heart.mask.begin(), heart.mask.end(), 1), 0) << "the slice is dropped";
}

TEST(PropagationRun, GoldenOnThePhantomAndTheEraseBranch) {
  // two neighbouring slices of the small phantom: the whole chain of steps in one golden
  morvex::synth::PhantomOptions o;
  o.size = 128;
  o.slices = 24;
  const morvex::synth::Phantom phantom(o);
  const morvex::synth::PhantomSlice a = phantom.slice(10), b = phantom.slice(11);
  Canvas from(128, 128), to(128, 128);
  from.px = a.hu;
  to.px = b.hu;
  std::vector<uint8_t> mask(a.labels.size());
  for (std::size_t i = 0; i < mask.size(); ++i) mask[i] = a.labels[i] ? 1 : 0;
  Propagation run;
  run.reference(from, mask);
  run.onto(to, mask);
  const std::vector<float>& phi = run.e.phiImage();
  const std::vector<double> got = {static_cast<double>(std::count(mask.begin(), mask.end(), 1)), phi[64 * 128 + 40],
                                   phi[50 * 128 + 30], phi[70 * 128 + 60], phi[60 * 128 + 20]};
  if (std::getenv("MORVEX_PRINT_GOLDEN"))
    std::printf("propagation golden = {%.0f, %.6f, %.6f, %.6f, %.6f}\n", got[0], got[1], got[2], got[3], got[4]);
  const std::vector<double> golden = {1443, -9.244572, -49.094715, -10.490484, -0.000014};
  ASSERT_EQ(got.size(), golden.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], golden[i], 1e-3) << i;

  // the erase branch: a small reference (narrow rule, depth 5) of a 20 x 20 square and a 12 x 12
  // patch; the slice shows a larger bright square (the leak) and the bright patch
  Canvas small(128, 128, -90), leaking(128, 128, -90);
  for (Canvas* c : {&small, &leaking}) c->rect(90, 90, 101, 101, 60);
  small.rect(30, 30, 49, 49, 60);
  leaking.rect(20, 20, 79, 79, 60);
  std::vector<uint8_t> m = maskOf(small);
  Propagation leak;
  leak.reference(small, m);
  const std::string text = leak.onto(leaking, m);
  EXPECT_NE(text.find(" 96\terase\t"), std::string::npos) << "96 pixels of the patch are thin: the leak is erased\n"
                                                         << text;
}

TEST(ConfinedRetry, MarginFencesAndTheSmallestTip) {
  const Canvas seed = tipSlice(64, 64, 16, 60);
  // the disc moves 11 columns: the retry stops at the previous result dilated by 5 mm (5 pixels)
  const Propagated moved = propagate(seed, tipSlice(75, 64, 13, 60));
  ASSERT_EQ(moved.nets, "growth guard");
  int maxX = 0;
  for (int y = 0; y < kN; ++y)
    for (int x = 0; x < kN; ++x)
      if (moved.mask[static_cast<std::size_t>(y) * kN + x]) maxX = std::max(maxX, x);
  EXPECT_EQ(maxX, 64 + 16 + 5);

  // beyond the core (depth 5) the disc fades by 4 HU a column: the fences (median -+ 2 IQR -+ 5 HU,
  // here 47 to 73 HU) decide how far the retry follows it
  Canvas fade = tipSlice(64, 64, 16, 60);
  for (int y = 48; y <= 80; ++y)
    for (int x = 76; x <= 80; ++x)
      if (fade.at(x, y) > 0) fade.at(x, y) = static_cast<int16_t>(56 - 4 * (x - 76));
  const Propagated cut = propagate(seed, fade);
  ASSERT_EQ(cut.nets, "growth guard");
  int reach = 0;
  for (int x = 76; x <= 80; ++x) reach += cut.mask[static_cast<std::size_t>(64) * kN + x];
  EXPECT_EQ(reach, 3) << "56, 52 and 48 HU (+- the pattern) are followed, 44 HU is not";

  // a tip of 20 pixels is followed (too thin for core seeds), one of 16 ends the pass
  for (const int side : {4, 5}) {
    Canvas from(kN, kN, -90);
    from.rect(62, 62, 62 + side - 1, 62 + side - 1, 60);
    std::vector<uint8_t> m = maskOf(from);
    Propagation r;
    r.reference(from, m);
    EXPECT_EQ(r.e.referenceIsTip(), side == 5);
    r.onto(tipSlice(64, 64, 3, 60), m);
    EXPECT_EQ(r.e.lastNets(), side == 5 ? "thin reference" : "") << side;
    EXPECT_EQ(std::count(m.begin(), m.end(), 1) > 0, side == 5) << side;
  }
}

// The written outline: a 30 x 20 liver block (60 HU) with a fat slot 4 pixels wide cut 10 deep
// from its top edge; the mask lies a pixel inside the block with the slot closed. The slot's fat
// leaves, the outline moves out onto the block; its four corners and the slot's two mouth corners
// (more fat than liver around them) stay out, the slot's two bottom corners (more liver) come
// back: 600 - 40 - 6 + 2 pixels. Outline pixels below the liver's band but not fat leave too.
TEST(SnapOutline, TheOutlineMovesOntoTheLiverAndClosedInFatLeaves) {
  constexpr int W = 40, H = 30;
  std::vector<int16_t> hu(W * H, -90);
  std::vector<uint8_t> mask(W * H, 0);
  for (int y = 5; y < 25; ++y)
    for (int x = 5; x < 35; ++x) {
      if (x < 18 || x > 21 || y > 14) hu[y * W + x] = 60;
      mask[y * W + x] = x > 5 && x < 34 && y > 5 && y < 24 ? 7 : 0;
    }
  EXPECT_EQ(morvex::snapOutline(hu.data(), mask.data(), W, H, 7, 60, 0, 500), 556 - 28 * 18);
  EXPECT_EQ(std::count(mask.begin(), mask.end(), 7), 556);
  EXPECT_EQ(mask[10 * W + 19], 0) << "the slot";
  EXPECT_EQ(morvex::snapOutline(hu.data(), mask.data(), W, H, 7, 60, 0, 0), 0) << "no liver profile";
  // The same block in bright tissue (200 HU) with a 3 x 4 patch at 40 HU (below the liver's band,
  // above fat) inside the mask at its right edge, 200 HU beyond: nothing reaches it through fat and
  // the growth passes it by; of the outline's patch pixels the two whose median stays at 40 leave.
  std::vector<int16_t> bright(W * H, 200);
  std::vector<uint8_t> edge(W * H, 0);
  for (int y = 5; y < 25; ++y)
    for (int x = 5; x < 35; ++x) {
      bright[y * W + x] = y >= 11 && y <= 14 && x >= 31 ? (x == 34 ? 200 : 40) : 60;
      edge[y * W + x] = x > 5 && x < 34 && y > 5 && y < 24 ? 7 : 0;
    }
  EXPECT_EQ(morvex::snapOutline(bright.data(), edge.data(), W, H, 7, 60, 0, 500), 590 - 28 * 18);
  EXPECT_EQ(edge[12 * W + 33] + edge[13 * W + 33], 0);
  EXPECT_EQ(edge[11 * W + 33], 7);
}
