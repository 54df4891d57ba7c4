#include "export/report_writer.h"

#include <algorithm>
#include <cstdio>

#include "study/label_table.h"

namespace morvex {

namespace {

std::string format(const char* fmt, double a) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, a);
  return buf;
}

std::string patientLine(const SliceHeader& h) {
  return h.patientId + "\t" + h.patientName + "\t" + h.patientSex + "\t" + h.patientAge + "\t\n";
}

std::string numbersLine(const AreaStatistics& st, int e) {
  return format("%.0f\t", st.min(e)) + format("%.0f\t", st.q1(e)) + format("%.0f\t", st.median(e)) +
         format("%.0f\t", st.q3(e)) + format("%.0f\t", st.max(e)) + format("%.2f\t", st.average(e)) +
         format("%.2f\t", st.std(e)) + format("%.0f", st.pixelCnt(e));
}

const char* kTitles = "min\tQ1\tmedian\tQ3\tmax\tavg\tstd\tpixelCnt\n";

}  // namespace

std::string histogramCsv(const AreaStatistics& st, int entry) {
  std::string out;
  const int* counts = st.counts(entry);
  if (!counts) return out;
  out.reserve(static_cast<std::size_t>(st.binCount()) * 10);
  char line[48];
  for (int b = 0; b < st.binCount(); ++b) {
    std::snprintf(line, sizeof line, "%d,%d\n", st.base() + b, counts[b]);
    out += line;
  }
  return out;
}

std::string statisticsText(const SliceHeader& first, const AreaStatistics& st, int entry) {
  return patientLine(first) + kTitles + numbersLine(st, entry);
}

std::string statisticsTextLeftRight(const SliceHeader& first, const AreaStatistics& st) {
  return patientLine(first) + kTitles + numbersLine(st, kLiverRight) + "\n" + numbersLine(st, kLiverLeft);
}

ReportVolumes reportVolumes(const AreaStatistics& st, double voxelMl) {
  const float v = static_cast<float>(voxelMl);
  auto P = [&](int n) { return st.pixelCnt(n) * v; };
  ReportVolumes r;
  float total = P(1) + P(2), vessels = P(2);
  const float right = P(5) + P(7), left = P(4) + P(6);
  if (right > 0 || left > 0) {
    total = right + left;
    vessels = P(7) + P(6);
  }
  r.total = total;
  r.withoutVessels = total - vessels;
  r.right = right;
  r.rightWithoutVessels = std::max(right - P(7), 0.0f);
  r.left = left;
  r.leftWithoutVessels = std::max(left - P(6), 0.0f);
  for (int n = 1; n <= 7; ++n) r.wholeLiver += P(n);
  return r;
}

std::string reportText(const SliceHeader& first, const AreaStatistics& st) {
  const ReportVolumes r = reportVolumes(st, first.voxelVolumeMl());
  return patientLine(first) + format("%.1f\t", r.total) + format("%.1f\t", r.withoutVessels) +
         format("%.1f\t", r.right) + format("%.1f\t", r.rightWithoutVessels) + format("%.1f\t", r.left) +
         format("%.1f", r.leftWithoutVessels);
}

std::string volumeReportText(const SliceHeader& first, const AreaStatistics& st) {
  return reportText(first, st) + format("\nwhole liver\t%.1f", reportVolumes(st, first.voxelVolumeMl()).wholeLiver);
}

}  // namespace morvex
