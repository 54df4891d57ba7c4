#include "study/dicom_geometry.h"

#include <cmath>

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>

#include "study/text_field.h"

namespace morvex {

namespace {

// All n values of a decimal-string attribute, or false (out untouched) when any is missing.
bool readValues(DcmItem* item, const DcmTagKey& key, double* out, int n) {
  double values[6];
  for (int i = 0; i < n; ++i) {
    Float64 v = 0;
    if (item->findAndGetFloat64(key, v, static_cast<unsigned long>(i)).bad() || !std::isfinite(v)) return false;
    values[i] = v;
  }
  for (int i = 0; i < n; ++i) out[i] = values[i];
  return true;
}

std::string uidOf(DcmItem* item, const DcmTagKey& key) {
  OFString value;
  if (item->findAndGetOFString(key, value).bad()) return std::string();
  std::string text;
  assignText(text, value.c_str(), kShortCapacity + 1);  // a UID holds at most 64 characters
  return text;
}

}  // namespace

void readDicomGeometry(DcmItem* ds, SliceHeader& h) {
  h.hasPosition = readValues(ds, DCM_ImagePositionPatient, h.imagePosition, 3);
  readValues(ds, DCM_ImageOrientationPatient, h.imageOrientation, 6);
  double spacing[2] = {0, 0};
  if (readValues(ds, DCM_PixelSpacing, spacing, 2) && spacing[0] > 0 && spacing[1] > 0) {
    h.pixelSpacingRow = spacing[0];
    h.pixelSpacingColumn = spacing[1];
  }
  double between = 0;
  if (readValues(ds, DCM_SpacingBetweenSlices, &between, 1) && between > 0) h.spacingBetweenSlices = between;
  h.studyInstanceUid = uidOf(ds, DCM_StudyInstanceUID);
  h.sopInstanceUid = uidOf(ds, DCM_SOPInstanceUID);
  h.frameOfReferenceUid = uidOf(ds, DCM_FrameOfReferenceUID);
}

}  // namespace morvex
