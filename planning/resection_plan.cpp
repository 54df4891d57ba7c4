#include "planning/resection_plan.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "study/label_table.h"
#include "study/study.h"

namespace morvex {

namespace {

constexpr float kFar = 1e30f;

bool isLiverLabel(uint8_t v) { return v >= kLiver && v <= kVesselRight; }

bool anyLabel(const uint8_t* s, std::size_t n) {
  return s && std::any_of(s, s + n, [](uint8_t v) { return v != 0; });
}

double norm3(const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// One line of the lower envelope of parabolas: d[q] = min over p of f[p] + w2 (q - p)^2, where
// entries f[p] >= kFar are no site. v and z are scratch of n and n + 1 entries.
void envelope1d(const float* f, int n, double w2, float* d, int* v, double* z) {
  int k = -1;
  for (int q = 0; q < n; ++q) {
    if (f[q] >= kFar) continue;
    if (k < 0) {
      k = 0;
      v[0] = q;
      z[0] = -std::numeric_limits<double>::infinity();
      z[1] = std::numeric_limits<double>::infinity();
      continue;
    }
    double s;
    for (;;) {  // z[0] is -inf: the first site is never popped
      const int p = v[k];
      s = ((f[q] + w2 * q * q) - (f[p] + w2 * static_cast<double>(p) * p)) / (2.0 * w2 * (q - p));
      if (s > z[k]) break;
      --k;
    }
    ++k;
    v[k] = q;
    z[k] = s;
    z[k + 1] = std::numeric_limits<double>::infinity();
  }
  if (k < 0) {
    std::fill(d, d + n, kFar);
    return;
  }
  int j = 0;
  for (int q = 0; q < n; ++q) {
    while (z[j + 1] < q) ++j;
    const double dq = q - v[j];
    d[q] = static_cast<float>(w2 * dq * dq + f[v[j]]);
  }
}

// Runs envelope1d over `lines` lines of n entries, entry i of line l at data[l * lineStep + i * step].
void envelopeLines(float* data, int lines, std::size_t lineStep, int n, std::size_t step, double w2) {
  std::vector<float> in(static_cast<std::size_t>(n)), out(static_cast<std::size_t>(n));
  std::vector<int> v(static_cast<std::size_t>(n));
  std::vector<double> z(static_cast<std::size_t>(n) + 1);
  for (int l = 0; l < lines; ++l) {
    float* line = data + static_cast<std::size_t>(l) * lineStep;
    for (int i = 0; i < n; ++i) in[static_cast<std::size_t>(i)] = line[static_cast<std::size_t>(i) * step];
    envelope1d(in.data(), n, w2, out.data(), v.data(), z.data());
    for (int i = 0; i < n; ++i) line[static_cast<std::size_t>(i) * step] = out[static_cast<std::size_t>(i)];
  }
}

// The key line of each slice: the slice's own, the first before the first key line, the last after
// the last, else the line interpolated between the two key lines around it.
class KeyLineSweep {
 public:
  KeyLineSweep(const ResectionPlan& plan, int sliceCount) : spacing_(std::max(plan.lineSpacing, 1)) {
    for (const DivisionLine& l : plan.keyLines)
      if (l.size() >= 2 && l.frame >= 0 && l.frame < sliceCount) keys_.push_back(l);
    std::sort(keys_.begin(), keys_.end(), [](const DivisionLine& a, const DivisionLine& b) { return a.frame < b.frame; });
    for (std::size_t i = 1; i < keys_.size(); ++i) orientLike(keys_[i - 1], keys_[i]);
  }
  bool empty() const { return keys_.empty(); }
  DivisionLine lineOf(int slice) const {
    if (slice <= keys_.front().frame) return keys_.front();
    if (slice >= keys_.back().frame) return keys_.back();
    const auto after = std::lower_bound(keys_.begin(), keys_.end(), slice,
                                        [](const DivisionLine& l, int s) { return l.frame < s; });
    if (after->frame == slice) return *after;
    const DivisionLine& a = *(after - 1);
    const double t = static_cast<double>(slice - a.frame) / (after->frame - a.frame);
    DivisionLine line = interpolateLines(a, *after, t, spacing_);
    line.frame = slice;
    return line;
  }

 private:
  int spacing_;
  std::vector<DivisionLine> keys_;
};

// Union-find over tumour component ids.
int findRoot(std::vector<int>& parent, int a) {
  while (parent[static_cast<std::size_t>(a)] != a) {
    parent[static_cast<std::size_t>(a)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(a)])];
    a = parent[static_cast<std::size_t>(a)];
  }
  return a;
}

// 3D components of the tumour label: in-plane 8-connected pieces joined where they overlap on
// adjacent slices. component[slice] holds per pixel the tumour index + 1 (0 outside), tumours in
// order of their first voxel.
int tumourComponents(const PlanVolume& vol, std::vector<std::vector<int>>& component) {
  const int w = vol.width, h = vol.height, n = vol.sliceCount();
  const std::size_t area = static_cast<std::size_t>(w) * h;
  component.assign(static_cast<std::size_t>(n), {});
  std::vector<int> offset(static_cast<std::size_t>(n), 0), parent;
  cv::Mat mask(h, w, CV_8U), labels;
  for (int s = 0; s < n; ++s) {
    const uint8_t* src = vol.slices[static_cast<std::size_t>(s)];
    if (!src || std::find(src, src + area, kCancer) == src + area) continue;
    for (std::size_t i = 0; i < area; ++i) mask.data[i] = src[i] == kCancer ? 255 : 0;
    const int count = cv::connectedComponents(mask, labels, 8, CV_32S);
    offset[static_cast<std::size_t>(s)] = static_cast<int>(parent.size()) - 1;  // label 1 -> parent.size()
    for (int c = 1; c < count; ++c) parent.push_back(static_cast<int>(parent.size()));
    std::vector<int>& comp = component[static_cast<std::size_t>(s)];
    comp.resize(area);
    const int* lab = labels.ptr<int>();
    for (std::size_t i = 0; i < area; ++i) comp[i] = lab[i] ? lab[i] + offset[static_cast<std::size_t>(s)] + 1 : 0;
    if (s > 0 && !component[static_cast<std::size_t>(s) - 1].empty()) {
      const std::vector<int>& below = component[static_cast<std::size_t>(s) - 1];
      for (std::size_t i = 0; i < area; ++i)
        if (comp[i] && below[i]) {
          const int a = findRoot(parent, comp[i] - 1), b = findRoot(parent, below[i] - 1);
          if (a != b) parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
        }
    }
  }
  // number the roots in order of first appearance
  std::vector<int> index(parent.size(), -1);
  int tumours = 0;
  for (std::vector<int>& comp : component)
    for (int& c : comp) {
      if (!c) continue;
      const int r = findRoot(parent, c - 1);
      if (index[static_cast<std::size_t>(r)] < 0) index[static_cast<std::size_t>(r)] = tumours++;
      c = index[static_cast<std::size_t>(r)] + 1;
    }
  return tumours;
}

}  // namespace

