// Resection plans on generated label volumes with known answers: the split of a box liver, the
// margin of a ball tumour to a plane and to the same cut drawn as a key line, a tumour across the
// cut, labels untouched, the distance transform against brute force, plan files, the labels'
// summary kept between plan changes, and the cut of a line drawn across a coronal or sagittal view.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "planning/plan_json.h"
#include "planning/resection_plan.h"
#include "study/label_table.h"
#include "tests/testing_support.h"

namespace {

using namespace morvex;

// A label volume of its own: a box of liver, optionally a ball of tumour (centre and radius in
// series millimetres).
struct Labels {
  int w, h, n;
  double cs, rs, ss;
  std::vector<std::vector<uint8_t>> slices;
  Labels(int w_, int h_, int n_, double cs_, double rs_, double ss_)
      : w(w_), h(h_), n(n_), cs(cs_), rs(rs_), ss(ss_), slices(n_, std::vector<uint8_t>(w_ * h_, 0)) {}
  void box(int x0, int x1, int y0, int y1, int z0, int z1, uint8_t v) {
    for (int z = z0; z <= z1; ++z)
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) slices[z][y * w + x] = v;
  }
  void ball(double cx, double cy, double cz, double r) {
    for (int z = 0; z < n; ++z)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          if (std::hypot(x * cs - cx, y * rs - cy, z * ss - cz) <= r) slices[z][y * w + x] = kCancer;
  }
  PlanVolume volume() const {
    PlanVolume v;
    v.width = w, v.height = h, v.columnSpacing = cs, v.rowSpacing = rs, v.sliceSpacing = ss;
    for (const auto& s : slices) v.slices.push_back(s.data());
    return v;
  }
};

ResectionPlan planeAt(double x, double y, double z, double nx, double ny, double nz) {
  ResectionPlan p;
  p.kind = PlanKind::Plane;
  const double pt[3] = {x, y, z}, nm[3] = {nx, ny, nz};
  std::copy(pt, pt + 3, p.planePoint);
  std::copy(nm, nm + 3, p.planeNormal);
  return p;
}

DivisionLine straightLine(int slice, DivPoint a, DivPoint b) {
  DivisionLine l;
  l.frame = slice;
  l.append(a, 0, a);
  l.append(b, 0, b);
  return l;
}

// A key-line plan whose cut falls between columns x - 1 and x on every slice (the line's own
// pixels go with the larger columns).
ResectionPlan keyLineAtColumn(int x, int height) {
  ResectionPlan p;
  p.setKeyLine(straightLine(0, {x, 0}, {x, height - 1}));
  return p;
}

void chooseSide(ResectionPlan& p, int slice, int x, int y) {
  p.hasSide = true;
  p.sideSlice = slice, p.sideX = x, p.sideY = y;
}

}  // namespace

TEST(Planning, APlaneSplittingABoxLiverThirtySeventyGivesThoseShares) {
  struct Case { const char* name; double nx, ny, nz; };
  // the box: columns 5..34, rows 4..23, slices 1..10 (30 x 20 x 10); a cut after 9 of 30 columns,
  // after 6 of 20 rows and after 3 of 10 slices; a tumour in the part removed
  for (const Case& c : {Case{"columns", 1, 0, 0}, Case{"rows", 0, 1, 0}, Case{"slices", 0, 0, -1}}) {
    SCOPED_TRACE(c.name);
    Labels l(44, 30, 13, 0.7, 0.9, 2.5);
    l.box(5, 34, 4, 23, 1, 10, kLiver);
    l.box(20, 24, 10, 12, 6, 8, kVessel);  // vessels count as liver
    l.box(6, 9, 5, 8, 2, 3, kCancer);       // 32 voxels of tumour in the removed part
    const double at[3] = {13.5 * l.cs, 9.5 * l.rs, 3.5 * l.ss};
    ResectionPlan p = planeAt(at[0], at[1], at[2], c.nx, c.ny, c.nz);
    // remove the 30 % part: columns 5..13, rows 4..9, or slices 1..3 (the normal points away for slices)
    chooseSide(p, c.nz ? 2 : 5, c.nx ? 6 : 20, c.ny ? 5 : 15);
    const PlanFigures f = computePlanFigures(l.volume(), p);
    ASSERT_TRUE(f.valid && f.sideChosen);
    const double voxelMl = l.cs * l.rs * l.ss / 1000;
    EXPECT_NEAR(f.totalMl, 30 * 20 * 10 * voxelMl, 1e-9);
    EXPECT_NEAR(f.functionalMl, (6000 - 32) * voxelMl, 1e-9);
    // shares of the functional liver: the tumour is neither resected nor kept liver
    EXPECT_NEAR(f.resectedPercent, 100.0 * (1800 - 32) / (6000 - 32), 1e-9);
    EXPECT_NEAR(f.remnantPercent, 100.0 * 4200 / (6000 - 32), 1e-9);
    EXPECT_NEAR(f.resectedMl + f.remnantMl, f.totalMl, 1e-9);
    PlanThresholds strict;
    strict.remnantPercent = 75;
    strict.marginMm = 0;  // the tumour's margin is not what this asks
    ASSERT_EQ(planWarnings(f, strict).size(), 1u);
    strict.remnantPercent = 20;
    EXPECT_TRUE(planWarnings(f, strict).empty());
  }
}

