#include "tools/synthct/phantom.h"

#include <algorithm>
#include <cmath>

namespace morvex::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Length of the series in field-of-view half-widths (300 mm of series over a 179 mm half FOV).
constexpr double kDepth = 1.67;

struct Rng {
  uint64_t state;
  explicit Rng(uint64_t seed) : state(seed) {}
  uint64_t next() {  // splitmix64
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double uniform() { return (static_cast<double>(next() >> 11) + 0.5) * (1.0 / 9007199254740992.0); }
};

double sq(double x) { return x * x; }

double ellipseRadius(double u, double v, double cx, double cy, double ax, double ay) {
  return std::sqrt(sq((u - cx) / ax) + sq((v - cy) / ay));
}

struct Vec3 {
  double x, y, z;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
Vec3 normalized(Vec3 a) {
  const double n = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  return n > 0 ? a * (1.0 / n) : Vec3{1, 0, 0};
}

// Body outline: normalised elliptic radius of (u, v) at height z (1 = skin).
double bodyRadius(double u, double v, double z) {
  return ellipseRadius(u, v, 0.0, 0.02, 0.84 * (1.0 - 0.04 * z), 0.60);
}

}  // namespace

int tissueHU(Tissue t) {
  switch (t) {
    case Tissue::Air: return kAirHU;
    case Tissue::Table: return kTableHU;
    case Tissue::SubcutaneousFat: return kFatHU;
    case Tissue::Muscle: return kMuscleHU;
    case Tissue::VisceralFat: return kVisceralFatHU;
    case Tissue::Liver: return kLiverHU;
    case Tissue::Vessel: return kVesselHU;
    case Tissue::Tumour: return kTumourHU;
    case Tissue::Kidney: return kKidneyHU;
    case Tissue::StomachWall: return kStomachWallHU;
    case Tissue::StomachContent: return kStomachContentHU;
    case Tissue::StomachAir: return kAirHU;
    case Tissue::Bone: return kBoneHU;
    case Tissue::Marrow: return kMarrowHU;
    case Tissue::Aorta: return kAortaHU;
    case Tissue::Canal: return 10;
    case Tissue::Heart: return kHeartHU;
    case Tissue::Diaphragm: return kDiaphragmHU;
    case Tissue::PortalVein: return kPortalVeinHU;
  }
  return kAirHU;
}

Phantom::Phantom(const PhantomOptions& options) : opt_(options) {
  opt_.size = std::max(opt_.size, 8);
  opt_.slices = std::max(opt_.slices, 1);
  growVessels();
  if (!opt_.hard) return;
  // Border lesions: spheres centred on the right lobe's outline at (lobe height s, angle th).
  const double where[][2] = {{0.30, 2.7}, {0.55, -0.9}, {0.72, 1.9}};
  for (const auto& [s, th] : where) {
    const double f = std::sqrt(std::sin(kPi * std::pow(s, 0.7)));
    const double edge = 0.40 * f * (1.0 + 0.08 * std::sin(2 * th + 0.5) + 0.05 * std::cos(3 * th + 1.3 * s) +
                                    0.03 * std::sin(5 * th + 2 * s));
    const double cx = -0.36 + 0.04 * s + edge * std::cos(th), cy = -0.06 + 0.04 * s + 0.85 * edge * std::sin(th);
    const double w = (0.12 + 0.66 * s) * kDepth;
    lesions_.push_back({cx, cy, w, cx, cy, w, 0.05});
  }
  // Dome bumps around the right lobe's top, rising about 7 % of the series above the dome: on the
  // top slices they are islands lateral to the heart.
  for (double th : {3.0, 2.1, -2.3})
    domeBumps_.push_back({-0.36 + 0.24 * std::cos(th), -0.06 + 0.85 * 0.24 * std::sin(th), 0.13, 0.065, 0.065, 0.035, 0});
  // The tip below the tongue: two pieces either side of its axis and a smaller third one.
  tipPieces_ = {{-0.31, -0.05, 0.875, 0.03, 0.03, 0.03, 0},
                {-0.21, -0.07, 0.875, 0.03, 0.03, 0.03, 0},
                {-0.25, -0.13, 0.885, 0.022, 0.022, 0.02, 0}};
  // Large tumours (radii in half fields of view, about 110 and 120 mL): one deep in the right lobe,
  // one under its anterolateral capsule, clipped by the liver's outline.
  largeTumours_ = {{-0.34, 0.02, (0.12 + 0.66 * 0.33) * kDepth, 0.17, 0.15, 0.18, 0},
                   {-0.50, -0.16, (0.12 + 0.66 * 0.62) * kDepth, 0.18, 0.16, 0.18, 0}};
}

bool Phantom::insideLargeTumour(double u, double v, double w) const {
  for (const Segment& t : largeTumours_) {
    const double du = (u - t.ax) / t.bx, dv = (v - t.ay) / t.by, dw = (w - t.az) / t.bz;
    const double rho = std::sqrt(du * du + dv * dv + dw * dw);
    if (rho >= 1.2) continue;
    const double th = std::atan2(dv, du), phi = std::asin(std::clamp(dw / std::max(rho, 1e-9), -1.0, 1.0));
    if (rho < 1.0 + 0.10 * std::sin(3 * th + 0.7) * std::cos(phi) + 0.06 * std::sin(2 * phi + th)) return true;
  }
  return false;
}

double Phantom::sliceZ(int k) const { return opt_.slices > 1 ? static_cast<double>(k) / (opt_.slices - 1) : 0.5; }

bool Phantom::insideLiver(double u, double v, double z) const {
  // hard preset: a tongue of the right lobe reaching down into the visceral fat
  if (opt_.hard && z > 0.66 && z < 0.88) {
    const double r = 0.12 * std::sqrt((0.88 - z) / 0.22);
    if (ellipseRadius(u, v, -0.26, -0.06, r, 0.85 * r) < 1.0) return true;
  }
  if (opt_.hard)  // the dome's bumps and the tip's pieces
    for (const auto* parts : {&domeBumps_, &tipPieces_})
      for (const Segment& b : *parts)
        if (sq((u - b.ax) / b.bx) + sq((v - b.ay) / b.by) + sq((z - b.az) / b.bz) < 1.0) return true;
  const double s = (z - 0.12) / 0.66;
  if (s <= 0.0 || s >= 1.0) return false;
  // right lobe: a lobed ellipse whose size follows the dome above and the taper below
  const double f = std::sqrt(std::sin(kPi * std::pow(s, 0.7)));
  const double radius = 0.40 * f;
  const double cx = -0.36 + 0.04 * s, cy = -0.06 + 0.04 * s;
  const double du = u - cx, dv = (v - cy) / 0.85;
  const double rho = std::sqrt(du * du + dv * dv);
  if (rho < radius * 1.2) {
    const double th = std::atan2(dv, du);
    const double edge =
        radius * (1.0 + 0.08 * std::sin(2 * th + 0.5) + 0.05 * std::cos(3 * th + 1.3 * s) + 0.03 * std::sin(5 * th + 2 * s));
    if (rho < edge) return true;
  }
  // left lobe, across the midline in the upper part
  if (s < 0.6) {
    const double g = std::sqrt(1.0 - s / 0.6);
    if (g > 0.05 && ellipseRadius(u, v, -0.02, -0.24, 0.30 * g, 0.11 * g) < 1.0) return true;
  }
  return false;
}

bool Phantom::nearLiver(double u, double v, double z, double d) const {
  const double c = d * 0.7071, dz = d / kDepth;
  const double probes[][3] = {{d, 0, 0}, {-d, 0, 0}, {0, d, 0}, {0, -d, 0}, {c, c, 0},
                              {-c, c, 0}, {c, -c, 0}, {-c, -c, 0}, {0, 0, dz}, {0, 0, -dz}};
  for (const auto& p : probes)
    if (insideLiver(u + p[0], v + p[1], z + p[2])) return true;
  return false;
}

// The hard preset's additions, applied after the liver has been placed.
Tissue Phantom::classifyHard(double u, double v, double z, Tissue t) const {
  const double w = z * kDepth;
  if (t == Tissue::Liver || t == Tissue::Vessel || t == Tissue::Tumour) {
    // portal-vein notch at the hilum, opening medially: the vein in a collar of fat
    if (z > 0.36 && z < 0.54 && std::fabs(v - 0.06) < 0.05 && u > -0.15) {
      const double dv = std::fabs(v - 0.06), du = std::min(u + 0.10, 0.0);
      const double d = std::sqrt(du * du + dv * dv);
      if (d < 0.05) return d < 0.028 ? Tissue::PortalVein : Tissue::VisceralFat;
    }
    for (const Segment& l : lesions_)
      if (sq(u - l.ax) + sq(v - l.ay) + sq(w - l.az) < sq(l.r)) return Tissue::Tumour;
    if (insideLargeTumour(u, v, w)) return Tissue::Tumour;
    return t;
  }
  // the heart above the dome, kept off the liver by the diaphragm
  const double diaphragm = kDiaphragmMm / 179.2;
  const double e = std::sqrt(sq(u / 0.34) + sq((v + 0.12) / 0.26) + sq((w - 0.10) / 0.16));
  if (e < 1.0) return nearLiver(u, v, z, diaphragm) ? Tissue::Diaphragm : Tissue::Heart;
  return t;
}

bool Phantom::insideVessel(double u, double v, double w) const {
  for (const Segment& sgm : vessels_) {
    const double minX = std::min(sgm.ax, sgm.bx) - sgm.r, maxX = std::max(sgm.ax, sgm.bx) + sgm.r;
    const double minZ = std::min(sgm.az, sgm.bz) - sgm.r, maxZ = std::max(sgm.az, sgm.bz) + sgm.r;
    if (u < minX || u > maxX || w < minZ || w > maxZ) continue;
    const double dx = sgm.bx - sgm.ax, dy = sgm.by - sgm.ay, dz = sgm.bz - sgm.az;
    const double len2 = dx * dx + dy * dy + dz * dz;
    double t = len2 > 0 ? ((u - sgm.ax) * dx + (v - sgm.ay) * dy + (w - sgm.az) * dz) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double d2 = sq(u - sgm.ax - t * dx) + sq(v - sgm.ay - t * dy) + sq(w - sgm.az - t * dz);
    if (d2 < sgm.r * sgm.r) return true;
  }
  return false;
}

void Phantom::growVessels() {
  Rng rng(0xC0FFEEULL ^ (static_cast<uint64_t>(opt_.seed) << 17));
  // Branches are grown from the hilum; children turn by 25-45 degrees and thin out.
  struct Branch {
    Vec3 start, dir;
    double length, radius;
    int depth;
  };
  const Vec3 hilum{-0.20, 0.02, 0.45 * kDepth};
  std::vector<Branch> todo = {
      {{-0.08, 0.10, 0.50 * kDepth}, normalized({-0.12, -0.08, -0.05 * kDepth}), 0.15, 0.034, 0},
      {hilum, normalized({-1.0, 0.05, 0.0}), 0.24, 0.030, 1},
      {hilum, normalized({-0.4, -1.0, -0.2}), 0.22, 0.028, 1},
      {hilum, normalized({-0.3, -0.1, -1.0}), 0.30, 0.028, 1},
      {hilum, normalized({-0.4, 0.3, 1.0}), 0.26, 0.026, 1},
      {hilum, normalized({0.8, -0.8, -0.3}), 0.22, 0.022, 2},
      {hilum, normalized({-0.7, -0.5, -0.8}), 0.26, 0.024, 1},
      {hilum, normalized({-0.8, 0.4, -0.5}), 0.24, 0.024, 1},
      {hilum, normalized({-0.9, -0.3, 0.6}), 0.24, 0.024, 1},
  };
  while (!todo.empty()) {
    const Branch b = todo.back();
    todo.pop_back();
    const Vec3 end = b.start + b.dir * b.length;
    vessels_.push_back({b.start.x, b.start.y, b.start.z, end.x, end.y, end.z, b.radius});
    if (b.depth >= 4) continue;
    for (int c = 0; c < 2; ++c) {
      const double angle = (25.0 + 20.0 * rng.uniform()) * kPi / 180.0 * (c == 0 ? 1.0 : -1.0);
      // rotate around a random axis perpendicular to the branch
      Vec3 helper = std::fabs(b.dir.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
      Vec3 perp = normalized({b.dir.y * helper.z - b.dir.z * helper.y, b.dir.z * helper.x - b.dir.x * helper.z,
                              b.dir.x * helper.y - b.dir.y * helper.x});
      const double spin = 2.0 * kPi * rng.uniform();
      Vec3 other = {b.dir.y * perp.z - b.dir.z * perp.y, b.dir.z * perp.x - b.dir.x * perp.z,
                    b.dir.x * perp.y - b.dir.y * perp.x};
      Vec3 axisDir = normalized(perp * std::cos(spin) + other * std::sin(spin));
      Vec3 dir = normalized(b.dir * std::cos(angle) + axisDir * std::sin(angle));
      todo.push_back({end, dir, b.length * (0.65 + 0.15 * rng.uniform()), b.radius * 0.7, b.depth + 1});
    }
  }
}

Tissue Phantom::classify(double u, double v, double z) const {
  Tissue t = Tissue::Air;
  // table: two plates around a foam core, below the patient
  if (std::fabs(u) < 0.92 && v > 0.66 && v < 0.78) t = (v < 0.69 || v > 0.75) ? Tissue::Table : Tissue::Air;
  const double e = bodyRadius(u, v, z);
  if (e > 1.0) return t;
  t = e > 0.88 ? Tissue::SubcutaneousFat : (e > 0.82 ? Tissue::Muscle : Tissue::VisceralFat);
  // paraspinal muscles
  if (ellipseRadius(std::fabs(u), v, 0.16, 0.47, 0.11, 0.075) < 1.0) t = Tissue::Muscle;
  // ribs in the upper half
  if (z < 0.6) {
    static const double kRibAngles[] = {-150, -128, -106, -74, -52, -30, 30, 52, 128, 150};
    for (double deg : kRibAngles) {
      const double a = (deg + 12.0 * z) * kPi / 180.0;
      const double ax = 0.84 * (1.0 - 0.04 * z), ay = 0.60;
      const double rx = 0.85 * ax * std::cos(a), ry = 0.02 + 0.85 * ay * std::sin(a);
      if (sq(u - rx) + sq(v - ry) < sq(0.03)) t = Tissue::Bone;
    }
  }
  const bool cavity = e <= 0.82;
  if (cavity && insideLiver(u, v, z)) {
    const double w = z * kDepth;
    if (sq(u + 0.48) + sq(v + 0.02) + sq(w - 0.40 * kDepth) < sq(0.075))
      t = Tissue::Tumour;
    else if (insideVessel(u, v, w))
      t = Tissue::Vessel;
    else
      t = Tissue::Liver;
  }
  if (opt_.hard && cavity) t = classifyHard(u, v, z, t);
  // stomach with an air cap, touching the left lobe
  if (cavity && z > 0.10 && z < 0.55) {
    const double h = std::sqrt(std::sin(kPi * (z - 0.10) / 0.45));
    const double es = ellipseRadius(u, v, 0.32, -0.18, 0.19 * h + 1e-6, 0.15 * h + 1e-6);
    if (es < 1.0) t = es > 0.86 ? Tissue::StomachWall : (v < -0.18 - 0.06 * h ? Tissue::StomachAir : Tissue::StomachContent);
  }
  // right kidney, touching the lower liver from behind
  if (cavity && z > 0.50 && z < 0.95) {
    const double h = std::sqrt(std::sin(kPi * (z - 0.50) / 0.45));
    if (ellipseRadius(u, v, -0.30, 0.26, 0.10 * h + 1e-6, 0.14 * h + 1e-6) < 1.0) t = Tissue::Kidney;
  }
  // spine: vertebral body, canal, arch and spinous process
  const double dBody = std::sqrt(sq(u) + sq(v - 0.34));
  if (dBody < 0.095) t = dBody > 0.075 ? Tissue::Bone : Tissue::Marrow;
  const double dCanal = std::sqrt(sq(u) + sq(v - 0.48));
  if (dCanal < 0.07 && v > 0.43) t = dCanal < 0.04 ? Tissue::Canal : Tissue::Bone;
  if (std::fabs(u) < 0.02 && v > 0.52 && v < 0.58) t = Tissue::Bone;
  if (sq(u - 0.07) + sq(v - 0.20) < sq(0.05)) t = Tissue::Aorta;
  return t;
}

Tissue Phantom::tissueAt(int k, int x, int y) const {
  const double half = opt_.size / 2.0;
  return classify((x + 0.5 - half) / half, (y + 0.5 - half) / half, sliceZ(k));
}

PhantomSlice Phantom::slice(int k) const {
  PhantomSlice out;
  const int n = opt_.size;
  out.size = n;
  out.hu.resize(static_cast<std::size_t>(n) * n);
  out.labels.assign(static_cast<std::size_t>(n) * n, 0);
  Rng rng((static_cast<uint64_t>(opt_.seed) << 32) ^ static_cast<uint64_t>(k) * 0x9E3779B97F4A7C15ULL);
  double spare = 0.0;
  bool haveSpare = false;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const Tissue t = tissueAt(k, x, y);
      // Box-Muller, both values used
      double g;
      if (haveSpare) {
        g = spare;
        haveSpare = false;
      } else {
        const double r = std::sqrt(-2.0 * std::log(rng.uniform())), a = 2.0 * kPi * rng.uniform();
        g = r * std::cos(a);
        spare = r * std::sin(a);
        haveSpare = true;
      }
      const double hu = std::clamp(tissueHU(t) + opt_.noiseSigma * g, -1024.0, 3071.0);
      const std::size_t p = static_cast<std::size_t>(y) * n + x;
      out.hu[p] = static_cast<int16_t>(std::lround(hu));
      if (t == Tissue::Liver) out.labels[p] = kGtLiver;
      if (t == Tissue::Vessel) out.labels[p] = kGtVessel;
      if (t == Tissue::Tumour) out.labels[p] = kGtTumour;
    }
  }
  return out;
}

}  // namespace morvex::synth
