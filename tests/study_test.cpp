// Rules of the study model: duplicates, grouping into series, ordering, growth, clearing,
// the label table, the division map and the fill operations.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <tuple>

#include <dcmtk/dcmdata/dctk.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "study/label_table.h"
#include "study/series_import.h"
#include "export/mask_writer.h"
#include "study/slice_decoder.h"
#include "study/study.h"
#include "study/text_field.h"
#include "tests/testing_support.h"
#include "tools/synthct/series_writer.h"

using morvex::SliceHeader;
using morvex::SlicePixels;
using morvex::Study;

namespace {

SliceHeader header(const std::string& patient, const std::string& date, int instance) {
  SliceHeader h;
  h.patientName = patient;
  h.seriesDate = date;
  h.instanceNumber = instance;
  h.fileName = patient + "_" + std::to_string(instance);
  return h;
}

SlicePixels pixels(int w, int h, int16_t fill = 0) {
  SlicePixels p;
  p.width = w;
  p.height = h;
  p.intensities.reset(static_cast<std::size_t>(w) * h);
  p.intensities.fill(fill);
  return p;
}

int add(Study& s, const std::string& patient, const std::string& date, int instance, int16_t fill = 0) {
  return s.insertFrame(header(patient, date, instance), pixels(4, 3, fill));
}

}  // namespace

TEST(StudyModel, EqualPatientDateAndInstanceReloadsTheSameFrameAndClearsItsLabels) {
  Study s;
  const int first = add(s, "P1", "20200101", 7, 10);
  s.fillLabelImage(first, 3);
  s.fillSelectionImage(first, 255);
  const int again = add(s, "P1", "20200101", 7, 20);
  EXPECT_EQ(first, again);
  EXPECT_EQ(s.frameCount(), 1);
  EXPECT_EQ(s.seriesCount(), 1);
  EXPECT_EQ(s.intensities(first)[0], 20) << "pixels come from the second load";
  EXPECT_EQ(s.labelImage(first)[5], 0);
  EXPECT_EQ(s.selectionImage(first)[5], 0);
}

namespace {
// The first intensity of every frame, in frame order.
std::vector<int> firstValues(const Study& s) {
  std::vector<int> v;
  for (int f = 0; f < s.frameCount(); ++f) v.push_back(s.intensities(f)[0]);
  return v;
}
}  // namespace

TEST(StudyModel, SortOrdersEachSeriesByInstanceStablyAndContiguously) {
  // equal instance numbers (as after editing the keys), more than a plain sort keeps in order:
  // each run of equal numbers keeps its load order
  Study keys;
  std::vector<int> expected;
  for (int i = 0; i < 40; ++i) add(keys, "P", "D", i, static_cast<int16_t>(i));
  for (int i = 0; i < 40; ++i) keys.frame(i)->header.instanceNumber = i % 2 ? 1 : 2;
  for (int i = 0; i < 80; i += 2) expected.push_back(i % 40 + (i < 40));
  keys.sortSeriesByInstance();
  EXPECT_EQ(firstValues(keys), expected);

  // interleaved series end up contiguous, each in order, the pixels travelling with their frames
  Study t;
  for (const auto& [patient, instance] : {std::pair{"A", 2}, {"B", 1}, {"A", 1}, {"B", 2}, {"A", 3}})
    add(t, patient, "D", instance, static_cast<int16_t>(10 * (*patient - 'A') + instance));
  t.sortSeriesByInstance();
  EXPECT_EQ(t.firstFrameOfSeries(1), 3);
  EXPECT_EQ(t.lastFrameOfSeries(1), 4);
  EXPECT_EQ(firstValues(t), (std::vector<int>{1, 2, 3, 11, 12}));
}

