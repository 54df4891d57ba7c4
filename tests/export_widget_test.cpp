// The save commands of the main window on a loaded series: the directory command (series TIFF,
// reports and the DICOM Segmentation), the batch writers into "Result", the series folder layout and
// the histogram buttons.

#include <gtest/gtest.h>

#include <QDir>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "export/dicom_seg.h"
#include "study/mask_import.h"
#include "tests/testing_support.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace fs = std::filesystem;

namespace {

// A private copy of the synthetic series (the save command writes beside the DICOM files).
struct LoadedCopy {
  morvex::testing::TempDir dir;
  std::string series;
  Morvex main;
  LoadedCopy() {
    morvex::setWarningInterceptor([](const QString&) {});
    series = dir.file("series");
    fs::copy(morvex::testing::smallSyntheticSeries(), series);
    main.openPaths({QString::fromStdString(series)});
  }
  ~LoadedCopy() { morvex::setWarningInterceptor({}); }
};

}  // namespace

TEST(SaveCommand, DirectoryCommandBatchWritersAndSeriesLayout) {
  LoadedCopy c;
  const std::string out = c.dir.file("out");
  fs::create_directory(out);
  c.main.setDirectoryChooser([] { return QString(); });
  c.main.saveFileDir();
  EXPECT_EQ(morvex::testing::filesStartingWith(out, ""), 0) << "a cancelled dialog writes nothing";
  EXPECT_EQ(morvex::testing::filesStartingWith(c.series, "report_"), 0);

  c.main.setDirectoryChooser([&] { return QString::fromStdString(out); });
  c.main.saveFileDir();
  const std::string tiff = "m_SYN0001_SYNTH^LIVER_20260101.tiff";
  ASSERT_TRUE(fs::exists(out + "/" + tiff));
  ASSERT_TRUE(fs::exists(c.series + "/" + tiff)) << "the second copy beside the DICOM files";
  const std::string report = morvex::testing::readBytes(out + "/report_SYN0001_SYNTH^LIVER_20260101.txt");
  EXPECT_EQ(report.rfind("SYN0001\tSYNTH^LIVER\tO\t055Y\t\n", 0), 0u);
  EXPECT_EQ(morvex::testing::readBytes(c.series + "/report_SYN0001_SYNTH^LIVER_20260101.txt"), report);
  EXPECT_EQ(morvex::testing::filesStartingWith(out, ".m_"), 0) << "no temporary file left";

  // The TIFF and the segmentation (written here only, not among the slices) each restore every label.
  morvex::Study& study = c.main.study();
  ASSERT_EQ(study.frameCount(), 24);
  const std::vector<std::vector<uint8_t>> labels = morvex::testing::allLabels(study);
  std::vector<std::vector<uint8_t>> fromSeg;
  const std::string seg = out + "/seg_SYN0001_SYNTH^LIVER_20260101.dcm";
  EXPECT_FALSE(fs::exists(c.series + "/seg_SYN0001_SYNTH^LIVER_20260101.dcm"));
  std::string error;
  ASSERT_TRUE(morvex::readDicomSeg(seg, study, 0, c.main.labelTable(), fromSeg, error)) << error;
  for (int f = 0; f < 24; ++f) study.fillLabelImage(f, 0);
  morvex::loadMaskFile(study, (out + "/" + tiff).c_str());
  for (int f = 0; f < 24; ++f) {
    ASSERT_EQ(0, std::memcmp(study.labelImage(f), labels[f].data(), labels[f].size())) << f;
    ASSERT_EQ(fromSeg[f], labels[f]) << f;
  }

  // The batch writers need the "Result" folder; the series layout and the histogram buttons.
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(c.dir.path())));
  c.main.saveFileAll();
  EXPECT_FALSE(fs::exists("Result")) << "the folder is not created; every file is skipped";
  fs::create_directory("Result");
  c.main.saveFileAll();
  EXPECT_EQ(morvex::testing::filesStartingWith("Result", "c_"), 24);
  EXPECT_EQ(morvex::testing::filesStartingWith("Result", "m_"), 24);
  EXPECT_TRUE(fs::exists("Result/c_IM0001.jpg"));
  EXPECT_TRUE(fs::exists("Result/m_IM0001.bmp"));

  c.main.saveFile_tiff("tiffs", 0);
  EXPECT_TRUE(fs::exists("tiffs/SYNTH^LIVER/20260101/m_SYN0001_SYNTH^LIVER_20260101.tiff")) << "levels created";
  c.main.saveFile("masks-missing", 3);
  EXPECT_FALSE(fs::exists("masks-missing"));
  fs::create_directory("masks");
  c.main.saveFile("masks", 3);
  EXPECT_TRUE(fs::exists("masks/m_IM0004.png"));

  c.main.calcGroupSelectedAreaStatistic(0);
  c.main.saveGroupHistogram("masks", 0);
  EXPECT_TRUE(fs::exists("masks/histogram_SYN0001_SYNTH^LIVER_20260101.csv"));
  EXPECT_TRUE(fs::exists("masks/statistic_SYN0001_SYNTH^LIVER_20260101.txt"));
  c.main.saveHistogram("masks", 3);
  EXPECT_TRUE(fs::exists("masks/histogram_SYN0001_SYNTH^LIVER_20260101_4.csv"));
  c.main.saveGroupHistogram2("masks", 0);
  EXPECT_FALSE(fs::exists("masks/histogram_SYN0001_SYNTH^LIVER_20260101_R.csv")) << "no right lobe: nothing";
  QDir::setCurrent(previous);

  // a series without labels writes no segmentation
  for (int f = 0; f < 24; ++f) study.fillLabelImage(f, 0);
  fs::remove(seg);
  fs::remove(out + "/" + tiff);
  c.main.saveFileDir();
  EXPECT_FALSE(fs::exists(seg));
  EXPECT_TRUE(fs::exists(out + "/" + tiff));
}
