// The main window's connection table walked row by row: each sender fires its signal (by a click,
// a value, a trigger or an emitted item signal) and the row's effect is looked for. A control that
// loses its connection fails its row by name.
// Senders that a window test of their own already fires through the control (the second slice range
// box, the liver option arrows and 2D / 3D choice, the divide buttons, the vessel boxes, the
// brush size box and the opacity slider, the save buttons of the analysis page, the undo action,
// the window presets, the display histogram's handles, the tool option tabs, a click on a layer)
// have no row here.

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

struct Row { const char* sender; const char* signal; std::function<bool()> fireAndSee; };

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
  auto layerItem = [&](const char* name) {
    return ui.treeWidget_Label->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0);
  };

  const std::vector<Row> rows = {
      {"open action", "triggered", [&] { return modalDialogOf([&] { ui.actionOpen->trigger(); }).contains("*.dcm"); }},
      {"load-mask action", "triggered", [&] {
         return modalDialogOf([&] { ui.actionLoadMask->trigger(); }).contains("*.tiff");
       }},
      {"save action", "triggered", [&] { ui.actionSave->trigger(); return chooserCalls == 1; }},
      {"save-all action", "triggered", [&] { ui.actionSaveAll->trigger(); return chooserCalls == 2; }},
      {"adjust-intensity action", "triggered",
       [&] { return toggles([&] { return m.adjustIntensityMode(); }, [&] { ui.actionAdjustIntensity->trigger(); }); }},
      {"display-annotation action", "triggered",
       [&] { return toggles([&] { return m.displayAnnotation(); }, [&] { ui.actionDisplayAnnotation->trigger(); }); }},
      {"spinBox_Slice1", "valueChanged", [&] {  // the key test's range changes both boxes, the second last
         ui.spinBox_Slice1->setValue(study.instanceNumber(first) + 2);
         return m.sliceStart() == 2;
       }},
      {"spinBox_histogram_high", "valueChanged", [&] {
         const int level = ui.spinBox_histogram_low->value();  // level and width
         ui.spinBox_histogram_high->setValue(100);
         return m.displayHistogram()->highValue() == level + 50;
       }},
      {"horizontalSlider_BrushSize", "valueChanged", [&] {
         ui.horizontalSlider_BrushSize->setValue(23);
         return ui.spinBox_2->value() == 23 && m.brushSize() == 23;
       }},
      {"pushButton_LiverSeg", "clicked", [&] {
         m.setLiver2D3DOption(0);
         study.fillLabelImage(m.currentFrame(), 0);  // 2D run on a frame without outline: asks for one
         c.warnings.clear();
         ui.pushButton_LiverSeg->click();
         return c.warnings.size() == 1;
       }},
      {"pushButton_Livewire", "clicked", [&] { ui.pushButton_Livewire->click(); return m.toolMode() == ToolMode::LiveWireMode; }},
      {"pushButton_SelectionTool", "clicked", [&] { ui.pushButton_SelectionTool->click(); return m.toolMode() == ToolMode::RegionGrowingMode; }},
      {"pushButton_Add", "clicked", [&] { ui.pushButton_Add->click(); return m.toolMode() == ToolMode::AddMode; }},
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
      {"radioButton_LiverAreaOption3", "clicked", [&] {
         const long before = c.selectedPixels();
         ui.radioButton_LiverAreaOption3->click();  // no left lobe in this series
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
      {"spinBox", "valueChanged", [&] {
         ui.spinBox->setValue(30);
         return ui.horizontalSlider_LabelOpacity->value() == 30;
       }},
      {"treeWidget_Label", "itemCollapsed", [&] {
         QTreeWidgetItem* item = layerItem("MergedImage");
         item->setExpanded(false);  // emits itemCollapsed; the layer panel opens it again
         return item->isExpanded();
       }},
      {"pushButton_Apply", "clicked", [&] {
         ui.tabWidget_Tool->setCurrentIndex(0);  // leaves the analysis page and its selection
         m.setCurrentLabel(3);
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
