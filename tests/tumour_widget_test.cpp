// The tumour click through the window: with the Cancer label current, a click of the selection tool
// inside the liver's tumour labels it in 3D as one undo step and says its volume (elsewhere the
// selection tool does what it always did: edit_tools_test).

#include <gtest/gtest.h>

#include <QStatusBar>
#include <QTest>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "study/label_table.h"
#include "tests/testing_support.h"
#include "tools/synthct/series_writer.h"
#include "view/cimage.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {
constexpr int kSize = 128, kSlices = 16;
}

TEST(TumourClickWindow, ClickLabelsTheLesionInOneUndoStep) {
  morvex::setWarningInterceptor([](const QString&) {});
  morvex::testing::TempDir dir;
  morvex::synth::PhantomOptions o;
  o.size = kSize;
  o.slices = kSlices;
  o.pixelSpacing = 2.8;
  o.sliceThickness = 5.0;
  std::string error;
  ASSERT_TRUE(morvex::synth::writeSeries(o, dir.path(), &error)) << error;
  QStringList paths;
  std::vector<cv::Mat> truth;
  for (int k = 0; k < kSlices; ++k) {
    paths << QString::fromStdString(dir.file(morvex::synth::sliceFileName(k) + ".dcm"));
    truth.push_back(cv::imread(dir.file("m_" + morvex::synth::sliceFileName(k) + ".png"), cv::IMREAD_UNCHANGED));
  }
  Morvex main;
  main.readDICOM(paths);
  ASSERT_EQ(main.study().frameCount(), kSlices);
  // the liver as LiverSeg leaves it: parenchyma and vessels, the tumour left out
  int frame = 0, area = 0;
  for (int k = 0; k < kSlices; ++k) {
    for (int i = 0; i < kSize * kSize; ++i) main.study().labelImage(k)[i] = truth[k].data[i] == 1 || truth[k].data[i] == 2;
    if (cv::countNonZero(truth[k] == 3) > area) area = cv::countNonZero(truth[k] == 3), frame = k;
  }
  ASSERT_GT(area, 10);
  const cv::Moments m = cv::moments(truth[frame] == 3, true);
  const QPoint lesion(static_cast<int>(m.m10 / m.m00), static_cast<int>(m.m01 / m.m00));
  CImage* view = main.imageViews().value(0);
  main.showImage(frame);
  view->resize(kSize, kSize);
  view->setDisplaySize(kSize, kSize);
  main.setSelectionToolState();
  main.setCurrentLabel(morvex::kCancer);
  auto count = [&](uint8_t value) {
    long n = 0;
    for (int k = 0; k < kSlices; ++k) n += std::count(main.study().labelImage(k), main.study().labelImage(k) + kSize * kSize, value);
    return n;
  };
  const long liverBefore = count(morvex::kLiver);

  QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, lesion);
  long truthTumour = 0;
  for (const cv::Mat& t : truth) truthTumour += cv::countNonZero(t == 3);
  const long tumour = count(morvex::kCancer);
  EXPECT_NEAR(tumour, truthTumour, truthTumour * 0.3);
  EXPECT_GE(count(morvex::kLiver), liverBefore - tumour / 3) << "only the lesion's own voxels change";
  const double ml = tumour * main.study().frame(0)->header.voxelVolumeMl();
  EXPECT_TRUE(main.statusBar()->currentMessage().contains(QString::number(ml, 'f', 1) + " mL"))
      << main.statusBar()->currentMessage().toStdString();
  main.undoHistory();
  EXPECT_EQ(count(morvex::kCancer), 0) << "one undo step takes the whole lesion back";
  morvex::setWarningInterceptor({});
}