// The copy a worker thread runs on: the second series' frames at index 0.., its labels, division
// flags and intensities, and nothing shared with the study it came from.
TEST(StudyModel, ASeriesWorkCopyHoldsOneSeriesAndSharesNothing) {
  Study s;
  add(s, "A", "D", 1, 10);
  add(s, "B", "D", 1, 20);
  add(s, "B", "D", 2, 30);
  add(s, "B", "D", 3, 40);
  s.sortSeriesByInstance();
  ASSERT_EQ(s.firstFrameOfSeries(1), 1);
  s.labelImage(2)[5] = 7;
  const uint8_t map[12] = {1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0};
  ASSERT_TRUE(s.setDivisionImage(3, map, 4, 3));
  s.selectionImage(1)[0] = 1;

  Study work = s.seriesWorkCopy(1);
  ASSERT_EQ(work.frameCount(), 3);
  EXPECT_EQ(work.firstFrameOfSeries(1), 0);
  EXPECT_EQ(work.lastFrameOfSeries(1), 2);
  EXPECT_EQ(work.firstFrameOfSeries(0), -1) << "the other series stays behind";
  EXPECT_EQ(work.series(1)->patientName, "B");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(work.instanceNumber(i), i + 1);
    EXPECT_EQ(work.intensities(i)[11], 20 + 10 * i);
    EXPECT_EQ(work.width(i), 4);
  }
  EXPECT_EQ(work.labelImage(1)[5], 7);
  EXPECT_EQ(std::count(work.labelImage(0), work.labelImage(0) + 12, 0), 12);
  EXPECT_TRUE(work.divisionDefined(2));
  EXPECT_EQ(work.selectionImage(0)[0], 0) << "selections start empty";

  // writes to the copy never reach the study, and the reverse
  work.fillLabelImage(1, 3);
  work.intensitiesForEdit(0)[0] = -5;
  EXPECT_EQ(s.labelImage(2)[5], 7);
  EXPECT_EQ(s.labelImage(2)[0], 0);
  EXPECT_EQ(s.intensities(1)[0], 20);
  s.fillLabelImage(3, 9);
  EXPECT_EQ(work.labelImage(2)[0], 0);

  // the list of written label images stands in for the revision counters: what it calls unwritten
  // is copied as zeros, and a list of the wrong length copies everything
  EXPECT_EQ(s.labelsWrittenOfSeries(0), std::vector<bool>{false}) << "untouched since the load";
  EXPECT_EQ(s.labelsWrittenOfSeries(1), (std::vector<bool>{true, true, true})) << "a selection or a map counts too";
  const std::vector<bool> noneWritten(3, false), wrongLength(2, false);
  EXPECT_EQ(s.seriesWorkCopy(1, &noneWritten).labelImage(1)[5], 0);
  EXPECT_EQ(s.seriesWorkCopy(1, &wrongLength).labelImage(1)[5], 7);
  EXPECT_EQ(s.seriesWorkCopy(5).frameCount(), 0) << "no such series";
  EXPECT_EQ(Study().seriesWorkCopy(0).frameCount(), 0);
}

TEST(StudyModel, TablesGrowPastAHundredAndClearEmptiesThem) {
  Study s;
  EXPECT_EQ(s.intensities(0), nullptr);
  for (int i = 0; i <= 100; ++i) add(s, "P", "D", i, static_cast<int16_t>(i));
  EXPECT_EQ(s.frameCount(), 101);
  EXPECT_EQ(s.intensities(42)[0], 42);
  EXPECT_EQ(s.intensities(100)[0], 100);
  EXPECT_EQ(s.labelImage(101), nullptr) << "nothing beyond the live frames";
  EXPECT_EQ(s.selectionImage(-1), nullptr);
  for (int p = 0; p < 150; ++p) add(s, "P" + std::to_string(p), "D", 0);
  EXPECT_EQ(s.seriesCount(), 151);
  s.clear();
  EXPECT_EQ(s.frameCount() + s.seriesCount(), 0);
  EXPECT_EQ(s.labelImage(0), nullptr);
  add(s, "P", "D", 1);
  EXPECT_EQ(s.frameCount(), 1);
  EXPECT_EQ(s.height(0), 3);
}

