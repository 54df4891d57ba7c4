#pragma once
// Decoding of one slice file into header values and calibrated 16-bit intensities.
// DICOM goes through DCMTK (compressed transfer syntaxes included); jpg / png / bmp through
// OpenCV as 8-bit grey with the metadata taken from the file name.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "study/frame.h"
#include "study/study.h"

namespace morvex {

// Registers DCMTK's RLE, JPEG and JPEG-LS decoders (JPEG 2000 is decoded with OpenJPEG when a
// file is opened, see jpeg2000_frame.h) and silences DCMTK's own logger so that only
// this program's diagnostic lines reach the console. Safe to call any number of times.
void initDicomCodecs();

enum class SliceFormat { Skip, Dicom, Raster };

// How a path is read: "dcm" is DICOM, "txt" is skipped, "jpg" / "png" / "bmp" are raster images;
// any other file is DICOM when it carries the preamble ("DICM" at byte 128), else a raster
// candidate when it has an extension, else skipped.
SliceFormat sliceFormatOf(const char* path);
bool hasDicomPreamble(const char* path);

// One opened slice file: the header is read once and the pixels are decoded from the same parse.
class SliceFile {
 public:
  SliceFile();
  ~SliceFile();
  SliceFile(const SliceFile&) = delete;
  SliceFile& operator=(const SliceFile&) = delete;

  // Opens path and reads its header. False when the file is skipped: a DICOM file that DCMTK
  // cannot parse or convert (logged with "DCMTK error: "), a "txt" file, or an unreadable image.
  bool open(const char* path);
  const SliceHeader& header() const;
  SliceFormat format() const;
  // Decodes the pixels into out (width, height, intensities). False on failure: DICOM failures
  // are logged, an unsupported raster extension is reported through warn.
  bool decode(SlicePixels& out, const WarningSink& warn);
  // Why the last open or decode failed, in words for the user ("missing Instance Number
  // (0020,0013)", "image of 40000 x 40000 pixels exceeds ..."); empty after a success.
  const std::string& failure() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// The DICOM pixel decoder on a file: fills width, height and intensities (resized as needed) and
// reports the instance number (-1 when unread), pixel spacing and slice thickness it read.
bool loadDcmFile_dcmtk(const char* path, int* width, int* height, std::vector<int16_t>& intensities,
                       int* instanceNumber, double* spacingX, double* spacingY, double* sliceThickness);

// Decodes one slice file by its extension into out; false (with the warning where one is due)
// when the file cannot be decoded.
bool loadPixels(const char* path, SlicePixels& out, const WarningSink& warn);

}  // namespace morvex