// --- plans ---------------------------------------------------------------------------------

void ResectionPlan::setKeyLine(DivisionLine line) {
  removeKeyLine(line.frame);
  const auto at = std::lower_bound(keyLines.begin(), keyLines.end(), line.frame,
                                   [](const DivisionLine& l, int s) { return l.frame < s; });
  keyLines.insert(at, std::move(line));
}

bool ResectionPlan::removeKeyLine(int slice) {
  const auto it = std::find_if(keyLines.begin(), keyLines.end(), [&](const DivisionLine& l) { return l.frame == slice; });
  if (it == keyLines.end()) return false;
  keyLines.erase(it);
  return true;
}

PlanVolume planVolumeOf(const Study& study, int s) {
  PlanVolume vol;
  const int first = study.firstFrameOfSeries(s);
  if (first < 0) return vol;
  const SliceHeader& h = study.frame(first)->header;
  vol.width = study.width(first);
  vol.height = study.height(first);
  const double fallback = h.pixelSpacing > 0 ? h.pixelSpacing : 1.0;
  vol.columnSpacing = h.pixelSpacingColumn > 0 ? h.pixelSpacingColumn : fallback;
  vol.rowSpacing = h.pixelSpacingRow > 0 ? h.pixelSpacingRow : fallback;
  vol.sliceSpacing = h.volumeDepth() > 0 ? h.volumeDepth() : 1.0;
  for (int f = first; f <= study.lastFrameOfSeries(s); ++f) {
    if (study.seriesOfFrame(f) != s) continue;
    const bool same = study.width(f) == vol.width && study.height(f) == vol.height;
    vol.slices.push_back(same ? study.labelImage(f) : nullptr);
  }
  return vol;
}

