#pragma once
// The series the NIfTI fuzz target reads label volumes against, and its seeds are written from:
// three 16 x 16 axial slices 3 mm apart (the size of the hostile samples).

#include <utility>

#include "study/study.h"

namespace morvex::fuzz {

inline void addNiftiSeries(Study& study) {
  for (int k = 0; k < 3; ++k) {
    SliceHeader h;
    h.patientName = "FUZZ^NIFTI";
    h.seriesDate = "20260101";
    h.instanceNumber = k + 1;
    h.hasPosition = true;
    h.imagePosition[2] = 3.0 * k;
    h.imageOrientation[0] = h.imageOrientation[4] = 1;
    h.pixelSpacingRow = 0.5;
    h.pixelSpacingColumn = 0.8;
    h.pixelSpacing = 0.5f;
    h.sliceThickness = 3.0f;
    SlicePixels pixels;
    pixels.width = pixels.height = 16;
    study.insertFrame(h, std::move(pixels));
  }
}

}  // namespace morvex::fuzz
