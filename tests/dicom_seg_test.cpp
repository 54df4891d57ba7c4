// DICOM Segmentations of the label images: written from the synthetic series, the real samples and a
// small non-square series, read back through DCMTK frame by frame, with their segment names, codes,
// colours, geometry and source references, and checked by dciodvfy when it is installed; segmentations
// written by other tools (fractional, without references) are read; series that cannot be referenced
// and files that do not fit or claim more than they hold are refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sys/wait.h>

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmfg/fgfracon.h>
#include <dcmtk/dcmfg/fgpixmsr.h>
#include <dcmtk/dcmfg/fgplanor.h>
#include <dcmtk/dcmfg/fgplanpo.h>
#include <dcmtk/dcmiod/cielabutil.h>
#include <dcmtk/dcmseg/segdoc.h>
#include <dcmtk/dcmseg/segment.h>

#include "export/dicom_seg.h"
#include "export/mask_writer.h"
#include "study/mask_import.h"
#include "study/slice_decoder.h"
#include "tests/ct_series.h"
#include "tests/testing_support.h"
#include "tools/synthct/series_writer.h"

namespace {

using morvex::testing::CtSeriesSpec;
using morvex::testing::TempDir;
using morvex::testing::haveValidator;
using morvex::testing::validatorErrors;

using morvex::testing::labelsOf;

// Segment label -> RGB of its recommended colour, as DCMTK reads the file.
std::map<std::string, std::array<int, 3>> segmentColours(const std::string& path, std::size_t& frames) {
  DcmSegmentation* raw = nullptr;
  EXPECT_TRUE(DcmSegmentation::loadFile(path.c_str(), raw).good());
  std::unique_ptr<DcmSegmentation> seg(raw);
  std::map<std::string, std::array<int, 3>> out;
  frames = seg ? seg->getNumberOfFrames() : 0;
  for (std::size_t n = 1; seg && n <= seg->getNumberOfSegments(); ++n) {
    DcmSegment* s = seg->getSegment(n);
    OFString name;
    Uint16 L = 0, a = 0, b = 0;
    s->getSegmentLabel(name);
    s->getRecommendedDisplayCIELabValue(L, a, b);
    double r, g, bl;
    IODCIELabUtil::dicomLab2RGB(r, g, bl, L, a, b);
    out[name.c_str()] = {static_cast<int>(std::lround(r * 255)), static_cast<int>(std::lround(g * 255)),
                         static_cast<int>(std::lround(bl * 255))};
  }
  return out;
}

void loadSeries(morvex::Study& study, const std::vector<std::string>& paths) {
  morvex::initDicomCodecs();
  for (const std::string& p : paths) ASSERT_GE(study.addFrameFromFile(p.c_str()), 0) << p;
}

// Value pos (all values when -1) of an attribute of an item as text; "" when either is missing.
std::string text(DcmItem* parent, const DcmTagKey& tag, long pos = -1) {
  OFString value;
  if (parent && pos < 0) parent->findAndGetOFStringArray(tag, value);
  if (parent && pos >= 0) parent->findAndGetOFString(tag, value, static_cast<unsigned long>(pos));
  return value.c_str();
}

DcmItem* item(DcmItem* parent, const DcmTagKey& sequence, unsigned long i = 0) {
  DcmItem* out = nullptr;
  if (parent) parent->findAndGetSequenceItem(sequence, out, i);
  return out;
}

// A fractional segmentation (maximum 200) of the small series as another tool may write it: no
// source references, segment i's one frame placed shift mm above slice i along the normal, holding
// 100 (half: in) in columns 0-5 of row i and 99 (out) in columns 6-11.
struct ForeignSegment { const char *label, *typeCode, *typeMeaning, *modifierCode; };
void writeForeignSeg(const std::string& path, const std::string& source, const std::vector<ForeignSegment>& segments,
                     double shift) {
  DcmSegmentation* raw = nullptr;
  ASSERT_TRUE(DcmSegmentation::createFractionalSegmentation(raw, 7, 12, DcmSegTypes::SFT_PROBABILITY, 200,
                                                            IODGeneralEquipmentModule::EquipmentInfo("Other", "Tool", "1", "1"),
                                                            ContentIdentificationMacro("1", "OTHER", "", "Other^Tool"))
                  .good());
  std::unique_ptr<DcmSegmentation> seg(raw);
  ASSERT_TRUE(seg->importFromSourceImage(source.c_str()).good());
  seg->getSeries().setSeriesNumber("7");
  std::unique_ptr<FGPlaneOrientationPatient> orientation(FGPlaneOrientationPatient::createMinimal("1", "0", "0", "0", "1", "0"));
  FGPixelMeasures measures;
  measures.setPixelSpacing("0.8\\0.7");
  ASSERT_TRUE(seg->addForAllFrames(*orientation).good() && seg->addForAllFrames(measures).good());
  seg->getDimensions().addDimensionIndex(DCM_ReferencedSegmentNumber, "2.25.91", DCM_SegmentIdentificationSequence, "S");
  seg->getDimensions().addDimensionIndex(DCM_ImagePositionPatient, "2.25.91", DCM_PlanePositionSequence, "P");
  for (std::size_t i = 0; i < segments.size(); ++i) {
    DcmSegment* s = nullptr;
    ASSERT_TRUE(DcmSegment::create(s, segments[i].label, CodeSequenceMacro("123037004", "SCT", "Anatomical Structure"),
                                   CodeSequenceMacro(segments[i].typeCode, "SCT", segments[i].typeMeaning),
                                   DcmSegTypes::SAT_MANUAL).good());
    if (segments[i].modifierCode)
      s->getSegmentedPropertyTypeModifierCode().push_back(new CodeSequenceMacro(segments[i].modifierCode, "SCT", "Side"));
    Uint16 number = 0;
    ASSERT_TRUE(seg->addSegment(s, number).good());
    std::unique_ptr<FGPlanePosPatient> position(
        FGPlanePosPatient::createMinimal("-4.5", "-3", std::to_string(10 + 1.5 * i + shift).c_str()));
    FGFrameContent content;
    content.setDimensionIndexValues(number, 0);
    content.setDimensionIndexValues(static_cast<Uint32>(i + 1), 1);
    std::vector<Uint8> pixels(7 * 12, 0);
    for (int c = 0; c < 12; ++c) pixels[i * 12 + c] = c < 6 ? 100 : 99;
    OFVector<FGBase*> perFrame(1, position.get());
    perFrame.push_back(&content);
    ASSERT_TRUE(seg->addFrame(pixels.data(), number, perFrame).good());
  }
  ASSERT_TRUE(seg->saveFile(path.c_str()).good());
}

}  // namespace

