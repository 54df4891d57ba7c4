#include "segmentation/liver_segmenter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <mutex>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "segmentation/level_set.h"
#include <string>
#include "segmentation/mask_utils.h"

#include <opencv2/imgproc.hpp>

namespace morvex {

namespace {

using Image = std::vector<int16_t>;

// The nets. A propagated slice larger than this share of the previous one is taken for a leak.
constexpr double kMaxGrowthPercent = 150.0;
// Neighbouring slices of one organ overlap: most of a result outside the previous result dilated
// by the margin has run into the tissue beside the liver.
constexpr double kMaxOutsideShare = 0.5;
constexpr double kRetryMarginMm = 5.0;
// The liver keeps its intensity from slice to slice; the heart over the dome, the diaphragm and
// muscle lie 10 to 20 HU off. Half the seed liver's interquartile range, at least 5 HU.
constexpr double kIntensityIqrShare = 0.5;
constexpr double kMinIntensityBoundHU = 5.0;
// A piece cut off from the result is kept within a quarter of the IQR (at least 5 HU).
constexpr double kPieceIqrShare = 0.25;
// The retry grows only through intensities within median +- this many IQRs (+ 5 HU).
constexpr double kFenceIqr = 2.0;


// A propagation run allocates and frees some twenty W x H work images. Handing that memory back
// to the system after every image and faulting it in again cost as much as the computation, so
// freed memory up to 128 MB stays in the heap (and blocks up to 32 MB come from it) for the process.
void keepWorkMemory() {
#if defined(__GLIBC__)
  static std::once_flag once;
  std::call_once(once, [] {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
  });
#endif
}

std::size_t idx(int x, int y, int w) { return static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + x; }

long countNonzero(const Image& img) {
  return static_cast<long>(std::count_if(img.begin(), img.end(), [](int16_t v) { return v != 0; }));
}

Image fillInt(const Image& src, int lo, int hi, const std::vector<int16_t>& sx, const std::vector<int16_t>& sy, int w,
              int h, int16_t filled, int16_t other) {
  Image out(src.size());
  seedFillInt(src.data(), lo, hi, sx.data(), sy.data(), static_cast<int>(sx.size()), w, h, out.data(), filled, other);
  return out;
}


Image dilate(const Image& img, int s, int w, int h) {
  const int half = s / 2;
  Image out(img.size(), 0);
  for (int y = half; y < h - half; ++y)
    for (int x = half; x < w - half; ++x) {
      if (!img[idx(x, y, w)]) continue;
      for (int yy = y - half; yy <= y + half; ++yy)
        for (int xx = x - half; xx <= x + half; ++xx) out[idx(xx, yy, w)] = 255;
    }
  return out;
}

Image erode(const Image& img, int s, int w, int h) {
  const int half = s / 2;
  Image out(img.size(), 0);
  for (int y = half; y < h - half; ++y)
    for (int x = half; x < w - half; ++x) {
      bool all = true;
      for (int yy = y - half; yy <= y + half && all; ++yy)
        for (int xx = x - half; xx <= x + half && all; ++xx) all = img[idx(xx, yy, w)] != 0;
      out[idx(x, y, w)] = all ? 255 : 0;
    }
  return out;
}

// Integer local variation with radius r (mean of opposite differences, integer division by r).
Image localVariationInt(const Image& img, int w, int h, int r) {
  Image out(img.size(), 0);
  for (int y = r; y <= h - r - 1; ++y)
    for (int x = r; x <= w - r - 1; ++x) {
      long sum = 0;
      for (int i = 0; i < r; ++i)
        sum += std::abs(img[idx(x, y + i, w)] - img[idx(x, y - i, w)]) + std::abs(img[idx(x + i, y, w)] - img[idx(x - i, y, w)]);
      out[idx(x, y, w)] = static_cast<int16_t>(std::min<long>(sum / r, 32767));
    }
  return out;
}

// Chessboard distance from the nonzero pixels of a band, capped at cap.
Image chessboardDistance(const Image& band, int w, int h, int cap) {
  Image d(band.size(), static_cast<int16_t>(cap));
  std::vector<int> frontier;
  for (std::size_t i = 0; i < band.size(); ++i)
    if (band[i]) {
      d[i] = 0;
      frontier.push_back(static_cast<int>(i));
    }
  for (int level = 1; level < cap && !frontier.empty(); ++level) {
    std::vector<int> next;
    for (int i : frontier) {
      const int x = i % w, y = i / w;
      for (int yy = std::max(y - 1, 0); yy <= std::min(y + 1, h - 1); ++yy)
        for (int xx = std::max(x - 1, 0); xx <= std::min(x + 1, w - 1); ++xx) {
          int16_t& v = d[idx(xx, yy, w)];
          if (v > level) {
            v = static_cast<int16_t>(level);
            next.push_back(static_cast<int>(idx(xx, yy, w)));
          }
        }
    }
    frontier.swap(next);
  }
  return d;
}

void drawSegment(Image& img, int x0, int y0, int x1, int y1, int w) {
  const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + 1;
  std::vector<int> px(static_cast<std::size_t>(n)), py(static_cast<std::size_t>(n));
  int count = 0;
  getLinePoints(x0, y0, x1, y1, px.data(), py.data(), &count);
  img[idx(x0, y0, w)] = 255;
  img[idx(x1, y1, w)] = 255;
  for (int k = 0; k < count; ++k) img[idx(px[k], py[k], w)] = 255;
}

}  // namespace

// The background is seeded on the whole image border: a single seed inside the image would turn
// the whole slice into the region whenever the region covers that seed.
std::vector<int16_t> fillHoles(const std::vector<int16_t>& region, int hi, int w, int h) {
  std::vector<int16_t> sx, sy;
  borderSeeds(w, h, sx, sy);
  return fillInt(region, 0, hi, sx, sy, w, h, 0, 254);
}

void referenceCore(const Image& reference, int w, int h, Image& core, std::vector<int16_t>& seedX,
                   std::vector<int16_t>& seedY, int* depthOut) {
  const long n = countNonzero(reference);
  const bool wide = n > 10000;
  const int k = wide ? 20 : n <= 1000 ? 5 : n <= 3000 ? 7 : n <= 5000 ? 10 : 15;
  if (depthOut) *depthOut = k;
  std::vector<int> d(reference.size(), -100);
  std::vector<int> front;
  for (int y = 1; y <= h - 2; ++y)
    for (int x = 1; x <= w - 2; ++x) {
      const std::size_t i = idx(x, y, w);
      if (reference[i]) {
        d[i] = 100;
        continue;
      }
      bool touches = false;
      for (int yy = y - 1; yy <= y + 1 && !touches; ++yy)
        for (int xx = x - 1; xx <= x + 1 && !touches; ++xx) touches = reference[idx(xx, yy, w)] != 0;
      if (touches) {
        d[i] = 0;
        front.push_back(static_cast<int>(i));
      }
    }
  for (int level = 0; level < k; ++level) {
    std::vector<int> next;
    for (int i : front) {
      if (d[i] != level) continue;
      const int x = i % w, y = i / w;
      for (int yy = std::max(y - 1, 0); yy <= std::min(y + 1, h - 1); ++yy)
        for (int xx = std::max(x - 1, 0); xx <= std::min(x + 1, w - 1); ++xx) {
          const std::size_t q = idx(xx, yy, w);
          if (d[q] > level + 1 && reference[q]) {
            d[q] = level + 1;
            next.push_back(static_cast<int>(q));
          }
        }
    }
    front.swap(next);
  }
  core.assign(reference.size(), 0);
  seedX.clear();
  seedY.clear();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = d[idx(x, y, w)];
      if (wide ? v == k : v >= k) {
        seedX.push_back(static_cast<int16_t>(x));
        seedY.push_back(static_cast<int16_t>(y));
      }
      if (wide ? v > k + 2 : v >= k) core[idx(x, y, w)] = wide ? 255 : 254;
    }
}