TEST(LabelTable, ValuesFollowTheOrderOfAdding) {
  const morvex::LabelTable t = morvex::defaultLabelTable();
  EXPECT_EQ(t.size(), 7);
  EXPECT_EQ(t.getLabelIdx("Vessel"), 2);
  EXPECT_EQ(t.getLabelIdx("Vessel(Right)"), 7);
  EXPECT_EQ(t.getLabelIdx("Image"), -1);
  EXPECT_EQ(t.getLabelIdx("vessel"), -1) << "names compare byte for byte";
  ASSERT_NE(t.byValue(5), nullptr);
  EXPECT_EQ(t.byValue(5)->name, "Liver(Right)");
  EXPECT_EQ(t.byValue(5)->b, 143);
  EXPECT_EQ(t.byValue(0), nullptr);
  EXPECT_EQ(t.byValue(8), nullptr);
}

TEST(StudyModel, ApplyDivisionNeedsAStoredMapAndSplitsLiverAndVessel) {
  Study s;
  const int f = add(s, "P", "D", 1);
  const uint8_t labels[12] = {0, 1, 2, 3, 1, 2, 1, 2, 0, 0, 5, 7};
  ASSERT_TRUE(s.setLabelImage(f, labels, 4, 3));
  s.applyDivision(f);
  EXPECT_EQ(0, std::memcmp(s.labelImage(f), labels, 12)) << "no map stored: unchanged";

  const uint8_t division[12] = {0, 1, 1, 1, 0, 0, 2, 1, 0, 0, 0, 0};
  ASSERT_TRUE(s.setDivisionImage(f, division, 4, 3));
  EXPECT_TRUE(s.divisionDefined(f));
  s.applyDivision(f);
  const uint8_t expected[12] = {0, 5, 7, 3, 4, 6, 4, 7, 0, 0, 5, 7};
  EXPECT_EQ(0, std::memcmp(s.labelImage(f), expected, 12));

  s.clearDivisionOfSeries(s.seriesOfFrame(f));
  EXPECT_FALSE(s.divisionDefined(f));
  EXPECT_EQ(s.divisionImage(f)[1], 0);
}

TEST(StudyModel, FillReplaceAndSwapCheckTheirFrames) {
  Study s;
  const int f = add(s, "P", "D", 1);
  s.fillLabelImage(f, 2);
  s.fillSelectionImage(f, 255);
  EXPECT_EQ(std::count(s.labelImage(f), s.labelImage(f) + 12, 2), 12);
  EXPECT_EQ(std::count(s.selectionImage(f), s.selectionImage(f) + 12, 255), 12);
  const uint8_t wrong[6] = {1, 1, 1, 1, 1, 1};
  EXPECT_FALSE(s.setLabelImage(f, wrong, 3, 2));
  EXPECT_FALSE(s.setDivisionImage(f, wrong, 2, 3));
  EXPECT_EQ(s.labelImage(f)[0], 2);
  EXPECT_FALSE(s.setLabelImage(5, wrong, 4, 3));
  s.fillLabelImage(9, 1);  // no frame: nothing happens

  // swapping exchanges whole records
  add(s, "B", "D", 2, 22);
  s.swapFrames(0, 1);
  EXPECT_EQ(s.frame(0)->header.patientName, "B");
  EXPECT_EQ(s.seriesOfFrame(0), 1);
  EXPECT_EQ(s.intensities(0)[0], 22);
  EXPECT_EQ(s.labelImage(1)[0], 2);
  s.swapFrames(0, 500);  // out of range: ignored
  EXPECT_EQ(s.frame(0)->header.patientName, "B");
}

