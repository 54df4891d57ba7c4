#include "view/live_wire.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "segmentation/level_set.h"
#include "segmentation/mask_utils.h"

namespace morvex {

namespace {

constexpr int kDx[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
constexpr int kDy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};

double secondsSince(std::clock_t start) {
  return static_cast<double>(std::clock() - start) / static_cast<double>(CLOCKS_PER_SEC);
}

// Dial's bucket queue over pixel indices. A pixel with cost c waits in bucket c & (B - 1), pushed
// on the front of a singly linked list, so equal costs leave last-in first. The buckets hold only
// costs inside the window [lo, lo + B); a step can cost more than B (the segment penalty), so
// entries beyond the window wait in an overflow list that refills the buckets once they run dry.
// Without it a cost wrapping round the ring would be taken ahead of cheaper ones.
// Removal is lazy: a pixel's entry is live only while the pixel is queued and the entry is the one
// it was last pushed with; dead entries are dropped when a pop or a refill meets them. Taking the
// live entries in list order is the same order as unlinking removed entries at once would give.
class BucketQueue {
 public:
  // The lists live in the engine's storage and are reused from tree to tree.
  BucketQueue(LiveWire::QueueStorage& storage, std::size_t pixels, const std::vector<int64_t>& cost)
      : cost_(cost), head_(storage.head), occupied_(storage.occupied), entry_(storage.entry), live_(storage.live), where_(storage.state) {
    // entries of the last tree may still hang in the buckets
    head_.assign(LiveWire::kBucketCount, -1);
    occupied_.assign(LiveWire::kBucketCount / 64, 0);
    entry_.clear();
    live_.resize(pixels);
    where_.assign(pixels, kNone);
  }

  bool queued(int i) const {
    const uint8_t w = where_[static_cast<std::size_t>(i)];
    return w == kBucket || w == kFar;
  }
  bool expanded(int i) const { return where_[static_cast<std::size_t>(i)] == kExpanded; }

  void push(int i) {
    const int64_t c = cost_[static_cast<std::size_t>(i)];
    if (c < lo_ + LiveWire::kBucketCount) {
      const int64_t b = c & kMask;
      link(i, head_[static_cast<std::size_t>(b)], kBucket);
      occupied_[static_cast<std::size_t>(b >> 6)] |= uint64_t{1} << (b & 63);
      ++inBuckets_;
    } else {
      link(i, far_, kFar);
    }
  }

  void remove(int i) {
    const std::size_t u = static_cast<std::size_t>(i);
    if (where_[u] == kBucket) --inBuckets_;
    where_[u] = kNone;
  }

  // The cheapest queued pixel, taken out of the queue and marked expanded; -1 when none is left.
  int pop() {
    if (inBuckets_ == 0 && !refill()) return -1;
    for (int64_t b = current_ & kMask;;) {
      // the next bucket holding entries, 64 buckets at a time
      const std::size_t word = static_cast<std::size_t>(b >> 6);
      const uint64_t bits = occupied_[word] & (~uint64_t{0} << (b & 63));
      if (bits == 0) {
        b = (static_cast<int64_t>(word + 1) << 6) & kMask;
        continue;
      }
      b = static_cast<int64_t>(word << 6) + __builtin_ctzll(bits);
      int32_t& listHead = head_[static_cast<std::size_t>(b)];
      while (listHead >= 0) {
        const LiveWire::QueueEntry e = entry_[static_cast<std::size_t>(listHead)];
        const bool live = isLive(listHead, e.pixel);
        listHead = e.next;
        if (!live) continue;
        const std::size_t u = static_cast<std::size_t>(e.pixel);
        current_ = cost_[u];
        --inBuckets_;
        where_[u] = kExpanded;
        return e.pixel;
      }
      occupied_[word] &= ~(uint64_t{1} << (b & 63));
      b = (b + 1) & kMask;
    }
  }

 private:
  static constexpr uint8_t kNone = 0, kBucket = 1, kFar = 2, kExpanded = 3;
  static constexpr int64_t kMask = LiveWire::kBucketCount - 1;

