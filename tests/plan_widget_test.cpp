// Resection plans driven through the real main window: a plan made, named, given the key lines of
// the division tool and a side by a click; its cut drawn; its figures in the panel; undo; the plan file saved
// beside the series TIFF and loaded with it (a broken one refused with a message); the report.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <fstream>

#include "planning/plan_json.h"
#include "tests/testing_support.h"
#include "view/cimage.h"
#include "view/plan_panel.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

constexpr int N = 100;  // three N x N slices shown at scale 1

struct Planning {
  morvex::testing::TempDir dir;
  Morvex main;
  CImage* view = nullptr;
  QStringList warnings;
  std::vector<std::vector<uint8_t>> before;
  // otherSlices: another patient's series of that many slices beside the first
  explicit Planning(int otherSlices = 0) {
    morvex::setWarningInterceptor([this](const QString& w) { warnings << w; });
    QStringList paths = morvex::testing::qPaths(morvex::testing::writeFlatPngSlices(dir, 3, N, N));
    for (int i = 1; i <= otherSlices; ++i) {
      paths << QString::fromStdString(dir.file("Q_20210303_" + std::to_string(i) + ".png"));
      QFile::copy(paths.first(), paths.last());
    }
    main.readDICOM(paths);
    for (int f = 0; f < main.study().frameCount(); ++f) {
      uint8_t* l = main.study().labelImage(f);
      for (int y = 20; y < 80; ++y)
        for (int x = 20; x < 80; ++x) l[y * N + x] = (x - 58) * (x - 58) + (y - 50) * (y - 50) < 25 ? morvex::kCancer : morvex::kLiver;
      before.emplace_back(l, l + N * N);
    }
    show(0);
  }
  QStringList planNames() {
    QStringList names;
    for (int i = 0; i < panel().list()->count(); ++i) names << panel().list()->item(i)->text();
    return names;
  }
  ~Planning() { morvex::setWarningInterceptor({}); }
  void show(int f) {
    main.showImage(f);
    view = main.imageViews().value(0);
    view->resize(N, N);
    view->setDisplaySize(N, N);
  }
  PlanPanel& panel() { return *main.planPanel(); }
  const morvex::PlanSet& plans() { return main.planSetOf(0); }
};

}  // namespace

TEST(PlanWidget, APlanFromDivisionKeyLinesAndAClickGivesItsFiguresAndLeavesTheLabels) {
  Planning t;
  t.panel().addButton()->click();
  ASSERT_EQ(t.plans().plans.size(), 1u);
  QListWidgetItem* item = t.panel().list()->item(0);
  item->setText("Left part");  // as an edit in place ends
  EXPECT_EQ(t.plans().plans[0].name, "Left part");

  // key lines on the first and last slice with Divide (interpolation), taken into the plan
  t.main.form().pushButton_Divide_2->click();
  morvex::testing::dragThrough(t.view, {QPoint(40, 2), QPoint(40, 50), QPoint(40, 97)});
  t.show(2);
  morvex::testing::dragThrough(t.view, {QPoint(50, 2), QPoint(50, 50), QPoint(50, 97)});
  t.panel().keyLinesButton()->click();
  ASSERT_EQ(t.plans().plans[0].keyLines.size(), 2u);
  EXPECT_EQ(t.plans().plans[0].keyLines[1].frame, 2);
  t.main.form().pushButton_Divide_2->click();  // the tool ends; nothing was divided
  EXPECT_TRUE(t.panel().figuresLabel()->text().contains("Choose the side"));
  // the plan's cut still shows, on a slice between the key lines too: column 45 from border to border
  t.show(1);
  const QList<QPolygonF> cut = t.main.planKeyLineCut(morvex::PlaneAxis::Axial);
  ASSERT_EQ(cut.size(), 1);
  EXPECT_EQ(cut[0].front(), QPointF(45.5, 0.5));
  EXPECT_EQ(cut[0].back(), QPointF(45.5, N - 0.5));
  // and across the coronal view: one piece through the three slices' columns
  const QList<QPolygonF> coronal = t.main.planKeyLineCut(morvex::PlaneAxis::Coronal);
  ASSERT_EQ(coronal.size(), 1);
  ASSERT_EQ(coronal[0].size(), 3);
  EXPECT_EQ(coronal[0][1], QPointF(45.5, 1.5));
  EXPECT_EQ(std::abs(coronal[0][0].x() - coronal[0][2].x()), 10.0);
  const QImage shown = t.view->grab().toImage();
  const int y = t.view->origin().y() + t.view->displaySize().height() * 30 / N;
  int x = 0;
  while (x < shown.width() && shown.pixelColor(x, y) != QColor(0, 230, 255)) ++x;
  EXPECT_EQ(t.view->toImage(QPoint(x, y)), QPoint(45, 30)) << "the cut drawn over its pixels";

  t.panel().sideButton()->click();
  QTest::mouseClick(t.view, Qt::LeftButton, Qt::NoModifier, QPoint(25, 50));
  const morvex::PlanFigures& f = t.main.planFigures();
  ASSERT_TRUE(f.sideChosen);
  // columns 20..39, 20..44 and 20..49 of 60 removed on the three slices: 25 of 60 on average
  EXPECT_NEAR(f.resectedMl / f.totalMl, 75.0 / 180.0, 0.01);
  ASSERT_EQ(f.tumours.size(), 1u);
  EXPECT_FALSE(f.tumours[0].whollyResected);
  EXPECT_TRUE(t.panel().figuresLabel()->text().contains("Remnant volume"));
  EXPECT_TRUE(t.panel().warningsLabel()->text().contains("tumour 1"));  // 10 mm default margin
  EXPECT_TRUE(t.main.planReadoutLine().startsWith("Remnant"));
  for (int k = 0; k < 3; ++k) {
    const uint8_t* now = static_cast<const morvex::Study&>(t.main.study()).labelImage(k);
    EXPECT_TRUE(std::equal(t.before[k].begin(), t.before[k].end(), now)) << "slice " << k;
  }

  // thresholds and undo
  t.panel().remnantThreshold()->setValue(80);
  EXPECT_EQ(t.plans().thresholds.remnantPercent, 80);
  EXPECT_TRUE(t.panel().warningsLabel()->text().contains("below the threshold"));
  t.panel().undoButton()->click();  // the side click
  EXPECT_FALSE(t.plans().plans[0].hasSide);
  t.panel().list()->setCurrentRow(0);
  t.panel().deleteButton()->click();
  EXPECT_TRUE(t.plans().plans.empty());
  t.panel().undoButton()->click();
  ASSERT_EQ(t.plans().plans.size(), 1u);
  EXPECT_EQ(t.plans().plans[0].name, "Left part");
}