std::vector<double> localVariation(const std::vector<double>& g, int w, int h, int r) {
  std::vector<double> out(g.size(), 0.0);
  if (r <= 0) return out;
  // Row by row, the terms i = 0 .. r - 1 are added to every pixel of the row in the same order
  // as a per-pixel loop would add them (so the sums are the same), but along the row.
  const std::size_t W = static_cast<std::size_t>(w);
  for (int y = r; y <= h - r - 1; ++y) {
    double* acc = &out[idx(0, y, w)];
    const double* row = &g[idx(0, y, w)];
    for (int i = 0; i < r; ++i) {
      const double* below = row + W * static_cast<std::size_t>(i);
      const double* above = row - W * static_cast<std::size_t>(i);
      for (int x = r; x <= w - r - 1; ++x)
        acc[x] += std::fabs(below[x] - above[x]) + std::fabs(row[x + i] - row[x - i]);
    }
    for (int x = r; x <= w - r - 1; ++x) acc[x] /= r;
  }
  return out;
}

void CLiverSegmenter::setInput(const int16_t* intensity, uint8_t* mask, int width, int height, uint8_t labelValue) {
  intensity_ = intensity;
  mask_ = mask;
  width_ = width;
  height_ = height;
  labelValue_ = labelValue;
  pixelCount_ = width * height;
  phi.assign(static_cast<std::size_t>(std::max(pixelCount_, 0)), 0.0f);
}

void CLiverSegmenter::setOption(int o) {
  option = o;
  shrinkLevel = -7;
  sigmoidAlpha = -0.5;
  sigmoidBeta = 3.0;
  refineSteps = 3;
  refineTimeStep = 0.15f;
  bridgeRadius = 10;
  switch (o) {
    case 0: fT = 0.7f; variationRadius = 10; refineBand = 6.0f; break;
    case 1: fT = 0.8f; variationRadius = 14; refineBand = 10.0f; break;
    case 2: fT = 0.6f; variationRadius = 7; refineBand = 6.0f; break;
    default: break;
  }
}

void CLiverSegmenter::run(RunKind kind) {
  if (!intensity_ || !mask_ || pixelCount_ <= 0) return;
  keepWorkMemory();
  std::vector<uint8_t> result(static_cast<std::size_t>(pixelCount_), 0);
  if (kind == RunKind::Seed)
    seedRun(result);
  else
    propagationRun(result);
  for (int i = 0; i < pixelCount_; ++i) mask_[i] = result[static_cast<std::size_t>(i)] ? labelValue_ : 0;
}

bool CLiverSegmenter::shrinkMask(int level) {
  if (!mask_ || phi.empty()) return false;
  const auto [mn, mx] = std::minmax_element(phi.begin(), phi.end());
  std::fprintf(log_, "shrinkMask(): MIN(%f) ~ MAX(%f)\n", static_cast<double>(*mn), static_cast<double>(*mx));
  const int cut = (option >= 0 && option <= 2) ? shrinkLevel : level;
  int set = 0;
  for (int i = 0; i < pixelCount_; ++i) {
    const bool in = phi[static_cast<std::size_t>(i)] <= static_cast<float>(cut);
    mask_[i] = in ? labelValue_ : 0;
    set += in;
  }
  return set >= 10;
}

