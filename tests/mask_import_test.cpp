// Mask import: name matching for PNG / BMP masks, binary and label-valued masks, the size check,
// series TIFF masks page by page.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <tiffio.h>

#include "export/mask_writer.h"
#include "study/mask_import.h"
#include "study/study.h"
#include "tests/testing_support.h"

using morvex::Study;
using morvex::testing::TempDir;

namespace {

struct RecordingStudy : morvex::testing::RecordingStudy {
  int add(const std::string& file, const std::string& patient, const std::string& date, int instance, int w = 6,
          int h = 4, const std::string& id = "ID1", int seriesNumber = -1) {
    morvex::SliceHeader header;
    if (seriesNumber >= 0) {
      header.seriesNumber = seriesNumber;
      header.seriesInstanceUid = "1.2." + std::to_string(seriesNumber);
    }
    header.fileName = file;
    header.filePath = "/study/" + file + ".dcm";
    header.patientName = patient;
    header.patientId = id;
    header.seriesDate = date;
    header.instanceNumber = instance;
    return morvex::testing::addFrame(study, header, w, h);
  }
  std::vector<uint8_t> labels(int f) const {
    const uint8_t* l = study.labelImage(f);
    return std::vector<uint8_t>(l, l + static_cast<std::size_t>(study.width(f)) * study.height(f));
  }
};

cv::Mat maskOf(std::initializer_list<uint8_t> values, int w = 6, int h = 4) {
  cv::Mat m(h, w, CV_8UC1, cv::Scalar(0));
  int i = 0;
  for (uint8_t v : values) m.data[i++] = v;
  return m;
}

std::vector<uint8_t> bytes(const cv::Mat& m) { return std::vector<uint8_t>(m.data, m.data + m.total()); }

void writeTiff(const std::string& path, const std::vector<cv::Mat>& pages) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  for (std::size_t p = 0; p < pages.size(); ++p) {
    const cv::Mat& m = pages[p];
    for (const auto& [tag, v] : {std::pair<ttag_t, int>{TIFFTAG_IMAGELENGTH, m.rows}, {TIFFTAG_IMAGEWIDTH, m.cols},
                                 {TIFFTAG_SAMPLESPERPIXEL, 1}, {TIFFTAG_BITSPERSAMPLE, 8}, {TIFFTAG_COMPRESSION, COMPRESSION_NONE},
                                 {TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG}, {TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK},
                                 {TIFFTAG_SUBFILETYPE, FILETYPE_PAGE}})
      TIFFSetField(tif, tag, v);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(p), static_cast<uint16_t>(pages.size()));
    for (int y = 0; y < m.rows; ++y) ASSERT_EQ(TIFFWriteScanline(tif, const_cast<uint8_t*>(m.ptr<uint8_t>(y)), y, 0), 1);
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
}

}  // namespace

TEST(MaskImport, MasksOfASeriesNumberedBackwardsLandOnTheirOwnSlices) {
  // image_k carries instance 13 - k: after sorting image_12 comes first, and image_10 .. image_12
  // all contain "image_1". Each mask holds its slice's number, one of them named with the extension.
  TempDir dir;
  RecordingStudy r;
  for (int k = 1; k <= 12; ++k) r.add("image_" + std::to_string(k), "P", "20200101", 13 - k, 7, 3);
  r.study.sortSeriesByInstance();
  ASSERT_EQ(r.study.frame(0)->header.fileName, "image_12");
  for (int k = 1; k <= 12; ++k) {
    const std::string mask = dir.file("m_image_" + std::to_string(k) + (k == 3 ? ".dcm.png" : ".png"));
    ASSERT_TRUE(cv::imwrite(mask, cv::Mat(3, 7, CV_8UC1, cv::Scalar(k))));
    EXPECT_EQ(morvex::loadMaskFile(r.study, mask.c_str()), 12 - k) << mask;
  }
  for (int f = 0; f < 12; ++f)
    EXPECT_EQ(r.labels(f), std::vector<uint8_t>(21, static_cast<uint8_t>(12 - f))) << r.study.frame(f)->header.fileName;
  EXPECT_TRUE(r.warnings.empty());
}

