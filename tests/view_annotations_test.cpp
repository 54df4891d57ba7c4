// What helps a newcomer read and drive the slice view: the readout's dark panel and its key, the
// corner information, the division legend, the histogram's HU axis, the ROI rectangle, coalesced
// wheel steps, tooltips on every control, and Open Folder with the remembered folder.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QSettings>
#include <QTabBar>
#include <QSlider>
#include <QTest>
#include <QToolBar>
#include <QWheelEvent>

#include "analysis/chistogram_view.h"
#include "analysis/histogram_model.h"
#include "app/language.h"
#include "tests/testing_support.h"
#include "view/cimage.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

struct Shown {
  Morvex main;
  CImage* view = nullptr;
  Shown() {
    morvex::setWarningInterceptor([](const QString&) {});
    main.resize(1200, 800);
    main.show();
    main.openPaths({QString::fromStdString(morvex::testing::smallSyntheticSeries())});
    QApplication::processEvents();
    view = main.imageViews().value(0);
  }
  ~Shown() { morvex::setWarningInterceptor({}); }
  double meanGrey(const QImage& image, const QRect& r) {
    double sum = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) sum += qGray(image.pixel(x, y));
    return sum / (r.width() * r.height());
  }
};

}  // namespace

TEST(ViewAnnotations, ReadoutOnADarkPanelHiddenByKeyICornerInformationAndLegend) {
  Shown s;
  ASSERT_NE(s.view, nullptr);
  const QRect panel = s.view->readoutPanel();
  const CImage::ReadoutColumns c = s.view->readoutColumns();
  EXPECT_LT(panel.left(), c.nameLeft);
  EXPECT_GT(panel.right(), c.valueRight);
  // the whole slice is bright under the panel: it darkens the anatomy behind the text
  s.main.study().fillLabelImage(s.main.currentFrame(), 0);
  s.view->setWindow(-3000, -2900);  // every pixel white
  s.view->redraw(false);
  const QRect gap(c.nameRight + 2, panel.top() + 2, c.valueLeft - c.nameRight - 4, panel.height() - 4);
  const QImage on = s.view->grab().toImage();
  QTest::keyClick(&s.main, Qt::Key_I);
  EXPECT_FALSE(s.main.displayAnnotation());
  EXPECT_FALSE(s.main.form().actionDisplayAnnotation->isChecked()) << "the toolbar toggle follows the key";
  const QImage off = s.view->grab().toImage();
  QTest::keyClick(&s.main, Qt::Key_I);
  EXPECT_TRUE(s.main.displayAnnotation());
  if (gap.intersects(QRect(s.view->origin(), s.view->displaySize()))) {
    const QRect over = gap & QRect(s.view->origin(), s.view->displaySize());
    EXPECT_LT(s.meanGrey(on, over), 0.5 * s.meanGrey(off, over)) << "the panel darkens the picture behind it";
  }
  // corner information: slice k / N with its position, the window, the zoom
  const QStringList lines = s.view->cornerInfoLines();
  const int first = s.main.study().firstFrameOfSeries(0), count = s.main.study().lastFrameOfSeries(0) - first + 1;
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith(QString("Slice %1 / %2   z ").arg(s.main.currentFrame() - first + 1).arg(count)))
      << lines[0].toStdString();
  EXPECT_EQ(lines[1], QString("W %1 / L %2").arg(std::abs(s.view->windowWidth())).arg(s.view->windowLevel()));
  auto percent = [](const QString& line) { return line.section(' ', 1, 1).toInt(); };
  EXPECT_NEAR(percent(lines[2]), 100.0 * s.view->displaySize().width() / 128, 1.0) << lines[2].toStdString();
  QTest::keyClick(&s.main, Qt::Key_Plus);
  EXPECT_NEAR(percent(s.view->cornerInfoLines()[2]), 1.25 * percent(lines[2]), 1.0);
  EXPECT_TRUE(s.view->rect().contains(s.view->cornerInfoPanel()));
  // the legend appears with the division tool
  EXPECT_TRUE(s.view->legendPanel().isEmpty());
  QTest::mouseClick(s.main.form().pushButton_Divide, Qt::LeftButton);
  const QRect legend = s.view->legendPanel();
  EXPECT_TRUE(s.view->rect().contains(legend));
  EXPECT_FALSE(legend.intersects(s.view->cornerInfoPanel()));
  EXPECT_GE(legend.height(), 6 * 20) << "three label colours and three line colours";
}

TEST(ViewAnnotations, HistogramAxisTicksAreRoundAndFew) {
  const struct {
    float low, high;
    std::vector<int> ticks;
  } cases[] = {{-1024, 3071, {-1000, 0, 1000, 2000, 3000}},
               {-160, 240, {-100, 0, 100, 200}},
               {0, 9, {0, 2, 4, 6, 8}},
               {-3, 3, {-2, 0, 2}},
               {5, 5, {}}};
  for (const auto& c : cases) EXPECT_EQ(morvex::axisTicks(c.low, c.high, 6), c.ticks) << c.low << ".." << c.high;
  Shown s;
  const QImage histogram = s.main.displayHistogram()->grab().toImage();
  const int axisY = morvex::HistogramModel::kTrackY + morvex::HistogramModel::kHandleHeight / 2 + 3;
  int lit = 0;
  for (int x = morvex::HistogramModel::kLeft; x < morvex::HistogramModel::kLeft + morvex::HistogramModel::kTrackWidth; ++x)
    lit += qGray(histogram.pixel(x, axisY)) > 100;
  EXPECT_GT(lit, morvex::HistogramModel::kTrackWidth * 9 / 10) << "the axis line is drawn";
}