TEST(Planning, ABallFifteenMillimetresFromTheCutHasATenMillimetreMargin) {
  // unequal spacing along all three axes; the cut between columns 39 and 40, or between rows 31
  // and 32 (a key line along the rows: the cut runs between rows of voxels)
  constexpr double cs = 0.6, rs = 0.8, ss = 1.25;
  const double cutX = 39.5 * cs, cutY = 31.5 * rs;
  ResectionPlan alongRows;
  alongRows.setKeyLine(straightLine(0, {0, 32}, {79, 32}));
  struct Case { const char* name; ResectionPlan plan; double x, y, halfVoxel; };
  for (Case c : {Case{"plane", planeAt(cutX, 0, 0, 1, 0, 0), cutX - 15.0, 31 * rs, 0.5 * cs},
                 Case{"key line", keyLineAtColumn(40, 64), cutX - 15.0, 31 * rs, 0.5 * cs},
                 Case{"key line along the rows", alongRows, 20 * cs, cutY - 15.0, 0.5 * rs}}) {
    SCOPED_TRACE(c.name);
    Labels l(80, 64, 40, cs, rs, ss);
    l.box(2, 77, 2, 61, 1, 38, kLiver);
    l.ball(c.x, c.y, 20 * l.ss, 5.0);
    chooseSide(c.plan, 20, 10, 10);  // the tumour's side
    const PlanFigures f = computePlanFigures(l.volume(), c.plan);
    ASSERT_EQ(f.tumours.size(), 1u);
    const TumourFigures& t = f.tumours[0];
    EXPECT_NEAR(t.marginMm, 10.0, c.halfVoxel);
    EXPECT_TRUE(t.whollyResected);
    EXPECT_FALSE(t.crossesCut);
    EXPECT_NEAR(f.tumourMl, t.volumeMl, 1e-12);
    EXPECT_NEAR(t.volumeMl, 4.0 / 3 * M_PI * 125 / 1000, 0.05);  // the ball, 0.52 mL
    EXPECT_NEAR(f.functionalMl, f.totalMl - f.tumourMl, 1e-9);
    PlanThresholds wider;
    wider.marginMm = 12;
    const std::vector<PlanWarning> w = planWarnings(f, wider);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].kind, PlanWarning::Kind::CloseMargin);
    EXPECT_EQ(w[0].tumour, 0);
    wider.marginMm = t.marginMm;
    EXPECT_TRUE(planWarnings(f, wider).empty()) << "a margin of the threshold itself is enough";
  }
}

TEST(Planning, ATumourAcrossTheCutHasNoMarginAndIsNotWhollyResected) {
  Labels l(60, 40, 20, 0.75, 0.7, 2.0);
  l.box(2, 57, 2, 37, 1, 18, kLiver);
  l.ball(30 * l.cs, 20 * l.rs, 10 * l.ss, 4.0);     // across the cut at column 29.5
  l.ball(10 * l.cs, 20 * l.rs, 10 * l.ss, 3.0);     // wholly on the removed side
  for (ResectionPlan p : {planeAt(29.5 * l.cs, 0, 0, 1, 0, 0), keyLineAtColumn(30, l.h)}) {
    chooseSide(p, 10, 5, 5);
    const PlanFigures f = computePlanFigures(l.volume(), p);
    ASSERT_EQ(f.tumours.size(), 2u);
    // in order of the first voxel: the ball across the cut reaches a lower slice
    const TumourFigures& across = f.tumours[0];
    EXPECT_TRUE(across.crossesCut);
    EXPECT_EQ(across.marginMm, 0.0);
    EXPECT_FALSE(across.whollyResected);
    EXPECT_TRUE(f.tumours[1].whollyResected);
    EXPECT_GT(f.tumours[1].marginMm, 10.0);
    EXPECT_EQ(planWarnings(f, PlanThresholds{}).size(), 1u);
  }
}