TEST(PlanWidget, PlansTravelWithTheSeriesMasksAndABrokenFileIsRefusedByName) {
  Planning t;
  t.panel().addButton()->click();
  t.panel().addButton()->click();
  t.panel().marginThreshold()->setValue(6.5);
  morvex::testing::TempDir out;
  t.main.setDirectoryChooser([&] { return QString::fromStdString(out.path()); });
  t.main.saveFileDir();
  QStringList tiffs = QDir(QString::fromStdString(out.path())).entryList({"*.tiff"});
  ASSERT_EQ(tiffs.size(), 1);
  const std::string tiff = out.file(tiffs[0].toStdString());
  const std::string planFile = morvex::planFileBeside(tiff);
  QFile json(QString::fromStdString(planFile));
  ASSERT_TRUE(json.open(QIODevice::ReadOnly));
  EXPECT_EQ(QJsonDocument::fromJson(json.readAll()).object().value("marginThresholdMm").toDouble(), 6.5);

  Planning again;
  again.main.readMask(QStringList{QString::fromStdString(tiff)});
  ASSERT_EQ(again.plans().plans.size(), 2u);
  EXPECT_EQ(again.panel().list()->count(), 2);
  EXPECT_EQ(again.plans().thresholds.marginMm, 6.5);

  std::ofstream(planFile) << R"({"format": "morvex-resection-plans", "version": 1, "plans": [{"name": 3}]})";
  Planning broken;
  broken.main.readMask(QStringList{QString::fromStdString(tiff)});
  EXPECT_TRUE(broken.plans().plans.empty());
  ASSERT_FALSE(broken.warnings.isEmpty());
  EXPECT_TRUE(broken.warnings.last().contains(QString::fromStdString(planFile))) << broken.warnings.last().toStdString();

  // the report of the panel's button
  const QString pdf = QString::fromStdString(out.file("r.pdf"));
  t.main.setReportPathChooser([&] { return pdf; });
  t.panel().reportButton()->click();
  QFile report(pdf);
  ASSERT_TRUE(report.open(QIODevice::ReadOnly));
  EXPECT_TRUE(report.read(5) == "%PDF-");
}

TEST(PlanWidget, FiguresFollowLabelEditsUndoAndTheSeriesShown) {
  Planning t(2);
  ASSERT_EQ(t.main.study().seriesCount(), 2);
  int other = 0;
  while (t.main.study().seriesOfFrame(other) == t.main.study().seriesOfFrame(0)) ++other;
  t.panel().addButton()->click();
  t.main.form().pushButton_Divide_2->click();
  morvex::testing::dragThrough(t.view, {QPoint(40, 2), QPoint(40, 50), QPoint(40, 97)});
  t.panel().keyLinesButton()->click();
  t.main.form().pushButton_Divide_2->click();
  t.panel().sideButton()->click();
  QTest::mouseClick(t.view, Qt::LeftButton, Qt::NoModifier, QPoint(25, 50));
  ASSERT_TRUE(t.main.planFigures().sideChosen);
  const double tumour = t.main.planFigures().tumourMl;
  const QString shown = t.panel().figuresLabel()->text();

  // a cancer brush stroke on the kept side: the panel follows without a plan change
  t.main.showLabelImage(morvex::kCancer);
  t.main.setBrushState();
  QTest::mouseClick(t.view, Qt::LeftButton, Qt::NoModifier, QPoint(70, 30));
  QTRY_VERIFY(t.main.planFigures().tumourMl > tumour);
  EXPECT_NE(t.panel().figuresLabel()->text(), shown);
  EXPECT_EQ(t.main.planFigures().tumours.size(), 2u);
  t.main.undoHistory();
  QTRY_COMPARE(t.main.planFigures().tumourMl, tumour);
  QTRY_COMPARE(t.panel().figuresLabel()->text(), shown);

  // the other series has its own plans (none yet); back on the first, its plan and figures
  t.show(other);
  QTRY_VERIFY(t.planNames().isEmpty());
  EXPECT_TRUE(t.panel().figuresLabel()->text().isEmpty()) << t.panel().figuresLabel()->text().toStdString();
  t.panel().addButton()->click();
  t.panel().addButton()->click();
  EXPECT_EQ(t.planNames(), QStringList({"Plan 1", "Plan 2"}));
  t.show(0);
  QTRY_COMPARE(t.planNames(), QStringList{"Plan 1"});
  QTRY_COMPARE(t.panel().figuresLabel()->text(), shown);
}
