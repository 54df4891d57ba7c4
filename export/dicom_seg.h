#pragma once
// The label images of a DICOM series as a binary DICOM Segmentation (through DCMTK's dcmseg): one
// segment per label that occurs, named and coloured from the label table, each frame placed at its
// slice's position and referencing the slice it was derived from.

#include <cstdint>
#include <string>
#include <vector>

#include "study/label_table.h"
#include "study/study.h"

namespace morvex {

// True when every slice of the series came from a DICOM file with SOP Instance and Study UIDs, the
// series has a regular patient grid (the slices a segmentation can reference) and holds labels.
bool canWriteDicomSeg(const Study& study, int nGroupIdx, std::string* why = nullptr);

// Writes the segmentation of series nGroupIdx atomically. False with the reason (canWriteDicomSeg's
// among them), the target untouched.
bool writeDicomSeg(const std::string& path, const Study& study, int nGroupIdx, const LabelTable& table,
                   std::string& error);

// Reads a segmentation back as label images of the series' frames (labels[i] for the series' i-th
// frame in frame order): frames are matched to slices by the referenced SOP Instance UID, segments
// to label values by their label's name in the table. Refused with the reason for another size,
// an unknown segment name, a frame that references no slice of the series, or overlapping segments.
bool readDicomSeg(const std::string& path, const Study& study, int nGroupIdx, const LabelTable& table,
                  std::vector<std::vector<uint8_t>>& labels, std::string& error);

// True for a DICOM file of the Segmentation Storage class.
bool isDicomSeg(const std::string& path);

// readDicomSeg, then the label images of the series replaced all at once (nothing changes when the
// file is refused).
bool loadDicomSeg(const std::string& path, Study& study, int nGroupIdx, const LabelTable& table, std::string& error);

}  // namespace morvex
