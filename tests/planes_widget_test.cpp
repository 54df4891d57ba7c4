// The three planes in the real frameless window, offscreen: the "1 + 2" layout at the designed
// size (remembered, switched by key and toolbar, with room for a fourth pane), a click in the
// coronal view moving the axial frame, the wheel and Shift-click moving the planes, a brush
// stroke in the sagittal view as one undo step over the frames it crosses, the tools that stay
// axial, and a plan's cut plane dragged in the coronal view.

#include <gtest/gtest.h>

#include <QAction>
#include <algorithm>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QWheelEvent>

#include "app/borderless_main_window.h"
#include "tests/testing_support.h"
#include "view/cimage.h"
#include "view/plan_panel.h"
#include "view/plane_view.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

struct Window {
  BorderlessMainWindow window;
  Morvex* main = window.mainWindowWidget();
  Window() {
    morvex::setWarningInterceptor([](const QString&) {});
    window.resize(1374, 904);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    main->openPaths({QString::fromStdString(morvex::testing::smallSyntheticSeries())});
    main->setThreePlanes(true);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  }
  ~Window() {
    main->setThreePlanes(false);
    morvex::setWarningInterceptor({});
  }
  CPlaneView* plane(const char* name) { return main->findChild<CPlaneView*>(name); }
  // The widget position of a plane pixel's centre.
  static QPoint at(CPlaneView* v, int u, int row) { return v->toWidget(QPointF(u + 0.5, row + 0.5)).toPoint(); }
  std::vector<std::vector<uint8_t>> labels() { return morvex::testing::allLabels(main->study()); }
};

TEST(ThreePlanes, OnePlusTwoFitsTheDesignedSizeIsRememberedAndTakesAFourthPane) {
  Window w;
  CViewLayout* area = w.main->viewArea();
  auto* toggle = w.main->findChild<QAction*>("actionThreePlanes");
  ASSERT_TRUE(area && toggle);
  EXPECT_TRUE(toggle->isChecked());
  EXPECT_EQ(QSettings("Morvex", "Morvex").value("view/layout").toString(), "1+2");
  { Morvex next; EXPECT_TRUE(next.threePlanesShown()) << "the next start keeps the layout"; }
  QTest::keyClick(w.main, Qt::Key_V);
  EXPECT_FALSE(w.main->threePlanesShown());
  EXPECT_FALSE(w.plane("coronalView")->isVisible());
  toggle->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(w.main->threePlanesShown());
  EXPECT_EQ(w.window.size(), QSize(1374, 904));

  // every pane inside the image area, none overlapping, the window no larger; the axial slice
  // keeps two thirds of the area (722 x 708 at this size)
  CImage* axial = w.main->imageViews().value(0);
  const std::vector<QWidget*> panes = {axial, w.plane("coronalView"), w.plane("sagittalView")};
  auto expectTiled = [&](const std::vector<QWidget*>& shown) {
    for (std::size_t i = 0; i < shown.size(); ++i) {
      EXPECT_TRUE(shown[i]->isVisible()) << i;
      EXPECT_TRUE(area->rect().contains(shown[i]->geometry())) << i;
      EXPECT_GE(std::min(shown[i]->width(), shown[i]->height()), 200) << i;
      for (std::size_t j = 0; j < i; ++j) EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry())) << i << j;
    }
  };
  expectTiled(panes);
  EXPECT_EQ(area->size(), w.main->form().widget_image->size());
  EXPECT_GE(axial->displaySize().width(), 2 * std::min(area->width(), area->height()) / 3 - 1);
  EXPECT_LE(w.window.minimumSizeHint().width(), 1374);
  EXPECT_LE(w.window.minimumSizeHint().height(), 904);
  for (const char* name : {"coronalView", "sagittalView"}) {
    CPlaneView* v = w.plane(name);
    EXPECT_TRUE(v->rect().contains(v->pictureRect())) << name << " is fitted into its pane";
    const morvex::PlaneSize size = morvex::planeSize(w.main->planeStack(), v->axis());
    EXPECT_NEAR(v->pictureRect().height() / static_cast<double>(v->pictureRect().width()),
                size.height * size.rowScale / size.width, 0.02)
        << name << ": rows scaled by the slice spacing";
  }

  QWidget extra;
  w.main->setExtraPane(&extra);
  QApplication::processEvents();
  expectTiled({axial, w.plane("coronalView"), w.plane("sagittalView"), &extra});
  EXPECT_LE(axial->width(), area->width() / 2) << "2 x 2 with the fourth pane";
  w.main->setExtraPane(nullptr);
}