TEST(StudyModel, FailedLoadLeavesNoTraceAndFailedReloadKeepsTheFrame) {
  morvex::testing::TempDir dir;
  const cv::Mat grey(6, 5, CV_8UC1, cv::Scalar(77));
  const std::string png = dir.file("P001_20200115_3.png");
  ASSERT_TRUE(cv::imwrite(png, grey));
  Study s;
  std::vector<std::string> warnings;
  s.setWarningSink([&](const std::string& w) { warnings.push_back(w); });
  const int f = s.addFrameFromFile(png.c_str());
  ASSERT_EQ(f, 0);
  EXPECT_EQ(s.width(f), 5);
  EXPECT_EQ(s.height(f), 6);
  s.fillLabelImage(f, 1);

  // Same name, now an unreadable tif: refused with the two boxes; no new series, labels kept.
  const std::string tif = dir.file("P001_20200115_3.tif");
  ASSERT_TRUE(cv::imwrite(tif, grey));
  EXPECT_EQ(s.addFrameFromFile(tif.c_str()), -1);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0], "This file extension cannot be processed.");
  EXPECT_EQ(warnings[1], "Image load failed: the file cannot be read as a slice.") << "a tif has no DICOM header";
  EXPECT_EQ(s.frameCount(), 1);
  EXPECT_EQ(s.seriesCount(), 1);
  EXPECT_EQ(s.labelImage(f)[0], 1);
}

TEST(StudyModel, LooseImagesWithoutANumberEachKeepAFrame) {
  // Names without a number give patient "", date 1900-01-01 and instance 0 alike.
  morvex::testing::TempDir dir;
  const std::vector<std::string> files = {dir.file("kidney.bmp"), dir.file("liver.png"), dir.file("spleen.png")};
  for (std::size_t i = 0; i < files.size(); ++i)
    ASSERT_TRUE(cv::imwrite(files[i], cv::Mat(5, 7, CV_8UC1, cv::Scalar(static_cast<int>(40 * i)))));
  Study s;
  ASSERT_EQ(morvex::importSlices(s, files, {}).size(), 3u);
  ASSERT_EQ(s.frameCount(), 3) << "each file is a frame of its own";
  for (int f = 0; f < 3; ++f) {
    EXPECT_EQ(s.instanceNumber(f), f) << "numbered in load order";
    EXPECT_EQ(s.intensities(f)[0], 40 * f) << "with its own pixels";
  }
  EXPECT_EQ(s.addFrameFromFile(files[1].c_str()), 1) << "the same file again is the same frame";
  EXPECT_EQ(s.frameCount(), 3);
}

TEST(FileNames, HeaderValuesBecomeSafeNameParts) {
  const std::pair<std::string, std::string> cases[] = {
      {"a/b", "a_b"},
      {"..", "__"},
      {"x\\y", "x_y"},
      {"", ""},
      {"DOE^JOHN-2_x", "DOE^JOHN-2_x"},
      {"홍길동^환자", "홍길동^환자"},
      {"Dr. Müller", "Dr__Müller"},
      {"a:b*c?d\"e<f>g|h", "a_b_c_d_e_f_g_h"},
      {"\xC0\xAF\xFF", "___"},        // an overlong "/" and a byte that is no UTF-8
      {"\xEF\xBC\x8F", "_"},           // fullwidth solidus: no letter
      {std::string("a\0b", 3), "a_b"},
  };
  for (const auto& [value, part] : cases) EXPECT_EQ(morvex::fileNamePart(value), part) << value;
  // A series folder built from hostile names stays inside its root.
  morvex::testing::TempDir dir;
  const std::string folder = morvex::seriesFolder(dir.file("root"), "../..", "../x");
  EXPECT_EQ(folder, dir.file("root/_____/___x"));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_FALSE(std::filesystem::exists(dir.file("x")));
}

