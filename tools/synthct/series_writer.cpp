#include "tools/synthct/series_writer.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcuid.h"

namespace morvex::synth {

namespace {

std::string uidRoot(const PhantomOptions& o) {
  // Deterministic identifiers under the UUID-derived arc.
  unsigned long long h = 1469598103934665603ULL ^ o.seed;
  for (char c : o.patientId + o.seriesDate) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return "2.25." + std::to_string(h);
}

int writtenColumns(const PhantomOptions& o) { return o.columns > 0 && o.columns < o.size ? o.columns : o.size; }

std::string fmt(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

bool writeSlice(const PhantomOptions& o, const PhantomSlice& s, int k, const std::string& path) {
  DcmFileFormat ff;
  DcmDataset* ds = ff.getDataset();
  const std::string root = uidRoot(o);
  const double z = -k * (o.sliceStep > 0 ? o.sliceStep : o.sliceThickness);
  const double origin = -o.size * o.pixelSpacing / 2.0;
  const std::string spacing =
      fmt(o.pixelSpacing) + "\\" + fmt(o.pixelSpacingColumn > 0 ? o.pixelSpacingColumn : o.pixelSpacing);
  const int columns = writtenColumns(o);
  const std::string position = fmt(origin) + "\\" + fmt(origin) + "\\" + fmt(z);
  bool ok = true;
  auto put = [&](const DcmTagKey& key, const std::string& value) {
    ok = ok && ds->putAndInsertString(key, value.c_str()).good();
  };
  put(DCM_SOPClassUID, UID_CTImageStorage);
  put(DCM_SOPInstanceUID, root + ".1.1." + std::to_string(k + 1));
  put(DCM_StudyInstanceUID, root);
  put(DCM_SeriesInstanceUID, root + ".1");
  put(DCM_FrameOfReferenceUID, root + ".2");
  put(DCM_Modality, "CT");
  put(DCM_Manufacturer, "Morvex");
  put(DCM_ManufacturerModelName, "Synthetic Abdomen");
  put(DCM_InstitutionName, "Morvex Phantom Lab");
  put(DCM_PatientName, o.patientName);
  put(DCM_PatientID, o.patientId);
  put(DCM_PatientAge, "055Y");
  put(DCM_PatientSex, "O");
  put(DCM_StudyDate, o.seriesDate);
  put(DCM_SeriesDate, o.seriesDate);
  put(DCM_SeriesNumber, "1");
  put(DCM_InstanceNumber, std::to_string(k + 1));
  put(DCM_ImagePositionPatient, position);
  put(DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0");
  put(DCM_SliceLocation, fmt(z));
  put(DCM_SliceThickness, fmt(o.sliceThickness));
  put(DCM_PixelSpacing, spacing);
  put(DCM_PhotometricInterpretation, "MONOCHROME2");
  put(DCM_RescaleIntercept, "-1024");
  put(DCM_RescaleSlope, "1");
  put(DCM_RescaleType, "HU");
  put(DCM_WindowCenter, "40");
  put(DCM_WindowWidth, "400");
  ok = ok && ds->putAndInsertUint16(DCM_Rows, static_cast<Uint16>(s.size)).good();
  ok = ok && ds->putAndInsertUint16(DCM_Columns, static_cast<Uint16>(columns)).good();
  ok = ok && ds->putAndInsertUint16(DCM_SamplesPerPixel, 1).good();
  ok = ok && ds->putAndInsertUint16(DCM_BitsAllocated, 16).good();
  ok = ok && ds->putAndInsertUint16(DCM_BitsStored, 12).good();
  ok = ok && ds->putAndInsertUint16(DCM_HighBit, 11).good();
  ok = ok && ds->putAndInsertUint16(DCM_PixelRepresentation, 0).good();
  std::vector<Uint16> stored;
  stored.reserve(static_cast<std::size_t>(s.size) * columns);
  for (int y = 0; y < s.size; ++y)
    for (int x = 0; x < columns; ++x) stored.push_back(static_cast<Uint16>(s.hu[static_cast<std::size_t>(y) * s.size + x] + 1024));
  ok = ok && ds->putAndInsertUint16Array(DCM_PixelData, stored.data(), static_cast<unsigned long>(stored.size())).good();
  return ok && ff.saveFile(path.c_str(), EXS_LittleEndianExplicit).good();
}

}  // namespace

std::string sliceFileName(int k) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "IM%04d", k + 1);
  return buf;
}

bool writeSeries(const PhantomOptions& options, const std::string& folder, std::string* error,
                 const std::function<void(int)>& progress) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    if (error) *error = "cannot create folder " + folder + ": " + ec.message();
    return false;
  }
  const Phantom phantom(options);
  for (int k = 0; k < phantom.options().slices; ++k) {
    const PhantomSlice s = phantom.slice(k);
    const std::string name = sliceFileName(k);
    const std::string dcm = folder + "/" + name + ".dcm";
    if (!writeSlice(phantom.options(), s, k, dcm)) {
      if (error) *error = "cannot write " + dcm;
      return false;
    }
    const cv::Mat mask = cv::Mat(s.size, s.size, CV_8UC1, const_cast<uint8_t*>(s.labels.data()))
                             .colRange(0, writtenColumns(phantom.options()));
    const std::string png = folder + "/m_" + name + ".png";
    if (!cv::imwrite(png, mask)) {
      if (error) *error = "cannot write " + png;
      return false;
    }
    if (progress) progress(k);
  }
  return true;
}

}  // namespace morvex::synth
