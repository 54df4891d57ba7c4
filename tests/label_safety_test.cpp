// The user's labels through the real window: a load shows the frame it made current, the file
// tree's highlight and the shown frame agree, imports that load nothing keep the study, every path
// that changes labels refreshes the statistics, LiverSeg keeps the outline and says what it did,
// and a save that fails names its file.

#include <gtest/gtest.h>

#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "tests/testing_support.h"
#include "view/cimage.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace fs = std::filesystem;

namespace {

// The synthetic series' slices (without their masks) in a folder of the test's own.
struct Workstation {
  morvex::testing::TempDir dir;
  std::string truth = morvex::testing::smallSyntheticSeries();
  Morvex main;
  QStringList warnings;
  Workstation() {
    morvex::setWarningInterceptor([this](const QString& w) { warnings << w; });
    fs::create_directory(dir.file("series"));
    for (const auto& e : fs::directory_iterator(truth))
      if (e.path().extension() == ".dcm") fs::copy(e.path(), dir.file("series/" + e.path().filename().string()));
    main.openPaths({QString::fromStdString(dir.file("series"))});
    EXPECT_EQ(main.study().frameCount(), 24);
  }
  ~Workstation() { morvex::setWarningInterceptor({}); }
  int frameOf(const std::string& fileName) {
    for (int f = 0; f < main.study().frameCount(); ++f)
      if (main.study().frame(f)->header.fileName == fileName) return f;
    return -1;
  }
  long count(int f, uint8_t value) {
    const uint8_t* l = main.study().labelImage(f);
    return static_cast<long>(std::count(l, l + main.study().width(f) * main.study().height(f), value));
  }
  long seriesCount(uint8_t value) {
    long n = 0;
    for (int f = 0; f < main.study().frameCount(); ++f) n += count(f, value);
    return n;
  }
  std::vector<uint8_t> labels(int f) {
    const uint8_t* l = main.study().labelImage(f);
    return std::vector<uint8_t>(l, l + main.study().width(f) * main.study().height(f));
  }
  CImage* view() {
    CImage* v = main.imageViews().value(0);
    v->resize(128, 128);
    v->setDisplaySize(128, 128);  // scale 1 from the view's corner
    return v;
  }
  int shownFrame() { return main.imageViews().isEmpty() ? -1 : main.imageViews().first()->frameIndex(); }
  int highlightedFrame() {
    QTreeWidgetItem* item = main.form().treeWidget_FileDirectory->currentItem();
    return item && !item->text(1).isEmpty() ? item->text(1).toInt() : -1;
  }
  QString status() { return main.statusBar()->currentMessage(); }
};

}  // namespace

TEST(LabelSafety, LoadMaskShowsItsFrameSoEditsAndUndoActOnTheLoadedLabels) {
  Workstation w;
  const int last = w.main.currentFrame();
  const int k = w.frameOf("IM0012");
  ASSERT_GE(k, 0);
  ASSERT_NE(k, last);
  w.main.readMask({QString::fromStdString(w.truth + "/m_IM0012.png")});
  const long liver = w.count(k, 1);
  ASSERT_GT(liver, 100) << "the mask of a middle slice holds liver";
  EXPECT_EQ(w.main.currentFrame(), k);
  EXPECT_EQ(w.shownFrame(), k) << "the loaded frame is the one shown";
  EXPECT_EQ(w.highlightedFrame(), k);
  EXPECT_EQ(w.main.areaStatistics().pixelCnt(1), static_cast<float>(w.seriesCount(1))) << "the readout counts the load";

  // a brush stroke lands on the shown (loaded) frame, never on another one
  const std::vector<uint8_t> loaded = w.labels(k);
  const long cancer = std::count(loaded.begin(), loaded.end(), 3);
  w.main.showLabelImage(3);  // cancer: nothing of the mask is lost under the stroke
  w.main.setBrushState();
  CImage* v = w.view();
  QTest::mouseClick(v, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_GT(w.count(k, 3), cancer) << "the stroke lands on the loaded frame";
  EXPECT_EQ(w.count(last, 3), 0) << "the frame shown before the load is untouched";
  EXPECT_EQ(w.main.areaStatistics().pixelCnt(3), static_cast<float>(w.seriesCount(3)));
  // undo takes back the stroke and restores the loaded mask exactly
  w.main.undoHistory();
  EXPECT_EQ(w.labels(k), loaded);
  EXPECT_EQ(w.main.areaStatistics().pixelCnt(3), static_cast<float>(w.seriesCount(3))) << "undo refreshes the readout";
  EXPECT_EQ(w.count(k, 1), liver);
}

TEST(LabelSafety, TheTreeHighlightAndTheShownFrameNeverDiffer) {
  Workstation w;
  QTreeWidget* tree = w.main.form().treeWidget_FileDirectory;
  ASSERT_EQ(w.highlightedFrame(), w.shownFrame());
  tree->setFocus();
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(tree, Qt::Key_Up);
    EXPECT_EQ(w.shownFrame(), w.highlightedFrame()) << "after " << i + 1 << " arrow presses";
    EXPECT_EQ(w.main.currentFrame(), w.highlightedFrame());
  }
  EXPECT_EQ(w.shownFrame(), w.frameOf("IM0021"));
  // the neighbour keys of the window move both together too
  w.main.showNeighbourFrame(-1);
  EXPECT_EQ(w.shownFrame(), w.highlightedFrame());
}

