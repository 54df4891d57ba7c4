#include "segmentation/mask_utils.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

namespace morvex {

namespace {

// The scanline fill on a precomputed in-range test. inRange(i) tells whether pixel i may be filled.
// Each run is walked once; a neighbour row gets one queued seed per stretch of fillable pixels.
// Marks of the fill kept in the output itself: filled pixels hold filledValue, all others
// otherValue (usable when the two differ).
struct OutputMarks {
  int16_t* out;
  int16_t filled;
  bool taken(int i) const { return out[i] == filled; }
  void take(int i) { out[i] = filled; }
};
// Marks in a byte per pixel, for a fill whose two values are equal.
struct ByteMarks {
  uint8_t* bytes;
  bool taken(int i) const { return bytes[i] != 0; }
  void take(int i) { bytes[i] = 1; }
};

// The span fill on an in-range test: inRange(i) tells whether pixel i may be filled. A queue
// entry is a filled span of one row and the direction of the row still to look at; only the parts
// of a new span that overhang its parent are looked at again in the parent's row, so each pixel is
// examined about twice. The filled set is the 4-connected component of the in-range seeds.
template <typename InRange, typename Marks>
void scanlineFill(InRange inRange, Marks marks, const int16_t* seedX, const int16_t* seedY, int seedCount, int width,
                  int height) {
  struct Span {
    int y, left, right, dy;
  };
  static thread_local std::vector<Span> queue;  // grows as needed
  queue.clear();
  auto fillable = [&](int i) { return !marks.taken(i) && inRange(i); };
  // Fills the maximal run of row y through x (which must be fillable); returns its ends.
  auto fillRun = [&](int y, int x, int& left, int& right) {
    const int row = y * width;
    left = x;
    right = x;
    while (left > 0 && fillable(row + left - 1)) --left;
    while (right < width - 1 && fillable(row + right + 1)) ++right;
    for (int i = row + left; i <= row + right; ++i) marks.take(i);
  };
  for (int s = 0; s < seedCount && seedX && seedY; ++s) {
    const int x = seedX[s], y = seedY[s];
    if (x == -1 || y == -1) break;  // end marker
    if (x < 0 || y < 0 || x >= width || y >= height) continue;
    if (!fillable(y * width + x)) continue;  // out of the window, or already filled
    int left, right;
    fillRun(y, x, left, right);
    queue.push_back({y, left, right, 1});
    queue.push_back({y, left, right, -1});
  }
  while (!queue.empty()) {
    const Span sp = queue.back();
    queue.pop_back();
    const int y = sp.y + sp.dy;
    if (y < 0 || y >= height) continue;
    const int row = y * width;
    for (int x = sp.left; x <= sp.right; ++x) {
      if (!fillable(row + x)) continue;
      int left, right;
      fillRun(y, x, left, right);
      queue.push_back({y, left, right, sp.dy});
      if (left < sp.left - 1) queue.push_back({y, left, sp.left - 2, -sp.dy});
      if (right > sp.right + 1) queue.push_back({y, sp.right + 2, right, -sp.dy});
      x = right + 1;
    }
  }
}

template <typename InRange>
void fillKernel(InRange inRange, const int16_t* seedX, const int16_t* seedY, int seedCount, int width, int height,
                int16_t* out, int16_t filledValue, int16_t otherValue) {
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (!out || n == 0) return;
  std::fill(out, out + n, otherValue);
  if (filledValue != otherValue) {
    scanlineFill(inRange, OutputMarks{out, filledValue}, seedX, seedY, seedCount, width, height);
    return;
  }
  std::vector<uint8_t> bytes(n, 0);  // the output stays all one value; the marks only bound the fill
  scanlineFill(inRange, ByteMarks{bytes.data()}, seedX, seedY, seedCount, width, height);
}

// Integer bounds equivalent to lo <= v <= hi for integer v; false when nothing can be in range.
bool integerWindow(float lo, float hi, int& ilo, int& ihi) {
  if (std::isnan(lo) || std::isnan(hi) || lo > hi) return false;
  const double l = std::ceil(static_cast<double>(lo)), h = std::floor(static_cast<double>(hi));
  ilo = static_cast<int>(std::max(l, -1e9));
  ihi = static_cast<int>(std::min(h, 1e9));
  return ilo <= ihi;
}

// The fill writes its output while it still reads the source: a source that shares memory with
// the output is read from a copy (copy owns it), so out == src is an ordinary call.
const int16_t* unaliased(const int16_t* src, const int16_t* out, int width, int height, std::vector<int16_t>& copy) {
  const std::size_t n = static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
  if (!src || !out || n == 0) return src;
  const std::less<const int16_t*> before;
  const bool overlap = before(src, out + n) && before(out, src + n);
  if (!overlap) return src;
  copy.assign(src, src + n);
  return copy.data();
}

}  // namespace

void borderSeeds(int width, int height, std::vector<int16_t>& seedX, std::vector<int16_t>& seedY) {
  seedX.clear();
  seedY.clear();
  if (width <= 0 || height <= 0) return;
  auto add = [&](int x, int y) {
    seedX.push_back(static_cast<int16_t>(x));
    seedY.push_back(static_cast<int16_t>(y));
  };
  for (int x = 0; x < width; ++x) {
    add(x, 0);
    if (height > 1) add(x, height - 1);
  }
  for (int y = 1; y + 1 < height; ++y) {
    add(0, y);
    if (width > 1) add(width - 1, y);
  }
}

void seedFill(const uint8_t* src, float lo, float hi, const int16_t* seedX, const int16_t* seedY, int seedCount,
              int width, int height, int16_t* out, int16_t filledValue, int16_t otherValue) {
  bool lut[256] = {};
  int ilo = 0, ihi = -1;
  if (integerWindow(lo, hi, ilo, ihi))
    for (int v = std::max(ilo, 0); v <= std::min(ihi, 255); ++v) lut[v] = true;
  fillKernel([src, &lut](int i) { return lut[src[i]]; }, seedX, seedY, src ? seedCount : 0, width, height, out,
             filledValue, otherValue);
}

void seedFill(const int16_t* src, float lo, float hi, const int16_t* seedX, const int16_t* seedY, int seedCount,
              int width, int height, int16_t* out, int16_t filledValue, int16_t otherValue) {
  int ilo = 0, ihi = -1;
  if (!integerWindow(lo, hi, ilo, ihi)) seedCount = 0;
  seedFillInt(src, ilo, ihi, seedX, seedY, seedCount, width, height, out, filledValue, otherValue);
}

void seedFillInt(const int16_t* src, int lo, int hi, const int16_t* seedX, const int16_t* seedY, int seedCount,
                 int width, int height, int16_t* out, int16_t filledValue, int16_t otherValue) {
  std::vector<int16_t> copy;
  src = unaliased(src, out, width, height, copy);
  fillKernel([src, lo, hi](int i) { return src[i] >= lo && src[i] <= hi; }, seedX, seedY, src ? seedCount : 0,
             width, height, out, filledValue, otherValue);
}

void seedFillExcluding(const int16_t* a, const int16_t* b, int lo, int hi, const int16_t* seedX,
                       const int16_t* seedY, int seedCount, int width, int height, int16_t* out,
                       int16_t filledValue, int16_t otherValue) {
  std::vector<int16_t> copyA, copyB;
  a = unaliased(a, out, width, height, copyA);
  b = unaliased(b, out, width, height, copyB);
  fillKernel(
      [a, b, lo, hi, otherValue](int i) {
        const int v = b[i] != 0 ? otherValue : a[i];
        return v >= lo && v <= hi;
      },
      seedX, seedY, (a && b) ? seedCount : 0, width, height, out, filledValue, otherValue);
}

void extractBodyMask(const int16_t* intensities, int width, int height, int16_t* out) {
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (!intensities || !out || n == 0) return;
  const int W = width, H = height;
  // tissue 0, air 1
  std::vector<int16_t> m(n), filled(n);
  for (std::size_t i = 0; i < n; ++i) m[i] = intensities[i] < -424 ? 1 : 0;

  // keep the tissue component that touches the centre grid
  std::vector<int16_t> sx, sy;
  // seeds outside a small image are left out (a coordinate of -1 would end the seed list)
  auto addSeed = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= W || y >= H) return;
    sx.push_back(static_cast<int16_t>(x));
    sy.push_back(static_cast<int16_t>(y));
  };
  for (int y = 3 * (H / 5) - 20; y <= 3 * (H / 5) + 20; y += 4)
    for (int x = W / 3 - 40; x <= 2 * (W / 3) + 40; x += 5) addSeed(x, y);
  seedFill(m.data(), 0.0f, 0.5f, sx.data(), sy.data(), static_cast<int>(sx.size()), W, H, filled.data(), 0, 1);
  for (std::size_t i = 0; i < n; ++i) m[i] = filled[i] == 0 ? 1 : 0;

  // fill from the left and right borders: what is not reached is body, holes included
  sx.clear();
  sy.clear();
  for (int y = 0; y < H; y += 30)
    for (int x : {5, 10, W - 10, W - 5}) addSeed(x, y);
  seedFill(m.data(), 0.0f, 0.5f, sx.data(), sy.data(), static_cast<int>(sx.size()), W, H, filled.data(), 0, 1);
  for (std::size_t i = 0; i < n; ++i) out[i] = filled[i] == 0 ? 0 : 255;
}

