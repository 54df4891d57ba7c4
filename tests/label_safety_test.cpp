// The user's labels through the real window: a load shows the frame it made current, the file
// tree's highlight and the shown frame agree, imports that load nothing keep the study, every path
// that changes labels refreshes the statistics, LiverSeg keeps the outline and says what it did,
// and a save that fails names its file.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <fstream>
#include <signal.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/borderless_main_window.h"
#include "tests/testing_support.h"
#include "view/cimage.h"
#include "workspace/background_run.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace fs = std::filesystem;

namespace {

// The synthetic series' slices (without their masks) copied into dir/series.
void copySlices(const morvex::testing::TempDir& dir) {
  fs::create_directory(dir.file("series"));
  for (const auto& e : fs::directory_iterator(morvex::testing::smallSyntheticSeries()))
    if (e.path().extension() == ".dcm") fs::copy(e.path(), dir.file("series/" + e.path().filename().string()));
}

// The window on a copy of the synthetic series' slices.
struct Workstation {
  morvex::testing::TempDir dir;
  std::string truth = morvex::testing::smallSyntheticSeries();
  Morvex main;
  QStringList warnings;
  Workstation() {
    morvex::setWarningInterceptor([this](const QString& w) { warnings << w; });
    copySlices(dir);
    main.openPaths({QString::fromStdString(dir.file("series"))});
    EXPECT_EQ(main.study().frameCount(), 24);
  }
  ~Workstation() { morvex::setWarningInterceptor({}); }
  // The ground-truth mask of the middle slice IM0012.
  void loadMask() { main.readMask({QString::fromStdString(truth + "/m_IM0012.png")}); }
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
  std::vector<uint8_t> labels(int f) { return morvex::testing::labelsOf(main.study(), f); }
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

TEST(LabelSafety, LoadMaskShowsItsFrameSoEditsAndUndoActOnTheLoadedLabelsAndRefreshTheReadout) {
  Workstation w;
  const int last = w.main.currentFrame();
  const int k = w.frameOf("IM0012");
  ASSERT_GE(k, 0);
  ASSERT_NE(k, last);
  w.loadMask();
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

  // a right-click delete of the liver piece under the pointer, and its undo, refresh it too
  const long at = std::find(loaded.begin(), loaded.end(), 1) - loaded.begin();
  w.main.setCutState();
  QTest::mouseClick(v, Qt::RightButton, Qt::NoModifier, QPoint(static_cast<int>(at % 128), static_cast<int>(at / 128)));
  EXPECT_LT(w.count(k, 1), liver);
  EXPECT_EQ(w.main.areaStatistics().pixelCnt(1), static_cast<float>(w.seriesCount(1)));
  w.main.undoHistory();
  EXPECT_EQ(w.labels(k), loaded);
  EXPECT_EQ(w.main.areaStatistics().pixelCnt(1), static_cast<float>(w.seriesCount(1)));
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
  w.loadMask();
  const long liver = w.seriesCount(1);
  ASSERT_GT(liver, 0);
  std::ofstream(w.dir.file("README")) << "notes about this case\n";  // each closed at the end of its line
  std::ofstream(w.dir.file("notes.md")) << "# notes\n";
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

TEST(LabelSafety, LiverSegOnAFlatSliceKeepsTheOutlineAndReportsWhatItLabelled) {
  morvex::testing::TempDir dir;
  QStringList warnings;
  morvex::setWarningInterceptor([&](const QString& w) { warnings << w; });
  Morvex m;
  m.readDICOM(morvex::testing::qPaths(morvex::testing::writeFlatPngSlices(dir, 1, 100, 100)));
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
  w.loadMask();
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
  for (const auto& e : fs::directory_iterator(out))
    if (e.path().filename().string().rfind("report_", 0) == 0) fs::remove(e.path());
  w.main.saveFileDir();
  EXPECT_EQ(morvex::testing::filesStartingWith(out, "report_"), 0) << "no report beside masks that could not be written";
  EXPECT_EQ(morvex::testing::filesStartingWith(w.dir.file("series"), "report_"), 1) << "the report beside the slices follows their TIFF";
  ASSERT_EQ(w.warnings.size(), 1);
  EXPECT_TRUE(w.warnings[0].contains(QString::fromStdString(tiff))) << w.warnings[0].toStdString();
  EXPECT_TRUE(w.status().startsWith("Save failed: ")) << w.status().toStdString();
  EXPECT_TRUE(fs::is_directory(tiff + "/keep")) << "what was there stays";
  int temporaries = 0;
  for (const auto& e : fs::directory_iterator(out)) temporaries += e.path().filename().string().find(".partial-") != std::string::npos;
  EXPECT_EQ(temporaries, 0) << "no half-written file is left";
}

TEST(LabelSafety, HistogramSavesSkipAMissingResultFolderSilentlyAndAnEditClearsSavedTo) {
  Workstation w;
  w.loadMask();
  const QString cwd = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(w.dir.path())));  // no "Result" here
  struct Back {
    QString to;
    ~Back() { QDir::setCurrent(to); }
  } back{cwd};
  const QString series = QString::fromStdString(w.dir.file("series"));
  Ui::MorvexClass& ui = w.main.form();
  ui.pushButton_HistogramSaveGroup->click();
  ui.pushButton_HistogramSave->click();
  EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join("\n").toStdString();
  EXPECT_EQ(w.status(), "Saved to " + series);
  EXPECT_EQ(morvex::testing::filesStartingWith(w.dir.file("series"), "histogram_"), 2);
  EXPECT_EQ(morvex::testing::filesStartingWith(w.dir.file("series"), "statistic_"), 2);
  fs::create_directory(w.dir.file("Result"));
  ui.pushButton_HistogramSaveGroup->click();
  EXPECT_EQ(w.status(), "Saved to " + series + " and Result");
  EXPECT_EQ(morvex::testing::filesStartingWith(w.dir.file("Result"), "histogram_"), 1);
  EXPECT_TRUE(w.warnings.isEmpty());

