#include "analysis/area_statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "study/study.h"

namespace morvex {

namespace {

// Bins holding 0-based ranks lo <= hi (both below the sum of the counts), in one pass.
void binsOfRanks(const int* counts, int binCount, long long lo, long long hi, int& loBin, int& hiBin) {
  long long cum = 0;
  loBin = hiBin = binCount - 1;
  bool loFound = false;
  for (int i = 0; i < binCount; ++i) {
    cum += std::max(counts[i], 0);
    if (!loFound && lo < cum) {
      loBin = i;
      loFound = true;
    }
    if (hi < cum) {
      hiBin = i;
      return;
    }
  }
}

}  // namespace

float quantileFromCounts(const int* counts, int binCount, int total, float q) {
  if (!counts || binCount <= 0 || total <= 0) return 0.0f;
  long long n = 0;
  for (int i = 0; i < binCount; ++i) n += std::max(counts[i], 0);
  n = std::min<long long>(n, total);
  if (n == 0) return 0.0f;
  const double p = static_cast<double>(n - 1) * std::clamp(static_cast<double>(q), 0.0, 1.0);
  const long long lo = static_cast<long long>(std::floor(p));
  const long long hi = p > static_cast<double>(lo) ? lo + 1 : lo;  // p <= n - 1: lo + 1 exists
  int loBin = 0, hiBin = 0;
  binsOfRanks(counts, binCount, lo, hi, loBin, hiBin);
  return static_cast<float>((static_cast<double>(loBin) + hiBin) / 2.0);
}

AreaStatistics::AreaStatistics(int labelCount) : labelCount_(std::max(labelCount, 0)) {}

void AreaStatistics::reset() {
  entries_.clear();
  base_ = 0;
  binCount_ = 0;
  computed_ = false;
}

const int* AreaStatistics::counts(int entry) const {
  return valid(entry) && !entries_[entry - 1].counts.empty() ? entries_[entry - 1].counts.data() : nullptr;
}

void AreaStatistics::computeSlice(const int16_t* intensities, const uint8_t* labels, int width, int height,
                                  bool selectionMode) {
  computeSeries(&intensities, &labels, &width, &height, 1, selectionMode);
}

void AreaStatistics::computeSeries(const int16_t* const* intensities, const uint8_t* const* labels,
                                   const int* widths, const int* heights, int sliceCount, bool selectionMode) {
  int lo = std::numeric_limits<int>::max(), hi = std::numeric_limits<int>::min();
  auto pixelsOf = [&](int s) {
    return (intensities[s] && labels[s] && widths[s] > 0 && heights[s] > 0)
               ? static_cast<std::size_t>(widths[s]) * static_cast<std::size_t>(heights[s])
               : 0;
  };
  for (int s = 0; s < sliceCount; ++s)
    for (std::size_t p = 0; p < pixelsOf(s); ++p) {
      lo = std::min<int>(lo, intensities[s][p]);
      hi = std::max<int>(hi, intensities[s][p]);
    }
  if (lo > hi) lo = hi = 0;
  const int bins = hi - lo + 1;
  std::vector<std::vector<int>> counts(static_cast<std::size_t>(labelCount_), std::vector<int>(bins, 0));
  for (int s = 0; s < sliceCount; ++s)
    for (std::size_t p = 0; p < pixelsOf(s); ++p) {
      const int v = labels[s][p];
      if (v == 0) continue;
      const int entry = selectionMode ? 1 : v;
      if (entry > labelCount_) continue;
      ++counts[static_cast<std::size_t>(entry - 1)][intensities[s][p] - lo];
    }
  setCounts(lo, bins, std::move(counts));
}

void AreaStatistics::setCounts(int base, int binCount, std::vector<std::vector<int>> counts) {
  base_ = base;
  binCount_ = binCount;
  entries_.assign(static_cast<std::size_t>(labelCount_), Entry());
  for (int e = 0; e < labelCount_ && e < static_cast<int>(counts.size()); ++e) {
    entries_[e].counts = std::move(counts[e]);
    entries_[e].counts.resize(static_cast<std::size_t>(binCount), 0);
  }
  for (Entry& e : entries_) {
    if (e.counts.empty()) e.counts.assign(static_cast<std::size_t>(binCount), 0);
    summarise(e);
  }
  computed_ = true;
}

void AreaStatistics::summarise(Entry& e) const {
  const int* c = e.counts.data();
  long long n = 0;
  double sum = 0;
  int first = -1, last = -1;
  for (int b = 0; b < binCount_; ++b) {
    if (c[b] == 0) continue;
    if (first < 0) first = b;
    last = b;
    n += c[b];
    sum += static_cast<double>(c[b]) * (base_ + b);
  }
  e.pixelCnt = static_cast<int>(n);
  e.sum = static_cast<float>(sum);
  if (n < 1) {
    e.min = e.max = e.average = e.q1 = e.median = e.q3 = e.std = 0.0f;
    return;
  }
  e.min = static_cast<float>(base_ + first);
  e.max = static_cast<float>(base_ + last);
  const double average = sum / static_cast<double>(n);
  e.average = static_cast<float>(average);
  const int total = static_cast<int>(n);
  e.median = quantileFromCounts(c, binCount_, total, 0.5f) + base_;
  e.q1 = quantileFromCounts(c, binCount_, total, 0.25f) + base_;
  e.q3 = quantileFromCounts(c, binCount_, total, 0.75f) + base_;
  double squares = 0;
  for (int b = first; b <= last; ++b)
    if (c[b]) squares += c[b] * (base_ + b - average) * (base_ + b - average);
  // one pixel: not a number, as the sample deviation is undefined (said, not computed as 0 / 0)
  e.std = n > 1 ? static_cast<float>(std::sqrt(squares / static_cast<double>(n - 1)))
                : std::numeric_limits<float>::quiet_NaN();
}

// --- incremental series statistics ---------------------------------------------------------

const SeriesStatistics::FrameCounts& SeriesStatistics::countsOf(const Study& study, int frameIdx, int labelCount,
                                                                 bool selectionMode) {
  const Frame& f = *study.frame(frameIdx);
  FrameCounts& fc = frames_[f.uid * 2 + (selectionMode ? 1 : 0)];
  // counts made for another table size are counted again (a label table that shrank would
  // otherwise index past the totals)
  if (fc.revision == f.revision && fc.labelCount == labelCount) return fc;
  ++recounted_;
  fc = FrameCounts();
  fc.revision = f.revision;
  fc.labelCount = labelCount;
  const std::size_t n = f.intensities.size();
  const uint8_t* labels = selectionMode ? f.selectionImage.data() : f.labelImage.data();
  if (n == 0 || !labels) return fc;
  // A fresh import counts every slice of the series once: the range is a blocked reduction the
  // compiler vectorises, and label images not touched since the load are known to be empty
  // (reading them would only fault in zero pages).
  const int16_t* values = f.intensities.data();
  constexpr std::size_t kLanes = 16;
  int16_t lo[kLanes], hi[kLanes];
  std::fill(lo, lo + kLanes, values[0]);
  std::fill(hi, hi + kLanes, values[0]);
  std::size_t p = 0;
  for (; p + kLanes <= n; p += kLanes)
    for (std::size_t k = 0; k < kLanes; ++k) {
      lo[k] = std::min(lo[k], values[p + k]);
      hi[k] = std::max(hi[k], values[p + k]);
    }
  for (; p < n; ++p) {
    lo[0] = std::min(lo[0], values[p]);
    hi[0] = std::max(hi[0], values[p]);
  }
  fc.minValue = *std::min_element(lo, lo + kLanes);
  fc.maxValue = *std::max_element(hi, hi + kLanes);
  if (f.imagesStillEmpty()) return fc;
  const std::size_t bins = static_cast<std::size_t>(fc.maxValue - fc.minValue + 1);
  fc.perLabel.resize(static_cast<std::size_t>(labelCount));
  for (p = 0; p < n; ++p) {
    const int v = labels[p];
    if (v == 0) continue;
    const int entry = selectionMode ? 1 : v;
    if (entry > labelCount) continue;
    std::vector<int>& table = fc.perLabel[static_cast<std::size_t>(entry - 1)];
    if (table.empty()) table.assign(bins, 0);
    ++table[static_cast<std::size_t>(values[p] - fc.minValue)];
  }
  return fc;
}

void SeriesStatistics::compute(const Study& study, int nGroupIdx, bool selectionMode, AreaStatistics& out) {
  recounted_ = 0;
  const int labelCount = out.labelCount();
  const int first = study.firstFrameOfSeries(nGroupIdx), last = study.lastFrameOfSeries(nGroupIdx);
  if (frames_.size() > static_cast<std::size_t>(4 * study.frameCount() + 64)) frames_.clear();
  std::vector<const FrameCounts*> parts;
  int lo = std::numeric_limits<int>::max(), hi = std::numeric_limits<int>::min();
  for (int f = first; f >= 0 && f <= last; ++f) {
    if (!study.frame(f)) continue;
    const FrameCounts& fc = countsOf(study, f, labelCount, selectionMode);
    if (fc.maxValue < fc.minValue) continue;
    lo = std::min(lo, fc.minValue);
    hi = std::max(hi, fc.maxValue);
    parts.push_back(&fc);
  }
  if (lo > hi) lo = hi = 0;
  const int bins = hi - lo + 1;
  std::vector<std::vector<int>> totals(static_cast<std::size_t>(labelCount));
  for (const FrameCounts* fc : parts)
    for (std::size_t e = 0; e < std::min(fc->perLabel.size(), totals.size()); ++e) {
      const std::vector<int>& table = fc->perLabel[e];
      if (table.empty()) continue;
      std::vector<int>& total = totals[e];
      if (total.empty()) total.assign(static_cast<std::size_t>(bins), 0);
      int* dst = total.data() + (fc->minValue - lo);
      for (std::size_t b = 0; b < table.size(); ++b) dst[b] += table[b];
    }
  out.setCounts(lo, bins, std::move(totals));
}

void SeriesStatistics::applyChanges(const Study& study, const std::vector<VoxelChange>& changes,
                                    const FrameRevisions& revisionsBefore) {
  for (const auto& [frameIdx, before] : revisionsBefore) {
    const Frame* f = study.frame(frameIdx);
    if (!f) continue;
    for (const bool selectionMode : {false, true}) {
      const auto it = frames_.find(f->uid * 2 + (selectionMode ? 1 : 0));
      if (it == frames_.end() || it->second.revision != before || it->second.maxValue < it->second.minValue) continue;
      FrameCounts& fc = it->second;
      const std::size_t bins = static_cast<std::size_t>(fc.maxValue - fc.minValue + 1);
      fc.perLabel.resize(static_cast<std::size_t>(fc.labelCount));
      bool consistent = true;
      std::vector<bool> lowered(fc.perLabel.size(), false);
      for (const VoxelChange& c : changes) {
        if (c.frame != frameIdx || c.pixel >= f->intensities.size()) continue;
        const int from = selectionMode ? (c.selectionBefore ? 1 : 0) : c.labelBefore;
        const int to = selectionMode ? (c.selectionAfter ? 1 : 0) : c.labelAfter;
        if (from == to) continue;
        const std::size_t bin = static_cast<std::size_t>(f->intensities.data()[c.pixel] - fc.minValue);
        if (from >= 1 && from <= fc.labelCount) {
          std::vector<int>& table = fc.perLabel[static_cast<std::size_t>(from - 1)];
          if (table.empty() || table[bin] == 0) {
            consistent = false;  // the counts do not hold this voxel: count the frame again
            break;
          }
          --table[bin];
          lowered[static_cast<std::size_t>(from - 1)] = true;
        }
        if (to >= 1 && to <= fc.labelCount) {
          std::vector<int>& table = fc.perLabel[static_cast<std::size_t>(to - 1)];
          if (table.empty()) table.assign(bins, 0);
          ++table[bin];
        }
      }
      // a label the edit removed from the frame has no table, as after a count
      for (std::size_t e = 0; e < lowered.size(); ++e)
        if (lowered[e] && std::all_of(fc.perLabel[e].begin(), fc.perLabel[e].end(), [](int n) { return n == 0; }))
          fc.perLabel[e].clear();
      fc.revision = f->revision;
      if (!consistent) fc.labelCount = -1;  // counted again by the next compute
    }
  }
}

}  // namespace morvex
