// The slice view and the display-window histogram driven through the real widgets offscreen:
// handle dragging, window presets, rendering of labels and selection, fitting, the readout switch,
// inversion, the resize path and body segmentation's picture.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include "analysis/chistogram_view.h"
#include "app/borderless_main_window.h"
#include "segmentation/label_cleanup.h"
#include "tests/testing_support.h"
#include "view/cimage.h"
#include "view/slice_render.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

void drag(QWidget* w, QPoint from, QPoint to) {
  QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, from);
  QMouseEvent move(QEvent::MouseMove, to, w->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &move);
  QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, to);
}

// A main window with the small synthetic series (and its liver masks) loaded.
struct LoadedWindow {
  Morvex main;
  LoadedWindow() {
    morvex::setWarningInterceptor([](const QString&) {});
    main.resize(1374, 904);
    main.openPaths({QString::fromStdString(morvex::testing::smallSyntheticSeries())});
  }
  ~LoadedWindow() { morvex::setWarningInterceptor({}); }
  CImage* view() { return main.imageViews().value(0); }
  // A frame with liver in it, shown.
  int showLiverFrame() {
    for (int f = 0; f < main.study().frameCount(); ++f) {
      const uint8_t* l = main.study().labelImage(f);
      if (std::count(l, l + main.study().width(f) * main.study().height(f), 1) > 500) {
        main.showImage(f);
        return f;
      }
    }
    return -1;
  }
};

}  // namespace

TEST(HistogramWidget, DraggingTheLowerHandlePastTheUpperPushesItAndEmits) {
  CHistogramView view;
  view.setViewSize(250, 100);
  view.setInputMode(1);
  const int16_t range[] = {0, 220};
  view.computeHistogram(range, 2, 1, true);
  QSignalSpy spy(&view, &CHistogramView::valueChanged);
  view.setValues(50, 150);
  ASSERT_EQ(spy.count(), 1);
  drag(&view, QPoint(20, 80), QPoint(200, 80));
  ASSERT_EQ(spy.count(), 2);
  EXPECT_EQ(spy.last()[0].toInt(), 185);
  EXPECT_EQ(spy.last()[1].toInt(), 186);
  EXPECT_EQ(view.preset(), 4);
  view.setInputMode(0);
  view.setValues(40, 400);
  EXPECT_EQ(spy.last()[0].toInt(), -160) << "handle values are taken even beyond the bins' range";
}

TEST(HistogramWidget, LevelWidthEmitsTheInterval) {
  CHistogramView view;
  view.setViewSize(250, 100);
  std::vector<int16_t> slice = {-1024, 3071};
  view.computeHistogram(slice.data(), 2, 1, false);
  QSignalSpy spy(&view, &CHistogramView::valueChanged);
  view.setValues(40, 400);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.last()[0].toInt(), -160);
  EXPECT_EQ(spy.last()[1].toInt(), 240);
}

TEST(DisplayWindow, PresetsBoxesAndHandleDrags) {
  LoadedWindow w;
  Morvex& m = w.main;
  Ui::MorvexClass& ui = m.form();
  CHistogramView* h = m.displayHistogram();
  ASSERT_NE(w.view(), nullptr);
  EXPECT_EQ(ui.comboBox_Histogram->currentIndex(), 0);
  EXPECT_FLOAT_EQ(h->lowValue(), -160) << "DCM: the file's 40 / 400";
  EXPECT_FLOAT_EQ(h->highValue(), 240);
  EXPECT_EQ(ui.spinBox_histogram_low->value(), 40);
  EXPECT_EQ(ui.spinBox_histogram_high->value(), 400);
  EXPECT_EQ(w.view()->windowLevel(), 40);

  ui.comboBox_Histogram->setCurrentIndex(2);
  EXPECT_FLOAT_EQ(h->lowValue(), h->rangeMin()) << "Full Dynamic";
  EXPECT_FLOAT_EQ(h->highValue(), h->rangeMax());
  ui.comboBox_Histogram->setCurrentIndex(3);
  EXPECT_FLOAT_EQ(h->lowValue(), -150);
  EXPECT_FLOAT_EQ(h->highValue(), 150);
  EXPECT_EQ(ui.spinBox_histogram_high->value(), 300);
  ui.comboBox_Histogram->setCurrentIndex(1);
  morvex::HistogramModel expected;
  const int f = m.currentFrame();
  expected.computeHistogram(m.study().intensities(f), m.study().width(f), m.study().height(f));
  expected.setAutoRange(m.study().intensities(f), m.study().width(f), m.study().height(f));
  EXPECT_FLOAT_EQ(h->lowValue(), expected.lowValue()) << "Auto";
  EXPECT_FLOAT_EQ(h->highValue(), expected.highValue());

  // Typing a level switches to Custom.
  ui.spinBox_histogram_low->setValue(100);
  EXPECT_EQ(h->preset(), 4);
  EXPECT_EQ(ui.comboBox_Histogram->currentIndex(), 4);
  EXPECT_FLOAT_EQ(h->lowValue(), 100 - ui.spinBox_histogram_high->value() / 2);

  // A handle drag shows "Custom" without running the preset again.
  ui.comboBox_Histogram->setCurrentIndex(0);
  QSignalSpy presetRuns(ui.comboBox_Histogram, qOverload<int>(&QComboBox::currentIndexChanged));
  drag(h, QPoint(int(h->model().lowX()), 80), QPoint(int(h->model().lowX()) + 30, 80));
  EXPECT_EQ(presetRuns.count(), 0);
  EXPECT_EQ(ui.comboBox_Histogram->currentIndex(), 4);
  EXPECT_GT(h->lowValue(), -160);
  EXPECT_EQ(ui.spinBox_histogram_high->value(), int(h->highValue()) - int(h->lowValue()));
  EXPECT_EQ(w.view()->windowWidth(), int(h->lowValue()) - int(h->highValue()));
}

