// Tool modes, keyboard, tabs, the layer panel and undo, driven through the real main window.

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include "tests/testing_support.h"
#include "view/cimage.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

QStringList g_debugLines;
void collectDebug(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtDebugMsg) g_debugLines << text;
}

struct Window {
  Morvex main;
  Window() { morvex::setWarningInterceptor([](const QString&) {}); }
  ~Window() { morvex::setWarningInterceptor({}); }
  void load() { main.openPaths({QString::fromStdString(morvex::testing::smallSyntheticSeries())}); }
  std::vector<QPushButton*> checkedTools() {
    std::vector<QPushButton*> out;
    Ui::MorvexClass& ui = main.form();
    for (QPushButton* b : {ui.pushButton_Cut, ui.pushButton_Eraser, ui.pushButton_Brush, ui.pushButton_Add,
                           ui.pushButton_SelectionTool, ui.pushButton_Livewire})
      if (b->isChecked()) out.push_back(b);
    return out;
  }
  void clickLayer(const char* name) {
    QTreeWidget* tree = main.form().treeWidget_Label;
    QTreeWidgetItem* item = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    ASSERT_NE(item, nullptr) << name;
    item->setHidden(false);
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(item).center());
  }
};

}  // namespace

TEST(ToolKeys, BThenELeavesOnlyTheEraserAndLogsBothModes) {
  Window w;
  g_debugLines.clear();
  QtMessageHandler previous = qInstallMessageHandler(collectDebug);
  QTest::keyClick(&w.main, Qt::Key_B);
  QTest::keyClick(&w.main, Qt::Key_E);
  qInstallMessageHandler(previous);
  EXPECT_EQ(w.main.toolMode(), ToolMode::EraserMode);
  ASSERT_EQ(w.checkedTools().size(), 1u);
  EXPECT_EQ(w.checkedTools()[0], w.main.form().pushButton_Eraser);
  EXPECT_TRUE(g_debugLines.contains("BrushMode"));
  EXPECT_TRUE(g_debugLines.contains("EraserMode"));

  QTest::keyClick(&w.main, Qt::Key_R);
  QTest::keyClick(&w.main, Qt::Key_R);
  EXPECT_EQ(w.main.toolMode(), ToolMode::BodyRegionGrowingMode) << "R twice keeps body region growing";
  EXPECT_TRUE(w.checkedTools().empty());
  QTest::mouseClick(w.main.form().pushButton_Cut, Qt::LeftButton);
  EXPECT_EQ(w.main.toolMode(), ToolMode::CutMode);
}

TEST(ToolKeys, DigitsSetTheOpacityAndBracketsTheBrushSizeWithinTheirLimits) {
  Window w;
  QSlider* slider = w.main.form().horizontalSlider_LabelOpacity;
  QTest::keyClick(&w.main, Qt::Key_5);
  EXPECT_FLOAT_EQ(w.main.opacity(), 0.5f);
  EXPECT_EQ(slider->value(), 50);
  QTest::keyClick(&w.main, Qt::Key_9);
  EXPECT_FLOAT_EQ(w.main.opacity(), 0.9f);
  QTest::keyClick(&w.main, Qt::Key_0);
  EXPECT_EQ(slider->value(), 1) << "the slider stops at its minimum";
  EXPECT_FLOAT_EQ(w.main.opacity(), 0.01f) << "and its change sets 0.01";
  QTest::keyClick(&w.main, Qt::Key_0);
  EXPECT_FLOAT_EQ(w.main.opacity(), 0.0f) << "with the slider already at 1 the opacity stays 0";

  // the brush size keys and their limits
  QSpinBox* size = w.main.form().spinBox_2;
  QTest::keyClick(&w.main, Qt::Key_BracketRight);
  EXPECT_EQ(w.main.brushSize(), 6);
  EXPECT_EQ(w.main.form().horizontalSlider_BrushSize->value(), 6);
  size->setValue(300);
  QTest::keyClick(&w.main, Qt::Key_BracketRight);
  EXPECT_EQ(w.main.brushSize(), 300);
  QTest::keyClick(&w.main, Qt::Key_Minus, Qt::AltModifier);
  EXPECT_EQ(w.main.brushSize(), 299);
  size->setValue(30);
  QTest::keyClick(&w.main, Qt::Key_Plus, Qt::AltModifier);
  EXPECT_EQ(w.main.brushSize(), 30) << "Alt with + stops at 30";
  QTest::keyClick(&w.main, Qt::Key_Plus);
  EXPECT_EQ(w.main.brushSize(), 30) << "+ without Alt does nothing";
  size->setValue(1);
  QTest::keyClick(&w.main, Qt::Key_BracketLeft);
  QTest::keyClick(&w.main, Qt::Key_Minus, Qt::AltModifier);
  EXPECT_EQ(w.main.brushSize(), 1);
}