  bool isLive(int32_t e, int32_t pixel) const {
    const std::size_t u = static_cast<std::size_t>(pixel);
    return live_[u] == e && (where_[u] == kBucket || where_[u] == kFar);
  }

  void link(int i, int32_t& listHead, uint8_t where) {
    const int32_t e = static_cast<int32_t>(entry_.size());
    entry_.push_back({i, listHead});
    listHead = e;
    live_[static_cast<std::size_t>(i)] = e;
    where_[static_cast<std::size_t>(i)] = where;
  }

  // Moves the overflow entries of the next window into the buckets, in list order; false when no
  // live entry is left.
  bool refill() {
    int64_t lowest = std::numeric_limits<int64_t>::max();
    for (int32_t e = far_; e >= 0; e = entry_[static_cast<std::size_t>(e)].next) {
      const LiveWire::QueueEntry en = entry_[static_cast<std::size_t>(e)];
      if (isLive(e, en.pixel)) lowest = std::min(lowest, cost_[static_cast<std::size_t>(en.pixel)]);
    }
    if (lowest == std::numeric_limits<int64_t>::max()) {
      far_ = -1;
      return false;
    }
    lo_ = current_ = lowest;
    // the entries that stay keep their order; dead ones are dropped (pushing may move entry_, so
    // the last kept entry is held by index)
    int32_t kept = -1;
    const int32_t first = far_;
    far_ = -1;
    for (int32_t e = first; e >= 0;) {
      const LiveWire::QueueEntry en = entry_[static_cast<std::size_t>(e)];
      if (isLive(e, en.pixel)) {
        if (cost_[static_cast<std::size_t>(en.pixel)] < lo_ + LiveWire::kBucketCount) {
          push(en.pixel);
        } else {
          if (kept < 0) far_ = e;
          else entry_[static_cast<std::size_t>(kept)].next = e;
          kept = e;
        }
      }
      e = en.next;
    }
    if (kept >= 0) entry_[static_cast<std::size_t>(kept)].next = -1;
    return true;
  }

  const std::vector<int64_t>& cost_;
  std::vector<int32_t>& head_;
  std::vector<uint64_t>& occupied_;  // bit b set: bucket b may hold entries
  std::vector<LiveWire::QueueEntry>& entry_;
  std::vector<int32_t>& live_;
  std::vector<uint8_t>& where_;
  int32_t far_ = -1;
  int64_t lo_ = 0, current_ = 0;
  int inBuckets_ = 0;
};

// |Gx| + |Gy| and the gradient of the raw intensities by 3 x 3 Sobel, 0 on the border.
void sobel(const int16_t* im, int w, int h, std::vector<float>& gx, std::vector<float>& gy) {
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  gx.assign(n, 0.0f);
  gy.assign(n, 0.0f);
  auto I = [&](int x, int y) { return static_cast<float>(im[static_cast<std::size_t>(y) * w + x]); };
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      gx[i] = (I(x + 1, y - 1) + 2 * I(x + 1, y) + I(x + 1, y + 1)) - (I(x - 1, y - 1) + 2 * I(x - 1, y) + I(x - 1, y + 1));
      gy[i] = (I(x - 1, y + 1) + 2 * I(x, y + 1) + I(x + 1, y + 1)) - (I(x - 1, y - 1) + 2 * I(x, y - 1) + I(x + 1, y - 1));
    }
}

// Gradient cost (1 - |G| / max) x 1000, histogram-equalised over 1001 levels. A slice without any
// gradient has no maximum to divide by: every pixel then costs the most.
void gradientCostMap(const std::vector<float>& gx, const std::vector<float>& gy, std::vector<int>& cost) {
  const std::size_t n = gx.size();
  constexpr int L = 1001;
  std::vector<float> mag(n);
  float largest = 0.0f;
  for (std::size_t i = 0; i < n; ++i) {
    mag[i] = std::fabs(gx[i]) + std::fabs(gy[i]);
    largest = std::max(largest, mag[i]);
  }
  cost.assign(n, L);
  if (largest <= 0.0f) return;
  std::vector<int64_t> cdf(L, 0);
  for (std::size_t i = 0; i < n; ++i) {
    cost[i] = std::clamp(static_cast<int>((1.0f - mag[i] / largest) * 1000.0f), 0, L - 1);
    ++cdf[static_cast<std::size_t>(cost[i])];
  }
  for (int v = 1; v < L; ++v) cdf[static_cast<std::size_t>(v)] += cdf[static_cast<std::size_t>(v - 1)];
  int64_t cmin = L;
  for (int v = 0; v < L; ++v)
    if (cdf[static_cast<std::size_t>(v)] != 0 && cdf[static_cast<std::size_t>(v)] < cmin) cmin = cdf[static_cast<std::size_t>(v)];
  const int64_t total = static_cast<int64_t>(n);
  if (total - cmin <= 0) {
    std::fill(cost.begin(), cost.end(), L);
    return;
  }
  std::vector<int> lut(L);
  for (int v = 0; v < L; ++v)
    lut[static_cast<std::size_t>(v)] = static_cast<int>(static_cast<float>(cdf[static_cast<std::size_t>(v)] - cmin) /
                                                        static_cast<float>(total - cmin) * static_cast<float>(L));
  for (int& c : cost) c = std::max(lut[static_cast<std::size_t>(c)], 0);
}

// The unit gradient (ux, uy) of every interior pixel, 0 on the border.
void unitGradient(const std::vector<float>& gx, const std::vector<float>& gy, int w, int h, std::vector<float>& ux,
                  std::vector<float>& uy) {
  const std::size_t n = gx.size();
  ux.assign(n, 0.0f);
  uy.assign(n, 0.0f);
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      const float len = std::sqrt(gx[i] * gx[i] + gy[i] * gy[i]) + 0.0001f;
      ux[i] = gx[i] / len;
      uy[i] = gy[i] / len;
    }
}

