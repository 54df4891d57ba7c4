// The PDF report read back with poppler's tools: the figures as text, the pages and the pictures;
// from the window's code path and from morvex-cli. Skipped when poppler-utils is not installed.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include <QGuiApplication>

#include "export/pdf_report.h"
#include "planning/plan_json.h"
#include "study/label_table.h"
#include "tests/testing_support.h"
#include "view/plane_reformat.h"

namespace {

using namespace morvex;
using morvex::testing::TempDir;

// Standard output of a shell command.
std::string run(const std::string& command) {
  TempDir tmp;
  std::system((command + " >" + tmp.file("out") + " 2>/dev/null").c_str());
  std::ifstream in(tmp.file("out"));
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool haveTools() { return std::system("command -v pdftotext >/dev/null && command -v pdfimages >/dev/null") == 0; }

#define REQUIRE_POPPLER()                                                                           \
  if (!haveTools()) GTEST_SKIP() << "poppler-utils (pdftotext, pdfimages) not installed; skipping"

// The number after "label: " on a line of the text, -1 when absent.
double figure(const std::string& text, const std::string& label) {
  std::smatch m;
  if (!std::regex_search(text, m, std::regex("(^|\n)" + label + ": (-?[0-9.]+)"))) return -1;
  return std::stod(m[2]);
}

int pages(const std::string& pdf) {
  std::smatch m;
  const std::string info = run("pdfinfo '" + pdf + "'");
  return std::regex_search(info, m, std::regex("Pages: +([0-9]+)")) ? std::stoi(m[1]) : -1;
}

int pictures(const std::string& pdf) {
  // two header lines, then one line per picture
  std::istringstream list(run("pdfimages -list '" + pdf + "'"));
  int lines = 0;
  for (std::string line; std::getline(list, line);) lines += !line.empty();
  return lines - 2;
}

// Twelve 64 x 48 slices: a box of liver with a ball of tumour, a plane cutting off the left part.
struct ReportSeries {
  Study study;
  PlanSet plans;
  ReportSeries() {
    SliceHeader h;
    h.patientName = "Doe^Jane";
    h.patientId = "ID-4711";
    h.seriesDate = "20240305";
    h.pixelSpacingRow = 0.9, h.pixelSpacingColumn = 0.7, h.sliceThickness = 2.5;
    for (int k = 0; k < 12; ++k) {
      h.instanceNumber = k + 1;
      const int f = morvex::testing::addFrame(study, h, 64, 48, 40);
      uint8_t* l = study.labelImage(f);
      for (int y = 6; y < 42 && k >= 1 && k <= 10; ++y)
        for (int x = 4; x < 60; ++x) l[y * 64 + x] = std::hypot((x - 45) * 0.7, (y - 24) * 0.9, (k - 5) * 2.5) <= 4 ? kCancer : kLiver;
    }
    study.setLabelCount(defaultLabelTable().size());
    ResectionPlan p;
    p.name = "Left cut";
    p.kind = PlanKind::Plane;
    p.planePoint[0] = 20.5 * 0.7;
    p.hasSide = true, p.sideSlice = 5, p.sideX = 10, p.sideY = 20;
    plans.plans.push_back(p);
    plans.active = 0;
    plans.thresholds.remnantPercent = 80;  // the remnant is about 70 %: a warning
  }
};

}  // namespace

TEST(Report, HoldsTheFiguresAsTextAndThePagesAndPicturesAsked) {
  REQUIRE_POPPLER();
  ReportSeries s;
  const LabelTable labels = defaultLabelTable();
  PdfReportInput in = reportInputOf(s.study, 0, labels, &s.plans, true);
  ASSERT_EQ(in.axial.size(), 3u);
  ASSERT_TRUE(in.hasPlan);
  // the coronal plane through the liver comes with the series, rows stretched by the slice spacing
  ASSERT_EQ(in.extra.size(), 1u);
  const PlaneStack stack = collectPlaneStack(s.study, 0);
  const PlaneSize coronal = planeSize(stack, PlaneAxis::Coronal);
  EXPECT_EQ(in.extra[0].image.width(), coronal.width);
  EXPECT_EQ(in.extra[0].image.height(), std::lround(coronal.height * coronal.rowScale));
  QImage extra(40, 30, QImage::Format_RGB32);
  extra.fill(Qt::darkCyan);
  in.extra.insert(in.extra.end(), {{"3D", extra}, {"Sagittal", extra}});
  TempDir dir;
  const std::string pdf = dir.file("report.pdf");
  QString error;
  ASSERT_TRUE(writePdfReport(QString::fromStdString(pdf), in, &error)) << error.toStdString();
  const std::string text = run("pdftotext '" + pdf + "' -");
  const PlanFigures& f = in.figures;
  EXPECT_NEAR(figure(text, "Total liver volume"), f.totalMl, 0.05) << text;
  EXPECT_NEAR(figure(text, "Tumour volume"), f.tumourMl, 0.05);
  EXPECT_NEAR(figure(text, "Resected volume"), f.resectedMl, 0.05);
  EXPECT_NEAR(figure(text, "Liver"), in.volumes.total, 0.05);
  EXPECT_NEAR(f.totalMl, in.volumes.total + f.tumourMl, 1e-3);  // the table leaves tumours out
  std::smatch m;
  ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(\(([0-9.]+) % of functional\))")));
  EXPECT_NEAR(std::stod(m[1]), f.remnantPercent, 0.05);
  EXPECT_NE(text.find("Tumour 1:"), std::string::npos);
  EXPECT_NE(text.find("below the threshold of 80 %"), std::string::npos) << text;
  EXPECT_NE(text.find("ID-4711"), std::string::npos);
  // text page, axial page, two pages of extra pictures
  EXPECT_EQ(pages(pdf), 4);
  EXPECT_EQ(pictures(pdf), 6);

  // without the tick the identity stays out
  in.showIdentity = false;
  in.extra.clear();
  ASSERT_TRUE(writePdfReport(QString::fromStdString(pdf), in, &error));
  const std::string anonymous = run("pdftotext '" + pdf + "' -");
  EXPECT_EQ(anonymous.find("ID-4711"), std::string::npos);
  EXPECT_EQ(anonymous.find("Doe"), std::string::npos);
  EXPECT_EQ(pages(pdf), 2);
  EXPECT_EQ(pictures(pdf), 3);
  EXPECT_FALSE(writePdfReport(QString::fromStdString(dir.file("no/such/folder/r.pdf")), in, &error));
  EXPECT_TRUE(error.contains("r.pdf"));
}

TEST(Report, TheCommandLineWritesTheFiguresOfThePlanFile) {
  REQUIRE_POPPLER();
  Study study;
  ASSERT_EQ(morvex::testing::loadSmallSyntheticSeries(study, true), 0);
  const PlanVolume volume = planVolumeOf(study, 0);
  PlanSet plans;
  ResectionPlan p;
  p.name = "Middle";
  p.kind = PlanKind::Plane;
  p.planePoint[0] = 64.5 * volume.columnSpacing;
  p.hasSide = true, p.sideSlice = 12, p.sideX = 20, p.sideY = 64;
  plans.plans = {p};
  plans.active = 0;
  const PlanFigures expected = computePlanFigures(volume, p);
  ASSERT_TRUE(expected.sideChosen);
  TempDir dir;
  std::string error;
  ASSERT_TRUE(savePlanFile(dir.file("p.plans.json"), plans, error));
  const std::string folder = morvex::testing::smallSyntheticSeries();
  const std::string pdf = dir.file("cli.pdf");
  const int status = std::system((std::string(MORVEX_CLI) + " report '" + folder + "' --masks '" + folder +
                                  "' --plan '" + dir.file("p.plans.json") + "' --out '" + pdf + "' 2>/dev/null").c_str());
  ASSERT_EQ(status, 0);
  const std::string text = run("pdftotext '" + pdf + "' -");
  EXPECT_NEAR(figure(text, "Total liver volume"), expected.totalMl, 0.05) << text;
  EXPECT_NEAR(figure(text, "Remnant volume"), expected.remnantMl, 0.05);
  EXPECT_EQ(pages(pdf), 3) << "text, axial pictures, the coronal plane";
  EXPECT_EQ(pictures(pdf), 4);
  // a broken plan file: one line naming it, no report
  std::ofstream(dir.file("bad.plans.json")) << "{ not json";
  const std::string bad = dir.file("bad.pdf");
  EXPECT_NE(std::system((std::string(MORVEX_CLI) + " report '" + folder + "' --masks '" + folder + "' --plan '" +
                         dir.file("bad.plans.json") + "' --out '" + bad + "' 2>/dev/null").c_str()), 0);
  EXPECT_FALSE(std::ifstream(bad).good());
}

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