  // a brush stroke makes "Saved to" stale
  CImage* v = w.view();
  w.main.setBrushState();
  QTest::mouseClick(v, Qt::LeftButton, Qt::NoModifier, QPoint(6, 6));  // on air: a change
  ASSERT_TRUE(w.main.hasUnsavedChanges());
  EXPECT_EQ(w.status(), "");
}

namespace {
// Answers the program's questions with a fixed answer and counts them.
struct Answering {
  int asked = 0;
  morvex::Answer answer;
  explicit Answering(morvex::Answer a) : answer(a) {
    morvex::setQuestionInterceptor([this](const QString&) {
      ++asked;
      return answer;
    });
  }
  ~Answering() {
    morvex::setQuestionInterceptor([](const QString&) { return morvex::Answer::Discard; });
  }
};
}  // namespace

TEST(WorkSafety, UndoAndRedoCrossFramesAndMultiFrameOperationsAreOneStep) {
  Workstation w;
  w.main.show();  // the shortcuts act in an active window
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w.main));
  const int last = w.main.currentFrame();
  w.loadMask();
  const int k = w.main.currentFrame();
  const std::vector<uint8_t> loaded = w.labels(k);
  // an edit on the loaded frame, then another frame shown: undo goes back to the edit's frame
  w.main.showLabelImage(3);
  w.main.setBrushState();
  QTest::mouseClick(w.view(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  const std::vector<uint8_t> edited = w.labels(k);
  ASSERT_NE(edited, loaded);
  w.main.showImage(last);
  QTest::keyClick(&w.main, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(w.main.currentFrame(), k);
  EXPECT_EQ(w.shownFrame(), k);
  EXPECT_EQ(w.labels(k), loaded);
  w.main.showImage(last);
  QTest::keyClick(&w.main, Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(w.labels(k), edited) << "Ctrl+Y redoes";
  EXPECT_EQ(w.main.currentFrame(), k) << "on the step's frame, shown first";
  QTest::keyClick(&w.main, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(w.labels(k), edited) << "nothing left to redo";

  // DeleteAll over the series is one step; Ctrl+Shift+Z redoes it
  Answering discard(morvex::Answer::Discard);
  w.main.deleteAll();
  EXPECT_EQ(discard.asked, 1) << "unsaved labels: DeleteAll asks first";
  EXPECT_EQ(w.seriesCount(1), 0);
  w.main.undoHistory();
  EXPECT_EQ(w.labels(k), edited);
  EXPECT_EQ(w.main.areaStatistics().pixelCnt(1), static_cast<float>(w.seriesCount(1)));
  QTest::keyClick(&w.main, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(w.seriesCount(1), 0);
  w.main.undoHistory();
  // the load of the mask was one step too: undoing the stroke and then the load leaves no label
  w.main.undoHistory();
  w.main.undoHistory();
  EXPECT_EQ(w.seriesCount(1) + w.seriesCount(3), 0);
  EXPECT_EQ(w.main.currentFrame(), last) << "the load's step shows the frame it started on";
}

namespace {
// Holds a long run's worker at its first progress report until release(); records every report.
struct HeldRun {
  std::mutex m;
  std::condition_variable cv;
  bool reached = false, released = false;
  std::vector<int> reports;
  explicit HeldRun(bool hold = true) : released(!hold) {
    morvex::setWorkerProgressHook([this](int p) {
      std::unique_lock<std::mutex> lock(m);
      reports.push_back(p);
      reached = true;
      cv.wait(lock, [this] { return released; });
    });
  }
  bool wasReached() {
    const std::lock_guard<std::mutex> lock(m);
    return reached;
  }
  void release() {
    {
      const std::lock_guard<std::mutex> lock(m);
      released = true;
    }
    cv.notify_all();
  }
  ~HeldRun() {
    release();
    morvex::setWorkerProgressHook({});
  }
};

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    paints += e->type() == QEvent::Paint;
    return false;
  }
};

std::vector<std::vector<uint8_t>> allLabels(Workstation& w) { return morvex::testing::allLabels(w.main.study()); }
}  // namespace

// While LiverSeg runs on its worker (held at its first slice) the window repaints and shows the
// progress, keys and the tool column do nothing, and Cancel leaves every label as it was, with no
// undo step.
TEST(WorkSafety, ALongRunKeepsTheWindowLiveBlocksEditsAndCancelLeavesTheLabels) {
  Workstation w;
  w.main.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w.main));
  w.loadMask();
  w.main.setBrushState();
  QTest::mouseClick(w.view(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  w.main.undoHistory();  // a stroke to redo
  const auto before = allLabels(w);
  w.main.setEraserState();
  PaintCounter painted;
  w.main.progressBar()->installEventFilter(&painted);
  bool centralEnabled = true, barShown = false, cancelShown = false;
  int barValue = -1, paintsWhileHeld = 0;
  auto whileHeld = [&] {
    centralEnabled = w.main.form().centralWidget->isEnabled();
    barShown = w.main.progressBar()->isVisible();
    barValue = w.main.progressBar()->value();
    cancelShown = w.main.cancelButton()->isVisible();
    paintsWhileHeld = painted.paints;
    QTest::keyClick(&w.main, Qt::Key_Z, Qt::ControlModifier);  // would undo the mask load
    QTest::keyClick(&w.main, Qt::Key_Y, Qt::ControlModifier);  // would redo the stroke
    QTest::keyClick(&w.main, Qt::Key_B);                          // would pick the brush
    QTest::mouseClick(w.main.form().pushButton_Brush, Qt::LeftButton);
    QTest::mouseClick(w.main.cancelButton(), Qt::LeftButton);
  };
  {
    HeldRun held;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      if (!held.wasReached() || w.main.progressBar()->value() == 0) return;
      probe.stop();
      whileHeld();
      held.release();
    });
    probe.start(5);
    EXPECT_EQ(w.main.liverSegmentation(), -1);
    EXPECT_EQ(held.reports.size(), 1u) << "no slice is processed after the cancel";
  }
  EXPECT_FALSE(centralEnabled);
  EXPECT_TRUE(barShown && cancelShown);
  EXPECT_GT(barValue, 0) << "the bar follows the run";
  EXPECT_GT(paintsWhileHeld, 0) << "the window repaints while the run works";
  EXPECT_TRUE(allLabels(w) == before) << "Cancel leaves every label as it was";
  EXPECT_EQ(w.main.toolMode(), ToolMode::EraserMode) << "no key or button acted during the run";
  EXPECT_TRUE(w.status().contains("cancelled")) << w.status().toStdString();
  EXPECT_TRUE(w.main.form().centralWidget->isEnabled());
  EXPECT_FALSE(w.main.progressBar()->isVisible() || w.main.cancelButton()->isVisible());
  w.main.undoHistory();
  EXPECT_EQ(w.seriesCount(1) + w.seriesCount(2), 0) << "the cancelled run left no undo step: undo takes the load back";
  w.main.redoHistory();
  EXPECT_TRUE(allLabels(w) == before);

  // the vessel growth is cancelled the same way
  {
    HeldRun held;
    QTimer::singleShot(0, [&] { QTest::mouseClick(w.main.cancelButton(), Qt::LeftButton); held.release(); });
    w.main.vesselSegmentation();
    EXPECT_FALSE(held.reports.empty());
  }
  EXPECT_TRUE(allLabels(w) == before);
  EXPECT_TRUE(w.status().startsWith("Vessel segmentation cancelled")) << w.status().toStdString();
}

// Closing the frameless window during a run stops the run first and then closes.
TEST(WorkSafety, ClosingDuringALongRunCancelsItThenCloses) {
  BorderlessMainWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  Morvex& m = *window.mainWindowWidget();
  m.openPaths({QString::fromStdString(morvex::testing::smallSyntheticSeries())});
  ASSERT_EQ(m.study().frameCount(), 24);
  const uint8_t* shown = m.study().labelImage(m.currentFrame());
  const std::vector<uint8_t> before(shown, shown + 128 * 128);
  bool closedAtOnce = true;
  {
    HeldRun held;
    QTimer::singleShot(0, [&] {
      closedAtOnce = window.close();
      held.release();
    });
    EXPECT_EQ(m.liverSegmentation(), -1);
  }
  EXPECT_FALSE(closedAtOnce) << "the close waits for the run to stop";
  EXPECT_TRUE(std::equal(before.begin(), before.end(), m.study().labelImage(m.currentFrame())));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }, 2000)) << "and then happens";
}

