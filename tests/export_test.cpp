// Export: mask images and series TIFFs read back through mask import, the TIFF tags, text files
// byte for byte, contrast images, and files that stay intact when a write fails.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <tiffio.h>

#include "export/atomic_file.h"
#include "export/mask_writer.h"
#include "export/report_writer.h"
#include "study/mask_import.h"
#include "study/study.h"
#include "tests/testing_support.h"

using morvex::Study;
using morvex::testing::TempDir;

namespace {

int addFrame(Study& s, const std::string& file, const std::string& patient, int instance, int w = 8, int h = 6,
             int16_t fill = 0) {
  morvex::SliceHeader header;
  header.fileName = file;
  header.patientName = patient;
  header.patientId = "ID7";
  header.seriesDate = "20240101";
  header.instanceNumber = instance;
  header.pixelSpacing = 0.7f;
  header.sliceThickness = 5.0f;
  return morvex::testing::addFrame(s, header, w, h, fill);
}

using morvex::testing::labelsOf;

}  // namespace

TEST(MaskExport, LabelValuedPngBinaryBmpAndSeriesTiffReadBackExactly) {
  TempDir dir;
  Study s;
  const int a = addFrame(s, "IM0001", "P", 1), b = addFrame(s, "IM0002", "P", 2);
  for (int i = 0; i < 48; ++i) s.labelImage(a)[i] = static_cast<uint8_t>(i % 8);
  s.labelImage(b)[5] = 5;
  s.labelImage(b)[6] = 1;
  const std::vector<uint8_t> original = labelsOf(s, a);

  ASSERT_TRUE(morvex::writeMaskImage(dir.file("m_IM0001.png"), s.labelImage(a), 8, 6, false));
  ASSERT_TRUE(morvex::writeMaskImage(dir.file("m_IM0002.bmp"), s.labelImage(b), 8, 6, true));
  ASSERT_TRUE(morvex::writeSeriesTiff(dir.file("m_ID7_P_20240101.tiff"), s, 0));
  const std::vector<uint8_t> second = labelsOf(s, b);

  for (int f : {a, b}) s.fillLabelImage(f, 0);
  EXPECT_EQ(morvex::loadMaskFile(s, dir.file("m_IM0001.png").c_str()), a);
  EXPECT_EQ(labelsOf(s, a), original) << "label values 0-7 come back as written";
  EXPECT_EQ(morvex::loadMaskFile(s, dir.file("m_IM0002.bmp").c_str()), b);
  EXPECT_EQ(std::vector<uint8_t>(s.labelImage(b) + 5, s.labelImage(b) + 8), (std::vector<uint8_t>{1, 1, 0}))
      << "binary: label 1 where set";
  for (int f : {a, b}) s.fillLabelImage(f, 0);
  EXPECT_EQ(morvex::loadMaskFile(s, dir.file("m_ID7_P_20240101.tiff").c_str()), -1);
  EXPECT_EQ(labelsOf(s, a), original);
  EXPECT_EQ(labelsOf(s, b), second);
  EXPECT_FALSE(morvex::writeMaskImage(dir.file("m_x.nosuchformat"), s.labelImage(a), 8, 6, false));
  EXPECT_FALSE(std::filesystem::exists(dir.file("m_x.nosuchformat")));
}

TEST(MaskExport, TiffTagsFollowTheTable) {
  TempDir dir;
  Study one;
  addFrame(one, "a", "P", 1, 640, 480);
  ASSERT_TRUE(morvex::writeSeriesTiff(dir.file("one.tiff"), one, 0));
  TIFF* tif = TIFFOpen(dir.file("one.tiff").c_str(), "rc");  // "c": the strips as stored, not chopped
  ASSERT_NE(tif, nullptr);
  // rows per strip: the default strip size for a request of the width
  for (const auto& [tag, value] : {std::pair<ttag_t, uint32_t>{TIFFTAG_IMAGEWIDTH, 640}, {TIFFTAG_IMAGELENGTH, 480},
                                   {TIFFTAG_ROWSPERSTRIP, 640}, {TIFFTAG_SUBFILETYPE, 2}}) {
    uint32_t v = 0;
    TIFFGetField(tif, tag, &v);
    EXPECT_EQ(v, value) << "tag " << tag;
  }
  for (const auto& [tag, value] : {std::pair<ttag_t, uint16_t>{TIFFTAG_BITSPERSAMPLE, 8}, {TIFFTAG_SAMPLESPERPIXEL, 1},
                                   {TIFFTAG_COMPRESSION, 1}, {TIFFTAG_PHOTOMETRIC, 1}, {TIFFTAG_ORIENTATION, 1},
                                   {TIFFTAG_PLANARCONFIG, 1}}) {
    uint16_t v = 0;
    TIFFGetField(tif, tag, &v);
    EXPECT_EQ(v, value) << "tag " << tag;
  }
  uint16_t page = 9, pages = 9;
  TIFFGetField(tif, TIFFTAG_PAGENUMBER, &page, &pages);
  EXPECT_EQ(page, 0);
  EXPECT_EQ(pages, 1) << "a series of one frame: PageNumber (0, 1)";
  EXPECT_EQ(TIFFReadDirectory(tif), 0);
  TIFFClose(tif);
}

