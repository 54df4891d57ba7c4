#include "analysis/vessel_segmentation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "segmentation/mask_utils.h"

namespace morvex {

namespace {

std::size_t pixelCount(int width, int height) {
  return static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
}

// Marks of the square filter: row by row, whether the window [x - r, x + r] of a centre row
// holds any (dilation) or only (erosion) marked pixels, then the same down the columns.
// centre(i) tells whether pixel i takes part; the result is 255 / 0.
template <typename Pick>
void squareFilter(int16_t* mask, int width, int height, int k, bool any, Pick pick) {
  const std::size_t n = pixelCount(width, height);
  if (!mask || n == 0 || k < 1) return;
  const int r = k / 2;
  std::vector<uint8_t> marked(n), rows(n, 0);
  for (std::size_t i = 0; i < n; ++i) marked[i] = pick(mask, i) ? 1 : 0;
  // horizontal pass: running count of marked pixels in the window of each x
  for (int y = 0; y < height; ++y) {
    const uint8_t* m = marked.data() + static_cast<std::size_t>(y) * width;
    uint8_t* out = rows.data() + static_cast<std::size_t>(y) * width;
    int count = 0;
    for (int x = 0; x < std::min(r, width); ++x) count += m[x];
    for (int x = 0; x < width; ++x) {
      if (x + r < width) count += m[x + r];
      if (x - r - 1 >= 0) count -= m[x - r - 1];
      const int span = std::min(x + r, width - 1) - std::max(x - r, 0) + 1;
      out[x] = any ? count > 0 : count == span;
    }
  }
  // vertical pass into the mask
  std::vector<int> count(static_cast<std::size_t>(width), 0);
  for (int y = 0; y < std::min(r, height); ++y)
    for (int x = 0; x < width; ++x) count[x] += rows[static_cast<std::size_t>(y) * width + x];
  for (int y = 0; y < height; ++y) {
    const int span = std::min(y + r, height - 1) - std::max(y - r, 0) + 1;
    for (int x = 0; x < width; ++x) {
      if (y + r < height) count[x] += rows[static_cast<std::size_t>(y + r) * width + x];
      if (y - r - 1 >= 0) count[x] -= rows[static_cast<std::size_t>(y - r - 1) * width + x];
      mask[static_cast<std::size_t>(y) * width + x] = (any ? count[x] > 0 : count[x] == span) ? 255 : 0;
    }
  }
}

bool isCentre(int x, int y, int width, int height, int r) {
  return x >= r && x < width - r && y >= r && y < height - r;
}

// Scratch images of one slice, reused from slice to slice.
struct SliceWork {
  std::vector<int16_t> seedX, seedY;
  std::vector<uint8_t> outside, distance;
  std::vector<int16_t> region;
};

// Seeds of a propagated slice: the previous region inside the liver of this slice, less its rim
// (pixels closer than shrink steps to the region's outside), in row-major order. The distances are
// taken on the region's bounding box grown by one pixel (clipped to the slice): its ring is
// outside, so every inside pixel's nearest outside pixel lies in the box and the distances equal
// those over the whole slice.
void propagatedSeeds(const int16_t* previous, const uint8_t* liver, int width, int height, int shrink,
                     SliceWork& w) {
  w.seedX.clear();
  w.seedY.clear();
  int x0 = width, y0 = height, x1 = -1, y1 = -1;
  for (int y = 0; y < height; ++y) {
    const int16_t* p = previous + static_cast<std::size_t>(y) * width;
    const uint8_t* l = liver + static_cast<std::size_t>(y) * width;
    unsigned any = 0;  // branch-free, so that the scan of an empty row vectorises
    for (int x = 0; x < width; ++x) any |= static_cast<unsigned>(p[x] != 0) & static_cast<unsigned>(l[x] != 0);
    if (!any) continue;
    for (int x = 0; x < width; ++x)
      if (p[x] != 0 && l[x] != 0) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
      }
    y0 = std::min(y0, y);
    y1 = y;
  }
  if (x1 < 0) return;
  x0 = std::max(x0 - 1, 0);
  y0 = std::max(y0 - 1, 0);
  x1 = std::min(x1 + 1, width - 1);
  y1 = std::min(y1 + 1, height - 1);
  const int bw = x1 - x0 + 1, bh = y1 - y0 + 1;
  w.outside.resize(pixelCount(bw, bh));
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x) {
      const std::size_t i = static_cast<std::size_t>(y + y0) * width + (x + x0);
      w.outside[static_cast<std::size_t>(y) * bw + x] = previous[i] != 0 && liver[i] != 0 ? 0 : 255;
    }
  chessboardDistance(w.outside.data(), bw, bh, 15, w.distance);
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * bw + x;
      if (w.outside[i] != 0 || w.distance[i] < shrink) continue;
      w.seedX.push_back(static_cast<int16_t>(x + x0));
      w.seedY.push_back(static_cast<int16_t>(y + y0));
    }
}

