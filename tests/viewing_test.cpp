// First contact with the workstation through the real frameless window: its size on large and
// small screens, the fitted first view (started with paths, one-slice files), the window of a file
// without window tags, the readout's columns, and zoom and pan with exact pointer mapping.

#include <gtest/gtest.h>

#include <QScrollArea>
#include <QTest>
#include <dcmtk/dcmdata/dctk.h>
#include <filesystem>

#include "analysis/chistogram_view.h"
#include "app/borderless_main_window.h"
#include "tests/testing_support.h"
#include "view/cimage.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace fs = std::filesystem;

namespace {

struct Frameless {
  BorderlessMainWindow window;
  Morvex* main = window.mainWindowWidget();
  Frameless() { morvex::setWarningInterceptor([](const QString&) {}); }
  ~Frameless() { morvex::setWarningInterceptor({}); }
  // Started as the program starts: shown first, the paths opened before the event loop runs.
  void start(const QStringList& paths) {
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    main->openPaths(paths);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  }
  QWidget* pane() { return main->form().widget_image; }
  CImage* view() { return main->imageViews().value(0); }
  // The fitted picture fills the pane's shorter side and is centred in it.
  void expectFitted(int imageWidth, int imageHeight) {
    ASSERT_NE(view(), nullptr);
    const int side = std::min(pane()->width(), pane()->height());
    const float s = static_cast<float>(side) / static_cast<float>(std::max(imageWidth, imageHeight));
    EXPECT_EQ(view()->displaySize(), QSize(static_cast<int>(imageWidth * s), static_cast<int>(imageHeight * s)));
    EXPECT_LE(view()->origin().x() + view()->displaySize().width(), view()->width()) << "nothing is cut off";
    EXPECT_GE(view()->origin().x(), 0);
    EXPECT_EQ(view()->maximumWidth(), pane()->width()) << "the view never grows past the pane";
  }
};

}  // namespace

TEST(Viewing, DesignedSizeSmallScreenFittedPicturesAndTheReadoutsColumns) {
  {
    Frameless f;
    f.start({QString::fromStdString(morvex::testing::smallSyntheticSeries())});
    f.expectFitted(128, 128);
    f.window.resize(1374, 904);  // window_fit_test checks both sizes fit, with room for 512 pixels
    QApplication::processEvents();

    // the readout: names and values in separate columns, drawn in white on a dark panel, in black
    // on a light one when inverted
    CImage* v = f.view();
    const CImage::ReadoutColumns c = v->readoutColumns();
    const QFontMetrics m(CImage::readoutFont());
    EXPECT_LT(c.nameRight, c.valueLeft);
    EXPECT_GE(c.nameRight - c.nameLeft, m.horizontalAdvance("area(LeftLiver Rate):"));
    EXPECT_GE(c.valueRight - c.valueLeft, m.horizontalAdvance("99999.9(mL)"));
    EXPECT_GE(c.nameLeft, 0);
    EXPECT_EQ(c.valueRight, v->width() - 10);
    auto expectReadout = [&](bool white) {
      const QImage on = v->grab().toImage();
      f.main->setDisplayAnnotationState();  // off
      const QImage off = v->grab().toImage();
      f.main->setDisplayAnnotationState();  // on again
      int inGap = 0, inNames = 0;
      for (int y = 10; y < 10 + 25 * 7; ++y)
        for (int x = c.nameLeft; x < c.valueRight; ++x) {
          // text: white (black when inverted), which the translucent panel alone never gives
          const bool text = white ? qGray(on.pixel(x, y)) > 200 : qGray(on.pixel(x, y)) < 50;
          inGap += text && x > c.nameRight && x < c.valueLeft;
          inNames += text && x <= c.nameRight;
        }
      EXPECT_GT(inNames, 200);
      EXPECT_EQ(inGap, 0);
    };
    expectReadout(true);
    const std::vector<uint8_t> before = v->displayBuffer();
    f.main->changeInvertMode();
    EXPECT_TRUE(v->invert());
    EXPECT_EQ(v->displayBuffer()[0], 255 - before[0]);
    expectReadout(false);
  }
  // a one-slice file, not square, fitted again after a resize (window_fit_test: the smallest screen)
  morvex::testing::TempDir dir;
  const std::string one = dir.file("P_20200101_1.png");
  ASSERT_TRUE(cv::imwrite(one, cv::Mat(300, 200, CV_8UC1, cv::Scalar(90))));
  Frameless f;
  f.start({QString::fromStdString(one)});
  f.expectFitted(200, 300);
  f.window.resize(1300, 800);
  QApplication::processEvents();
  f.expectFitted(200, 300);
}

TEST(Viewing, AFileWithoutWindowTagsShowsTheAutoWindow) {
  morvex::testing::TempDir dir;
  const std::string source = morvex::testing::smallSyntheticSeries() + "/IM0012.dcm";
  DcmFileFormat file;
  ASSERT_TRUE(file.loadFile(source.c_str()).good());
  file.getDataset()->findAndDeleteElement(DCM_WindowCenter);
  file.getDataset()->findAndDeleteElement(DCM_WindowWidth);
  const std::string bare = dir.file("IM0012.dcm");
  ASSERT_TRUE(file.saveFile(bare.c_str(), EXS_LittleEndianExplicit).good());

  Morvex windowless, tagged;
  morvex::setWarningInterceptor([](const QString&) {});
  windowless.openPaths({QString::fromStdString(bare)});
  tagged.openPaths({QString::fromStdString(source)});
  morvex::setWarningInterceptor({});
  ASSERT_EQ(windowless.form().comboBox_Histogram->currentIndex(), 0) << "the DCM preset";
  CHistogramView* h = windowless.displayHistogram();
  EXPECT_LT(h->lowValue(), h->highValue() - 100) << "a real window, not a threshold";
  tagged.form().comboBox_Histogram->setCurrentIndex(1);  // Auto on the same pixels
  EXPECT_EQ(h->lowValue(), tagged.displayHistogram()->lowValue());
  EXPECT_EQ(h->highValue(), tagged.displayHistogram()->highValue());
}

