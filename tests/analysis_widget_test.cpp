// The Analysis page and the vessel tools driven through the real main window on a copy of the
// synthetic series with its true labels: liver histogram, Auto, the options, Save(Group), vessel
// histogram mode and the vessel growth.

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <algorithm>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <functional>

#include "analysis/chistogram_view.h"
#include "analysis/histogram_range.h"
#include "tests/analysis_fixture.h"

namespace fs = std::filesystem;
using morvex::testing::AnalysisWindow;

TEST(AnalysisPage, TabChangeFillsTheHistogramAutoAndTheOptionsSelectAndSaveGroupCounts) {
  AnalysisWindow c;
  Ui::MorvexClass& ui = c.main.form();
  CHistogramView* view = c.main.liverHistogram();
  EXPECT_FALSE(view->model().hasBins()) << "nothing before the page opens";
  ui.tabWidget_Tool->setCurrentIndex(1);
  EXPECT_TRUE(c.main.liverHistogramMode());
  EXPECT_TRUE(c.main.outlineMode());
  const morvex::AreaStatistics& st = c.main.areaStatistics();
  ASSERT_GT(st.pixelCnt(1), 0.0f);
  int low = 0, high = 0;
  morvex::liverAutoRange(st.q1(1), st.median(1), st.q3(1), low, high);
  ASSERT_TRUE(view->model().hasBins());
  EXPECT_EQ(view->rangeMin(), low);
  EXPECT_EQ(view->rangeMax(), high);
  for (int v = low; v <= high; v += 7)
    EXPECT_EQ(view->model().bins()[v - low], st.counts(1)[v - st.base()]) << "bin of intensity " << v;
  EXPECT_EQ(view->model().markers(), (std::vector<int>{static_cast<int>(st.q1(1)), static_cast<int>(st.median(1)),
                                                       static_cast<int>(st.q3(1))}));
  QTreeWidgetItem* quartiles = ui.treeWidget_LiverHistogram_1->topLevelItem(0);
  EXPECT_EQ(quartiles->text(0), QString::asprintf("%.0f", static_cast<double>(st.min(1))));
  EXPECT_EQ(quartiles->text(2), QString::asprintf("%.0f", static_cast<double>(st.median(1))));
  EXPECT_EQ(quartiles->text(4), QString::asprintf("%.0f", static_cast<double>(st.max(1))));
  QTreeWidgetItem* moments = ui.treeWidget_LiverHistogram_2->topLevelItem(0);
  EXPECT_EQ(moments->text(0), QString::asprintf("%.2f", static_cast<double>(st.average(1))));
  EXPECT_EQ(moments->text(2), QString::number(static_cast<int>(st.pixelCnt(1))));

  // Auto sets the interval (within the liver's range) and the options select by it
  ui.radioButton_LiverHistogram_lowhigh->click();
  ui.pushButton_LiverHistogramThresholdAuto->click();
  low = std::max(low, static_cast<int>(st.min(1)));
  high = std::min(high, static_cast<int>(st.max(1)));
  EXPECT_EQ(ui.spinBox_LiverHistogram_low->value(), low);
  EXPECT_EQ(ui.spinBox_LiverHistogram_high->value(), high);
  EXPECT_EQ(view->lowValue(), low);
  EXPECT_EQ(view->highValue(), high);
  const long inside = c.liverPixels([&](int v) { return v >= low && v <= high; });
  EXPECT_GT(inside, 0);
  EXPECT_LT(inside, static_cast<long>(st.pixelCnt(1)));
  EXPECT_EQ(c.selectedPixels(), inside);
  EXPECT_EQ(c.selectedOutsideLiver(), 0);
  EXPECT_EQ(ui.treeWidget_LiverHistogram_4->topLevelItem(0)->text(2), QString::number(inside));
  // Save(Group) writes the selected area's statistics: its last figure is the pixel count
  ui.pushButton_HistogramSaveGroup->click();
  std::ifstream in(c.series + "/statistic_SYN0001_SYNTH^LIVER_20260101.txt");
  std::string line, last;
  while (std::getline(in, line)) last = line;
  EXPECT_EQ(last.substr(last.rfind('\t') + 1), std::to_string(inside)) << last;
  EXPECT_TRUE(fs::exists(c.series + "/histogram_SYN0001_SYNTH^LIVER_20260101.csv"));

  ui.radioButton_LiverHistogram_low->click();
  EXPECT_EQ(c.selectedPixels(), c.liverPixels([&](int v) { return v < low; }));
  ui.radioButton_LiverHistogram_high->click();
  EXPECT_EQ(c.selectedPixels(), c.liverPixels([&](int v) { return v > high; }));
  ui.spinBox_LiverHistogram_high->setValue(high + 20);  // typed: the handles and the selection follow
  EXPECT_EQ(view->highValue(), high + 20);
  EXPECT_EQ(c.selectedPixels(), c.liverPixels([&](int v) { return v > high + 20; }));
  ui.radioButton_LiverAreaOption2->click();  // right lobe: this series has none
  EXPECT_EQ(c.selectedPixels(), 0);

  ui.tabWidget_Tool->setCurrentIndex(0);
  EXPECT_FALSE(c.main.liverHistogramMode());
  EXPECT_FALSE(c.main.outlineMode());
}