TEST(DicomSeg, SyntheticSeriesRoundTripsWithNamesColoursAndReferences) {
  morvex::initDicomCodecs();
  const std::string& dir = morvex::testing::smallSyntheticSeries();
  morvex::Study study;
  std::vector<std::vector<uint8_t>> truth;
  std::size_t nonEmpty = 0;
  for (int k = 0; k < 24; ++k) {
    ASSERT_EQ(study.addFrameFromFile((dir + "/" + morvex::synth::sliceFileName(k) + ".dcm").c_str()), k);
    morvex::loadMaskFile(study, (dir + "/m_" + morvex::synth::sliceFileName(k) + ".png").c_str());
    truth.push_back(labelsOf(study, k));
    for (int v = 1; v <= 3; ++v) nonEmpty += std::count(truth.back().begin(), truth.back().end(), v) > 0;
  }
  study.labelImage(20)[0] = morvex::kVesselRight;  // a fourth label, on one slice only
  truth[20][0] = morvex::kVesselRight;
  ++nonEmpty;
  const morvex::LabelTable table = morvex::defaultLabelTable();
  TempDir tmp;
  std::string error;
  ASSERT_TRUE(morvex::canWriteDicomSeg(study, 0));
  ASSERT_TRUE(morvex::writeDicomSeg(tmp.file("seg.dcm"), study, 0, table, error)) << error;

  std::size_t frames = 0;
  const auto colours = segmentColours(tmp.file("seg.dcm"), frames);
  EXPECT_EQ(frames, nonEmpty) << "one frame per slice on which a label occurs";
  ASSERT_EQ(colours.size(), 4u);
  for (int v : {1, 2, 3, 7}) {
    const morvex::LabelInfo* l = table.byValue(v);
    ASSERT_TRUE(colours.count(l->name)) << l->name;
    const auto& c = colours.at(l->name);
    EXPECT_LE(std::abs(c[0] - l->r) + std::abs(c[1] - l->g) + std::abs(c[2] - l->b), 3) << l->name;
  }
  // the segmentation belongs to the series' study and frame of reference
  DcmFileFormat ff;
  ASSERT_TRUE(ff.loadFile(tmp.file("seg.dcm").c_str()).good());
  EXPECT_EQ(text(ff.getDataset(), DCM_StudyInstanceUID), study.frame(0)->header.studyInstanceUid);
  EXPECT_EQ(text(ff.getDataset(), DCM_FrameOfReferenceUID), study.frame(0)->header.frameOfReferenceUid);
  EXPECT_EQ(text(ff.getDataset(), DCM_Modality), "SEG");

  std::vector<std::vector<uint8_t>> back;
  ASSERT_TRUE(morvex::readDicomSeg(tmp.file("seg.dcm"), study, 0, table, back, error)) << error;
  ASSERT_EQ(back.size(), 24u);
  for (int k = 0; k < 24; ++k) EXPECT_EQ(back[k], truth[k]) << "slice " << k;
  if (haveValidator()) {
    EXPECT_EQ(validatorErrors(tmp.file("seg.dcm")), "");
  }
}

