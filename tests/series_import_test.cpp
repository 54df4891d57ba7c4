// The window-free import on worker threads (load order, progress, each frame's pixels) and the rows
// of the DICOM information panel.

#include <gtest/gtest.h>

#include <algorithm>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "study/series_import.h"
#include "tests/testing_support.h"

using morvex::testing::TempDir;

// (the grouping of the real multi-series sample, and a name list, are the import window test's;
// natural order is import_rules_test's)
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
