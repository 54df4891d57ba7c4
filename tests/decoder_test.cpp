// Decoding of slice files: real DICOM samples in every encoding, malformed files, DICOM files made
// here with known values, and raster images whose metadata come from their file names.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "study/jpeg2000_frame.h"
#include "study/slice_decoder.h"
#include "study/study.h"
#include "tests/jpeg2000_slice.h"
#include "tests/testing_support.h"

using morvex::Study;
using morvex::testing::sharedFile;
using morvex::testing::RecordingStudy;
using morvex::testing::TempDir;

namespace {

constexpr const char* kLoadFailed = "Image load failed - the DICOM header has a problem.";

struct DicomSpec {
  int rows = 4, columns = 3;
  bool signedPixels = false;
  std::vector<int> stored;  // rows * columns stored values
  std::string intercept = "0", slope = "1";
  std::string windowCenter = "40\\400", windowWidth = "400\\1500";
  bool instance = true, spacing = true, thickness = true;
  std::string photometric = "MONOCHROME2";
};

void writeDicom(const std::string& path, const DicomSpec& spec) {
  DcmFileFormat ff;
  DcmDataset* ds = ff.getDataset();
  ds->putAndInsertString(DCM_SOPClassUID, UID_CTImageStorage);
  ds->putAndInsertString(DCM_SOPInstanceUID, "2.25.1234");
  ds->putAndInsertString(DCM_PatientName, "TEST^PATIENT");
  ds->putAndInsertString(DCM_PatientID, "ID42");
  ds->putAndInsertString(DCM_SeriesDate, "20240102");
  ds->putAndInsertString(DCM_Modality, "CT");
  if (spec.instance) ds->putAndInsertString(DCM_InstanceNumber, "7");
  if (spec.spacing) ds->putAndInsertString(DCM_PixelSpacing, "0.5\\0.75");
  if (spec.thickness) ds->putAndInsertString(DCM_SliceThickness, "2.5");
  ds->putAndInsertString(DCM_WindowCenter, spec.windowCenter.c_str());
  ds->putAndInsertString(DCM_WindowWidth, spec.windowWidth.c_str());
  ds->putAndInsertString(DCM_RescaleIntercept, spec.intercept.c_str());
  ds->putAndInsertString(DCM_RescaleSlope, spec.slope.c_str());
  ds->putAndInsertString(DCM_PhotometricInterpretation, spec.photometric.c_str());
  ds->putAndInsertUint16(DCM_Rows, static_cast<Uint16>(spec.rows));
  ds->putAndInsertUint16(DCM_Columns, static_cast<Uint16>(spec.columns));
  ds->putAndInsertUint16(DCM_SamplesPerPixel, 1);
  ds->putAndInsertUint16(DCM_BitsAllocated, 16);
  ds->putAndInsertUint16(DCM_BitsStored, 16);
  ds->putAndInsertUint16(DCM_HighBit, 15);
  ds->putAndInsertUint16(DCM_PixelRepresentation, spec.signedPixels ? 1 : 0);
  std::vector<Uint16> raw(spec.stored.size());
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<Uint16>(spec.stored[i]);
  ds->putAndInsertUint16Array(DCM_PixelData, raw.data(), static_cast<unsigned long>(raw.size()));
  ASSERT_TRUE(ff.saveFile(path.c_str(), EXS_LittleEndianExplicit).good());
}

std::vector<int16_t> intensitiesOf(const Study& s, int f) {
  const int16_t* p = s.intensities(f);
  return p ? std::vector<int16_t>(p, p + static_cast<std::size_t>(s.width(f)) * s.height(f)) : std::vector<int16_t>();
}

// Stored pixel values of a plain (uncompressed, 16-bit) DICOM file read independently.
std::vector<long> storedValues(const std::string& path, double* slope, double* intercept) {
  DcmFileFormat ff;
  EXPECT_TRUE(ff.loadFile(path.c_str()).good());
  DcmDataset* ds = ff.getDataset();
  Uint16 representation = 0;
  ds->findAndGetUint16(DCM_PixelRepresentation, representation);
  Float64 v = 1;
  *slope = ds->findAndGetFloat64(DCM_RescaleSlope, v).good() ? v : 1.0;
  *intercept = ds->findAndGetFloat64(DCM_RescaleIntercept, v).good() ? v : 0.0;
  const Uint16* data = nullptr;
  unsigned long count = 0;
  EXPECT_TRUE(ds->findAndGetUint16Array(DCM_PixelData, data, &count).good());
  std::vector<long> out(count);
  for (unsigned long i = 0; i < count; ++i) out[i] = representation ? static_cast<Sint16>(data[i]) : data[i];
  return out;
}

}  // namespace

