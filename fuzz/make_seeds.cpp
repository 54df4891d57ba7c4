// Writes the small generated part of the seed corpus: fuzz/corpus/<target>/ (the samples under
// ../shared/data are added by scripts/fuzz.sh when present). Usage: morvex-fuzz-seeds CORPUS_DIR

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <tiffio.h>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcrleerg.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmjpeg/djencode.h"
#include "dcmtk/dcmjpeg/djrplol.h"
#include "export/nifti_io.h"
#include "fuzz/fuzz_nifti_series.h"
#include "export/dicom_seg.h"
#include "planning/plan_json.h"
#include "study/slice_decoder.h"
#include "study/study.h"
#include "tests/ct_series.h"
#include "tests/jpeg2000_slice.h"

namespace {

std::string g_root;

std::string at(const std::string& target, const std::string& name) {
  std::filesystem::create_directories(g_root + "/" + target);
  return g_root + "/" + target + "/" + name;
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

cv::Mat pattern(int w, int h, int levels) {
  cv::Mat m(h, w, CV_8UC1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m.at<uint8_t>(y, x) = static_cast<uint8_t>(((x / 4 + y / 4) % levels) * (levels == 2 ? 255 : 1));
  return m;
}

void writeDicom(const std::string& path, E_TransferSyntax xfer, int rows, int cols, bool withMeta = true) {
  DcmFileFormat ff;
  DcmDataset* ds = ff.getDataset();
  ds->putAndInsertString(DCM_SOPClassUID, UID_CTImageStorage);
  ds->putAndInsertString(DCM_SOPInstanceUID, "2.25.77");
  ds->putAndInsertString(DCM_PatientName, "FUZZ^SEED");
  ds->putAndInsertString(DCM_SeriesDate, "20200115");
  ds->putAndInsertString(DCM_InstanceNumber, "3");
  ds->putAndInsertString(DCM_PixelSpacing, "0.5\\0.5");
  ds->putAndInsertString(DCM_SliceThickness, "1");
  ds->putAndInsertString(DCM_RescaleIntercept, "-1024");
  ds->putAndInsertString(DCM_RescaleSlope, "1");
  ds->putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
  ds->putAndInsertUint16(DCM_Rows, static_cast<Uint16>(rows));
  ds->putAndInsertUint16(DCM_Columns, static_cast<Uint16>(cols));
  ds->putAndInsertUint16(DCM_SamplesPerPixel, 1);
  ds->putAndInsertUint16(DCM_BitsAllocated, 16);
  ds->putAndInsertUint16(DCM_BitsStored, 12);
  ds->putAndInsertUint16(DCM_HighBit, 11);
  ds->putAndInsertUint16(DCM_PixelRepresentation, 0);
  std::vector<Uint16> raw(static_cast<std::size_t>(rows) * cols);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<Uint16>((i * 37) % 4096);
  ds->putAndInsertUint16Array(DCM_PixelData, raw.data(), static_cast<unsigned long>(raw.size()));
  if (xfer == EXS_RLELossless || xfer == EXS_JPEGProcess14SV1) {
    DJ_RPLossless lossless;
    ds->chooseRepresentation(xfer, xfer == EXS_JPEGProcess14SV1 ? &lossless : nullptr);
  }
  ff.saveFile(path.c_str(), xfer, EET_ExplicitLength, EGL_recalcGL, EPD_noChange, 0, 0,
              withMeta ? EWM_fileformat : EWM_dataset);
}

void writeTiff(const std::string& path, const std::vector<cv::Mat>& pages, uint16_t compression) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return;
  for (const cv::Mat& m : pages) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, m.cols);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, m.rows);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4);
    for (int y = 0; y < m.rows; ++y) TIFFWriteScanline(tif, const_cast<uint8_t*>(m.ptr<uint8_t>(y)), y, 0);
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  g_root = argv[1];
  DcmRLEEncoderRegistration::registerCodecs();
  DJEncoderRegistration::registerCodecs();

  // Slices: small DICOM files in several encodings, and raster slices.
  writeDicom(at("fuzz_slice_file", "explicit.dcm"), EXS_LittleEndianExplicit, 8, 6);
  writeDicom(at("fuzz_slice_file", "implicit.dcm"), EXS_LittleEndianImplicit, 6, 8);
  writeDicom(at("fuzz_slice_file", "bigendian.dcm"), EXS_BigEndianExplicit, 4, 4);
  writeDicom(at("fuzz_slice_file", "rle.dcm"), EXS_RLELossless, 8, 8);
  writeDicom(at("fuzz_slice_file", "jpeg_lossless.dcm"), EXS_JPEGProcess14SV1, 8, 8);
  writeDicom(at("fuzz_slice_file", "no_meta.dcm"), EXS_LittleEndianImplicit, 4, 4, false);
  // JPEG 2000 (decoded with OpenJPEG): whole, and cut in the middle of the codestream.
  std::vector<int16_t> values(8 * 8);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int16_t>((i * 37) % 4096 - 1024);
  const std::vector<uint8_t> j2k = morvex::testing::encodeLosslessJ2k(values, 8, 8);
  morvex::testing::writeJ2kSlice(at("fuzz_slice_file", "j2k_lossless.dcm"), j2k, 8, 8);
  morvex::testing::writeJ2kSlice(at("fuzz_slice_file", "j2k_cut.dcm"),
                                 std::vector<uint8_t>(j2k.begin(), j2k.begin() + j2k.size() / 2), 8, 8);
  cv::imwrite(at("fuzz_slice_file", "slice.png"), pattern(8, 8, 200));
  cv::imwrite(at("fuzz_slice_file", "slice.bmp"), pattern(8, 4, 200));
  cv::imwrite(at("fuzz_slice_file", "slice.jpg"), pattern(16, 8, 200));

  // Single-image masks for a 16 x 16 frame: binary and label-valued, every readable format.
  cv::imwrite(at("fuzz_mask_image", "binary.png"), pattern(16, 16, 2));
  cv::imwrite(at("fuzz_mask_image", "labels.png"), pattern(16, 16, 8));
  cv::imwrite(at("fuzz_mask_image", "labels.bmp"), pattern(16, 16, 8));
  cv::imwrite(at("fuzz_mask_image", "binary.jpg"), pattern(16, 16, 2));
  cv::imwrite(at("fuzz_mask_image", "labels.tif"), pattern(16, 16, 8));
  cv::imwrite(at("fuzz_mask_image", "labels.pgm"), pattern(16, 16, 8));
  cv::imwrite(at("fuzz_mask_image", "wrong_size.png"), pattern(16, 8, 8));

  // Series masks for three 16 x 16 frames.
  const std::vector<cv::Mat> three = {pattern(16, 16, 8), pattern(16, 16, 2), pattern(16, 16, 3)};
  writeTiff(at("fuzz_mask_tiff", "three_pages.tiff"), three, COMPRESSION_NONE);
  writeTiff(at("fuzz_mask_tiff", "lzw.tiff"), three, COMPRESSION_LZW);
  writeTiff(at("fuzz_mask_tiff", "packbits.tiff"), {three[0]}, COMPRESSION_PACKBITS);
  writeTiff(at("fuzz_mask_tiff", "mixed_sizes.tiff"), {pattern(8, 8, 2), three[1], pattern(16, 4, 2), three[2]},
            COMPRESSION_NONE);

  // Label volumes of the fuzz target's 16 x 16 x 3 series, plain and compressed.
  morvex::Study study;
  morvex::fuzz::addNiftiSeries(study);
  const cv::Mat labels = pattern(16, 16, 8);
  for (int k = 0; k < 3; ++k) std::copy(labels.data, labels.data + 256, study.labelImage(k));
  std::string error;
  morvex::writeNiftiLabels(at("fuzz_nifti", "labels.nii"), study, 0, error);
  morvex::writeNiftiLabels(at("fuzz_nifti", "labels.nii.gz"), study, 0, error);

  // Bare JPEG 2000 codestreams after the size a dataset claims: 16-bit signed, 8-bit unsigned, and
  // a JP2 file.
  auto writeCodestream = [](const std::string& path, const std::vector<uint8_t>& codestream, int w, int h) {
    std::ofstream out(path, std::ios::binary);
    const char size[4] = {static_cast<char>(w), static_cast<char>(w >> 8), static_cast<char>(h), static_cast<char>(h >> 8)};
    out.write(size, 4);
    out.write(reinterpret_cast<const char*>(codestream.data()), static_cast<std::streamsize>(codestream.size()));
  };
  writeCodestream(at("fuzz_jpeg2000", "signed16.j2k"), j2k, 8, 8);
  std::vector<int16_t> bytes(13 * 7);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<int16_t>((i * 53) % 256);
  writeCodestream(at("fuzz_jpeg2000", "unsigned8.j2k"), morvex::testing::encodeLosslessJ2k(bytes, 13, 7, 8, false), 13, 7);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int16_t>((i * 37) % 4096);
  writeCodestream(at("fuzz_jpeg2000", "unsigned12.jp2"),
                  morvex::testing::encodeLosslessJ2k(values, 8, 8, 12, false, true), 8, 8);
  // A segmentation of the small series of tests/ct_series.h as Save writes it: three labels, one of
  // them on two slices (its frames do not start on byte boundaries).
  {
    const std::string folder = g_root + "/../ct-series-seed";
    std::filesystem::create_directories(folder);
    morvex::initDicomCodecs();
    morvex::Study study;
    for (const std::string& path : morvex::testing::writeCtSeries(folder)) study.addFrameFromFile(path.c_str());
    for (int k = 0; k < 2; ++k) {
      study.labelImage(k)[3 + k] = morvex::kLiverLeft;
      study.labelImage(k)[12 * 6 + 11] = morvex::kVessel;
    }
    study.labelImage(3)[40] = morvex::kCancer;
    std::string error;
    std::filesystem::create_directories(g_root + "/fuzz_dicom_seg");
    morvex::writeDicomSeg(at("fuzz_dicom_seg", "labels.dcm"), study, 0, morvex::defaultLabelTable(), error);
    std::filesystem::remove_all(folder);
  }

  // Resection plans: key lines (one curved) with a side, and a plane; thresholds not the defaults.
  {
    morvex::PlanSet set;
    set.thresholds.remnantPercent = 30, set.thresholds.marginMm = 7.5;
    morvex::ResectionPlan lines;
    lines.name = "Key lines";
    for (int slice : {0, 3}) {
      morvex::DivisionLine l;
      l.frame = slice;
      l.append({2, 0}, 0, {2, 0});
      l.append({6, 4}, 1, {3, 3});
      l.append({5 + slice, 8}, 0, {5 + slice, 8});
      lines.setKeyLine(l);
    }
    lines.hasSide = true, lines.sideSlice = 1, lines.sideX = 1, lines.sideY = 4;
    morvex::ResectionPlan plane;
    plane.name = "Plane";
    plane.kind = morvex::PlanKind::Plane;
    plane.planePoint[0] = 4.2, plane.planeNormal[0] = 0.8, plane.planeNormal[2] = 0.6;
    set.plans = {lines, plane};
    set.active = 1;
    writeText(at("fuzz_plan_json", "two_plans.plans.json"), morvex::planSetToJson(set));
    set.plans.resize(1);
    set.active = 0;
    writeText(at("fuzz_plan_json", "key_lines.plans.json"), morvex::planSetToJson(set));
  }

  // Names: the design's examples and the triples that once broke the order.
  writeText(at("fuzz_file_names", "images"), "/d/IMG100.dcm\n/d/IMG10.dcm\n/d/IMG9.dcm");
  writeText(at("fuzz_file_names", "zeros"), "10\n11\n011.");
  writeText(at("fuzz_file_names", "masks"), "m_P001_20200115_12.png\na_P001_DCM.dcm\nab_2020.01.15 x_12a");
  writeText(at("fuzz_file_names", "uids"), "1.2.840.99999999999999999999999.dcm\n1.2.840.100000000000000000000000.dcm\nx5");
  return 0;
}