bool CLiverSegmenter::referenceIsTip() const { return countNonzero(referenceMask) >= kMinTipPixels; }

void CLiverSegmenter::allocateReference() {
  referenceMask.assign(static_cast<std::size_t>(pixelCount_), 0);
  savedIntensity.assign(static_cast<std::size_t>(pixelCount_), 0);
  savedMask.assign(static_cast<std::size_t>(pixelCount_), 0);
}

void CLiverSegmenter::saveReference() {
  if (savedMask.size() != static_cast<std::size_t>(pixelCount_)) allocateReference();
  std::copy(intensity_, intensity_ + pixelCount_, savedIntensity.begin());
  std::copy(mask_, mask_ + pixelCount_, savedMask.begin());
  const IntensityProfile liver = intensityProfile(savedIntensity.data(), savedMask);
  liverMedian_ = liver.median;
  liverIqr_ = liver.iqr;
  liverCount_ = liver.count;
  referenceChanged = true;
}

void CLiverSegmenter::restoreReference() {
  referenceMask = savedMask;
  referenceChanged = true;
}

void CLiverSegmenter::seedRun(std::vector<uint8_t>& result) {
  const int w = width_, h = height_;
  std::vector<uint8_t> inside(static_cast<std::size_t>(pixelCount_));
  for (int i = 0; i < pixelCount_; ++i) inside[static_cast<std::size_t>(i)] = mask_[i] != 0;
  signedDistance(inside.data(), w, h, phi.data());
  const std::vector<float> g = edgeStopImage(intensity_, w, h);
  std::vector<float> other(phi.size());
  for (int t = 1; t <= iterations - 1; ++t) {
    levelSetStep(phi.data(), other.data(), g.data(), w, h, timeStep, 6.0f);
    phi.swap(other);
    if (t % 3 == 0)
      for (int r = 0; r < 5; ++r) {
        reinitialiseStep(phi.data(), other.data(), w, h, timeStep);
        phi.swap(other);
      }
  }
  for (int r = 0; r < 10; ++r) {
    reinitialiseStep(phi.data(), other.data(), w, h, timeStep);
    phi.swap(other);
  }
  for (int y = 1; y <= h - 2; ++y)
    for (int x = 1; x <= w - 2; ++x)
      if (phi[idx(x, y, w)] <= 0) result[idx(x, y, w)] = 255;
}

std::vector<int16_t> homogeneityMap(const int16_t* intensity_, int w, int h, int variationRadius, double sigmoidAlpha,
                                    double sigmoidBeta) {
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  if (n == 0) return {};
  const auto [mn, mx] = std::minmax_element(intensity_, intensity_ + n);
  std::vector<int> a(n), b(n);
  for (std::size_t i = 0; i < n; ++i) a[i] = *mx == *mn ? 0 : (intensity_[i] - *mn) * 255 / (*mx - *mn);
  // nonlinear diffusion: the flux of a difference d is floor(d / (1 + 0.0001 d^2) + 0.5); the new
  // value floor(I + sum / 8 + 0.5) is computed exactly in integers
  constexpr int kLut = 1024;
  static const std::vector<int> fluxLut = [] {
    std::vector<int> lut(2 * kLut + 1);
    for (int d = -kLut; d <= kLut; ++d)
      lut[static_cast<std::size_t>(d + kLut)] = static_cast<int>(std::floor(d / (1.0 + 0.0001 * d * d) + 0.5));
    return lut;
  }();
  auto flux = [&](int d) {
    return (d >= -kLut && d <= kLut) ? fluxLut[static_cast<std::size_t>(d + kLut)]
                                     : static_cast<int>(std::floor(d / (1.0 + 0.0001 * d * d) + 0.5));
  };
  for (int step = 0; step < 10; ++step) {
    for (int y = 0; y < h; ++y) {
      const int* row = &a[idx(0, y, w)];
      const int* up = y > 0 ? &a[idx(0, y - 1, w)] : row;
      const int* down = y < h - 1 ? &a[idx(0, y + 1, w)] : row;
      int* out = &b[idx(0, y, w)];
      auto update = [&](int x, int left, int right) {
        const int I = row[x];
        const int sum = flux(left - I) + flux(right - I) + flux(up[x] - I) + flux(down[x] - I);
        const int num = 8 * I + sum + 4;  // floor(num / 8)
        out[x] = num >= 0 ? num / 8 : -((-num + 7) / 8);
      };
      // a neighbour outside the image contributes no difference: it counts as the pixel itself
      update(0, row[0], w > 1 ? row[1] : row[0]);
      for (int x = 1; x < w - 1; ++x) update(x, row[x - 1], row[x + 1]);
      if (w > 1) update(w - 1, row[w - 2], row[w - 1]);
    }
    a.swap(b);
  }
  // 5 x 5 Gaussian, exp(-(dx^2 + dy^2) / 2) normalised: separable into two 5-tap passes
  double k1[5], total1 = 0;
  for (int d = -2; d <= 2; ++d) total1 += k1[d + 2] = std::exp(-(d * d) / 2.0);
  for (double& v : k1) v /= total1;
  std::vector<double> rows(n, 0.0), G(n, 0.0);
  for (int y = 0; y < h; ++y)
    for (int x = 2; x <= w - 3; ++x) {
      const int* r = &a[idx(x, y, w)];
      rows[idx(x, y, w)] = k1[0] * r[-2] + k1[1] * r[-1] + k1[2] * r[0] + k1[3] * r[1] + k1[4] * r[2];
    }
  for (int y = 2; y <= h - 3; ++y)
    for (int x = 2; x <= w - 3; ++x) {
      double s = 0;
      for (int dy = -2; dy <= 2; ++dy) s += k1[dy + 2] * rows[idx(x, y + dy, w)];
      G[idx(x, y, w)] = s;
    }
  const std::vector<double> v = localVariation(G, w, h, variationRadius);
  Image H(n);
  double lastV = std::numeric_limits<double>::quiet_NaN();
  int16_t lastH = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!(v[i] == lastV)) {  // flat areas repeat one value: the sigmoid is computed once for a run of it
      lastV = v[i];
      lastH = static_cast<int16_t>(std::floor(254.0 / (1.0 + std::exp(-(v[i] - sigmoidBeta) / sigmoidAlpha))));
    }
    H[i] = lastH;
  }
  return H;
}