TEST(DicomDecoding, CtSmallGivesItsHeaderAndCalibratedIntensities) {
  MORVEX_REQUIRE_SHARED_DATA();
  const std::string path = sharedFile("nema-wg04/CT_small.dcm");
  RecordingStudy r;
  const int f = r.study.addFrameFromFile(path.c_str());
  ASSERT_EQ(f, 0);
  const morvex::SliceHeader& h = r.study.frame(f)->header;
  EXPECT_EQ(h.width, 128);
  EXPECT_EQ(h.height, 128);
  EXPECT_NEAR(h.pixelSpacing, 0.661468, 1e-6);
  EXPECT_FLOAT_EQ(h.sliceThickness, 5.0f);
  EXPECT_EQ(h.instanceNumber, 1);
  EXPECT_EQ(h.seriesDate, "19970430");
  EXPECT_EQ(h.modality, "CT");
  EXPECT_EQ(h.fileName, "CT_small");
  EXPECT_EQ(h.filePath, path);

  double slope = 0, intercept = 0;
  const std::vector<long> stored = storedValues(path, &slope, &intercept);
  EXPECT_DOUBLE_EQ(intercept, -1024.0);
  const std::vector<int16_t> hu = intensitiesOf(r.study, f);
  ASSERT_EQ(stored.size(), hu.size());
  for (std::size_t i = 0; i < hu.size(); ++i)
    ASSERT_EQ(hu[i], static_cast<int16_t>(stored[i] * slope + intercept)) << "pixel " << i;
  EXPECT_TRUE(r.warnings.empty());
}

TEST(DicomDecoding, AllFiveMrEncodingsDecodeToIdenticalIntensities) {
  MORVEX_REQUIRE_SHARED_DATA();
  const char* names[] = {"MR_small.dcm", "MR_small_implicit.dcm", "MR_small_bigendian.dcm", "MR_small_RLE.dcm",
                         "MR_small_jpeg_ls_lossless.dcm"};
  std::vector<int16_t> reference;
  for (const char* name : names) {
    RecordingStudy r;
    const int f = r.study.addFrameFromFile(sharedFile(std::string("nema-wg04/") + name).c_str());
    ASSERT_EQ(f, 0) << name;
    EXPECT_EQ(r.study.width(f), 64) << name;
    EXPECT_NEAR(r.study.frame(f)->header.pixelSpacing, 0.3125, 1e-6) << name;
    const std::vector<int16_t> hu = intensitiesOf(r.study, f);
    if (reference.empty())
      reference = hu;
    else
      EXPECT_EQ(hu, reference) << name;
  }
  EXPECT_NE(*std::max_element(reference.begin(), reference.end()), 0);
}