TEST(Planning, KeyLinesOnTwoSlicesCutTheSlicesBetweenAlongTheInterpolatedLine) {
  Labels l(50, 30, 11, 1.0, 1.0, 1.0);
  l.box(0, 49, 0, 29, 0, 10, kLiver);
  ResectionPlan p;
  p.setKeyLine(straightLine(8, {30, 29}, {30, 0}));  // drawn the other way round
  p.setKeyLine(straightLine(2, {10, 0}, {10, 29}));
  chooseSide(p, 0, 0, 0);
  const SideMaps maps = sideMapsOf(l.volume(), p);
  ASSERT_EQ(maps.removed, 1);
  // the removed columns per slice: 10 before and on the first key slice, 30 from the last, 20 halfway
  const int expected[11] = {10, 10, 10, 13, 17, 20, 23, 27, 30, 30, 30};
  for (int s = 0; s < 11; ++s) {
    const uint8_t* m = maps.map(s);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(std::count(m + 15 * 50, m + 16 * 50, 1), expected[s]) << "slice " << s;
  }
  // where each slice's cut crosses row 15 (as a coronal view draws it) the map changes side there
  const std::vector<double> row = morvex::planKeyLineCrossings(p, 11, 50, 30, 1, 15);
  ASSERT_EQ(row.size(), 11u);
  for (int s = 0; s < 11; ++s) EXPECT_EQ(std::lround(row[static_cast<std::size_t>(s)]), expected[s]) << "slice " << s;
  // a column no cut reaches (a sagittal view at column 40)
  for (double y : morvex::planKeyLineCrossings(p, 11, 50, 30, 0, 40)) EXPECT_TRUE(std::isnan(y));
  // a slanted cut from corner (0, 0) to (20, 29): row 15 at x = 15 x 20 / 29, column 10 at y = 14.5
  ResectionPlan slanted;
  slanted.setKeyLine(straightLine(0, {0, 0}, {20, 29}));
  EXPECT_NEAR(morvex::planKeyLineCrossings(slanted, 1, 50, 30, 1, 15).at(0), 15.0 * 20 / 29, 1e-9);
  EXPECT_NEAR(morvex::planKeyLineCrossings(slanted, 1, 50, 30, 0, 10).at(0), 14.5, 1e-9);
}

TEST(Planning, PlanningLeavesTheLabelsByteForByte) {
  Study study;
  SliceHeader header;
  header.patientName = "P";
  header.seriesDate = "20240101";
  header.pixelSpacingRow = 0.8, header.pixelSpacingColumn = 0.6, header.sliceThickness = 2;
  std::vector<std::vector<uint8_t>> before;
  std::mt19937 random(7);
  for (int k = 0; k < 6; ++k) {
    header.instanceNumber = k + 1;
    const int f = morvex::testing::addFrame(study, header, 40, 30);
    uint8_t* labels = study.labelImage(f);
    for (int i = 0; i < 40 * 30; ++i) labels[i] = static_cast<uint8_t>(random() % 8);
    before.emplace_back(labels, labels + 40 * 30);
  }
  ResectionPlan p;
  p.setKeyLine(straightLine(1, {5, 0}, {25, 29}));
  p.setKeyLine(straightLine(4, {20, 0}, {10, 29}));
  chooseSide(p, 2, 1, 1);
  const PlanVolume vol = planVolumeOf(study, 0);
  ASSERT_EQ(vol.sliceCount(), 6);
  EXPECT_DOUBLE_EQ(vol.columnSpacing, 0.6);
  EXPECT_DOUBLE_EQ(vol.rowSpacing, 0.8);
  const PlanFigures f = computePlanFigures(vol, p);
  EXPECT_TRUE(f.sideChosen);
  EXPECT_FALSE(f.tumours.empty());
  for (int k = 0; k < 6; ++k) {
    const uint8_t* now = static_cast<const Study&>(study).labelImage(k);
    EXPECT_TRUE(std::equal(before[k].begin(), before[k].end(), now)) << "slice " << k;
  }
}

