// Natural file order, case keys of the "List" folder, and the sorting of dropped files.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "study/import_rules.h"
#include "tests/testing_support.h"

using morvex::DropKind;
using morvex::naturalLess;

TEST(NaturalOrder, DigitRunsCompareAsNumbers) {
  std::vector<std::string> files = {"/d/IMG100.dcm", "/d/IMG10.dcm", "/d/IMG9.dcm", "/d/img2.dcm"};
  std::sort(files.begin(), files.end(), naturalLess);
  EXPECT_EQ(files, (std::vector<std::string>{"/d/img2.dcm", "/d/IMG9.dcm", "/d/IMG10.dcm", "/d/IMG100.dcm"}));
  EXPECT_FALSE(naturalLess("/d/IMG10.dcm", "/d/IMG9.dcm"));
  EXPECT_TRUE(naturalLess("/d/s19.dcm", "/d/s20.dcm")) << "digits before the difference count too";
  EXPECT_FALSE(naturalLess("/d/s20.dcm", "/d/s19.dcm"));
}

TEST(NaturalOrder, ShortStringsDigitsAgainstLettersAndHugeNumbers) {
  EXPECT_TRUE(naturalLess("a1", "a10")) << "near the end the shorter path comes first";
  EXPECT_FALSE(naturalLess("a10", "a1"));
  EXPECT_FALSE(naturalLess("x5.dcm", "xb.dcm")) << "a digit sorts after a letter";
  EXPECT_TRUE(naturalLess("xb.dcm", "x5.dcm"));
  EXPECT_TRUE(naturalLess("ab.dcm", "ac.dcm"));
  // UIDs as file names hold digit runs far beyond 64 bits.
  EXPECT_TRUE(naturalLess("1.2.840.99999999999999999999999.dcm", "1.2.840.100000000000000000000000.dcm"));
  EXPECT_FALSE(naturalLess("1.2.840.100000000000000000000000.dcm", "1.2.840.99999999999999999999999.dcm"));
}

TEST(CaseKeys, ExtensionPrefixAndMarkersAreRemoved) {
  EXPECT_EQ(morvex::normalizeCaseKey("a_P001_DCM.dcm"), "P001");
  EXPECT_EQ(morvex::normalizeCaseKey("m_P002_RAW.png"), "P002");
  EXPECT_EQ(morvex::normalizeCaseKey("ab_P003"), "P003");
  EXPECT_EQ(morvex::normalizeCaseKey("P004"), "P004");
  EXPECT_EQ(morvex::normalizeCaseKey("P005_RAW_DCM_RAW"), "P005");
}

TEST(CaseKeys, NameListReadsEveryTextFileRecursively) {
  morvex::testing::TempDir dir;
  std::filesystem::create_directories(dir.file("List/sub"));
  std::ofstream(dir.file("List/a.txt")) << "P001\r\nD:\\cases\\m_P002_RAW.png\n";
  std::ofstream(dir.file("List/sub/b.txt")) << "P003_DCM\n";
  std::ofstream(dir.file("List/ignored.csv")) << "P999\n";
  std::vector<std::string> keys = morvex::readNameList(dir.file("List"));
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"P001", "P002", "P003"}));
  EXPECT_TRUE(morvex::readNameList(dir.file("NoSuchFolder")).empty());
}

TEST(DropClassification, PrefixesExtensionsAndMostlyBlackImages) {
  morvex::testing::TempDir dir;
  // 100 pixels, 78 of them black or white: a mask inside a folder, a slice when dropped alone.
  cv::Mat img(10, 10, CV_8UC1, cv::Scalar(128));
  for (int i = 0; i < 78; ++i) img.data[i] = (i % 2) ? 255 : 3;
  const std::string grey = dir.file("scan.png");
  ASSERT_TRUE(cv::imwrite(grey, img));
  EXPECT_EQ(morvex::classifyDroppedFile(grey, true), DropKind::Mask);
  EXPECT_EQ(morvex::classifyDroppedFile(grey, false), DropKind::Slice);

  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("m_case1.png"), false), DropKind::Mask);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("a_case1.png"), false), DropKind::Ignored);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("c_case1.jpg"), false), DropKind::Slice);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("notes.txt"), true), DropKind::Ignored);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("m_P_D.tiff"), true), DropKind::Mask);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("scan.tiff"), true), DropKind::Slice);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("IM0001.dcm"), true), DropKind::Slice);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("IM0001"), true), DropKind::Slice);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("IM0001.DCM"), true), DropKind::Slice);
}
