#include "segmentation/tumour_click.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <opencv2/imgproc.hpp>

#include "analysis/area_statistics.h"
#include "study/label_table.h"
#include "study/study.h"

namespace morvex {

namespace {

bool isLiverLabel(uint8_t v) { return v >= kLiver && v <= kVesselRight; }

// In-plane median of the intensities before the growth: noise would otherwise scatter the lesion's
// edge by single voxels, and a blur would leave a ring of in-between values along every edge (the
// liver's capsule against fat passes through a hypodense lesion's intensities).
constexpr int kMedianSize = 3;
// A voxel joins the lesion when its smoothed intensity lies nearer the lesion's than the liver's
// and no further beyond the lesion than this many lesion-to-liver contrasts (fat and air beside a
// hypodense lesion on the capsule, bone or contrast beside a hyperdense one stay out).
constexpr double kBeyondLesion = 1.5;
// Thin leaks through a narrow bridge are opened off in the plane (radius in mm, at least a pixel).
constexpr double kOpeningMm = 1.0;
// The raw growth (before the opening) stops at this multiple of the size guard.
constexpr long kRawGrowthFactor = 3;
// The second growth takes its band from the lesion found first and the liver in a ring this wide
// around it, when both hold at least kMinStatisticVoxels voxels.
constexpr double kRingMm = 3.0;
constexpr std::size_t kMinStatisticVoxels = 8;
// The edge's second decision (see refineEdge): the band it covers, the window of the tissue's
// local intensity, the cost of a neighbour of the other class (in units of the squared noise over
// two) and the bound on the passes over the band.
constexpr double kEdgeBandMm = 3.0;
constexpr double kLocalMm = 4.5;
constexpr double kNeighbourWeight = 0.6;
constexpr int kSweeps = 10;
constexpr int kRounds = 4;

// Holes filled: every outer contour drawn filled.
void fillHoles(cv::Mat& mask) {
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(mask.clone(), contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  cv::drawContours(mask, contours, -1, cv::Scalar(255), cv::FILLED);
}

// The work area around the click, prepared slice by slice as the growth reaches it.
class Workspace {
 public:
  Workspace(const TumourVolume& v, const TumourClickOptions& o, int slice, int x, int y) : v_(v) {
    const double pixel = std::sqrt(v.columnSpacing * v.rowSpacing);
    const int rx = std::max(2, static_cast<int>(o.reachMm / v.columnSpacing));
    const int ry = std::max(2, static_cast<int>(o.reachMm / v.rowSpacing));
    const int rz = std::max(1, static_cast<int>(o.reachMm / v.sliceSpacing));
    x0 = std::max(0, x - rx);
    y0 = std::max(0, y - ry);
    z0 = std::max(0, slice - rz);
    w = std::min(v.width, x + rx + 1) - x0;
    h = std::min(v.height, y + ry + 1) - y0;
    d = std::min(v.slices(), slice + rz + 1) - z0;
    capsulePx_ = o.capsuleMm / pixel;
    rimPx_ = o.rimMm / pixel;
    pad_ = static_cast<int>(std::ceil(2 * capsulePx_ + rimPx_)) + 2;
    smooth_.resize(static_cast<std::size_t>(d));
    domain_.resize(static_cast<std::size_t>(d));
  }
  int x0, y0, z0, w, h, d;
  // Touches the work area's side where the series goes on (the lesion would reach further).
  bool onOpenSide(int x, int y, int z) const {
    return (x == 0 && x0 > 0) || (y == 0 && y0 > 0) || (z == 0 && z0 > 0) || (x == w - 1 && x0 + w < v_.width) ||
           (y == h - 1 && y0 + h < v_.height) || (z == d - 1 && z0 + d < v_.slices());
  }
  const cv::Mat& smooth(int z) {
    prepare(z);
    return smooth_[static_cast<std::size_t>(z)];
  }
  const cv::Mat& domain(int z) {
    prepare(z);
    return domain_[static_cast<std::size_t>(z)];
  }

 private:
  void prepare(int z) {
    cv::Mat& s = smooth_[static_cast<std::size_t>(z)];
    if (!s.empty()) return;
    const int k = z0 + z;
    const cv::Mat hu(v_.height, v_.width, CV_16S, const_cast<int16_t*>(v_.intensities[static_cast<std::size_t>(k)]));
    cv::Mat f;
    hu(cv::Rect(x0, y0, w, h)).convertTo(f, CV_32F);
    cv::medianBlur(f, s, kMedianSize);
    // The liver with its bays up to the capsule depth closed and holes filled, and a rim around:
    // a lesion the liver label left out (on the capsule) still lies inside.
    // (worked on with a margin of pad_ pixels on every side, beyond the image's border too: the
    // closing must see background around the liver)
    cv::Mat liver(h + 2 * pad_, w + 2 * pad_, CV_8U, cv::Scalar(0));
    const uint8_t* labels = v_.labels[static_cast<std::size_t>(k)];
    for (int yy = std::max(0, y0 - pad_); yy < std::min(v_.height, y0 + h + pad_); ++yy)
      for (int xx = std::max(0, x0 - pad_); xx < std::min(v_.width, x0 + w + pad_); ++xx)
        if (isLiverLabel(labels[static_cast<std::size_t>(yy) * v_.width + xx]))
          liver.at<uint8_t>(yy - y0 + pad_, xx - x0 + pad_) = 255;
    cv::Mat dom(h, w, CV_8U, cv::Scalar(0));
    if (cv::countNonZero(liver) > 0) {
      cv::Mat outside, distance, grown, closed;
      cv::bitwise_not(liver, outside);
      cv::distanceTransform(outside, distance, cv::DIST_L2, cv::DIST_MASK_5);
      grown = distance <= capsulePx_;
      cv::distanceTransform(grown, distance, cv::DIST_L2, cv::DIST_MASK_5);
      closed = (distance > capsulePx_) | liver;
      fillHoles(closed);
      cv::bitwise_not(closed, outside);
      cv::distanceTransform(outside, distance, cv::DIST_L2, cv::DIST_MASK_5);
      closed = distance <= rimPx_;
      closed(cv::Rect(pad_, pad_, w, h)).copyTo(dom);
    }
    domain_[static_cast<std::size_t>(z)] = dom;
  }

  const TumourVolume& v_;
  double capsulePx_ = 0, rimPx_ = 0;
  int pad_ = 0;
  std::vector<cv::Mat> smooth_, domain_;
};

struct Voxel {
  int x, y, z;
};

// 6-connected growth from the seeds through voxels where accept(x, y, z) holds. Stops (returning
// false) once more than cap voxels were taken.
template <class Accept>
bool grow3d(std::vector<uint8_t>& in, int w, int h, int d, std::vector<Voxel> todo, long cap, Accept accept,
            long* count) {
  *count = 0;
  auto at = [&](int x, int y, int z) -> uint8_t& {
    return in[(static_cast<std::size_t>(z) * h + y) * w + x];
  };
  for (const Voxel& s : todo) at(s.x, s.y, s.z) = 1;
  *count = static_cast<long>(todo.size());
  static const int kStep[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  while (!todo.empty()) {
    const Voxel p = todo.back();
    todo.pop_back();
    for (const auto& s : kStep) {
      const int x = p.x + s[0], y = p.y + s[1], z = p.z + s[2];
      if (x < 0 || y < 0 || z < 0 || x >= w || y >= h || z >= d || at(x, y, z) || !accept(x, y, z)) continue;
      at(x, y, z) = 1;
      if (++*count > cap) return false;
      todo.push_back({x, y, z});
    }
  }
  return true;
}

double medianOf(std::vector<int16_t>& v) {
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// The median raw intensity of a found lesion (voxels of `in`, a w x h x d block at x0, y0, z0 of
// the volume; its core, eroded by a pixel in the plane, when that holds enough voxels) and of the
// liver-labelled voxels in a ring of kRingMm around it in each slice, its first pixel left out
// (edge voxels mix both): out[0] and out[1]. False when either has fewer than kMinStatisticVoxels.
bool lesionAndRim(const TumourVolume& v, int x0, int y0, int z0, int w, int h, int d, const std::vector<uint8_t>& in,
                  double out[2]) {
  const int r = std::max(1, static_cast<int>(std::lround(kRingMm / std::min(v.columnSpacing, v.rowSpacing))));
  const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * r + 1, 2 * r + 1));
  const cv::Mat cross = cv::getStructuringElement(cv::MORPH_CROSS, cv::Size(3, 3));
  std::vector<int16_t> lesion, core, rim;
  const std::size_t plane = static_cast<std::size_t>(w) * h;
  for (int z = 0; z < d; ++z) {
    const cv::Mat m(h, w, CV_8U, const_cast<uint8_t*>(in.data()) + plane * z);
    if (cv::countNonZero(m) == 0) continue;
    cv::Mat around, edge, inner;
    cv::dilate(m, around, kernel);
    cv::dilate(m, edge, cross);
    cv::erode(m, inner, cross);
    const int16_t* hu = v.intensities[static_cast<std::size_t>(z0 + z)];
    const uint8_t* labels = v.labels[static_cast<std::size_t>(z0 + z)];
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::size_t i = static_cast<std::size_t>(y + y0) * v.width + x + x0;
        if (m.at<uint8_t>(y, x)) {
          lesion.push_back(hu[i]);
          if (inner.at<uint8_t>(y, x)) core.push_back(hu[i]);
        } else if (around.at<uint8_t>(y, x) && !edge.at<uint8_t>(y, x) && isLiverLabel(labels[i])) {
          rim.push_back(hu[i]);
        }
      }
  }
  if (core.size() >= kMinStatisticVoxels) lesion.swap(core);
  if (lesion.size() < kMinStatisticVoxels || rim.size() < kMinStatisticVoxels) return false;
  out[0] = medianOf(lesion);
  out[1] = medianOf(rim);
  return true;
}


// The lesion's edge decided again on the raw intensities: each voxel near the edge (a band of
// kEdgeBandMm in its slice, and the slices just above and below the lesion) takes the class whose
// cost is lower, the cost being its squared distance to the lesion's intensity or to the local
// intensity of the tissue around (over twice the squared noise), plus kNeighbourWeight for each
// neighbour of the other class (the in-plane ring of eight, diagonals weighted 1/sqrt 2, the voxels
// above and below by the ratio of pixel to slice spacing). The band starts from its voxels' own
// nearer class and is visited until nothing changes; then the lesion's intensity (its median), the
// tissue's and the noise are measured again on the result and the band is visited once more.
// The tissue's local intensity is the mean raw intensity, within kLocalMm in the slice, of the
// voxels outside the lesion (its first pixel left out) that lie on the tissue's side of the lesion
// intensity and no further than one contrast beyond the tissue: the liver on one side of a lesion
// and a muscle or another organ of near intensity on the other side each get their own boundary.
// The noise is the spread of those voxels about their local mean. Voxels further than
// kBeyondLesion contrasts beyond the lesion or a contrast beyond the tissue (in their
// median-filtered intensity) and voxels outside `allowed` stay out.
void refineEdge(const TumourVolume& v, Workspace& ws, const std::vector<int>& slices, const std::vector<uint8_t>& allowed,
                double lesionHU, double tissueHU, std::vector<uint8_t>& mask) {
  const int w = ws.w, h = ws.h;
  const std::size_t plane = static_cast<std::size_t>(w) * h;
  const double pixel = std::min(v.columnSpacing, v.rowSpacing);
  const int band = std::max(1, static_cast<int>(std::lround(kEdgeBandMm / pixel)));
  const int local = std::max(2, static_cast<int>(std::lround(kLocalMm / pixel)));
  const double contrast = tissueHU - lesionHU;
  const cv::Mat bandKernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * band + 1, 2 * band + 1));
  const cv::Mat cross = cv::getStructuringElement(cv::MORPH_CROSS, cv::Size(3, 3));
  auto planeOf = [&](std::vector<uint8_t>& m, int z) { return cv::Mat(h, w, CV_8U, m.data() + plane * z); };
  const std::size_t depth = static_cast<std::size_t>(ws.d);
  std::vector<cv::Mat> raw(depth), tissue(depth), open(depth), side(depth), reach(depth);
  std::vector<uint8_t> lesion(mask);  // the lesion before the refinement: the band's reference
  for (int z : slices) {
    const std::size_t k = static_cast<std::size_t>(z);
    cv::Mat(v.height, v.width, CV_16S, const_cast<int16_t*>(v.intensities[static_cast<std::size_t>(ws.z0 + z)]))(
        cv::Rect(ws.x0, ws.y0, w, h)).convertTo(raw[k], CV_32F);
    const cv::Mat m = planeOf(lesion, z) != 0;
    cv::Mat near = m.clone();
    if (z > 0) near |= planeOf(lesion, z - 1);
    if (z + 1 < ws.d) near |= planeOf(lesion, z + 1);
    cv::Mat inner, t;
    cv::dilate(near, reach[k], bandKernel);
    cv::erode(m, inner, bandKernel);
    // the intensity as a share of the way from the lesion to the tissue
    ws.smooth(z).convertTo(t, CV_32F, 1.0 / contrast, -lesionHU / contrast);
    const cv::Mat possible = (t > -kBeyondLesion) & (t < 2) & (cv::Mat(h, w, CV_8U, const_cast<uint8_t*>(allowed.data()) + plane * z) != 0);
    open[k] = reach[k] & ~inner & possible;
    planeOf(mask, z).setTo(0, reach[k] & ~inner & ~possible);
    side[k] = (t > 0) & (t < 2);
  }
  std::vector<std::size_t> decided;  // the voxels decided again, slice by slice in raster order
  for (int z : slices) {
    const uint8_t* free = open[static_cast<std::size_t>(z)].ptr<uint8_t>();
    for (std::size_t i = 0; i < plane; ++i)
      if (free[i]) decided.push_back(plane * static_cast<std::size_t>(z) + i);
  }
  const float inPlane = static_cast<float>(kNeighbourWeight), diagonal = static_cast<float>(kNeighbourWeight / std::sqrt(2.0));
  const float across = static_cast<float>(kNeighbourWeight * std::min(1.0, std::sqrt(v.columnSpacing * v.rowSpacing) / v.sliceSpacing));
  const float total = 4 * inPlane + 4 * diagonal + 2 * across;
  auto at = [&](int x, int y, int z) -> float {
    if (x < 0 || y < 0 || z < 0 || x >= w || y >= h || z >= ws.d) return 0.0f;
    return mask[plane * static_cast<std::size_t>(z) + static_cast<std::size_t>(y) * w + x] ? 1.0f : 0.0f;
  };
  std::vector<float> spread;
  for (int round = 0; round < kRounds; ++round) {
    // the tissue's local intensity and the noise about it
    spread.clear();
    for (int z : slices) {
      const std::size_t k = static_cast<std::size_t>(z);
      cv::Mat edge, around, sum, count;
      cv::dilate(planeOf(mask, z), edge, cross);
      cv::Mat(side[k] & (edge == 0)).convertTo(around, CV_32F, 1.0 / 255);
      cv::boxFilter(raw[k].mul(around), sum, CV_32F, cv::Size(2 * local + 1, 2 * local + 1), cv::Point(-1, -1), false);
      cv::boxFilter(around, count, CV_32F, cv::Size(2 * local + 1, 2 * local + 1), cv::Point(-1, -1), false);
      tissue[k] = cv::Mat(h, w, CV_32F, cv::Scalar(tissueHU));
      cv::Mat mean = sum / cv::max(count, 1.0f);
      mean.copyTo(tissue[k], count >= 3.0f);
      for (int y = 0; y < h; ++y) {
        const uint8_t* r = reach[k].ptr<uint8_t>(y);
        const float* a = around.ptr<float>(y);
        const float* hu = raw[k].ptr<float>(y);
        const float* mu = tissue[k].ptr<float>(y);
        for (int x = 0; x < w; ++x)
          if (r[x] && a[x] > 0) spread.push_back(std::fabs(hu[x] - mu[x]));
      }
    }
    if (spread.size() < kMinStatisticVoxels) return;
    std::nth_element(spread.begin(), spread.begin() + static_cast<long>(spread.size() / 2), spread.end());
    const double sigma = std::max(1.0, 1.4826 * spread[spread.size() / 2]);
    const float scale = static_cast<float>(1.0 / (2.0 * sigma * sigma));
    if (round == 0)  // each voxel of the band its own nearer class
      for (std::size_t i : decided) {
        const std::size_t k = i / plane;
        const float hu = raw[k].ptr<float>()[i % plane];
        mask[i] = std::fabs(hu - lesionHU) < std::fabs(hu - tissue[k].ptr<float>()[i % plane]) ? 1 : 0;
      }
    for (int sweep = 0; sweep < kSweeps; ++sweep) {
      long changed = 0;
      for (std::size_t i : decided) {
        const int z = static_cast<int>(i / plane), y = static_cast<int>(i % plane) / w, x = static_cast<int>(i % plane) % w;
        const float in = inPlane * (at(x - 1, y, z) + at(x + 1, y, z) + at(x, y - 1, z) + at(x, y + 1, z)) +
                         diagonal * (at(x - 1, y - 1, z) + at(x + 1, y - 1, z) + at(x - 1, y + 1, z) + at(x + 1, y + 1, z)) +
                         across * (at(x, y, z - 1) + at(x, y, z + 1));
        const float hu = raw[static_cast<std::size_t>(z)].ptr<float>()[i % plane];
        const float a = hu - static_cast<float>(lesionHU), b = hu - tissue[static_cast<std::size_t>(z)].ptr<float>()[i % plane];
        const float costIn = a * a * scale + (total - in), costOut = b * b * scale + in;
        const uint8_t next = costIn < costOut ? 1 : 0;
        changed += next != mask[i];
        mask[i] = next;
      }
      if (changed == 0) break;
    }
    // the lesion's intensity again, from the voxels it now holds
    std::vector<int16_t> inside;
    for (int z : slices)
      for (std::size_t i = plane * static_cast<std::size_t>(z); i < plane * (static_cast<std::size_t>(z) + 1); ++i)
        if (mask[i]) inside.push_back(static_cast<int16_t>(raw[static_cast<std::size_t>(z)].ptr<float>()[i % plane]));
    if (inside.size() >= kMinStatisticVoxels) lesionHU = medianOf(inside);
  }
  // the part joined to the most of the lesion before (6-connected)
  std::vector<uint8_t> seen(mask.size(), 0);
  std::vector<std::size_t> part, keep, todo;
  long bestShared = -1;
  for (int z : slices)
    for (std::size_t s0 = plane * static_cast<std::size_t>(z); s0 < plane * (static_cast<std::size_t>(z) + 1); ++s0) {
      if (!mask[s0] || seen[s0]) continue;
      part.clear();
      todo.assign(1, s0);
      seen[s0] = 1;
      long shared = 0;
      while (!todo.empty()) {
        const std::size_t i = todo.back();
        todo.pop_back();
        part.push_back(i);
        shared += lesion[i] != 0;
        const int zz = static_cast<int>(i / plane), y = static_cast<int>(i % plane) / w, x = static_cast<int>(i % plane) % w;
        const int next[6][3] = {{x + 1, y, zz}, {x - 1, y, zz}, {x, y + 1, zz}, {x, y - 1, zz}, {x, y, zz + 1}, {x, y, zz - 1}};
        for (const auto& q : next) {
          if (at(q[0], q[1], q[2]) == 0) continue;
          const std::size_t j = plane * static_cast<std::size_t>(q[2]) + static_cast<std::size_t>(q[1]) * w + q[0];
          if (!seen[j]) {
            seen[j] = 1;
            todo.push_back(j);
          }
        }
      }
      if (shared > bestShared) {
        bestShared = shared;
        keep.swap(part);
      }
    }
  std::fill(mask.begin(), mask.end(), 0);
  for (std::size_t i : keep) mask[i] = 1;
}
}  // namespace