TEST(ToolKeys, UpDownCtrlAndTheSliceRange) {
  Window w;
  w.load();
  const int last = w.main.study().frameCount() - 1;
  ASSERT_EQ(w.main.currentFrame(), last);
  QTest::keyClick(&w.main, Qt::Key_Down);
  EXPECT_EQ(w.main.currentFrame(), last) << "Down on the last frame does nothing";
  QTest::keyClick(&w.main, Qt::Key_Up);
  EXPECT_EQ(w.main.currentFrame(), last - 1);
  EXPECT_EQ(w.main.form().treeWidget_FileDirectory->currentItem()->text(1).toInt(), last - 1);
  EXPECT_EQ(w.main.imageViews().value(0)->frameIndex(), last - 1);

  QTest::keyPress(&w.main, Qt::Key_Control);
  EXPECT_TRUE(w.main.ctrlHeld());
  QTest::keyRelease(&w.main, Qt::Key_Control);
  EXPECT_FALSE(w.main.ctrlHeld());

  w.main.form().spinBox_Slice1->setValue(20);
  w.main.form().spinBox_Slice2->setValue(5);
  EXPECT_EQ(w.main.sliceStart(), 4) << "offsets into the series, put in order";
  EXPECT_EQ(w.main.sliceEnd(), 19);
  EXPECT_EQ(w.main.form().spinBox_Slice1->value(), 5);
  EXPECT_EQ(w.main.form().spinBox_Slice2->value(), 20);
}

TEST(ToolKeys, SliceAndToolKeysReachTheWindowFromAnyWidgetButANumberBeingTyped) {
  Window w;
  w.load();
  Ui::MorvexClass& ui = w.main.form();
  for (int f = 0; f < w.main.study().frameCount(); ++f) w.main.study().fillLabelImage(f, 0);
  const int last = w.main.currentFrame();
  // LiverSeg clicked (no outline: it only warns), then Up sent where the focus now is
  QTest::mouseClick(ui.pushButton_LiverSeg, Qt::LeftButton);
  QTest::keyClick(ui.pushButton_LiverSeg, Qt::Key_Up);
  EXPECT_EQ(w.main.currentFrame(), last - 1);
  QTest::keyClick(ui.pushButton_Brush, Qt::Key_Up);
  EXPECT_EQ(w.main.currentFrame(), last - 2) << "a tool button does not keep the arrow keys";
  QTest::keyClick(ui.treeWidget_FileDirectory, Qt::Key_E);
  EXPECT_EQ(w.main.toolMode(), ToolMode::EraserMode);
  QTest::keyClick(ui.horizontalSlider_LabelOpacity, Qt::Key_7);
  EXPECT_FLOAT_EQ(w.main.opacity(), 0.7f);

  // typing a brush size: digits and arrows belong to the number, a letter to the window
  QSpinBox* size = ui.spinBox_2;
  QTest::keyClick(size, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(size, "12");
  EXPECT_EQ(w.main.brushSize(), 12);
  EXPECT_FLOAT_EQ(w.main.opacity(), 0.7f) << "the digits went into the field";
  QTest::keyClick(size, Qt::Key_Up);
  EXPECT_EQ(w.main.brushSize(), 13);
  EXPECT_EQ(w.main.currentFrame(), last - 2);
  QTest::keyClick(size, Qt::Key_B);
  EXPECT_EQ(w.main.toolMode(), ToolMode::BrushMode);
  EXPECT_EQ(w.main.brushSize(), 13);
  // Return ends the edit: the focus leaves the field
  w.main.show();
  QApplication::setActiveWindow(&w.main);
  size->setFocus();
  ASSERT_TRUE(size->hasFocus());
  QTest::keyClick(size, Qt::Key_Return);
  EXPECT_FALSE(size->hasFocus());
}

// (the analysis page's modes are the analysis window test's; here only what a tab change does to tools)
TEST(ToolTabs, ATabChangeStopsEveryToolAndTheVesselPageDrawsOutlines) {
  Window w;
  w.load();
  QTest::keyClick(&w.main, Qt::Key_B);
  w.main.form().tabWidget_Tool->setCurrentIndex(1);
  EXPECT_EQ(w.main.toolMode(), ToolMode::NoMode) << "a tab change stops every tool";
  w.main.form().tabWidget_Tool->setCurrentIndex(0);
  w.main.form().tabWidget_toolOption->setCurrentIndex(1);
  EXPECT_TRUE(w.main.outlineMode()) << "the vessel option page draws liver outlines too";
  EXPECT_FALSE(w.main.liverHistogramMode());
}

TEST(LabelLayers, TreeAtStartClicksAndDuplicates) {
  Window w;
  QTreeWidget* tree = w.main.form().treeWidget_Label;
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "Image");
  EXPECT_EQ(tree->topLevelItem(1)->text(0), "MergedImage");
  EXPECT_TRUE(tree->topLevelItem(0)->child(0)->isHidden()) << "the working selection starts hidden";
  QTreeWidgetItem* merged = tree->topLevelItem(1);
  ASSERT_EQ(merged->childCount(), 3);
  EXPECT_TRUE(merged->child(2)->isDisabled()) << "Cancer";
  EXPECT_TRUE(merged->child(0)->child(0)->isHidden()) << "Liver(Left)";
  EXPECT_EQ(w.main.labelTable().size(), 7);
  EXPECT_EQ(w.main.study().labelCount(), 7);
  EXPECT_EQ(w.main.currentLabel(), 1) << "start-up ends on the liver layer";
  EXPECT_TRUE(merged->child(0)->isSelected());

  w.clickLayer("Vessel");
  EXPECT_EQ(w.main.currentLabel(), 2);
  w.clickLayer("Selected Region (Working)");
  EXPECT_EQ(w.main.currentLabel(), 255);
  w.clickLayer("Image");
  EXPECT_EQ(w.main.currentLabel(), 1);
  w.main.setCurrentLabel(7);
  w.clickLayer("Liver(Right)");
  EXPECT_EQ(w.main.currentLabel(), 7) << "layers outside the table of clicks change nothing";

  w.main.addLayerItem("Vessel", "Image", 1, 2, 3);
  EXPECT_EQ(w.main.labelTable().size(), 7) << "a duplicate name adds nothing";
  EXPECT_EQ(tree->topLevelItem(0)->childCount(), 1);
  w.main.addLayerItem("Muscle", "NoSuchParent", 200, 10, 10);
  EXPECT_EQ(tree->topLevelItemCount(), 3) << "an unknown parent makes a top-level layer";
  EXPECT_EQ(w.main.getLabelIdx("Muscle"), 8);

  w.main.showLabelImage(3);
  EXPECT_TRUE(merged->child(2)->isSelected());
  EXPECT_EQ(w.main.currentLabel(), 3);
}