TEST(Planning, DistanceTransformMatchesBruteForceWithSquareAndOblongPixels) {
  const int w = 13, h = 9, n = 5;
  std::mt19937 random(3);
  std::vector<uint8_t> mask(w * h * n, 0);
  for (int k = 0; k < 6; ++k) mask[random() % mask.size()] = 1;
  for (const auto& sp : {std::array<double, 3>{0.7, 0.7, 2.0}, std::array<double, 3>{0.6, 0.9, 1.3}}) {
    const std::vector<float> d = squaredDistanceToMask(mask, w, h, n, sp[0], sp[1], sp[2]);
    for (int z = 0; z < n; ++z)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          double best = 1e300;
          for (std::size_t i = 0; i < mask.size(); ++i)
            if (mask[i]) {
              const int qx = i % w, qy = (i / w) % h, qz = i / (w * h);
              best = std::min(best, std::pow((x - qx) * sp[0], 2) + std::pow((y - qy) * sp[1], 2) + std::pow((z - qz) * sp[2], 2));
            }
          EXPECT_NEAR(d[(z * h + y) * w + x], best, 1e-3 * (1 + best)) << x << "," << y << "," << z;
        }
  }
}

TEST(Planning, PlanFilesRoundTripAndRefuseMalformedText) {
  PlanSet set;
  set.thresholds.remnantPercent = 30;
  set.thresholds.marginMm = 7.5;
  ResectionPlan a;
  a.name = "Right hepatectomy";
  a.lineSpacing = 12;
  DivisionLine curve = straightLine(3, {1, 2}, {30, 40});
  curve.append({50, 44}, 1, {45, 20});
  a.setKeyLine(curve);
  a.setKeyLine(straightLine(9, {4, 0}, {8, 60}));
  chooseSide(a, 5, 11, 12);
  set.plans.push_back(a);
  set.plans.push_back(planeAt(1.5, -2, 30.25, 0, 0.6, 0.8));
  set.plans.back().name = "Plane";
  set.active = 1;

  const std::string json = planSetToJson(set);
  // the document as another reader sees it
  const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
  EXPECT_EQ(root.value("plans").toArray().size(), 2);
  EXPECT_EQ(root.value("plans").toArray()[1].toObject().value("kind").toString(), "plane");
  EXPECT_EQ(root.value("marginThresholdMm").toDouble(), 7.5);

  morvex::testing::TempDir dir;
  const std::string path = planFileBeside(dir.file("m_P_20240101.tiff"));
  EXPECT_EQ(path, dir.file("m_P_20240101.plans.json"));
  std::string error;
  ASSERT_TRUE(savePlanFile(path, set, error)) << error;
  PlanSet back;
  ASSERT_TRUE(loadPlanFile(path, back, error)) << error;
  EXPECT_EQ(back.active, 1);
  EXPECT_EQ(back.thresholds.remnantPercent, 30);
  ASSERT_EQ(back.plans.size(), 2u);
  const ResectionPlan& b = back.plans[0];
  EXPECT_EQ(b.name, a.name);
  EXPECT_EQ(b.lineSpacing, 12);
  ASSERT_EQ(b.keyLines.size(), 2u);
  EXPECT_EQ(b.keyLines[0].points, a.keyLines[0].points);
  EXPECT_EQ(b.keyLines[0].types, a.keyLines[0].types);
  EXPECT_EQ(b.keyLines[0].controls, a.keyLines[0].controls);
  EXPECT_TRUE(b.hasSide && b.sideSlice == 5 && b.sideX == 11 && b.sideY == 12);
  EXPECT_EQ(back.plans[1].kind, PlanKind::Plane);
  EXPECT_EQ(back.plans[1].planePoint[2], 30.25);
  EXPECT_EQ(back.plans[1].planeNormal[1], 0.6);
  EXPECT_FALSE(back.plans[1].hasSide);

  const std::string head = R"({"format": "morvex-resection-plans", "version": 1, )";
  const std::string line = R"({"name": "a", "kind": "keylines", "keyLines": [{"slice": 1, "points": )";
  const char* bad[] = {"", "{", "[1, 2]", R"({"format": "other", "plans": []})",
                       R"({"format": "morvex-resection-plans", "version": 9, "plans": []})", nullptr};
  const std::string badPlans[] = {
      R"("plans": [{"name": "a", "kind": "cone"}]})",
      R"("plans": [{"name": "a", "kind": "plane", "point": [0, 0], "normal": [1, 0, 0]}]})",
      R"("plans": [)" + line + R"([[0, 0]]}]}]})",
      R"("plans": [)" + line + R"([[0, 0], [1, 1]], "types": [0]}]}]})",
      R"("plans": [)" + line + R"([[0, 0], [1.5, 1]]}]}]})",
      R"("plans": [], "active": 2})",
      R"("plans": [], "remnantThresholdPercent": 140})"};
  std::vector<std::string> texts(std::begin(bad), std::end(bad) - 1);
  for (const std::string& p : badPlans) texts.push_back(head + p);
  for (const std::string& t : texts) {
    PlanSet out = set;
    error.clear();
    EXPECT_FALSE(planSetFromJson(t, out, error)) << t;
    EXPECT_FALSE(error.empty()) << t;
    EXPECT_EQ(out.plans.size(), 2u) << "untouched on failure: " << t;
  }
  EXPECT_FALSE(loadPlanFile(dir.file("missing.plans.json"), back, error));
  EXPECT_NE(error.find("missing.plans.json"), std::string::npos) << error;
}