TEST(MaskImport, ANameFittingSeveralSlicesIsRefusedNamingTwoAndAUniqueOneLoads) {
  TempDir dir;
  struct Case {
    std::vector<std::string> slices;
    std::string mask;
    int frame;           // the frame loaded, -1 when refused
    std::string reason;  // of the refusal
  };
  const Case cases[] = {
      {{"image_10", "image_11"}, "m_image_1.png", -1, "its name fits the slices image_10.dcm and image_11.dcm"},
      {{"1.2.840_IM0007", "IM0008"}, "m_IM0007.png", 0, ""},  // one slice contains it: loaded
      {{"IM0001", "IM00010"}, "m_IM0001.png", 0, ""},         // the exact name wins over the longer one
      {{"scan_a", "scan_b"}, "m_scan_.png", -1, "its name fits the slices scan_a.dcm and scan_b.dcm"},
  };
  for (const Case& c : cases) {
    RecordingStudy r;
    for (const std::string& slice : c.slices) r.add(slice, "P", "D", r.study.frameCount() + 1);
    ASSERT_TRUE(cv::imwrite(dir.file(c.mask), maskOf({1})));
    EXPECT_EQ(morvex::loadMaskFile(r.study, dir.file(c.mask).c_str()), c.frame) << c.mask;
    if (c.frame >= 0) {
      EXPECT_TRUE(r.warnings.empty()) << c.mask;
      continue;
    }
    ASSERT_EQ(r.warnings.size(), 1u) << c.mask;
    EXPECT_EQ(r.reasons[0], c.reason);
    for (int f = 0; f < r.study.frameCount(); ++f) EXPECT_EQ(r.labels(f)[0], 0) << c.mask << ": nothing loaded";
  }
  // Two slices of one name in two folders are named by their paths.
  RecordingStudy twice;
  twice.add("IM0001", "P", "D", 1);
  twice.add("IM0001", "P", "D2", 1);
  twice.study.frame(1)->header.filePath = "/other/IM0001.dcm";
  EXPECT_EQ(morvex::loadMaskFile(twice.study, dir.file("m_image_1.png").c_str()), -1);
  ASSERT_TRUE(cv::imwrite(dir.file("m_IM0001.png"), maskOf({1})));
  EXPECT_EQ(morvex::loadMaskFile(twice.study, dir.file("m_IM0001.png").c_str()), -1);
  ASSERT_EQ(twice.reasons.size(), 1u);
  EXPECT_EQ(twice.reasons[0], "its name fits the slices /study/IM0001.dcm and /other/IM0001.dcm");
  // ...unless the mask lies beside one of them
  twice.study.frame(1)->header.filePath = dir.file("IM0001.dcm");
  EXPECT_EQ(morvex::loadMaskFile(twice.study, dir.file("m_IM0001.png").c_str()), 1);
}