TEST(StudyVolumes, LabelAndIntensityVolumesWithTheirRefusals) {
  Study s;
  add(s, "P", "D", 1, 10);
  add(s, "P", "D", 2, 20);
  add(s, "P", "D", 3, 30);
  add(s, "Q", "D", 1, 40);
  s.labelImage(1)[2] = 2;
  s.labelImage(2)[0] = 2;
  s.labelImage(2)[5] = 1;

  Study::LabelVolume vessel;
  ASSERT_TRUE(s.getLabelVolume(0, 2, vessel));
  EXPECT_EQ(vessel.frames, (std::vector<int>{1, 2}));
  EXPECT_EQ(vessel.width, 4);
  EXPECT_EQ(vessel.height, 3);
  ASSERT_EQ(vessel.masks.size(), 2u);
  EXPECT_EQ(vessel.masks[1][0], 2);
  EXPECT_EQ(vessel.masks[1][5], 0) << "other labels are not copied";
  EXPECT_FALSE(s.getLabelVolume(0, 2, vessel)) << "the out arrays must come empty";
  Study::LabelVolume none;
  EXPECT_TRUE(s.getLabelVolume(1, 3, none)) << "a label no frame holds: true with nothing";
  EXPECT_TRUE(none.frames.empty());
  Study::LabelVolume missing;
  EXPECT_FALSE(s.getLabelVolume(5, 1, missing));

  int w = 0, h = 0;
  std::vector<int16_t> buffer;
  ASSERT_TRUE(s.getIntensityImage(2, w, h, buffer));
  EXPECT_EQ(w, 4);
  ASSERT_EQ(buffer.size(), 12u);
  EXPECT_EQ(buffer[0], 30);
  ASSERT_TRUE(s.getIntensityImage(0, w, h, buffer)) << "a filled buffer of the right size is reused";
  EXPECT_EQ(buffer[0], 10);
  int wrongW = 2, wrongH = 2;
  EXPECT_FALSE(s.getIntensityImage(0, wrongW, wrongH, buffer)) << "never copies a size other than the frame's";
  EXPECT_FALSE(s.getIntensityImage(-1, w, h, buffer));
  EXPECT_FALSE(s.getIntensityImage(9, w, h, buffer));

  int count = 0;
  std::vector<std::vector<int16_t>> slices;
  ASSERT_TRUE(s.getIntensityVolume(0, count, w, h, slices));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(slices[2][11], 30);
  EXPECT_FALSE(s.getIntensityVolume(0, count, w, h, slices));
  std::vector<std::vector<int16_t>> empty;
  EXPECT_FALSE(s.getIntensityVolume(4, count, w, h, empty));
}

namespace {
int addIn(Study& s, const std::string& uid, int number, int instance, const std::string& description = "") {
  SliceHeader h = header("P1", "20200101", instance);
  h.seriesInstanceUid = uid;
  h.seriesNumber = number;
  h.seriesDescription = description;
  return s.insertFrame(h, pixels(4, 3, static_cast<int16_t>(number)));
}
}  // namespace

