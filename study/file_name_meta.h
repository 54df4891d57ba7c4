#pragma once
// Metadata of slices stored as raster images (exported masks, contrast images, screenshots):
// patient, series date and instance number are taken from the file name.

#include <string>

#include "study/frame.h"

namespace morvex {

// Fills fileName, patientName, seriesDate and instanceNumber of a raster slice from its path.
// Example: "m_P001_20200115_12.png" -> fileName "P001_20200115_12", patientName "P001_20200115",
// seriesDate "20200115", instanceNumber 12.
// The name (without directory and extension) loses a one- or two-character prefix such as "m_" or
// "c_"; its "_"-separated parts then give: the series date (first part with eight digits, or
// "1900-01-01"), the instance number (last part) and the patient name (all other parts).
void rasterHeaderFromFileName(const std::string& path, SliceHeader& header);

// Integer value of a whole string (optional sign, digits only); false when it is not one.
bool parseWholeInt(const std::string& text, int& value);

}  // namespace morvex