TumourVolume tumourVolumeOf(const Study& study, int series) {
  TumourVolume v;
  const int first = study.firstFrameOfSeries(series), last = study.lastFrameOfSeries(series);
  if (first < 0) return v;
  v.width = study.width(first);
  v.height = study.height(first);
  const SliceHeader& h = study.frame(first)->header;
  v.rowSpacing = h.pixelSpacingRow > 0 ? h.pixelSpacingRow : (h.pixelSpacing > 0 ? h.pixelSpacing : 1.0);
  v.columnSpacing = h.pixelSpacingColumn > 0 ? h.pixelSpacingColumn : v.rowSpacing;
  v.sliceSpacing = h.volumeDepth() > 0 ? h.volumeDepth() : 1.0;
  for (int f = first; f <= last; ++f) {
    if (study.seriesOfFrame(f) != series || study.width(f) != v.width || study.height(f) != v.height ||
        !study.intensities(f) || !study.labelImage(f))
      break;
    v.intensities.push_back(study.intensities(f));
    v.labels.push_back(study.labelImage(f));
  }
  return v;
}

LiverIntensity liverIntensityOf(const AreaStatistics& st) {
  LiverIntensity out;
  if (!st.computed() || st.binCount() <= 0) return out;
  std::vector<int> counts(static_cast<std::size_t>(st.binCount()), 0);
  for (int entry : {int{kLiver}, int{kLiverLeft}, int{kLiverRight}})
    if (const int* c = st.counts(entry))
      for (int b = 0; b < st.binCount(); ++b) counts[static_cast<std::size_t>(b)] += c[b];
  long total = 0;
  for (int c : counts) total += c;
  if (total == 0) return out;
  const int n = static_cast<int>(std::min<long>(total, 2147483647L));
  out.voxels = total;
  out.q1 = st.base() + quantileFromCounts(counts.data(), st.binCount(), n, 0.25f);
  out.median = st.base() + quantileFromCounts(counts.data(), st.binCount(), n, 0.5f);
  out.q3 = st.base() + quantileFromCounts(counts.data(), st.binCount(), n, 0.75f);
  return out;
}

