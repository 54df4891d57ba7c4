// The division of the liver driven through the real main window: the three Divide buttons, a
// line drawn and dragged on the slice view, the confirming click, and the readout that follows.

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "tests/testing_support.h"
#include "view/cimage.h"
#include "view/slice_render.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

using morvex::CLiverDivider;

namespace {

constexpr int N = 100;  // three N x N slices, shown at scale 1 from the view's corner

QStringList g_debugLines;
void collectDebug(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtDebugMsg) g_debugLines << text;
}

struct Divider {
  morvex::testing::TempDir dir;
  Morvex main;
  CImage* view = nullptr;
  Divider() {
    morvex::setWarningInterceptor([](const QString&) {});
    main.readDICOM(morvex::testing::qPaths(morvex::testing::writeFlatPngSlices(dir, 3, N, N)));
    // a liver square 20..79 with a vessel pixel on each side of x = 50, on every slice
    for (int f = 0; f < 3; ++f) {
      uint8_t* l = study().labelImage(f);
      for (int y = 20; y < 80; ++y)
        for (int x = 20; x < 80; ++x) l[y * N + x] = morvex::kLiver;
      l[50 * N + 30] = l[50 * N + 70] = morvex::kVessel;
    }
    show(1);
  }
  ~Divider() { morvex::setWarningInterceptor({}); }
  morvex::Study& study() { return main.study(); }
  void show(int f) {
    main.showImage(f);
    view = main.imageViews().value(0);
    view->resize(N, N);
    view->setDisplaySize(N, N);
  }
  int count(int f, uint8_t value) {
    const uint8_t* l = study().labelImage(f);
    return static_cast<int>(std::count(l, l + N * N, value));
  }
  void drag(std::initializer_list<QPoint> points) { morvex::testing::dragThrough(view, points); }
  QRgb canvasAt(int x, int y) { return view->canvas().pixel(x, y); }
};

}  // namespace

TEST(DivideWindow, EachButtonStartsItsModeAndASecondPressCancels) {
  Divider d;
  Ui::MorvexClass& ui = d.main.form();
  const struct {
    QPushButton* button;
    CLiverDivider::Mode mode;
    const char* log;
  } buttons[] = {{ui.pushButton_Divide, CLiverDivider::Mode::Series, "DivideArea"},
                 {ui.pushButton_Divide_2, CLiverDivider::Mode::Interpolation, "DivideArea(Interpolation)"},
                 {ui.pushButton_Divide_3, CLiverDivider::Mode::Single, "DivideArea(Single)"}};
  for (const auto& b : buttons) {
    g_debugLines.clear();
    QtMessageHandler previous = qInstallMessageHandler(collectDebug);
    QTest::mouseClick(b.button, Qt::LeftButton);
    qInstallMessageHandler(previous);
    ASSERT_NE(d.main.liverDivider(), nullptr) << b.log;
    EXPECT_EQ(d.main.liverDivider()->mode(), b.mode);
    EXPECT_EQ(d.main.liverDivider()->stage, 1);
    EXPECT_TRUE(b.button->isChecked());
    EXPECT_TRUE(g_debugLines.contains(b.log));
    QTest::mouseClick(b.button, Qt::LeftButton);
    EXPECT_EQ(d.main.liverDivider(), nullptr) << "a second press cancels";
    EXPECT_FALSE(b.button->isChecked());
  }
  // another tool ends the division without applying it
  QTest::mouseClick(ui.pushButton_Divide, Qt::LeftButton);
  d.drag({{50, 5}, {50, 95}});
  QTest::mouseClick(ui.pushButton_Brush, Qt::LeftButton);
  EXPECT_EQ(d.main.liverDivider(), nullptr);
  EXPECT_FALSE(ui.pushButton_Divide->isChecked());
  EXPECT_EQ(d.count(1, morvex::kLiver), 60 * 60 - 2);
}