// A ring along the liver's border, as the brush leaves it, seeds a run that fills it, goes beyond
// its slice, reports rising progress to 100 and is taken back exactly by one undo.
TEST(WorkSafety, ABrushRingAsTheSeedIsFilledAndLiverSegIsTakenBackExactly) {
  Workstation w;
  const int f = w.frameOf("IM0012");
  ASSERT_GE(f, 0);
  // the true liver of the slice, and a 2-pixel ring along its border as the brush would leave it
  const cv::Mat truth = cv::imread(w.truth + "/m_IM0012.png", cv::IMREAD_GRAYSCALE);
  ASSERT_FALSE(truth.empty());
  cv::Mat liver = truth > 0, inner;
  cv::erode(liver, inner, cv::getStructuringElement(cv::MORPH_RECT, {5, 5}));
  const cv::Mat ring = liver & ~inner;
  const long ringPixels = cv::countNonZero(ring), liverPixels = cv::countNonZero(liver);
  ASSERT_GT(liverPixels, 3 * ringPixels);
  w.main.showImage(f);
  for (int p = 0; p < ring.cols * ring.rows; ++p) w.main.study().labelImage(f)[p] = ring.data[p] ? 1 : 0;
  const auto before = allLabels(w);
  HeldRun progress(false);
  ASSERT_EQ(w.main.liverSegmentation(), 1);
  EXPECT_GT(progress.reports.size(), 3u);
  EXPECT_TRUE(std::is_sorted(progress.reports.begin(), progress.reports.end()));
  EXPECT_EQ(progress.reports.back(), 100);
  EXPECT_TRUE(w.status().startsWith("LiverSeg: ")) << w.status().toStdString();
  EXPECT_TRUE(w.status().contains("filled")) << w.status().toStdString();
  EXPECT_FALSE(w.status().startsWith("LiverSeg: 1 slices")) << "the run went beyond the seed slice";
  // the seed slice's result covers the liver, not only the ring
  long covered = 0;
  const uint8_t* labels = w.main.study().labelImage(f);
  for (int p = 0; p < ring.cols * ring.rows; ++p) covered += labels[p] == 1 && liver.data[p];
  EXPECT_GT(covered, 0.8 * liverPixels);
  EXPECT_GT(w.count(f - 1, 1) + w.count(f + 1, 1), liverPixels);
  // one undo takes the run back exactly and makes the outcome message stale
  w.main.undoHistory();
  EXPECT_TRUE(allLabels(w) == before);
  EXPECT_EQ(w.status(), "");
}

