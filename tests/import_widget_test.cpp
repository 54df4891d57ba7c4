// The import driven through the real main window offscreen: the file tree, the information panel,
// drops of folders, re-imports.

#include <gtest/gtest.h>

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QProgressBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "tests/testing_support.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

using morvex::testing::TempDir;

namespace {

// The handler is called directly: offscreen there is no drag manager to route a synthetic drop.
struct DropTarget : Morvex {
  using Morvex::dragEnterEvent;
  using Morvex::dropEvent;
};

struct Window {
  DropTarget main;
  QStringList warnings;
  Window() {
    morvex::setWarningInterceptor([this](const QString& w) { warnings << w; });
  }
  ~Window() { morvex::setWarningInterceptor({}); }
  QTreeWidget* files() { return main.form().treeWidget_FileDirectory; }
  QTreeWidget* info() { return main.form().treeWidget_DICOMInfo; }
};

QStringList filesBelow(const std::string& folder) {
  QStringList out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
    if (e.is_regular_file()) out << QString::fromStdString(e.path().string());
  return out;
}

void drop(DropTarget& w, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  enter.setAccepted(false);
  w.dragEnterEvent(&enter);
  EXPECT_TRUE(enter.isAccepted()) << "URLs are accepted";
  QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  w.dropEvent(&event);
}

}  // namespace

TEST(ImportWindow, RealSeriesOfOneDateStayApartInTheTreeAndTheWheelWalksEachInOrder) {
  MORVEX_REQUIRE_SHARED_DATA();
  Window w;
  ::testing::internal::CaptureStderr();
  const QStringList files = filesBelow(morvex::testing::sharedFile("multi-series"));
  w.main.readDICOM(files);
  ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(w.warnings.size(), 1) << "one message for the import";
  EXPECT_EQ(w.warnings[0].count('\n'), 2 + 3 - 1) << "the design's text, a blank line, the three radiographs";
  EXPECT_FALSE(w.main.progressBar()->isVisible());
  const morvex::Study& study = w.main.study();
  EXPECT_EQ(study.frameCount(), files.size() - 3) << "every other file is a frame of its own";
  // Doe^Archibald's one CT series keeps the plain date; Doe^Peter has two series on 20010101 and
  // seven Series Instance UIDs on 20030505 (numbers 1, 1, 1, 2, 2, 2 and 700; two of number 2
  // share the description too: their captions count them).
  EXPECT_EQ(study.seriesCount(), 10);
  QTreeWidget* tree = w.files();
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  QStringList captions;
  int frames = 0;
  for (int p = 0; p < tree->topLevelItemCount(); ++p) {
    QTreeWidgetItem* patient = tree->topLevelItem(p);
    for (int s = 0; s < patient->childCount(); ++s) {
      QTreeWidgetItem* series = patient->child(s);
      captions << series->text(0);
      const int group = study.seriesOfFrame(series->child(0)->text(1).toInt());
      EXPECT_EQ(series->text(0).toStdString(), study.seriesCaption(group));
      EXPECT_EQ(series->childCount(), study.lastFrameOfSeries(group) - study.firstFrameOfSeries(group) + 1);
      for (int k = 0; k < series->childCount(); ++k) {
        const int f = series->child(k)->text(1).toInt();
        ++frames;
        EXPECT_EQ(study.seriesOfFrame(f), group) << "one date node holds one series";
        EXPECT_EQ(series->child(k)->text(0).toInt(), study.instanceNumber(f));
        EXPECT_EQ(QString::fromStdString(study.frame(f)->header.patientName), patient->text(0));
        if (k > 0) {
          EXPECT_EQ(f, series->child(k - 1)->text(1).toInt() + 1) << "column 1 follows the sorted frames";
          EXPECT_LT(study.instanceNumber(f - 1), study.instanceNumber(f)) << "no instance number twice";
        }
      }
    }
  }
  EXPECT_EQ(frames, study.frameCount());
  EXPECT_EQ(captions.removeDuplicates(), 0);
  EXPECT_TRUE(captions.contains("19950903"));
  EXPECT_TRUE(captions.contains("20010101 #4 Scout"));
  EXPECT_TRUE(captions.contains("20010101 #5 SmartScore - Gated 0.5 sec"));
  EXPECT_TRUE(captions.contains("20030505 #700 ANGIO Projected from   C"));
  EXPECT_TRUE(captions.contains("20030505 #2 T/S/C RF FAST PILOT (1)"));
  EXPECT_TRUE(captions.contains("20030505 #2 T/S/C RF FAST PILOT (2)"));
  EXPECT_TRUE(captions.contains("20030505 #1 FAST LOCALIZER (3)"));
  ASSERT_NE(tree->currentItem(), nullptr);
  EXPECT_EQ(tree->currentItem()->text(1).toInt(), w.main.currentFrame());
  ASSERT_EQ(w.info()->topLevelItemCount(), 13);
  EXPECT_EQ(w.info()->topLevelItem(1)->text(1), "-");
  EXPECT_EQ(w.info()->topLevelItem(11)->text(1), "16");

  // The wheel from the first slice of the angiography visits its seven slices in instance order.
  int angio = -1;
  for (int s = 0; s < study.seriesCount(); ++s)
    if (study.series(s)->seriesNumber == 700) angio = s;
  ASSERT_GE(angio, 0);
  w.main.showImage(study.firstFrameOfSeries(angio));
  for (int instance = 1; instance <= 7; ++instance) {
    EXPECT_EQ(study.seriesOfFrame(w.main.currentFrame()), angio);
    EXPECT_EQ(study.instanceNumber(w.main.currentFrame()), instance);
    w.main.showNeighbourFrame(1);
  }
}

