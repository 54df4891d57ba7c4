#pragma once
// Mask import: label masks written by mask export read back into the label images of frames that
// are already loaded. Single-image masks (PNG, BMP, ...) find their frame by name; a multi-page
// TIFF fills a whole series, page k into the series' k-th frame, and so does a NIfTI label volume.

#include "study/study.h"

namespace morvex {

// Loads one mask file. Returns the frame a single-image mask was loaded into, otherwise -1
// (TIFF series masks, masks that match no frame, unreadable files, size mismatches). A single-image
// mask goes to the slice named as the mask without its "m_" (with or without the slice's
// extension), else to the frame of the patient, date and instance its name carries, else to the
// frame whose file name contains it; a name that fits several frames (and not exactly one in the
// mask's folder) is refused with a warning naming two of them. A NIfTI volume (".nii",
// ".nii.gz") fills the first series whose dimensions and geometry it matches and returns that
// series' first frame; a volume that fits no series is refused with a warning.
int loadMaskFile(Study& study, const char* path);

// The pages of a multi-page TIFF into series nGroupIdx, page k into the series' k-th frame, whatever
// the file's name; pages of another size or past the series are skipped. pages counts the pages
// read (one past the series at most), applied those copied into a frame.
struct TiffPages {
  int pages = 0;
  int applied = 0;
};
TiffPages loadTiffPages(Study& study, const char* path, int nGroupIdx);

// Copies a grey mask into frame k's labels: a mask holding any 255 is binary (label 1 where above
// 125), otherwise its values are the labels. False with the size warning when sizes differ.
bool applyMaskImage(Study& study, int k, const uint8_t* mask, int width, int height);

}  // namespace morvex
