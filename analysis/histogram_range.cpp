#include "analysis/histogram_range.h"

#include "analysis/area_statistics.h"
#include "study/label_table.h"

namespace morvex {

bool satisfiesOption(int value, int low, int high, int option) {
  switch (option) {
    case 1: return value < low;
    case 2: return value >= low && value <= high;
    case 3: return value > high;
    default: return false;
  }
}

bool inLiverArea(uint8_t label, int areaOption) {
  switch (areaOption) {
    case 1: return label == kLiver || label == kLiverLeft || label == kLiverRight;
    case 2: return label == kLiverRight;
    case 3: return label == kLiverLeft;
    default: return false;
  }
}

int liverEntryOfArea(int areaOption) {
  return areaOption == 2 ? kLiverRight : areaOption == 3 ? kLiverLeft : kLiver;
}

void selectHistogramRange(const int16_t* intensities, const uint8_t* labels, uint8_t* selection, std::size_t n,
                          int low, int high, int areaOption, int option) {
  if (!intensities || !labels || !selection) return;
  for (std::size_t i = 0; i < n; ++i)
    selection[i] = inLiverArea(labels[i], areaOption) && satisfiesOption(intensities[i], low, high, option) ? 255 : 0;
}

void liverAutoRange(float q1, float median, float q3, int& low, int& high) {
  const int d = static_cast<int>(median - q1);
  low = static_cast<int>(q1 - static_cast<float>(d));
  high = static_cast<int>(static_cast<float>(d) + q3);
}

LiverHistogramPlan planLiverHistogram(const AreaStatistics& st, int areaOption) {
  LiverHistogramPlan plan;
  plan.hasLiver = st.pixelCnt(kLiver) > 0 || st.pixelCnt(kLiverLeft) > 0;
  if (!plan.hasLiver) return plan;
  const int e = liverEntryOfArea(areaOption);
  plan.entry = e;
  plan.pixelCnt = static_cast<int>(st.pixelCnt(e));
  if (plan.pixelCnt == 0) return plan;
  plan.show = true;
  plan.min = st.min(e);
  plan.q1 = st.q1(e);
  plan.median = st.median(e);
  plan.q3 = st.q3(e);
  plan.max = st.max(e);
  plan.average = st.average(e);
  plan.std = st.std(e);
  liverAutoRange(plan.q1, plan.median, plan.q3, plan.autoLow, plan.autoHigh);
  plan.markers[0] = static_cast<int>(plan.q1);
  plan.markers[1] = static_cast<int>(plan.median);
  plan.markers[2] = static_cast<int>(plan.q3);
  return plan;
}

}  // namespace morvex
