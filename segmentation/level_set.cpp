#include "segmentation/level_set.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace morvex {

namespace {

struct Offset {
  int dx, dy;
  long long len2() const { return static_cast<long long>(dx) * dx + static_cast<long long>(dy) * dy; }
};

// The two 8SSEDT passes over the interior pixels of one grid.
void ssedtPasses(std::vector<Offset>& grid, int w, int h) {
  // A pixel of the grid's own class (offset 0) can never improve: its candidates are skipped.
  auto relax = [&](int x, int y, int ox, int oy) {
    Offset& cur = grid[static_cast<std::size_t>(y) * w + x];
    if (cur.dx == 0 && cur.dy == 0) return;
    const Offset& n = grid[static_cast<std::size_t>(y + oy) * w + (x + ox)];
    if (n.dx >= 9999) return;
    const Offset cand{n.dx + ox, n.dy + oy};
    if (cand.len2() < cur.len2()) cur = cand;
  };
  // forward pass
  for (int y = 1; y <= h - 2; ++y) {
    for (int x = 1; x <= w - 2; ++x) {
      relax(x, y, -1, 0);
      relax(x, y, 0, -1);
      relax(x, y, -1, -1);
      relax(x, y, 1, -1);
    }
    for (int x = w - 2; x >= 1; --x) relax(x, y, 1, 0);
  }
  // backward pass
  for (int y = h - 2; y >= 1; --y) {
    for (int x = w - 2; x >= 1; --x) {
      relax(x, y, 1, 0);
      relax(x, y, 0, 1);
      relax(x, y, -1, 1);
      relax(x, y, 1, 1);
    }
    for (int x = 1; x <= w - 2; ++x) relax(x, y, -1, 0);
  }
}

}  // namespace

void signedDistance(const uint8_t* inside, int w, int h, float* phi) {
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  const Offset far{9999, 9999}, zero{0, 0};
  std::vector<Offset> a(n), b(n);
  for (std::size_t i = 0; i < n; ++i) {
    a[i] = inside[i] ? zero : far;
    b[i] = inside[i] ? far : zero;
  }
  ssedtPasses(a, w, h);
  ssedtPasses(b, w, h);
  std::fill(phi, phi + n, 0.0f);
  for (int y = 1; y <= h - 2; ++y)
    for (int x = 1; x <= w - 2; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      phi[i] = std::sqrt(static_cast<float>(a[i].len2())) - std::sqrt(static_cast<float>(b[i].len2()));
    }
}

std::vector<float> gaussianSmooth(const int16_t* image, int w, int h, double sigma) {
  int m = static_cast<int>(std::floor(6 * sigma));
  if (m % 2 == 0) ++m;
  const int half = m / 2;
  std::vector<double> kernel(static_cast<std::size_t>(m));
  for (int j = -half; j <= half; ++j) kernel[static_cast<std::size_t>(j + half)] = std::exp(-(j * j) / (2 * sigma * sigma));
  // the weight of a window that lies wholly inside the image, summed in the order the taps are
  double full = 0;
  for (double k : kernel) full += k;
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::vector<float> tmp(n), out(n);
  std::vector<double> sums(static_cast<std::size_t>(std::max(w, 0)));
  // A pixel's sum adds its taps in the same order either way; inside, a tap at a time over a
  // whole run of pixels, so that the loop over the run vectorises. Near the ends of a row or
  // column the window is cut and weighted by what remains of it.
  auto edgeSum = [&](auto value, int at, int length) {
    double sum = 0, weight = 0;
    for (int j = -half; j <= half; ++j) {
      const int q = at + j;
      if (q < 0 || q >= length) continue;
      sum += kernel[static_cast<std::size_t>(j + half)] * value(q);
      weight += kernel[static_cast<std::size_t>(j + half)];
    }
    return static_cast<float>(sum / weight);
  };
  const int rowRun = std::max(w - 2 * half, 0);
  for (int y = 0; y < h; ++y) {
    const int16_t* row = image + static_cast<std::size_t>(y) * w;
    float* dst = &tmp[static_cast<std::size_t>(y) * w];
    double* s = sums.data();
    std::fill(s, s + rowRun, 0.0);
    for (int j = 0; j < m; ++j) {
      const double k = kernel[static_cast<std::size_t>(j)];
      const int16_t* src = row + j;
      for (int i = 0; i < rowRun; ++i) s[i] += k * src[i];
    }
    for (int i = 0; i < rowRun; ++i) dst[half + i] = static_cast<float>(s[i] / full);
    auto at = [row](int q) { return row[q]; };
    for (int x = 0; x < w; ++x) {
      if (x == half && rowRun > 0) x += rowRun;
      if (x < w) dst[x] = edgeSum(at, x, w);
    }
  }
  for (int y = 0; y < h; ++y) {
    float* dst = &out[static_cast<std::size_t>(y) * w];
    if (y < half || y >= h - half) {
      for (int x = 0; x < w; ++x) {
        auto at = [&tmp, w, x](int q) { return tmp[static_cast<std::size_t>(q) * w + x]; };
        dst[x] = edgeSum(at, y, h);
      }
      continue;
    }
    double* s = sums.data();
    std::fill(s, s + w, 0.0);
    for (int j = 0; j < m; ++j) {
      const double k = kernel[static_cast<std::size_t>(j)];
      const float* src = &tmp[static_cast<std::size_t>(y - half + j) * w];
      for (int x = 0; x < w; ++x) s[x] += k * src[x];
    }
    for (int x = 0; x < w; ++x) dst[x] = static_cast<float>(s[x] / full);
  }
  return out;
}