TEST(DicomDecoding, MalformedFilesAreRefusedCleanly) {
  MORVEX_REQUIRE_SHARED_DATA();
  struct Case {
    const char* name;
    const char* log;     // expected on standard error
    bool loadFailedBox;  // the load-failure warning box
    const char* reason;  // the reason given for the file (the start of it)
  };
  const Case cases[] = {
      {"MR_truncated.dcm", "DCMTK error: ", false, "not a DICOM file this program can read ("},
      {"badVR.dcm", "loadDcmFile_dcmtk(): DCMTK-instanceNumber error: ", true, "Instance Number (0020,0013) is empty"},
      {"ExplVR_BigEndNoMeta.dcm", "loadDcmFile_dcmtk(): DCMTK-width error: ", true, "missing Columns (0028,0011)"},
      {"SC_rgb_rle.dcm", "loadDcmFile_dcmtk(): DCMTK-slice thickness error: ", true,
       "missing Slice Thickness (0018,0050) and no Image Position (Patient) (0020,0032)"},
      {"JPEG2000.dcm", "loadDcmFile_dcmtk(): DCMTK-slice thickness error: ", true,
       "missing Slice Thickness (0018,0050) and no Image Position (Patient) (0020,0032)"},
  };
  for (const Case& c : cases) {
    RecordingStudy r;
    const std::string path = sharedFile(std::string("malformed/") + c.name);
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    const std::string reason = morvex::decodeSliceFile(path.c_str()).reason;
    const int f = r.study.addFrameFromFile(path.c_str());
    const std::string err = ::testing::internal::GetCapturedStderr();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(f, -1) << c.name;
    EXPECT_EQ(r.study.frameCount(), 0) << c.name;
    EXPECT_EQ(r.study.seriesCount(), 0) << c.name << ": a failed load creates no series";
    EXPECT_NE((err + out).find(c.log), std::string::npos) << c.name << " logged: " << err << out;
    // DCMTK's own logger is silenced: only this program's diagnostic lines reach the console.
    std::istringstream lines(err + out);
    for (std::string line; std::getline(lines, line);)
      EXPECT_TRUE(line.rfind("loadDcmFile_dcmtk(): ", 0) == 0 || line.rfind("DCMTK error: ", 0) == 0)
          << c.name << ": stray console line '" << line << "'";
    EXPECT_EQ(reason.rfind(c.reason, 0), 0u) << c.name << ": " << reason;
    if (c.loadFailedBox) {
      ASSERT_EQ(r.warnings.size(), 1u) << c.name;
      EXPECT_EQ(r.warnings[0], kLoadFailed);
      EXPECT_EQ(r.reasons[0], reason) << "the box names the reason";
    } else {
      EXPECT_TRUE(r.warnings.empty()) << c.name;
    }
  }
}

// Compressed samples that lack only a slice geometry, with one added (pixel data left encoded):
// the grey ones decode, the colour one is refused rather than guessed into grey.
TEST(DicomDecoding, CompressedSamplesWithAGeometryAddedDecodeAndColourIsRefused) {
  MORVEX_REQUIRE_SHARED_DATA();
  struct Case {
    const char* sample;
    E_TransferSyntax xfer;  // EXS_Unknown: the sample's own
    const char* refusal;    // nullptr: loads as a 256 x 1024 slice
  };
  const Case cases[] = {
      {"nema-wg04/JPEG-lossy.dcm", EXS_Unknown, nullptr},
      {"malformed/JPEG2000.dcm", EXS_JPEG2000, nullptr},
      {"malformed/SC_rgb_rle.dcm", EXS_Unknown, "loadDcmFile_dcmtk(): DCMTK-photometric interpretation not supported: RGB"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sample);
    DcmFileFormat ff;
    ASSERT_TRUE(ff.loadFile(sharedFile(c.sample).c_str()).good());
    DcmDataset* ds = ff.getDataset();
    ds->putAndInsertString(DCM_SliceThickness, "1");
    if (c.refusal) {
      ds->putAndInsertString(DCM_PixelSpacing, "1\\1");
      ds->putAndInsertString(DCM_InstanceNumber, "1");
    }
    const std::string copy = dir.file("copy.dcm");
    ASSERT_TRUE(ff.saveFile(copy.c_str(), c.xfer == EXS_Unknown ? ds->getOriginalXfer() : c.xfer).good());
    RecordingStudy r;
    ::testing::internal::CaptureStderr();
    const int f = r.study.addFrameFromFile(copy.c_str());
    const std::string err = ::testing::internal::GetCapturedStderr();
    if (c.refusal) {
      EXPECT_EQ(f, -1);
      EXPECT_NE(err.find(c.refusal), std::string::npos) << err;
      EXPECT_EQ(r.warnings.size(), 1u);
      EXPECT_EQ(r.study.frameCount(), 0);
      continue;
    }
    ASSERT_EQ(f, 0) << err;
    EXPECT_EQ(r.study.width(f), 256);
    EXPECT_EQ(r.study.height(f), 1024);
    const int16_t* v = r.study.intensities(f);
    const auto [lo, hi] = std::minmax_element(v, v + 256 * 1024);
    EXPECT_LT(*lo, *hi) << "an image, not a constant";
    EXPECT_GT(*hi, 0);
    EXPECT_TRUE(r.warnings.empty());
  }
}

