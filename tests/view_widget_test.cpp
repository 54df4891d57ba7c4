// The slice view and the display-window histogram driven through the real window offscreen:
// window presets, typed levels and handle drags, label and selection rendering, fitting, the
// context menu and body segmentation's picture.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include "analysis/chistogram_view.h"
#include "segmentation/label_cleanup.h"
#include "tests/testing_support.h"
#include "view/cimage.h"
#include "view/slice_render.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

TEST(SliceView, PresetsDragsLabelsSelectionFitContextMenuAndBodySegmentation) {
  morvex::setWarningInterceptor([](const QString&) {});
  Morvex m;
  m.resize(1374, 904);
  m.openPaths({QString::fromStdString(morvex::testing::smallSyntheticSeries())});
  Ui::MorvexClass& ui = m.form();
  CHistogramView* h = m.displayHistogram();
  CImage* view = m.imageViews().value(0);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(ui.comboBox_Histogram->currentIndex(), 0);
  EXPECT_FLOAT_EQ(h->lowValue(), -160) << "DCM: the file's 40 / 400";
  EXPECT_FLOAT_EQ(h->highValue(), 240);
  EXPECT_EQ(ui.spinBox_histogram_low->value(), 40);
  EXPECT_EQ(ui.spinBox_histogram_high->value(), 400);
  EXPECT_EQ(view->windowLevel(), 40);

  // a context-menu request opens nothing; without a drawing tool the cursor is the arrow
  EXPECT_EQ(view->contextMenuPolicy(), Qt::CustomContextMenu);
  emit view->customContextMenuRequested(QPoint(10, 10));
  QApplication::processEvents();
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  view->setCursorShape(true);
  EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);

  // labels, the current layer, the opacity and the red selection over a liver pixel
  int f = 0;
  while (std::count(m.study().labelImage(f), m.study().labelImage(f) + 128 * 128, 1) <= 500) ++f;
  m.showImage(f);
  const uint8_t* labels = m.study().labelImage(f);
  const int liverPixel = static_cast<int>(std::find(labels, labels + 128 * 128, 1) - labels);
  const QPoint at(liverPixel % 128, liverPixel / 128);
  const int grey = view->displayBuffer()[static_cast<std::size_t>(liverPixel)];
  m.setCurrentLabel(0);
  m.redrawAll();
  EXPECT_EQ(view->canvas().pixel(at), qRgb(grey, grey, grey)) << "no label colours while no layer is chosen";
  m.setCurrentLabel(1);
  m.setOpacityValue(0.9f);
  m.redrawAll();
  EXPECT_EQ(qRed(view->canvas().pixel(at)), morvex::blendChannel(145, 0.9f, grey));  // (every channel: slice_render_test)
  m.study().selectionImage(f)[liverPixel] = 255;
  m.redrawAll();
  EXPECT_EQ(view->canvas().pixel(at), qRgb(morvex::blendChannel(255, 0.9f, grey), morvex::blendChannel(0, 0.9f, grey),
                                           morvex::blendChannel(0, 0.9f, grey))) << "selection in red";
  view->setDisplaySize(1000, 400);
  EXPECT_EQ(view->displaySize(), QSize(400, 400));
  EXPECT_EQ(view->origin(), QPoint(300, 0));
  EXPECT_EQ(view->shownImage().size(), QSize(400, 400));

  // the presets
  ui.comboBox_Histogram->setCurrentIndex(2);
  EXPECT_FLOAT_EQ(h->lowValue(), h->rangeMin()) << "Full Dynamic";
  EXPECT_FLOAT_EQ(h->highValue(), h->rangeMax());
  ui.comboBox_Histogram->setCurrentIndex(3);
  EXPECT_FLOAT_EQ(h->lowValue(), -150);
  EXPECT_FLOAT_EQ(h->highValue(), 150);
  EXPECT_EQ(ui.spinBox_histogram_high->value(), 300);
  ui.comboBox_Histogram->setCurrentIndex(1);
  morvex::HistogramModel expected;
  expected.computeHistogram(m.study().intensities(f), 128, 128);
  expected.setAutoRange(m.study().intensities(f), 128, 128);
  EXPECT_FLOAT_EQ(h->lowValue(), expected.lowValue()) << "Auto";
  EXPECT_FLOAT_EQ(h->highValue(), expected.highValue());
  // typing a level switches to Custom
  ui.spinBox_histogram_low->setValue(100);
  EXPECT_EQ(h->preset(), 4);
  EXPECT_EQ(ui.comboBox_Histogram->currentIndex(), 4);
  EXPECT_FLOAT_EQ(h->lowValue(), 100 - ui.spinBox_histogram_high->value() / 2);
  // a handle drag shows "Custom" without running the preset again
  ui.comboBox_Histogram->setCurrentIndex(0);
  QSignalSpy presetRuns(ui.comboBox_Histogram, qOverload<int>(&QComboBox::currentIndexChanged));
  const QPoint from(int(h->model().lowX()), 80), to = from + QPoint(30, 0);
  QTest::mousePress(h, Qt::LeftButton, Qt::NoModifier, from);
  QMouseEvent move(QEvent::MouseMove, to, h->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(h, &move);
  QTest::mouseRelease(h, Qt::LeftButton, Qt::NoModifier, to);
  EXPECT_EQ(presetRuns.count(), 0);
  EXPECT_EQ(ui.comboBox_Histogram->currentIndex(), 4);
  EXPECT_GT(h->lowValue(), -160);
  EXPECT_EQ(ui.spinBox_histogram_high->value(), int(h->highValue()) - int(h->lowValue()));
  EXPECT_EQ(view->windowWidth(), int(h->lowValue()) - int(h->highValue()));

  // body segmentation shows the cleared slice at once, in the current window
  m.bodySegmentation();
  EXPECT_EQ(view->displayBuffer(),
            morvex::windowedImage(m.study().intensities(f), 128 * 128, int(h->lowValue()), int(h->highValue())));
  EXPECT_EQ(m.study().intensities(f)[0], 0) << "the air outside the body is cleared";
  morvex::setWarningInterceptor({});
}
