// morvex-cli run as a program: its volumes against the readout of the slice views, its liver
// segmentation against the segmentation run in-process with the LiverSeg button's options, its
// conversions, and its refusals (exit status, one line naming the file, nothing written).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <opencv2/imgcodecs.hpp>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"

#include "analysis/area_statistics.h"
#include "export/nifti_io.h"
#include "segmentation/liver_driver.h"
#include "segmentation/slice_interpolation.h"
#include "study/label_table.h"
#include "study/mask_import.h"
#include "study/series_import.h"
#include "study/slice_decoder.h"
#include "tests/testing_support.h"
#include "tools/synthct/series_writer.h"
#include "view/slice_render.h"

namespace {

using morvex::testing::TempDir;
namespace fs = std::filesystem;

struct CliRun { int status = -1; std::string out, err; };

CliRun cli(const std::vector<std::string>& args) {
  TempDir tmp;
  std::string command = MORVEX_CLI;
  for (const std::string& a : args) command += " '" + a + "'";
  command += " >" + tmp.file("out") + " 2>" + tmp.file("err");
  CliRun r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = morvex::testing::readBytes(tmp.file("out"));
  r.err = morvex::testing::readBytes(tmp.file("err"));
  return r;
}

// The series as the window loads it: every slice, then the given mask files.
void loadLikeTheWindow(morvex::Study& study, const std::string& folder, const std::vector<std::string>& masks) {
  morvex::initDicomCodecs();
  std::vector<std::string> paths;
  for (int k = 0; k < 24; ++k) paths.push_back(folder + "/" + morvex::synth::sliceFileName(k) + ".dcm");
  ASSERT_EQ(morvex::importSlices(study, paths, {}).size(), 24u);
  study.setLabelCount(morvex::defaultLabelTable().size());
  for (const std::string& m : masks) morvex::loadMaskFile(study, m.c_str());
}

std::vector<std::string> truthMasks(const std::string& folder) {
  std::vector<std::string> masks;
  for (int k = 0; k < 24; ++k) masks.push_back(folder + "/m_" + morvex::synth::sliceFileName(k) + ".png");
  return masks;
}

// The value of a "name,value" line of the CSV output.
double csvValue(const std::string& csv, const std::string& name) {
  const std::size_t at = csv.find("\n" + name + ",");
  EXPECT_NE(at, std::string::npos) << name;
  if (at == std::string::npos) return -1;
  return std::stod(csv.substr(at + name.size() + 2));
}

// The document on standard output parsed as JSON; a parse error fails the test.
QJsonObject parsedJson(const std::string& text) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << " in\n" << text;
  EXPECT_TRUE(doc.isObject());
  return doc.object();
}

// The "labels" entries by label value; every entry of the label table exactly once, in its order.
std::map<int, QJsonObject> labelsOf(const QJsonObject& doc) {
  std::map<int, QJsonObject> out;
  const QJsonArray labels = doc.value("labels").toArray();
  const morvex::LabelTable labelTable = morvex::defaultLabelTable();
  const std::vector<morvex::LabelInfo>& table = labelTable.labels();
  EXPECT_EQ(labels.size(), static_cast<int>(table.size()));
  for (int i = 0; i < labels.size() && i < static_cast<int>(table.size()); ++i) {
    const QJsonObject l = labels[i].toObject();
    EXPECT_EQ(l.value("label").toInt(), table[i].value);
    EXPECT_EQ(l.value("name").toString().toStdString(), table[i].name);
    out[table[i].value] = l;
  }
  return out;
}

void expectOneLineNaming(const CliRun& r, const std::string& file, const std::string& reason) {
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.err.rfind("morvex-cli: " + file, 0), 0u) << r.err;
  EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
}

}  // namespace