TEST(DicomDecoding, KnownValuesRescaleWindowAndSpacing) {
  TempDir dir;
  DicomSpec spec;
  spec.stored = {0, 1, 2, 1024, 1064, 2048, 3000, 4000, 4095, 10, 20, 30};
  spec.intercept = "-1024";
  const std::string path = dir.file("ct.dcm");
  writeDicom(path, spec);
  RecordingStudy r;
  const int f = r.study.addFrameFromFile(path.c_str());
  ASSERT_EQ(f, 0);
  const std::vector<int16_t> hu = intensitiesOf(r.study, f);
  const std::vector<int16_t> expected = {-1024, -1023, -1022, 0, 40, 1024, 1976, 2976, 3071, -1014, -1004, -994};
  EXPECT_EQ(hu, expected);
  const morvex::SliceHeader& h = r.study.frame(f)->header;
  EXPECT_EQ(h.windowCenter, 40) << "first value of a multi-valued window";
  EXPECT_EQ(h.windowWidth, 400);
  EXPECT_FLOAT_EQ(h.pixelSpacing, 0.5f);
  EXPECT_EQ(h.width, 3);
  EXPECT_EQ(h.height, 4);

  int w = 0, ht = 0, instance = 0;
  double sx = 0, sy = 0, thickness = 0;
  std::vector<int16_t> direct;
  ASSERT_TRUE(morvex::loadDcmFile_dcmtk(path.c_str(), &w, &ht, direct, &instance, &sx, &sy, &thickness));
  EXPECT_EQ(direct, expected);
  EXPECT_EQ(w, 3) << "columns";
  EXPECT_EQ(ht, 4) << "rows";
  EXPECT_EQ(instance, 7);
  EXPECT_DOUBLE_EQ(sx, 0.5);
  EXPECT_DOUBLE_EQ(sy, 0.75);
  EXPECT_DOUBLE_EQ(thickness, 2.5);

  // MONOCHROME1 values load uninverted
  spec.photometric = "MONOCHROME1";
  writeDicom(path, spec);
  RecordingStudy m1;
  ASSERT_EQ(m1.study.addFrameFromFile(path.c_str()), 0);
  EXPECT_EQ(intensitiesOf(m1.study, 0), expected);
}

TEST(DicomDecoding, ValuesBeyondSixteenBitsAreClampedOrRefused) {
  TempDir dir;
  // Unsigned values above 32767 become the largest value that fits.
  DicomSpec some;
  some.rows = 1;
  some.columns = 4;
  some.stored = {40000, 100, 30000, 65535};
  writeDicom(dir.file("some.dcm"), some);
  RecordingStudy r;
  const int f = r.study.addFrameFromFile(dir.file("some.dcm").c_str());
  ASSERT_EQ(f, 0);
  EXPECT_EQ(intensitiesOf(r.study, f), (std::vector<int16_t>{30000, 100, 30000, 30000}));

  // All values above 32767: nothing fits.
  DicomSpec all = some;
  all.stored = {40000, 50000, 60000, 65535};
  writeDicom(dir.file("all.dcm"), all);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(r.study.addFrameFromFile(dir.file("all.dcm").c_str()), -1);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("loadDcmFile_dcmtk(): HU range overflow error: "),
            std::string::npos);
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_EQ(r.study.frameCount(), 1);

  // Rescaled below -32768: those values become the smallest value that fits.
  DicomSpec low = some;
  low.stored = {0, 10000, 60000, 5000};
  low.intercept = "-40000";
  writeDicom(dir.file("low.dcm"), low);
  const int g = r.study.addFrameFromFile(dir.file("low.dcm").c_str());
  ASSERT_GE(g, 0);
  EXPECT_EQ(intensitiesOf(r.study, g), (std::vector<int16_t>{-30000, -30000, 20000, -30000}));
}