double planeDistance(const ResectionPlan& plan, const PlanVolume& vol, int slice, double x, double y) {
  const double* n = plan.planeNormal;
  const double len = norm3(n);
  if (len <= 0) return 0;
  const double p[3] = {x * vol.columnSpacing - plan.planePoint[0], y * vol.rowSpacing - plan.planePoint[1],
                       slice * vol.sliceSpacing - plan.planePoint[2]};
  return (p[0] * n[0] + p[1] * n[1] + p[2] * n[2]) / len;
}

SideMaps sideMapsOf(const PlanVolume& vol, const ResectionPlan& plan, bool onlyWhereLabelled) {
  SideMaps out;
  const int n = vol.sliceCount(), w = vol.width, h = vol.height;
  out.maps.resize(static_cast<std::size_t>(n));
  if (n == 0 || w <= 0 || h <= 0) return out;
  const std::size_t area = static_cast<std::size_t>(w) * h;
  const bool sideInside = plan.hasSide && plan.sideSlice >= 0 && plan.sideSlice < n && plan.sideX >= 0 &&
                          plan.sideY >= 0 && plan.sideX < w && plan.sideY < h;
  std::vector<int> todo;
  for (int s = 0; s < n; ++s)
    if (!onlyWhereLabelled || anyLabel(vol.slices[static_cast<std::size_t>(s)], area) || (sideInside && s == plan.sideSlice))
      todo.push_back(s);

  if (plan.kind == PlanKind::Plane) {
    if (norm3(plan.planeNormal) <= 0) return out;
    cv::parallel_for_(cv::Range(0, static_cast<int>(todo.size())), [&](const cv::Range& r) {
      for (int i = r.start; i < r.end; ++i) {
        const int s = todo[static_cast<std::size_t>(i)];
        std::vector<uint8_t>& m = out.maps[static_cast<std::size_t>(s)];
        m.resize(area);
        // the distance is linear in x and y: its origin and steps
        const double d0 = planeDistance(plan, vol, s, 0, 0);
        const double dx = planeDistance(plan, vol, s, 1, 0) - d0, dy = planeDistance(plan, vol, s, 0, 1) - d0;
        for (int y = 0; y < h; ++y) {
          uint8_t* row = m.data() + static_cast<std::size_t>(y) * w;
          for (int x = 0; x < w; ++x) row[x] = d0 + dy * y + dx * x > 0 ? 2 : 1;
        }
      }
    });
  } else {
    const KeyLineSweep sweep(plan, n);
    if (sweep.empty()) return out;
    cv::parallel_for_(cv::Range(0, static_cast<int>(todo.size())), [&](const cv::Range& r) {
      for (int i = r.start; i < r.end; ++i) {
        const int s = todo[static_cast<std::size_t>(i)];
        std::vector<uint8_t> m;
        if (divisionMapFromLine(sweep.lineOf(s), w, h, m)) out.maps[static_cast<std::size_t>(s)] = std::move(m);
      }
    });
  }
  if (sideInside)
    if (const uint8_t* m = out.map(plan.sideSlice)) out.removed = m[static_cast<std::size_t>(plan.sideY) * w + plan.sideX];
  return out;
}

