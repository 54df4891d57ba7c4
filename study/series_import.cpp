#include "study/series_import.h"

#include <algorithm>
#include <cstdio>

#include "study/import_rules.h"
#include "study/text_field.h"

namespace morvex {

namespace {
// Shortest of fixed and exponent notation with 6 significant digits (0.703125, 5, 1e-07).
std::string shortNumber(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}
}  // namespace

std::vector<ImportedSlice> importSlices(Study& study, std::vector<std::string> paths,
                                        const std::vector<std::string>& nameList,
                                        const std::function<void(int)>& progress,
                                        const std::function<bool()>& beforeFirstSlice) {
  std::vector<ImportedSlice> loaded;
  std::stable_sort(paths.begin(), paths.end(), naturalLess);
  const std::size_t n = paths.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::string& path = paths[i];
    const bool listed = nameList.empty() ||
                        std::find(nameList.begin(), nameList.end(), normalizeCaseKey(baseName(path))) != nameList.end();
    if (listed) {
      bool stopped = false;
      std::function<void()> first;
      if (loaded.empty() && beforeFirstSlice) first = [&] { stopped = !beforeFirstSlice(); };
      const int f = study.addFrameFromFile(path.c_str(), first, &stopped);
      if (stopped) return loaded;
      if (f >= 0) {
        const SliceHeader& h = study.frame(f)->header;
        loaded.push_back({f, h.instanceNumber, h.patientName, h.seriesDate});
      }
    }
    if (progress) progress(static_cast<int>((i + 1) * 100 / n));
  }
  if (!loaded.empty()) study.sortSeriesByInstance();
  return loaded;
}

std::vector<std::pair<std::string, std::string>> dicomInfoRows(const SliceHeader& h) {
  return {
      {"PatientID", "-"},
      {"PatientName", "-"},
      {"PatientSex", "-"},
      {"PatientAge", "-"},
      {"InstitutionName", "-"},
      {"SeriesDate", h.seriesDate},
      {"ManufacturerModelName", h.manufacturerModelName},
      {"Modality", h.modality},
      {"PixelSpacing", shortNumber(h.pixelSpacing)},
      {"SliceThickness", shortNumber(h.sliceThickness)},
      {"Rows", std::to_string(h.height)},
      {"Columns", std::to_string(h.width)},
      {"InstanceNumber", std::to_string(h.instanceNumber)},
  };
}

}  // namespace morvex
