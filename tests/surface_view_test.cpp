// The 3D view in the window. Registered twice: offscreen (the panel says it is unavailable and
// the window works on) and under a virtual X server with software OpenGL (tests/xvfb_test.sh),
// where the liver is drawn in its colour, follows the label panel, is saved as PNG and picked.

#include <gtest/gtest.h>

#include <QDockWidget>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QOpenGLWidget>
#include <QPushButton>

#include "tests/testing_support.h"
#include "view/view_layout.h"
#include "view3d/surface_view.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

bool offscreen() { return QGuiApplication::platformName() == "offscreen"; }

// Share of the picture whose colour is the liver's (lit and blended: red well above green and blue).
double liverShare(const QImage& image) {
  long n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      n += c.red() > 40 && c.red() > 1.5 * c.green() && c.red() > 1.5 * c.blue();
    }
  return image.isNull() ? 0 : static_cast<double>(n) / (image.width() * image.height());
}

struct Window {
  Morvex main;
  Window() {
    morvex::setWarningInterceptor([](const QString&) {});
    main.resize(1300, 850);
    main.show();
    main.openPaths({QString::fromStdString(morvex::testing::smallSyntheticSeries())});
  }
  void showView() {
    QTest::mouseClick(main.findChild<QPushButton*>("pushButton_View3d"), Qt::LeftButton);
    main.surfaceView()->setMinimumSize(420, 420);
    QApplication::processEvents();
  }
  QTreeWidgetItem* layer(const char* name) {
    return main.form().treeWidget_Label->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0);
  }
};

TEST(SurfaceViewOffscreen, ThePanelSaysItIsUnavailableAndTheWindowWorksOn) {
  if (!offscreen()) GTEST_SKIP() << "for the offscreen platform";
  Window w;
  w.main.showImage(11);
  w.showView();
  ASSERT_TRUE(w.main.surfaceDock()->isVisible());
  CSurfaceView* view = w.main.surfaceView();
  EXPECT_FALSE(view->available());
  const QLabel* label = view->findChild<QLabel*>("label_View3dUnavailable");
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(label->text().startsWith(CSurfaceView::tr("3D view unavailable: %1").arg(QString()))) << label->text().toStdString();
  EXPECT_EQ(view->findChild<QOpenGLWidget*>(), nullptr);
  morvex::testing::TempDir dir;
  EXPECT_FALSE(view->saveSnapshot(QString::fromStdString(dir.file("v.png"))));
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file("v.png"))));
  w.main.refreshSurfaceView();  // edits and polls reach a view that does nothing
  EXPECT_FALSE(view->busy());
  EXPECT_FALSE(w.layer("Liver")->data(0, Qt::CheckStateRole).isValid()) << "no 3D check boxes without a 3D view";

  // with the three planes the panel is the fourth pane of a 2 x 2 grid; back to one view, the dock
  w.main.setThreePlanes(true);
  auto* grid = qobject_cast<CViewLayout*>(view->parentWidget());
  ASSERT_NE(grid, nullptr);
  EXPECT_TRUE(grid->hasExtraPane());
  EXPECT_FALSE(w.main.surfaceDock()->isVisible());
  EXPECT_TRUE(view->isVisible());
  EXPECT_EQ(view->geometry().topLeft(), grid->paneRect(CViewLayout::Extra).topLeft());
  w.main.setThreePlanes(false);
  EXPECT_FALSE(grid->hasExtraPane());
  EXPECT_EQ(w.main.surfaceDock()->widget(), view);
  EXPECT_TRUE(w.main.surfaceDock()->isVisible());
  QTest::mouseClick(w.main.findChild<QPushButton*>("pushButton_View3d"), Qt::LeftButton);
  EXPECT_FALSE(w.main.surfaceDock()->isVisible());
}

TEST(SurfaceViewRendering, DrawsTheLiverFollowsThePanelSavesAndPicks) {
  if (offscreen()) GTEST_SKIP() << "needs an X server (run by tests/xvfb_test.sh)";
  QString why;
  ASSERT_TRUE(CSurfaceView::renderingAvailable(&why)) << why.toStdString();
  Window w;
  // a frame without liver is shown; the click below moves to one with it
  morvex::Study& study = w.main.study();
  auto liverPixels = [&study](int f) {
    const uint8_t* l = static_cast<const morvex::Study&>(study).labelImage(f);
    return std::count(l, l + study.width(f) * study.height(f), morvex::kLiver);
  };
  int empty = 0;
  while (empty < study.frameCount() && liverPixels(empty) > 0) ++empty;
  ASSERT_LT(empty, study.frameCount());
  w.main.showImage(empty);
  w.showView();
  CSurfaceView* view = w.main.surfaceView();
  ASSERT_TRUE(view->available());
  QElapsedTimer clock;
  clock.start();
  while ((view->busy() || view->shownTriangles() == 0) && clock.elapsed() < 30000)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  ASSERT_GT(view->shownTriangles(), 0);

  const QImage shot = view->snapshot();
  const double liver = liverShare(shot);
  EXPECT_GT(liver, 0.04);
  EXPECT_LT(liver, 0.7);

  // the snapshot button writes the same picture as PNG
  morvex::testing::TempDir dir;
  const QString file = QString::fromStdString(dir.file("view.png"));
  view->setSnapshotPathChooser([&file] { return file; });
  QTest::mouseClick(view->findChild<QPushButton*>("pushButton_Snapshot"), Qt::LeftButton);
  const QImage saved(file, "PNG");
  EXPECT_EQ(saved.size(), shot.size());
  EXPECT_NEAR(liverShare(saved), liver, 0.01);

  // unchecking the liver in the label panel takes it out of the picture
  w.layer("Liver")->setCheckState(0, Qt::Unchecked);
  EXPECT_LT(liverShare(view->snapshot()), liver / 10);
  w.layer("Liver")->setCheckState(0, Qt::Checked);

  // a click on the liver shows a slice holding liver (a neighbour at most: the surface is smooth)
  auto* gl = view->findChild<QOpenGLWidget*>();
  ASSERT_NE(gl, nullptr);
  const QImage onWidget = view->snapshot();
  QPoint target(-1, -1);
  for (int y = onWidget.height() / 3; y < onWidget.height() && target.x() < 0; ++y)
    for (int x = onWidget.width() / 3; x < onWidget.width(); ++x)
      if (liverShare(onWidget.copy(x, y, 3, 3)) == 1.0) {
        target = QPoint(x + 1, y + 1);
        break;
      }
  ASSERT_GE(target.x(), 0);
  QTest::mouseClick(gl, Qt::LeftButton, Qt::NoModifier, target);
  const int shown = w.main.currentFrame();
  EXPECT_NE(shown, empty);
  long near = 0;
  for (int f = std::max(shown - 1, 0); f <= std::min(shown + 1, study.frameCount() - 1); ++f) near += liverPixels(f);
  EXPECT_GT(near, 0);
}

}  // namespace