// --- distances -----------------------------------------------------------------------------

std::vector<float> squaredDistanceToMask(const std::vector<uint8_t>& mask, int w, int h, int count, double cs,
                                         double rs, double ss) {
  const std::size_t area = static_cast<std::size_t>(w) * h;
  std::vector<float> d(area * static_cast<std::size_t>(std::max(count, 0)), kFar);
  if (w <= 0 || h <= 0 || count <= 0 || mask.size() < d.size()) return d;
  const bool square = std::abs(cs - rs) <= 1e-9 * std::max(cs, rs);
  // in-plane distances, slice by slice
  cv::parallel_for_(cv::Range(0, count), [&](const cv::Range& r) {
    cv::Mat src(h, w, CV_8U), dist;
    for (int s = r.start; s < r.end; ++s) {
      const uint8_t* m = mask.data() + area * static_cast<std::size_t>(s);
      float* out = d.data() + area * static_cast<std::size_t>(s);
      if (std::none_of(m, m + area, [](uint8_t v) { return v != 0; })) continue;  // stays kFar
      if (square) {
        // the library's exact transform measures to the nearest zero pixel
        for (std::size_t i = 0; i < area; ++i) src.data[i] = m[i] ? 0 : 255;
        cv::distanceTransform(src, dist, cv::DIST_L2, cv::DIST_MASK_PRECISE, CV_32F);
        const float* p = dist.ptr<float>();
        for (std::size_t i = 0; i < area; ++i) out[i] = static_cast<float>(p[i] * p[i] * cs * cs);
      } else {
        // pixels that are not square: the same transform as two weighted passes
        for (std::size_t i = 0; i < area; ++i) out[i] = m[i] ? 0.0f : kFar;
        envelopeLines(out, h, static_cast<std::size_t>(w), w, 1, cs * cs);
        envelopeLines(out, w, 1, h, static_cast<std::size_t>(w), rs * rs);
      }
    }
  });
  // along the slices, one row of every slice at a time (gathered into a block that stays in cache)
  if (count > 1)
    cv::parallel_for_(cv::Range(0, h), [&](const cv::Range& r) {
      std::vector<float> block(static_cast<std::size_t>(w) * count);
      for (int y = r.start; y < r.end; ++y) {
        for (int s = 0; s < count; ++s)
          std::copy_n(d.data() + area * s + static_cast<std::size_t>(y) * w, w, block.data() + static_cast<std::size_t>(s) * w);
        envelopeLines(block.data(), w, 1, count, static_cast<std::size_t>(w), ss * ss);
        for (int s = 0; s < count; ++s)
          std::copy_n(block.data() + static_cast<std::size_t>(s) * w, w, d.data() + area * s + static_cast<std::size_t>(y) * w);
      }
    });
  return d;
}

// --- figures -------------------------------------------------------------------------------