// Fills from the seeds of w with [lo, hi] into w.region (value filled / 0), kept inside the liver.
void fillInsideLiver(const int16_t* image, const uint8_t* liver, int width, int height, float lo, float hi,
                     int16_t filled, SliceWork& w) {
  const std::size_t n = pixelCount(width, height);
  w.region.resize(n);
  seedFill(image, lo, hi, w.seedX.data(), w.seedY.data(), static_cast<int>(w.seedX.size()), width, height,
           w.region.data(), filled, 0);
  int16_t* r = w.region.data();
  for (std::size_t i = 0; i < n; ++i) r[i] = liver[i] != 0 ? r[i] : int16_t{0};
}

void addTo(std::vector<int16_t>& unionSlice, const std::vector<int16_t>& region) {
  int16_t* u = unionSlice.data();
  const int16_t* r = region.data();
  for (std::size_t i = 0; i < region.size(); ++i) u[i] = r[i] != 0 ? int16_t{255} : u[i];
}

struct Growth {
  const int16_t* const* image;
  const uint8_t* const* liver;
  int width, height, n;
  const VesselTolerances& tol;
  std::vector<std::vector<int16_t>>& unionVolume;
  std::vector<VesselWindow>* windows;
  // called before every propagated slice; false stops the run
  const std::function<bool()>& goOn;
};

// One direction of the propagation from seed slice s (step +1 upward, -1 downward), starting
// from the seed slice's region. Ends at the series' end or when no seed survives.
void propagate(const Growth& g, int s, int step, const std::vector<int16_t>& seedRegion, SliceWork& w) {
  std::vector<int16_t> previous = seedRegion;
  double sum = 0.0;
  long long count = 0;
  for (int k = s + step; k >= 0 && k < g.n; k += step) {
    if (!g.goOn()) return;
    const int prev = k - step;
    propagatedSeeds(previous.data(), g.liver[k], g.width, g.height, g.tol.shrink, w);
    const std::size_t seeds = w.seedX.size();
    if (seeds == 0) return;  // an empty region seeds nothing further along
    double previousSum = 0.0, c = 0.0;
    for (std::size_t i = 0; i < seeds; ++i) {
      const std::size_t p = static_cast<std::size_t>(w.seedY[i]) * g.width + w.seedX[i];
      previousSum += g.image[prev][p];
      c += g.image[k][p];
    }
    const float m = static_cast<float>(previousSum / static_cast<double>(seeds));
    float hi = 2.0f * m, lo = (1.0f - g.tol.extension) * m;
    if (lo > hi) {  // a negative mean: the window turns round
      const float oldLo = lo;
      lo = static_cast<float>(static_cast<int16_t>(std::clamp(hi, -32768.0f, 32767.0f)));
      hi = oldLo;
    }
    sum += c;
    count += static_cast<long long>(seeds);
    // the running mean of the direction (this slice's seeds counted twice) raises the floor
    if (sum / static_cast<double>(count) > lo)
      lo = static_cast<float>((sum + c) / static_cast<double>(count + static_cast<long long>(seeds)));
    fillInsideLiver(g.image[k], g.liver[k], g.width, g.height, lo, hi, 2, w);
    if (g.windows) g.windows->push_back({s, k, lo, hi, static_cast<int>(seeds)});
    addTo(g.unionVolume[static_cast<std::size_t>(k)], w.region);
    previous.swap(w.region);
  }
}

}  // namespace

void chessboardDistance(const uint8_t* image, int width, int height, int cap, std::vector<uint8_t>& out) {
  const std::size_t n = pixelCount(width, height);
  out.assign(n, 0);
  if (!image || n == 0) return;
  const int c = std::clamp(cap, 0, 255);
  std::vector<int> d(n);
  const int far = width + height + c + 1;
  for (std::size_t i = 0; i < n; ++i) d[i] = image[i] != 0 ? 0 : far;
  auto at = [&](int x, int y) -> int& { return d[static_cast<std::size_t>(y) * width + x]; };
  // forward pass: left, upper left, upper, upper right
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int& v = at(x, y);
      if (v == 0) continue;
      if (x > 0) v = std::min(v, at(x - 1, y) + 1);
      if (y > 0) {
        v = std::min(v, at(x, y - 1) + 1);
        if (x > 0) v = std::min(v, at(x - 1, y - 1) + 1);
        if (x + 1 < width) v = std::min(v, at(x + 1, y - 1) + 1);
      }
    }
  // backward pass: right, lower right, lower, lower left
  for (int y = height - 1; y >= 0; --y)
    for (int x = width - 1; x >= 0; --x) {
      int& v = at(x, y);
      if (v == 0) continue;
      if (x + 1 < width) v = std::min(v, at(x + 1, y) + 1);
      if (y + 1 < height) {
        v = std::min(v, at(x, y + 1) + 1);
        if (x + 1 < width) v = std::min(v, at(x + 1, y + 1) + 1);
        if (x > 0) v = std::min(v, at(x - 1, y + 1) + 1);
      }
    }
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(std::min(d[i], c));
}