TEST(Viewing, ZoomAndPanMapThePointerToThePixelUnderIt) {
  morvex::testing::TempDir dir;
  const std::string path = dir.file("P_20200101_1.png");
  ASSERT_TRUE(cv::imwrite(path, cv::Mat(100, 100, CV_8UC1, cv::Scalar(60))));
  Morvex m;
  m.resize(1000, 800);
  m.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
  m.readDICOM({QString::fromStdString(path)});
  QApplication::processEvents();
  CImage* v = m.imageViews().value(0);
  const int W = v->width(), H = v->height();
  m.setBrushState();
  uint8_t* labels = m.study().labelImage(0);
  struct Case { float zoom; QPoint pan; };
  for (const Case c : {Case{1.0f, {}}, Case{2.5f, {13, -7}}, Case{16.0f, {-40, 25}}}) {
    SCOPED_TRACE("zoom " + std::to_string(c.zoom));
    v->fitToView();
    v->zoomAt(QPoint(W / 2, H / 2), c.zoom);
    v->panBy(c.pan);
    ASSERT_FLOAT_EQ(v->zoom(), c.zoom);
    const QPoint o = v->origin();
    const double s = v->displaySize().width() / 100.0;
    // a pen of one image pixel: brush = display pixels per image pixel, rounded down (at least 1)
    m.setBrushSize(std::max(1, static_cast<int>(s)));
    // pointers in the view: the centre, near its corners, the first and the last displayed pixel
    // (QTest takes the point (0, 0) for the widget's centre: the first pixel is looked at from (1, 1))
    const QPoint first(std::max(o.x(), 1), std::max(o.y(), 1));
    const QPoint last(std::min(o.x() + v->displaySize().width(), W) - 1, std::min(o.y() + v->displaySize().height(), H) - 1);
    for (const QPoint e : {QPoint(W / 2, H / 2), QPoint(3, H - 3), first, last, QPoint(W - 3, 2), o - QPoint(1, 1)}) {
      if (!v->rect().contains(e)) continue;
      std::fill(labels, labels + 100 * 100, 0);
      m.redrawAll();
      const QImage before = v->grab().toImage();
      QTest::mouseClick(v, Qt::LeftButton, Qt::NoModifier, e);
      const long painted = std::count(labels, labels + 100 * 100, 1);
      const int ix = static_cast<int>(std::floor((e.x() + 0.5 - o.x()) / s));
      const int iy = static_cast<int>(std::floor((e.y() + 0.5 - o.y()) / s));
      if (ix < 0 || iy < 0 || ix >= 100 || iy >= 100) {
        EXPECT_EQ(painted, 0) << "a pointer beside the image paints nothing";
        continue;
      }
      EXPECT_EQ(painted, 1) << "one pixel at (" << e.x() << ", " << e.y() << ")";
      const long at = std::find(labels, labels + 100 * 100, 1) - labels;
      EXPECT_EQ(labels[iy * 100 + ix], 1) << "pointer (" << e.x() << ", " << e.y() << ") expected (" << ix << ", " << iy
                                          << ") painted (" << at % 100 << ", " << at / 100 << ") origin " << o.x() << ", "
                                          << o.y() << " scale " << s;
      // and that pixel is the one the view shows under the pointer
      const QImage after = v->grab().toImage();
      EXPECT_NE(after.pixel(e), before.pixel(e)) << "the change shows under the pointer";
    }
  }
  // the wheel alone still changes slices, Ctrl+wheel zooms about the pointer, F fits
  v->fitToView();
  const QPoint fitted = v->origin();
  const QPoint at = fitted + QPoint(v->displaySize().width() / 3, v->displaySize().height() / 4);
  const QPoint pixel = v->toImage(at);
  QWheelEvent wheel(QPointF(at), QPointF(v->mapToGlobal(at)), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(v, &wheel);
  EXPECT_FLOAT_EQ(v->zoom(), 1.25f);
  EXPECT_EQ(v->toImage(at), pixel) << "the pixel under the pointer stays under it";
  EXPECT_EQ(m.currentFrame(), 0);
  QTest::keyClick(&m, Qt::Key_F);
  EXPECT_FLOAT_EQ(v->zoom(), 1.0f);
  EXPECT_EQ(v->origin(), fitted);
  // middle drag pans
  std::fill(labels, labels + 100 * 100, 0);
  v->zoomAt(QPoint(W / 2, H / 2), 4.0f);
  const QPoint before = v->origin();
  QTest::mousePress(v, Qt::MiddleButton, Qt::NoModifier, QPoint(50, 50));
  QMouseEvent move(QEvent::MouseMove, QPointF(60, 45), QPointF(v->mapToGlobal(QPoint(60, 45))), Qt::NoButton,
                   Qt::MiddleButton, Qt::NoModifier);
  QApplication::sendEvent(v, &move);
  QTest::mouseRelease(v, Qt::MiddleButton, Qt::NoModifier, QPoint(60, 45));
  EXPECT_EQ(v->origin(), before + QPoint(10, -5));
  EXPECT_EQ(std::count(labels, labels + 100 * 100, 1), 0) << "panning paints nothing";
}
