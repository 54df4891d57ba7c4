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
// adjacent slices. component[slice] holds per pixel the tumour index + 1 (0 outside; empty on a
// slice without tumour), tumours in order of their first voxel.
int tumourComponents(const PlanVolume& vol, std::vector<std::vector<int>>& component) {
  const int w = vol.width, h = vol.height, n = vol.sliceCount();
  const std::size_t area = static_cast<std::size_t>(w) * h;
  component.assign(static_cast<std::size_t>(n), {});
  // the pieces of each slice, slices on several threads (piece k of slice s: k, 0 outside)
  std::vector<int> pieces(static_cast<std::size_t>(n), 0);
  cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& r) {
    cv::Mat mask(h, w, CV_8U), labels;
    for (int s = r.start; s < r.end; ++s) {
      const uint8_t* src = vol.slices[static_cast<std::size_t>(s)];
      if (!src || std::find(src, src + area, kCancer) == src + area) continue;
      for (std::size_t i = 0; i < area; ++i) mask.data[i] = src[i] == kCancer ? 255 : 0;
      pieces[static_cast<std::size_t>(s)] = cv::connectedComponents(mask, labels, 8, CV_32S) - 1;
      const int* lab = labels.ptr<int>();
      component[static_cast<std::size_t>(s)].assign(lab, lab + area);
    }
  });
  // pieces numbered through the volume, joined with the overlapping pieces of the slice before
  std::vector<int> parent;
  for (int s = 0; s < n; ++s) {
    std::vector<int>& comp = component[static_cast<std::size_t>(s)];
    if (comp.empty()) continue;
    const int offset = static_cast<int>(parent.size());  // piece k -> parent index offset + k - 1
    for (int c = 0; c < pieces[static_cast<std::size_t>(s)]; ++c) parent.push_back(offset + c);
    for (int& c : comp)
      if (c) c += offset;
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
    const Frame* frame = study.frame(f);
    vol.revisions.push_back((frame->uid << 32) ^ frame->labelRevision);
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

bool setPlaneThroughLine(ResectionPlan& plan, const PlanVolume& vol, const double a[3], const double b[3], int viewAxis) {
  if (viewAxis < 0 || viewAxis > 2) return false;
  const double sp[3] = {vol.columnSpacing, vol.rowSpacing, vol.sliceSpacing};
  double d[3], axis[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) d[i] = (b[i] - a[i]) * sp[i];
  axis[viewAxis] = 1;
  // the normal: across both the line and the view's axis
  const double n[3] = {d[1] * axis[2] - d[2] * axis[1], d[2] * axis[0] - d[0] * axis[2], d[0] * axis[1] - d[1] * axis[0]};
  const double len = norm3(n);
  if (!(len > 1e-9)) return false;
  plan.kind = PlanKind::Plane;
  for (int i = 0; i < 3; ++i) {
    plan.planePoint[i] = a[i] * sp[i];
    plan.planeNormal[i] = n[i] / len;
  }
  return true;
}

bool planeCrossing(const ResectionPlan& plan, const PlanVolume& vol, int viewAxis, double index, double out[4]) {
  if (plan.kind != PlanKind::Plane || viewAxis < 0 || viewAxis > 2 || norm3(plan.planeNormal) <= 0) return false;
  const double sp[3] = {vol.columnSpacing, vol.rowSpacing, vol.sliceSpacing};
  const double extent[3] = {static_cast<double>(vol.width), static_cast<double>(vol.height), static_cast<double>(vol.sliceCount())};
  const int u = viewAxis == 0 ? 1 : 0, v = viewAxis == 2 ? 1 : 2;
  // in the view the signed distance is c + ku * u + kv * v
  const double* n = plan.planeNormal;
  const double c = n[viewAxis] * (index * sp[viewAxis] - plan.planePoint[viewAxis]) - n[u] * plan.planePoint[u] -
                   n[v] * plan.planePoint[v];
  const double ku = n[u] * sp[u], kv = n[v] * sp[v];
  const double lo[2] = {-0.5, -0.5}, hi[2] = {extent[u] - 0.5, extent[v] - 0.5};
  std::vector<std::array<double, 2>> ends;
  auto keep = [&](double pu, double pv) {
    if (pu >= lo[0] - 1e-9 && pu <= hi[0] + 1e-9 && pv >= lo[1] - 1e-9 && pv <= hi[1] + 1e-9) ends.push_back({pu, pv});
  };
  if (kv != 0)
    for (double pu : {lo[0], hi[0]}) keep(pu, -(c + ku * pu) / kv);
  if (ku != 0)
    for (double pv : {lo[1], hi[1]}) keep(-(c + kv * pv) / ku, pv);
  // the two ends furthest apart (a corner may come twice)
  double best = -1;
  for (std::size_t i = 0; i < ends.size(); ++i)
    for (std::size_t j = i + 1; j < ends.size(); ++j) {
      const double dd = std::hypot(ends[i][0] - ends[j][0], ends[i][1] - ends[j][1]);
      if (dd <= best) continue;
      best = dd;
      out[0] = ends[i][0], out[1] = ends[i][1], out[2] = ends[j][0], out[3] = ends[j][1];
    }
  return best > 0;
}

namespace {

bool sideInside(const PlanVolume& vol, const ResectionPlan& plan) {
  return plan.hasSide && plan.sideSlice >= 0 && plan.sideSlice < vol.sliceCount() && plan.sideX >= 0 &&
         plan.sideY >= 0 && plan.sideX < vol.width && plan.sideY < vol.height;
}

// The part of every slice that side maps keep: columns x0 .. x0 + w - 1, rows y0 .. y0 + h - 1.
struct Crop {
  int x0 = 0, y0 = 0, w = 0, h = 0;
  std::size_t at(int x, int y) const { return static_cast<std::size_t>(y - y0) * w + (x - x0); }
};

// The side maps of the slices in todo (the others stay empty), each map over the crop only (the
// side to remove read from the whole slice).
SideMaps sideMapsOn(const PlanVolume& vol, const ResectionPlan& plan, const std::vector<int>& todo, const Crop& crop) {
  SideMaps out;
  const int n = vol.sliceCount(), w = vol.width, h = vol.height;
  out.maps.resize(static_cast<std::size_t>(n));
  if (n == 0 || w <= 0 || h <= 0) return out;
  const bool whole = crop.x0 == 0 && crop.y0 == 0 && crop.w == w && crop.h == h;
  const bool side = sideInside(vol, plan);
  if (plan.kind == PlanKind::Plane) {
    if (norm3(plan.planeNormal) <= 0) return out;
    cv::parallel_for_(cv::Range(0, static_cast<int>(todo.size())), [&](const cv::Range& r) {
      for (int i = r.start; i < r.end; ++i) {
        const int s = todo[static_cast<std::size_t>(i)];
        std::vector<uint8_t>& m = out.maps[static_cast<std::size_t>(s)];
        m.resize(static_cast<std::size_t>(crop.w) * crop.h);
        // the distance is linear in x and y: its origin and steps
        const double d0 = planeDistance(plan, vol, s, 0, 0);
        const double dx = planeDistance(plan, vol, s, 1, 0) - d0, dy = planeDistance(plan, vol, s, 0, 1) - d0;
        for (int y = crop.y0; y < crop.y0 + crop.h; ++y) {
          uint8_t* row = m.data() + crop.at(crop.x0, y);
          for (int x = crop.x0; x < crop.x0 + crop.w; ++x) row[x - crop.x0] = d0 + dy * y + dx * x > 0 ? 2 : 1;
        }
        if (side && s == plan.sideSlice) out.removed = d0 + dy * plan.sideY + dx * plan.sideX > 0 ? 2 : 1;
      }
    });
  } else {
    const KeyLineSweep sweep(plan, n);
    if (sweep.empty()) return out;
    cv::parallel_for_(cv::Range(0, static_cast<int>(todo.size())), [&](const cv::Range& r) {
      thread_local std::vector<uint8_t> full;  // kept: fresh pages for every slice cost more than the map
      for (int i = r.start; i < r.end; ++i) {
        const int s = todo[static_cast<std::size_t>(i)];
        if (!divisionMapFromLine(sweep.lineOf(s), w, h, full)) continue;
        if (side && s == plan.sideSlice) out.removed = full[static_cast<std::size_t>(plan.sideY) * w + plan.sideX];
        std::vector<uint8_t>& m = out.maps[static_cast<std::size_t>(s)];
        if (whole) {
          m = full;
          continue;
        }
        m.resize(static_cast<std::size_t>(crop.w) * crop.h);
        for (int y = crop.y0; y < crop.y0 + crop.h; ++y)
          std::copy_n(full.data() + static_cast<std::size_t>(y) * w + crop.x0, crop.w, m.data() + crop.at(crop.x0, y));
      }
    });
  }
  return out;
}

// The slices a plan's figures need maps of: the labelled ones and the side's.
std::vector<int> mapSlices(const PlanVolume& vol, const ResectionPlan& plan, const std::vector<char>& labelled) {
  std::vector<int> todo;
  const bool side = sideInside(vol, plan);
  for (int s = 0; s < vol.sliceCount(); ++s)
    if (labelled[static_cast<std::size_t>(s)] || (side && s == plan.sideSlice)) todo.push_back(s);
  return todo;
}

}  // namespace

bool planKeyLineOf(const ResectionPlan& plan, int sliceCount, int slice, DivisionLine& out) {
  if (plan.kind != PlanKind::KeyLines || slice < 0 || slice >= sliceCount) return false;
  const KeyLineSweep sweep(plan, sliceCount);
  if (sweep.empty()) return false;
  out = sweep.lineOf(slice);
  return true;
}

std::vector<double> planKeyLineCrossings(const ResectionPlan& plan, int sliceCount, int width, int height, int viewAxis,
                                         double index) {
  if (plan.kind != PlanKind::KeyLines || sliceCount <= 0) return {};
  const KeyLineSweep sweep(plan, sliceCount);
  if (sweep.empty()) return {};
  std::vector<double> crossings(static_cast<std::size_t>(sliceCount), std::numeric_limits<double>::quiet_NaN());
  for (int s = 0; s < sliceCount; ++s) {
    const auto path = divisionCutPath(sweep.lineOf(s), width, height);
    for (std::size_t i = 1; i < path.size(); ++i) {
      // a: the coordinate across the view, b: the one along it
      const double a0 = viewAxis == 0 ? path[i - 1].first : path[i - 1].second;
      const double a1 = viewAxis == 0 ? path[i].first : path[i].second;
      const double b0 = viewAxis == 0 ? path[i - 1].second : path[i - 1].first;
      const double b1 = viewAxis == 0 ? path[i].second : path[i].first;
      if ((a0 - index) * (a1 - index) > 0) continue;
      crossings[static_cast<std::size_t>(s)] = a0 == a1 ? b0 : b0 + (index - a0) / (a1 - a0) * (b1 - b0);
      break;
    }
  }
  return crossings;
}

SideMaps sideMapsOf(const PlanVolume& vol, const ResectionPlan& plan, bool onlyWhereLabelled) {
  const std::size_t area = static_cast<std::size_t>(std::max(vol.width, 0)) * std::max(vol.height, 0);
  std::vector<char> labelled(static_cast<std::size_t>(vol.sliceCount()), 1);
  if (onlyWhereLabelled)
    for (int s = 0; s < vol.sliceCount(); ++s) labelled[static_cast<std::size_t>(s)] = anyLabel(vol.slices[static_cast<std::size_t>(s)], area);
  return sideMapsOn(vol, plan, mapSlices(vol, plan, labelled), Crop{0, 0, vol.width, vol.height});
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

}  // namespace

// --- what the labels alone give ------------------------------------------------------------

// A tumour's extent, and per slice of it the squared in-plane distance (mm^2) to its voxels of
// that slice over the labels' region: the 3D distance from any voxel to the tumour is then the
// smallest of (slice distance)^2 + in-plane distance over the tumour's slices.
struct TumourExtent {
  int voxels = 0, firstSlice = 0, lastSlice = 0;
  std::vector<std::vector<float>> inPlane;  // per slice firstSlice..lastSlice; empty: not kept (memory)
};

struct PlanLabels {
  int width = 0, height = 0;
  double columnSpacing = 0, rowSpacing = 0, sliceSpacing = 0;
  std::vector<const uint8_t*> slices;
  std::vector<uint64_t> revisions;
  std::vector<char> labelled;            // per slice: any nonzero label
  std::vector<int> rowFirst, rowLast;    // per slice: the rows holding liver labels (first > last: none)
  int x0 = 0, y0 = 0, x1 = -1, y1 = -1;  // the region: every liver voxel of the volume, widened by one
  long long total = 0, tumour = 0;       // liver and tumour voxels
  std::vector<std::vector<int>> component;  // see tumourComponents
  std::vector<TumourExtent> tumours;

  // The crop of the figures' side maps: the region (a pixel where it is empty).
  Crop crop() const { return x1 < 0 ? Crop{0, 0, std::min(width, 1), std::min(height, 1)} : Crop{x0, y0, regionWidth(), regionHeight()}; }
  int regionWidth() const { return x1 - x0 + 1; }
  int regionHeight() const { return y1 - y0 + 1; }
  // Known revisions tell the labels apart wherever they are kept (a copy of them is the same);
  // without them only the very same buffers are.
  bool madeOf(const PlanVolume& v) const {
    if (v.width != width || v.height != height || v.columnSpacing != columnSpacing || v.rowSpacing != rowSpacing ||
        v.sliceSpacing != sliceSpacing || v.revisions != revisions || v.slices.size() != slices.size())
      return false;
    for (std::size_t k = 0; k < slices.size(); ++k)
      if (revisions.empty() ? v.slices[k] != slices[k] : !v.slices[k] != !slices[k]) return false;
    return true;
  }
};

namespace {

constexpr std::size_t kInPlaneBudget = std::size_t(32) << 20;  // kept in-plane maps of all tumours: 128 MiB

// The in-plane maps of tumour t (see TumourExtent) over the labels' region.
std::vector<std::vector<float>> inPlaneMaps(const PlanLabels& l, int t) {
  const TumourExtent& e = l.tumours[static_cast<std::size_t>(t)];
  const int rw = l.regionWidth(), rh = l.regionHeight();
  std::vector<std::vector<float>> out(static_cast<std::size_t>(e.lastSlice - e.firstSlice + 1));
  cv::parallel_for_(cv::Range(e.firstSlice, e.lastSlice + 1), [&](const cv::Range& r) {
    for (int s = r.start; s < r.end; ++s) {
      const std::vector<int>& comp = l.component[static_cast<std::size_t>(s)];
      std::vector<uint8_t> mask(static_cast<std::size_t>(rw) * rh, 0);
      for (int y = 0; y < rh && !comp.empty(); ++y)
        for (int x = 0; x < rw; ++x)
          mask[static_cast<std::size_t>(y) * rw + x] = comp[static_cast<std::size_t>(y + l.y0) * l.width + x + l.x0] == t + 1;
      out[static_cast<std::size_t>(s - e.firstSlice)] =
          squaredDistanceToMask(mask, rw, rh, 1, l.columnSpacing, l.rowSpacing, l.sliceSpacing);
    }
  });
  return out;
}

// The voxels of each side at the cut: 6-neighbours with maps on different sides, one of the two
// liver. By side (0: side 1, 1: side 2), as (slice, x, y); a voxel may come more than once.
std::array<std::vector<std::array<int, 3>>, 2> cutVoxels(const PlanVolume& vol, const SideMaps& maps, const PlanLabels& l) {
  const int n = vol.sliceCount();
  const Crop c = l.crop();
  std::vector<std::array<std::vector<std::array<int, 3>>, 2>> perSlice(static_cast<std::size_t>(n));
  cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& r) {
    for (int s = r.start; s < r.end; ++s) {
      const uint8_t* m = maps.map(s);
      if (!m) continue;
      const uint8_t* next = s + 1 < n ? maps.map(s + 1) : nullptr;
      auto& out = perSlice[static_cast<std::size_t>(s)];
      auto pair = [&](int x, int y, const uint8_t* m2, int s2, int x2, int y2) {
        const uint8_t a = m[c.at(x, y)], b = m2[c.at(x2, y2)];
        if (!b || a == b || (!isLiverLabel(vol.at(s, x, y)) && !isLiverLabel(vol.at(s2, x2, y2)))) return;
        out[a - 1].push_back({s, x, y});
        out[b - 1].push_back({s2, x2, y2});
      };
      for (int y = l.y0; y <= l.y1; ++y)
        for (int x = l.x0; x <= l.x1; ++x) {
          const std::size_t i = c.at(x, y);
          if (x < l.x1 && m[i + 1] != m[i]) pair(x, y, m, s, x + 1, y);
          if (y < l.y1 && m[i + c.w] != m[i]) pair(x, y, m, s, x, y + 1);
          if (next && next[i] != m[i]) pair(x, y, next, s + 1, x, y);
        }
    }
  });
  std::array<std::vector<std::array<int, 3>>, 2> out;
  for (auto& slice : perSlice)
    for (int k = 0; k < 2; ++k) out[k].insert(out[k].end(), slice[k].begin(), slice[k].end());
  return out;
}