// Direction cost of the link from p to its neighbour q = p + k, given the unit gradients at both
// ends: how far the link turns away from the edge direction (perpendicular to the gradient) at
// each end, 0 ... about 1333. The link is oriented along the edge direction at p, so that it
// agrees with it. acos within 7e-5 rad (0.015 cost units); a rounded dot product slightly beyond
// +-1 is clamped. The same arithmetic serves the maps and directionCost(), so both agree exactly.
struct Link {
  float fx, fy, norm;  // the step to neighbour k and 1 / its length
  explicit Link(int k)
      : fx(static_cast<float>(kDx[k])), fy(static_cast<float>(kDy[k])),
        norm(1.0f / std::sqrt(static_cast<float>(kDx[k] * kDx[k] + kDy[k] * kDy[k]))) {}
};
__attribute__((always_inline)) inline float linkCost(float uxp, float uyp, float uxq, float uyq, const Link& link) {
  constexpr double kFactor = 0.21220663493753059;  // 2 / (3 pi)
  auto angle = [](float d) {
    const float a = std::min(std::fabs(d), 1.0f);
    const float r = std::sqrt(1.0f - a) * (1.5707288f + a * (-0.2121144f + a * (0.0742610f - 0.0187293f * a)));
    const float reflected = 3.14159265f - r;  // both sides computed: a select, not a branch, so x vectorises
    return d < 0.0f ? reflected : r;
  };
  const float s = uyp * link.fx - uxp * link.fy;
  const float sign = s >= 0.0f ? 1.0f : -1.0f;
  const float lx = sign * link.fx * link.norm, ly = sign * link.fy * link.norm;
  const float dp = lx * uyp - ly * uxp;
  const float dq = lx * uyq - ly * uxq;
  return static_cast<float>((angle(dp) + angle(dq)) * kFactor * 1000.0);
}