TEST(VesselTools, GrowthFromThreeSlicesThenHistogramModeTurnsLiverIntoVessel) {
  AnalysisWindow c;
  Ui::MorvexClass& ui = c.main.form();
  morvex::Study& study = c.main.study();
  const std::vector<std::vector<uint8_t>> truth = c.labelsOfSeries();
  // the user's vessels: three slices; elsewhere the vessels are plain liver
  long seeds = 0;
  for (int f = 0; f < study.frameCount(); ++f) {
    const bool seedSlice = f == 8 || f == 12 || f == 15;
    uint8_t* labels = study.labelImage(f);
    for (int p = 0; p < study.width(f) * study.height(f); ++p)
      if (labels[p] == 2) {
        if (!seedSlice) labels[p] = 1;
        seeds += seedSlice;
      }
  }
  ASSERT_GT(seeds, 0);
  ui.pushButton_VesselSeg2->click();
  long found = 0, right = 0, wrongPlace = 0;
  for (int f = 0; f < study.frameCount(); ++f)
    for (int p = 0; p < study.width(f) * study.height(f); ++p) {
      const uint8_t was = truth[f][p], now = study.labelImage(f)[p];
      found += now == 2;
      right += now == 2 && was == 2;
      wrongPlace += now == 2 && was != 1 && was != 2;
    }
  // the coarse 12.5 mm series loses the thin branches; what is found is vessel
  EXPECT_GT(right, seeds) << "true vessel pixels found beyond the seed slices";
  EXPECT_GE(static_cast<double>(right) / static_cast<double>(found), 0.9);
  EXPECT_EQ(wrongPlace, 0) << "only liver becomes vessel";
  EXPECT_EQ(c.main.areaStatistics().pixelCnt(2), static_cast<float>(found));
  EXPECT_FALSE(c.main.progressBar()->isVisible());
  // the status bar says how it ended: voxels, millilitres, time
  const QRegularExpressionMatch said =
      QRegularExpression("^Vessel segmentation: (\\d+) voxels labelled Vessel \\(([0-9.]+) mL\\) in ([0-9.]+) s$")
          .match(c.main.statusBar()->currentMessage());
  ASSERT_TRUE(said.hasMatch()) << c.main.statusBar()->currentMessage().toStdString();
  EXPECT_EQ(said.captured(1).toLong(), found);
  EXPECT_NEAR(said.captured(2).toDouble(), found * study.frame(0)->header.voxelVolumeMl(), 0.05);

  for (int f = 0; f < study.frameCount(); ++f)  // every vessel back to plain liver
    std::replace(study.labelImage(f), study.labelImage(f) + study.width(f) * study.height(f), 2, 1);
  ui.spinBox_VesselLow->setValue(150);
  ui.spinBox_VesselHigh->setValue(400);
  EXPECT_EQ(c.selectedPixels(), 0) << "outside the mode the boxes select nothing";
  const long cancer = c.labelCount(3), vessels = c.labelCount(2);
  ui.pushButton_VesselSeg->click();
  EXPECT_TRUE(c.main.vesselHistogramMode());
  EXPECT_TRUE(ui.pushButton_VesselSeg->isChecked());
  EXPECT_EQ(ui.pushButton_VesselSeg->text(), "Apply");
  EXPECT_EQ(c.selectedPixels(), c.liverPixels([](int v) { return v >= 150 && v <= 400; }));
  ui.spinBox_VesselLow->setValue(200);
  const long chosen = c.liverPixels([](int v) { return v >= 200 && v <= 400; });
  EXPECT_EQ(c.selectedPixels(), chosen);
  ASSERT_GT(chosen, 0);
  ui.pushButton_VesselSeg->click();
  EXPECT_FALSE(c.main.vesselHistogramMode());
  EXPECT_EQ(ui.pushButton_VesselSeg->text(), "On");
  EXPECT_EQ(c.selectedPixels(), 0);
  EXPECT_EQ(c.labelCount(2), vessels + chosen);
  EXPECT_EQ(c.labelCount(3), cancer);
  EXPECT_EQ(c.main.areaStatistics().pixelCnt(2), static_cast<float>(vessels + chosen)) << "statistics refreshed";
}