namespace {

// Half the extent of a voxel along direction n (any length; the smallest half spacing for none):
// how far a voxel's faces reach beyond its centre toward a cut across n.
double halfExtent(const PlanVolume& vol, const double* n) {
  const double len = norm3(n);
  if (!(len > 0)) return 0.5 * std::min({vol.columnSpacing, vol.rowSpacing, vol.sliceSpacing});
  return 0.5 * (std::abs(n[0]) * vol.columnSpacing + std::abs(n[1]) * vol.rowSpacing + std::abs(n[2]) * vol.sliceSpacing) / len;
}

// Margins of the tumours on a key-line cut: the cut surface runs between 6-neighbour voxels of
// different sides, one of them liver. The tissue between a tumour and the cut is the distance from
// the tumour's voxel centres to the centres of its own side's voxels at the cut: the distance
// between the tumour's faces and the cut's (exact for a flat cut along an axis).
// tumourSide: the side (1, 2) of each tumour that does not cross the cut.
void keyLineMargins(const PlanVolume& vol, const SideMaps& maps, const std::vector<std::vector<int>>& component,
                    const std::vector<int>& tumourSide, std::vector<TumourFigures>& tumours) {
  const int w = vol.width, h = vol.height, n = vol.sliceCount();
  // the voxels on either side of the cut surface (6-neighbours of different sides, one of them liver)
  struct Edge {
    int x, y, s;
    uint8_t side;
  };
  std::vector<Edge> edges;
  for (int s = 0; s < n; ++s) {
    const uint8_t* m = maps.map(s);
    if (!m) continue;
    const uint8_t* next = s + 1 < n ? maps.map(s + 1) : nullptr;
    auto add = [&](int x, int y, int s2, std::size_t j, const uint8_t* m2, std::size_t i) {
      if (!m2[j] || m2[j] == m[i]) return;
      if (!isLiverLabel(vol.at(s, x, y)) && !isLiverLabel(vol.at(s2, static_cast<int>(j % w), static_cast<int>(j / w)))) return;
      edges.push_back({x, y, s, m[i]});
      edges.push_back({static_cast<int>(j % w), static_cast<int>(j / w), s2, m2[j]});
    };
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * w + x;
        if (!m[i]) continue;
        if (x + 1 < w && m[i + 1] != m[i]) add(x, y, s, i + 1, m, i);
        if (y + 1 < h && m[i + w] != m[i]) add(x, y, s, i + w, m, i);
        if (next && next[i] != m[i]) add(x, y, s + 1, i, next, i);
      }
  }
  if (edges.empty()) return;
  // each tumour's box and a voxel on each of its faces
  struct Box {
    int x0 = INT32_MAX, y0 = INT32_MAX, s0 = INT32_MAX, x1 = -1, y1 = -1, s1 = -1;
  };
  std::vector<Box> box(tumours.size());
  std::vector<std::array<std::array<int, 3>, 6>> sample(tumours.size());
  for (int s = 0; s < n; ++s) {
    const std::vector<int>& comp = component[static_cast<std::size_t>(s)];
    for (std::size_t i = 0; i < comp.size(); ++i) {
      if (!comp[i]) continue;
      const std::size_t t = static_cast<std::size_t>(comp[i]) - 1;
      Box& b = box[t];
      const int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
      // one voxel on each face of the box
      auto& v = sample[t];
      if (x < b.x0) v[0] = {x, y, s};
      if (x > b.x1) v[1] = {x, y, s};
      if (y < b.y0) v[2] = {x, y, s};
      if (y > b.y1) v[3] = {x, y, s};
      if (s < b.s0) v[4] = {x, y, s};
      if (s > b.s1) v[5] = {x, y, s};
      b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x), b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
      b.s0 = std::min(b.s0, s), b.s1 = std::max(b.s1, s);
    }
  }
  // the part of the volume that holds the nearest cut of every tumour: its box widened by an upper
  // bound of its margin (the distance to the cut from the voxels at the box's faces) and a voxel
  const double cs = vol.columnSpacing, rs = vol.rowSpacing, ss = vol.sliceSpacing;
  int x0 = w, y0 = h, z0 = n, x1 = -1, y1 = -1, z1 = -1;
  for (std::size_t t = 0; t < tumours.size(); ++t) {
    const Box& b = box[t];
    if (tumours[t].crossesCut || b.x1 < 0) continue;
    double reach = std::numeric_limits<double>::infinity();
    for (const std::array<int, 3>& v : sample[t])
      for (const Edge& e : edges)
        reach = std::min(reach, std::hypot((e.x - v[0]) * cs, (e.y - v[1]) * rs, (e.s - v[2]) * ss));
    reach += std::max({cs, rs, ss});
    const int rx = static_cast<int>(std::ceil(reach / cs)) + 1, ry = static_cast<int>(std::ceil(reach / rs)) + 1,
              rz = static_cast<int>(std::ceil(reach / ss)) + 1;
    x0 = std::min(x0, b.x0 - rx), x1 = std::max(x1, b.x1 + rx), y0 = std::min(y0, b.y0 - ry), y1 = std::max(y1, b.y1 + ry);
    z0 = std::min(z0, b.s0 - rz), z1 = std::max(z1, b.s1 + rz);
  }
  if (x1 < 0) return;
  x0 = std::max(x0, 0), y0 = std::max(y0, 0), z0 = std::max(z0, 0);
  x1 = std::min(x1, w - 1), y1 = std::min(y1, h - 1), z1 = std::min(z1, n - 1);
  const int bw = x1 - x0 + 1, bh = y1 - y0 + 1, bn = z1 - z0 + 1;
  const std::size_t barea = static_cast<std::size_t>(bw) * bh;
  std::vector<uint8_t> edge[2] = {std::vector<uint8_t>(barea * bn, 0), std::vector<uint8_t>(barea * bn, 0)};
  for (const Edge& e : edges)
    if (e.x >= x0 && e.x <= x1 && e.y >= y0 && e.y <= y1 && e.s >= z0 && e.s <= z1)
      edge[e.side - 1][barea * (e.s - z0) + static_cast<std::size_t>(e.y - y0) * bw + (e.x - x0)] = 1;
  // per side that holds a tumour, the distance to that side's voxels at the cut
  std::vector<float> d[2];
  for (int k = 0; k < 2; ++k)
    for (std::size_t t = 0; t < tumours.size() && d[k].empty(); ++t)
      if (!tumours[t].crossesCut && tumourSide[t] == k + 1)
        d[k] = squaredDistanceToMask(edge[k], bw, bh, bn, cs, rs, ss);
  std::vector<double> best(tumours.size(), std::numeric_limits<double>::infinity());
  for (int s = z0; s <= z1; ++s) {
    const std::vector<int>& comp = component[static_cast<std::size_t>(s)];
    if (comp.empty()) continue;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        const int t = comp[static_cast<std::size_t>(y) * w + x];
        const int own = t ? tumourSide[static_cast<std::size_t>(t) - 1] : 0;
        if (own != 1 && own != 2) continue;  // outside the tumours, or across the cut
        const std::size_t i = barea * (s - z0) + static_cast<std::size_t>(y - y0) * bw + (x - x0);
        best[static_cast<std::size_t>(t) - 1] = std::min(best[static_cast<std::size_t>(t) - 1], static_cast<double>(d[own - 1][i]));
      }
  }
  for (std::size_t t = 0; t < tumours.size(); ++t)
    if (!tumours[t].crossesCut && best[t] < 1e28) tumours[t].marginMm = std::sqrt(best[t]);
}

}  // namespace