std::vector<int16_t> bridgeAndClose(const Image& S, int w, int h, int R0) {
  const Image M = localVariationInt(S, w, h, 3);
  std::vector<std::pair<int, int>> ring;
  // the disc offsets of every row dy (row R0 + dy): a contiguous span -half .. half, or none
  std::vector<int> discHalf(static_cast<std::size_t>(2 * R0 + 1), -1);
  for (int dy = -R0; dy <= R0; ++dy)
    for (int dx = -R0; dx <= R0; ++dx) {
      const double len = std::sqrt(static_cast<double>(dx * dx + dy * dy));
      if (std::fabs(len - R0) < 0.5)
        ring.emplace_back(dx, dy);
      else if (len <= R0 - 0.5)
        discHalf[static_cast<std::size_t>(dy + R0)] = std::max(discHalf[static_cast<std::size_t>(dy + R0)], std::abs(dx));
    }
  int minX = w, minY = h, maxX = -1, maxY = -1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (S[idx(x, y, w)]) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
      }
  Image bridged = S;
  if (maxX < 0) return bridged;
  // summed-area table: a square around the disc with fewer than 5 pixels settles the count at once
  std::vector<int> sat(static_cast<std::size_t>(w + 1) * (h + 1), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      sat[idx(x + 1, y + 1, w + 1)] = (S[idx(x, y, w)] != 0) + sat[idx(x, y + 1, w + 1)] + sat[idx(x + 1, y, w + 1)] -
                                     sat[idx(x, y, w + 1)];
  auto squareCount = [&](int x0, int y0, int x1, int y1) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, w - 1);
    y1 = std::min(y1, h - 1);
    if (x0 > x1 || y0 > y1) return 0;
    return sat[idx(x1 + 1, y1 + 1, w + 1)] - sat[idx(x0, y1 + 1, w + 1)] - sat[idx(x1 + 1, y0, w + 1)] + sat[idx(x0, y0, w + 1)];
  };
  Image bridge(S.size(), 0);
  std::vector<std::pair<int, int>> points;
  for (int cy = std::max(minY - 2 * R0, 0); cy <= std::min(maxY + 2 * R0, h - 1); ++cy)
    for (int cx = std::max(minX - 2 * R0, 0); cx <= std::min(maxX + 2 * R0, w - 1); ++cx) {
      if (squareCount(cx - R0, cy - R0, cx + R0, cy + R0) >= 5) {
        int inDisc = 0;
        for (int dy = -R0; dy <= R0 && inDisc < 5; ++dy) {
          const int half = discHalf[static_cast<std::size_t>(dy + R0)];
          if (half >= 0) inDisc += squareCount(cx - half, cy + dy, cx + half, cy + dy);
        }
        if (inDisc >= 5) continue;
      }
      points.clear();
      for (const auto& [dx, dy] : ring) {
        const int x = cx + dx, y = cy + dy;
        if (x >= 0 && y >= 0 && x < w && y < h && S[idx(x, y, w)] && M[idx(x, y, w)]) points.emplace_back(x, y);
      }
      long best = 0;
      std::size_t bi = 0, bj = 0;
      for (std::size_t i = 0; i < points.size(); ++i)
        for (std::size_t j = 0; j < points.size(); ++j) {
          const long dx = points[i].first - points[j].first, dy = points[i].second - points[j].second;
          if (dx * dx + dy * dy > best) {
            best = dx * dx + dy * dy;
            bi = i;
            bj = j;
          }
        }
      if (best > 1) drawSegment(bridge, points[bi].first, points[bi].second, points[bj].first, points[bj].second, w);
    }
  for (std::size_t i = 0; i < bridged.size(); ++i)
    if (bridge[i]) bridged[i] = 255;
  return erode(fillHoles(dilate(bridged, 3, w, h), 127, w, h), 3, w, h);
}

int regionThreshold(float fT) { return static_cast<int>(std::floor(fT * 254)); }