// Margins of the tumours on a key-line cut: the cut surface runs between 6-neighbour voxels of
// different sides, one of them liver. The tissue between a tumour and the cut is the distance from
// the tumour's voxel centres to the centres of its own side's voxels at the cut: the distance
// between the tumour's faces and the cut's (exact for a flat cut along an axis).
// side: per tumour the side it lies on, 1 or 2 (else it is not measured).
void keyLineMargins(const PlanVolume& vol, const SideMaps& maps, const PlanLabels& l, const std::vector<int>& side,
                    std::vector<TumourFigures>& tumours) {
  const auto cut = cutVoxels(vol, maps, l);
  const double ss2 = vol.sliceSpacing * vol.sliceSpacing;
  const int rw = l.regionWidth();
  for (std::size_t t = 0; t < tumours.size(); ++t) {
    if (side[t] != 1 && side[t] != 2) continue;
    const std::vector<std::array<int, 3>>& voxels = cut[static_cast<std::size_t>(side[t]) - 1];
    if (voxels.empty()) continue;
    const TumourExtent& e = l.tumours[t];
    std::vector<std::vector<float>> made;
    const std::vector<std::vector<float>>& maps2d = e.inPlane.empty() ? (made = inPlaneMaps(l, static_cast<int>(t))) : e.inPlane;
    // each cut voxel against every slice of the tumour, the voxels on several threads
    std::vector<double> best(voxels.size());
    cv::parallel_for_(cv::Range(0, static_cast<int>(voxels.size())), [&](const cv::Range& r) {
      for (int i = r.start; i < r.end; ++i) {
        const std::array<int, 3>& v = voxels[static_cast<std::size_t>(i)];
        const std::size_t at = static_cast<std::size_t>(v[2] - l.y0) * rw + (v[1] - l.x0);
        double b = std::numeric_limits<double>::infinity();
        for (int s = e.firstSlice; s <= e.lastSlice; ++s) {
          const double dz = static_cast<double>(v[0] - s);
          b = std::min(b, dz * dz * ss2 + maps2d[static_cast<std::size_t>(s - e.firstSlice)][at]);
        }
        best[static_cast<std::size_t>(i)] = b;
      }
    });
    const double nearest = *std::min_element(best.begin(), best.end());
    if (nearest < 1e28) tumours[t].marginMm = std::sqrt(nearest);
  }
}

}  // namespace

