// Patient geometry of slices and NIfTI label volumes: the geometry fields read from DICOM files,
// the voxel grid of a series (slice order, spacing, refusals), and label volumes written and read
// back, checked voxel by voxel against the DICOM headers with nifticlib itself.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>

#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <nifti1_io.h>
#include <opencv2/imgcodecs.hpp>

#include "export/nifti_io.h"
#include "study/mask_import.h"
#include "study/slice_decoder.h"
#include "tests/testing_support.h"
#include "tools/synthct/series_writer.h"

namespace {

using morvex::testing::TempDir;

struct NiftiFree {
  void operator()(nifti_image* nim) const { nifti_image_free(nim); }
};
using Nifti = std::unique_ptr<nifti_image, NiftiFree>;

// Position and in-plane axes of a DICOM file read straight with DCMTK, independent of the decoder.
struct DicomPlane { double position[3], row[3], column[3], rowSpacing, columnSpacing; };
DicomPlane dicomPlane(const std::string& path) {
  DcmFileFormat ff;
  EXPECT_TRUE(ff.loadFile(path.c_str()).good()) << path;
  DcmDataset* ds = ff.getDataset();
  DicomPlane p{};
  for (int i = 0; i < 3; ++i) {
    ds->findAndGetFloat64(DCM_ImagePositionPatient, p.position[i], i);
    ds->findAndGetFloat64(DCM_ImageOrientationPatient, p.row[i], i);
    ds->findAndGetFloat64(DCM_ImageOrientationPatient, p.column[i], i + 3);
  }
  ds->findAndGetFloat64(DCM_PixelSpacing, p.rowSpacing, 0);
  ds->findAndGetFloat64(DCM_PixelSpacing, p.columnSpacing, 1);
  return p;
}

// Checks a written file against the DICOM files it came from: every slice k of the file is one
// file's labels, and voxel (i, j, k) lands on that file's pixel (i, j) within 0.01 mm (NIfTI
// coordinates are DICOM's with x and y negated). Both the sform and the qform are checked.
void expectOverlaysDicom(const std::string& nii, const std::vector<std::string>& dicomFiles,
                         const std::vector<std::vector<uint8_t>>& labelsOfFile) {
  Nifti nim(nifti_image_read(nii.c_str(), 1));
  ASSERT_TRUE(nim);
  ASSERT_EQ(nim->datatype, DT_UINT8);
  ASSERT_EQ(nim->nz, static_cast<int>(dicomFiles.size()));
  ASSERT_GT(nim->sform_code, 0);
  ASSERT_GT(nim->qform_code, 0);
  std::vector<DicomPlane> planes;
  for (const std::string& f : dicomFiles) planes.push_back(dicomPlane(f));
  const std::size_t plane = static_cast<std::size_t>(nim->nx) * nim->ny;
  std::vector<bool> used(dicomFiles.size(), false);
  for (int k = 0; k < nim->nz; ++k) {
    // the file whose first pixel this slice starts at
    const mat44& s = nim->sto_xyz;
    int match = -1;
    for (std::size_t f = 0; f < planes.size(); ++f)
      if (std::fabs(s.m[2][2] * k + s.m[2][3] - planes[f].position[2]) < 0.01 &&
          std::fabs(s.m[0][2] * k + s.m[0][3] + planes[f].position[0]) < 0.01)
        match = static_cast<int>(f);
    ASSERT_GE(match, 0) << "slice " << k << " lies on no DICOM slice";
    EXPECT_FALSE(used[match]);
    used[match] = true;
    const DicomPlane& p = planes[match];
    for (const mat44* m : {&nim->sto_xyz, &nim->qto_xyz})
      for (int j : {0, 7, nim->ny - 1})
        for (int i : {0, 5, nim->nx - 1}) {
          for (int a = 0; a < 3; ++a) {
            const double expected = (a < 2 ? -1 : 1) * (p.position[a] + p.row[a] * p.columnSpacing * i + p.column[a] * p.rowSpacing * j);
            const double got = m->m[a][0] * i + m->m[a][1] * j + m->m[a][2] * k + m->m[a][3];
            EXPECT_NEAR(got, expected, 0.01) << "axis " << a << " of voxel " << i << "," << j << "," << k;
          }
        }
    EXPECT_EQ(0, std::memcmp(static_cast<const uint8_t*>(nim->data) + plane * k, labelsOfFile[match].data(), plane))
        << "labels of slice " << k;
  }
}

using morvex::testing::labelsOf;

// A crafted slice: 4 x 3 pixels at the given position, axial unless told otherwise.
morvex::SliceHeader craftedHeader(int instance, double x, double y, double z) {
  morvex::SliceHeader h;
  h.patientName = "CRAFT";
  h.seriesDate = "20260101";
  h.instanceNumber = instance;
  h.hasPosition = true;
  const double pos[3] = {x, y, z}, orientation[6] = {1, 0, 0, 0, 1, 0};
  std::copy(pos, pos + 3, h.imagePosition);
  std::copy(orientation, orientation + 6, h.imageOrientation);
  h.pixelSpacingRow = 0.5;
  h.pixelSpacingColumn = 0.8;
  h.pixelSpacing = 0.5f;
  h.sliceThickness = 2.0f;
  return h;
}
int addCrafted(morvex::Study& study, const morvex::SliceHeader& h, int width = 4, int height = 3) {
  return morvex::testing::addFrame(study, h, width, height);
}

}  // namespace