TEST(WorkSafety, ClosingAndOpeningAnotherStudyAskOnlyWhenWorkWouldBeLost) {
  {
    Answering never(morvex::Answer::Cancel);
    BorderlessMainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(window.close()) << "nothing to lose: no question";
    EXPECT_EQ(never.asked, 0);
  }
  Workstation w;
  w.loadMask();
  ASSERT_TRUE(w.main.hasUnsavedChanges());
  {
    Answering cancel(morvex::Answer::Cancel);
    w.main.openPaths({QString::fromStdString(w.truth + "/IM0001.dcm")});
    EXPECT_EQ(cancel.asked, 1);
    EXPECT_EQ(w.main.study().frameCount(), 24) << "Cancel keeps the open study";
    EXPECT_GT(w.seriesCount(1), 0);
  }
  {
    // Save: the folder dialog is answered, the labels are saved, then the new study opens
    Answering save(morvex::Answer::Save);
    const std::string out = w.dir.file("saved");
    fs::create_directory(out);
    w.main.setDirectoryChooser([&] { return QString::fromStdString(out); });
    w.main.openPaths({QString::fromStdString(w.truth + "/IM0001.dcm")});
    EXPECT_EQ(save.asked, 1);
    EXPECT_EQ(w.main.study().frameCount(), 1);
    EXPECT_FALSE(w.main.hasUnsavedChanges());
    int tiffs = 0;
    for (const auto& e : fs::directory_iterator(out)) tiffs += e.path().extension() == ".tiff";
    EXPECT_EQ(tiffs, 1);
  }
}

