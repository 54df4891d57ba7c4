// DICOM Segmentations of the label images: written from the synthetic series and the real sample,
// read back through DCMTK frame by frame, with their segment names, colours and source references;
// series that cannot be referenced and files that do not fit are refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <fstream>
#include <memory>

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmiod/cielabutil.h>
#include <dcmtk/dcmseg/segdoc.h>
#include <dcmtk/dcmseg/segment.h>

#include "export/dicom_seg.h"
#include "study/mask_import.h"
#include "study/slice_decoder.h"
#include "tests/testing_support.h"
#include "tools/synthct/series_writer.h"

namespace {

using morvex::testing::TempDir;

std::vector<uint8_t> labelsOf(const morvex::Study& study, int f) {
  const uint8_t* p = study.labelImage(f);
  return {p, p + static_cast<std::size_t>(study.width(f)) * study.height(f)};
}

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
  OFString value;
  ff.getDataset()->findAndGetOFString(DCM_StudyInstanceUID, value);
  EXPECT_EQ(value.c_str(), study.frame(0)->header.studyInstanceUid);
  ff.getDataset()->findAndGetOFString(DCM_FrameOfReferenceUID, value);
  EXPECT_EQ(value.c_str(), study.frame(0)->header.frameOfReferenceUid);
  ff.getDataset()->findAndGetOFString(DCM_Modality, value);
  EXPECT_STREQ(value.c_str(), "SEG");

  std::vector<std::vector<uint8_t>> back;
  ASSERT_TRUE(morvex::readDicomSeg(tmp.file("seg.dcm"), study, 0, table, back, error)) << error;
  ASSERT_EQ(back.size(), 24u);
  for (int k = 0; k < 24; ++k) EXPECT_EQ(back[k], truth[k]) << "slice " << k;
}

TEST(DicomSeg, RealSampleRoundTrips) {
  MORVEX_REQUIRE_SHARED_DATA();
  morvex::initDicomCodecs();
  morvex::Study study;
  for (const char* name : {"01.dcm", "02.dcm", "03.dcm"})
    ASSERT_GE(study.addFrameFromFile(morvex::testing::sharedFile(std::string("ct-3slice/") + name).c_str()), 0);
  std::vector<std::vector<uint8_t>> labels;
  for (int f = 0; f < 3; ++f) {
    uint8_t* l = study.labelImage(f);
    for (int y = 200; y < 260; ++y)
      for (int x = 100 + 10 * f; x < 200; ++x) l[y * 512 + x] = static_cast<uint8_t>(f == 1 ? 3 : 1);
    labels.push_back(labelsOf(study, f));
  }
  TempDir tmp;
  std::string error;
  const morvex::LabelTable table = morvex::defaultLabelTable();
  ASSERT_TRUE(morvex::writeDicomSeg(tmp.file("seg.dcm"), study, 0, table, error)) << error;
  std::vector<std::vector<uint8_t>> back;
  ASSERT_TRUE(morvex::readDicomSeg(tmp.file("seg.dcm"), study, 0, table, back, error)) << error;
  for (int f = 0; f < 3; ++f) EXPECT_EQ(back[f], labels[f]) << "slice " << f;
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
  EXPECT_NE(error.find("\"Liver\" is no label"), std::string::npos) << error;
  EXPECT_TRUE(back.empty());
  morvex::Study other;
  ASSERT_GE(other.addFrameFromFile((dir + "/IM0001.dcm").c_str()), 0);
  EXPECT_FALSE(morvex::readDicomSeg(tmp.file("synthetic.dcm"), other, 0, table, back, error));
  EXPECT_NE(error.find("references no slice"), std::string::npos) << error;
  EXPECT_FALSE(morvex::readDicomSeg(earlier, study, 0, table, back, error));
  EXPECT_NE(error.find("not a readable DICOM"), std::string::npos) << error;
}
