// The manual editing tools driven with the mouse on the real slice view: brush, eraser, cut, add,
// right-click delete, the selection tool, body region growing, the ROI, region operations and undo.

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "tests/testing_support.h"
#include "view/cimage.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

constexpr int N = 100;  // the slice is N x N and shown at scale 1 from the view's corner

struct Editor {
  morvex::testing::TempDir dir;
  Morvex main;
  QStringList warnings;
  CImage* view = nullptr;
  Editor() {
    morvex::setWarningInterceptor([this](const QString& w) { warnings << w; });
    main.readDICOM(morvex::testing::qPaths(morvex::testing::writeFlatPngSlices(dir, 1, N, N)));
    view = main.imageViews().value(0);
    view->resize(N, N);
    view->setDisplaySize(N, N);
  }
  ~Editor() { morvex::setWarningInterceptor({}); }
  morvex::Study& study() { return main.study(); }
  uint8_t& label(int x, int y) { return study().labelImage(0)[y * N + x]; }
  uint8_t& selected(int x, int y) { return study().selectionImage(0)[y * N + x]; }
  int16_t& hu(int x, int y) { return study().intensitiesForEdit(0)[y * N + x]; }
  std::vector<uint8_t> labels() { return std::vector<uint8_t>(study().labelImage(0), study().labelImage(0) + N * N); }
  int count(uint8_t value) {
    const std::vector<uint8_t> l = labels();
    return static_cast<int>(std::count(l.begin(), l.end(), value));
  }
  void rect(int x0, int y0, int x1, int y1, uint8_t value) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) label(x, y) = value;
  }
  void drag(std::initializer_list<QPoint> points, Qt::MouseButton button = Qt::LeftButton) {
    morvex::testing::dragThrough(view, points, button);
  }
  void click(QPoint p, Qt::MouseButton button = Qt::LeftButton) { drag({p}, button); }
  int undoSteps() { return main.undoRing().steps(); }
};

// Rows y where column x holds value
int bandHeight(Editor& e, int x, uint8_t value) {
  int n = 0;
  for (int y = 0; y < N; ++y) n += e.label(x, y) == value;
  return n;
}

}  // namespace

TEST(Brush, ClickPaintsADotAndAStrokeABandOfTheBrushSize) {
  Editor e;
  e.main.setBrushState();
  e.click({50, 50});
  EXPECT_EQ(bandHeight(e, 50, 1), 5) << "a dot of diameter 5";
  EXPECT_GT(e.count(1), 12);
  EXPECT_LT(e.count(1), 26);
  e.drag({{10, 20}, {90, 20}});
  EXPECT_EQ(bandHeight(e, 50, 1), 5 + 5) << "the dot's column plus a band 5 high";
  // Undo restores the slice as it was before the stroke.
  const int before = e.count(1);
  e.drag({{10, 80}, {90, 80}});
  EXPECT_GT(e.count(1), before);
  e.main.undoHistory();
  EXPECT_EQ(e.count(1), before);
}

// The dot's shape for every pen width is pinned by the rasteriser's own test; here the window's pen
// and pointer pixel with the image shown at twice its size (pen = brush x 100 / 200).
TEST(Brush, ADotAtDoubleScaleIsTheRasterisedPenOfHalfTheBrushSize) {
  for (int width = 2; width <= 7; ++width) {
    Editor e;
    e.view->resize(2 * N, 2 * N);
    e.view->setDisplaySize(2 * N, 2 * N);
    e.main.setBrushSize(2 * width);
    e.main.setBrushState();
    e.click({100, 100});
    EXPECT_EQ(e.labels(), morvex::rasteriseBrush({{50, 50}}, N, N, width)) << "width " << width;
  }
}

TEST(Eraser, ClearsABandTwiceTheBrushWidth) {
  Editor e;
  e.rect(0, 0, N - 1, N - 1, 1);
  e.selected(50, 50) = 255;
  e.main.pushUndo(3);  // the state the edits start from
  e.main.setEraserState();
  e.drag({{10, 50}, {90, 50}});
  EXPECT_EQ(bandHeight(e, 50, 0), 10);
  EXPECT_EQ(e.selected(50, 50), 0);
  e.main.undoHistory();
  EXPECT_EQ(e.count(1), N * N);
  EXPECT_EQ(e.selected(50, 50), 255) << "the selection comes back too";
}