// An autosave comes one period after the first change even while the user keeps editing, and
// strokes on one frame make a recovery point of that frame only.
TEST(WorkSafety, AutosaveComesWithinItsPeriodWhileTheUserKeepsEditing) {
  const QByteArray period = qgetenv("MORVEX_AUTOSAVE_SECONDS");
  qputenv("MORVEX_AUTOSAVE_SECONDS", "1");
  Workstation w;
  w.main.showLabelImage(3);
  w.main.setBrushState();
  const int s = w.main.study().seriesOfFrame(w.main.currentFrame());
  QElapsedTimer clock;
  clock.start();
  qint64 autosaved = -1;
  for (int i = 0; clock.elapsed() < 3000 && autosaved < 0; ++i) {
    QTest::mouseClick(w.view(), Qt::LeftButton, Qt::NoModifier, QPoint(5 + i, 5 + i));
    QTest::qWait(100);
    if (!w.main.recoveryPointOf(s).empty()) autosaved = clock.elapsed();
  }
  qputenv("MORVEX_AUTOSAVE_SECONDS", period);
  EXPECT_GE(autosaved, 900);
  EXPECT_LT(autosaved, 2000) << "no autosave while the user kept editing";
  EXPECT_EQ(w.main.recoveryPointOf(s).size(), 1u) << "one edited frame, one frame written";
}

// The child half of the crash test: the real window, started by the parent as a process of its
// own, draws, waits for its autosave and is then killed.
TEST(CrashRecoveryChild, DrawsWaitsForTheAutosaveAndIsKilled) {
  const QString series = qEnvironmentVariable("MORVEX_CRASH_SERIES");
  if (series.isEmpty()) GTEST_SKIP() << "runs only as the process started by CrashRecovery.AKilledSessionIsRestored";
  BorderlessMainWindow window;
  window.resize(1200, 800);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  Morvex* m = window.mainWindowWidget();
  m->openPaths({series});
  QApplication::processEvents();
  m->showLabelImage(1);
  m->setBrushSize(30);
  m->setBrushState();
  CImage* v = m->imageViews().value(0);
  const QPoint c = v->rect().center();
  auto stroke = [&](QPoint step) { morvex::testing::dragThrough(v, {c, c + step * 10}); };
  stroke(QPoint(6, 3));
  // saved (a TIFF beside the slices, loaded again on the restart), then a new stroke
  const QString saved = qEnvironmentVariable("MORVEX_CRASH_DRAWN") + ".saved";
  QDir().mkpath(saved);
  m->setDirectoryChooser([&] { return saved; });
  m->saveFileDir();
  ASSERT_FALSE(m->hasUnsavedChanges());
  stroke(QPoint(-5, -4));
  const int f = m->currentFrame();
  const uint8_t* labels = m->study().labelImage(f);
  const std::size_t n = static_cast<std::size_t>(m->study().width(f)) * m->study().height(f);
  ASSERT_GT(std::count(labels, labels + n, 1), 20);
  // what was drawn, for the parent to compare
  std::ofstream(qEnvironmentVariable("MORVEX_CRASH_DRAWN").toStdString(), std::ios::binary)
      .write(reinterpret_cast<const char*>(labels), static_cast<std::streamsize>(n));
  std::ofstream(qEnvironmentVariable("MORVEX_CRASH_DRAWN").toStdString() + ".name") << m->study().frame(f)->header.fileName;
  const std::string mask = "m_" + m->study().frame(f)->header.fileName + ".png";
  for (int i = 0; i < 300; ++i) {
    QTest::qWait(100);
    bool written = false;
    for (const std::string& p : m->recoveryPointOf(m->study().seriesOfFrame(f)))
      written = written || fs::path(p).filename() == mask;
    if (!written) continue;
    std::printf("child: autosaved %s\n", m->study().frame(f)->header.fileName.c_str());
    std::fflush(stdout);
    for (;;) QTest::qWait(1000);  // until killed
  }
  FAIL() << "no autosave within 30 s";
}