// Masks matched by the slice's file name or by patient, date and instance: label values kept,
// binary masks (any pixel of 255; 126 or more is liver), and a mask of another size, which warns
// and keeps the labels. A name that fits no slice loads nothing.
TEST(MaskImport, MatchedByNameOrPatientDateAndInstanceBinaryOrLabelledAndOfTheSliceSize) {
  TempDir dir;
  RecordingStudy r;
  const int im = r.add("IM0001", "P", "D", 1);
  const int named = r.add("other", "P001", "20200115", 12);
  const cv::Mat labels = maskOf({0, 1, 2, 3, 4, 5, 6, 7, 1, 1});
  const int binary = r.add("IM0002", "P", "D", 2);
  const int plain = r.add("a", "P7", "20210304", 3);
  const int stamped = r.add("b", "P8", "20210304_5", 9);
  const int other = r.add("IM0003", "P", "D", 3);
  r.study.fillLabelImage(other, 2);
  struct Case {
    const char* name;
    cv::Mat mask;
    int frame;
    std::vector<uint8_t> labels;  // of the frame afterwards
  };
  const Case cases[] = {
      {"m_IM0001.png", labels, im, bytes(labels)},
      {"m_P001_20200115_12.png", labels, named, bytes(labels)},
      {"m_unknown.png", labels, -1, std::vector<uint8_t>(24, 2)},
      {"m_.png", labels, -1, std::vector<uint8_t>(24, 2)},  // an empty name matches nothing
      {"m_IM0002.bmp", maskOf({0, 255, 200, 126, 125, 5, 255}), binary, bytes(maskOf({0, 1, 1, 1, 0, 0, 1}))},
      {"P7_20210304_3.bmp", maskOf({4}), plain, bytes(maskOf({4}))},
      {"P8_20210304_05_9.bmp", maskOf({6}), stamped, bytes(maskOf({6}))},
      {"m_IM0003.png", maskOf({1}, 5, 4), -1, std::vector<uint8_t>(24, 2)},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(cv::imwrite(dir.file(c.name), c.mask));
    EXPECT_EQ(morvex::loadMaskFile(r.study, dir.file(c.name).c_str()), c.frame) << c.name;
    EXPECT_EQ(r.labels(c.frame < 0 ? other : c.frame), c.labels) << c.name;
  }
  EXPECT_EQ(r.warnings, std::vector<std::string>{"The mask image and the loaded image differ in width or height."});
}

TEST(MaskImport, HugeClaimsAreRefusedAsASizeMismatchBeforeDecoding) {
  TempDir dir;
  RecordingStudy r;
  const int png = r.add("IM0004", "P", "D", 4);
  const int bmp = r.add("other", "P9", "20200101", 1);
  r.study.fillLabelImage(png, 3);
  r.study.fillLabelImage(bmp, 3);
  using morvex::testing::writeBytes;
  const long peakBefore = morvex::testing::peakResidentMb();
  const std::string files[] = {  // (every format's claims: raster_header_test; here a BMP named .jpg too)
      writeBytes(dir.file("m_IM0004.png"), morvex::testing::pngClaiming(40000, 40000)),
      writeBytes(dir.file("P9_20200101_1.bmp"), morvex::testing::bmpClaiming(32000, 32000, 1, std::string("\0\1", 2))),
      writeBytes(dir.file("m_IM0004.jpg"), morvex::testing::bmpClaiming(2097152, 1, 0, std::string(64, '\0')))};
  for (const std::string& file : files) {
    r.warnings.clear();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(morvex::loadMaskFile(r.study, file.c_str()), -1) << file;
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(r.warnings, std::vector<std::string>{"The mask image and the loaded image differ in width or height."}) << file;
    EXPECT_NE(log.find("loadMaskFile(): " + file + ": mask of "), std::string::npos) << log;
  }
  EXPECT_LT(morvex::testing::peakResidentMb() - peakBefore, 64);
  EXPECT_EQ(r.labels(png), std::vector<uint8_t>(24, 3));
  EXPECT_EQ(r.labels(bmp), std::vector<uint8_t>(24, 3));

  // A header of the frame's size over missing pixel data cannot be read: nothing changes.
  writeBytes(dir.file("m_IM0004.png"), morvex::testing::pngClaiming(6, 4));
  r.warnings.clear();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(morvex::loadMaskFile(r.study, dir.file("m_IM0004.png").c_str()), -1);
  ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(r.warnings.empty());
  EXPECT_EQ(r.labels(png), std::vector<uint8_t>(24, 3));
}