void cannyEdges(const int16_t* image, uint8_t* out, int w, int h, int high, int low, double sigma) {
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::fill(out, out + n, 0);
  if (w < 3 || h < 3) return;
  const std::vector<float> s = gaussianSmooth(image, w, h, sigma);
  std::vector<int16_t> gxs(n, 0), gys(n, 0);
  std::vector<int> mag(n, 0);
  auto S = [&](int x, int y) { return s[static_cast<std::size_t>(y) * w + x]; };
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x) {
      const float gx = (S(x + 1, y - 1) + 2 * S(x + 1, y) + S(x + 1, y + 1)) - (S(x - 1, y - 1) + 2 * S(x - 1, y) + S(x - 1, y + 1));
      const float gy = (S(x - 1, y + 1) + 2 * S(x, y + 1) + S(x + 1, y + 1)) - (S(x - 1, y - 1) + 2 * S(x, y - 1) + S(x + 1, y - 1));
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      gxs[i] = static_cast<int16_t>(std::clamp(gx, -32768.0f, 32767.0f));
      gys[i] = static_cast<int16_t>(std::clamp(gy, -32768.0f, 32767.0f));
      mag[i] = std::abs(gxs[i]) + std::abs(gys[i]);
    }
  // non-maximum suppression; 2 = strong, 1 = weak survivor
  std::vector<uint8_t> state(n, 0);
  std::vector<int> stack;
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      const int m = mag[i];
      if (m <= low) continue;
      const int gx = gxs[i], gy = gys[i];
      int ox1, oy1;  // one neighbour; the other is the opposite one
      if (gx == 0) {
        ox1 = 0;
        oy1 = 1;
      } else {
        const int r = gy * 1024 / gx;
        if (r >= 0) {
          if (r < 424) {
            ox1 = 1;
            oy1 = 0;
          } else if (r > 2471) {
            ox1 = 0;
            oy1 = 1;
          } else {
            ox1 = 1;
            oy1 = 1;
          }
        } else {
          if (r >= -424) {
            ox1 = 1;
            oy1 = 0;
          } else if (r < -2472) {
            ox1 = 0;
            oy1 = 1;
          } else {
            ox1 = 1;
            oy1 = -1;
          }
        }
      }
      const int a = mag[static_cast<std::size_t>(y + oy1) * w + x + ox1];
      const int b = mag[static_cast<std::size_t>(y - oy1) * w + x - ox1];
      if (m < a || m < b) continue;
      state[i] = m > high ? 2 : 1;
      if (state[i] == 2) stack.push_back(static_cast<int>(i));
    }
  // hysteresis
  while (!stack.empty()) {
    const int i = stack.back();
    stack.pop_back();
    out[i] = 1;
    const int y = i / w, x = i % w;
    for (int yy = y - 1; yy <= y + 1; ++yy)
      for (int xx = x - 1; xx <= x + 1; ++xx) {
        if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
        const std::size_t j = static_cast<std::size_t>(yy) * w + xx;
        if (state[j] == 1) {
          state[j] = 2;
          stack.push_back(static_cast<int>(j));
        }
      }
  }
}

std::vector<float> edgeStopImage(const int16_t* intensity, int w, int h) {
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::vector<float> g(n, 0.0f);
  const std::vector<float> s = gaussianSmooth(intensity, w, h, 1.0);
  auto S = [&](int x, int y) { return s[static_cast<std::size_t>(y) * w + x]; };
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x) {
      const float gx = (S(x + 1, y - 1) + 2 * S(x + 1, y) + S(x + 1, y + 1)) - (S(x - 1, y - 1) + 2 * S(x - 1, y) + S(x - 1, y + 1));
      const float gy = (S(x - 1, y + 1) + 2 * S(x, y + 1) + S(x + 1, y + 1)) - (S(x - 1, y - 1) + 2 * S(x, y - 1) + S(x + 1, y - 1));
      g[static_cast<std::size_t>(y) * w + x] = 1.0f / (1.0f + 0.01f * std::sqrt(gx * gx + gy * gy));
    }
  std::vector<uint8_t> edges(n);
  cannyEdges(intensity, edges.data(), w, h, 15, 0, 3.0);
  for (std::size_t i = 0; i < n; ++i)
    if (edges[i]) g[i] *= 1e-6f;
  return g;
}