TEST(CrashRecovery, AKilledSessionIsOfferedAndRestoredOnTheSameSeries) {
  morvex::testing::TempDir dir;
  copySlices(dir);
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("MORVEX_CRASH_SERIES", QString::fromStdString(dir.file("series")));
  env.insert("MORVEX_CRASH_DRAWN", QString::fromStdString(dir.file("drawn.raw")));
  env.insert("MORVEX_RECOVERY_DIR", QString::fromStdString(dir.file("recovery")));
  env.insert("MORVEX_AUTOSAVE_SECONDS", "1");
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=CrashRecoveryChild.*"});
  ASSERT_TRUE(child.waitForStarted());
  QByteArray output;
  QElapsedTimer clock;
  clock.start();
  while (!output.contains("child: autosaved") && clock.elapsed() < 120000 && child.state() == QProcess::Running) {
    child.waitForReadyRead(500);
    output += child.readAll();
  }
  ASSERT_TRUE(output.contains("child: autosaved")) << output.toStdString();
  ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
  ASSERT_TRUE(child.waitForFinished(10000));

  // the same series opened again: the program offers the labels, restores them on Yes
  const QByteArray previous = qgetenv("MORVEX_RECOVERY_DIR");
  qputenv("MORVEX_RECOVERY_DIR", QByteArray::fromStdString(dir.file("recovery")));
  {
    Answering yes(morvex::Answer::Yes);
    Morvex m;
    m.openPaths({QString::fromStdString(dir.file("series"))});
    EXPECT_EQ(yes.asked, 1);
    std::ifstream in(dir.file("drawn.raw"), std::ios::binary);
    const std::vector<uint8_t> drawn((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string name;
    std::ifstream(dir.file("drawn.raw.name")) >> name;
    int f = -1;
    for (int i = 0; i < m.study().frameCount(); ++i)
      if (m.study().frame(i)->header.fileName == name) f = i;
    ASSERT_GE(f, 0) << name;
    ASSERT_EQ(drawn.size(), static_cast<std::size_t>(m.study().width(f)) * m.study().height(f));
    EXPECT_EQ(std::vector<uint8_t>(m.study().labelImage(f), m.study().labelImage(f) + drawn.size()), drawn);
    EXPECT_TRUE(m.hasUnsavedChanges()) << "restored labels are work still to save";
    // the next autosave keeps what was restored (the second call waits for the first's worker)
    m.autosave();
    m.autosave();
    cv::Mat kept;
    for (const std::string& p : m.recoveryPointOf(m.study().seriesOfFrame(f)))
      if (fs::path(p).filename() == "m_" + name + ".png") kept = cv::imread(p, cv::IMREAD_UNCHANGED);
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(std::vector<uint8_t>(kept.data, kept.data + kept.total()), drawn);

    m.closeCleanly();
  }
  for (const auto& e : fs::directory_iterator(dir.file("recovery")))
    EXPECT_EQ(e.path().extension(), ".lock") << "a clean close leaves only the series' lock files";
  qputenv("MORVEX_RECOVERY_DIR", previous);
}
