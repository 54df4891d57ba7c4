#pragma once
// Records of the study model: one Frame per loaded slice, one Series per (patient name, series date).

#include <cstdint>
#include <string>
#include <vector>

#include "study/image_buffer.h"

namespace morvex {

// Header values of one slice, as read from a DICOM header or from a raster file name.
struct SliceHeader {
  std::string fileName;               // file name without directory and extension
  std::string filePath;               // the path exactly as loaded
  std::string patientName;
  std::string patientId;
  std::string patientAge;             // 64-byte field
  std::string patientSex;             // 64-byte field
  std::string institutionName;
  std::string seriesDate;
  std::string manufacturerModelName;
  std::string modality;
  // Series identity: several series on one date stay apart by these (Series Instance UID, or the
  // series number when a file carries no UID); seriesNumber is -1 when absent.
  std::string seriesInstanceUid;
  int seriesNumber = -1;
  std::string seriesDescription;
  float pixelSpacing = 0.0f;          // mm per pixel, first value
  float sliceThickness = 0.0f;        // mm
  int instanceNumber = 0;
  int windowCenter = 128;
  int windowWidth = 255;
  int height = 0;                     // rows
  int width = 0;                      // columns
  // Patient geometry (DICOM only; raster slices keep the defaults). Positions and directions in
  // the patient coordinates of the file (mm, x to the patient's left, y to the back, z to the head).
  // The distance used for volumes when the positions of the series' slices say it differs from
  // the thickness (overlapping or gapped reconstructions); 0 = the thickness.
  float volumeSpacing = 0.0f;
  float volumeDepth() const { return volumeSpacing > 0.0f ? volumeSpacing : sliceThickness; }
  // Area of one pixel in mm^2: row spacing x column spacing. The first spacing value alone would
  // misstate pixels that are not square (0.8 x 0.7 mm reads 14 % high as 0.8 squared); files
  // without both spacings (raster slices, headers built by hand) keep pixelSpacing squared.
  double pixelArea() const {
    return pixelSpacingRow > 0 && pixelSpacingColumn > 0 ? pixelSpacingRow * pixelSpacingColumn
                                                         : static_cast<double>(pixelSpacing) * pixelSpacing;
  }
  // Volume of one voxel in mL: pixelArea x volumeDepth.
  double voxelVolumeMl() const { return pixelArea() * volumeDepth() / 1000.0; }
  bool hasPosition = false;           // ImagePositionPatient held three values
  double imagePosition[3] = {0, 0, 0};    // centre of the first transmitted pixel
  double imageOrientation[6] = {0, 0, 0, 0, 0, 0};  // row direction, then column direction
  double pixelSpacingRow = 0;         // PixelSpacing[0]: between the centres of adjacent rows
  double pixelSpacingColumn = 0;      // PixelSpacing[1]: between the centres of adjacent columns
  double spacingBetweenSlices = 0;    // 0 when absent
  std::string studyInstanceUid;
  std::string sopInstanceUid;
  std::string frameOfReferenceUid;
};

// Decoded pixels of one slice: calibrated intensities, width x height, row-major.
struct SlicePixels {
  int width = 0;
  int height = 0;
  ImageBuffer<int16_t> intensities;
};

// One slot of the frame table. A free slot has slotState -1 and no images.
struct Frame {
  int slotState = -1;
  int seriesIndex = -1;
  SliceHeader header;
  ImageBuffer<int16_t> intensities;   // width x height
  ImageBuffer<uint8_t> labelImage;    // width x height label values, 0 = unlabelled
  ImageBuffer<uint8_t> selectionImage;// width x height, nonzero = selected
  ImageBuffer<uint8_t> divisionImage; // width x height, 1 = right part of the liver
  bool divisionDefined = false;
  // Identity of the loaded slice and a counter bumped whenever its pixels may have changed;
  // caches of derived data (statistics) compare both.
  uint64_t uid = 0;
  uint64_t revision = 0;
  // Bumped only where the label image may have changed (selection and division maps leave it).
  uint64_t labelRevision = 0;
  // The revision at which the label, selection and division images were last created empty:
  // while revision still equals it, those images hold only zeros.
  uint64_t emptyImagesRevision = 0;

  bool live() const { return slotState != -1; }
  bool hasPixels() const { return !intensities.empty(); }
  bool imagesStillEmpty() const { return revision == emptyImagesRevision; }
};

// The text that tells series of one patient and date apart: the Series Instance UID, else "#" and
// the series number, else empty (a file without either joins any series of its patient and date).
std::string seriesIdentity(const SliceHeader& header);

// One slot of the series table; a series is identified by patient name and series date, and, when
// one date holds several series, by its identity as well.
struct Series {
  int slotState = -1;
  std::string patientName;
  std::string seriesDate;
  std::string identity;  // seriesIdentity of its files; empty when none carried one
  int seriesNumber = -1;
  std::string seriesDescription;
  bool live() const { return slotState != -1; }
};

}  // namespace morvex