std::vector<int16_t> edgeNetwork(const Image& H, int w, int h, int thr) {
  std::vector<int16_t> ex, ey;
  auto seed = [&](int x, int y) {
    ex.push_back(static_cast<int16_t>(x));
    ey.push_back(static_cast<int16_t>(y));
  };
  for (int x = 0; x < w; x += 10) {
    int run = 0;
    bool first = false, deep = false;
    for (int y = 1; y < h && !(first && deep); ++y) {
      if (H[idx(x, y, w)] < thr) {
        if (!first) seed(x, y);
        first = true;
        if (++run == 20 && !deep) {
          seed(x, y);
          deep = true;
        }
      } else {
        run = 0;
      }
    }
    run = 0;
    for (int y = h - 2; y >= 0; --y) {
      if (H[idx(x, y, w)] >= thr) {
        run = 0;
      } else if (++run == 10) {
        seed(x, y);
        break;
      }
    }
  }
  return fillInt(H, 0, thr, ex, ey, w, h, 254, 0);
}

std::vector<int16_t> growRegion(const Image& core, const std::vector<int16_t>& sx, const std::vector<int16_t>& sy,
                                const Image& E, int thr, int w, int h) {
  Image B(E.size());
  for (std::size_t i = 0; i < B.size(); ++i) B[i] = core[i] ? 0 : E[i];
  return fillHoles(fillInt(B, 0, thr, sx, sy, w, h, 254, 0), thr, w, h);
}

LeakCheck removeLeak(Image& P, const Image& Q, int w, int h) {
  LeakCheck c;
  const Image Qb = localVariationInt(Q, w, h, 3);
  const Image D = chessboardDistance(Qb, w, h, 7);
  const Image Pv = localVariationInt(P, w, h, 3);
  for (std::size_t i = 0; i < P.size(); ++i) c.far += Pv[i] != 0 && D[i] == 7;
  if (c.far > 200) {
    auto zeroAt = [&](int x, int y) { return x < 0 || y < 0 || x >= w || y >= h || P[idx(x, y, w)] == 0; };
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        if (!P[idx(x, y, w)] || !Q[idx(x, y, w)]) continue;
        if (zeroAt(x + 13, y) && zeroAt(x - 13, y) && zeroAt(x, y + 13) && zeroAt(x, y - 13) && zeroAt(x + 13, y + 13) &&
            zeroAt(x - 13, y - 13) && zeroAt(x + 13, y - 13) && zeroAt(x - 13, y + 13))
          ++c.thin;
      }
  }
  if (c.thin > 3) {
    Image L(P.size(), 0);
    for (std::size_t i = 0; i < P.size(); ++i) L[i] = (P[i] && !Q[i] && D[i] == 7) ? 255 : 0;
    L = dilate(erode(L, 3, w, h), 3, w, h);
    L = dilate(erode(L, 5, w, h), 5, w, h);
    L = dilate(dilate(dilate(L, 7, w, h), 7, w, h), 5, w, h);
    for (std::size_t i = 0; i < P.size(); ++i)
      if (L[i]) P[i] = 0;
  }
  return c;
}

long snapOutline(const int16_t* intensity, uint8_t* mask, int w, int h, uint8_t value, double median, double iqr,
                 long count) {
  if (!intensity || !mask || w < 3 || h < 3 || count <= 0) return 0;
  // the work area: the mask's bounding box and 3 pixels around (the 3 x 3 median of a pixel
  // beside the mask is then as on the whole slice)
  const cv::Mat whole(h, w, CV_8U, mask);
  const long before = cv::countNonZero(whole);
  if (before == 0) return 0;
  const cv::Rect box = cv::boundingRect(whole);
  const cv::Rect roi(cv::Point(std::max(0, box.x - 3), std::max(0, box.y - 3)),
                     cv::Point(std::min(w, box.x + box.width + 3), std::min(h, box.y + box.height + 3)));
  const cv::Mat m = whole(roi);
  cv::Mat hu, smooth;
  cv::Mat(h, w, CV_16S, const_cast<int16_t*>(intensity))(roi).convertTo(hu, CV_32F);
  cv::medianBlur(hu, smooth, 3);
  const double band = std::max(iqr, kSnapMinBandHU);
  cv::Mat in = m != 0;
  const cv::Mat liver = (smooth >= median - band) & (smooth <= median + band);
  // fat that the bridging closed into the region (a notch at the hilum, a fissure), reached from
  // outside the region through fat alone, leaves it
  const cv::Mat fat = in & (smooth < median - kSnapFatBands * band);
  if (cv::countNonZero(fat) > 0) {
    const cv::Mat outside = ~in;
    cv::Mat ids;
    const int count = cv::connectedComponents(outside | fat, ids, 4, CV_32S);
    std::vector<uint8_t> reached(static_cast<std::size_t>(count), 0);
    for (int y = 0; y < roi.height; ++y)
      for (int x = 0; x < roi.width; ++x)
        if (outside.at<uint8_t>(y, x)) reached[static_cast<std::size_t>(ids.at<int>(y, x))] = 1;
    for (int y = 0; y < roi.height; ++y)
      for (int x = 0; x < roi.width; ++x)
        if (fat.at<uint8_t>(y, x) && reached[static_cast<std::size_t>(ids.at<int>(y, x))]) in.at<uint8_t>(y, x) = 0;
  }
  // one pixel outwards onto the liver's intensities
  cv::Mat grown, inner;
  cv::dilate(in, grown, cv::Mat());
  grown = in | (grown & liver);
  // then the outline's pixels of fat taken off
  cv::erode(grown, inner, cv::Mat());
  grown &= ~(grown & ~inner & (smooth < median - band));
  for (int y = 0; y < roi.height; ++y)
    for (int x = 0; x < roi.width; ++x) mask[idx(x + roi.x, y + roi.y, w)] = grown.at<uint8_t>(y, x) ? value : 0;
  return static_cast<long>(cv::countNonZero(grown)) - before;
}

