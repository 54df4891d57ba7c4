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

TEST(NaturalOrder, DigitRunsCompareAsNumbersLettersWithoutCaseAndTiesByBytes) {
  std::vector<std::string> files = {"/d/IMG100.dcm", "/d/IMG10.dcm", "/d/IMG9.dcm", "/d/img2.dcm"};
  std::sort(files.begin(), files.end(), naturalLess);
  EXPECT_EQ(files, (std::vector<std::string>{"/d/img2.dcm", "/d/IMG9.dcm", "/d/IMG10.dcm", "/d/IMG100.dcm"}));
  // each pair in order: the first sorts strictly before the second
  const std::pair<const char*, const char*> ordered[] = {
      {"/d/s19.dcm", "/d/s20.dcm"},  // digits before the difference count too
      {"a1", "a10"},                 // near the end the shorter path comes first
      {"xb.dcm", "x5.dcm"},          // a digit sorts after a letter
      {"ab.dcm", "ac.dcm"},
      // UIDs as file names hold digit runs far beyond 64 bits
      {"1.2.840.99999999999999999999999.dcm", "1.2.840.100000000000000000000000.dcm"},
      {"IM1a", "IM1b"},  // names differing only in their last character once compared equal both ways
      {"ab", "aC"},      // letters compare without case
      // "10", "11" and "011." were pairwise equal and unequal at once; "11" < "1a0" < "010" < "11" a cycle
      {"10", "11"}, {"10", "011."}, {"11", "011."}, {"1a0", "010"}, {"010", "11"}, {"1a0", "11"},
      // names equal apart from case or leading zeros fall back on plain byte order
      {"IMG1.dcm", "img1.dcm"}, {"s01.dcm", "s1.dcm"},
  };
  for (const auto& [first, second] : ordered) {
    EXPECT_TRUE(naturalLess(first, second)) << first << " < " << second;
    EXPECT_FALSE(naturalLess(second, first)) << first << " < " << second;
  }
}

namespace {

// A relation is a strict weak ordering exactly when it sorts elements by how many lie below them:
// checking that over all pairs covers irreflexivity, asymmetry and both transitivities at once.
void expectStrictWeakOrdering(const std::vector<std::string>& names) {
  const std::size_t n = names.size();
  std::vector<std::vector<bool>> less(n, std::vector<bool>(n));
  std::vector<std::size_t> below(n, 0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      less[i][j] = naturalLess(names[i], names[j]);
      if (less[i][j]) ++below[j];
    }
  std::size_t violations = 0;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j)
      if (less[i][j] != (below[i] < below[j]) && ++violations <= 5)
        ADD_FAILURE() << "'" << names[i] << "' < '" << names[j] << "' is " << less[i][j] << " but " << below[i]
                      << " names lie below the first and " << below[j] << " below the second";
  EXPECT_EQ(violations, 0u);
}

}  // namespace

TEST(NaturalOrder, IsAStrictWeakOrderingOnGeneratedNames) {
  // Every name of up to four characters from "01a." (341 names), where the old rules failed most.
  std::vector<std::string> all = {""};
  for (std::size_t k = 0; k < all.size() && all[k].size() < 4; ++k)
    for (char c : std::string("01a.")) all.push_back(all[k] + c);
  ASSERT_EQ(all.size(), 341u);
  expectStrictWeakOrdering(all);

  // A few thousand file-like names from pieces with case, zeros, long numbers and separators.
  const std::vector<std::string> pieces = {"IMG", "img", "0", "00", "1", "01", "9", "10", "100",
                                           "99999999999999999999", ".", "_", "a", "B", "-", "dcm"};
  std::vector<std::string> names;
  uint32_t state = 12345;
  for (int i = 0; i < 2500; ++i) {
    std::string name;
    for (int len = 1 + i % 5, k = 0; k < len; ++k) {
      state = state * 1664525u + 1013904223u;
      name += pieces[(state >> 16) % pieces.size()];
    }
    names.push_back(name);
  }
  expectStrictWeakOrdering(names);
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
  // black is below 10: the same image with grey 9 is still a mask, with grey 10 a slice
  for (const int dark : {9, 10}) {
    for (int i = 0; i < 78; i += 2) img.data[i] = static_cast<uchar>(dark);
    ASSERT_TRUE(cv::imwrite(grey, img));
    EXPECT_EQ(morvex::classifyDroppedFile(grey, true), dark < 10 ? DropKind::Mask : DropKind::Slice) << dark;
  }

  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("m_case1.png"), false), DropKind::Mask);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("a_case1.png"), false), DropKind::Ignored);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("c_case1.jpg"), false), DropKind::Slice);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("notes.txt"), true), DropKind::Ignored);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("m_P_D.tiff"), true), DropKind::Mask);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("scan.tiff"), true), DropKind::Slice);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("IM0001.dcm"), true), DropKind::Slice);
}

TEST(DropClassification, NamesWithoutAKnownExtensionNeedTheDicomPreamble) {
  morvex::testing::TempDir dir;
  std::string dicom(132, '\0');
  dicom.replace(128, 4, "DICM");
  std::ofstream(dir.file("IM0001"), std::ios::binary) << dicom;
  std::ofstream(dir.file("IM0002.DCM"), std::ios::binary) << dicom;
  std::ofstream(dir.file("README"), std::ios::binary) << "how to use\n";
  std::ofstream(dir.file("notes.md"), std::ios::binary) << "# notes\n";
  std::ofstream(dir.file("short"), std::ios::binary) << "DICM";
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("IM0001"), true), DropKind::Slice);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("IM0002.DCM"), false), DropKind::Slice);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("README"), true), DropKind::Ignored);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("notes.md"), true), DropKind::Ignored);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("short"), true), DropKind::Ignored);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("missing"), true), DropKind::Ignored);
  // The extensions of the drop rule stay slices whatever their content.
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("missing.dcm"), true), DropKind::Slice);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("scan.tiff"), true), DropKind::Slice);
}

TEST(DropClassification, ImagesClaimingHugeSizesGoToTheSlicesUndecoded) {
  morvex::testing::TempDir dir;
  // A PNG header claiming 40000 x 40000 and nothing else: the image reader used to throw here.
  morvex::testing::writeBytes(dir.file("scan.png"), morvex::testing::pngClaiming(40000, 40000));
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("scan.png"), true), DropKind::Slice);
  EXPECT_EQ(morvex::classifyDroppedFile(dir.file("m_scan.png"), true), DropKind::Mask);
}