std::shared_ptr<const PlanLabels> planLabelsOf(const PlanVolume& vol) {
  auto out = std::make_shared<PlanLabels>();
  PlanLabels& l = *out;
  l.width = vol.width, l.height = vol.height;
  l.columnSpacing = vol.columnSpacing, l.rowSpacing = vol.rowSpacing, l.sliceSpacing = vol.sliceSpacing;
  l.slices = vol.slices;
  l.revisions = vol.revisions;
  const int n = vol.sliceCount(), w = vol.width, h = vol.height;
  l.labelled.assign(static_cast<std::size_t>(n), 0);
  l.rowFirst.assign(static_cast<std::size_t>(n), 0);
  l.rowLast.assign(static_cast<std::size_t>(n), -1);
  if (n == 0 || w <= 0 || h <= 0) return out;
  // counts, rows and columns, slices on several threads
  std::vector<long long> total(static_cast<std::size_t>(n), 0), tumour(static_cast<std::size_t>(n), 0);
  std::vector<int> colFirst(static_cast<std::size_t>(n), w), colLast(static_cast<std::size_t>(n), -1);
  cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& r) {
    for (int s = r.start; s < r.end; ++s) {
      const uint8_t* src = vol.slices[static_cast<std::size_t>(s)];
      if (!src) continue;
      const std::size_t k = static_cast<std::size_t>(s);
      for (int y = 0; y < h; ++y) {
        const uint8_t* row = src + static_cast<std::size_t>(y) * w;
        int liver = 0;
        for (int x = 0; x < w; ++x) {
          l.labelled[k] |= row[x] != 0;
          tumour[k] += row[x] == kCancer;
          if (!isLiverLabel(row[x])) continue;
          ++liver;
          colFirst[k] = std::min(colFirst[k], x), colLast[k] = std::max(colLast[k], x);
        }
        if (!liver) continue;
        if (l.rowFirst[k] > l.rowLast[k]) l.rowFirst[k] = y;
        l.rowLast[k] = y;
        total[k] += liver;
      }
    }
  });
  l.total = std::accumulate(total.begin(), total.end(), 0LL);
  l.tumour = std::accumulate(tumour.begin(), tumour.end(), 0LL);
  l.x0 = w, l.y0 = h;
  for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k)
    if (l.rowFirst[k] <= l.rowLast[k]) {
      l.x0 = std::min(l.x0, std::max(colFirst[k] - 1, 0)), l.x1 = std::max(l.x1, std::min(colLast[k] + 1, w - 1));
      l.y0 = std::min(l.y0, std::max(l.rowFirst[k] - 1, 0)), l.y1 = std::max(l.y1, std::min(l.rowLast[k] + 1, h - 1));
    }
  // the tumours (liver labels: inside the region), their in-plane maps while the memory allows
  l.tumours.resize(static_cast<std::size_t>(tumourComponents(vol, l.component)));
  for (int s = 0; s < n; ++s)
    for (int c : l.component[static_cast<std::size_t>(s)]) {
      if (!c) continue;
      TumourExtent& e = l.tumours[static_cast<std::size_t>(c) - 1];
      if (e.voxels++ == 0) e.firstSlice = s;
      e.lastSlice = s;
    }
  std::size_t budget = kInPlaneBudget;
  const std::size_t region = l.x1 < 0 ? 0 : static_cast<std::size_t>(l.regionWidth()) * l.regionHeight();
  for (std::size_t t = 0; t < l.tumours.size(); ++t) {
    TumourExtent& e = l.tumours[t];
    const std::size_t size = region * static_cast<std::size_t>(e.lastSlice - e.firstSlice + 1);
    if (size > budget) continue;
    budget -= size;
    e.inPlane = inPlaneMaps(l, static_cast<int>(t));
  }
  return out;
}