std::vector<int16_t> dilateRegion(const Image& region, int w, int h, int r) {
  const Image d = chessboardDistance(region, w, h, r + 1);
  Image out(region.size(), 0);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = d[i] <= r ? 255 : 0;
  return out;
}

const char* liverNetName(LiverNet net) {
  switch (net) {
    case LiverNet::GrowthGuard: return "growth guard";
    case LiverNet::Outside: return "outside net";
    case LiverNet::Intensity: return "intensity net";
    case LiverNet::None: break;
  }
  return "none";
}

IntensityProfile intensityProfile(const int16_t* intensity, const Image& region) {
  IntensityProfile p;
  std::vector<int16_t> v;
  for (std::size_t i = 0; i < region.size(); ++i)
    if (region[i]) v.push_back(intensity[i]);
  p.count = static_cast<long>(v.size());
  if (v.empty()) return p;
  auto at = [&](std::size_t k) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return static_cast<double>(v[k]);
  };
  const double q1 = at(v.size() / 4), q3 = at(v.size() * 3 / 4);
  p.median = at(v.size() / 2);
  p.iqr = q3 - q1;
  return p;
}

namespace {
// Why a net fired, with its numbers, for the log.
void logNet(std::FILE* log, LiverNet net, const Image& P, const Image& Q, const Image& nearQ, const int16_t* intensity,
            const IntensityProfile& liver) {
  const double p = static_cast<double>(countNonzero(P)), q = static_cast<double>(countNonzero(Q));
  long outside = 0;
  for (std::size_t i = 0; i < P.size(); ++i) outside += P[i] && !nearQ[i];
  switch (net) {
    case LiverNet::GrowthGuard: std::fprintf(log, "growth guard (%.0f %% of the previous)\t", 100.0 * p / q); break;
    case LiverNet::Outside: std::fprintf(log, "outside net (%.0f %% outside)\t", 100.0 * static_cast<double>(outside) / p); break;
    case LiverNet::Intensity:
      std::fprintf(log, "intensity net (median %.0f HU, liver %.0f +- %.0f HU)\t", intensityProfile(intensity, P).median,
                   liver.median, std::max(kIntensityIqrShare * liver.iqr, kMinIntensityBoundHU));
      break;
    case LiverNet::None: break;
  }
}
}  // namespace

LiverNet checkNets(const Image& P, const Image& Q, const Image& nearQ, const int16_t* intensity,
                   const IntensityProfile& liver) {
  const long p = countNonzero(P), q = countNonzero(Q);
  if (p == 0 || q == 0) return LiverNet::None;
  if (100.0 * static_cast<double>(p) / static_cast<double>(q) > kMaxGrowthPercent) return LiverNet::GrowthGuard;
  long outside = 0;
  for (std::size_t i = 0; i < P.size(); ++i) outside += P[i] && !nearQ[i];
  if (outside > p * kMaxOutsideShare) return LiverNet::Outside;
  if (liver.count > 0) {
    const double bound = std::max(kIntensityIqrShare * liver.iqr, kMinIntensityBoundHU);
    if (std::fabs(intensityProfile(intensity, P).median - liver.median) > bound) return LiverNet::Intensity;
  }
  return LiverNet::None;
}

std::vector<int16_t> CLiverSegmenter::refine(const Image& region, const Image& edges) {
  const int w = width_, h = height_;
  std::vector<uint8_t> inside(region.size());
  for (std::size_t i = 0; i < region.size(); ++i) inside[i] = region[i] != 0;
  signedDistance(inside.data(), w, h, phi.data());
  std::vector<float> g(edges.begin(), edges.end()), other(phi.size());
  for (int t = 1; t <= refineSteps - 1; ++t) {
    levelSetStep(phi.data(), other.data(), g.data(), w, h, refineTimeStep, refineBand);
    phi.swap(other);
    if (t % 3 == 0)
      for (int r = 0; r < 5; ++r) {
        reinitialiseStep(phi.data(), other.data(), w, h, refineTimeStep);
        phi.swap(other);
      }
  }
  for (int r = 0; r < 10; ++r) {
    reinitialiseStep(phi.data(), other.data(), w, h, refineTimeStep);
    phi.swap(other);
  }
  Image S(region.size(), 0);
  for (int y = 1; y <= h - 2; ++y)
    for (int x = 1; x <= w - 2; ++x)
      if (phi[idx(x, y, w)] <= 0) S[idx(x, y, w)] = 255;
  return fillHoles(S, 127, w, h);
}

std::vector<int16_t> CLiverSegmenter::grownResult(const Image& R, Image& E) {
  const int w = width_, h = height_;
  Image P = bridgeAndClose(refine(R, E), w, h, bridgeRadius);
  const LeakCheck leak = removeLeak(P, referenceMask, w, h);
  std::fprintf(log_, " %ld\t", leak.thin);
  if (leak.failed()) {
    std::fprintf(log_, "erase\t");
    Image R2 = R;
    for (std::size_t i = 0; i < P.size(); ++i)
      if (!P[i]) {
        E[i] = 255;
        R2[i] = 0;
      }
    P = bridgeAndClose(refine(R2, E), w, h, bridgeRadius);
  }
  return P;
}