// A dropped folder: its slices, their masks, the statistics, clean-up and body segmentation on the
// loaded series; a new import then replaces the study.
TEST(ImportWindow, DroppedFolderImportsSlicesAndMasksForTheToolsAndANewImportReplacesTheStudy) {
  const std::string& series = morvex::testing::smallSyntheticSeries();
  Window w;
  drop(w.main, {QString::fromStdString(series)});
  morvex::Study& study = w.main.study();
  ASSERT_EQ(study.frameCount(), 24) << "the m_*.png ground-truth masks are not slices";
  // ...they are masks, loaded onto their slices after the import.
  long labelled = 0, liver = 0;
  for (int f = 0; f < 24; ++f) {
    const cv::Mat truth = cv::imread(series + "/m_" + study.frame(f)->header.fileName + ".png", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(0, std::memcmp(study.labelImage(f), truth.data, truth.total())) << f;
    labelled += cv::countNonZero(truth);
    liver += cv::countNonZero(truth == 1);
  }
  EXPECT_GT(labelled, 1000);
  EXPECT_EQ(w.files()->topLevelItemCount(), 1);
  EXPECT_EQ(w.main.currentFrame(), 23);
  const morvex::AreaStatistics& st = w.main.areaStatistics();
  ASSERT_TRUE(st.computed()) << "a drop ends with the statistics of every series";
  EXPECT_EQ(st.pixelCnt(1), static_cast<float>(liver));
  EXPECT_NEAR(st.average(1), 60.0, 2.0);
  EXPECT_NEAR(st.median(2), 180.0, 5.0);

  // A vessel stroke outside the liver is taken back; clean-up makes one liver object of the labels.
  const int f = w.main.currentFrame();
  const int n = study.width(f) * study.height(f);
  std::vector<uint8_t> before(study.labelImage(f), study.labelImage(f) + n);
  std::vector<uint8_t> after(n, 2);
  std::copy(after.begin(), after.end(), study.labelImage(f));
  w.main.reLabeling(f, before.data(), after.data());
  for (int i = 0; i < n; ++i) ASSERT_EQ(study.labelImage(f)[i], before[i] == 1 ? 2 : before[i]);
  study.labelImage(f)[n / 2 + 64] = 3;  // a lone tumour pixel of the shown (liverless) slice
  w.main.deNoiseObject();
  EXPECT_EQ(study.labelImage(f)[n / 2 + 64], 1) << "one liver object";

  // Body segmentation zeroes what lies outside the body of the shown slice, and only there.
  const std::vector<int16_t> original(study.intensities(f), study.intensities(f) + n);
  w.main.bodySegmentation();
  int zeroed = 0;
  for (int i = 0; i < n; ++i)
    if (study.intensities(f)[i] != original[i]) {
      ++zeroed;
      ASSERT_EQ(study.intensities(f)[i], 0);
    }
  EXPECT_GT(zeroed, n / 5);
  w.main.reCalcRegionGroup(-1);
  EXPECT_LE(w.main.areaStatistics().base(), -900) << "the other slices still hold air";

  // Importing one file again starts from an empty study.
  w.main.readDICOM(QStringList{QString::fromStdString(series + "/IM0003.dcm")});
  EXPECT_EQ(w.main.study().frameCount(), 1);
  QTreeWidgetItem* patient = w.files()->topLevelItem(0);
  ASSERT_NE(patient, nullptr);
  ASSERT_EQ(patient->childCount(), 1);
  ASSERT_EQ(patient->child(0)->childCount(), 1);
  EXPECT_EQ(patient->child(0)->child(0)->text(0), "3");
  ASSERT_EQ(w.info()->topLevelItemCount(), 13);
  EXPECT_EQ(w.info()->topLevelItem(12)->text(1), "3");

  // The same file listed twice gives one tree item; an empty list changes nothing.
  const QString again = QString::fromStdString(series + "/IM0005.dcm");
  w.main.readDICOM(QStringList{again, again});
  EXPECT_EQ(w.main.study().frameCount(), 1);
  ASSERT_EQ(w.files()->topLevelItemCount(), 1);
  ASSERT_EQ(w.files()->topLevelItem(0)->childCount(), 1);
  EXPECT_EQ(w.files()->topLevelItem(0)->child(0)->childCount(), 1);
  w.main.readDICOM(QStringList{});
  EXPECT_EQ(w.main.study().frameCount(), 1);
  EXPECT_TRUE(w.warnings.isEmpty());
}

// A folder of slices without extension or with an upper-case one (read by their preamble), a text
// file (not a slice, never named) and refused files: the refusals come in one message.
TEST(ImportWindow, AFolderDropReadsByPreambleAndNamesEachRefusedFileWithItsReasonInOneMessage) {
  MORVEX_REQUIRE_SHARED_DATA();
  TempDir dir;
  for (const QString& f : filesBelow(morvex::testing::sharedFile("malformed")))
    dir.copyIn(f.toStdString(), QFileInfo(f).fileName().toStdString());
  morvex::testing::writeBytes(dir.file("P1_20200101_1.png"), morvex::testing::pngClaiming(40000, 40000));
  dir.copyIn(morvex::testing::sharedFile("nema-wg04/CT_small.dcm"), "IM0001");
  dir.copyIn(morvex::testing::sharedFile("nema-wg04/MR_small.dcm"), "MR.DCM");
  std::ofstream(dir.file("notes.txt")) << "reading list";
  Window w;
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  drop(w.main, {QString::fromStdString(dir.path())});
  const std::string log = ::testing::internal::GetCapturedStderr();
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(w.main.study().frameCount(), 2);
  ASSERT_EQ(w.warnings.size(), 1);
  EXPECT_FALSE(w.warnings[0].contains("notes.txt"));
  const QStringList lines = w.warnings[0].split('\n');
  EXPECT_EQ(lines.value(0), QString::fromUtf8("Image load 실패 - DICOM Header에 문제가 있습니다."));
  EXPECT_EQ(lines.value(1), "Image load failed: the file cannot be read as a slice.") << "the PNG's own headline";
  // one line per file with its reason (decoder_test checks the reason of every sample)
  EXPECT_EQ(lines.size(), 2 + 1 + 6) << w.warnings[0].toStdString();
  for (const char* line : {"JPEG2000.dcm: missing Slice Thickness (0018,0050) and no Image Position (Patient) "
                           "(0020,0032) to measure the slice spacing",
                           "P1_20200101_1.png: image of 40000 x 40000 pixels exceeds 16384 x 16384"}) {
    EXPECT_TRUE(lines.contains(line)) << w.warnings[0].toStdString();
    EXPECT_NE(log.find(QString(line).section(':', 0, 0).toStdString()), std::string::npos) << "logged too";
  }
}

TEST(ImportWindow, LooseImagesDroppedWithADicomSliceEachHaveTheirTreeItem) {
  MORVEX_REQUIRE_SHARED_DATA();
  TempDir dir;
  dir.copyIn(morvex::testing::sharedFile("nema-wg04/CT_small.dcm"), "ct.dcm");
  for (const char* name : {"liver.png", "kidney.png", "spleen.bmp"})
    ASSERT_TRUE(cv::imwrite(dir.file(name), cv::Mat(9, 11, CV_8UC1, cv::Scalar(90))));
  Window w;
  drop(w.main, {QString::fromStdString(dir.path())});
  ASSERT_EQ(w.main.study().frameCount(), 4);
  // every frame is reachable: exactly one leaf of the tree leads to it
  std::vector<int> leaves(4, 0);
  for (QTreeWidgetItemIterator it(w.files()); *it; ++it)
    if (!(*it)->text(1).isEmpty()) ++leaves.at(static_cast<std::size_t>((*it)->text(1).toInt()));
  EXPECT_EQ(leaves, std::vector<int>(4, 1));
  EXPECT_TRUE(w.warnings.isEmpty());
}

TEST(ImportWindow, MostlyBlackImageIsASliceAloneAndAMaskInsideAFolder) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("case"));
  cv::Mat img(10, 10, CV_8UC1, cv::Scalar(128));
  for (int i = 0; i < 78; ++i) img.data[i] = (i % 2) ? 255 : 0;
  ASSERT_TRUE(cv::imwrite(dir.file("case/P1_20200101_1.png"), img));
  ASSERT_TRUE(cv::imwrite(dir.file("case/P1_20200101_2.png"), cv::Mat(10, 10, CV_8UC1, cv::Scalar(90))));
  Window w;
  drop(w.main, {QString::fromStdString(dir.file("case/P1_20200101_1.png"))});
  EXPECT_EQ(w.main.study().frameCount(), 1) << "dropped alone: 78 % is below 80 %, a slice";
  drop(w.main, {QString::fromStdString(dir.file("case"))});
  ASSERT_EQ(w.main.study().frameCount(), 1) << "inside a folder: above 75 %, a mask";
  EXPECT_EQ(w.main.study().instanceNumber(0), 2);
}

TEST(ImportWindow, ListFolderLimitsTheImportToItsCases) {
  MORVEX_REQUIRE_SHARED_DATA();
  TempDir dir;
  std::filesystem::create_directory(dir.file("List"));
  std::ofstream(dir.file("List/cases.txt")) << "P001\n";
  const std::string wanted = dir.copyIn(morvex::testing::sharedFile("nema-wg04/CT_small.dcm"), "a_P001_DCM.dcm");
  const std::string other = dir.copyIn(morvex::testing::sharedFile("nema-wg04/MR_small.dcm"), "P002.dcm");
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path())));
  Window w;
  w.main.readDICOM({QString::fromStdString(other), QString::fromStdString(wanted)});
  QDir::setCurrent(previous);
  ASSERT_EQ(w.main.study().frameCount(), 1);
  EXPECT_EQ(w.main.study().frame(0)->header.fileName, "a_P001_DCM");
}