TEST(LiverSegmentationWindow, OptionsOutlineWarningAndARun) {
  Window w;
  Ui::MorvexClass& ui = w.main.form();
  EXPECT_EQ(w.main.liverOption(), 2);
  QTest::mouseClick(ui.pushButton_left, Qt::LeftButton);
  EXPECT_EQ(ui.label_liver->text(), "Soft");
  QTest::mouseClick(ui.pushButton_left, Qt::LeftButton);
  EXPECT_EQ(w.main.liverOption(), 3) << "0 wraps to 3";
  EXPECT_EQ(ui.label_liver->text(), "Hard");
  QTest::mouseClick(ui.pushButton_right, Qt::LeftButton);
  EXPECT_EQ(w.main.liverOption(), 1) << "4 wraps to 1";
  QTest::mouseClick(ui.pushButton_right, Qt::LeftButton);
  EXPECT_EQ(ui.label_liver->text(), "Default");
  QTest::mouseClick(ui.radioButton, Qt::LeftButton);
  EXPECT_FALSE(w.main.liver3D());
  QTest::mouseClick(ui.radioButton_2, Qt::LeftButton);
  EXPECT_TRUE(w.main.liver3D());

  w.main.undoHistory();  // no study: nothing happens
  w.main.redoHistory();
  EXPECT_EQ(w.main.liverSegmentation(), -1) << "no study";
  QStringList warnings;
  morvex::setWarningInterceptor([&](const QString& text) { warnings << text; });
  w.load();
  for (int f = 0; f < w.main.study().frameCount(); ++f) w.main.study().fillLabelImage(f, 0);
  w.main.study().labelImage(3)[7] = 2;
  EXPECT_EQ(w.main.liverSegmentation(), -1);
  ASSERT_EQ(warnings.size(), 1);
  EXPECT_EQ(warnings[0], QString::fromUtf8("간 영역을 입력해주세요"));
  EXPECT_EQ(w.main.study().labelImage(3)[7], 2) << "nothing changed";

  // An outline on the shown slice: the run writes liver and ends with the bar hidden.
  const int f = w.main.currentFrame() - 12;
  w.main.showImage(f);
  const morvex::Frame* frame = w.main.study().frame(f);
  for (int y = 40; y < 80; ++y)
    for (int x = 25; x < 60; ++x) w.main.study().labelImage(f)[y * frame->header.width + x] = 1;
  QSignalSpy progress(w.main.progressBar(), &QProgressBar::valueChanged);
  EXPECT_EQ(w.main.liverSegmentation(), 1);
  EXPECT_GE(progress.count(), 2) << "the bar advances while the run blocks the window";
  EXPECT_FALSE(w.main.progressBar()->isVisible());
  EXPECT_GT(std::count(w.main.study().labelImage(f), w.main.study().labelImage(f) + 128 * 128, 1), 100);
  EXPECT_EQ(w.main.study().labelImage(3)[7], 0) << "3D runs clear the other labels of the series";
}