TEST(MaskExport, OtherSizedFramesAreCroppedOrPaddedAndForeignFramesSkipped) {
  TempDir dir;
  Study s;
  addFrame(s, "a", "P", 1, 4, 3);
  addFrame(s, "x", "Q", 1, 4, 3);  // another series inside the range (not sorted on purpose)
  addFrame(s, "b", "P", 2, 2, 5);  // narrower and taller than the first frame
  s.fillLabelImage(0, 1);
  s.fillLabelImage(2, 3);
  ASSERT_TRUE(morvex::writeSeriesTiff(dir.file("s.tiff"), s, 0));
  TIFF* tif = TIFFOpen(dir.file("s.tiff").c_str(), "r");
  ASSERT_NE(tif, nullptr);
  int directories = 0;
  std::vector<uint8_t> row(4);
  std::vector<std::vector<uint8_t>> page2;
  do {
    ++directories;
    uint16_t page = 0, pages = 0;
    TIFFGetField(tif, TIFFTAG_PAGENUMBER, &page, &pages);
    EXPECT_EQ(pages, 2) << "the foreign frame is not a page";
    if (directories == 2)
      for (uint32_t y = 0; y < 3; ++y) {
        TIFFReadScanline(tif, row.data(), y, 0);
        page2.push_back(row);
      }
  } while (TIFFReadDirectory(tif));
  TIFFClose(tif);
  EXPECT_EQ(directories, 2);
  ASSERT_EQ(page2.size(), 3u);
  EXPECT_EQ(page2[0], (std::vector<uint8_t>{3, 3, 0, 0})) << "cropped to 3 rows, padded to 4 columns";
}

TEST(TextFiles, HistogramStatisticsAndReportByteForByte) {
  // selection spanning -50..200 in a series spanning -1024..3071
  std::vector<int16_t> hu = {-1024, 3071, -50, 200, 100, 100};
  std::vector<uint8_t> sel = {0, 0, 255, 255, 255, 0};
  morvex::AreaStatistics st(1);
  st.computeSlice(hu.data(), sel.data(), 3, 2, true);
  const std::string csv = morvex::histogramCsv(st, 1);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4096);
  EXPECT_EQ(csv.substr(0, 9), "-1024,0\n-");
  EXPECT_EQ(csv.substr(csv.size() - 7), "3071,0\n");
  EXPECT_NE(csv.find("\n-50,1\n"), std::string::npos);

  morvex::SliceHeader h;
  h.patientId = "ID7";
  h.patientName = "P";
  h.patientSex = "F";
  h.patientAge = "054Y";
  h.pixelSpacing = 0.7f;
  h.sliceThickness = 5.0f;
  EXPECT_EQ(morvex::statisticsText(h, st, 1),
            "ID7\tP\tF\t054Y\t\nmin\tQ1\tmedian\tQ3\tmax\tavg\tstd\tpixelCnt\n-50\t25\t100\t150\t200\t83.33\t125.83\t3")
      << "no line end after the numbers; quartiles between min and max";

  // a liver of 1 000 000 voxels at 0.7 mm and 5 mm
  std::vector<int16_t> big(1000000, 60);
  std::vector<uint8_t> liver(1000000, 1);
  morvex::AreaStatistics labels(7);
  labels.computeSlice(big.data(), liver.data(), 1000, 1000, false);
  EXPECT_EQ(morvex::reportText(h, labels), "ID7\tP\tF\t054Y\t\n2450.0\t2450.0\t0.0\t0.0\t0.0\t0.0");

  // A divided liver with a different count for every label (1 mL voxels): right lobe 5 at 10..50,
  // left lobe 4 at -5; left vessel 6 twice, right vessel 7 four times; leftovers 1 and 2 do not count.
  const std::vector<uint8_t> divided = {5, 5, 5, 5, 5, 4, 4, 4, 6, 6, 7, 7, 7, 7, 1, 2};
  std::vector<int16_t> values = {10, 20, 30, 40, 50, -5, -5, -5, 0, 0, 0, 0, 0, 0, 0, 0};
  labels.computeSlice(values.data(), divided.data(), 4, 4, false);
  EXPECT_EQ(morvex::statisticsTextLeftRight(h, labels),
            "ID7\tP\tF\t054Y\t\nmin\tQ1\tmedian\tQ3\tmax\tavg\tstd\tpixelCnt\n"
            "10\t20\t30\t40\t50\t30.00\t15.81\t5\n-5\t-5\t-5\t-5\t-5\t-5.00\t0.00\t3")
      << "the right lobe's line first, then the left lobe's";
  h.pixelSpacing = h.sliceThickness = 10.0f;
  EXPECT_EQ(morvex::reportText(h, labels), "ID7\tP\tF\t054Y\t\n14.0\t8.0\t9.0\t5.0\t5.0\t3.0")
      << "total, without vessels, right, right without, left, left without";
  h.pixelSpacingRow = 10;
  h.pixelSpacingColumn = 5;  // pixels of 10 x 5 mm: half the volume of the first value squared
  EXPECT_EQ(morvex::reportText(h, labels), "ID7\tP\tF\t054Y\t\n7.0\t4.0\t4.5\t2.5\t2.5\t1.5");
}

