// Label exchange in the window: a NIfTI label volume dropped with its series loads like a mask; one
// that fits no series is refused with a warning naming it, the labels staying as they were.
// (Save's DICOM Segmentation is tested with the other save commands.)

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "export/nifti_io.h"
#include "study/mask_import.h"
#include "study/slice_decoder.h"
#include "tests/testing_support.h"
#include "tools/synthct/series_writer.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace fs = std::filesystem;

TEST(NiftiDrop, VolumeDroppedWithItsSeriesLoadsAndAMismatchIsRefused) {
  const std::string& source = morvex::testing::smallSyntheticSeries();
  morvex::testing::TempDir dir;
  fs::create_directory(dir.file("series"));
  for (int k = 0; k < 24; ++k) {
    const std::string name = morvex::synth::sliceFileName(k) + ".dcm";
    fs::copy_file(source + "/" + name, dir.file("series/" + name));
  }
  // the truth labels as a volume, and a volume of one slice
  morvex::initDicomCodecs();
  morvex::Study truth, one;
  for (int k = 0; k < 24; ++k) {
    ASSERT_EQ(truth.addFrameFromFile(dir.file("series/" + morvex::synth::sliceFileName(k) + ".dcm").c_str()), k);
    morvex::loadMaskFile(truth, (source + "/m_" + morvex::synth::sliceFileName(k) + ".png").c_str());
  }
  ASSERT_GE(one.addFrameFromFile(dir.file("series/IM0001.dcm").c_str()), 0);
  std::string error;
  ASSERT_TRUE(morvex::writeNiftiLabels(dir.file("truth.nii.gz"), truth, 0, error)) << error;
  ASSERT_TRUE(morvex::writeNiftiLabels(dir.file("one.nii"), one, 0, error)) << error;

  QStringList warnings;
  morvex::setWarningInterceptor([&](const QString& w) { warnings << w; });
  Morvex main;
  main.openPaths({QString::fromStdString(dir.file("series")), QString::fromStdString(dir.file("truth.nii.gz"))});
  EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
  ASSERT_EQ(main.study().frameCount(), 24);
  long liver = 0;
  for (int k = 0; k < 24; ++k) {
    ASSERT_EQ(0, std::memcmp(main.study().labelImage(k), truth.labelImage(k), 128 * 128)) << "slice " << k;
    for (int i = 0; i < 128 * 128; ++i) liver += truth.labelImage(k)[i] == 1;
  }
  ASSERT_GT(liver, 0);
  EXPECT_EQ(main.areaStatistics().pixelCnt(1), static_cast<float>(liver)) << "the statistics count the loaded labels";

  main.openPaths({QString::fromStdString(dir.file("one.nii"))});
  ASSERT_EQ(warnings.size(), 1);
  EXPECT_TRUE(warnings[0].contains(QString::fromStdString(dir.file("one.nii")))) << warnings[0].toStdString();
  EXPECT_TRUE(warnings[0].contains("do not match the series")) << warnings[0].toStdString();
  for (int k = 0; k < 24; ++k) EXPECT_EQ(0, std::memcmp(main.study().labelImage(k), truth.labelImage(k), 128 * 128));
  morvex::setWarningInterceptor({});
}

TEST(SegmentationSave, RealSeriesWithHeaderQuirksSavesItsSegmentation) {
  MORVEX_REQUIRE_SHARED_DATA();  // NUL-padded values, no Frame of Reference UID
  morvex::testing::TempDir dir, out;
  fs::copy(morvex::testing::sharedFile("ct-3slice-quirks"), dir.file("series"));
  morvex::setWarningInterceptor([](const QString&) {});
  Morvex main;
  main.openPaths({QString::fromStdString(dir.file("series"))});
  ASSERT_EQ(main.study().frameCount(), 3);
  main.study().labelImage(1)[230 * 512 + 120] = morvex::kLiver;
  main.setDirectoryChooser([&] { return QString::fromStdString(out.path()); });
  // the files are written on a worker that reports its progress (the design wrote them in the slot)
  std::vector<int> reports;
  bool offThread = true;
  const std::thread::id interfaceThread = std::this_thread::get_id();
  morvex::setWorkerProgressHook([&](int p) {  // the interface thread waits in the run meanwhile
    reports.push_back(p);
    offThread = offThread && std::this_thread::get_id() != interfaceThread;
  });
  main.saveFileDir();
  morvex::setWorkerProgressHook({});
  EXPECT_TRUE(offThread);
  ASSERT_EQ(reports.size(), 3u) << "the series TIFF, the segmentation, the TIFF beside the slices";
  EXPECT_EQ(reports.back(), 100);
  EXPECT_FALSE(main.hasUnsavedChanges());
  EXPECT_TRUE(fs::exists(out.file("seg_99000_JANCT000_20030417.dcm")));
  morvex::setWarningInterceptor({});
}
