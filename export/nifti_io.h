#pragma once
// Label volumes of a series as NIfTI-1 files (".nii" or ".nii.gz", 8-bit labels) written and read
// through nifticlib. The sform and qform carry the patient geometry of the series, so the labels
// overlay the images in any viewer that reads the DICOM series.

#include <string>
#include <vector>

#include "study/study.h"

namespace morvex {

// The voxel grid of a series: its frames in slice order and the map from voxel (i = column,
// j = row, k = slice) to DICOM patient coordinates (mm): p = affine * (i, j, k, 1).
struct SeriesGrid {
  std::vector<int> frames;   // frame indices, slice k = frames[k]
  int width = 0, height = 0;
  // True when every frame has a position and a valid orientation: the slices are then ordered by
  // position along the slice normal. Otherwise frames keep the series order and the map is built
  // from the pixel spacing and slice thickness alone (1 mm where those are 0).
  bool patientGeometry = false;
  double affine[3][4] = {};
};

// The grid of series nGroupIdx. False with the reason in error for a series without frames, frames
// of different sizes or orientations, two slices at one position, or slices not evenly spaced
// (a regular grid could not place them).
bool seriesGrid(const Study& study, int nGroupIdx, SeriesGrid& grid, std::string& error);

// The grid's voxel-to-patient map as NIfTI's RAS map (x and y negated), row-major 4 x 4.
void niftiAffine(const SeriesGrid& grid, double out[4][4]);

// Writes the label images of a series atomically. False (target untouched) with the reason.
bool writeNiftiLabels(const std::string& path, const Study& study, int nGroupIdx, std::string& error);

// Reads a label file checked against the series: its dimensions must be the series' width, height
// and slice count, its geometry (when the series has one) must map every corner voxel within
// 0.01 mm of the series' own, its values must be whole numbers 0..255 (and label values of the
// study's label table when it has one). labels[k] belongs to grid.frames[k].
bool readNiftiLabels(const std::string& path, const Study& study, int nGroupIdx, SeriesGrid& grid,
                     std::vector<std::vector<uint8_t>>& labels, std::string& error);

// readNiftiLabels, then the label images of the series replaced all at once; nothing changes when
// the file is refused.
bool loadNiftiLabels(const std::string& path, Study& study, int nGroupIdx, std::string& error);

// The first series the file fits (dimensions and geometry), loaded; -1 with the reason of the
// last refusal when none fits.
int loadNiftiMask(const std::string& path, Study& study, std::string& error);

// True for names ending in ".nii" or ".nii.gz".
bool isNiftiPath(const std::string& path);

}  // namespace morvex
