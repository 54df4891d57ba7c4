#pragma once
// The state of the histogram widget without any drawing: bins of a slice or of a count table, an
// interval picked with two handles on a track under the plot, and marker intensities. The widget
// (CHistogramView) only paints this and turns mouse events into calls.

#include <cstdint>
#include <vector>

namespace morvex {

// The dominant intensity cluster of an image (pixels whose mask value is nonzero when a mask is
// given): 4096 bins above the smallest counted value, bins under 100 pixels dropped, clusters
// separated by 100 empty bins, the largest wins; the range carries 100 steps of margin below.
void findDominantRange(const int16_t* image, const int16_t* mask, int width, int height, int* low, int* high);

// Tick values of an intensity axis from low to high: multiples of a step of 1, 2 or 5 times a
// power of ten, the smallest such step that gives at most maxTicks ticks inside [low, high].
// Empty for an empty or invalid range.
std::vector<int> axisTicks(float low, float high, int maxTicks);

class HistogramModel {
 public:
  // Geometry of the plot and the handle track, in widget pixels.
  static constexpr int kTop = 5, kLeft = 15, kTrackWidth = 220, kHandleWidth = 10, kHandleHeight = 15,
                       kTrackGap = 6, kPlotWidth = 220, kPlotHeight = 70;
  static constexpr int kTrackY = kTrackGap + kTop + kPlotHeight;

  // 0: value pairs are (level, width); 1: (low, high).
  int inputMode = 0;
  // The window preset behind the current handles: 0 DCM, 1 Auto, 2 Full Dynamic, 3 MR PDFF, 4 Custom.
  int preset = 0;

  bool hasBins() const { return !bins_.empty(); }
  const std::vector<int>& bins() const { return bins_; }
  int countScale() const { return countScale_; }
  float rangeMin() const { return rangeMin_; }
  float rangeMax() const { return rangeMax_; }
  float lowValue() const { return lowValue_; }
  float highValue() const { return highValue_; }
  float lowX() const { return lowX_; }
  float highX() const { return highX_; }
  const std::vector<int>& markers() const { return markers_; }
  int dragHandle() const { return dragHandle_; }

  // Handle rules: the value is always taken; the x position follows only on the accepted side, and
  // a handle crossing the other pushes it one step beyond.
  void setLow(int value);
  void setHigh(int value);
  // (level, width) or (low, high) by input mode; lower handle first. False (nothing done) without bins.
  bool setValues(int a, int b);
  // Bins of every intensity of a slice, counts clipped at 2500; handles to the range ends. False
  // (nothing changed) for an empty slice.
  bool computeHistogram(const int16_t* image, int width, int height);
  // Bins low..high copied from a count table whose entry 0 is intensity tableBase (entries outside
  // the table count 0); the scale is the largest count.
  bool setHistogram(const int* table, int tableSize, int tableBase, int low, int high);
  // Handles on the dominant cluster inside the body (-200..240 when it starts below -499).
  bool setAutoRange(const int16_t* image, int width, int height);
  void setMarkers(const int* values, int count);
  void reset();

  // Mouse: press picks a handle, move drags it (true when the interval changed and the owner must
  // emit its signal), release lets go.
  void press(int x, int y, int viewHeight);
  bool move(int x, int y, int viewHeight);
  void release() { dragHandle_ = -1; }

  float xOf(float value) const;

 private:
  std::vector<int> bins_;
  std::vector<int> markers_;
  int countScale_ = 2500;
  float rangeMin_ = 0, rangeMax_ = 0, lowValue_ = 0, highValue_ = 0, lowX_ = 0, highX_ = 0;
  int dragHandle_ = -1;
  void handlesToRangeEnds();
};

}  // namespace morvex