TEST(ViewAnnotations, RoiRectangleShowsWhileDraggedAndOnceSet) {
  Shown s;
  auto yellow = [&](const QPoint& imagePoint) {
    const QRgb p = s.view->canvas().pixel(imagePoint);
    return qRed(p) > 200 && qGreen(p) > 150 && qBlue(p) < 80;
  };
  QTest::mouseClick(s.main.form().pushButton_ROI, Qt::LeftButton);
  ASSERT_TRUE(s.main.roiMode());
  const QPoint from = s.view->origin() + QPoint(s.view->displaySize().width() / 4, s.view->displaySize().height() / 2);
  const QPoint to = s.view->origin() + QPoint(s.view->displaySize().width() * 3 / 4, s.view->displaySize().height() * 3 / 4);
  QTest::mousePress(s.view, Qt::LeftButton, Qt::NoModifier, from);
  QMouseEvent move(QEvent::MouseMove, to, s.view->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(s.view, &move);
  const QPoint a = s.view->toImage(from), b = s.view->toImage(to);
  EXPECT_TRUE(yellow(QPoint((a.x() + b.x()) / 2, b.y()))) << "the rectangle follows the drag";
  EXPECT_FALSE(yellow(QPoint((a.x() + b.x()) / 2, (a.y() + b.y()) / 2)));
  QTest::mouseRelease(s.view, Qt::LeftButton, Qt::NoModifier, to);
  const morvex::Roi roi = s.main.roi();
  EXPECT_TRUE(roi.set);
  EXPECT_EQ(QRect(QPoint(roi.x1, roi.y1), QPoint(roi.x2, roi.y2)), QRect(a, b));
  EXPECT_TRUE(roi.contains((a.x() + b.x()) / 2, (a.y() + b.y()) / 2));
  EXPECT_TRUE(yellow(QPoint(b.x(), (a.y() + b.y()) / 2))) << "the set ROI is shown";
  QTest::mouseClick(s.main.form().pushButton_ROI, Qt::LeftButton);  // cleared
  s.view->redraw(false);
  EXPECT_FALSE(yellow(QPoint(b.x(), (a.y() + b.y()) / 2)));
}

TEST(ViewAnnotations, SixtyWheelNotchesShowTheLatestSliceOnce) {
  Shown s;
  const int last = s.main.currentFrame();
  s.main.scrollSlices(-100);  // to the first slice, clamped
  ASSERT_EQ(s.main.currentFrame(), s.main.study().firstFrameOfSeries(0));
  int shown = 0;
  QObject::connect(s.main.form().treeWidget_FileDirectory, &QTreeWidget::currentItemChanged, [&] { ++shown; });
  for (int notch = 0; notch < 60; ++notch) {
    QWheelEvent e(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, notch < 5 ? 120 : -120), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(s.view, &e);
  }
  EXPECT_EQ(s.view->pendingWheelSteps(), 50);
  QApplication::processEvents();
  EXPECT_EQ(s.main.currentFrame(), last) << "50 steps down from the first slice stop at the last";
  EXPECT_EQ(shown, 1) << "one slice shown, not sixty";
  EXPECT_EQ(s.view->pendingWheelSteps(), 0);
}

TEST(ViewAnnotations, EveryControlAndToolbarActionSaysWhatItDoes) {
  ASSERT_TRUE(morvex::installLanguage("en"));
  Morvex m;
  morvex::installLanguage("ko");
  int controls = 0;
  for (QWidget* w : m.findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                         qobject_cast<QComboBox*>(w) || qobject_cast<QSlider*>(w);
    // the form's controls and the window's own (not the parts of toolkit widgets such as tab bars)
    if (!control || w->objectName().isEmpty() || w->objectName().startsWith("qt_") || qobject_cast<QTabBar*>(w->parentWidget()))
      continue;
    ++controls;
    EXPECT_FALSE(w->toolTip().isEmpty()) << w->objectName().toStdString();
  }
  EXPECT_GT(controls, 45);
  for (QAction* a : m.findChild<QToolBar*>("toolBarFile")->actions()) {
    if (!a->isSeparator() && !a->text().isEmpty()) {
      EXPECT_NE(a->toolTip(), a->text()) << a->text().toStdString();
    }
  }
  EXPECT_TRUE(m.form().pushButton_Brush->toolTip().contains("key B"));
  EXPECT_TRUE(m.form().spinBox_Slice1->toolTip().contains("range"));
}

TEST(ViewAnnotations, OpenFolderBesideOpenFileRemembersTheFolder) {
  morvex::setWarningInterceptor([](const QString&) {});
  QSettings().remove("open/lastFolder");
  const QString series = QString::fromStdString(morvex::testing::smallSyntheticSeries());
  Morvex m;
  QAction* folder = m.findChild<QAction*>("actionOpenFolder");
  ASSERT_NE(folder, nullptr);
  const QList<QAction*> bar = m.findChild<QToolBar*>("toolBarFile")->actions();
  EXPECT_EQ(bar.indexOf(folder), bar.indexOf(m.form().actionOpen) + 1);
  EXPECT_EQ(m.lastOpenFolder(), QDir::homePath()) << "nothing remembered yet";
  QString started;
  m.setFolderChooser([&](const QString& start) {
    started = start;
    return series;
  });
  folder->trigger();
  EXPECT_EQ(started, QDir::homePath());
  EXPECT_EQ(m.study().frameCount(), 24);
  Morvex next;  // another session starts where this one opened
  EXPECT_EQ(next.lastOpenFolder(), QFileInfo(series).absoluteFilePath());
  next.setFolderChooser([&](const QString& start) {
    started = start;
    return QString();
  });
  next.findChild<QAction*>("actionOpenFolder")->trigger();
  EXPECT_EQ(started, QFileInfo(series).absoluteFilePath());
  morvex::setWarningInterceptor({});
}