TEST(SliceGeometry, DicomFilesCarryPositionOrientationSpacingsAndUids) {
  morvex::initDicomCodecs();
  const std::string& dir = morvex::testing::smallSyntheticSeries();
  morvex::Study study;
  const int a = study.addFrameFromFile((dir + "/IM0001.dcm").c_str());
  const int b = study.addFrameFromFile((dir + "/IM0003.dcm").c_str());
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  const morvex::SliceHeader& h = study.frame(b)->header;
  const DicomPlane p = dicomPlane(dir + "/IM0003.dcm");
  EXPECT_TRUE(h.hasPosition);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(h.imagePosition[i], p.position[i]);
  const double axial[6] = {1, 0, 0, 0, 1, 0};
  for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(h.imageOrientation[i], axial[i]);
  EXPECT_DOUBLE_EQ(h.pixelSpacingRow, p.rowSpacing);
  EXPECT_DOUBLE_EQ(h.pixelSpacingColumn, p.columnSpacing);
  EXPECT_EQ(h.spacingBetweenSlices, 0) << "the synthetic series has no SpacingBetweenSlices";
  EXPECT_FALSE(h.studyInstanceUid.empty());
  EXPECT_FALSE(h.frameOfReferenceUid.empty());
  EXPECT_EQ(h.studyInstanceUid, study.frame(a)->header.studyInstanceUid);
  EXPECT_EQ(h.frameOfReferenceUid, study.frame(a)->header.frameOfReferenceUid);
  EXPECT_NE(h.sopInstanceUid, study.frame(a)->header.sopInstanceUid);
  EXPECT_FLOAT_EQ(h.pixelSpacing, static_cast<float>(p.rowSpacing)) << "the first value, as before";

  // raster slices have no geometry at all
  TempDir tmp;
  ASSERT_TRUE(cv::imwrite(tmp.file("P1_20200101_1.png"), cv::Mat(8, 8, CV_8U, cv::Scalar(40))));
  const int r = study.addFrameFromFile(tmp.file("P1_20200101_1.png").c_str());
  ASSERT_GE(r, 0);
  const morvex::SliceHeader& raster = study.frame(r)->header;
  EXPECT_FALSE(raster.hasPosition);
  EXPECT_EQ(raster.pixelSpacingRow, 0);
  EXPECT_TRUE(raster.sopInstanceUid.empty() && raster.studyInstanceUid.empty() && raster.frameOfReferenceUid.empty());
}

