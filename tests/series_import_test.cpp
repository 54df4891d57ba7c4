// The window-free import: natural order, the name list, sorting after the import, progress, and
// the rows of the DICOM information panel.

#include <gtest/gtest.h>

#include <algorithm>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "study/series_import.h"
#include "tests/testing_support.h"

using morvex::testing::TempDir;

// (the grouping of the real multi-series sample is the import window test's)
TEST(SeriesImport, NaturalOrderNameListAndTheLastLoadedFile) {
  TempDir dir;
  const cv::Mat grey(4, 4, CV_8UC1, cv::Scalar(50));
  std::vector<std::string> paths;
  for (const char* name : {"P001_20200101_10.png", "P001_20200101_9.png", "P001_20200101_100.png", "P002_20200101_1.png"}) {
    paths.push_back(dir.file(name));
    ASSERT_TRUE(cv::imwrite(paths.back(), grey));
  }
  morvex::Study study;
  auto loaded = morvex::importSlices(study, paths, {});
  ASSERT_EQ(loaded.size(), 4u);
  EXPECT_EQ(loaded[0].instanceNumber, 9);
  EXPECT_EQ(loaded[1].instanceNumber, 10);
  EXPECT_EQ(loaded[2].instanceNumber, 100);
  EXPECT_EQ(loaded[3].patientName, "P002_20200101");

  morvex::Study listed;
  loaded = morvex::importSlices(listed, paths, {"P002_20200101_1"});
  ASSERT_EQ(loaded.size(), 1u);
  ASSERT_EQ(listed.frameCount(), 1);
  EXPECT_EQ(listed.frame(0)->header.patientName, "P002_20200101");
}

TEST(DicomInfo, ThirteenRowsWithPatientValuesHidden) {
  morvex::SliceHeader h;
  h.patientName = "SECRET^NAME";
  h.patientId = "123";
  h.seriesDate = "20240102";
  h.manufacturerModelName = "Model";
  h.modality = "CT";
  h.pixelSpacing = 0.703125f;
  h.sliceThickness = 5.0f;
  h.width = 512;
  h.height = 400;
  h.instanceNumber = 17;
  const auto rows = morvex::dicomInfoRows(h);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"PatientID", "-"},       {"PatientName", "-"},        {"PatientSex", "-"},
      {"PatientAge", "-"},      {"InstitutionName", "-"},    {"SeriesDate", "20240102"},
      {"ManufacturerModelName", "Model"}, {"Modality", "CT"}, {"PixelSpacing", "0.703125"},
      {"SliceThickness", "5"},  {"Rows", "400"},             {"Columns", "512"},
      {"InstanceNumber", "17"}};
  EXPECT_EQ(rows, expected);

  morvex::SliceHeader raster;
  raster.seriesDate = "1900-01-01";
  const auto rasterRows = morvex::dicomInfoRows(raster);
  EXPECT_EQ(rasterRows[8].second, "0");
  EXPECT_EQ(rasterRows[9].second, "0");
  EXPECT_EQ(rasterRows[6].second, "");
}

TEST(SeriesImport, FilesDecodedOnWorkerThreadsArriveInListOrderWithTheirOwnPixels) {
  // More files than the decoding window, a listed file that fails between them and an unlisted
  // one: load order, progress, the warnings and each frame's pixels are those of a serial load.
  TempDir dir;
  std::vector<std::string> paths;
  for (int i = 1; i <= 30; ++i) {
    paths.push_back(dir.file("P001_20200101_" + std::to_string(i) + ".png"));
    ASSERT_TRUE(cv::imwrite(paths.back(), cv::Mat(3, 5, CV_8UC1, cv::Scalar(i * 8))));
  }
  paths.push_back(dir.file("P001_20200101_77.tif"));  // decodes as an image, then refused by extension
  ASSERT_TRUE(cv::imwrite(paths.back(), cv::Mat(3, 5, CV_8UC1, cv::Scalar(1))));
  std::reverse(paths.begin(), paths.end());
  morvex::Study study;
  std::vector<std::string> warnings;
  study.setWarningSink([&](const std::string& w) { warnings.push_back(w); });
  std::vector<int> progress;
  const auto loaded = morvex::importSlices(study, paths, {}, [&](int p) { progress.push_back(p); });
  ASSERT_EQ(loaded.size(), 30u);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(loaded[static_cast<std::size_t>(i)].instanceNumber, i + 1) << "natural order";
    EXPECT_EQ(loaded[static_cast<std::size_t>(i)].frameIndex, i);
    EXPECT_EQ(study.intensities(i)[14], (i + 1) * 8) << "frame " << i << " holds its own file's pixels";
  }
  EXPECT_EQ(warnings.size(), 2u) << "the refused file's two warnings, once each";
  ASSERT_EQ(progress.size(), 31u);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), 100);
}