PlanFigures computePlanFigures(const PlanVolume& vol, const ResectionPlan& plan) {
  PlanFigures fig;
  const int n = vol.sliceCount(), w = vol.width, h = vol.height;
  if (n == 0 || w <= 0 || h <= 0) return fig;
  const std::size_t area = static_cast<std::size_t>(w) * h;
  const double voxelMl = vol.columnSpacing * vol.rowSpacing * vol.sliceSpacing / 1000.0;
  const SideMaps maps = sideMapsOf(vol, plan, true);
  fig.valid = std::any_of(maps.maps.begin(), maps.maps.end(), [](const std::vector<uint8_t>& m) { return !m.empty(); });
  fig.sideChosen = fig.valid && maps.removed != 0;

  std::vector<std::vector<int>> component;
  const int tumourCount = tumourComponents(vol, component);
  fig.tumours.resize(static_cast<std::size_t>(tumourCount));
  std::vector<int> seen(static_cast<std::size_t>(tumourCount), 0);  // bit 0 side 1, bit 1 side 2
  std::vector<double> planeMin(static_cast<std::size_t>(tumourCount), std::numeric_limits<double>::infinity());
  long long total = 0, tumour = 0, resected = 0, resectedTumour = 0;
  for (int s = 0; s < n; ++s) {
    const uint8_t* src = vol.slices[static_cast<std::size_t>(s)];
    if (!src) continue;
    const uint8_t* m = maps.map(s);
    const std::vector<int>& comp = component[static_cast<std::size_t>(s)];
    for (std::size_t i = 0; i < area; ++i) {
      const uint8_t v = src[i];
      if (!isLiverLabel(v)) continue;
      const uint8_t side = m ? m[i] : 0;
      const bool removed = fig.sideChosen && side == maps.removed;
      ++total;
      resected += removed;
      if (v != kCancer) continue;
      ++tumour;
      resectedTumour += removed;
      const int t = comp[i] - 1;
      TumourFigures& tf = fig.tumours[static_cast<std::size_t>(t)];
      if (tf.voxels++ == 0) tf.firstSlice = s;
      tf.lastSlice = s;
      if (side) seen[static_cast<std::size_t>(t)] |= side;
      if (plan.kind == PlanKind::Plane && m) {
        const double d = std::abs(planeDistance(plan, vol, s, static_cast<double>(i % w), static_cast<double>(i / w)));
        planeMin[static_cast<std::size_t>(t)] = std::min(planeMin[static_cast<std::size_t>(t)], d);
      }
    }
  }
  for (std::size_t t = 0; t < fig.tumours.size(); ++t) {
    TumourFigures& tf = fig.tumours[t];
    tf.volumeMl = tf.voxels * voxelMl;
    tf.crossesCut = seen[t] == 3;
    tf.whollyResected = fig.sideChosen && seen[t] == maps.removed;
    if (tf.crossesCut) tf.marginMm = 0;
    else if (plan.kind == PlanKind::Plane && std::isfinite(planeMin[t]))
      tf.marginMm = std::max(0.0, planeMin[t] - halfExtent(vol, plan.planeNormal));
  }
  if (plan.kind == PlanKind::KeyLines && fig.valid &&
      std::any_of(fig.tumours.begin(), fig.tumours.end(), [](const TumourFigures& t) { return !t.crossesCut; }))
    keyLineMargins(vol, maps, component, seen, fig.tumours);

  fig.totalMl = total * voxelMl;
  fig.tumourMl = tumour * voxelMl;
  fig.functionalMl = fig.totalMl - fig.tumourMl;
  fig.resectedMl = resected * voxelMl;
  fig.remnantMl = fig.totalMl - fig.resectedMl;
  fig.remnantFunctionalMl = (total - resected - (tumour - resectedTumour)) * voxelMl;
  const long long functional = total - tumour;
  if (functional > 0) {
    fig.remnantPercent = 100.0 * (total - resected - (tumour - resectedTumour)) / functional;
    fig.resectedPercent = 100.0 * (resected - resectedTumour) / functional;
  }
  return fig;
}

std::vector<PlanWarning> planWarnings(const PlanFigures& fig, const PlanThresholds& th) {
  std::vector<PlanWarning> out;
  if (fig.sideChosen && fig.functionalMl > 0 && fig.remnantPercent < th.remnantPercent)
    out.push_back({PlanWarning::Kind::SmallRemnant, -1, fig.remnantPercent, th.remnantPercent});
  for (std::size_t t = 0; t < fig.tumours.size(); ++t)
    if (fig.tumours[t].marginMm >= 0 && fig.tumours[t].marginMm < th.marginMm)
      out.push_back({PlanWarning::Kind::CloseMargin, static_cast<int>(t), fig.tumours[t].marginMm, th.marginMm});
  return out;
}

}  // namespace morvex