TEST(DicomDecoding, MissingInstanceSpacingOrThicknessRefusesTheFile) {
  TempDir dir;
  struct Case {
    const char* log;
    void (*strip)(DicomSpec&);
    const char* reason;
  };
  const Case cases[] = {
      {"loadDcmFile_dcmtk(): DCMTK-instanceNumber error: ", [](DicomSpec& s) { s.instance = false; },
       "missing Instance Number (0020,0013)"},
      {"loadDcmFile_dcmtk(): DCMTK-pixelSpacing error: ", [](DicomSpec& s) { s.spacing = false; },
       "missing Pixel Spacing (0028,0030)"},
      {"loadDcmFile_dcmtk(): DCMTK-slice thickness error: ", [](DicomSpec& s) { s.thickness = false; },
       "missing Slice Thickness (0018,0050) and no Image Position (Patient) (0020,0032) to measure the slice spacing"},
      // an empty Instance Number and missing Columns: the malformed samples above
  };
  for (const Case& c : cases) {
    DicomSpec spec;
    spec.stored.assign(12, 5);
    c.strip(spec);
    const std::string path = dir.file("x.dcm");
    writeDicom(path, spec);
    RecordingStudy r;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(r.study.addFrameFromFile(path.c_str()), -1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(c.log), std::string::npos) << c.log;
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0], kLoadFailed);
    EXPECT_EQ(r.reasons[0], c.reason);
  }
  ::testing::internal::CaptureStderr();
  int w, h, i;
  double a, b, t;
  std::vector<int16_t> buf;
  EXPECT_FALSE(morvex::loadDcmFile_dcmtk(dir.file("missing.dcm").c_str(), &w, &h, buf, &i, &a, &b, &t));
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("loadDcmFile_dcmtk(): DCMTK-loadDcm error: "),
            std::string::npos);
}

TEST(DicomDecoding, FilesWithoutExtensionOrUpperCaseExtensionAreReadByTheirPreamble) {
  MORVEX_REQUIRE_SHARED_DATA();
  TempDir dir;
  const std::string plain = dir.copyIn(sharedFile("nema-wg04/CT_small.dcm"), "IM0001");
  const std::string upper = dir.copyIn(sharedFile("nema-wg04/MR_small.dcm"), "MR.DCM");
  std::ofstream(dir.file("notes.txt")) << "not a slice";
  std::ofstream(dir.file("junk.DCM")) << "neither DICOM nor an image";
  std::ofstream(dir.file("README")) << "no extension, no preamble";
  RecordingStudy r;
  EXPECT_EQ(morvex::sliceFormatOf(plain.c_str()), morvex::SliceFormat::Dicom);
  ASSERT_EQ(r.study.addFrameFromFile(plain.c_str()), 0);
  EXPECT_EQ(r.study.frame(0)->header.fileName, "IM0001");
  ASSERT_EQ(r.study.addFrameFromFile(upper.c_str()), 1);
  EXPECT_EQ(r.study.frame(1)->header.fileName, "MR");
  EXPECT_EQ(r.study.addFrameFromFile(dir.file("notes.txt").c_str()), -1);
  EXPECT_EQ(r.study.addFrameFromFile(dir.file("junk.DCM").c_str()), -1);
  EXPECT_EQ(r.study.addFrameFromFile(dir.file("README").c_str()), -1);
  EXPECT_EQ(r.study.frameCount(), 2);
  EXPECT_TRUE(r.warnings.empty()) << "skipped files raise no box";
}