TEST(Cli, VolumesAreTheFiguresOfTheReadout) {
  const std::string& series = morvex::testing::smallSyntheticSeries();
  const CliRun r = cli({"volumes", series, "--masks", series});
  ASSERT_EQ(r.status, 0) << r.err;
  morvex::Study study;
  loadLikeTheWindow(study, series, truthMasks(series));
  morvex::AreaStatistics st(7);
  morvex::SeriesStatistics().compute(study, 0, false, st);
  const morvex::VolumeReadout readout = morvex::computeVolumeReadout(study.frame(0)->header.voxelVolumeMl(), &st);
  ASSERT_GT(readout.liver, 10.0f);
  EXPECT_NEAR(csvValue(r.out, "Liver"), readout.liver, 0.05);
  EXPECT_NEAR(csvValue(r.out, "Liver-Vessel"), readout.liverWithoutVessel, 0.05);
  // (voxel counts and volumes against the masks: the anisotropic case below)
  // the statistics file's numbers of the liver: median and average
  std::ostringstream stats;
  stats << ',' << st.max(1) << ',';
  EXPECT_NE(r.out.find(stats.str()), std::string::npos);

  const CliRun json = cli({"volumes", series, "--masks", series, "--format", "json"});
  ASSERT_EQ(json.status, 0) << json.err;
  const QJsonObject doc = parsedJson(json.out);
  EXPECT_NEAR(doc.value("readout").toObject().value("Liver").toDouble(), readout.liver, 0.05);
  std::map<int, QJsonObject> labels = labelsOf(doc);
  EXPECT_EQ(labels[3].value("voxels").toInt(), static_cast<int>(st.pixelCnt(3)));
  EXPECT_NEAR(labels[1].value("median").toDouble(), st.median(1), 0.05);
}

