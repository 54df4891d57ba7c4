#pragma once
// A small CT series written with DCMTK, for the exchange tests and the fuzz targets: by default
// non-square slices (12 columns, 7 rows), unequal row and column spacing, and slices that lie closer
// together than they are thick, so that a swapped dimension or spacing shows.

#include <string>
#include <utility>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcuid.h"

namespace morvex::testing {

struct CtSeriesSpec {
  int columns = 12, rows = 7, slices = 4;
  double rowSpacing = 0.8, columnSpacing = 0.7;  // Pixel Spacing: between rows, between columns (mm)
  double thickness = 2.5, step = 1.5;           // Slice Thickness; distance of the positions (mm)
  std::string uidRoot = "2.25.8150426";
};

inline std::string ctSliceUid(const CtSeriesSpec& spec, int k) { return spec.uidRoot + ".3." + std::to_string(k + 1); }

// Writes slice k as "CT<k+1>.dcm" into folder (which must exist), positions rising by step along the
// normal; pixel values vary with column and row. Returns the paths in position order.
inline std::vector<std::string> writeCtSeries(const std::string& folder, const CtSeriesSpec& spec = {}) {
  std::vector<std::string> paths;
  for (int k = 0; k < spec.slices; ++k) {
    DcmFileFormat ff;
    DcmDataset* ds = ff.getDataset();
    const std::pair<DcmTagKey, std::string> text[] = {
        {DCM_SOPClassUID, UID_CTImageStorage}, {DCM_SOPInstanceUID, ctSliceUid(spec, k)},
        {DCM_StudyInstanceUID, spec.uidRoot + ".1"}, {DCM_SeriesInstanceUID, spec.uidRoot + ".2"},
        {DCM_FrameOfReferenceUID, spec.uidRoot + ".4"}, {DCM_Modality, "CT"}, {DCM_PatientName, "SMALL^CT"},
        {DCM_PatientID, "CT0001"}, {DCM_PatientSex, "F"}, {DCM_StudyDate, "20260102"}, {DCM_SeriesDate, "20260102"},
        {DCM_SeriesNumber, "2"}, {DCM_InstanceNumber, std::to_string(k + 1)},
        {DCM_ImagePositionPatient, "-4.5\\-3\\" + std::to_string(10 + spec.step * k)},
        {DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0"},
        {DCM_PixelSpacing, std::to_string(spec.rowSpacing) + "\\" + std::to_string(spec.columnSpacing)},
        {DCM_SliceThickness, std::to_string(spec.thickness)}, {DCM_RescaleIntercept, "-1024"},
        {DCM_RescaleSlope, "1"}, {DCM_PhotometricInterpretation, "MONOCHROME2"}};
    for (const auto& [tag, value] : text) ds->putAndInsertString(tag, value.c_str());
    const std::pair<DcmTagKey, int> numbers[] = {{DCM_Rows, spec.rows}, {DCM_Columns, spec.columns}, {DCM_SamplesPerPixel, 1},
                                                  {DCM_BitsAllocated, 16}, {DCM_BitsStored, 12}, {DCM_HighBit, 11},
                                                  {DCM_PixelRepresentation, 0}};
    for (const auto& [tag, value] : numbers) ds->putAndInsertUint16(tag, static_cast<Uint16>(value));
    std::vector<Uint16> pixels(static_cast<std::size_t>(spec.rows) * spec.columns);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<Uint16>(1000 + 10 * i + k);
    ds->putAndInsertUint16Array(DCM_PixelData, pixels.data(), static_cast<unsigned long>(pixels.size()));
    paths.push_back(folder + "/CT" + std::to_string(k + 1) + ".dcm");
    ff.saveFile(paths.back().c_str(), EXS_LittleEndianExplicit);
  }
  return paths;
}

}  // namespace morvex::testing