// The growth again, kept inside the previous result dilated by the margin and to tissue whose
// intensity lies within the seed liver's fences; the edge network still bounds it.
std::vector<int16_t> CLiverSegmenter::confinedRetry(const Image& core, const std::vector<int16_t>& sx,
                                                    const std::vector<int16_t>& sy, const Image& E, int thr,
                                                    const Image& nearQ) {
  const int w = width_, h = height_;
  const int16_t* hu = intensity_;  // unsmoothed: smoothing would pull the tip's rim into the fat
  const double lo = liverMedian_ - kFenceIqr * liverIqr_ - kMinIntensityBoundHU;
  const double hi = liverMedian_ + kFenceIqr * liverIqr_ + kMinIntensityBoundHU;
  // blocked pixels join the edge network for the growth and leave it for the refinement, so that
  // neither step carries the region into them
  Image blocked = E, speed = E;
  for (std::size_t i = 0; i < blocked.size(); ++i)
    if (!nearQ[i] || (liverCount_ > 0 && (hu[i] < lo || hu[i] > hi))) {
      blocked[i] = 254;
      speed[i] = 0;
    }
  Image P = bridgeAndClose(refine(growRegion(core, sx, sy, blocked, thr, w, h), speed), w, h, bridgeRadius);
  for (std::size_t i = 0; i < P.size(); ++i)
    if (!nearQ[i]) P[i] = 0;
  return P;
}

// Pieces of the liver in this slice that the growth from the reference's core did not reach but that
// overlap the reference: the parts of the tissue of the liver's intensity cut off from the result.
// A piece is kept when it overlaps the reference, lies mostly within the reference dilated by the
// margin (the outside net) and has the liver's intensity (the intensity net, tighter for a piece);
// the growth guard then applies to the result with its pieces. A piece may reach beyond the
// reference: the dome's islands and the tip's pieces move outwards from slice to slice.
long CLiverSegmenter::addIslands(Image& P, const Image& Q, const Image& nearQ) {
  const int w = width_, h = height_;
  const double lo = liverMedian_ - kFenceIqr * liverIqr_ - kMinIntensityBoundHU;
  const double hi = liverMedian_ + kFenceIqr * liverIqr_ + kMinIntensityBoundHU;
  const double bound = std::max(kIntensityIqrShare * liverIqr_, kMinIntensityBoundHU);
  // The work area: the reference's margin and as much again around it four times over; a piece
  // reaching past it lies mostly outside the margin and fails the outside net anyway.
  int x0 = w, y0 = h, x1 = -1, y1 = -1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (nearQ[idx(x, y, w)]) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
      }
  if (x1 < 0) return 0;
  const int pad = 4 * std::max(1, static_cast<int>(std::lround(kRetryMarginMm / std::max(pixelSpacing, 0.05))));
  const cv::Rect roi(cv::Point(std::max(0, x0 - pad), std::max(0, y0 - pad)), cv::Point(std::min(w, x1 + pad + 1), std::min(h, y1 + pad + 1)));
  // the candidates: tissue outside the result whose 5 x 5 median lies within the intensity net's
  // bound of the seed liver (a piece too small for the homogeneity map's window is still seen).
  // Single pixels would pass anything near the liver's intensity (the heart, the diaphragm
  // between them): the median keeps a piece apart from the organs beside it.
  const Image touch = dilateRegion(P, w, h, 1);
  cv::Mat pieces(roi.height, roi.width, CV_8U, cv::Scalar(0)), ids, hu, smooth;
  cv::Mat(h, w, CV_16S, const_cast<int16_t*>(intensity_))(roi).convertTo(hu, CV_32F);
  cv::medianBlur(hu, smooth, 5);
  for (int y = 0; y < roi.height; ++y)
    for (int x = 0; x < roi.width; ++x) {
      const std::size_t i = idx(x + roi.x, y + roi.y, w);
      if (!P[i] && (liverCount_ == 0 || (intensity_[i] >= lo && intensity_[i] <= hi &&
                                         std::fabs(smooth.at<float>(y, x) - liverMedian_) <= bound)))
        pieces.at<uint8_t>(y, x) = 255;
    }
  const int count = cv::connectedComponents(pieces, ids, 8, CV_32S);
  std::vector<long> area(static_cast<std::size_t>(count), 0), onQ(area), touching(area), near(area), clipped(area);
  for (int y = 0; y < roi.height; ++y)
    for (int x = 0; x < roi.width; ++x) {
      const std::size_t c = static_cast<std::size_t>(ids.at<int>(y, x)), i = idx(x + roi.x, y + roi.y, w);
      if (!c) continue;
      ++area[c];
      onQ[c] += Q[i] != 0;
      near[c] += nearQ[i] != 0;
      touching[c] += touch[i] != 0;
      clipped[c] += (x == 0 && roi.x > 0) || (y == 0 && roi.y > 0) || (x == roi.width - 1 && roi.x + roi.width < w) ||
                    (y == roi.height - 1 && roi.y + roi.height < h);
    }
  // A piece has no outline joining it to the liver: its median must lie nearer the seed liver's
  // than a whole result's (the diaphragm over the dome passes the whole result's bound).
  const double pieceBound = std::max(kPieceIqrShare * liverIqr_, kMinIntensityBoundHU);
  std::vector<uint8_t> keep(static_cast<std::size_t>(count), 0);
  std::vector<std::vector<int16_t>> values(static_cast<std::size_t>(count));
  for (int c = 1; c < count; ++c) {
    // cut off: at most a tenth of it lies against the result (joined by the bridging, say); a
    // fringe the result missed along its outline lies against it all along and stays out
    const bool cutOff = 10 * touching[c] <= area[c];
    keep[c] = cutOff && !clipped[c] && area[c] >= kMinTipPixels / 2 && onQ[c] > 0 && near[c] >= area[c] * (1.0 - kMaxOutsideShare);
  }
  for (int y = 0; y < roi.height; ++y)
    for (int x = 0; x < roi.width; ++x) {
      const std::size_t c = static_cast<std::size_t>(ids.at<int>(y, x));
      if (keep[c]) values[c].push_back(intensity_[idx(x + roi.x, y + roi.y, w)]);
    }
  long added = 0;
  for (int c = 1; c < count; ++c) {
    if (!keep[c]) continue;
    std::vector<int16_t>& v = values[static_cast<std::size_t>(c)];
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    keep[c] = liverCount_ == 0 || std::fabs(v[v.size() / 2] - liverMedian_) <= pieceBound;
    if (keep[c]) added += area[c];
  }
  if (added == 0) return 0;
  if (100.0 * static_cast<double>(countNonzero(P) + added) / static_cast<double>(std::max(countNonzero(Q), 1L)) > kMaxGrowthPercent)
    return 0;
  for (int y = 0; y < roi.height; ++y)
    for (int x = 0; x < roi.width; ++x)
      if (keep[static_cast<std::size_t>(ids.at<int>(y, x))]) P[idx(x + roi.x, y + roi.y, w)] = 255;
  std::fprintf(log_, "pieces +%ld\t", added);
  return added;
}