TEST(LabelSafety, FilesThatLoadNothingKeepTheStudyAndItsLabels) {
  Workstation w;
  w.main.readMask({QString::fromStdString(w.truth + "/m_IM0012.png")});
  const long liver = w.seriesCount(1);
  ASSERT_GT(liver, 0);
  {
    std::ofstream(w.dir.file("README")) << "notes about this case\n";
    std::ofstream(w.dir.file("notes.md")) << "# notes\n";
  }
  fs::create_directory(w.dir.file("docs"));
  fs::copy(w.dir.file("README"), w.dir.file("docs/README"));
  w.main.openPaths({QString::fromStdString(w.dir.file("README")), QString::fromStdString(w.dir.file("notes.md"))});
  w.main.openPaths({QString::fromStdString(w.dir.file("docs"))});
  w.main.readDICOM({QString::fromStdString(w.dir.file("notes.md"))});
  EXPECT_EQ(w.main.study().frameCount(), 24);
  EXPECT_EQ(w.seriesCount(1), liver);
  EXPECT_EQ(w.main.form().treeWidget_FileDirectory->topLevelItemCount(), 1);
  EXPECT_EQ(w.shownFrame(), w.main.currentFrame());
  EXPECT_EQ(w.main.areaStatistics().pixelCnt(1), static_cast<float>(liver));
}

TEST(LabelSafety, RightClickDeleteAndItsUndoRefreshTheStatistics) {
  Workstation w;
  w.main.readMask({QString::fromStdString(w.truth + "/m_IM0012.png")});
  const int k = w.main.currentFrame();
  ASSERT_GT(w.count(k, 1), 0);
  // the first liver pixel of the shown frame
  const std::vector<uint8_t> l = w.labels(k);
  const long at = std::find(l.begin(), l.end(), 1) - l.begin();
  w.main.setCutState();
  CImage* v = w.view();
  QTest::mouseClick(v, Qt::RightButton, Qt::NoModifier, QPoint(static_cast<int>(at % 128), static_cast<int>(at / 128)));
  EXPECT_LT(w.count(k, 1), std::count(l.begin(), l.end(), 1)) << "the liver piece under the pointer goes";
  EXPECT_EQ(w.main.areaStatistics().pixelCnt(1), static_cast<float>(w.seriesCount(1)));
  w.main.undoHistory();
  EXPECT_EQ(w.labels(k), l);
  EXPECT_EQ(w.main.areaStatistics().pixelCnt(1), static_cast<float>(w.seriesCount(1)));
}

TEST(LabelSafety, LiverSegOnAFlatSliceKeepsTheOutlineAndReportsWhatItLabelled) {
  morvex::testing::TempDir dir;
  QStringList warnings;
  morvex::setWarningInterceptor([&](const QString& w) { warnings << w; });
  const std::string path = dir.file("P_20200101_1.png");
  ASSERT_TRUE(cv::imwrite(path, cv::Mat(100, 100, CV_8UC1, cv::Scalar(60))));
  Morvex m;
  m.readDICOM({QString::fromStdString(path)});
  CImage* v = m.imageViews().value(0);
  v->resize(100, 100);
  v->setDisplaySize(100, 100);
  m.setBrushSize(15);
  m.setBrushState();
  QTest::mouseClick(v, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
  uint8_t* labels = m.study().labelImage(0);
  const long outline = std::count(labels, labels + 100 * 100, 1);
  ASSERT_GT(outline, 100);
  m.setLiver2D3DOption(0);
  EXPECT_EQ(m.liverSegmentation(), 1);
  const long after = std::count(labels, labels + 100 * 100, 1);
  EXPECT_GT(after, outline / 2) << "the outline's slice is never emptied";
  EXPECT_LT(after, 100 * 100 / 2) << "and never flooded";
  EXPECT_EQ(m.statusBar()->currentMessage(), "LiverSeg: 1 slices labelled");
  EXPECT_EQ(m.areaStatistics().pixelCnt(1), static_cast<float>(after));
  morvex::setWarningInterceptor({});
}

TEST(LabelSafety, ASaveThatFailsNamesTheFileAndASaveThatWorksSaysWhere) {
  Workstation w;
  w.main.readMask({QString::fromStdString(w.truth + "/m_IM0012.png")});
  const std::string out = w.dir.file("out");
  fs::create_directory(out);
  w.main.setDirectoryChooser([&] { return QString::fromStdString(out); });
  w.main.saveFileDir();
  EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join("\n").toStdString();
  EXPECT_TRUE(w.status().startsWith("Saved to " + QString::fromStdString(out))) << w.status().toStdString();
  EXPECT_TRUE(w.status().contains(QString::fromStdString(w.dir.file("series")))) << "and beside the slices";

  // the TIFF's name is taken by a folder: the rename over it fails, whoever runs the test
  std::string tiff;
  for (const auto& e : fs::directory_iterator(out))
    if (e.path().extension() == ".tiff") tiff = e.path().string();
  ASSERT_FALSE(tiff.empty());
  fs::remove(tiff);
  fs::create_directory(tiff);
  fs::create_directory(tiff + "/keep");  // a non-empty folder cannot be replaced by a rename
  w.main.saveFileDir();
  ASSERT_EQ(w.warnings.size(), 1);
  EXPECT_TRUE(w.warnings[0].contains(QString::fromStdString(tiff))) << w.warnings[0].toStdString();
  EXPECT_TRUE(w.status().startsWith("Save failed: ")) << w.status().toStdString();
  EXPECT_TRUE(fs::is_directory(tiff + "/keep")) << "what was there stays";
  int temporaries = 0;
  for (const auto& e : fs::directory_iterator(out)) temporaries += e.path().filename().string().find(".partial-") != std::string::npos;
  EXPECT_EQ(temporaries, 0) << "no half-written file is left";
}