TEST(Cli, VolumesOfOverlappingSlicesOfAnisotropicNonSquarePixelsParseAndScale) {
  // 128 rows of 96 columns, 0.8 mm between rows and 0.7 mm between columns, 5 mm slices every
  // 2.5 mm: a voxel is 0.8 x 0.7 x 2.5 mm
  TempDir tmp;
  morvex::synth::PhantomOptions o;
  o.size = 128;
  o.columns = 96;
  o.slices = 8;
  o.pixelSpacing = 0.8;
  o.pixelSpacingColumn = 0.7;
  o.sliceThickness = 5;
  o.sliceStep = 2.5;
  std::string error;
  ASSERT_TRUE(morvex::synth::writeSeries(o, tmp.path(), &error)) << error;
  int counts[4] = {};
  for (int k = 0; k < o.slices; ++k) {
    const cv::Mat mask = cv::imread(tmp.file("m_" + morvex::synth::sliceFileName(k) + ".png"), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(mask.cols, 96);
    for (int v = 1; v <= 3; ++v) counts[v] += cv::countNonZero(mask == v);
  }
  ASSERT_GT(counts[1], 1000);
  const double voxelMl = 0.8 * 0.7 * 2.5 / 1000;

  const CliRun json = cli({"volumes", tmp.path(), "--masks", tmp.path(), "--format", "json"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.err.find("slices lie 2.5 mm apart"), std::string::npos) << "the notice is logged: " << json.err;
  const QJsonObject doc = parsedJson(json.out);
  std::map<int, QJsonObject> labels = labelsOf(doc);
  for (int v = 1; v <= 3; ++v) {
    EXPECT_EQ(labels[v].value("voxels").toInt(), counts[v]) << v;
    EXPECT_NEAR(labels[v].value("volume_ml").toDouble(), counts[v] * voxelMl, 0.0006) << v;
  }
  const QJsonObject readout = doc.value("readout").toObject();
  EXPECT_NEAR(readout.value("Liver").toDouble(), (counts[1] + counts[2]) * voxelMl, 0.06);
  EXPECT_NEAR(readout.value("Liver-Vessel").toDouble(), counts[1] * voxelMl, 0.06);
  EXPECT_NEAR(readout.value("Whole liver").toDouble(), (counts[1] + counts[2] + counts[3]) * voxelMl, 0.06);

  // the CSV: a header, one row per label, a blank line, the readout
  const CliRun csv = cli({"volumes", tmp.path(), "--masks", tmp.path()});
  ASSERT_EQ(csv.status, 0) << csv.err;
  std::istringstream lines(csv.out);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 1 + 7 + 1 + 1 + 8u) << csv.out;
  EXPECT_EQ(rows[0], "label,name,voxels,volume_ml,min,q1,median,q3,max,avg,std");
  EXPECT_EQ(rows[1].rfind("1,Liver," + std::to_string(counts[1]) + ",", 0), 0u) << rows[1];
  EXPECT_EQ(rows[8], "");
  EXPECT_NEAR(csvValue(csv.out, "Liver"), readout.value("Liver").toDouble(), 1e-9);

  // a real CT whose slices overlap (1 mm apart, 1.25 mm thick): the notice is logged, not printed
  if (!morvex::testing::sharedDataDir().empty()) {
    const CliRun real = cli({"volumes", morvex::testing::sharedFile("ct-3slice"), "--format", "json"});
    ASSERT_EQ(real.status, 0) << real.err;
    EXPECT_EQ(labelsOf(parsedJson(real.out)).size(), 7u);
    EXPECT_NE(real.err.find("slices lie 1 mm apart"), std::string::npos) << real.err;
  }

  // one voxel has no sample deviation: null, and the document still parses
  fs::create_directory(tmp.file("one"));
  const std::string one = tmp.file("one/m_" + morvex::synth::sliceFileName(0) + ".png");
  cv::Mat mask(128, 96, CV_8U, cv::Scalar(0));
  mask.at<uint8_t>(5, 90) = 1;
  ASSERT_TRUE(cv::imwrite(one, mask));
  const CliRun single = cli({"volumes", tmp.path(), "--masks", one, "--format", "json"});
  ASSERT_EQ(single.status, 0) << single.err;
  labels = labelsOf(parsedJson(single.out));
  EXPECT_EQ(labels[1].value("voxels").toInt(), 1);
  EXPECT_TRUE(labels[1].value("std").isNull());
}

TEST(Cli, SegmentLiverGivesTheLabelsOfTheLiverSegButton) {
  const std::string& series = morvex::testing::smallSyntheticSeries();
  TempDir tmp;
  // the seed: the liver of the middle slice's truth as label 1
  constexpr int kSeed = 12;
  const std::string seedName = "m_" + morvex::synth::sliceFileName(kSeed) + ".png";
  const cv::Mat truth = cv::imread(series + "/" + seedName, cv::IMREAD_UNCHANGED);
  ASSERT_FALSE(truth.empty());
  const cv::Mat seed = (truth > 0) / 255;
  ASSERT_TRUE(cv::imwrite(tmp.file(seedName), seed));

  for (const bool twoD : {false, true}) {
    SCOPED_TRACE(twoD ? "2D, soft" : "3D, default");
    const std::string out = tmp.file(twoD ? "out2d" : "out3d");
    std::vector<std::string> args = {"segment-liver", series, "--seed", tmp.file(seedName), "--out", out, "--nifti"};
    if (twoD) args.insert(args.end(), {"--2d", "--option", "soft", "--slice", std::to_string(kSeed + 1)});
    const CliRun r = cli(args);
    ASSERT_EQ(r.status, 0) << r.err;

    morvex::Study study;
    loadLikeTheWindow(study, series, {tmp.file(seedName)});
    morvex::LiverRunOptions options;  // as Morvex::liverSegmentation sets them
    options.threeD = !twoD;
    options.engineOption = twoD ? 2 : 0;
    options.currentFrame = kSeed;
    options.log = std::tmpfile();
    int labelled = 0;
    ASSERT_EQ(morvex::segmentLiver(study, options, &labelled), morvex::LiverRunResult::Done);
    std::fclose(options.log);
    EXPECT_GE(labelled, twoD ? 1 : 5);
    EXPECT_NE(r.err.find(std::to_string(labelled) + " slices labelled"), std::string::npos) << r.err;
    for (int k = 0; k < 24; ++k) {
      const cv::Mat written = cv::imread(out + "/m_" + morvex::synth::sliceFileName(k) + ".png", cv::IMREAD_UNCHANGED);
      ASSERT_EQ(written.total(), 128u * 128u) << "slice " << k;
      EXPECT_EQ(0, std::memcmp(written.data, study.labelImage(k), written.total())) << "slice " << k;
    }
    // the NIfTI volume holds the same labels
    morvex::Study back;
    loadLikeTheWindow(back, series, {});
    std::string error;
    ASSERT_TRUE(morvex::loadNiftiLabels(out + "/m_SYN0001_SYNTH^LIVER_20260101.nii.gz", back, 0, error)) << error;
    for (int k = 0; k < 24; ++k) EXPECT_EQ(0, std::memcmp(back.labelImage(k), study.labelImage(k), 128 * 128)) << k;
    EXPECT_TRUE(fs::exists(out + "/m_SYN0001_SYNTH^LIVER_20260101.tiff"));
  }
}

TEST(Cli, HostilePatientFieldsNameFilesInsideTheOutFolderAndAFailedRunWritesNothing) {
  const std::string& series = morvex::testing::smallSyntheticSeries();
  TempDir tmp;
  fs::create_directories(tmp.file("series"));
  for (int k = 0; k < 24; ++k) {
    const std::string name = morvex::synth::sliceFileName(k) + ".dcm";
    DcmFileFormat ff;
    ASSERT_TRUE(ff.loadFile((series + "/" + name).c_str()).good());
    ff.getDataset()->putAndInsertString(DCM_PatientName, "../../evil/x");
    ff.getDataset()->putAndInsertString(DCM_PatientID, "a/b");
    ASSERT_TRUE(ff.saveFile(tmp.file("series/" + name).c_str()).good());
  }
  const std::string seed = tmp.file("m_" + morvex::synth::sliceFileName(12) + ".png");
  ASSERT_TRUE(cv::imwrite(seed, (cv::imread(series + "/m_IM0013.png", cv::IMREAD_UNCHANGED) > 0) / 255));
  const std::string tiff = "m_a_b_______evil_x_20260101.tiff";

  const CliRun r = cli({"segment-liver", tmp.file("series"), "--seed", seed, "--2d", "--out", tmp.file("out")});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> written;
  for (const auto& e : fs::directory_iterator(tmp.file("out"))) written.push_back(e.path().filename().string());
  std::sort(written.begin(), written.end());
  ASSERT_EQ(written.size(), 25u) << "24 masks and the TIFF, no folder left over";
  EXPECT_EQ(written[0], "m_IM0001.png");
  EXPECT_EQ(written[24], tiff);
  for (const auto& e : fs::recursive_directory_iterator(tmp.path()))
    EXPECT_NE(e.path().filename(), "x_20260101.tiff") << e.path();
  EXPECT_FALSE(fs::exists(tmp.file("evil")));

  // A run that cannot place its last file leaves nothing of its own.
  fs::create_directories(tmp.file("again/" + tiff));
  const CliRun failed = cli({"segment-liver", tmp.file("series"), "--seed", seed, "--2d", "--out", tmp.file("again")});
  expectOneLineNaming(failed, tmp.file("again/" + tiff), "a folder of that name is in the way");
  std::vector<fs::path> left;
  for (const auto& e : fs::directory_iterator(tmp.file("again"))) left.push_back(e.path());
  EXPECT_EQ(left, std::vector<fs::path>{tmp.file("again/" + tiff)}) << "no mask, no staging folder";
}

// Two key slices of the liver and the vessels of a slice between them: the slices between are
// those of the core fill, the vessels stay, and a command line without a label is refused.
TEST(Cli, InterpolateFillsBetweenKeySlicesAsTheCoreDoes) {
  const std::string& series = morvex::testing::smallSyntheticSeries();
  TempDir tmp;
  fs::create_directories(tmp.file("keys"));
  std::vector<std::string> masks;
  for (const int k : {6, 10, 14}) {
    const std::string name = "m_" + morvex::synth::sliceFileName(k) + ".png";
    const cv::Mat truth = cv::imread(series + "/" + name, cv::IMREAD_UNCHANGED);
    const uint8_t keep = k == 10 ? 2 : 1;  // vessels on the middle slice, liver on the keys
    const cv::Mat mask = (truth == keep) / 255 * keep;
    ASSERT_GT(cv::countNonZero(mask), 0) << name;
    masks.push_back(tmp.file("keys/" + name));
    ASSERT_TRUE(cv::imwrite(masks.back(), mask));
  }
  const CliRun r = cli({"interpolate", series, "--masks", tmp.file("keys"), "--label", "1", "--out", tmp.file("out")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("7 slices filled between 2 key slices"), std::string::npos) << r.err;

  morvex::Study study;
  loadLikeTheWindow(study, series, masks);
  const morvex::SliceFillPlan plan = morvex::planSliceFill(study, 0, 23, 1);
  morvex::applySliceFill(plan, study);
  for (int k = 0; k < 24; ++k) {
    const cv::Mat written = cv::imread(tmp.file("out/m_" + morvex::synth::sliceFileName(k) + ".png"), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(written.total(), 128u * 128u) << "slice " << k;
    EXPECT_EQ(0, std::memcmp(written.data, study.labelImage(k), written.total())) << "slice " << k;
    EXPECT_EQ(cv::countNonZero(written == 1) > 0, k >= 6 && k <= 14) << "slice " << k;
  }
  const cv::Mat vessels = cv::imread(masks[1], cv::IMREAD_UNCHANGED);
  const cv::Mat middle = cv::imread(tmp.file("out/" + fs::path(masks[1]).filename().string()), cv::IMREAD_UNCHANGED);
  EXPECT_EQ(cv::countNonZero((vessels == 2) != (middle == 2)), 0) << "the vessels stay where they were";

  const CliRun noLabel = cli({"interpolate", series, "--masks", tmp.file("keys"), "--out", tmp.file("x")});
  EXPECT_EQ(noLabel.status, 2);
  expectOneLineNaming(cli({"interpolate", series, "--masks", masks[0], "--label", "1", "--out", tmp.file("y")}),
                      masks[0], "label 1 is on 1 slice(s); filling between slices needs two");
  EXPECT_FALSE(fs::exists(tmp.file("x")) || fs::exists(tmp.file("y")));
}

TEST(Cli, ConvertCarriesMasksThroughEveryFormat) {
  const std::string& series = morvex::testing::smallSyntheticSeries();
  TempDir tmp;
  ASSERT_EQ(cli({"convert", series, "--series", series, "--to", "nifti", tmp.file("a.nii.gz")}).status, 0);
  ASSERT_EQ(cli({"convert", tmp.file("a.nii.gz"), "--series", series, "--to", "tiff", tmp.file("a.tiff")}).status, 0);
  ASSERT_EQ(cli({"convert", tmp.file("a.tiff"), "--series", series, "--to", "seg", tmp.file("seg.dcm")}).status, 0);
  const CliRun r = cli({"convert", tmp.file("seg.dcm"), "--series", series, "--to", "png", tmp.file("png")});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string& m : truthMasks(series)) {
    const cv::Mat a = cv::imread(m, cv::IMREAD_UNCHANGED);
    const cv::Mat b = cv::imread(tmp.file("png/" + fs::path(m).filename().string()), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(b.total(), a.total()) << m;
    EXPECT_EQ(cv::countNonZero(a != b), 0) << m;
  }
}

TEST(Cli, BadInputFailsWithOneLineAndWritesNothing) {
  const std::string& series = morvex::testing::smallSyntheticSeries();
  TempDir tmp;
  fs::create_directory(tmp.file("empty"));
  expectOneLineNaming(cli({"volumes", tmp.file("missing")}), tmp.file("missing"), "no such file or folder");
  expectOneLineNaming(cli({"volumes", tmp.file("empty")}), tmp.file("empty"), "holds no slice files");
  if (!morvex::testing::sharedDataDir().empty()) {  // the reason of the file that failed, in English
    fs::create_directory(tmp.file("cut"));
    fs::copy(morvex::testing::sharedFile("malformed/MR_truncated.dcm"), tmp.file("cut/MR_truncated.dcm"));
    const CliRun r = cli({"volumes", tmp.file("cut")});  // the decoder's own log lines come first
    EXPECT_EQ(r.status, 1);
    const std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
    EXPECT_EQ(last.rfind("morvex-cli: " + tmp.file("cut") + ": no slice could be read (MR_truncated.dcm: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("DICOM Header"), std::string::npos) << r.err;
  }
  expectOneLineNaming(cli({"volumes", series, "--masks", tmp.file("empty")}), tmp.file("empty"), "no mask files");
  // a mask of the wrong size, named for a slice of the series
  const std::string small = tmp.file("m_" + morvex::synth::sliceFileName(3) + ".png");
  ASSERT_TRUE(cv::imwrite(small, cv::Mat(64, 64, CV_8U, cv::Scalar(1))));
  expectOneLineNaming(cli({"volumes", series, "--masks", small}), small, "does not fit the series");
  expectOneLineNaming(cli({"segment-liver", series, "--seed", small, "--out", tmp.file("seg")}), small,
                      "does not fit the series");
  EXPECT_FALSE(fs::exists(tmp.file("seg"))) << "nothing written";
  // a NIfTI volume of other dimensions
  morvex::Study shortStudy;
  morvex::initDicomCodecs();
  ASSERT_GE(shortStudy.addFrameFromFile((series + "/IM0001.dcm").c_str()), 0);
  std::string error;
  const std::string oneSlice = tmp.file("one.nii.gz");
  ASSERT_TRUE(morvex::writeNiftiLabels(oneSlice, shortStudy, 0, error)) << error;
  expectOneLineNaming(cli({"convert", oneSlice, "--series", series, "--to", "nifti", tmp.file("out.nii.gz")}), oneSlice,
                      "do not match the series (128 x 128 x 24)");
  EXPECT_FALSE(fs::exists(tmp.file("out.nii.gz")));
  // a seed without a liver outline
  const std::string blank = tmp.file("m_" + morvex::synth::sliceFileName(5) + ".png");
  ASSERT_TRUE(cv::imwrite(blank, cv::Mat(128, 128, CV_8U, cv::Scalar(0))));
  expectOneLineNaming(cli({"segment-liver", series, "--seed", blank, "--2d", "--out", tmp.file("seg")}), blank,
                      "no liver outline");
  EXPECT_FALSE(fs::exists(tmp.file("seg")));
  // the last slice is a slice: shown in 2D, it holds no outline of the seed (on slice 13)
  expectOneLineNaming(cli({"segment-liver", series, "--seed", series + "/m_IM0013.png", "--2d", "--slice", "24", "--out",
                           tmp.file("seg")}),
                      series + "/m_IM0013.png", "no liver outline (label 1) on the seed slice 24");

  // malformed command lines: status 2 and the usage
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"frobnicate"}, {"volumes", series, "--format", "xml"},
        {"segment-liver", series, "--out", tmp.file("x")}, {"convert", series, "--series", series, "--to", "bmp", "x"},
        {"volumes", series, "--masks"}, {"segment-liver", series, "--seed", series + "/m_IM0013.png", "--out", tmp.file("y"), "--slice", "25"},
        {"segment-liver", series, "--seed", "x", "--out", "y", "--slice", "3a"},
        {"segment-liver", series, "--seed", "x", "--out", "y", "--slice", "0"}}) {
    const CliRun r = cli(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_NE(r.err.find("usage: morvex-cli"), std::string::npos);
  }
  for (const char* command : {"volumes", "segment-liver", "convert"}) {
    const CliRun r = cli({command, "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind(std::string("usage: morvex-cli ") + command, 0), 0u) << r.out;
  }
}