TEST(Brush, VesselAcrossTheLiverBorderStaysInsideAndTheSelectionLayerPaintsTheSelection) {
  Editor e;
  e.rect(0, 0, 49, N - 1, 1);  // liver on the left half
  e.main.showLabelImage(2);     // vessel
  e.main.setBrushState();
  e.drag({{20, 50}, {80, 50}});
  EXPECT_EQ(e.label(30, 50), 2);
  EXPECT_EQ(e.label(70, 50), 0) << "vessel outside the liver is taken back";
  e.main.setCurrentLabel(255);
  const std::vector<uint8_t> labels = e.labels();
  e.drag({{20, 80}, {80, 80}});
  EXPECT_EQ(e.labels(), labels) << "the working selection layer changes no label";
  EXPECT_EQ(e.selected(70, 80), 255);
}

TEST(Brush, LeavingTheImageAppliesTheStrokeAndABackwardRoiBlocksEverything) {
  Editor e;
  e.main.setBrushState();
  QTest::mousePress(e.view, Qt::LeftButton, Qt::NoModifier, {50, 50});
  for (int x = 52; x <= 98; x += 3) {
    QMouseEvent move(QEvent::MouseMove, QPoint(x, 50), QPoint(x, 50), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(e.view, &move);
  }
  EXPECT_EQ(e.count(1), 0) << "nothing is applied while the button is held";
  QMouseEvent out(QEvent::MouseMove, QPoint(N + 20, 50), QPoint(N + 20, 50), Qt::NoButton, Qt::LeftButton,
                  Qt::NoModifier);
  QApplication::sendEvent(e.view, &out);
  EXPECT_GT(e.count(1), 5 * 40) << "leaving the image applies the stroke";
  EXPECT_TRUE(e.view->stroke().isEmpty());

  Editor r;
  QTest::mouseClick(r.main.form().pushButton_ROI, Qt::LeftButton);
  r.drag({{80, 80}, {20, 20}});  // dragged towards the upper left
  EXPECT_FALSE(r.main.roiMode());
  r.main.setBrushState();
  r.drag({{10, 50}, {90, 50}});
  EXPECT_EQ(r.count(1), 0) << "a backward rectangle holds no pixel";
  EXPECT_FALSE(r.main.isInROIRange(50, 50));
}

TEST(Cut, KeepsTheLargerPartAndTheLineAndIgnoresIncompleteCuts) {
  Editor e;
  e.rect(10, 30, 89, 69, 1);
  e.main.pushUndo(3);
  e.main.setCutState();
  const int steps = e.undoSteps();
  e.drag({{30, 10}, {30, 50}});  // does not cross the liver completely
  EXPECT_EQ(e.count(1), 80 * 40);
  EXPECT_EQ(e.undoSteps(), steps) << "an incomplete cut pushes no undo";
  e.drag({{30, 10}, {30, 90}});
  EXPECT_EQ(e.label(20, 50), 0) << "the smaller left part is removed";
  EXPECT_EQ(e.label(60, 50), 1);
  EXPECT_EQ(e.label(30, 50), 1) << "the line pixels stay liver";
  EXPECT_EQ(e.undoSteps(), steps + 1);
  e.main.undoHistory();
  EXPECT_EQ(e.count(1), 80 * 40);
}

TEST(Add, ABulgeOutOfTheLiverIsAdded) {
  Editor e;
  e.rect(20, 40, 79, 59, 1);
  e.main.setAddState();
  // starts and ends inside the liver, bulging above it
  e.drag({{30, 50}, {30, 20}, {70, 20}, {70, 50}});
  EXPECT_EQ(e.label(50, 30), 1) << "the bulge is added";
  EXPECT_EQ(e.label(50, 25), 1);
  EXPECT_EQ(e.label(50, 10), 0);

  // (a closed loop in empty tissue: edit_ops_test, on the same refinement)
}

TEST(CutRightClick, RemovesTheConnectedLiverPartOnly) {
  Editor e;
  e.rect(10, 10, 40, 40, 1);
  e.rect(20, 20, 25, 25, 2);  // a vessel inside
  e.rect(41, 10, 60, 40, 4);  // Liver(Left) touching it
  e.rect(70, 70, 80, 80, 3);  // cancer
  e.main.pushUndo(3);
  e.main.setCutState();
  e.click({90, 90}, Qt::RightButton);  // background
  e.click({75, 75}, Qt::RightButton);  // cancer
  EXPECT_EQ(e.count(3), 121);
  EXPECT_EQ(e.count(1) + e.count(2), 31 * 31);
  e.click({15, 15}, Qt::RightButton);
  EXPECT_EQ(e.count(1), 0);
  EXPECT_EQ(e.count(2), 0) << "the vessel of the same side goes with it";
  EXPECT_EQ(e.count(4), 20 * 31) << "no Liver(Left) pixel";
  e.main.undoHistory();
  EXPECT_EQ(e.count(2), 36);
}

TEST(SelectionTool, IntensityWindowCtrlAddsAndLabelsRecolour) {
  Editor e;
  for (int y = 0; y < N; ++y)
    for (int x = 0; x < N; ++x) e.hu(x, y) = static_cast<int16_t>(50 + x);  // 50 .. 149 across
  e.main.setCurrentLabel(255);
  e.main.setSelectionToolState();
  e.click({50, 50});  // intensity 100
  int selectedCols = 0;
  for (int x = 0; x < N; ++x) selectedCols += e.selected(x, 10) == 255;
  EXPECT_EQ(selectedCols, 21) << "90 to 110 inclusive";
  EXPECT_EQ(e.selected(40, 70), 255);
  EXPECT_EQ(e.selected(39, 70), 0);

  e.click({80, 50});  // without Ctrl the first region goes
  EXPECT_EQ(e.selected(50, 50), 0);
  QTest::keyPress(&e.main, Qt::Key_Control);
  e.click({20, 50});
  QTest::keyRelease(&e.main, Qt::Key_Control);
  EXPECT_EQ(e.selected(80, 50), 255) << "with Ctrl the region is added";
  EXPECT_EQ(e.selected(20, 50), 255);

  Editor l;
  l.rect(10, 10, 40, 40, 1);
  l.main.pushUndo(3);
  l.main.showLabelImage(3);
  l.main.setSelectionToolState();
  l.click({20, 20});
  EXPECT_EQ(l.count(3), 31 * 31) << "the connected liver becomes cancer";
  l.main.undoHistory();
  EXPECT_EQ(l.count(1), 31 * 31);
}

TEST(BodyRegionGrowing, KeepsTheClickedPiece) {
  Editor e;
  e.rect(5, 5, 15, 15, 1);
  e.rect(30, 30, 40, 40, 1);
  e.rect(60, 60, 70, 70, 1);
  e.main.setBodyRegionGrowingState();
  const int steps = e.undoSteps();
  e.click({90, 10});
  EXPECT_EQ(e.undoSteps(), steps) << "an unlabelled pixel changes nothing";
  e.click({35, 35});
  EXPECT_EQ(e.count(1), 121);
  EXPECT_EQ(e.label(35, 35), 1);
  EXPECT_EQ(e.label(10, 10), 0);
}

TEST(RegionObjects, ApplyDeleteVesselAndTheWarning) {
  Editor e;
  e.selected(10, 10) = 255;
  e.main.setCurrentLabel(255);
  e.main.applySelectedRegion();
  ASSERT_EQ(e.warnings.size(), 1);
  EXPECT_EQ(e.warnings[0], QString::fromUtf8("Label을 반드시 선택해주세요"));
  EXPECT_EQ(e.label(10, 10), 0);
  e.main.setCurrentLabel(0);
  e.main.applySelectedRegion();
  EXPECT_EQ(e.warnings.size(), 2);

  e.main.applySelectedRegion(2);  // vessel over background is taken back by the clean-up
  EXPECT_EQ(e.label(10, 10), 0);
  e.rect(0, 0, 20, 20, 1);
  e.selected(10, 10) = 255;
  e.selected(50, 50) = 255;
  e.main.setSelectedAreaToVessel();
  EXPECT_EQ(e.label(10, 10), 2);
  EXPECT_EQ(e.selected(50, 50), 0) << "the series-wide deselection clears the rest";

  e.main.showLabelImage(1);
  e.main.deleteObject();
  EXPECT_EQ(e.count(1), 0) << "Delete with Liver current removes every liver pixel";
  EXPECT_EQ(e.label(10, 10), 2);
  e.main.deleteAll();
  EXPECT_EQ(e.count(0), N * N);

  e.rect(30, 30, 39, 39, 1);
  e.selected(35, 35) = 255;
  e.main.setSelectedAreaToLabel3D(3);
  EXPECT_EQ(e.label(35, 35), 3);
  EXPECT_EQ(e.count(3), 1);

  // selectLayer: the object under the pointer moves to the selection, then is deleted
  e.view->setCursor(Qt::ArrowCursor);
  QMouseEvent move(QEvent::MouseMove, QPoint(32, 32), QPoint(32, 32), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(e.view, &move);
  e.view->selectLayer(255);
  EXPECT_EQ(e.selected(31, 31), 255);
  EXPECT_EQ(e.label(31, 31), 0);
  e.view->selectLayer(-1);
  EXPECT_EQ(e.selected(31, 31), 0);
  e.label(32, 32) = 6;  // a label outside 1..3 under the pointer: nothing happens
  e.view->selectLayer(2);
  EXPECT_EQ(e.label(32, 32), 6);
}