TEST(SeriesGrid, SlicesGoByPositionAlongTheNormalAndMustBeEvenlySpaced) {
  morvex::Study study;
  // loaded out of order; instance order runs against the position order
  addCrafted(study, craftedHeader(1, 10, 20, 9.0));
  addCrafted(study, craftedHeader(2, 10, 20, 6.0));
  addCrafted(study, craftedHeader(3, 10, 20, 3.0));
  morvex::SeriesGrid grid;
  std::string error;
  ASSERT_TRUE(morvex::seriesGrid(study, 0, grid, error)) << error;
  EXPECT_TRUE(grid.patientGeometry);
  EXPECT_EQ(grid.frames, (std::vector<int>{2, 1, 0}));
  const double expected[3][4] = {{0.8, 0, 0, 10}, {0, 0.5, 0, 20}, {0, 0, 3, 3}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(grid.affine[r][c], expected[r][c], 1e-12) << r << "," << c;
  double ras[4][4];
  morvex::niftiAffine(grid, ras);
  EXPECT_DOUBLE_EQ(ras[0][3], -10);
  EXPECT_DOUBLE_EQ(ras[1][1], -0.5);
  EXPECT_DOUBLE_EQ(ras[2][2], 3);

  for (const auto& [zs, why] : {std::pair{std::vector<double>{0, 3, 7}, "not evenly spaced"},
                                {std::vector<double>{5, 5}, "same position"}}) {
    morvex::Study refused;
    for (std::size_t i = 0; i < zs.size(); ++i) addCrafted(refused, craftedHeader(static_cast<int>(i) + 1, 0, 0, zs[i]));
    EXPECT_FALSE(morvex::seriesGrid(refused, 0, grid, error)) << why;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }

  // one slice: the step is the slice thickness along the normal; without positions the spacings alone
  morvex::Study single;
  morvex::SliceHeader h = craftedHeader(1, 0, 0, 0);
  addCrafted(single, h);
  ASSERT_TRUE(morvex::seriesGrid(single, 0, grid, error));
  EXPECT_DOUBLE_EQ(grid.affine[2][2], 2.0);
  morvex::Study flat;
  h.hasPosition = false;
  addCrafted(flat, h);
  ASSERT_TRUE(morvex::seriesGrid(flat, 0, grid, error));
  EXPECT_FALSE(grid.patientGeometry);
  EXPECT_FLOAT_EQ(grid.affine[0][0], 0.8f) << "along a row: the column spacing";
  EXPECT_FLOAT_EQ(grid.affine[1][1], 0.5f) << "down a column: the row spacing";
  EXPECT_FLOAT_EQ(grid.affine[2][2], 2.0f);
}

TEST(NiftiLabels, SyntheticSeriesRoundTripsAndOverlaysEveryDicomSlice) {
  morvex::initDicomCodecs();
  const std::string& dir = morvex::testing::smallSyntheticSeries();
  morvex::Study study;
  std::vector<std::string> files;
  std::vector<std::vector<uint8_t>> truth;
  for (int k = 0; k < 24; ++k) {
    files.push_back(dir + "/" + morvex::synth::sliceFileName(k) + ".dcm");
    ASSERT_EQ(study.addFrameFromFile(files.back().c_str()), k);
    ASSERT_EQ(morvex::loadMaskFile(study, (dir + "/m_" + morvex::synth::sliceFileName(k) + ".png").c_str()), k);
    truth.push_back(labelsOf(study, k));
  }
  TempDir tmp;
  const std::string nii = tmp.file("labels.nii.gz");
  std::string error;
  ASSERT_TRUE(morvex::writeNiftiLabels(nii, study, 0, error)) << error;
  expectOverlaysDicom(nii, files, truth);
  EXPECT_EQ(morvex::testing::readBytes(nii).substr(0, 2), std::string("\x1f\x8b")) << "compressed";
  Nifti header(nifti_image_read(nii.c_str(), 0));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->intent_code, NIFTI_INTENT_LABEL);
  uint8_t highest = 0;
  for (const auto& t : truth) highest = std::max(highest, *std::max_element(t.begin(), t.end()));
  ASSERT_GT(highest, 1);
  EXPECT_EQ(header->cal_min, 0.0f);
  EXPECT_EQ(header->cal_max, highest) << "the display range covers the labels used";

  for (int k = 0; k < 24; ++k) study.fillLabelImage(k, 0);
  ASSERT_TRUE(morvex::loadNiftiLabels(nii, study, 0, error)) << error;
  for (int k = 0; k < 24; ++k) EXPECT_EQ(labelsOf(study, k), truth[k]) << "slice " << k;
}

