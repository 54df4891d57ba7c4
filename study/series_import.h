#pragma once
// The window-free part of a series import and of the DICOM information panel.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "study/study.h"

namespace morvex {

struct ImportedSlice {
  int frameIndex;  // where the file was stored before sorting
  int instanceNumber;
  int seriesIndex;  // kept by the sort
  std::string patientName;
  std::string seriesDate;
};

// Loads paths into study in natural order, skipping files whose case key is not in nameList (when
// nameList is not empty), then sorts every series by instance number. progress(percent) runs after
// each file with the integer part of (i + 1) / n * 100. beforeFirstSlice (when given) runs once,
// after the first file has decoded and before it is stored: an import that loads nothing leaves
// the study as it was, and one whose beforeFirstSlice says false stops there and stores nothing.
// Returns the files that loaded, in load order.
std::vector<ImportedSlice> importSlices(Study& study, std::vector<std::string> paths,
                                        const std::vector<std::string>& nameList,
                                        const std::function<void(int)>& progress = {},
                                        const std::function<bool()>& beforeFirstSlice = {});

// The thirteen rows of the DICOM information panel for a frame; patient-identifying rows show "-".
std::vector<std::pair<std::string, std::string>> dicomInfoRows(const SliceHeader& header);

}  // namespace morvex
