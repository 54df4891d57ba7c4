#pragma once
// The label images of a DICOM series as a binary DICOM Segmentation (through DCMTK's dcmseg): one
// segment per label that occurs, named, coded (left and right parts by a laterality modifier) and
// coloured from the label table, each frame placed at its slice's position and referencing the slice
// it was derived from; the referenced slices are listed in the Common Instance Reference module.

#include <cstdint>
#include <string>
#include <vector>

#include "study/label_table.h"
#include "study/study.h"

namespace morvex {

// True when every slice of the series came from a DICOM file with SOP Instance, Series and Study UIDs, the
// series has a regular patient grid (the slices a segmentation can reference) and holds labels.
bool canWriteDicomSeg(const Study& study, int nGroupIdx, std::string* why = nullptr);

// Writes the segmentation of series nGroupIdx atomically. Patient and study come from the first slice
// with their padding (NUL or space) removed; a value still invalid is left out when optional, else the
// write is refused naming the attribute and the file. A series without a Frame of Reference UID gets a
// new one (logged). False with the reason (canWriteDicomSeg's among them), the target untouched.
bool writeDicomSeg(const std::string& path, const Study& study, int nGroupIdx, const LabelTable& table,
                   std::string& error);

// Reads a binary or fractional segmentation (a fractional pixel counts from half its maximum value)
// as label images of the series' frames (labels[i] for the series' i-th frame in frame order). A frame
// is matched to the slice it references, or, when it references none, to the slice whose position
// lies within half a slice spacing along the normal; a segment to the label of its name, else to the
// one label of its property type (and laterality) codes. Refused with the reason for another size,
// counts the file does not hold (frames, per-frame items, pixel bytes), a segment that matches no
// label, a frame that references or lies on no slice of the series, or overlapping segments.
bool readDicomSeg(const std::string& path, const Study& study, int nGroupIdx, const LabelTable& table,
                  std::vector<std::vector<uint8_t>>& labels, std::string& error);

// True for a DICOM file of the Segmentation Storage class.
bool isDicomSeg(const std::string& path);

// readDicomSeg, then the label images of the series replaced all at once (nothing changes when the
// file is refused).
bool loadDicomSeg(const std::string& path, Study& study, int nGroupIdx, const LabelTable& table, std::string& error);

}  // namespace morvex
