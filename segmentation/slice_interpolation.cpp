#include "segmentation/slice_interpolation.h"

#include <algorithm>
#include <cstddef>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "study/study.h"

namespace morvex {

int SliceFillPlan::filledPixels() const {
  int n = 0;
  for (const Slice& s : slices) n += s.filled;
  return n;
}
int SliceFillPlan::blockedPixels() const {
  int n = 0;
  for (const Slice& s : slices) n += s.blocked;
  return n;
}
int SliceFillPlan::filledSlices() const {
  return static_cast<int>(std::count_if(slices.begin(), slices.end(), [](const Slice& s) { return s.filled > 0; }));
}
int SliceFillPlan::blockedSlices() const {
  return static_cast<int>(std::count_if(slices.begin(), slices.end(), [](const Slice& s) { return s.blocked > 0; }));
}

namespace {

// One gap: the key slices a < b (b - a >= 2) and the region both key masks lie in, plus one pixel
// of background on every side where the image allows it.
struct Gap {
  int a = 0, b = 0;
  cv::Rect roi;
  cv::Mat distA, distB;  // CV_32F signed distances over roi
};

bool holds(const uint8_t* labels, std::size_t count, uint8_t label) {
  return labels && std::find(labels, labels + count, label) != labels + count;
}

// Signed distance to the mask's outline in pixels: +d - 1/2 inside, -(d - 1/2) outside, so that
// the zero level lies on the pixel edges between the mask and the rest.
cv::Mat signedDistance(const uint8_t* labels, int width, uint8_t label, const cv::Rect& roi) {
  cv::Mat mask(roi.size(), CV_8UC1);
  for (int y = 0; y < roi.height; ++y) {
    const uint8_t* src = labels + static_cast<std::size_t>(roi.y + y) * width + roi.x;
    uint8_t* dst = mask.ptr<uint8_t>(y);
    for (int x = 0; x < roi.width; ++x) dst[x] = src[x] == label ? 255 : 0;
  }
  cv::Mat inside, outside;
  cv::distanceTransform(mask, inside, cv::DIST_L2, cv::DIST_MASK_PRECISE, CV_32F);
  cv::distanceTransform(~mask, outside, cv::DIST_L2, cv::DIST_MASK_PRECISE, CV_32F);
  cv::Mat sd(roi.size(), CV_32F);
  for (int y = 0; y < roi.height; ++y) {
    const uint8_t* m = mask.ptr<uint8_t>(y);
    const float* in = inside.ptr<float>(y);
    const float* out = outside.ptr<float>(y);
    float* d = sd.ptr<float>(y);
    for (int x = 0; x < roi.width; ++x) d[x] = m[x] ? in[x] - 0.5f : 0.5f - out[x];
  }
  return sd;
}

cv::Rect labelBounds(const uint8_t* labels, int width, int height, uint8_t label) {
  int x0 = width, y0 = height, x1 = -1, y1 = -1;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = labels + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x)
      if (row[x] == label) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
      }
  }
  return x1 < 0 ? cv::Rect() : cv::Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

// The slice `index` of a gap: the blend of the key distances at its position, kept on background
// pixels. A blend without a single pixel (shapes that share no pixel and lie far apart) falls
// back to the nearer key's mask, so that no slice between two non-empty keys stays empty.
SliceFillPlan::Slice fillSlice(const Gap& gap, int index, const uint8_t* keyA, const uint8_t* keyB,
                               const uint8_t* labels, int width, int height, uint8_t label) {
  SliceFillPlan::Slice s;
  s.index = index;
  s.mask.assign(static_cast<std::size_t>(width) * height, 0);
  const float t = static_cast<float>(index - gap.a) / static_cast<float>(gap.b - gap.a);
  const cv::Rect& r = gap.roi;
  int shape = 0;
  for (int y = 0; y < r.height; ++y) {
    const float* da = gap.distA.ptr<float>(y);
    const float* db = gap.distB.ptr<float>(y);
    uint8_t* m = s.mask.data() + static_cast<std::size_t>(r.y + y) * width + r.x;
    for (int x = 0; x < r.width; ++x)
      if ((1.0f - t) * da[x] + t * db[x] > 0.0f) {
        m[x] = 255;
        ++shape;
      }
  }
  if (shape == 0) {
    const uint8_t* nearer = t <= 0.5f ? keyA : keyB;
    for (int y = r.y; y < r.y + r.height; ++y)
      for (int x = r.x; x < r.x + r.width; ++x) {
        const std::size_t p = static_cast<std::size_t>(y) * width + x;
        if (nearer[p] == label) s.mask[p] = 255;
      }
  }
  for (int y = r.y; y < r.y + r.height; ++y)
    for (int x = r.x; x < r.x + r.width; ++x) {
      const std::size_t p = static_cast<std::size_t>(y) * width + x;
      if (!s.mask[p]) continue;
      if (labels[p] == 0) {
        ++s.filled;
      } else if (labels[p] != label) {
        s.mask[p] = 0;
        ++s.blocked;
      }
    }
  return s;
}

}  // namespace