// Cost of the step from every interior pixel p to its neighbour q = p + k: the cost of the pixel
// entered (5 x edge + 2.5 x gradient), 3 x the link's direction cost and the step length (1000
// straight, 1300 diagonal), truncated. At most about 12,800, so it fits 16 bits; 0 on the border.
// A row at a time, one direction at a time (so that the loop over x vectorises), then interleaved
// 8 per pixel as the path tree reads them.
void stepCosts(const std::vector<float>& edge, const std::vector<int>& gradient, const std::vector<float>& ux,
               const std::vector<float>& uy, int w, int h, std::vector<uint16_t>& cost) {
  const std::size_t n = edge.size();
  std::vector<float> node(n);
  for (std::size_t i = 0; i < n; ++i) node[i] = 5.0f * edge[i] + 2.5f * static_cast<float>(gradient[i]);
  constexpr float kBase[8] = {1300.0f, 1000.0f, 1300.0f, 1000.0f, 1000.0f, 1300.0f, 1000.0f, 1300.0f};
  cost.assign(n * LiveWire::kDirections, 0);
  const std::size_t width = static_cast<std::size_t>(std::max(w, 0));
  std::vector<float> steps(width * LiveWire::kDirections);
  std::vector<uint16_t> row(width * LiveWire::kDirections);
  for (int y = 1; y < h - 1; ++y) {
    for (int k = 0; k < LiveWire::kDirections; ++k) {
      const std::size_t line = static_cast<std::size_t>(y) * w, lineQ = static_cast<std::size_t>(y + kDy[k]) * w + kDx[k];
      float* out = &steps[static_cast<std::size_t>(k) * w];
      const Link link(k);
      const float base = kBase[k];
      for (int x = 1; x < w - 1; ++x) {
        const std::size_t p = line + x, q = lineQ + x;
        out[x] = node[q] + 3.0f * linkCost(ux[p], uy[p], ux[q], uy[q], link) + base;
      }
    }
    // truncated and clamped to 0 ... 65535 (a step lies far inside the int32 range)
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const int32_t v = static_cast<int32_t>(steps[i]);
      row[i] = static_cast<uint16_t>(v < 0 ? 0 : v > 0xFFFF ? 0xFFFF : v);
    }
    uint16_t* dst = &cost[static_cast<std::size_t>(y) * w * LiveWire::kDirections];
    for (int x = 1; x < w - 1; ++x)
      for (int k = 0; k < LiveWire::kDirections; ++k)
        dst[static_cast<std::size_t>(x) * LiveWire::kDirections + static_cast<std::size_t>(k)] =
            row[static_cast<std::size_t>(k) * w + x];
  }
}

}  // namespace

LiveWire::LiveWire(const int16_t* intensities, int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
  const std::size_t n = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  if (intensities) intensities_.assign(intensities, intensities + n);
  else intensities_.assign(n, 0);
  back_.assign(n, -1);
  totalCost_.assign(n, kUnreached);
}

bool LiveWire::restart(const int16_t* intensities, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const bool same = costsReady() && width == width_ && height == height_ && intensities &&
                    std::equal(intensities, intensities + n, intensities_.begin());
  seeds_.clear();
  segments_.clear();
  closed_ = inObject_ = false;
  objectValue_ = 0;
  root_ = -1;
  if (same) return true;
  width_ = width;
  height_ = height;
  if (intensities) intensities_.assign(intensities, intensities + n);
  else intensities_.assign(n, 0);
  back_.assign(n, -1);
  totalCost_.assign(n, kUnreached);
  edgeCost_.clear();  // not ready: the next tree computes the maps into the kept buffers
  return false;
}

void LiveWire::CalculateCostFunction() {
  try {
    computeCosts();
  } catch (...) {
    edgeCost_.clear();  // half-computed maps are not ready
    throw;
  }
}