std::vector<int16_t> extractBodyMask(const int16_t* intensities, int width, int height) {
  std::vector<int16_t> out(static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)));
  extractBodyMask(intensities, width, height, out.data());
  return out;
}

void getLinePoints(int x0, int y0, int x1, int y1, int* px, int* py, int* count) {
  const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  int stored = 0;
  if (dx < dy) {  // steep: step in y
    if (y1 < y0) {
      std::swap(x0, x1);
      std::swap(y0, y1);
    }
    const int sx = x0 < x1 ? 1 : -1;
    int e = 2 * dx - dy, x = x0;
    for (int y = y0 + 1; y <= y1 - 1; ++y) {
      if (e >= 0) {
        x += sx;
        e += 2 * (dx - dy);
      } else {
        e += 2 * dx;
      }
      px[stored] = x;
      py[stored] = y;
      ++stored;
    }
    *count = y1 - y0 - 1;
  } else {
    if (x1 < x0) {
      std::swap(x0, x1);
      std::swap(y0, y1);
    }
    const int sy = y0 < y1 ? 1 : -1;
    int e = 2 * dy - dx, y = y0;
    for (int x = x0 + 1; x <= x1 - 1; ++x) {
      if (e >= 0) {
        y += sy;
        e += 2 * (dy - dx);
      } else {
        e += 2 * dy;
      }
      px[stored] = x;
      py[stored] = y;
      ++stored;
    }
    *count = x1 - x0 - 1;
  }
}

}  // namespace morvex
