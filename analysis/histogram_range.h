#pragma once
// Liver histogram analysis without widgets: which liver pixels an intensity interval selects, and
// what the liver histogram shows for a series (its bins, the automatic interval from the
// quartiles, the marker lines and the summary numbers).

#include <cstddef>
#include <cstdint>

namespace morvex {

class AreaStatistics;

// Selection options: 1 "< low" (v < low), 2 "low~high" (low <= v <= high), 3 ">high" (v > high);
// any other value selects nothing.
bool satisfiesOption(int value, int low, int high, int option);
// Liver areas: 1 whole liver (labels 1, 4, 5), 2 right lobe (5), 3 left lobe (4); other values none.
bool inLiverArea(uint8_t label, int areaOption);
// Statistics entry that stands for a liver area: 5 for the right lobe, 4 for the left, else 1.
int liverEntryOfArea(int areaOption);

// Rewrites one frame's selection (n pixels): 255 on pixels of the liver area whose intensity
// satisfies the option, 0 everywhere else.
void selectHistogramRange(const int16_t* intensities, const uint8_t* labels, uint8_t* selection, std::size_t n,
                          int low, int high, int areaOption, int option);

// What the liver histogram of a series shows for a liver area.
struct LiverHistogramPlan {
  bool hasLiver = false;  // label 1 or 4 has pixels: without it nothing changes
  bool show = false;      // the area's entry has pixels: bins, interval, markers and numbers below
  int entry = 1;
  int autoLow = 0, autoHigh = 0;  // Q1 - (median - Q1) .. Q3 + (median - Q1), truncated
  int markers[3] = {0, 0, 0};     // Q1, median, Q3 truncated
  float min = 0, q1 = 0, median = 0, q3 = 0, max = 0, average = 0, std = 0;
  int pixelCnt = 0;
};
LiverHistogramPlan planLiverHistogram(const AreaStatistics& statistics, int areaOption);
// The automatic interval alone, from the quartiles.
void liverAutoRange(float q1, float median, float q3, int& low, int& high);

}  // namespace morvex