TEST(DivideWindow, DrawDragAHandleAndConfirmDividesTheSeriesAndTheReadoutFollows) {
  Divider d;
  QTest::mouseClick(d.main.form().pushButton_Divide, Qt::LeftButton);
  d.drag({{50, 10}, {50, 50}, {50, 90}});
  const CLiverDivider* tool = d.main.liverDivider();
  ASSERT_NE(tool, nullptr);
  ASSERT_EQ(tool->stage, 3);
  EXPECT_EQ(tool->keyLines()[0].frame, 1) << "the key line belongs to the shown slice";
  EXPECT_EQ(d.canvasAt(50, 50), qRgb(255, 0, 0)) << "key line in red";
  EXPECT_EQ(d.canvasAt(52, 92), qRgb(0, 0, 255)) << "handle square of 7 x 7 in blue";
  EXPECT_NE(d.canvasAt(54, 94), qRgb(0, 0, 255));

  // the lower handle dragged to the right: the line tilts, the picture follows during the drag
  QTest::mousePress(d.view, Qt::LeftButton, Qt::NoModifier, QPoint(51, 89));
  for (const QPoint p : {QPoint(60, 89), QPoint(70, 90)}) {
    QMouseEvent move(QEvent::MouseMove, p, d.view->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(d.view, &move);
  }
  EXPECT_EQ(d.canvasAt(70, 90), qRgb(0, 0, 255));
  EXPECT_NE(d.canvasAt(50, 90), qRgb(0, 0, 255)) << "the picture is recomposed during the drag";
  QTest::mouseRelease(d.view, Qt::LeftButton, Qt::NoModifier, QPoint(70, 90));
  ASSERT_NE(d.main.liverDivider(), nullptr) << "a drag does not confirm";
  EXPECT_EQ(tool->keyLines()[0].points.back(), (morvex::DivPoint{70, 90}));
  // on another slice the shared key line shows in green
  d.show(0);
  EXPECT_EQ(d.canvasAt(60, 50), qRgb(0, 255, 0));
  d.show(1);

  // expected sides of the tilted line from (50, 10) to (70, 90): x < 50 + (y - 10) / 4
  int right = 0;
  for (int y = 20; y < 80; ++y)
    for (int x = 20; x < 80; ++x) right += 4 * x < 200 + (y - 10) && !(y == 50 && (x == 30 || x == 70));
  QTest::mouseClick(d.view, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_EQ(d.main.liverDivider(), nullptr) << "the confirming click ends the tool";
  EXPECT_FALSE(d.main.form().pushButton_Divide->isChecked());
  for (int f = 0; f < 3; ++f) {
    EXPECT_NEAR(d.count(f, morvex::kLiverRight), right, 60) << f;
    EXPECT_EQ(d.count(f, morvex::kLiverRight) + d.count(f, morvex::kLiverLeft), 60 * 60 - 2);
    EXPECT_EQ(d.study().labelImage(f)[50 * N + 30], morvex::kVesselRight);
    EXPECT_EQ(d.study().labelImage(f)[50 * N + 70], morvex::kVesselLeft);
  }
  // the statistics behind the readout were refreshed for the whole series
  const morvex::AreaStatistics& st = d.main.areaStatistics();
  EXPECT_EQ(st.pixelCnt(morvex::kLiverRight), 3.0f * d.count(1, morvex::kLiverRight));
  EXPECT_EQ(st.pixelCnt(morvex::kLiverLeft), 3.0f * d.count(1, morvex::kLiverLeft));
  EXPECT_EQ(st.pixelCnt(morvex::kLiver), 0.0f);

  // starting again takes the division back first
  QTest::mouseClick(d.main.form().pushButton_Divide_2, Qt::LeftButton);
  EXPECT_EQ(d.count(0, morvex::kLiver), 60 * 60 - 2);
  EXPECT_EQ(d.main.areaStatistics().pixelCnt(morvex::kLiver), 3.0f * (60 * 60 - 2));
}

TEST(DivideWindow, LabelsLeftOutOfTheLobeFiguresAreShownOnARowOfTheirOwn) {
  morvex::setWarningInterceptor([](const QString&) {});
  Morvex main;
  main.openPaths({QString::fromStdString(morvex::testing::smallSyntheticSeries())});
  const int f = 11;  // IM0012, holding liver
  main.showImage(f);
  CImage* view = main.imageViews().value(0);
  // text pixels of the row below the seven figures (white on the readout's dark panel, which
  // keeps the anatomy under it below mid grey)
  auto extraRow = [&] {
    view->setDisplaySize(700, 300);
    view->resize(700, 300);
    const QImage on = view->grab().toImage();
    int changed = 0;
    for (int y = 10 + 25 * 7; y < 10 + 25 * 8; ++y)
      for (int x = 700 - 240; x < 700 - 10; ++x) changed += qGray(on.pixel(x, y)) > 160;
    view->setDisplaySize(128, 128);
    view->resize(128, 128);
    return changed;
  };
  EXPECT_EQ(extraRow(), 0) << "not divided: no such row";
  // the shown slice alone is divided: the liver of every other slice is in no lobe figure
  QTest::mouseClick(main.form().pushButton_Divide_3, Qt::LeftButton);
  QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(50, 2));
  QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(50, 125));
  QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(90, 60));
  ASSERT_EQ(main.liverDivider(), nullptr) << "confirmed";
  long undivided = 0;
  for (int g = 0; g < main.study().frameCount(); ++g) {
    const uint8_t* l = main.study().labelImage(g);
    undivided += std::count_if(l, l + 128 * 128, [](uint8_t v) { return v == 1 || v == 2; });
  }
  ASSERT_GT(undivided, 0);
  const morvex::SliceHeader& h = main.study().frame(f)->header;
  const morvex::VolumeReadout r = morvex::computeVolumeReadout(h.voxelVolumeMl(), &main.areaStatistics());
  EXPECT_GT(r.left, 0.0f);
  EXPECT_NEAR(r.notDivided, undivided * h.voxelVolumeMl(), 0.05);
  EXPECT_GT(extraRow(), 30);
  morvex::setWarningInterceptor({});
}
