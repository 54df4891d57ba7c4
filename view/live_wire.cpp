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

// Dial's bucket queue over pixel indices. A pixel with cost c waits in bucket c & (B - 1), inserted
// at the head of a doubly linked list, so equal costs leave last-in first. The buckets hold only
// costs inside the window [lo, lo + B); a step can cost more than B (the segment penalty), so
// entries beyond the window wait in an overflow list that refills the buckets once they run dry.
// Without it a cost wrapping round the ring would be taken ahead of cheaper ones.
class BucketQueue {
 public:
  // The lists live in the engine's storage and are reused from tree to tree: a drained queue
  // leaves every bucket empty, so only the pixel states need clearing.
  BucketQueue(LiveWire::QueueStorage& storage, std::size_t pixels, const std::vector<int64_t>& cost)
      : cost_(cost), head_(storage.head), next_(storage.next), prev_(storage.prev), where_(storage.state) {
    if (head_.size() != static_cast<std::size_t>(LiveWire::kBucketCount) || next_.size() != pixels) {
      head_.assign(LiveWire::kBucketCount, -1);
      next_.assign(pixels, -1);
      prev_.assign(pixels, -1);
    }
    where_.assign(pixels, kNone);
  }
  ~BucketQueue() {
    // a tree left before the queue drained must not leave stale lists behind
    if (inBuckets_ > 0 || far_ >= 0) std::fill(head_.begin(), head_.end(), -1);
  }

  bool queued(int i) const {
    const uint8_t w = where_[static_cast<std::size_t>(i)];
    return w == kBucket || w == kFar;
  }
  bool expanded(int i) const { return where_[static_cast<std::size_t>(i)] == kExpanded; }

  void push(int i) {
    const int64_t c = cost_[static_cast<std::size_t>(i)];
    if (c < lo_ + LiveWire::kBucketCount) {
      link(i, head_[static_cast<std::size_t>(c & kMask)], kBucket);
      ++inBuckets_;
    } else {
      link(i, far_, kFar);
    }
  }

  void remove(int i) {
    const std::size_t u = static_cast<std::size_t>(i);
    int& listHead = where_[u] == kFar ? far_ : head_[static_cast<std::size_t>(cost_[u] & kMask)];
    if (where_[u] == kBucket) --inBuckets_;
    if (prev_[u] >= 0) next_[static_cast<std::size_t>(prev_[u])] = next_[u];
    else listHead = next_[u];
    if (next_[u] >= 0) prev_[static_cast<std::size_t>(next_[u])] = prev_[u];
    where_[u] = kNone;
  }

  // The cheapest queued pixel, taken out of the queue and marked expanded; -1 when none is left.
  int pop() {
    if (inBuckets_ == 0 && !refill()) return -1;
    for (int64_t b = current_ & kMask;; b = (b + 1) & kMask) {
      const int i = head_[static_cast<std::size_t>(b)];
      if (i < 0) continue;
      current_ = cost_[static_cast<std::size_t>(i)];
      remove(i);
      where_[static_cast<std::size_t>(i)] = kExpanded;
      return i;
    }
  }

 private:
  static constexpr uint8_t kNone = 0, kBucket = 1, kFar = 2, kExpanded = 3;
  static constexpr int64_t kMask = LiveWire::kBucketCount - 1;

  void link(int i, int& listHead, uint8_t where) {
    const std::size_t u = static_cast<std::size_t>(i);
    prev_[u] = -1;
    next_[u] = listHead;
    if (listHead >= 0) prev_[static_cast<std::size_t>(listHead)] = i;
    listHead = i;
    where_[u] = where;
  }

  // Moves the overflow entries of the next window into the buckets; false when none is left.
  bool refill() {
    if (far_ < 0) return false;
    int64_t lowest = std::numeric_limits<int64_t>::max();
    for (int i = far_; i >= 0; i = next_[static_cast<std::size_t>(i)])
      lowest = std::min(lowest, cost_[static_cast<std::size_t>(i)]);
    lo_ = current_ = lowest;
    for (int i = far_; i >= 0;) {
      const int following = next_[static_cast<std::size_t>(i)];
      if (cost_[static_cast<std::size_t>(i)] < lo_ + LiveWire::kBucketCount) {
        remove(i);
        push(i);
      }
      i = following;
    }
    return true;
  }

