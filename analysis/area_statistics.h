#pragma once
// Per-label intensity statistics of a series or slice: count tables, min, max, average, quartiles,
// sample standard deviation and pixel count. SeriesStatistics keeps per-frame count tables so that
// refreshing a series after an edit of one frame costs about one frame.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "study/voxel_change.h"

namespace morvex {

class Study;

// Bin index (0-based, possibly the mean of two bins) of fraction q of total values, by rank: with
// the values sorted and ranked 0 .. total - 1, position p = (total - 1) q; a whole p takes the
// value of rank p, any other the mean of ranks floor(p) and floor(p) + 1. So the median is the
// middle value (odd totals) or the mean of the two middle values (even totals), and
// min <= q1 <= median <= q3 <= max for every count. (The first rule of this function took rank
// trunc((total + 1) q) and trunc(total q) + 1, one rank too high: for 4 values it asked for a fifth
// and read it as 0, putting q3 below the minimum. On large counts both rules land in the same
// bins.) total is capped at the sum of the counts; 0 for no values.
float quantileFromCounts(const int* counts, int binCount, int total, float q);

class AreaStatistics {
 public:
  explicit AreaStatistics(int labelCount = 0);

  // Statistics over slices of their own sizes. Label mode counts pixel p into entry labels[p]
  // (0 and values above labelCount skipped); selection mode counts every nonzero byte into entry 1.
  void computeSeries(const int16_t* const* intensities, const uint8_t* const* labels, const int* widths,
                     const int* heights, int sliceCount, bool selectionMode);
  void computeSlice(const int16_t* intensities, const uint8_t* labels, int width, int height, bool selectionMode);
  // Takes finished count tables (entry e at counts[e - 1], binCount bins from base) and derives the
  // summary numbers; the incremental path ends here too.
  void setCounts(int base, int binCount, std::vector<std::vector<int>> counts);
  void reset();

  int labelCount() const { return labelCount_; }
  bool computed() const { return computed_; }
  int base() const { return base_; }
  int binCount() const { return binCount_; }
  // Entries are addressed by label value 1..labelCount; other values give 0 / null.
  const int* counts(int entry) const;
  float min(int entry) const { return field(entry, &Entry::min); }
  float max(int entry) const { return field(entry, &Entry::max); }
  float average(int entry) const { return field(entry, &Entry::average); }
  float q1(int entry) const { return field(entry, &Entry::q1); }
  float median(int entry) const { return field(entry, &Entry::median); }
  float q3(int entry) const { return field(entry, &Entry::q3); }
  float std(int entry) const { return field(entry, &Entry::std); }
  float sum(int entry) const { return field(entry, &Entry::sum); }
  float pixelCnt(int entry) const { return valid(entry) ? static_cast<float>(entries_[entry - 1].pixelCnt) : 0.0f; }

 private:
  struct Entry {
    std::vector<int> counts;
    float min = 0, max = 0, sum = 0, average = 0, q1 = 0, median = 0, q3 = 0, std = 0;
    int pixelCnt = 0;
  };
  bool valid(int entry) const { return computed_ && entry >= 1 && entry <= labelCount_; }
  float field(int entry, float Entry::*member) const { return valid(entry) ? entries_[entry - 1].*member : 0.0f; }
  void summarise(Entry& e) const;

  int labelCount_;
  int base_ = 0;
  int binCount_ = 0;
  bool computed_ = false;
  std::vector<Entry> entries_;
};

// Statistics of a series from per-frame count tables. A frame is recounted only when its pixels
// may have changed since it was last counted (its revision in the study); the series totals are
// then updated by that frame's difference. Every figure equals a full computeSeries.
class SeriesStatistics {
 public:
  // The statistics of series nGroupIdx into out (out's labelCount entries; 1 in selection mode).
  void compute(const Study& study, int nGroupIdx, bool selectionMode, AreaStatistics& out);
  void clear() { frames_.clear(); }
  // An edit across frames (an edit in a coronal or sagittal plane) updates the counts of the frames
  // it wrote by its changes instead of a recount, where they were counted at the revision the frame
  // had just before the write; any other frame is recounted by the next compute as usual.
  void applyChanges(const Study& study, const std::vector<VoxelChange>& changes, const FrameRevisions& revisionsBefore);
  // How many frames the last compute had to count again (for tests and benchmarks).
  int recountedFrames() const { return recounted_; }

 private:
  struct FrameCounts {
    uint64_t revision = 0;
    int labelCount = 0;                        // the table size the frame was counted for
    int minValue = 0, maxValue = -1;           // intensity range of the whole frame
    std::vector<std::vector<int>> perLabel;    // [label - 1][v - minValue], empty when absent
  };
  const FrameCounts& countsOf(const Study& study, int frameIdx, int labelCount, bool selectionMode);

  std::unordered_map<uint64_t, FrameCounts> frames_;  // by frame uid and mode
  int recounted_ = 0;
};

}  // namespace morvex
