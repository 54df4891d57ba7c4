// Fill between slices through the window: key slices drawn with the brush, the preview (drawn in
// the label's colour, following an edit of a key slice, nothing written), Cancel, Apply as one
// undo step with the statistics refreshed, and undo restoring every slice exactly.

#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "tests/testing_support.h"
#include "view/cimage.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

constexpr int W = 120, H = 90, kSlices = 7;  // not square; slices 0 and 6 are the keys

struct FillWindow {
  morvex::testing::TempDir dir;
  Morvex main;
  CImage* view = nullptr;
  FillWindow() {
    morvex::setWarningInterceptor([](const QString&) {});
    main.readDICOM(morvex::testing::qPaths(morvex::testing::writeFlatPngSlices(dir, kSlices, W, H)));
    view = main.imageViews().value(0);
  }
  // Shows a frame at scale 1 from the view's corner.
  void show(int frame) {
    main.showImage(frame);
    view->resize(W, H);
    view->setDisplaySize(W, H);
  }
  ~FillWindow() { morvex::setWarningInterceptor({}); }
  morvex::Study& study() { return main.study(); }
  std::vector<std::vector<uint8_t>> labels() { return morvex::testing::allLabels(study()); }
  int count(int frame, uint8_t value) {
    const std::vector<uint8_t> l = labels()[frame];
    return static_cast<int>(std::count(l.begin(), l.end(), value));
  }
  // Horizontal brush strokes over rows y0..y1 (every 4th row) from x0 to x1 on a frame.
  void paint(int frame, int x0, int x1, int y0, int y1) {
    show(frame);
    for (int y = y0; y <= y1; y += 4) {
      QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, {x0, y});
      QMouseEvent move(QEvent::MouseMove, QPoint(x1, y), view->mapToGlobal(QPoint(x1, y)), Qt::NoButton,
                       Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(view, &move);
      QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, {x1, y});
    }
  }
  // Canvas pixels of the shown frame in exactly the label colour (labels are blended, the preview is not).
  int previewPixels(int frame) {
    show(frame);
    view->redraw(false);
    const morvex::LabelInfo* l = main.labelTable().byValue(1);
    const QRgb colour = qRgb(l->r, l->g, l->b);
    int n = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) n += view->canvas().pixel(x, y) == colour;
    return n;
  }
  QString status() { return main.statusBar()->currentMessage(); }
};

}  // namespace

TEST(FillBetweenSlices, PreviewFollowsKeyEditsThenApplyIsOneUndoStep) {
  FillWindow w;
  QAction* fill = w.main.findChild<QAction*>("actionFillBetweenSlices");
  ASSERT_TRUE(fill);
  EXPECT_FALSE(fill->toolTip().isEmpty());
  auto* apply = w.main.findChild<QPushButton*>("pushButton_FillApply");
  auto* cancel = w.main.findChild<QPushButton*>("pushButton_FillCancel");
  ASSERT_TRUE(apply && cancel);

  w.main.setBrushState();
  w.paint(0, 30, 70, 30, 50);
  w.paint(6, 50, 90, 40, 60);
  ASSERT_GT(w.count(0, 1), 0);
  ASSERT_GT(w.count(6, 1), 0);
  w.study().labelImage(3)[50 * W + 60] = morvex::kVessel;  // inside the shape of the gap
  const auto before = w.labels();

  fill->trigger();
  ASSERT_TRUE(w.main.fillPreviewShown());
  EXPECT_FALSE(apply->isHidden());
  EXPECT_TRUE(w.status().contains("5 slices to fill between 2 key slices")) << w.status().toStdString();
  EXPECT_TRUE(w.status().contains("holes in 1 slices (1 pixels)")) << w.status().toStdString();
  EXPECT_GT(w.previewPixels(3), 0);
  EXPECT_EQ(w.labels(), before) << "a preview writes nothing";

  // a key slice edited while the preview shows: the preview of the slice before it grows
  const int filledBefore = w.main.fillPlan()->slices.back().filled;
  w.paint(6, 50, 110, 64, 80);
  EXPECT_GT(w.previewPixels(5), 0);
  EXPECT_GT(w.main.fillPlan()->slices.back().filled, filledBefore);
  const auto keysEdited = w.labels();

  QTest::mouseClick(cancel, Qt::LeftButton);
  EXPECT_FALSE(w.main.fillPreviewShown());
  EXPECT_EQ(w.previewPixels(3), 0);
  EXPECT_EQ(w.labels(), keysEdited) << "Cancel changes nothing";

  w.main.show();
  QApplication::setActiveWindow(&w.main);
  QTest::keyClick(&w.main, Qt::Key_I, Qt::ControlModifier);  // the shortcut
  ASSERT_TRUE(w.main.fillPreviewShown());
  const float liverBefore = w.main.areaStatistics().pixelCnt(1);
  const int stepsBefore = w.main.undoRing().steps();
  QTest::mouseClick(apply, Qt::LeftButton);
  EXPECT_FALSE(w.main.fillPreviewShown());
  EXPECT_EQ(w.main.undoRing().steps(), stepsBefore + 1);
  EXPECT_TRUE(w.status().contains("5 slices filled between 2 key slices; other labels left holes in 1 slices"))
      << w.status().toStdString();
  for (int f = 1; f <= 5; ++f) EXPECT_GT(w.count(f, 1), 0) << "slice " << f;
  EXPECT_EQ(w.labels()[3][50 * W + 60], morvex::kVessel);
  EXPECT_GT(w.main.areaStatistics().pixelCnt(1), liverBefore) << "statistics refreshed";

  w.main.undoHistory();
  EXPECT_EQ(w.labels(), keysEdited) << "one undo restores every slice";

  // the slice range boxes narrowed to slices 1..4 hold one key only
  w.main.form().spinBox_Slice2->setValue(4);
  fill->trigger();
  EXPECT_FALSE(w.main.fillPreviewShown());
  EXPECT_TRUE(w.status().contains("nothing to fill")) << w.status().toStdString();
}