  const std::vector<int64_t>& cost_;
  std::vector<int32_t>& head_;
  std::vector<int32_t>& next_;
  std::vector<int32_t>& prev_;
  std::vector<uint8_t>& where_;
  int far_ = -1;
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

// Direction cost of every interior pixel's 8 links: how far the link turns away from the edge
// direction (perpendicular to the gradient) at both of its ends, 0 ... about 1333. The step from p
// to its neighbour k is charged the cost of that very link, p's entry k.
void directionCostMap(const std::vector<float>& gx, const std::vector<float>& gy, int w, int h, std::vector<float>& cost) {
  const std::size_t n = gx.size();
  std::vector<float> ux(n, 0.0f), uy(n, 0.0f);
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      const float len = std::sqrt(gx[i] * gx[i] + gy[i] * gy[i]) + 0.0001f;
      ux[i] = gx[i] / len;
      uy[i] = gy[i] / len;
    }
  cost.assign(n * LiveWire::kDirections, 0.0f);
  constexpr double kFactor = 0.21220663493753059;  // 2 / (3 pi)
  // acos (|error| < 7e-5 rad, 0.015 cost units); a rounded dot product slightly beyond +-1 is clamped
  auto angle = [](float d) {
    const float a = std::min(std::fabs(d), 1.0f);
    const float r = std::sqrt(1.0f - a) * (1.5707288f + a * (-0.2121144f + a * (0.0742610f - 0.0187293f * a)));
    return d < 0.0f ? 3.14159265f - r : r;
  };
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x) {
      const std::size_t p = static_cast<std::size_t>(y) * w + x;
      for (int k = 0; k < LiveWire::kDirections; ++k) {
        const std::size_t q = static_cast<std::size_t>(y + kDy[k]) * w + (x + kDx[k]);
        const float norm = 1.0f / std::sqrt(static_cast<float>(kDx[k] * kDx[k] + kDy[k] * kDy[k]));
        // the link is oriented along the edge direction at p, so that it agrees with it
        const float s = uy[p] * static_cast<float>(kDx[k]) - ux[p] * static_cast<float>(kDy[k]);
        const float sign = s >= 0.0f ? 1.0f : -1.0f;
        const float lx = sign * static_cast<float>(kDx[k]) * norm, ly = sign * static_cast<float>(kDy[k]) * norm;
        const float dp = lx * uy[p] - ly * ux[p];
        const float dq = lx * uy[q] - ly * ux[q];
        cost[p * LiveWire::kDirections + static_cast<std::size_t>(k)] =
            static_cast<float>((angle(dp) + angle(dq)) * kFactor * 1000.0);
      }
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

void LiveWire::CalculateCostFunction() {
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
  // gradient direction
  t = std::clock();
  directionCostMap(gx, gy, width_, height_, directionCost_);
  const double direction = secondsSince(t);
  std::printf("Gradient Direction computation time = %g\n", direction);
  std::printf("Total cost computation time = %g\n", canny + gradient + direction);
  // the part of a step's cost that belongs to the pixel entered
  nodeCost_.resize(n);
  for (std::size_t i = 0; i < n; ++i) nodeCost_[i] = 5.0f * edgeCost_[i] + 2.5f * static_cast<float>(gradientCost_[i]);
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
  const float base[8] = {1300.0f, 1000.0f, 1300.0f, 1000.0f, 1000.0f, 1300.0f, 1000.0f, 1300.0f};
  const bool anySegment = !segments_.empty();
  const int offset[8] = {-width_ - 1, -width_, -width_ + 1, -1, 1, width_ - 1, width_, width_ + 1};
  for (int p = queue.pop(); p >= 0; p = queue.pop()) {
    const std::size_t up = static_cast<std::size_t>(p);
    const int y = p / width_, x = p - y * width_;
    if (!traceable(x, y)) continue;
    const float* links = &directionCost_[up * kDirections];
    for (int k = 0; k < kDirections; ++k) {
      const int qi = p + offset[k];
      const std::size_t q = static_cast<std::size_t>(qi);
      if (queue.expanded(qi)) continue;
      const float step = nodeCost_[q] + 3.0f * links[k] + base[k];
      int64_t cost = totalCost_[up] + static_cast<int64_t>(step);
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