SliceFillPlan planSliceFill(const std::vector<const uint8_t*>& labels, int width, int height, uint8_t label) {
  SliceFillPlan plan;
  plan.width = width;
  plan.height = height;
  plan.label = label;
  if (width <= 0 || height <= 0 || label == 0 || label == 255) return plan;
  const std::size_t count = static_cast<std::size_t>(width) * height;
  const int n = static_cast<int>(labels.size());

  std::vector<bool> key(n);
  for (int i = 0; i < n; ++i) key[i] = holds(labels[i], count, label);
  for (int i = 0; i < n; ++i)
    if (key[i]) plan.keys.push_back(i);

  // gaps: consecutive keys with at least one slice between them and no slice that takes no part
  std::vector<Gap> gaps;
  for (std::size_t k = 0; k + 1 < plan.keys.size(); ++k) {
    const int a = plan.keys[k], b = plan.keys[k + 1];
    if (b - a < 2) continue;
    bool spans = true;
    for (int i = a + 1; i < b; ++i) spans = spans && labels[i] != nullptr;
    if (!spans) continue;
    Gap g;
    g.a = a;
    g.b = b;
    const cv::Rect both = labelBounds(labels[a], width, height, label) | labelBounds(labels[b], width, height, label);
    g.roi = cv::Rect(both.x - 1, both.y - 1, both.width + 2, both.height + 2) & cv::Rect(0, 0, width, height);
    gaps.push_back(std::move(g));
  }
  if (gaps.empty()) return plan;

  // key distances: one task per key of every gap
  cv::parallel_for_(cv::Range(0, static_cast<int>(gaps.size()) * 2), [&](const cv::Range& range) {
    for (int t = range.start; t < range.end; ++t) {
      Gap& g = gaps[t / 2];
      if (t % 2 == 0) g.distA = signedDistance(labels[g.a], width, label, g.roi);
      else g.distB = signedDistance(labels[g.b], width, label, g.roi);
    }
  });

  // gap slices: one task per slice
  std::vector<std::pair<int, int>> tasks;  // (gap, slice index)
  for (int gi = 0; gi < static_cast<int>(gaps.size()); ++gi)
    for (int i = gaps[gi].a + 1; i < gaps[gi].b; ++i) tasks.emplace_back(gi, i);
  std::vector<SliceFillPlan::Slice> slices(tasks.size());
  cv::parallel_for_(cv::Range(0, static_cast<int>(tasks.size())), [&](const cv::Range& range) {
    for (int t = range.start; t < range.end; ++t) {
      const Gap& g = gaps[tasks[t].first];
      const int i = tasks[t].second;
      slices[t] = fillSlice(g, i, labels[g.a], labels[g.b], labels[i], width, height, label);
    }
  });
  for (SliceFillPlan::Slice& s : slices)
    if (s.filled > 0 || s.blocked > 0) plan.slices.push_back(std::move(s));
  return plan;
}

void updateSliceFill(SliceFillPlan& plan, const std::vector<const uint8_t*>& labels, int edited) {
  const int n = static_cast<int>(labels.size());
  if (edited < 0 || edited >= n) return;
  const std::size_t count = static_cast<std::size_t>(plan.width) * plan.height;
  // the nearest slice on each side that bounds every gap through `edited`
  const auto bounds = [&](int i) { return !labels[i] || holds(labels[i], count, plan.label); };
  int lo = edited - 1, hi = edited + 1;
  while (lo > 0 && !bounds(lo)) --lo;
  while (hi < n - 1 && !bounds(hi)) ++hi;
  lo = std::max(lo, 0);
  hi = std::min(hi, n - 1);
  const std::vector<const uint8_t*> part(labels.begin() + lo, labels.begin() + hi + 1);
  SliceFillPlan sub = planSliceFill(part, plan.width, plan.height, plan.label);

  const auto inside = [&](int i) { return i >= lo && i <= hi; };
  plan.keys.erase(std::remove_if(plan.keys.begin(), plan.keys.end(), inside), plan.keys.end());
  for (int k : sub.keys) plan.keys.push_back(k + lo);
  std::sort(plan.keys.begin(), plan.keys.end());
  plan.slices.erase(std::remove_if(plan.slices.begin(), plan.slices.end(),
                                   [&](const SliceFillPlan::Slice& s) { return inside(s.index); }),
                    plan.slices.end());
  for (SliceFillPlan::Slice& s : sub.slices) {
    s.index += lo;
    plan.slices.push_back(std::move(s));
  }
  std::sort(plan.slices.begin(), plan.slices.end(),
            [](const SliceFillPlan::Slice& x, const SliceFillPlan::Slice& y) { return x.index < y.index; });
}

std::vector<const uint8_t*> sliceLabelImages(const Study& study, int firstFrame, int lastFrame, int width, int height) {
  std::vector<const uint8_t*> labels;
  for (int f = std::max(firstFrame, 0); f <= lastFrame && f < study.frameCount(); ++f)
    labels.push_back(study.width(f) == width && study.height(f) == height ? study.labelImage(f) : nullptr);
  return labels;
}

SliceFillPlan planSliceFill(const Study& study, int firstFrame, int lastFrame, uint8_t label) {
  firstFrame = std::max(firstFrame, 0);
  if (firstFrame > lastFrame || firstFrame >= study.frameCount()) return {};
  const int width = study.width(firstFrame), height = study.height(firstFrame);
  SliceFillPlan plan = planSliceFill(sliceLabelImages(study, firstFrame, lastFrame, width, height), width, height, label);
  plan.first = firstFrame;
  return plan;
}

int applySliceFill(const SliceFillPlan& plan, Study& study) {
  int written = 0;
  const std::size_t count = static_cast<std::size_t>(plan.width) * plan.height;
  for (const SliceFillPlan::Slice& s : plan.slices) {
    const int f = plan.first + s.index;
    if (s.filled == 0 || s.mask.size() != count) continue;
    const Study& view = study;
    if (view.width(f) != plan.width || view.height(f) != plan.height || !view.labelImage(f)) continue;
    uint8_t* labels = study.labelImage(f);
    for (std::size_t p = 0; p < count; ++p)
      if (s.mask[p] && labels[p] == 0) {
        labels[p] = plan.label;
        ++written;
      }
  }
  return written;
}

}  // namespace morvex
