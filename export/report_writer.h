#pragma once
// The text files that carry measurements out: intensity histograms (CSV), statistics records (TXT)
// and the volume report of the liver and its vessels (TXT).

#include <string>

#include "analysis/area_statistics.h"
#include "study/frame.h"

namespace morvex {

// One "intensity,count" line per bin of an entry, zero counts included.
std::string histogramCsv(const AreaStatistics& statistics, int entry);
// Patient line, column titles, and the entry's numbers (no line end after the last line).
std::string statisticsText(const SliceHeader& first, const AreaStatistics& statistics, int entry);
// The same with the right lobe (entry 5) and then the left lobe (entry 4).
std::string statisticsTextLeftRight(const SliceHeader& first, const AreaStatistics& statistics);

// Volumes (mL) of a series: liver total and without vessels, right and left lobes with and without.
struct ReportVolumes {
  float total = 0, withoutVessels = 0, right = 0, rightWithoutVessels = 0, left = 0, leftWithoutVessels = 0;
  float wholeLiver = 0;  // liver, vessels and tumours (labels 1 to 7), divided or not
};
// voxelMl: the voxel volume of the series' first frame (SliceHeader::voxelVolumeMl).
ReportVolumes reportVolumes(const AreaStatistics& statistics, double voxelMl);
std::string reportText(const SliceHeader& first, const AreaStatistics& statistics);
// The report file: reportText, then a row of its own "whole liver<TAB>mL".
std::string volumeReportText(const SliceHeader& first, const AreaStatistics& statistics);

}  // namespace morvex