void LiveWire::computeCosts() {
  const std::size_t n = intensities_.size();
  std::printf("- Live wire CalculateCostFunction -\n");
  const std::clock_t start = std::clock();
  // edges
  std::vector<uint8_t> edges(n, 0);
  cannyEdges(intensities_.data(), edges.data(), width_, height_, 100, 10, 2.0);
  edgeCost_.assign(n, 1000.0f);
  for (std::size_t i = 0; i < n; ++i)
    if (edges[i]) edgeCost_[i] = 0.0f;
  const double canny = secondsSince(start);
  std::printf("Canny computation time = %g\n", canny);
  // gradient magnitude
  std::clock_t t = std::clock();
  std::vector<float> gx, gy;
  sobel(intensities_.data(), width_, height_, gx, gy);
  gradientCostMap(gx, gy, gradientCost_);
  const double gradient = secondsSince(t);
  std::printf("Gradient Mag computation time = %g\n", gradient);
  // gradient direction, and with it the cost of every step
  t = std::clock();
  unitGradient(gx, gy, width_, height_, ux_, uy_);
  stepCosts(edgeCost_, gradientCost_, ux_, uy_, width_, height_, stepCost_);
  const double direction = secondsSince(t);
  std::printf("Gradient Direction computation time = %g\n", direction);
  std::printf("Total cost computation time = %g\n", canny + gradient + direction);
  interior_.assign(n, 0);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) interior_[index(x, y)] = traceable(x, y) ? 1 : 0;
  std::fflush(stdout);
}

void LiveWire::computePathTree(int sx, int sy) {
  std::printf("Seed Point = %d %d\n", sx, sy);
  std::fflush(stdout);
  if (!costsReady()) CalculateCostFunction();
  const std::size_t n = intensities_.size();
  std::fill(totalCost_.begin(), totalCost_.end(), kUnreached);
  std::fill(back_.begin(), back_.end(), -1);
  const std::vector<uint8_t> onSegment = contourMask();
  root_ = static_cast<int>(index(sx, sy));
  totalCost_[static_cast<std::size_t>(root_)] = 0;
  BucketQueue queue(queueStorage_, n, totalCost_);
  queue.push(root_);
  const bool anySegment = !segments_.empty();
  const int offset[8] = {-width_ - 1, -width_, -width_ + 1, -1, 1, width_ - 1, width_, width_ + 1};
  for (int p = queue.pop(); p >= 0; p = queue.pop()) {
    const std::size_t up = static_cast<std::size_t>(p);
    if (!interior_[up]) continue;
    const uint16_t* steps = &stepCost_[up * kDirections];
    const int64_t here = totalCost_[up];
    for (int k = 0; k < kDirections; ++k) {
      const int qi = p + offset[k];
      const std::size_t q = static_cast<std::size_t>(qi);
      if (queue.expanded(qi)) continue;
      int64_t cost = here + steps[k];
      // a drawn segment is entered only when nothing else is left, and never cut diagonally
      if (anySegment && (onSegment[q] || (kDx[k] && kDy[k] && onSegment[up + static_cast<std::size_t>(kDx[k])] &&
                                          onSegment[static_cast<std::size_t>(p + kDy[k] * width_)])))
        cost += kPenalty;
      if (queue.queued(qi)) {
        if (cost >= totalCost_[q]) continue;
        queue.remove(qi);
      }
      totalCost_[q] = cost;
      back_[q] = p;
      queue.push(qi);
    }
  }
  seeds_.push_back({sx, sy});
}

std::vector<uint8_t> LiveWire::contourMask() const {
  std::vector<uint8_t> mask(intensities_.size(), 0);
  for (const std::vector<ImagePoint>& segment : segments_)
    for (const ImagePoint& p : segment) mask[index(p.x, p.y)] = 1;
  return mask;
}

std::vector<ImagePoint> LiveWire::tracePath(int x, int y) const {
  std::vector<ImagePoint> path;
  if (!traceable(x, y) || root_ < 0) return path;
  int i = static_cast<int>(index(x, y));
  if (i != root_ && back_[static_cast<std::size_t>(i)] < 0) return path;
  for (; i >= 0; i = back_[static_cast<std::size_t>(i)]) {
    path.push_back({i % width_, i / width_});
    if (i == root_) break;
  }
  return path;
}

bool LiveWire::addSeed(int x, int y) {
  if (closed_ || !traceable(x, y)) return false;
  if (!seeds_.empty()) {
    std::vector<ImagePoint> path = tracePath(x, y);
    if (path.empty()) return false;
    std::reverse(path.begin(), path.end());
    segments_.push_back(std::move(path));
    const ImagePoint first = seeds_.front();
    if (std::abs(first.x - x) <= 2 && std::abs(first.y - y) <= 2) {
      seeds_.push_back({x, y});
      closed_ = true;
      return true;
    }
  } else {
    inObject_ = hasObject();
  }
  computePathTree(x, y);
  return true;
}