TEST(StudyModel, SeveralSeriesOfOneDateStayApartAndGetNamesThatNeverCollide) {
  Study s;
  // arterial, portal and late phase of one examination: same patient, date and instance numbers
  for (int instance = 1; instance <= 2; ++instance) {
    addIn(s, "1.2.3.7", 7, instance, "ART");
    addIn(s, "1.2.3.700", 700, instance, "PV");
    addIn(s, "1.2.3.8", 7, instance, "LATE");
  }
  ASSERT_EQ(s.frameCount(), 6) << "equal instance numbers of other series are not duplicates";
  ASSERT_EQ(s.seriesCount(), 3);
  s.sortSeriesByInstance();
  for (int g = 0; g < 3; ++g) {
    EXPECT_EQ(s.lastFrameOfSeries(g) - s.firstFrameOfSeries(g), 1);
    EXPECT_EQ(s.intensities(s.firstFrameOfSeries(g))[0], s.series(g)->seriesNumber) << "no pixels mixed";
    EXPECT_TRUE(s.dateHoldsSeveralSeries(g));
  }
  EXPECT_EQ(s.seriesFileKey(0), "20200101_S7-1");
  EXPECT_EQ(s.seriesFileKey(1), "20200101_S700");
  EXPECT_EQ(s.seriesFileKey(2), "20200101_S7-2");
  EXPECT_EQ(s.seriesCaption(0), "20200101 #7 ART");
  EXPECT_EQ(s.seriesCaption(2), "20200101 #7 LATE");

  // A reload of an instance of the portal phase replaces that frame only.
  addIn(s, "1.2.3.700", 700, 2, "PV");
  EXPECT_EQ(s.frameCount(), 6);

  // Without UIDs the series number tells the series apart; a file with neither joins the first.
  Study plain;
  addIn(plain, "", 3, 1);
  addIn(plain, "", 4, 1);
  addIn(plain, "", -1, 2);
  EXPECT_EQ(plain.seriesCount(), 2);
  EXPECT_EQ(plain.seriesOfFrame(2), 0);
  EXPECT_EQ(plain.seriesCaption(1), "20200101 #4");
  // series number 0 is a number like any other
  Study zero;
  addIn(zero, "", 0, 1);
  addIn(zero, "", 1, 1);
  ASSERT_EQ(zero.seriesCount(), 2) << "series 0 and series 1 of one date";
  EXPECT_EQ(zero.frameCount(), 2);
  EXPECT_EQ(zero.seriesCaption(0), "20200101 #0");
  EXPECT_EQ(zero.seriesFileKey(0), "20200101_S0");

  // Without series identity, patient and date key the series. One series on a date keeps the
  // plain date everywhere, also when its files carry a UID.
  Study single;
  addIn(single, "1.2.3.7", 7, 1, "ART");
  add(single, "P1", "20200102", 1);  // same patient, another day: a second series
  add(single, "P2", "20200102", 1);  // another patient: a third
  add(single, "P1", "20200102", 2);
  ASSERT_EQ(single.seriesCount(), 3);
  EXPECT_EQ(single.seriesOfFrame(3), 1);
  EXPECT_EQ(single.series(1)->seriesDate, "20200102");
  EXPECT_EQ(single.lastFrameOfSeries(1), 3);
  EXPECT_EQ(single.firstFrameOfSeries(7), -1);
  EXPECT_EQ(single.lastFrameOfSeries(7), -1);
  EXPECT_FALSE(single.dateHoldsSeveralSeries(0));
  EXPECT_EQ(single.seriesFileKey(0), "20200101");
  EXPECT_EQ(single.seriesCaption(0), "20200101");
  EXPECT_EQ(single.seriesFileKey(1), "20200102");
  EXPECT_EQ(single.seriesOfHeader(header("P1", "20200102", 9)), 1);
  EXPECT_EQ(single.seriesOfHeader(header("P3", "20200102", 9)), -1);
}

TEST(VolumeSpacing, PositionsOverTheThicknessWhenTheyDifferAndTheDesignsRuleWithout) {
  morvex::testing::TempDir dir;
  morvex::synth::PhantomOptions o;
  o.size = 32;
  o.slices = 6;
  o.sliceThickness = 2.5;  // the generator places the slices 2.5 mm apart
  std::string error;
  ASSERT_TRUE(morvex::synth::writeSeries(o, dir.path(), &error)) << error;
  // edits every file: thickness 5 mm (reconstructed every 2.5 mm), optionally without positions
  auto rewrite = [&](bool positions, bool thicknessOnFirst) {
    std::vector<std::string> paths;
    for (int k = 0; k < o.slices; ++k) {
      const std::string path = dir.file(morvex::synth::sliceFileName(k) + ".dcm");
      DcmFileFormat file;
      EXPECT_TRUE(file.loadFile(path.c_str()).good());
      DcmDataset* ds = file.getDataset();
      ds->putAndInsertString(DCM_SliceThickness, "5");
      if (!positions) ds->findAndDeleteElement(DCM_ImagePositionPatient);
      if (!thicknessOnFirst && k == 0) ds->findAndDeleteElement(DCM_SliceThickness);
      EXPECT_TRUE(file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good());
      paths.push_back(path);
    }
    return paths;
  };
  // thickness everywhere, missing on the first slice (it still loads), and no positions at all
  for (const auto& [positions, thicknessOnFirst, depth] :
       {std::tuple{true, true, 2.5f}, {true, false, 2.5f}, {false, true, 5.0f}}) {
    SCOPED_TRACE(std::to_string(positions) + std::to_string(thicknessOnFirst));
    morvex::Study study;
    ASSERT_EQ(morvex::importSlices(study, rewrite(positions, thicknessOnFirst), {}).size(), 6u);
    for (int f = thicknessOnFirst ? 0 : 1; f < 6; ++f) EXPECT_FLOAT_EQ(study.frame(f)->header.sliceThickness, 5.0f);
    for (int f = 0; f < 6; ++f) EXPECT_NEAR(study.frame(f)->header.volumeDepth(), depth, 1e-4);
  }
}