TEST(DicomSeg, RealAndQuirkySeriesGoThroughTheCommandLineIntoValidSegmentations) {
  MORVEX_REQUIRE_SHARED_DATA();
  TempDir tmp;
  for (const std::string folder : {"ct-3slice", "ct-3slice-quirks"}) {
    morvex::Study study;
    const std::string series = morvex::testing::sharedFile(folder);
    loadSeries(study, {series + "/01.dcm", series + "/02.dcm", series + "/03.dcm"});
    std::vector<std::vector<uint8_t>> truth;
    for (int f = 0; f < 3; ++f) {
      for (int x = 100 + 10 * f; x < 200; ++x) study.labelImage(f)[230 * 512 + x] = x < 150 ? morvex::kLiverLeft : morvex::kCancer;
      truth.push_back(labelsOf(study, f));
    }
    ASSERT_TRUE(morvex::writeSeriesTiff(tmp.file(folder + ".tiff"), study, 0));
    const std::string seg = tmp.file(folder + ".dcm");
    const int status = std::system((std::string(MORVEX_CLI) + " convert '" + tmp.file(folder + ".tiff") + "' --series '" +
                                    series + "' --to seg '" + seg + "' 2>" + tmp.file("err")).c_str());
    std::ifstream err(tmp.file("err"));
    const std::string log{std::istreambuf_iterator<char>(err), {}};
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log;
    std::vector<std::vector<uint8_t>> back;
    std::string error;
    ASSERT_TRUE(morvex::readDicomSeg(seg, study, 0, morvex::defaultLabelTable(), back, error)) << error;
    EXPECT_EQ(back, truth) << folder;
    // a frame of reference of its own, logged, where the series has none
    DcmFileFormat ff;
    ASSERT_TRUE(ff.loadFile(seg.c_str()).good());
    const std::string frameOfReference = text(ff.getDataset(), DCM_FrameOfReferenceUID);
    EXPECT_EQ(log.find("no Frame of Reference UID; the segmentation uses " + frameOfReference) != std::string::npos,
              folder == "ct-3slice-quirks") << log;
    if (haveValidator()) {
      EXPECT_EQ(validatorErrors(seg), "") << folder;
    }
  }
  if (!haveValidator()) GTEST_SKIP() << "dciodvfy (Debian package dicom3tools) is not installed: validity not checked";
}

TEST(DicomSeg, UnreferenceableSeriesAndMismatchedFilesAreRefused) {
  morvex::initDicomCodecs();
  TempDir tmp;
  const morvex::LabelTable table = morvex::defaultLabelTable();
  std::string error, why;
  // raster slices carry no UIDs
  morvex::Study raster;
  morvex::SliceHeader h;
  h.patientName = "R";
  h.fileName = "r1";
  morvex::SlicePixels pixels;
  pixels.width = pixels.height = 8;
  raster.insertFrame(h, std::move(pixels));
  raster.labelImage(0)[3] = 1;
  EXPECT_FALSE(morvex::canWriteDicomSeg(raster, 0, &why));
  EXPECT_NE(why.find("no patient positions"), std::string::npos) << why;
  const std::string earlier = morvex::testing::writeBytes(tmp.file("seg.dcm"), "earlier");
  EXPECT_FALSE(morvex::writeDicomSeg(earlier, raster, 0, table, error));
  EXPECT_EQ(error.rfind(earlier + ": ", 0), 0u) << error;

  // a series without labels writes nothing
  const std::string& dir = morvex::testing::smallSyntheticSeries();
  morvex::Study study;
  for (int k = 0; k < 24; ++k) study.addFrameFromFile((dir + "/" + morvex::synth::sliceFileName(k) + ".dcm").c_str());
  EXPECT_FALSE(morvex::writeDicomSeg(earlier, study, 0, table, error));
  EXPECT_NE(error.find("holds no labels"), std::string::npos) << error;
  std::ifstream in(earlier);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "earlier");

  // a segmentation of the real sample does not fit the synthetic series; a label outside the table
  study.labelImage(4)[100] = 1;
  ASSERT_TRUE(morvex::writeDicomSeg(tmp.file("synthetic.dcm"), study, 0, table, error)) << error;
  morvex::LabelTable shorter;
  shorter.addLabel("Vessel", 1, 2, 3);
  std::vector<std::vector<uint8_t>> back;
  EXPECT_FALSE(morvex::readDicomSeg(tmp.file("synthetic.dcm"), study, 0, shorter, back, error));
  EXPECT_NE(error.find("segment \"Liver\" matches no label"), std::string::npos) << error;
  EXPECT_TRUE(back.empty());
  morvex::Study other;
  ASSERT_GE(other.addFrameFromFile((dir + "/IM0001.dcm").c_str()), 0);
  EXPECT_FALSE(morvex::readDicomSeg(tmp.file("synthetic.dcm"), other, 0, table, back, error));
  EXPECT_NE(error.find("references no slice"), std::string::npos) << error;
  EXPECT_FALSE(morvex::readDicomSeg(earlier, study, 0, table, back, error));
  EXPECT_NE(error.find("not a readable DICOM"), std::string::npos) << error;
}