TEST(Planning, TheKeptLabelSummaryServesOnlyTheLabelsItWasMadeOf) {
  Labels l(80, 64, 40, 0.6, 0.8, 1.25);
  l.box(2, 77, 2, 61, 1, 38, kLiver);
  const double cut = 39.5 * l.cs;
  l.ball(cut - 15.0, 31 * l.rs, 20 * l.ss, 5.0);
  ResectionPlan p = keyLineAtColumn(40, l.h);
  chooseSide(p, 20, 10, 10);
  PlanVolume vol = l.volume();
  vol.revisions.assign(static_cast<std::size_t>(l.n), 1);
  PlanLabelCache cache;
  const std::shared_ptr<const PlanLabels> first = cache.of(vol);
  EXPECT_EQ(cache.of(vol), first);
  // a second ball on the kept side, 20 mm from the cut: one slice's revision tells
  l.ball(cut + 20.0, 31 * l.rs, 12 * l.ss, 5.0);
  vol.revisions[12] = 2;
  const std::shared_ptr<const PlanLabels> second = cache.of(vol);
  EXPECT_NE(second, first);
  for (const PlanLabels* given : {second.get(), first.get()}) {  // a stale summary is not used
    const PlanFigures f = computePlanFigures(vol, p, given);
    ASSERT_EQ(f.tumours.size(), 2u);
    EXPECT_NEAR(f.tumours[0].marginMm, 15.0, 0.5 * l.cs);
    EXPECT_FALSE(f.tumours[0].whollyResected);
    EXPECT_NEAR(f.tumours[1].marginMm, 10.0, 0.5 * l.cs);
  }
  vol.revisions.clear();  // labels of unknown revision are never kept
  EXPECT_NE(cache.of(vol), cache.of(vol));
}

TEST(Planning, ALineDrawnInACoronalOrSagittalViewCutsAlongItAcrossTheView) {
  Labels l(40, 30, 12, 0.6, 0.9, 2.5);
  const PlanVolume vol = l.volume();
  struct Case { int viewAxis; double a[3], b[3]; };
  // coronal (across rows): a line at column 10 down the slices; sagittal (across columns): a slant
  for (const Case& c : {Case{1, {10, 5, 0}, {10, 5, 11}}, Case{0, {7, 4, 2}, {7, 25, 9}}}) {
    SCOPED_TRACE(c.viewAxis);
    ResectionPlan p;
    ASSERT_TRUE(setPlaneThroughLine(p, vol, c.a, c.b, c.viewAxis));
    EXPECT_EQ(p.kind, PlanKind::Plane);
    EXPECT_NEAR(p.planeNormal[c.viewAxis], 0.0, 1e-12);  // perpendicular to the view
    for (const double* q : {c.a, c.b}) EXPECT_NEAR(planeDistance(p, vol, static_cast<int>(q[2]), q[0], q[1]), 0.0, 1e-9);
    // drawn back in the same view, the crossing runs through both ends of the line
    double seg[4];
    ASSERT_TRUE(planeCrossing(p, vol, c.viewAxis, c.a[c.viewAxis], seg));
    const int u = c.viewAxis == 0 ? 1 : 0;
    for (const double* q : {c.a, c.b})
      EXPECT_NEAR((seg[2] - seg[0]) * (q[2] - seg[1]) - (seg[3] - seg[1]) * (q[u] - seg[0]), 0.0, 1e-9);
  }
  // the coronal line at column 10 crosses every axial slice along column 10, top to bottom
  ResectionPlan p;
  const double a[3] = {10, 5, 0}, b[3] = {10, 5, 11};
  setPlaneThroughLine(p, vol, a, b, 1);
  double seg[4];
  ASSERT_TRUE(planeCrossing(p, vol, 2, 4, seg));
  EXPECT_NEAR(seg[0], 10, 1e-9);
  EXPECT_NEAR(seg[2], 10, 1e-9);
  EXPECT_NEAR(std::abs(seg[3] - seg[1]), 30, 1e-9);
  EXPECT_FALSE(planeCrossing(p, vol, 0, 20, seg)) << "a sagittal view beside the cut";
  EXPECT_FALSE(setPlaneThroughLine(p, vol, a, a, 1));
}