TEST(VolumeSpacing, TheOnePercentRuleAtItsBoundaries) {
  // thickness 5 mm; slices positioned step mm apart along the normal of a tilted plane
  struct Case {
    double step;
    float depth;  // expected volumeDepth
  };
  const Case cases[] = {{4.8, 4.8f}, {5.2, 5.2f}, {4.96, 5.0f}, {5.04, 5.0f}, {2.5, 2.5f}, {7.5, 7.5f}};
  const double c = std::sqrt(0.5);
  const double orientation[6] = {1, 0, 0, 0, c, -c};  // normal (0, c, c)
  for (const Case& k : cases) {
    SCOPED_TRACE(k.step);
    Study s;
    for (int i = 0; i < 4; ++i) {
      SliceHeader h = header("P1", "20200101", i + 1);
      h.sliceThickness = 5.0f;
      h.hasPosition = true;
      std::copy(orientation, orientation + 6, h.imageOrientation);
      const double along = (3 - i) * k.step;  // instance order against position order
      h.imagePosition[0] = 10;
      h.imagePosition[1] = along * c;
      h.imagePosition[2] = along * c;
      s.insertFrame(h, pixels(4, 3));
    }
    s.updateVolumeSpacing(nullptr);
    for (int f = 0; f < 4; ++f) EXPECT_NEAR(s.frame(f)->header.volumeDepth(), k.depth, 1e-4);
  }
}

TEST(SliceGeometry, PixelSpacingRowThenColumnAndBothAboveZero) {
  morvex::initDicomCodecs();
  morvex::testing::TempDir dir;
  const std::string source = morvex::testing::smallSyntheticSeries() + "/IM0001.dcm";
  struct Case {
    const char* spacing;
    double row, column;  // 0: not read as geometry
    double area;         // mm^2 per pixel
  };
  const Case cases[] = {
      {"0.8\\0.7", 0.8, 0.7, 0.56}, {"0.7\\0.8", 0.7, 0.8, 0.56}, {"0.8\\0", 0, 0, 0.64},
      {"0\\0.7", 0, 0, 0}, {"0.8\\-0.7", 0, 0, 0.64}, {"0.8", 0, 0, 0.64},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.spacing);
    DcmFileFormat file;
    ASSERT_TRUE(file.loadFile(source.c_str()).good());
    file.getDataset()->putAndInsertString(DCM_PixelSpacing, k.spacing);
    const std::string path = dir.file("slice.dcm");
    ASSERT_TRUE(file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good());
    const morvex::DecodedSlice slice = morvex::decodeSliceFile(path.c_str());
    ASSERT_TRUE(slice.loaded);
    EXPECT_DOUBLE_EQ(slice.header.pixelSpacingRow, k.row);
    EXPECT_DOUBLE_EQ(slice.header.pixelSpacingColumn, k.column);
    EXPECT_NEAR(slice.header.pixelArea(), k.area, 1e-6);
    EXPECT_NEAR(slice.header.voxelVolumeMl(), k.area * 12.5 / 1000, 1e-9);
  }
}
