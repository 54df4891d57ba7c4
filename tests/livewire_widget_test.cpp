// Live wire driven with the keyboard and the mouse on the real slice view: L, clicks, the live
// preview, closing by right click, undo, Backspace, cancelling, and switching tools mid-contour.

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>
#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "tests/testing_support.h"
#include "view/cimage.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

constexpr int N = 100;  // the slice is N x N and shown at scale 1 from the view's corner

// A bright disc of radius 30 round (50, 50) on a darker slice; slice k > 0 has it 8k pixels right.
struct Tracer {
  morvex::testing::TempDir dir;
  Morvex main;
  CImage* view = nullptr;
  int discPixels = 0;
  explicit Tracer(int slices = 1) {
    morvex::setWarningInterceptor([](const QString&) {});
    QStringList paths;
    for (int k = slices - 1; k >= 0; --k) {
      cv::Mat grey(N, N, CV_8UC1, cv::Scalar(60));
      cv::circle(grey, {50 + 8 * k, 50}, 30, cv::Scalar(200), cv::FILLED);
      discPixels = cv::countNonZero(grey == 200);
      paths << QString::fromStdString(dir.file("P_20200101_" + std::to_string(k + 1) + ".png"));
      EXPECT_TRUE(cv::imwrite(paths.back().toStdString(), grey));
    }
    main.readDICOM(paths);
    view = main.imageViews().value(0);
    view->resize(N, N);
    view->setDisplaySize(N, N);
  }
  ~Tracer() { morvex::setWarningInterceptor({}); }
  void move(QPoint p) {
    QMouseEvent e(QEvent::MouseMove, p, view->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &e);
  }
  // Moves there, then presses and releases.
  void click(QPoint p, Qt::MouseButton button = Qt::LeftButton) {
    move(p);
    QTest::mouseClick(view, button, Qt::NoModifier, p);
  }
  int count(uint8_t value) {
    const uint8_t* l = main.study().labelImage(0);
    return static_cast<int>(std::count(l, l + N * N, value));
  }
  QRgb canvas(int x, int y) { return view->canvas().pixel(x, y); }
  std::size_t seeds() { return main.liveWire() ? main.liveWire()->seeds().size() : 0; }
};

}  // namespace

TEST(LiveWireWindow, ClicksTraceTheDiscRightClickClosesItAndUndoRemovesTheLabel) {
  Tracer t;
  ::testing::internal::CaptureStdout();
  QTest::keyClick(&t.main, Qt::Key_L);
  const std::string selected = ::testing::internal::GetCapturedStdout();
  ASSERT_TRUE(t.main.liveWireSelected());
  EXPECT_TRUE(t.main.form().pushButton_Livewire->isChecked());
  t.move({40, 40});  // the view latches live wire: presses no longer start strokes

  ::testing::internal::CaptureStdout();  // the maps may be computed in the background since L
  t.click({80, 50});
  const std::string log = selected + ::testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("- Live wire CalculateCostFunction -\n"), std::string::npos);
  EXPECT_NE(log.find("Canny computation time = "), std::string::npos);
  EXPECT_NE(log.find("Total cost computation time = "), std::string::npos);
  EXPECT_NE(log.find("Seed Point = 80 50\n"), std::string::npos);
  ASSERT_EQ(t.seeds(), 1u);
  EXPECT_TRUE(t.view->stroke().size() <= 1) << "no brush-like stroke is collected";
  EXPECT_EQ(t.canvas(80, 50), qRgb(0, 0, 0)) << "the seed is a black square";

  // moving shows the path to the pointer in green, along the rim
  t.move({50, 80});
  const std::vector<morvex::ImagePoint> preview = t.main.liveWire()->tracePath(50, 80);
  ASSERT_GT(preview.size(), 20u);
  const morvex::ImagePoint mid = preview[preview.size() / 2];
  EXPECT_NEAR(std::hypot(mid.x - 50, mid.y - 50), 30.0, 1.5);
  EXPECT_EQ(t.canvas(mid.x, mid.y), qRgb(0, 255, 0));

  t.click({50, 80});
  t.click({20, 50});
  ASSERT_EQ(t.seeds(), 3u);
  const morvex::ImagePoint drawn = t.main.liveWire()->segments()[0][10];
  EXPECT_EQ(t.canvas(drawn.x, drawn.y), qRgb(0, 0, 255)) << "drawn segments are blue";
  EXPECT_EQ(t.count(1), 0) << "nothing is written before the contour closes";

  t.click({50, 20});
  t.click({60, 60}, Qt::RightButton);
  EXPECT_EQ(t.main.liveWire(), nullptr) << "committed";
  EXPECT_NEAR(t.count(1), t.discPixels, 0.03 * t.discPixels);
  EXPECT_EQ(t.main.study().labelImage(0)[5 * N + 5], 0);
  EXPECT_TRUE(t.main.liveWireSelected()) << "ready for the next contour";
  EXPECT_TRUE(t.main.form().pushButton_Livewire->isChecked());
  EXPECT_FALSE(t.main.liveWireClosed());

  t.main.form().actionUndo->trigger();
  EXPECT_EQ(t.count(1), 0) << "the contour is one undo step";

  // a click closer than 2 pixels to the border starts nothing
  t.click({1, 50});
  EXPECT_EQ(t.main.liveWire(), nullptr);
}