TEST(ContrastImage, StretchesTheFrameRangeToGrey) {
  std::vector<int16_t> v = {-1024, 0, 3071, 100};
  morvex::rescaleToRange(v.data(), 2, 2, 255, 0);
  EXPECT_EQ(v, (std::vector<int16_t>{0, 63, 255, 69}));
  std::vector<int16_t> flat = {7, 7};
  morvex::rescaleToRange(flat.data(), 2, 1, 255, 0);
  EXPECT_EQ(flat, (std::vector<int16_t>{7, 7})) << "a constant frame is left as it is";
  TempDir dir;
  const int16_t hu[4] = {-1024, 0, 3071, 100};
  ASSERT_TRUE(morvex::writeContrastImage(dir.file("c_IM0001.png"), hu, 2, 2));
  const cv::Mat back = cv::imread(dir.file("c_IM0001.png"), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(back.channels(), 3);
  EXPECT_EQ(back.at<cv::Vec3b>(0, 1), cv::Vec3b(63, 63, 63));
}

TEST(SafeWrites, AFailedWriteLeavesTheEarlierFileAndNoLeftovers) {
  TempDir dir;
  const std::string target = dir.file("report.txt");
  ASSERT_TRUE(morvex::writeFileAtomically(target, "good report"));
  {
    morvex::AtomicFile file(target);  // the writer dies half-way: no commit
    ASSERT_TRUE(file.write("half a rep"));
    EXPECT_EQ(morvex::testing::readBytes(target), "good report") << "nothing visible before the commit";
  }
  EXPECT_EQ(morvex::testing::readBytes(target), "good report");
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) entries += e.is_regular_file();
  EXPECT_EQ(entries, 1) << "no temporary file left behind";

  // The disk refuses: the temporary file cannot be created.
  std::filesystem::create_directory(dir.file("blocked"));
  const std::string blockedTarget = dir.file("blocked/mask.png");
  ASSERT_TRUE(morvex::writeFileAtomically(blockedTarget, "old mask"));
  const std::string temp = morvex::AtomicFile(blockedTarget, false).tempPath();  // gone again with its writer
  std::filesystem::create_directory(temp);  // a folder in the way
  EXPECT_FALSE(morvex::writeFileAtomically(blockedTarget, "new mask"));
  EXPECT_EQ(morvex::testing::readBytes(blockedTarget), "old mask");

  // A path that does not fit the program's buffers is refused, never cut short.
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(morvex::joinPath(dir.path(), std::string(1100, 'a') + ".png", "saveFile_png()"), "");
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("saveFile_png(): path longer than 1023 bytes refused"),
            std::string::npos);
}