TEST(NiftiLabels, MismatchedFilesAreRefusedAndChangeNothing) {
  morvex::Study study;
  study.setLabelCount(7);
  for (int k = 0; k < 3; ++k) addCrafted(study, craftedHeader(k + 1, 10, 20, 3.0 * k));
  for (int k = 0; k < 3; ++k) study.labelImage(k)[k] = 1;
  TempDir tmp;
  std::string error;
  const std::string good = tmp.file("good.nii.gz");
  ASSERT_TRUE(morvex::writeNiftiLabels(good, study, 0, error)) << error;

  auto variant = [&](const std::string& name, const std::function<void(nifti_image&)>& change) {
    Nifti nim(nifti_image_read(good.c_str(), 1));
    change(*nim);
    const std::string path = tmp.file(name);
    nifti_set_filenames(nim.get(), path.c_str(), 0, 1);
    nifti_image_write(nim.get());
    return path;
  };
  const std::string shifted = variant("shifted.nii.gz", [](nifti_image& n) { n.sto_xyz.m[2][3] += 1.0f; });
  const std::string noGeometry = variant("nogeom.nii.gz", [](nifti_image& n) { n.sform_code = n.qform_code = 0; });
  const std::string badValue = variant("value.nii.gz", [](nifti_image& n) { static_cast<uint8_t*>(n.data)[5] = 8; });
  const std::string topValue = variant("top.nii.gz", [](nifti_image& n) { static_cast<uint8_t*>(n.data)[5] = 7; });
  // a volume of other dimensions: one slice fewer
  morvex::Study shorter;
  for (int k = 0; k < 2; ++k) addCrafted(shorter, craftedHeader(k + 1, 10, 20, 3.0 * k));
  const std::string small = tmp.file("small.nii.gz");
  ASSERT_TRUE(morvex::writeNiftiLabels(small, shorter, 0, error)) << error;
  const std::string notNifti = morvex::testing::writeBytes(tmp.file("junk.nii"), std::string(400, 'x'));

  const std::map<std::string, std::string> refusals = {
      {shifted, "geometry does not match"}, {noGeometry, "no patient geometry"}, {badValue, "label values 0..7"},
      {small, "do not match the series (4 x 3 x 3)"}, {notNifti, "not a readable NIfTI"},
      {tmp.file("missing.nii.gz"), "not a readable NIfTI"}};
  for (const auto& [path, reason] : refusals) {
    EXPECT_FALSE(morvex::loadNiftiLabels(path, study, 0, error)) << path;
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(study.labelImage(k)[k], 1) << "labels untouched by " << path;
  }
  EXPECT_EQ(morvex::loadNiftiMask(good, study, error), 0) << error;
  EXPECT_EQ(morvex::loadNiftiMask(small, study, error), -1);
  ASSERT_TRUE(morvex::loadNiftiLabels(topValue, study, 0, error)) << "the highest label is a label: " << error;
  EXPECT_EQ(study.labelImage(0)[5], 7);
}