TEST(RasterDecoding, FileNamesGivePatientDateAndInstance) {
  TempDir dir;
  cv::Mat grey(3, 4, CV_8UC1);
  for (int i = 0; i < 12; ++i) grey.data[i] = static_cast<uchar>(i * 20);
  struct Case { const char* name; const char* fileName; const char* patient; const char* date; int instance; };
  const Case cases[] = {
      {"m_P001_20200115_12.png", "P001_20200115_12", "P001_20200115", "20200115", 12},
      {"scan.bmp", "scan", "", "1900-01-01", 0},
      {"c_CASE_2020.01.15_7.jpg", "CASE_2020.01.15_7", "CASE_2020.01.15", "20200115", 7},
      {"ab_P_18991231_3.png", "P_18991231_3", "P_18991231", "1900-01-01", 3},
      {"x_12a.png", "12a", "", "1900-01-01", 120},
      {"P__9.png", "_9", "", "1900-01-01", 9},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file(c.name);
    ASSERT_TRUE(cv::imwrite(path, grey));
    RecordingStudy r;
    const int f = r.study.addFrameFromFile(path.c_str());
    ASSERT_EQ(f, 0) << c.name;
    const morvex::SliceHeader& h = r.study.frame(f)->header;
    EXPECT_EQ(h.fileName, c.fileName) << c.name;
    EXPECT_EQ(h.patientName, c.patient) << c.name;
    EXPECT_EQ(h.seriesDate, c.date) << c.name;
    EXPECT_EQ(h.instanceNumber, c.instance) << c.name;
    EXPECT_EQ(h.windowCenter, 128);
    EXPECT_EQ(h.windowWidth, 255);
    EXPECT_EQ(h.pixelSpacing, 0.0f);
    EXPECT_EQ(r.study.width(f), 4);
    EXPECT_EQ(r.study.height(f), 3);
    if (std::string(c.name).find(".jpg") == std::string::npos) {
      EXPECT_EQ(intensitiesOf(r.study, f)[11], 220) << c.name << ": lossless grey values are kept";
    }
  }
}

namespace {

// Rewrites the size claims of a DICOM file, keeping its pixel data (and its transfer syntax).
void editClaims(const std::string& path, int rows, int columns, const char* frames = nullptr) {
  DcmFileFormat ff;
  ASSERT_TRUE(ff.loadFile(path.c_str()).good());
  DcmDataset* ds = ff.getDataset();
  ASSERT_TRUE(ds->loadAllDataIntoMemory().good());  // the file is overwritten below
  const E_TransferSyntax xfer = ds->getOriginalXfer();
  ds->putAndInsertUint16(DCM_Rows, static_cast<Uint16>(rows));
  ds->putAndInsertUint16(DCM_Columns, static_cast<Uint16>(columns));
  if (frames) ds->putAndInsertString(DCM_NumberOfFrames, frames);
  ASSERT_TRUE(ff.saveFile(path.c_str(), xfer).good());
}

// Loads path into a fresh study: the frame index, the warnings and what went to standard error.
struct Load { int frame; std::vector<std::string> warnings, reasons; std::string log; };
Load loadCapturing(const std::string& path) {
  RecordingStudy r;
  ::testing::internal::CaptureStderr();
  const int f = r.study.addFrameFromFile(path.c_str());
  return {f, r.warnings, r.reasons, ::testing::internal::GetCapturedStderr()};
}

}  // namespace

