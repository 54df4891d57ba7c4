// The main window's form: object names, captions, ranges and defaults the rest of the program and
// its users rely on, the actions with their shortcuts, the menu and the toolbar.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>

#include "workspace/morvex.h"

namespace {

template <typename W>
W* find(Morvex& m, const char* name) {
  W* w = m.findChild<W*>(name);
  // callers use the widget at once: a missing one ends that test, not the whole program
  if (!w) throw std::runtime_error(std::string("no widget ") + name);
  return w;
}

}  // namespace

TEST(MainForm, CaptionsRangesDefaultsActionsMenuAndToolbar) {
  Morvex m;
  EXPECT_EQ(m.objectName(), "MorvexClass");
  EXPECT_EQ(m.windowTitle(), "Morvex");
  EXPECT_EQ(m.focusPolicy(), Qt::StrongFocus);
  EXPECT_TRUE(m.hasMouseTracking());
  const std::pair<const char*, const char*> labels[] = {
      {"label_4", " SliceNo. "}, {"label_3", "~"}, {"label_17", "Vessel"}, {"label_20", "~"}, {"label_23", "WL"},
      {"label_24", "WW"}, {"label_2", "Brush Size"}, {"label_10", "(C)ut"}, {"label_9", "(E)raser"},
      {"label_8", "(B)rush"}, {"label_7", "(A)dd"}, {"label_5", "(S)elect"}, {"label_6", "(L)ivewire"},
      {"label_liver", "Default"}, {"label_12", "초기 Seed Pixel 허용"}, {"label_18", "확장 Seed Pixel 허용"},
      {"label_19", "Seed 영역 축소 범위"}, {"Vessel", "Vessel"}, {"label_33", "low"}, {"label_34", "high"},
      {"label_35", "Save"}, {"label", "Opacity"}};
  for (const auto& [name, text] : labels)
    if (QLabel* l = find<QLabel>(m, name)) EXPECT_EQ(l->text(), QString::fromUtf8(text)) << name;
  EXPECT_TRUE(find<QLabel>(m, "label_36")->text().contains("Save(Group)"));

  const std::pair<const char*, const char*> buttons[] = {
      {"pushButton_VesselSeg", "On"}, {"pushButton_left", "<"}, {"pushButton_right", ">"},
      {"pushButton_LiverHistogramThresholdAuto", "Auto"}, {"pushButton_Apply", "Apply"},
      {"pushButton_Delete", "Delete"}, {"pushButton_DeleteAll", "DeleteAll"}};
  for (const auto& [name, text] : buttons)
    if (QPushButton* b = find<QPushButton>(m, name)) EXPECT_EQ(b->text(), text) << name;
  for (const char* name : {"pushButton_Cut", "pushButton_Eraser", "pushButton_Brush", "pushButton_Add",
                           "pushButton_SelectionTool", "pushButton_ROI", "pushButton_Livewire"}) {
    QPushButton* b = find<QPushButton>(m, name);
    EXPECT_TRUE(b->text().isEmpty()) << name;
    EXPECT_TRUE(b->isCheckable()) << name;
    EXPECT_FALSE(b->icon().isNull()) << name << " has its picture";
  }
  EXPECT_TRUE(find<QPushButton>(m, "pushButton_LiverOption")->isFlat());
  EXPECT_FALSE(find<QPushButton>(m, "pushButton_LiverOption")->isCheckable());
  EXPECT_FALSE(find<QPushButton>(m, "pushButton_LiverSeg")->isCheckable());

  const std::pair<const char*, const char*> tabs[] = {
      {"tabWidget_DCM", "DICOM"}, {"tabWidget_DCMInfo", "DICOM info"}, {"tabWidget_histogram", "Histogram"},
      {"tabWidget_Tool", "Tool"}, {"tabWidget_toolOption", "Liver"}, {"tabWidget_label", "Label Image"}};
  for (const auto& [name, text] : tabs)
    if (QTabWidget* t = find<QTabWidget>(m, name)) EXPECT_EQ(t->tabText(0), text) << name;
  EXPECT_EQ(find<QTabWidget>(m, "tabWidget_Tool")->tabText(1), "Analysis");
  EXPECT_EQ(find<QTabWidget>(m, "tabWidget_toolOption")->tabText(1), "Vessel");

  EXPECT_TRUE(find<QRadioButton>(m, "radioButton_2")->isChecked());
  EXPECT_FALSE(find<QRadioButton>(m, "radioButton")->isChecked());
  EXPECT_TRUE(find<QRadioButton>(m, "radioButton_LiverAreaOption1")->isChecked());
  EXPECT_EQ(find<QRadioButton>(m, "radioButton_LiverAreaOption2")->text(), QString::fromUtf8("간우엽"));
  EXPECT_EQ(find<QRadioButton>(m, "radioButton_LiverHistogram_lowhigh")->text(), "low~high");

  struct Range {
    const char* name;
    int lo, hi, value;
  };
  const Range spins[] = {{"spinBox_Slice1", 0, 9999, 0},           {"spinBox_Slice2", 0, 9999, 0},
                         {"spinBox_VesselLow", -9999, 9999, 0},    {"spinBox_VesselHigh", 0, 9999, 9999},
                         {"spinBox_histogram_low", -9999, 9999, 0}, {"spinBox_histogram_high", -9999, 9999, 0},
                         {"spinBox_2", 0, 300, 5},                  {"spinBox_LiverHistogram_low", -9999, 9999, 0},
                         {"spinBox_LiverHistogram_high", -9999, 9999, 0}, {"spinBox", 1, 100, 50}};
  for (const Range& r : spins) {
    QSpinBox* s = find<QSpinBox>(m, r.name);
    EXPECT_EQ(s->minimum(), r.lo) << r.name;
    EXPECT_EQ(s->maximum(), r.hi) << r.name;
    EXPECT_EQ(s->value(), r.value) << r.name;
  }
  QSlider* brush = find<QSlider>(m, "horizontalSlider_BrushSize");
  EXPECT_EQ(brush->minimum(), 1);
  EXPECT_EQ(brush->maximum(), 300);
  EXPECT_EQ(brush->value(), 5);
  EXPECT_EQ(brush->orientation(), Qt::Horizontal);
  QSlider* opacity = find<QSlider>(m, "horizontalSlider_LabelOpacity");
  EXPECT_EQ(opacity->minimum(), 1);
  EXPECT_EQ(opacity->value(), 50);

  QDoubleSpinBox* seed = find<QDoubleSpinBox>(m, "doubleSpinBox");
  EXPECT_DOUBLE_EQ(seed->maximum(), 1.0);
  EXPECT_DOUBLE_EQ(seed->singleStep(), 0.05);
  EXPECT_DOUBLE_EQ(seed->value(), 0.2);
  EXPECT_DOUBLE_EQ(find<QDoubleSpinBox>(m, "doubleSpinBox_2")->value(), 0.15);
  QDoubleSpinBox* shrink = find<QDoubleSpinBox>(m, "doubleSpinBox_3");
  EXPECT_EQ(shrink->decimals(), 0);
  EXPECT_DOUBLE_EQ(shrink->maximum(), 5.0);
  EXPECT_DOUBLE_EQ(shrink->value(), 2.0);

  QComboBox* presets = find<QComboBox>(m, "comboBox_Histogram");
  const QStringList items = {"DCM", "Auto", "Full Dynamic", "MR PDFF (WL: 0, WW: 300)", "Custom"};
  ASSERT_EQ(presets->count(), items.size());
  for (int i = 0; i < items.size(); ++i) EXPECT_EQ(presets->itemText(i), items[i]);

  QTreeWidget* info = find<QTreeWidget>(m, "treeWidget_DICOMInfo");
  EXPECT_EQ(info->columnCount(), 2);
  EXPECT_EQ(info->headerItem()->text(0), "Description");
  EXPECT_EQ(info->headerItem()->text(1), "Value");
  EXPECT_EQ(info->indentation(), 10);
  QTreeWidget* stats = find<QTreeWidget>(m, "treeWidget_LiverHistogram_1");
  EXPECT_EQ(stats->headerItem()->text(2), "median");
  ASSERT_EQ(stats->topLevelItemCount(), 1);
  EXPECT_EQ(stats->topLevelItem(0)->text(4), "0");
  EXPECT_EQ(find<QTreeWidget>(m, "treeWidget_LiverHistogram_4")->headerItem()->text(2), "PixelCnt");
  EXPECT_FALSE(m.progressBar()->isVisible());
  EXPECT_EQ(m.progressBar()->maximumSize(), QSize(250, 15));

  struct Act {
    const char* name;
    const char* text;
    const char* tip;
    bool checkable, checked;
  };
  const Act actions[] = {{"actionOpen", "&Open", "open file", false, false},
                         {"actionLoadMask", "&Load Mask Image", "Load Mask Image", false, false},
                         {"actionSave", "&Save", "save file", false, false},
                         {"actionSaveAll", "%Save All", "save all file", false, false},
                         {"actionUndo", "&Undo", "undo", false, false},
                         {"actionDisplayAnnotation", "Display Annotation", "Display Annotation", true, true},
                         {"actionAdjustIntensity", "WL/WW", "Adjust Intensity", true, false}};
  for (const Act& a : actions) {
    QAction* act = m.findChild<QAction*>(a.name);
    ASSERT_NE(act, nullptr) << a.name;
    EXPECT_EQ(act->text(), a.text);
    EXPECT_EQ(act->statusTip(), a.tip);
    EXPECT_EQ(act->isCheckable(), a.checkable) << a.name;
    EXPECT_EQ(act->isChecked(), a.checked) << a.name;
    EXPECT_FALSE(act->icon().isNull()) << a.name;
  }
  EXPECT_EQ(m.findChild<QAction*>("actionOpen")->shortcut(), QKeySequence(QKeySequence::Open));
  EXPECT_EQ(m.findChild<QAction*>("actionSaveAll")->shortcut(), QKeySequence("Ctrl+Shift+S"));
  EXPECT_EQ(m.findChild<QAction*>("actionUndo")->shortcut(), QKeySequence(QKeySequence::Undo));

  QMenu* file = m.findChild<QMenu*>("menuFile");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->title(), "File");
  ASSERT_EQ(file->actions().size(), 3);
  EXPECT_EQ(file->actions()[1]->objectName(), "actionOpenFolder");
  EXPECT_EQ(file->actions()[2]->objectName(), "actionSave");
  QToolBar* bar = m.findChild<QToolBar*>("toolBarFile");
  ASSERT_NE(bar, nullptr);
  const QList<QAction*> tools = bar->actions();
  ASSERT_EQ(tools.size(), 11);
  EXPECT_EQ(tools[1]->objectName(), "actionOpenFolder") << "Open Folder beside Open File";
  EXPECT_EQ(tools[4]->objectName(), "actionSaveAll");
  EXPECT_EQ(bar->widgetForAction(tools[5])->width(), 160) << "the fixed gap before undo";
  EXPECT_EQ(tools[6]->objectName(), "actionUndo");
  EXPECT_EQ(tools[9]->objectName(), "actionAdjustIntensity");
  EXPECT_EQ(tools[10]->objectName(), "actionThreePlanes");
}