TEST(DicomSeg, NonSquareSeriesKeepsRowsSpacingsSliceNumbersAndCodes) {
  TempDir tmp;
  morvex::Study study;
  const std::vector<std::string> paths = morvex::testing::writeCtSeries(tmp.path());  // 12 x 7, 0.8 x 0.7 mm
  loadSeries(study, paths);
  std::vector<std::vector<uint8_t>> truth;
  for (int k = 0; k < 4; ++k) {
    uint8_t* l = study.labelImage(k);
    for (int x = 0; x <= k; ++x) l[k * 12 + x] = morvex::kLiverLeft;  // row k, k + 1 pixels
    l[6 * 12 + 11] = k % 2 ? morvex::kLiverRight : morvex::kVessel;
    truth.push_back(labelsOf(study, k));
  }
  const morvex::LabelTable table = morvex::defaultLabelTable();
  std::string error;
  ASSERT_TRUE(morvex::writeDicomSeg(tmp.file("seg.dcm"), study, 0, table, error)) << error;

  DcmFileFormat ff;
  ASSERT_TRUE(ff.loadFile(tmp.file("seg.dcm").c_str()).good());
  DcmDataset* ds = ff.getDataset();
  EXPECT_EQ(text(ds, DCM_Rows) + " x " + text(ds, DCM_Columns), "7 x 12");
  DcmItem* measures = item(item(ds, DCM_SharedFunctionalGroupsSequence), DCM_PixelMeasuresSequence);
  EXPECT_EQ(text(measures, DCM_PixelSpacing), "0.8\\0.7");
  EXPECT_EQ(text(measures, DCM_SliceThickness), "2.5");
  EXPECT_EQ(text(measures, DCM_SpacingBetweenSlices), "1.5") << "the spacing of the positions, not the thickness";
  // dimension indices: segment number, slice number from 1 in position order
  int frames = 0;
  for (; DcmItem* f = item(ds, DCM_PerFrameFunctionalGroupsSequence, frames); ++frames) {
    const double z = std::stod(text(item(f, DCM_PlanePositionSequence), DCM_ImagePositionPatient, 2));
    EXPECT_EQ(text(item(f, DCM_FrameContentSequence), DCM_DimensionIndexValues),
              text(item(f, DCM_SegmentIdentificationSequence), DCM_ReferencedSegmentNumber) + "\\" +
                  std::to_string(std::lround((z - 10) / 1.5) + 1));
  }
  EXPECT_EQ(frames, 4 + 4);
  // left and right parts carry a laterality modifier, the plain vessel none
  std::map<std::string, std::string> modifierOf;
  for (unsigned long i = 0; DcmItem* s = item(ds, DCM_SegmentSequence, i); ++i)
    modifierOf[text(s, DCM_SegmentLabel)] = text(
        item(item(s, DCM_SegmentedPropertyTypeCodeSequence), DCM_SegmentedPropertyTypeModifierCodeSequence), DCM_CodeValue);
  EXPECT_EQ(modifierOf, (std::map<std::string, std::string>{{"Liver(Left)", "7771000"}, {"Liver(Right)", "24028007"}, {"Vessel", ""}}));
  std::vector<std::vector<uint8_t>> back;
  ASSERT_TRUE(morvex::readDicomSeg(tmp.file("seg.dcm"), study, 0, table, back, error)) << error;
  EXPECT_EQ(back, truth);
  // pixel data short of what the 8 frames of 84 bits need
  const std::vector<Uint8> cut(8 * 84 / 8 - 2);  // (an odd length is padded to even)
  ds->putAndInsertUint8Array(DCM_PixelData, cut.data(), cut.size());
  ASSERT_TRUE(ff.saveFile(tmp.file("cut.dcm").c_str(), EXS_LittleEndianExplicit).good());
  EXPECT_FALSE(morvex::readDicomSeg(tmp.file("cut.dcm"), study, 0, table, back, error));
  EXPECT_NE(error.find("pixel data holds 82 bytes; its 8 frames need 84"), std::string::npos) << error;

  // a source value still invalid after its padding is removed: left out when optional, else refused
  for (const auto& [tag, value, refused] : {std::tuple{DCM_PatientAge, "60 years", false}, {DCM_PatientSex, "x!", true}}) {
    DcmFileFormat source;
    ASSERT_TRUE(source.loadFile(paths[0].c_str()).good());
    source.getDataset()->putAndInsertString(tag, value);
    ASSERT_TRUE(source.saveFile(paths[0].c_str(), EXS_LittleEndianExplicit).good());
    EXPECT_EQ(morvex::writeDicomSeg(tmp.file("bad.dcm"), study, 0, table, error), !refused) << error;
    DcmFileFormat written;
    if (refused) {
      EXPECT_NE(error.find("PatientSex (0010,0040) in " + paths[0]), std::string::npos) << error;
    } else {
      EXPECT_FALSE(written.loadFile(tmp.file("bad.dcm").c_str()).bad() || written.getDataset()->tagExists(DCM_PatientAge));
    }
  }
}