TEST(NiftiLabels, ShortDamagedAndHostileFilesAreRefusedBeforeNifticlibReadsThem) {
  // 16 x 16 x 3, the size of the hostile samples
  morvex::Study study;
  for (int k = 0; k < 3; ++k) addCrafted(study, craftedHeader(k + 1, 10, 20, 3.0 * k), 16, 16);
  // labels that do not compress, so that half a compressed file holds the header and some voxels
  for (int k = 0; k < 3; ++k)
    for (int p = 0; p < 256; ++p) study.labelImage(k)[p] = static_cast<uint8_t>((p * 2654435761u + k) >> 24);
  const std::vector<uint8_t> last = labelsOf(study, 2);
  TempDir tmp;
  std::string error;
  ASSERT_TRUE(morvex::writeNiftiLabels(tmp.file("good.nii"), study, 0, error)) << error;
  ASSERT_TRUE(morvex::writeNiftiLabels(tmp.file("good.nii.gz"), study, 0, error)) << error;
  const std::string nii = morvex::testing::readBytes(tmp.file("good.nii")), gz = morvex::testing::readBytes(tmp.file("good.nii.gz"));
  ASSERT_EQ(nii.size(), 352u + 768u);
  std::string badSum = gz;
  badSum[badSum.size() - 6] ^= 0x55;  // the gzip trailer's check sum
  std::string farOffset = nii;
  const float offset = 3e38f;  // beyond any integer type
  std::memcpy(&farOffset[108], &offset, sizeof offset);
  std::string random(3000, '\0');
  for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>((i * 2654435761u) >> 13);
  for (int k = 0; k < 3; ++k) study.fillLabelImage(k, 0);
  const long peakBefore = morvex::testing::peakResidentMb();
  using morvex::testing::writeBytes;
  const bool samples = !morvex::testing::sharedDataDir().empty();
  const std::string hostile = morvex::testing::sharedFile("hostile/");
  const std::vector<std::pair<std::string, std::string>> refusals = {
      {writeBytes(tmp.file("half.nii"), nii.substr(0, 700)), "cut short: its header describes 1120 bytes, it holds 700"},
      {writeBytes(tmp.file("half.nii.gz"), gz.substr(0, gz.size() / 2)), "cut short"},
      {writeBytes(tmp.file("random.nii.gz"), random), "not a readable NIfTI file (no NIfTI-1 header)"},
      {writeBytes(tmp.file("sum.nii.gz"), badSum), "its compressed data is damaged"},
      {writeBytes(tmp.file("long.nii"), nii + std::string((1 << 20) + 1, '\0')), "more data than its header"},
      {writeBytes(tmp.file("far.nii"), farOffset), "header extensions claim 999999999999999648 bytes"},
      {hostile + "nifti_extension_claims_1400MB.nii", "header extensions claim 1499999648 bytes, more than 16 MB"},
      {hostile + "nifti_extension_gzip_bomb.nii.gz", "header extensions claim 1400000032 bytes"},
      {hostile + "nifti_16x16x3_cut_to_one_slice.nii", "cut short: its header describes 1120 bytes, it holds 608"},
      {hostile + "nifti_16x16x3_header_only.nii", "it holds 400"}};
  for (const auto& [path, reason] : refusals) {
    if (path.rfind(hostile, 0) == 0 && !samples) continue;
    EXPECT_FALSE(morvex::loadNiftiLabels(path, study, 0, error)) << path;
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(labelsOf(study, k), std::vector<uint8_t>(256, 0)) << path;
  }
  EXPECT_LT(morvex::testing::peakResidentMb() - peakBefore, 32) << "claims are refused, not allocated";
  ASSERT_TRUE(morvex::loadNiftiLabels(writeBytes(tmp.file("short_tail.nii"), nii + "pad"), study, 0, error)) << error;
  EXPECT_EQ(labelsOf(study, 2), last);

  // The 120-slice label volume whose compressed stream was cut at 70 %, against a series of its size.
  MORVEX_REQUIRE_SHARED_DATA();
  morvex::Study big;
  morvex::SliceHeader h = craftedHeader(1, 0, 0, 0);
  h.hasPosition = false;
  for (int k = 0; k < 120; ++k, ++h.instanceNumber) addCrafted(big, h, 512, 512);
  EXPECT_FALSE(morvex::loadNiftiLabels(hostile + "nifti_120slice_cut_at_70pct.nii.gz", big, 0, error));
  EXPECT_NE(error.find("cut short"), std::string::npos) << error;
}

TEST(NiftiLabels, FailedWritesKeepTheEarlierFile) {
  morvex::Study study;
  addCrafted(study, craftedHeader(1, 0, 0, 0));
  addCrafted(study, craftedHeader(2, 0, 0, 3));
  addCrafted(study, craftedHeader(3, 0, 0, 7));  // not evenly spaced: no grid can place it
  TempDir tmp;
  const std::string target = morvex::testing::writeBytes(tmp.file("old.nii.gz"), "earlier");
  std::string error;
  EXPECT_FALSE(morvex::writeNiftiLabels(target, study, 0, error));
  EXPECT_NE(error.find("not evenly spaced"), std::string::npos) << error;
  EXPECT_EQ(morvex::testing::readBytes(target), "earlier");
  EXPECT_FALSE(morvex::writeNiftiLabels(tmp.file("labels.png"), study, 0, error));
  EXPECT_NE(error.find(".nii or .nii.gz"), std::string::npos);
  EXPECT_FALSE(morvex::writeNiftiLabels(tmp.file("none/x.nii.gz"), study, 0, error)) << "missing folder";
  EXPECT_FALSE(morvex::writeNiftiLabels(tmp.file("x.nii.gz"), study, 5, error)) << "no such series";
}