TEST(MaskImport, SharedHostileFilesNamedForAFrameChangeNothing) {
  MORVEX_REQUIRE_SHARED_DATA();
  TempDir dir;
  RecordingStudy r;
  const int f = r.add("IM0005", "P", "D", 5);
  r.study.fillLabelImage(f, 4);
  for (const auto& entry : std::filesystem::directory_iterator(morvex::testing::sharedFile("hostile"))) {
    const std::string ext = entry.path().extension().string();
    const std::string mask = dir.copyIn(entry.path().string(), "m_IM0005" + ext);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(morvex::loadMaskFile(r.study, mask.c_str()), -1) << entry.path();
    ::testing::internal::GetCapturedStderr();
  }
  EXPECT_EQ(r.labels(f), std::vector<uint8_t>(24, 4));
}

TEST(MaskImport, SeriesTiffFillsFramesInPageOrderAndSkipsWhatDoesNotFit) {
  TempDir dir;
  RecordingStudy r;
  r.add("x", "OTHER", "20190101", 1);
  const int first = r.add("s1", "P_9", "20200202", 1);
  r.add("s2", "P_9", "20200202", 2);
  r.add("s3", "P_9", "20200202", 3);
  r.study.sortSeriesByInstance();
  const cv::Mat p0 = maskOf({1, 2}), p1 = maskOf({3}), odd = maskOf({5}, 3, 2), p3 = maskOf({7}), p4 = maskOf({7});
  const std::string name = dir.file("m_ID1_P_9_20200202.tiff");
  writeTiff(name, {p0, p1, odd, p3, p4});
  EXPECT_EQ(morvex::loadMaskFile(r.study, name.c_str()), -1);
  EXPECT_EQ(r.labels(first), bytes(p0));
  EXPECT_EQ(r.labels(first + 1), bytes(p1));
  EXPECT_EQ(r.labels(first + 2)[0], 0) << "a page of another size is skipped";
  EXPECT_EQ(r.labels(0)[0], 0) << "the other series is untouched";

  EXPECT_EQ(morvex::loadMaskFile(r.study, dir.file("m_ID9_NOBODY_19990101.tiff").c_str()), -1);
  std::ofstream(dir.file("m_ID1_P_9_20200202_broken.tiff")) << "not a tiff";
  EXPECT_EQ(morvex::loadMaskFile(r.study, dir.file("m_ID1_P_9_20200202_broken.tiff").c_str()), -1);
  EXPECT_EQ(r.labels(first), bytes(p0));
}

// (the generator's truth masks onto their slices: import_widget_test's dropped folder, memcmp each)
TEST(SeriesTiffMask, OnADateWithSeveralSeriesTheNameEndingPicksTheSeries) {
  // Series 7 and 700 of one patient and date: "m_ID_P_20200101_S7" is a part of the name of the
  // series 700 mask, which must still fill series 700 only (and the other way round).
  RecordingStudy r;
  Study& study = r.study;
  for (int number : {7, 700})
    for (int instance = 1; instance <= 2; ++instance)
      r.add("IM" + std::to_string(number) + "_" + std::to_string(instance), "P", "20200101", instance, 4, 3, "ID", number);
  ASSERT_EQ(study.seriesCount(), 2);
  TempDir dir;
  for (int s : {1, 0}) {
    for (int f = 0; f < study.frameCount(); ++f) study.fillLabelImage(f, 0);
    const int first = study.firstFrameOfSeries(s);
    study.fillLabelImage(first, static_cast<uint8_t>(s + 3));
    const std::string path = dir.file("m_ID_P_" + study.seriesFileKey(s) + ".tiff");
    ASSERT_TRUE(morvex::writeSeriesTiff(path, study, s));
    study.fillLabelImage(first, 0);
    morvex::loadMaskFile(study, path.c_str());
    for (int f = 0; f < study.frameCount(); ++f)
      EXPECT_EQ(study.labelImage(f)[0], f == first ? s + 3 : 0) << "series " << s << ", frame " << f;
  }
}