TEST(DicomSeg, SegmentationsOfOtherToolsMatchByCodeAndPositionAndFractionsCountFromHalf) {
  TempDir tmp;
  morvex::Study study;
  const std::vector<std::string> paths = morvex::testing::writeCtSeries(tmp.path());
  loadSeries(study, paths);
  const ForeignSegment leftLiver{"Leber links", "10200004", "Liver", "7771000"};
  const ForeignSegment vessel{"Gefaess", "59820001", "Blood vessel", nullptr};
  const ForeignSegment kidney{"Niere", "64033007", "Kidney", nullptr};
  const struct {
    std::vector<ForeignSegment> segments;
    double shift;  // the slices lie 1.5 mm apart
    const char* refusal;
  } cases[] = {
      {{leftLiver, vessel}, 0.7, nullptr},
      {{leftLiver, vessel}, -0.7, nullptr},
      {{leftLiver, vessel}, -0.8, "frame 1 lies on no slice of the series"},
      {{leftLiver, vessel, kidney}, 0, "segment \"Niere\" matches no label of the table"},
  };
  for (const auto& c : cases) {
    writeForeignSeg(tmp.file("other.dcm"), paths[0], c.segments, c.shift);
    std::vector<std::vector<uint8_t>> labels;
    std::string error;
    const bool read = morvex::readDicomSeg(tmp.file("other.dcm"), study, 0, morvex::defaultLabelTable(), labels, error);
    if (c.refusal) {
      EXPECT_FALSE(read);
      EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
      continue;
    }
    ASSERT_TRUE(read) << error;
    std::vector<std::vector<uint8_t>> expected(4, std::vector<uint8_t>(7 * 12, 0));
    std::fill_n(expected[0].begin(), 6, morvex::kLiverLeft);
    std::fill_n(expected[1].begin() + 12, 6, morvex::kVessel);
    EXPECT_EQ(labels, expected) << "shift " << c.shift;
  }
}

TEST(DicomSeg, AFileClaimingFramesItDoesNotHoldIsRefused) {
  MORVEX_REQUIRE_SHARED_DATA();
  TempDir tmp;
  CtSeriesSpec square;  // the sample's size
  square.columns = square.rows = 16;
  morvex::Study study;
  loadSeries(study, morvex::testing::writeCtSeries(tmp.path(), square));
  std::string error;
  const std::string hostile = morvex::testing::sharedFile("hostile/seg_zero_frames_nine_entries.dcm");
  EXPECT_FALSE(morvex::loadDicomSeg(hostile, study, 0, morvex::defaultLabelTable(), error));
  EXPECT_NE(error.find("Number of Frames is 0 but the per-frame sequence holds 9 items"), std::string::npos) << error;
}