void LiveWire::removeLastSeed() {
  if (seeds_.empty()) return;
  seeds_.pop_back();
  if (!segments_.empty() && segments_.size() >= seeds_.size()) segments_.pop_back();
  closed_ = false;
  if (seeds_.empty()) {
    // the contour is gone, and with it the object it started on
    inObject_ = false;
    objectValue_ = 0;
    root_ = -1;
    return;
  }
  const ImagePoint last = seeds_.back();
  seeds_.pop_back();
  computePathTree(last.x, last.y);
}

bool LiveWire::takeObjectAt(const uint8_t* labels, int x, int y) {
  if (!labels || hasObject() || !seeds_.empty() || x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  objectValue_ = labels[index(x, y)];
  return objectValue_ != 0;
}

std::vector<uint8_t> LiveWire::enclosedArea() const {
  const std::size_t n = intensities_.size();
  std::vector<int16_t> walls(n, 0);
  for (const std::vector<ImagePoint>& segment : segments_)
    for (const ImagePoint& p : segment) walls[index(p.x, p.y)] = 255;
  if (!seeds_.empty() && !segments_.empty() && !segments_.back().empty()) {
    // the gap between the last point and the first seed (at most 2 pixels) is bridged
    const ImagePoint first = seeds_.front(), last = segments_.back().back();
    walls[index((first.x + last.x) / 2, (first.y + last.y) / 2)] = 255;
  }
  // outside = what the border reaches through free pixels; every free border pixel is a seed, so
  // a contour touching the image corner does not make the whole slice count as enclosed
  std::vector<int16_t> seedX, seedY;
  auto border = [&](int x, int y) {
    if (walls[index(x, y)] == 0) {
      seedX.push_back(static_cast<int16_t>(x));
      seedY.push_back(static_cast<int16_t>(y));
    }
  };
  for (int x = 0; x < width_; ++x) {
    border(x, 0);
    border(x, height_ - 1);
  }
  for (int y = 1; y + 1 < height_; ++y) {
    border(0, y);
    border(width_ - 1, y);
  }
  std::vector<int16_t> outside(n, 0);
  seedFill(walls.data(), 0.0f, 0.0f, seedX.data(), seedY.data(), static_cast<int>(seedX.size()), width_, height_,
           outside.data(), 1, 0);
  std::vector<uint8_t> area(n, 0);
  for (std::size_t i = 0; i < n; ++i) area[i] = outside[i] ? 0 : 255;
  return area;
}

float LiveWire::directionCost(int x, int y, int k) const {
  if (x < 1 || y < 1 || x >= width_ - 1 || y >= height_ - 1) return 0.0f;
  const std::size_t p = index(x, y), q = index(x + kDx[k], y + kDy[k]);
  return linkCost(ux_[p], uy_[p], ux_[q], uy_[q], Link(k));
}

int commitLiveWire(SliceEdit& s, const LiveWire& wire) {
  if (!wire.closed() || !s.labels || !s.selection || s.width != wire.width() || s.height != wire.height()) return 0;
  const std::vector<uint8_t> area = wire.enclosedArea();
  if (s.currentLabel == kSelectionLabel) {
    for (std::size_t i = 0; i < area.size(); ++i)
      if (area[i]) s.selection[i] = 255;
    return 3;
  }
  const bool chosen = !wire.inObject() && s.isTableLabel(s.currentLabel);
  const uint8_t value = wire.inObject() ? wire.objectValue() : chosen ? static_cast<uint8_t>(s.currentLabel) : 1;
  for (std::size_t i = 0; i < area.size(); ++i)
    if (area[i] && (chosen || s.labels[i] == 0 || s.labels[i] == s.currentLabel)) s.labels[i] = value;
  return 1;
}

}  // namespace morvex