void levelSetStep(const float* src, float* dst, const float* g, int w, int h, float dt, float band) {
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::copy(src, src + n, dst);  // pixels outside the band keep their values
  auto P = [&](int x, int y) { return src[static_cast<std::size_t>(y) * w + x]; };
  auto G = [&](int x, int y) { return g[static_cast<std::size_t>(y) * w + x]; };
  for (int y = 4; y <= h - 5; ++y)
    for (int x = 4; x <= w - 5; ++x) {
      const float p = P(x, y);
      if (std::fabs(p) > band) continue;
      const float px = (P(x + 1, y) - P(x - 1, y)) * 0.5f, py = (P(x, y + 1) - P(x, y - 1)) * 0.5f;
      const float grad = std::sqrt(px * px + py * py);
      const float dxp = P(x + 2, y) - p, dxm = p - P(x - 2, y);
      const float dyp = P(x, y + 2) - p, dym = p - P(x, y - 2);
      const float nxp = dxp / (std::sqrt(dxp * dxp + std::pow(P(x + 1, y + 1) - P(x + 1, y - 1), 2.0f)) + 0.0001f);
      const float nxm = dxm / (std::sqrt(dxm * dxm + std::pow(P(x - 1, y + 1) - P(x - 1, y - 1), 2.0f)) + 0.0001f);
      const float nyp = dyp / (std::sqrt(dyp * dyp + std::pow(P(x + 1, y + 1) - P(x - 1, y + 1), 2.0f)) + 0.0001f);
      const float nym = dym / (std::sqrt(dym * dym + std::pow(P(x + 1, y - 1) - P(x - 1, y - 1), 2.0f)) + 0.0001f);
      const float kappa = 0.5f * (nxp - nxm + nyp - nym);
      const float adv = 0.5f * ((G(x, y + 1) - G(x, y - 1)) * py + (G(x + 1, y) - G(x - 1, y)) * px);
      const float gv = G(x, y);
      dst[static_cast<std::size_t>(y) * w + x] = p + dt * (adv + 3.0f * gv * kappa * grad - 1.0f * gv * grad);
    }
}

void reinitialiseStep(const float* src, float* dst, int w, int h, float dt) {
  // Only the 10-pixel frame is carried over; every other pixel is written below. The update is
  // written without branches so that the row loop vectorises; it computes exactly the values of
  // the scalar form (same operations in the same order).
  const std::size_t W = static_cast<std::size_t>(w);
  if (w <= 20 || h <= 20) {
    std::copy(src, src + W * static_cast<std::size_t>(h), dst);
    return;
  }
  std::copy(src, src + W * 10, dst);
  std::copy(src + W * static_cast<std::size_t>(h - 10), src + W * static_cast<std::size_t>(h), dst + W * static_cast<std::size_t>(h - 10));
  for (int y = 10; y <= h - 11; ++y) {
    const float* row = src + W * static_cast<std::size_t>(y);
    const float* up = row - W;
    const float* down = row + W;
    float* out = dst + W * static_cast<std::size_t>(y);
    std::copy(row, row + 10, out);
    std::copy(row + w - 10, row + w, out + w - 10);
    for (int x = 10; x <= w - 11; ++x) {
      const float p = row[x];
      const float a = p - row[x - 1], b = row[x + 1] - p, c = p - up[x], d = down[x] - p;
      const float ap = std::max(a, 0.0f), am = std::min(a, 0.0f), bp = std::max(b, 0.0f), bm = std::min(b, 0.0f);
      const float cp = std::max(c, 0.0f), cm = std::min(c, 0.0f), dp = std::max(d, 0.0f), dm = std::min(d, 0.0f);
      const float gOut = std::sqrt(std::max(ap * ap, bm * bm) + std::max(cp * cp, dm * dm)) - 1.0f;
      const float gIn = std::sqrt(std::max(am * am, bp * bp) + std::max(cm * cm, dp * dp)) - 1.0f;
      const float G = static_cast<float>(p > 0) * gOut + static_cast<float>(p < 0) * gIn;  // 0 when p = 0
      out[x] = p - dt * (p / std::sqrt(p * p + 1.0f)) * G;
    }
  }
}

}  // namespace morvex