TEST(ThreePlanes, PlanesMoveTheAxialFrameAndASagittalStrokeIsOneUndoStep) {
  Window w;
  CPlaneView* coronal = w.plane("coronalView");
  CPlaneView* sagittal = w.plane("sagittalView");
  const morvex::PlaneStack stack = w.main->planeStack();
  ASSERT_EQ(stack.depth(), 24);

  // a click in the coronal view shows the frame of the clicked row, at the clicked column
  const int y = w.main->crosshair().y();
  QTest::mouseClick(coronal, Qt::LeftButton, Qt::NoModifier, Window::at(coronal, 40, 5));
  EXPECT_EQ(w.main->currentFrame(), stack.frames[5]);
  EXPECT_EQ(w.main->imageViews().value(0)->frameIndex(), stack.frames[5]) << "the axial view follows";
  EXPECT_EQ(w.main->form().treeWidget_FileDirectory->currentItem()->text(1).toInt(), stack.frames[5]);
  EXPECT_EQ(w.main->crosshair(), QPoint(40, y));
  // the wheel over the sagittal view steps its column; Shift-click in the axial view moves both
  QWheelEvent wheel(QPointF(10, 10), QPointF(sagittal->mapToGlobal(QPoint(10, 10))), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(sagittal, &wheel);
  EXPECT_EQ(w.main->crosshair(), QPoint(41, y));
  CImage* axial = w.main->imageViews().value(0);
  const QPoint widgetAt = axial->origin() + QPoint(axial->displaySize().width() * 64 / 128 + 1,
                                                   axial->displaySize().height() * 70 / 128 + 1);
  w.main->setBrushState();
  QTest::mouseClick(axial, Qt::LeftButton, Qt::ShiftModifier, widgetAt);
  EXPECT_EQ(w.main->crosshair(), QPoint(64, 70));
  EXPECT_EQ(w.main->undoRing().steps(), 0) << "a Shift-click paints nothing";

  // a brush stroke down the sagittal plane x = 64 at image row 70, stack rows 4..12
  w.main->setCurrentLabel(1);
  w.main->form().spinBox_2->setValue(1);
  const auto before = w.labels();
  const int steps = w.main->undoRing().steps();
  morvex::testing::dragThrough(sagittal, {Window::at(sagittal, 70, 4), Window::at(sagittal, 70, 12)});
  const auto after = w.labels();
  auto expected = before;  // voxel (64, 70) of the frames on stack rows 4..12, nothing else
  for (int f = 0; f < w.main->study().frameCount(); ++f)
    if (stack.rowOf(f) >= 4 && stack.rowOf(f) <= 12) expected[f][70 * 128 + 64] = 1;
  EXPECT_TRUE(after == expected);
  EXPECT_EQ(w.main->undoRing().steps(), steps + 1) << "one step for the whole stroke";
  long liver = 0;
  for (const auto& frame : after) liver += std::count(frame.begin(), frame.end(), 1);
  EXPECT_EQ(static_cast<long>(w.main->areaStatistics().pixelCnt(1)), liver) << "the statistics count the new voxels";
  w.main->undoHistory();
  EXPECT_EQ(w.labels(), before);

  // cut stays on the axial slice: the coronal view says so and changes nothing
  w.main->setCutState();
  const int shown = w.main->currentFrame();
  QTest::mouseClick(coronal, Qt::LeftButton, Qt::NoModifier, Window::at(coronal, 64, 8));
  EXPECT_EQ(w.main->currentFrame(), shown);
  EXPECT_TRUE(w.main->statusBar()->currentMessage().contains("axial"));
  EXPECT_EQ(w.labels(), before);
}

}  // namespace

TEST(ThreePlanes, APlanCutDraggedInTheCoronalViewRunsAcrossItShowsInThePanesAndIsUndone) {
  Window w;
  PlanPanel* panel = w.main->planPanel();
  panel->addButton()->click();
  panel->planeButton()->click();
  CPlaneView* coronal = w.plane("coronalView");
  const int depth = w.main->planeStack().depth(), series = w.main->study().seriesOfFrame(w.main->currentFrame());
  ASSERT_GT(depth, 2);
  // down the coronal view at column 20: the cut x = column 20, across the image rows
  morvex::testing::dragThrough(coronal, {Window::at(coronal, 20, 0), Window::at(coronal, 20, depth - 1)});
  const morvex::ResectionPlan& plan = w.main->planSetOf(series).plans.at(0);
  ASSERT_EQ(plan.kind, morvex::PlanKind::Plane);
  EXPECT_NEAR(std::abs(plan.planeNormal[0]), 1.0, 1e-9);
  const QLineF axial = w.main->planCut(morvex::PlaneAxis::Axial);
  EXPECT_DOUBLE_EQ(axial.x1(), 20.5);
  EXPECT_DOUBLE_EQ(axial.x2(), 20.5);
  EXPECT_EQ(std::abs(axial.dy()), w.main->study().height(w.main->currentFrame()));
  const QImage shown = coronal->grab().toImage();
  EXPECT_EQ(shown.pixelColor(Window::at(coronal, 20, depth / 2)), QColor(0, 230, 255)) << "the cut drawn along the drag";
  panel->undoButton()->click();
  EXPECT_EQ(w.main->planSetOf(series).plans.at(0).kind, morvex::PlanKind::KeyLines);
  EXPECT_TRUE(w.main->planCut(morvex::PlaneAxis::Axial).isNull());
}
