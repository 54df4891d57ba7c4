// The main window's connection table walked row by row: each sender fires its signal (by a click,
// a value, a trigger or an emitted item signal) and the row's effect is looked for. A control that
// loses its connection fails its row by name.
// (The live-wire tracing behind pushButton_Livewire, the vessel growth behind pushButton_VesselSeg2
// and Save(Group) have window tests of their own.)

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "analysis/chistogram_view.h"
#include "tests/analysis_fixture.h"

namespace {

// Runs drive and answers the first modal dialog it opens; returns that dialog's name filters
// (or its title when it has none), "" when no dialog came.
QString modalDialogOf(const std::function<void()>& drive) {
  QString seen;
  QTimer timer;
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    auto* files = qobject_cast<QFileDialog*>(dialog);
    seen = files ? files->nameFilters().join(";") : dialog->windowTitle();
    dialog->reject();
  });
  timer.start();
  drive();
  timer.stop();
  return seen;
}

struct Row {
  const char* sender;
  const char* signal;
  std::function<bool()> fireAndSee;
};

}  // namespace

TEST(ConnectionTable, EverySenderReachesItsEffect) {
  morvex::testing::AnalysisWindow c;
  Morvex& m = c.main;
  Ui::MorvexClass& ui = m.form();
  morvex::Study& study = m.study();
  int chooserCalls = 0;
  m.setDirectoryChooser([&] {
    ++chooserCalls;
    return QString();
  });
  const int first = study.firstFrameOfSeries(0);
  const int i0 = study.instanceNumber(first);
  auto frameLabels = [&] { return study.labelImage(m.currentFrame()); };
  auto toggles = [](const std::function<bool()>& state, const std::function<void()>& fire) {
    const bool before = state();
    fire();
    return state() != before;
  };
  auto selectionChangedBy = [&](const std::function<void()>& fire) {
    const long before = c.selectedPixels();
    fire();
    return c.selectedPixels() != before;
  };
  // a Divide button starts its mode; a second press ends it
  auto divides = [&](QPushButton* button, morvex::CLiverDivider::Mode mode) {
    button->click();
    const bool started = m.liverDivider() && m.liverDivider()->mode() == mode;
    button->click();
    return started && !m.liverDivider();
  };
  auto layerItem = [&](const char* name) {
    return ui.treeWidget_Label->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0);
  };

  const std::vector<Row> rows = {
      {"open action", "triggered", [&] {
         return modalDialogOf([&] { ui.actionOpen->trigger(); }).contains("*.dcm");
       }},
      {"load-mask action", "triggered", [&] {
         return modalDialogOf([&] { ui.actionLoadMask->trigger(); }).contains("*.tiff");
       }},
      {"save action", "triggered", [&] {
         ui.actionSave->trigger();
         return chooserCalls == 1;
       }},
      {"save-all action", "triggered", [&] {
         ui.actionSaveAll->trigger();
         return chooserCalls == 2;
       }},
      {"undo action", "triggered", [&] {
         const uint8_t shown = frameLabels()[100];
         frameLabels()[100] = 7;
         m.pushUndo(3);
         ui.actionUndo->trigger();
         return frameLabels()[100] == shown;
       }},
      {"adjust-intensity action", "triggered",
       [&] { return toggles([&] { return m.adjustIntensityMode(); }, [&] { ui.actionAdjustIntensity->trigger(); }); }},
      {"display-annotation action", "triggered",
       [&] { return toggles([&] { return m.displayAnnotation(); }, [&] { ui.actionDisplayAnnotation->trigger(); }); }},
      {"spinBox_Slice1", "valueChanged", [&] {
         ui.spinBox_Slice1->setValue(i0 + 2);
         return m.sliceStart() == 2;
       }},
      {"spinBox_Slice2", "valueChanged", [&] {
         ui.spinBox_Slice2->setValue(i0 + 5);
         return m.sliceEnd() == 5;
       }},
      {"pushButton_VesselSeg", "clicked", [&] {
         ui.pushButton_VesselSeg->click();
         return m.vesselHistogramMode();
       }},
      {"spinBox_VesselLow", "valueChanged", [&] { return selectionChangedBy([&] { ui.spinBox_VesselLow->setValue(50); }); }},
      {"spinBox_VesselHigh", "valueChanged", [&] {
         const bool changed = selectionChangedBy([&] { ui.spinBox_VesselHigh->setValue(60); });
         m.stopAllMode(true);  // leave the mode without turning the selection into vessels
         return changed;
       }},
      {"comboBox_Histogram", "currentIndexChanged", [&] {
         ui.comboBox_Histogram->setCurrentIndex(3);
         return m.displayHistogram()->lowValue() == -150 && m.displayHistogram()->highValue() == 150;
       }},
      {"first histogram view", "valueChanged", [&] {
         m.displayHistogram()->setValues(40, 400);
         return ui.spinBox_histogram_low->value() == 40 && ui.spinBox_histogram_high->value() == 400;
       }},
      {"spinBox_histogram_low", "valueChanged", [&] {
         ui.spinBox_histogram_low->setValue(10);
         return m.displayHistogram()->preset() == 4 && m.displayHistogram()->lowValue() == 10 - 200;
       }},
      {"spinBox_histogram_high", "valueChanged", [&] {
         ui.spinBox_histogram_high->setValue(100);
         return m.displayHistogram()->highValue() == 10 + 50;
       }},
      {"tabWidget_toolOption", "currentChanged", [&] {
         ui.tabWidget_toolOption->setCurrentIndex(1);
         const bool outline = m.outlineMode();
         ui.tabWidget_toolOption->setCurrentIndex(0);
         return outline && !m.outlineMode();
       }},
      {"spinBox_2", "valueChanged", [&] {
         ui.spinBox_2->setValue(17);
         return ui.horizontalSlider_BrushSize->value() == 17;
       }},
      {"horizontalSlider_BrushSize", "valueChanged", [&] {
         ui.horizontalSlider_BrushSize->setValue(23);
         return ui.spinBox_2->value() == 23 && m.brushSize() == 23;
       }},
      {"pushButton_left", "clicked", [&] { return toggles([&] { return m.liverOption() == 2; }, [&] { ui.pushButton_left->click(); }); }},
      {"pushButton_right", "clicked", [&] { return toggles([&] { return m.liverOption() == 2; }, [&] { ui.pushButton_right->click(); }); }},
      {"radioButton", "clicked", [&] {
         ui.radioButton->click();
         return !m.liver3D();
       }},
      {"pushButton_LiverSeg", "clicked", [&] {
         study.fillLabelImage(m.currentFrame(), 0);  // 2D run on a frame without outline: asks for one
         c.warnings.clear();
         ui.pushButton_LiverSeg->click();
         return c.warnings.size() == 1;
       }},
      {"radioButton_2", "clicked", [&] {
         ui.radioButton_2->click();
         return m.liver3D();
       }},
      {"pushButton_Divide", "clicked", [&] { return divides(ui.pushButton_Divide, morvex::CLiverDivider::Mode::Series); }},
      {"pushButton_Divide_2", "clicked", [&] {
         return divides(ui.pushButton_Divide_2, morvex::CLiverDivider::Mode::Interpolation);
       }},
      {"pushButton_Divide_3", "clicked", [&] { return divides(ui.pushButton_Divide_3, morvex::CLiverDivider::Mode::Single); }},
      {"pushButton_Livewire", "clicked", [&] { ui.pushButton_Livewire->click(); return m.toolMode() == ToolMode::LiveWireMode; }},
      {"pushButton_SelectionTool", "clicked", [&] { ui.pushButton_SelectionTool->click(); return m.toolMode() == ToolMode::RegionGrowingMode; }},
      {"pushButton_Add", "clicked", [&] { ui.pushButton_Add->click(); return m.toolMode() == ToolMode::AddMode; }},
      {"pushButton_Cut", "clicked", [&] { ui.pushButton_Cut->click(); return m.toolMode() == ToolMode::CutMode; }},
      {"pushButton_Brush", "clicked", [&] { ui.pushButton_Brush->click(); return m.toolMode() == ToolMode::BrushMode; }},
      {"pushButton_Eraser", "clicked", [&] { ui.pushButton_Eraser->click(); return m.toolMode() == ToolMode::EraserMode; }},
      {"tabWidget_Tool", "currentChanged", [&] {
         ui.tabWidget_Tool->setCurrentIndex(1);
         return m.liverHistogramMode() && m.liverHistogram()->model().hasBins();
       }},
      {"pushButton_LiverHistogramThresholdAuto", "clicked", [&] {
         const int low = ui.spinBox_LiverHistogram_low->value(), high = ui.spinBox_LiverHistogram_high->value();
         ui.pushButton_LiverHistogramThresholdAuto->click();
         return ui.spinBox_LiverHistogram_low->value() != low && ui.spinBox_LiverHistogram_high->value() != high;
       }},
      {"radioButton_LiverHistogram_lowhigh", "clicked", [&] { return selectionChangedBy([&] { ui.radioButton_LiverHistogram_lowhigh->click(); }); }},
      {"radioButton_LiverHistogram_low", "clicked", [&] { return selectionChangedBy([&] { ui.radioButton_LiverHistogram_low->click(); }); }},
      {"radioButton_LiverHistogram_high", "clicked", [&] { return selectionChangedBy([&] { ui.radioButton_LiverHistogram_high->click(); }); }},
      {"radioButton_LiverAreaOption3", "clicked", [&] {
         const long before = c.selectedPixels();
         ui.radioButton_LiverAreaOption3->click();  // no left lobe in this series
         return before > 0 && c.selectedPixels() == 0;
       }},
      {"radioButton_LiverAreaOption2", "clicked", [&] {
         ui.radioButton_LiverAreaOption1->setChecked(true);  // no signal: the selection is redone by hand
         m.setHistogramOption();
         const long before = c.selectedPixels();
         ui.radioButton_LiverAreaOption2->click();
         return before > 0 && c.selectedPixels() == 0;
       }},
      {"radioButton_LiverAreaOption1", "clicked", [&] {
         ui.radioButton_LiverAreaOption1->click();
         return c.selectedPixels() > 0;
       }},
      {"second histogram view", "valueChanged", [&] {
         m.liverHistogram()->setValues(50, 70);
         return ui.spinBox_LiverHistogram_low->value() == 50 && ui.spinBox_LiverHistogram_high->value() == 70;
       }},
      {"spinBox_LiverHistogram_low", "valueChanged", [&] {
         ui.spinBox_LiverHistogram_low->setValue(55);
         return m.liverHistogram()->lowValue() == 55;
       }},
      {"spinBox_LiverHistogram_high", "valueChanged", [&] {
         ui.spinBox_LiverHistogram_high->setValue(65);
         return m.liverHistogram()->highValue() == 65;
       }},
      {"pushButton_HistogramSave", "clicked", [&] {
         ui.pushButton_HistogramSave->click();
         const std::string name = "/histogram_SYN0001_SYNTH^LIVER_20260101_" +
                                  std::to_string(study.instanceNumber(m.currentFrame())) + ".csv";
         return std::filesystem::exists(c.series + name);
       }},
      {"spinBox", "valueChanged", [&] {
         ui.spinBox->setValue(30);
         return ui.horizontalSlider_LabelOpacity->value() == 30;
       }},
      {"horizontalSlider_LabelOpacity", "valueChanged", [&] {
         ui.horizontalSlider_LabelOpacity->setValue(80);
         return ui.spinBox->value() == 80 && m.opacity() == 0.8f;
       }},
      {"treeWidget_Label", "itemClicked", [&] {
         emit ui.treeWidget_Label->itemClicked(layerItem("Cancer"), 0);
         return m.currentLabel() == 3;
       }},
      {"treeWidget_Label", "itemCollapsed", [&] {
         QTreeWidgetItem* item = layerItem("MergedImage");
         item->setExpanded(false);  // emits itemCollapsed; the layer panel opens it again
         return item->isExpanded();
       }},
      {"pushButton_Apply", "clicked", [&] {
         ui.tabWidget_Tool->setCurrentIndex(0);  // leaves the analysis page and its selection
         study.selectionImage(m.currentFrame())[5] = 255;
         ui.pushButton_Apply->click();
         return frameLabels()[5] == 3;
       }},
      {"pushButton_Delete", "clicked", [&] {
         ui.pushButton_Delete->click();  // current label 3: its pixels go
         const int n = study.width(m.currentFrame()) * study.height(m.currentFrame());
         return std::count(frameLabels(), frameLabels() + n, 3) == 0;
       }},
      {"pushButton_DeleteAll", "clicked", [&] {
         ui.pushButton_DeleteAll->click();
         return c.labelCount(1) == 0 && c.labelCount(2) == 0;
       }},
      {"treeWidget_FileDirectory", "itemDoubleClicked", [&] {
         const int target = m.currentFrame() == first ? first + 1 : first;
         for (QTreeWidgetItemIterator it(ui.treeWidget_FileDirectory); *it; ++it)
           if ((*it)->text(1) == QString::number(target)) emit ui.treeWidget_FileDirectory->itemDoubleClicked(*it, 0);
         return m.currentFrame() == target;
       }},
  };
  for (const Row& row : rows) EXPECT_TRUE(row.fireAndSee()) << row.sender << " " << row.signal;
}