void CLiverSegmenter::propagationRun(std::vector<uint8_t>& result) {
  const int w = width_, h = height_;
  if (referenceMask.size() != static_cast<std::size_t>(pixelCount_)) referenceMask.assign(static_cast<std::size_t>(pixelCount_), 0);
  lastNets_.clear();
  // 1. core seeds from the reference
  Image core;
  std::vector<int16_t> sx, sy;
  referenceCore(referenceMask, w, h, core, sx, sy, nullptr);
  // 2. threshold
  const int thr = regionThreshold(fT);
  if (referenceChanged) {
    std::fprintf(log_, "final fT = %0.3f\n", static_cast<double>(fT));
    referenceChanged = false;
  }
  // 3. homogeneity, 4. edge network, 5. growth, 6. refinement, 7. bridging, 8. leak check
  const Image& Q = referenceMask;
  const long q = countNonzero(Q);
  Image E = edgeNetwork(homogeneityMap(intensity_, w, h, variationRadius, sigmoidAlpha, sigmoidBeta), w, h, thr);
  const Image E0 = E;
  const IntensityProfile liver{liverMedian_, liverIqr_, liverCount_};
  const int margin = std::max(1, static_cast<int>(std::lround(kRetryMarginMm / std::max(pixelSpacing, 0.05))));
  const Image nearQ = dilateRegion(Q, w, h, margin);
  // A reference too thin for core seeds (the liver's tip) is followed by the confined growth alone.
  const bool tip = sx.empty() && q >= kMinTipPixels;
  if (tip) {
    std::fill(core.begin(), core.end(), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (Q[idx(x, y, w)]) {
          sx.push_back(static_cast<int16_t>(x));
          sy.push_back(static_cast<int16_t>(y));
        }
  }
  Image P = tip ? Image(Q.size(), 0) : grownResult(growRegion(core, sx, sy, E, thr, w, h), E);
  // 9. size check
  const long p = countNonzero(P);
  const double ratio = q ? 100.0 * static_cast<double>(p) / static_cast<double>(q) : 0.0;
  std::fprintf(log_, ratio >= 80 && ratio <= 120 ? "%0.3f good res\t" : "%0.3f bad res\t", ratio);
  // The nets: a result that has stopped being liver is retried once inside the previous result
  // dilated by a few millimetres; when the retry fails too the slice is dropped and the pass ends.
  LiverNet net = tip ? LiverNet::None : checkNets(P, Q, nearQ, intensity_, liver);
  if (tip || net != LiverNet::None) {
    lastNets_ = tip ? "thin reference" : liverNetName(net);
    if (tip)
      std::fprintf(log_, "thin reference (%ld pixels)\t", q);
    else
      logNet(log_, net, P, Q, nearQ, intensity_, liver);
    std::fprintf(log_, "confined retry\t");
    P = confinedRetry(core, sx, sy, E0, thr, nearQ);
    net = checkNets(P, Q, nearQ, intensity_, liver);
    if (net != LiverNet::None) {
      lastNets_ += std::string(", then ") + liverNetName(net);
      logNet(log_, net, P, Q, nearQ, intensity_, liver);
      std::fprintf(log_, "leak\t");
      std::fill(P.begin(), P.end(), 0);
      std::fill(phi.begin(), phi.end(), 1.0f);
    } else {
      std::fprintf(log_, "%0.3f retry res\t", q ? 100.0 * static_cast<double>(countNonzero(P)) / static_cast<double>(q) : 0.0);
    }
  }
  // Pieces cut off from the result in this slice (a thin reference was followed whole already).
  // A reference below the tip's size ends the pass: it has no pieces either.
  lastIslands_ = tip || !followPieces || q < kMinTipPixels ? 0 : addIslands(P, Q, nearQ);
  // 10. the new reference, 11. the log line
  referenceMask = P;
  for (std::size_t i = 0; i < P.size(); ++i) result[i] = P[i] ? 255 : 0;
  ++runCount;
  if (sliceNumber == -1)
    std::fprintf(log_, "tycnt = %d\n", runCount);
  else
    std::fprintf(log_, "tycnt = %d, now slice num = %d\n", runCount, sliceNumber);
}

}  // namespace morvex