TumourRegion segmentTumourFromClick(const TumourVolume& v, int slice, int x, int y, const LiverIntensity& liver,
                                    const TumourClickOptions& o) {
  TumourRegion out;
  if (liver.voxels <= 0 || v.width <= 0 || v.height <= 0 || slice < 0 || slice >= v.slices() ||
      v.labels.size() != v.intensities.size())
    return out;  // NoLiver
  out.status = TumourClickStatus::OutsideLiver;
  if (x < 0 || y < 0 || x >= v.width || y >= v.height) return out;
  Workspace ws(v, o, slice, x, y);
  const int cx = x - ws.x0, cy = y - ws.y0, cz = slice - ws.z0;
  if (!ws.domain(cz).at<uint8_t>(cy, cx)) return out;

  // The lesion's intensity: the median of the smoothed click neighbourhood (about 2 mm around).
  const int r = std::max(1, static_cast<int>(std::lround(2.0 / std::min(v.columnSpacing, v.rowSpacing))));
  std::vector<float> around;
  for (int yy = std::max(0, cy - r); yy <= std::min(ws.h - 1, cy + r); ++yy)
    for (int xx = std::max(0, cx - r); xx <= std::min(ws.w - 1, cx + r); ++xx)
      around.push_back(ws.smooth(cz).at<float>(yy, xx));
  std::nth_element(around.begin(), around.begin() + static_cast<long>(around.size() / 2), around.end());
  const double lesion = around[around.size() / 2];
  out.lesionHU = lesion;
  const double contrast = lesion - liver.median;
  out.status = TumourClickStatus::NoContrast;
  if (std::fabs(contrast) < std::max(o.minContrastIqr * (liver.q3 - liver.q1), o.minContrastHU)) return out;

  const double voxelMl = v.columnSpacing * v.rowSpacing * v.sliceSpacing / 1000.0;
  const long cap = static_cast<long>(std::min(o.maxMl / voxelMl, o.maxLiverShare * static_cast<double>(liver.voxels)));
  const std::size_t n = static_cast<std::size_t>(ws.w) * ws.h * ws.d;
  const std::size_t plane = static_cast<std::size_t>(ws.w) * ws.h;
  // The lesion's voxels for a lesion and a liver intensity: the growth through the band between
  // them, its thin bridges opened off, the part joined to the click; a status other than Done
  // when it is empty, too small or too large.
  auto find = [&](double lesionHU, double liverHU, const std::vector<uint8_t>& around, std::vector<uint8_t>& best) {
    const double c = lesionHU - liverHU, middle = liverHU + c / 2, far = lesionHU + kBeyondLesion * c;
    const double lo = std::min(middle, far), hi = std::max(middle, far);
    auto inBand = [&](int xx, int yy, int zz) {
      const float s = ws.smooth(zz).at<float>(yy, xx);
      return s > lo && s < hi &&
             (ws.domain(zz).at<uint8_t>(yy, xx) != 0 || (!around.empty() && around[(static_cast<std::size_t>(zz) * ws.h + yy) * ws.w + xx]));
    };
    std::vector<Voxel> seeds;
    for (int yy = std::max(0, cy - 1); yy <= std::min(ws.h - 1, cy + 1); ++yy)
      for (int xx = std::max(0, cx - 1); xx <= std::min(ws.w - 1, cx + 1); ++xx)
        if (inBand(xx, yy, cz)) seeds.push_back({xx, yy, cz});
    if (seeds.empty()) return TumourClickStatus::TooSmall;
    // Size guard: the growth stops as soon as the region is larger than any lesion could be.
    std::vector<uint8_t> grown(n, 0);
    // The raw growth may run through thin bridges into neighbouring tissue of the lesion's
    // intensity; the opening below cuts those, so it is bounded only by a multiple of the guard.
    long count = 0;
    if (!grow3d(grown, ws.w, ws.h, ws.d, seeds, kRawGrowthFactor * cap, inBand, &count)) return TumourClickStatus::TooLarge;
    // Bridges thinner than the opening go, in the plane of each slice (slices may be thick).
    const int open2d = std::max(1, static_cast<int>(std::lround(kOpeningMm / std::min(v.columnSpacing, v.rowSpacing))));
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * open2d + 1, 2 * open2d + 1));
    std::vector<uint8_t> opened(n, 0);
    for (int z = 0; z < ws.d; ++z) {
      cv::Mat m(ws.h, ws.w, CV_8U, grown.data() + plane * z);
      if (cv::countNonZero(m) == 0) continue;
      cv::Mat o2(ws.h, ws.w, CV_8U, opened.data() + plane * z);
      cv::morphologyEx(m, o2, cv::MORPH_OPEN, kernel);
    }
    // The lesion is the part still joined to the click (or the largest part when the opening took
    // the click's own voxels).
    auto component = [&](const Voxel& sv, std::vector<uint8_t>& part) {
      part.assign(n, 0);
      long k = 0;
      grow3d(part, ws.w, ws.h, ws.d, {sv}, static_cast<long>(n), [&](int xx, int yy, int zz) {
        return opened[(static_cast<std::size_t>(zz) * ws.h + yy) * ws.w + xx] != 0;
      }, &k);
      return k;
    };
    auto index = [&](const Voxel& sv) { return (static_cast<std::size_t>(sv.z) * ws.h + sv.y) * ws.w + sv.x; };
    std::vector<uint8_t> part;
    long bestCount = 0;
    seeds.insert(seeds.begin(), Voxel{cx, cy, cz});
    for (const Voxel& sv : seeds)
      if (opened[index(sv)]) {
        bestCount = component(sv, best);
        break;
      }
    const bool clickSurvived = bestCount > 0;
    for (std::size_t j = 0; !clickSurvived && j < n; ++j) {
      // no voxel at the click survived the opening: the largest part
      if (!opened[j]) continue;
      const Voxel sv{static_cast<int>(j % ws.w), static_cast<int>((j / ws.w) % ws.h), static_cast<int>(j / plane)};
      const long k = component(sv, part);
      for (std::size_t q = j; q < n; ++q)
        if (part[q]) opened[q] = 0;
      if (k > bestCount) {
        bestCount = k;
        best.swap(part);
      }
    }
    if (bestCount < 3) return TumourClickStatus::TooSmall;
    // The size guard: larger than a lesion may be, or reaching the side of the work area where the
    // series goes on.
    if (bestCount > cap) return TumourClickStatus::TooLarge;
    for (std::size_t i = 0; i < n; ++i)
      if (best[i] && ws.onOpenSide(static_cast<int>(i % ws.w), static_cast<int>(i / ws.w % ws.h), static_cast<int>(i / plane)))
        return TumourClickStatus::TooLarge;
    return TumourClickStatus::Done;
  };
  std::vector<uint8_t> best;
  out.status = find(lesion, liver.median, {}, best);
  if (out.status != TumourClickStatus::Done) return out;
  // The band again from the lesion found and the liver around it: the click's neighbourhood of a
  // small lesion reaches into the liver, and the liver beside a lesion may differ from the whole.
  // A lesion on the capsule may bulge beyond the rim: the second growth may also reach a rim's
  // width beyond the first lesion.
  double refined[2];
  std::vector<uint8_t> beyond(n, 0);
  bool widened = false;
  const int rim = std::max(1, static_cast<int>(std::lround(o.rimMm / std::min(v.columnSpacing, v.rowSpacing))));
  const cv::Mat rimKernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * rim + 1, 2 * rim + 1));
  for (int z = 0; z < ws.d; ++z) {
    const cv::Mat m(ws.h, ws.w, CV_8U, best.data() + plane * z);
    cv::Mat a(ws.h, ws.w, CV_8U, beyond.data() + plane * z);
    if (cv::countNonZero(m) > 0) cv::dilate(m, a, rimKernel);
  }
  if (lesionAndRim(v, ws.x0, ws.y0, ws.z0, ws.w, ws.h, ws.d, best, refined) &&
      std::fabs(refined[0] - refined[1]) >= std::max(o.minContrastIqr * (liver.q3 - liver.q1), o.minContrastHU) &&
      (refined[0] - refined[1]) * contrast > 0) {
    std::vector<uint8_t> second;
    if (find(refined[0], refined[1], beyond, second) == TumourClickStatus::Done) {
      best.swap(second);
      widened = true;
    }
  }

  // Holes (vessels crossing the lesion, a denser core) filled slice by slice; then the edge decided
  // again voxel by voxel on the raw intensities; holes filled once more, within the domain.
  std::vector<uint8_t> allowed(n, 0);
  for (int z = 0; z < ws.d; ++z) {
    cv::Mat m(ws.h, ws.w, CV_8U, best.data() + plane * z);
    if (cv::countNonZero(m) > 0) fillHoles(m);
  }
  std::vector<int> touched;
  for (int z = 0; z < ws.d; ++z)
    if (cv::countNonZero(cv::Mat(ws.h, ws.w, CV_8U, best.data() + plane * z)) > 0 ||
        (z > 0 && cv::countNonZero(cv::Mat(ws.h, ws.w, CV_8U, best.data() + plane * (z - 1))) > 0) ||
        (z + 1 < ws.d && cv::countNonZero(cv::Mat(ws.h, ws.w, CV_8U, best.data() + plane * (z + 1))) > 0)) {
      touched.push_back(z);
      cv::Mat a(ws.h, ws.w, CV_8U, allowed.data() + plane * z);
      ws.domain(z).copyTo(a);
      if (widened) a |= cv::Mat(ws.h, ws.w, CV_8U, beyond.data() + plane * z);
      // the lesion may go on a slice further than the liver label (a label that stops short at a
      // lesion on the capsule): its outline on the slices either side, a rim's width wider
      cv::Mat next(ws.h, ws.w, CV_8U, cv::Scalar(0)), wider;
      if (z > 0) next |= cv::Mat(ws.h, ws.w, CV_8U, best.data() + plane * (z - 1));
      if (z + 1 < ws.d) next |= cv::Mat(ws.h, ws.w, CV_8U, best.data() + plane * (z + 1));
      cv::dilate(next, wider, rimKernel);
      a |= wider;
    }
  double model[2];
  if (lesionAndRim(v, ws.x0, ws.y0, ws.z0, ws.w, ws.h, ws.d, best, model) && (model[0] - model[1]) * contrast > 0) {
    refineEdge(v, ws, touched, allowed, model[0], model[1], best);
  }
  int firstZ = ws.d, lastZ = -1;
  std::vector<std::vector<int32_t>> slices(static_cast<std::size_t>(ws.d));
  for (int z : touched) {
    cv::Mat m(ws.h, ws.w, CV_8U, best.data() + plane * z);
    if (cv::countNonZero(m) == 0) continue;
    fillHoles(m);
    const cv::Mat a(ws.h, ws.w, CV_8U, allowed.data() + plane * z);
    auto& list = slices[static_cast<std::size_t>(z)];
    for (int yy = 0; yy < ws.h; ++yy)
      for (int xx = 0; xx < ws.w; ++xx)
        if (m.at<uint8_t>(yy, xx) && a.at<uint8_t>(yy, xx))
          list.push_back(static_cast<int32_t>((yy + ws.y0) * v.width + xx + ws.x0));
    if (list.empty()) continue;
    out.voxels += static_cast<long>(list.size());
    firstZ = std::min(firstZ, z);
    lastZ = z;
  }
  if (lastZ < 0) {
    out.status = TumourClickStatus::TooSmall;  // the edge decided nothing is left
    return out;
  }
  out.firstSlice = ws.z0 + firstZ;
  out.slices.assign(std::make_move_iterator(slices.begin() + firstZ), std::make_move_iterator(slices.begin() + lastZ + 1));
  out.status = out.voxels > cap ? TumourClickStatus::TooLarge : TumourClickStatus::Done;
  if (out.status != TumourClickStatus::Done) out.slices.clear();
  return out;
}

long applyTumour(const TumourRegion& region, const std::vector<uint8_t*>& labels, uint8_t label) {
  if (region.status != TumourClickStatus::Done) return 0;
  long written = 0;
  for (std::size_t k = 0; k < region.slices.size(); ++k) {
    const std::size_t s = static_cast<std::size_t>(region.firstSlice) + k;
    if (s >= labels.size() || !labels[s]) continue;
    for (int32_t i : region.slices[k]) {
      uint8_t& l = labels[s][i];
      if (l == 0 || l == label || isLiverLabel(l)) {
        written += l != label;
        l = label;
      }
    }
  }
  return written;
}

}  // namespace morvex