TEST(SliceView, LabelsSelectionOpacityAndFit) {
  LoadedWindow w;
  Morvex& m = w.main;
  const int f = w.showLiverFrame();
  ASSERT_GE(f, 0);
  CImage* view = w.view();
  const int width = m.study().width(f);
  const uint8_t* labels = m.study().labelImage(f);
  int liverPixel = 0;
  while (labels[liverPixel] != 1) ++liverPixel;
  const QPoint at(liverPixel % width, liverPixel / width);
  const int grey = view->displayBuffer()[static_cast<std::size_t>(liverPixel)];

  m.setCurrentLabel(0);
  m.redrawAll();
  EXPECT_EQ(view->canvas().pixel(at), qRgb(grey, grey, grey)) << "no label colours while no layer is chosen";
  m.setCurrentLabel(1);
  m.setOpacityValue(0.9f);
  m.redrawAll();
  const QRgb blended = view->canvas().pixel(at);
  EXPECT_EQ(qRed(blended), morvex::blendChannel(145, 0.9f, grey));
  EXPECT_EQ(qBlue(blended), morvex::blendChannel(53, 0.9f, grey));
  m.study().selectionImage(f)[liverPixel] = 255;
  m.redrawAll();
  EXPECT_EQ(qRed(view->canvas().pixel(at)), morvex::blendChannel(255, 0.9f, grey)) << "selection in red";
  EXPECT_EQ(qGreen(view->canvas().pixel(at)), morvex::blendChannel(0, 0.9f, grey));

  view->setDisplaySize(1000, 400);
  EXPECT_EQ(view->displaySize(), QSize(400, 400));
  EXPECT_EQ(view->origin(), QPoint(300, 0));
  EXPECT_EQ(view->shownImage().size(), QSize(400, 400));
}

TEST(SliceView, ReadoutFollowsTheAnnotationSwitchAndInversion) {
  LoadedWindow w;
  Morvex& m = w.main;
  w.showLiverFrame();
  m.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
  m.fitViewsToImageArea();
  QApplication::processEvents();  // the layout gives the view its new room
  CImage* view = w.view();
  const QRect readout(view->width() - 240, 10, 230, 175);
  ASSERT_GT(readout.left(), 0);
  // Pixels of the readout area that the text changes, and how bright they are on average.
  auto textPixels = [&](double* meanBrightness) {
    const QImage on = view->grab().toImage();
    m.setDisplayAnnotationState();  // off
    const QImage off = view->grab().toImage();
    m.setDisplayAnnotationState();  // on again
    int changed = 0;
    double sum = 0;
    for (int y = readout.top(); y <= readout.bottom(); ++y)
      for (int x = readout.left(); x <= readout.right(); ++x)
        if (on.pixel(x, y) != off.pixel(x, y)) {
          ++changed;
          sum += qGray(on.pixel(x, y));
        }
    *meanBrightness = changed ? sum / changed : 0;
    return changed;
  };
  double brightness = 0;
  EXPECT_GT(textPixels(&brightness), 200) << "the readout is drawn while the annotation is on";
  EXPECT_GT(brightness, 128) << "in white";

  const std::vector<uint8_t> before = view->displayBuffer();
  m.changeInvertMode();
  EXPECT_TRUE(view->invert());
  EXPECT_EQ(view->displayBuffer()[0], 255 - before[0]);
  EXPECT_GT(textPixels(&brightness), 200);
  EXPECT_LT(brightness, 128) << "inverted views write the readout in black";
}

TEST(SliceView, FramelessWindowResizeRefitsTheView) {
  morvex::setWarningInterceptor([](const QString&) {});
  BorderlessMainWindow window;
  window.resize(1400, 950);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  Morvex* m = window.mainWindowWidget();
  m->openPaths({QString::fromStdString(morvex::testing::smallSyntheticSeries())});
  QWidget* area = m->form().widget_image;
  window.resize(1600, 1000);
  QApplication::processEvents();
  CImage* view = m->imageViews().value(0);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->maximumWidth(), area->width());
  EXPECT_EQ(view->displaySize().width(), std::min(area->width(), area->height()));
  morvex::setWarningInterceptor({});
}

TEST(SliceView, BodySegmentationShowsTheClearedSliceAtOnce) {
  LoadedWindow w;
  Morvex& m = w.main;
  const int f = w.showLiverFrame();
  m.bodySegmentation();
  const std::size_t n = static_cast<std::size_t>(m.study().width(f)) * m.study().height(f);
  const std::vector<uint8_t> expected = morvex::windowedImage(m.study().intensities(f), n, -160, 240);
  EXPECT_EQ(w.view()->displayBuffer(), expected);
  EXPECT_EQ(w.view()->displayBuffer()[0], morvex::windowedImage(m.study().intensities(f), 1, -160, 240)[0]);
}

TEST(SliceView, ContextMenuRequestOpensNothing) {
  LoadedWindow w;
  CImage* view = w.view();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->contextMenuPolicy(), Qt::CustomContextMenu);
  emit view->customContextMenuRequested(QPoint(10, 10));
  QApplication::processEvents();
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  view->setCursorShape(true);
  EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor) << "no drawing tool: the arrow";
}