std::shared_ptr<const PlanLabels> PlanLabelCache::of(const PlanVolume& volume) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (last_ && !volume.revisions.empty() && last_->madeOf(volume)) return last_;
  }
  std::shared_ptr<const PlanLabels> made = planLabelsOf(volume);
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!volume.revisions.empty()) last_ = made;
  return made;
}

void PlanLabelCache::clear() {
  const std::lock_guard<std::mutex> lock(mutex_);
  last_.reset();
}

PlanFigures computePlanFigures(const PlanVolume& vol, const ResectionPlan& plan, const PlanLabels* labels) {
  PlanFigures fig;
  const int n = vol.sliceCount(), w = vol.width, h = vol.height;
  if (n == 0 || w <= 0 || h <= 0) return fig;
  std::shared_ptr<const PlanLabels> made;
  if (!labels || !labels->madeOf(vol)) {
    made = planLabelsOf(vol);
    labels = made.get();
  }
  const double voxelMl = vol.columnSpacing * vol.rowSpacing * vol.sliceSpacing / 1000.0;
  const Crop crop = labels->crop();
  const SideMaps maps = sideMapsOn(vol, plan, mapSlices(vol, plan, labels->labelled), crop);
  fig.valid = std::any_of(maps.maps.begin(), maps.maps.end(), [](const std::vector<uint8_t>& m) { return !m.empty(); });
  fig.sideChosen = fig.valid && maps.removed != 0;

  // the removed voxels per slice, and the sides each tumour reaches (and, for a plane, how near it
  // comes) on the slices that hold it; slices on several threads
  const std::size_t tumourCount = labels->tumours.size();
  struct SliceCount {
    long long resected = 0, resectedTumour = 0;
    std::vector<uint8_t> seen;    // per tumour: bit 0 side 1, bit 1 side 2
    std::vector<double> nearest;  // per tumour: |distance| to the plane of its nearest voxel centre
  };
  std::vector<SliceCount> counts(static_cast<std::size_t>(n));
  cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& r) {
    for (int s = r.start; s < r.end; ++s) {
      const uint8_t* src = vol.slices[static_cast<std::size_t>(s)];
      const uint8_t* m = maps.map(s);
      if (!src || !m) continue;
      SliceCount& c = counts[static_cast<std::size_t>(s)];
      const std::vector<int>& comp = labels->component[static_cast<std::size_t>(s)];
      if (!comp.empty()) {
        c.seen.assign(tumourCount, 0);
        if (plan.kind == PlanKind::Plane) c.nearest.assign(tumourCount, std::numeric_limits<double>::infinity());
      }
      for (int y = labels->rowFirst[static_cast<std::size_t>(s)]; y <= labels->rowLast[static_cast<std::size_t>(s)]; ++y)
        for (int x = 0; x < w; ++x) {
          const std::size_t i = static_cast<std::size_t>(y) * w + x;
          const uint8_t v = src[i];
          if (!isLiverLabel(v)) continue;
          const uint8_t side = m[crop.at(x, y)];
          const bool removed = fig.sideChosen && side == maps.removed;
          c.resected += removed;
          if (v != kCancer) continue;
          c.resectedTumour += removed;
          const std::size_t t = static_cast<std::size_t>(comp[i]) - 1;
          c.seen[t] |= side;
          if (plan.kind == PlanKind::Plane)
            c.nearest[t] = std::min(c.nearest[t], std::abs(planeDistance(plan, vol, s, static_cast<double>(x), static_cast<double>(y))));
        }
    }
  });
  long long resected = 0, resectedTumour = 0;
  std::vector<int> seen(tumourCount, 0);
  std::vector<double> nearest(tumourCount, std::numeric_limits<double>::infinity());
  for (const SliceCount& c : counts) {
    resected += c.resected;
    resectedTumour += c.resectedTumour;
    for (std::size_t t = 0; t < c.seen.size(); ++t) seen[t] |= c.seen[t];
    for (std::size_t t = 0; t < c.nearest.size(); ++t) nearest[t] = std::min(nearest[t], c.nearest[t]);
  }

  fig.tumours.resize(tumourCount);
  std::vector<int> keyLineSide(tumourCount, 0);  // tumours whose key-line margin is measured
  for (std::size_t t = 0; t < tumourCount; ++t) {
    const TumourExtent& e = labels->tumours[t];
    TumourFigures& tf = fig.tumours[t];
    tf.voxels = e.voxels;
    tf.firstSlice = e.firstSlice, tf.lastSlice = e.lastSlice;
    tf.volumeMl = tf.voxels * voxelMl;
    tf.crossesCut = seen[t] == 3;
    tf.whollyResected = fig.sideChosen && seen[t] == maps.removed;
    if (tf.crossesCut) tf.marginMm = 0;
    else if (plan.kind == PlanKind::Plane && std::isfinite(nearest[t]))
      tf.marginMm = std::max(0.0, nearest[t] - halfExtent(vol, plan.planeNormal));
    else if (plan.kind == PlanKind::KeyLines)
      keyLineSide[t] = seen[t];
  }
  if (std::any_of(keyLineSide.begin(), keyLineSide.end(), [](int k) { return k == 1 || k == 2; }))
    keyLineMargins(vol, maps, *labels, keyLineSide, fig.tumours);

  fig.totalMl = labels->total * voxelMl;
  fig.tumourMl = labels->tumour * voxelMl;
  fig.functionalMl = fig.totalMl - fig.tumourMl;
  fig.resectedMl = resected * voxelMl;
  fig.remnantMl = fig.totalMl - fig.resectedMl;
  const long long total = labels->total, tumour = labels->tumour;
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
