#include "analysis/histogram_model.h"

#include <algorithm>
#include <cmath>

#include "segmentation/mask_utils.h"

namespace morvex {

void findDominantRange(const int16_t* image, const int16_t* mask, int width, int height, int* low, int* high) {
  const std::size_t n = static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
  int mn = 999999;
  for (std::size_t i = 0; i < n; ++i)
    if (!mask || mask[i] != 0) mn = std::min<int>(mn, image[i]);
  if (mn == 999999) {
    *low = *high = 0;
    return;
  }
  constexpr int kBins = 4096;
  std::vector<int> hist(kBins, 0);
  for (std::size_t i = 0; i < n; ++i)
    if (!mask || mask[i] != 0) ++hist[static_cast<std::size_t>(std::clamp(image[i] - mn, 0, kBins - 1))];
  for (int& c : hist)
    if (c < 100) c = 0;
  struct Cluster {
    int start, end;
    long long total;
  };
  std::vector<Cluster> clusters;
  for (int b = 0; b < kBins && clusters.size() < 20; ++b) {
    if (hist[b] == 0) continue;
    Cluster c{b, kBins - 1, 0};
    int zeros = 0;
    int i = b;
    for (; i < kBins; ++i) {
      if (hist[i] == 0) {
        if (++zeros == 100) break;
      } else {
        zeros = 0;
        c.total += hist[i];
      }
    }
    c.end = std::min(i, kBins - 1);
    clusters.push_back(c);
    b = c.end;
  }
  if (clusters.empty()) {
    *low = *high = mn;
    return;
  }
  const Cluster* best = &clusters[0];
  for (const Cluster& c : clusters)
    if (c.total > best->total) best = &c;
  *low = std::max(best->start - 100, 0) + mn;
  *high = best->end + mn;
}

float HistogramModel::xOf(float value) const {
  // A range of one value (a uniform slice) has no width to divide by: values at or below it sit
  // at the left end of the track, values above it at the right end.
  const float span = rangeMax_ - rangeMin_;
  if (!(span > 0.0f)) return value <= rangeMin_ ? static_cast<float>(kLeft) : static_cast<float>(kLeft + kTrackWidth);
  return (value - rangeMin_) * kTrackWidth / span + kLeft;
}

void HistogramModel::setLow(int v) {
  lowValue_ = static_cast<float>(v);
  if (v < rangeMax_ + 1) {
    lowX_ = xOf(lowValue_);
    if (v > highValue_) {
      highValue_ = static_cast<float>(v + 1);
      highX_ = xOf(highValue_);
    }
  }
}

void HistogramModel::setHigh(int v) {
  highValue_ = static_cast<float>(v);
  if (v > rangeMin_ + 1) {
    highX_ = xOf(highValue_);
    if (v < lowValue_) {
      lowValue_ = static_cast<float>(v - 1);
      lowX_ = xOf(lowValue_);
    }
  }
}

bool HistogramModel::setValues(int a, int b) {
  if (!hasBins()) return false;
  if (inputMode == 0) {
    setLow(a - b / 2);
    setHigh(a + b / 2);
  } else {
    setLow(a);
    setHigh(b);
  }
  return true;
}

void HistogramModel::handlesToRangeEnds() {
  lowValue_ = rangeMin_;
  lowX_ = kLeft;
  highValue_ = rangeMax_;
  if (rangeMax_ > rangeMin_ + 1) highX_ = kLeft + kTrackWidth;
}

bool HistogramModel::computeHistogram(const int16_t* image, int width, int height) {
  const std::size_t n = static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
  // A slice of one pixel has no meaningful bins and is refused.
  if (!image || n < 2) return false;
  const auto [mn, mx] = std::minmax_element(image, image + n);
  bins_.assign(static_cast<std::size_t>(*mx - *mn + 1), 0);
  for (std::size_t i = 0; i < n; ++i) ++bins_[static_cast<std::size_t>(image[i] - *mn)];
  countScale_ = std::min(*std::max_element(bins_.begin(), bins_.end()), 2500);
  for (int& b : bins_) b = std::min(b, countScale_);
  rangeMin_ = *mn;
  rangeMax_ = *mx;
  handlesToRangeEnds();
  return true;
}

bool HistogramModel::setHistogram(const int* table, int tableSize, int tableBase, int low, int high) {
  if (high < low) return false;
  bins_.assign(static_cast<std::size_t>(high - low + 1), 0);
  for (int v = low; v <= high; ++v) {
    const int i = v - tableBase;
    if (table && i >= 0 && i < tableSize) bins_[static_cast<std::size_t>(v - low)] = table[i];
  }
  countScale_ = *std::max_element(bins_.begin(), bins_.end());
  rangeMin_ = static_cast<float>(low);
  rangeMax_ = static_cast<float>(high);
  handlesToRangeEnds();
  return true;
}

bool HistogramModel::setAutoRange(const int16_t* image, int width, int height) {
  if (!hasBins() || !image || width <= 0 || height <= 0) return false;
  std::vector<int16_t> masked = extractBodyMask(image, width, height);
  for (std::size_t i = 0; i < masked.size(); ++i) masked[i] = masked[i] < 1 ? 0 : image[i];
  int low = 0, high = 0;
  findDominantRange(masked.data(), masked.data(), width, height, &low, &high);
  if (high > static_cast<int>(rangeMax_) || high == 0) high = static_cast<int>(rangeMax_);
  if (low < static_cast<int>(rangeMin_) || low == 0) low = static_cast<int>(rangeMin_);
  if (low < -499) {
    low = -200;
    high = 240;
  }
  setLow(low);
  setHigh(high);
  return true;
}

void HistogramModel::setMarkers(const int* values, int count) {
  markers_.assign(values, values + std::max(count, 0));
}

void HistogramModel::reset() {
  const int mode = inputMode;  // the owner's choice survives a reset
  *this = HistogramModel();
  inputMode = mode;
}

void HistogramModel::press(int x, int y, int viewHeight) {
  if (x < kLeft || x > kLeft + kTrackWidth || y < 0 || y > viewHeight) return;
  const int half = kHandleWidth / 2;
  if (x <= lowX_ + half)
    dragHandle_ = 0;
  else if (x >= highX_ - half)
    dragHandle_ = 1;
}

bool HistogramModel::move(int x, int y, int viewHeight) {
  if (!hasBins() || x < kLeft || x > kLeft + kTrackWidth || y < 0 || y > viewHeight) return false;
  const int value = static_cast<int>((rangeMax_ - rangeMin_) * (x - kLeft) / kTrackWidth + rangeMin_);
  if (dragHandle_ == 0) {
    lowX_ = static_cast<float>(x);
    setLow(value);
  } else if (dragHandle_ == 1) {
    highX_ = static_cast<float>(x);
    setHigh(value);
  }
  preset = 4;
  return true;
}

std::vector<int> axisTicks(float low, float high, int maxTicks) {
  std::vector<int> ticks;
  if (!(high > low) || maxTicks < 2 || high - low > 1e7f) return ticks;
  long step = 1;
  for (int k = 0; (high - low) / static_cast<float>(step) >= static_cast<float>(maxTicks); ++k)
    step = (k % 3 == 1 ? 5 : 2) * step / (k % 3 == 1 ? 2 : 1);  // 1, 2, 5, 10, 20, 50, ...
  for (long v = static_cast<long>(std::ceil(low / static_cast<float>(step))) * step; v <= high; v += step)
    ticks.push_back(static_cast<int>(v));
  return ticks;
}

}  // namespace morvex