TEST(LiveWireWindow, AWorkingSelectionContourIsKeptAndTheRoiIsIgnored) {
  Tracer t;
  t.main.setROIRegion({0, 0}, {49, 99});  // the left half
  t.main.setCurrentLabel(morvex::kSelectionLabel);
  QTest::keyClick(&t.main, Qt::Key_L);
  for (QPoint p : {QPoint(80, 50), QPoint(50, 80), QPoint(20, 50), QPoint(50, 20)}) t.click(p);
  t.click({60, 60}, Qt::RightButton);
  EXPECT_EQ(t.main.liveWire(), nullptr) << "committed";
  EXPECT_TRUE(t.main.liveWireSelected()) << "ready for the next contour";
  const uint8_t* sel = t.main.study().selectionImage(0);
  EXPECT_NEAR(std::count(sel, sel + N * N, 255), t.discPixels, 0.03 * t.discPixels) << "both halves, selected";
  EXPECT_EQ(t.count(1), 0);
}

TEST(LiveWireWindow, BackspaceAndARightClickOnOneSeedCancelWhileTheToolStaysOn) {
  Tracer t;
  QTest::keyClick(&t.main, Qt::Key_L);
  t.click({80, 50});
  t.click({50, 80});
  ASSERT_EQ(t.seeds(), 2u);
  QTest::keyClick(&t.main, Qt::Key_Backspace);
  ASSERT_EQ(t.seeds(), 1u);
  EXPECT_TRUE(t.main.liveWire()->segments().empty());
  QTest::keyClick(&t.main, Qt::Key_Backspace);
  EXPECT_EQ(t.main.liveWire(), nullptr);
  EXPECT_TRUE(t.main.liveWireSelected());
  EXPECT_TRUE(t.main.form().pushButton_Livewire->isChecked());

  t.click({80, 50});
  t.click({60, 60}, Qt::RightButton);
  EXPECT_EQ(t.main.liveWire(), nullptr) << "right click on a single seed cancels";
  EXPECT_TRUE(t.main.liveWireSelected());
  EXPECT_EQ(t.count(1), 0);

  // clearing the selection also drops a contour, and live wire stays selected
  t.click({80, 50});
  t.main.deSelectObject();
  EXPECT_EQ(t.main.liveWire(), nullptr);
  EXPECT_TRUE(t.main.liveWireSelected());
  EXPECT_TRUE(t.main.form().pushButton_Livewire->isChecked());
}

TEST(LiveWireWindow, SwitchingToolMidContourEndsItAndTheViewAcceptsPressesAgain) {
  Tracer t;
  QTest::keyClick(&t.main, Qt::Key_L);
  t.click({80, 50});
  t.click({50, 80});
  QTest::keyClick(&t.main, Qt::Key_B);  // no pointer move in between
  EXPECT_EQ(t.main.liveWire(), nullptr);
  EXPECT_FALSE(t.main.liveWireSelected());
  EXPECT_FALSE(t.main.form().pushButton_Livewire->isChecked());
  QTest::mouseClick(t.view, Qt::LeftButton, Qt::NoModifier, {50, 50});
  EXPECT_GT(t.count(1), 5) << "the brush paints at the first press";
}

// The maps computed in the background while live wire is selected serve only the slice they were
// computed for: a click right after the slice changed, or once the worker is done, traces exactly as
// a fresh engine on the shown slice does.
TEST(LiveWireWindow, BackgroundMapsServeOnlyTheSliceTheyWereComputedFor) {
  for (const bool settle : {false, true}) {
    Tracer t(2);
    ASSERT_EQ(t.main.study().frameCount(), 2);
    QTest::keyClick(&t.main, Qt::Key_L);  // the maps of frame 0 start on a worker
    t.main.showImage(1);
    t.view->setDisplaySize(N, N);
    if (settle) QTest::qWait(200);
    t.click({82, 50});
    ASSERT_EQ(t.seeds(), 1u) << settle;
    morvex::LiveWire fresh(t.main.study().intensities(1), N, N);
    ASSERT_TRUE(fresh.addSeed(82, 50));
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) ASSERT_EQ(t.main.liveWire()->totalCost(x, y), fresh.totalCost(x, y)) << x << "," << y;
  }
}