void dilateSquare(int16_t* mask, int width, int height, int k) {
  const int r = k / 2;
  squareFilter(mask, width, height, k, true, [&](const int16_t* m, std::size_t i) {
    const int x = static_cast<int>(i % static_cast<std::size_t>(width)), y = static_cast<int>(i / static_cast<std::size_t>(width));
    return m[i] != 0 && isCentre(x, y, width, height, r);
  });
}

void erodeSquare(int16_t* mask, int width, int height, int k) {
  const std::size_t n = pixelCount(width, height);
  if (!mask || n == 0 || k < 1) return;
  const int r = k / 2;
  squareFilter(mask, width, height, k, false, [](const int16_t* m, std::size_t i) { return m[i] != 0; });
  // only centres keep a value
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (!isCentre(x, y, width, height, r)) mask[static_cast<std::size_t>(y) * width + x] = 0;
}

bool segmentVessels(const int16_t* const* intensities, const uint8_t* const* liver, const uint8_t* const* seeds,
                    int width, int height, int n, std::vector<std::vector<uint8_t>>& result,
                    const VesselTolerances& tolerances, const std::function<void(int)>& progress,
                    std::vector<VesselWindow>* windows, const std::function<bool()>& cancelled) {
  const std::size_t pixels = pixelCount(width, height);
  result.assign(static_cast<std::size_t>(std::max(n, 0)), std::vector<uint8_t>(pixels, 0));
  if (!intensities || !liver || !seeds || pixels == 0 || n <= 0 || width > 32767 || height > 32767) return true;
  for (int k = 0; k < n; ++k)
    if (!intensities[k] || !liver[k] || !seeds[k]) return true;

  // seed slices: slices with a seed inside the liver
  std::vector<int> seedSlices;
  for (int k = 0; k < n; ++k)
    for (std::size_t i = 0; i < pixels; ++i)
      if (seeds[k][i] != 0 && liver[k][i] != 0) {
        seedSlices.push_back(k);
        break;
      }

  std::vector<std::vector<int16_t>> unionVolume(static_cast<std::size_t>(n), std::vector<int16_t>(pixels, 0));
  // Progress counts grown slices: each seed slice may grow through the whole series, and the
  // closing at the end counts as one more series.
  const long long units = static_cast<long long>(seedSlices.size() + 1) * n;
  long long unitsDone = 0;
  int reported = -1;
  auto report = [&](long long doneNow) {
    const int percent = static_cast<int>(std::min<long long>(100, doneNow * 100 / std::max(units, 1LL)));
    if (progress && percent > reported) progress(reported = percent);
  };
  bool stopped = false;
  long long grown = 0;
  const std::function<bool()> goOn = [&]() {
    report(unitsDone + ++grown);
    stopped = stopped || (cancelled && cancelled());
    return !stopped;
  };
  const Growth g{intensities, liver, width, height, n, tolerances, unionVolume, windows, goOn};
  SliceWork w;
  for (const int s : seedSlices) {
    grown = 0;
    if (!goOn()) break;
    // the seed slice: a window of +-|mean * p1| around the mean of the seeds
    w.seedX.clear();
    w.seedY.clear();
    double sum = 0.0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * width + x;
        if (seeds[s][i] == 0 || liver[s][i] == 0) continue;
        w.seedX.push_back(static_cast<int16_t>(x));
        w.seedY.push_back(static_cast<int16_t>(y));
        sum += intensities[s][i];
      }
    const float mean = static_cast<float>(sum / static_cast<double>(w.seedX.size()));
    const float half = std::fabs(mean * tolerances.initial);
    fillInsideLiver(intensities[s], liver[s], width, height, mean - half, mean + half, 1, w);
    if (windows) windows->push_back({s, s, mean - half, mean + half, static_cast<int>(w.seedX.size())});
    addTo(unionVolume[static_cast<std::size_t>(s)], w.region);
    const std::vector<int16_t> seedRegion = w.region;
    propagate(g, s, +1, seedRegion, w);
    propagate(g, s, -1, seedRegion, w);
    unitsDone += n;
    report(unitsDone);
  }
  if (stopped) {
    result.assign(static_cast<std::size_t>(n), std::vector<uint8_t>(pixels, 0));
    return false;
  }

  // a closing of each slice (the one-pixel border ring ends up empty); what the closing adds
  // outside the liver (a tumour, a notch of the outline) is not vessel and is left alone
  for (int k = 0; k < n; ++k) {
    std::vector<int16_t>& u = unionVolume[static_cast<std::size_t>(k)];
    if (std::none_of(u.begin(), u.end(), [](int16_t v) { return v != 0; })) continue;
    dilateSquare(u.data(), width, height, 3);
    erodeSquare(u.data(), width, height, 3);
    std::vector<uint8_t>& r = result[static_cast<std::size_t>(k)];
    for (std::size_t i = 0; i < pixels; ++i) r[i] = u[i] != 0 && liver[k][i] != 0 ? 255 : 0;
  }
  report(units);
  return true;
}

}  // namespace morvex