TEST(HostileInput, DicomClaimsBeyondTheCapOrThePixelDataAreRefusedBeforeDecoding) {
  TempDir dir;
  const long peakBefore = morvex::testing::peakResidentMb();
  struct Case {
    int rows, columns, storedValues;
    const char* reason;  // empty: the file loads
  };
  const Case cases[] = {
      {30000, 30000, 1024, "Columns x Rows 30000 x 30000 exceed 16384 x 16384"},
      {65535, 65535, 1024, "Columns x Rows 65535 x 65535 exceed"},
      {1, 16385, 16385, "Columns x Rows 16385 x 1 exceed"},
      {64, 64, 1024, "pixel data holds 2048 bytes, 64 x 64 x 1 frames of 16 bits need 8192"},
      {1, 16384, 16384, ""},
      {32, 32, 1024, ""},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file("claim.dcm");
    DicomSpec spec;
    spec.stored.assign(static_cast<std::size_t>(c.storedValues), 100);
    writeDicom(path, spec);
    editClaims(path, c.rows, c.columns);
    const Load load = loadCapturing(path);
    const std::string what = std::to_string(c.columns) + " x " + std::to_string(c.rows);
    if (*c.reason == '\0') {
      EXPECT_EQ(load.frame, 0) << what << load.log;
      continue;
    }
    EXPECT_EQ(load.frame, -1) << what;
    EXPECT_EQ(load.warnings, std::vector<std::string>{kLoadFailed}) << what;
    EXPECT_EQ(load.reasons.at(0).rfind(c.reason, 0), 0u) << load.reasons.at(0);
    EXPECT_NE(load.log.find("loadDcmFile_dcmtk(): DCMTK-pixel data error: " + path + ": " + c.reason),
              std::string::npos) << load.log;
    // The decoder entry point of its own refuses the same way.
    int w = 0, h = 0, i = 0;
    double a = 0, b = 0, t = 0;
    std::vector<int16_t> buf;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(morvex::loadDcmFile_dcmtk(path.c_str(), &w, &h, buf, &i, &a, &b, &t)) << what;
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(c.reason), std::string::npos) << what;
  }
  EXPECT_LT(morvex::testing::peakResidentMb() - peakBefore, 128) << "refused claims must not be allocated";
}

TEST(HostileInput, CompressedDicomBeyondTheSliceBudgetIsRefusedBeforeDecompressing) {
  MORVEX_REQUIRE_SHARED_DATA();
  TempDir dir;
  const long peakBefore = morvex::testing::peakResidentMb();
  struct Case { int side; const char* frames; const char* reason; };
  // 64 x 64 x 2 bytes x 100000 frames: 819 MB once expanded; one slice of the largest size: 512 MB
  // expanded and 1.5 GB more in the copies on the way to its intensities
  for (const Case& c : {Case{64, "100000", "would expand to 819200000 bytes (64 x 64, 100000 frames)"},
                        Case{16384, "1", "would expand to 536870912 bytes (16384 x 16384, 1 frames)"}}) {
    const std::string path = dir.copyIn(sharedFile("nema-wg04/MR_small_RLE.dcm"), "claim.dcm");
    editClaims(path, c.side, c.side, c.frames);
    const Load load = loadCapturing(path);
    EXPECT_EQ(load.frame, -1);
    EXPECT_EQ(load.warnings, std::vector<std::string>{kLoadFailed});
    EXPECT_NE(load.log.find(std::string("compressed pixel data ") + c.reason + ", more than the 512 MB a slice may take"),
              std::string::npos) << load.log;
  }
  EXPECT_LT(morvex::testing::peakResidentMb() - peakBefore, 64);
}

// (every format's claims: raster_header_test; a slice claiming a huge image: the shared PNG below,
// and import_widget_test for the reason and the box that name it)
TEST(HostileInput, SharedHostileAndMalformedSamplesNeverLoadNorAllocate) {
  MORVEX_REQUIRE_SHARED_DATA();
  const long peakBefore = morvex::testing::peakResidentMb();
  for (const char* folder : {"hostile", "malformed"})
    for (const auto& entry : std::filesystem::directory_iterator(sharedFile(folder))) {
      const Load load = loadCapturing(entry.path().string());
      EXPECT_EQ(load.frame, -1) << entry.path();
      EXPECT_LE(load.warnings.size(), 1u) << entry.path();
      if (entry.path().filename() == "j2k_16384x16384_bomb.dcm") {
        EXPECT_NE(load.log.find("(16384 x 16384, 1 frames), more than the 512 MB a slice may take"), std::string::npos)
            << load.log;
      }
    }
  EXPECT_LT(morvex::testing::peakResidentMb() - peakBefore, 64) << "each file must be refused without its claim";
}

// --- JPEG 2000 -----------------------------------------------------------------------------

