#pragma once
// Mask files: one 8-bit image per frame (label values, or 255 where labelled in binary mode) and
// one multi-page TIFF per series, page k holding the label image of the series' k-th frame.

#include <string>

#include "study/study.h"

namespace morvex {

// Writes a frame's labels as an 8-bit image; the format follows the extension of path. False when
// nothing was written (the target then keeps what it held).
bool writeMaskImage(const std::string& path, const uint8_t* labels, int width, int height, bool binary);

// Writes the series' TIFF: pages from the first to the last frame of the series, each
// ImageLength / ImageWidth of the first frame, 8 bits, one sample, no compression, min-is-black,
// RowsPerStrip from the library's default for the width, NewSubfileType 2, PageNumber (k, N).
// Frames of another size are cropped or padded with 0 to the first frame's size; a frame inside
// the range that belongs to another series is skipped (PageNumber counts the pages written).
bool writeSeriesTiff(const std::string& path, const Study& study, int nGroupIdx);

// root/patientName/seriesDate, both names made safe by fileNamePart (no header leaves root), each
// level created when missing; "" when a level cannot be made or the path does not fit.
std::string seriesFolder(const std::string& root, const std::string& patientName, const std::string& seriesDate);

// The contrast picture of a frame: intensities stretched over the frame's range to 0..255 as grey.
// rescaleToRange maps min..max of the image onto minimum..maximum in place (unchanged when flat).
void rescaleToRange(int16_t* image, int width, int height, int maximum, int minimum);
bool writeContrastImage(const std::string& path, const int16_t* intensities, int width, int height);

}  // namespace morvex