TEST(Jpeg2000Decoding, LosslessSlicesRoundTripExactlyAndACutStreamIsRefused) {
  // Values over the whole range, with edges and noise so that no transform is trivial.
  const int width = 37, height = 23;
  struct Case { int precision, bitsAllocated; bool isSigned, jp2; };
  std::vector<uint8_t> codestream;
  TempDir dir;
  for (const Case& c : {Case{8, 8, false, false}, Case{12, 16, false, true}, Case{16, 16, true, false}}) {
    const int lowest = c.isSigned ? -(1 << (c.precision - 1)) : 0;
    std::vector<int16_t> values(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < values.size(); ++i)
      values[i] = static_cast<int16_t>((i * 7919u) % (1u << c.precision) + lowest);
    values[0] = static_cast<int16_t>(lowest);
    values[1] = static_cast<int16_t>(lowest + (1 << c.precision) - 1);
    codestream = morvex::testing::encodeLosslessJ2k(values, width, height, c.precision, c.isSigned, c.jp2);
    ASSERT_GT(codestream.size(), 100u);
    ASSERT_TRUE(morvex::testing::writeJ2kSlice(dir.file("whole.dcm"), codestream, width, height, c.bitsAllocated));
    RecordingStudy r;
    const int f = r.study.addFrameFromFile(dir.file("whole.dcm").c_str());
    ASSERT_EQ(f, 0) << c.precision << " bits";
    ASSERT_EQ(r.study.width(f), width);
    ASSERT_EQ(r.study.height(f), height);
    EXPECT_TRUE(std::equal(values.begin(), values.end(), r.study.intensities(f))) << c.precision << " bits: exact";
    EXPECT_EQ(r.study.instanceNumber(f), 4);
  }

  // Cut short, or claiming another size than its header: refused with a log line and the box.
  ASSERT_TRUE(morvex::testing::writeJ2kSlice(
      dir.file("cut.dcm"), std::vector<uint8_t>(codestream.begin(), codestream.begin() + codestream.size() / 2),
      width, height));
  ASSERT_TRUE(morvex::testing::writeJ2kSlice(dir.file("taller.dcm"), codestream, width, height + 1));
  for (const char* name : {"cut.dcm", "taller.dcm"}) {
    RecordingStudy bad;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(bad.study.addFrameFromFile(dir.file(name).c_str()), -1) << name;
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("DCMTK-pixel data error: "), std::string::npos) << name << ": " << err;
    EXPECT_EQ(bad.study.frameCount(), 0);
    EXPECT_EQ(bad.warnings.size(), 1u) << name;
  }
}

TEST(Jpeg2000Decoding, CodestreamsBeyondTheSliceBudgetAreRefusedFromTheirHeaders) {
  const std::vector<uint8_t> small = morvex::testing::encodeLosslessJ2k(std::vector<int16_t>(128 * 64, 7), 128, 64);
  ASSERT_EQ(small[3], 0x51) << "SIZ follows SOC";
  // SIZ fields (32 bits, big endian): image size at 8 and 12, tile size at 24 and 28
  auto claiming = [&](uint32_t width, uint32_t height, uint32_t tileSide) {
    std::vector<uint8_t> c = small;
    for (const auto& [at, v] : {std::pair{8, width}, {12, height}, {24, tileSide}, {28, tileSide}})
      for (int i = 0; i < 4; ++i) c[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    return c;
  };
  struct Case { std::vector<uint8_t> codestream; int width, height; const char* why; };
  const Case cases[] = {
      {claiming(128, 64, 1), 128, 64, "JPEG 2000 image in 8192 tiles, more than 4096"},
      {claiming(6000, 5000, 6000), 6000, 5000,
       "JPEG 2000 image of 6000 x 5000 pixels would take 572 MB to decode, more than the 512 MB a slice may take"}};
  const long peakBefore = morvex::testing::peakResidentMb();
  for (const Case& c : cases) {
    morvex::Jpeg2000Image image;
    std::string why;
    EXPECT_FALSE(morvex::decodeJpeg2000(c.codestream.data(), c.codestream.size(), c.width, c.height, image, why));
    EXPECT_EQ(why, c.why);
  }
  EXPECT_LT(morvex::testing::peakResidentMb() - peakBefore, 16);
}
