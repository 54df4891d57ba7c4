// Fitting the window to the screen: the display-window panel sits under the file panels, so the
// tool column holds only the tools and the labels and shows all of them at the designed size;
// and a tooltip on every control saying what it does and its key.

#include <QBoxLayout>
#include <QHeaderView>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>

#include "analysis/chistogram_view.h"
#include "workspace/morvex.h"

namespace {
// Width the display histogram takes in the left column: its plot and track with their margins.
constexpr int kLeftHistogramWidth = 250;
constexpr int kLeftHistogramHeight = 122;
// The liver histogram of the Analysis page: plot, handles and HU axis.
constexpr int kLiverHistogramHeight = 106;
}  // namespace

void Morvex::moveWindowPanelToFileColumn() {
  auto* column = qobject_cast<QBoxLayout*>(ui.widget_left->layout());
  auto* from = ui.tabWidget_histogram->parentWidget() ? ui.tabWidget_histogram->parentWidget()->layout() : nullptr;
  if (!column || !from) return;
  from->removeWidget(ui.tabWidget_histogram);
  column->addWidget(ui.tabWidget_histogram);
  ui.tabWidget_histogram->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  // the file tree and the DICOM information share what is left of the column's height
  column->setStretch(0, 3);
  column->setStretch(1, 2);
  if (histogramView_) histogramView_->setViewSize(kLeftHistogramWidth, kLeftHistogramHeight);
  // the tools keep their own height; the label tree below takes what the column has left
  ui.tabWidget_Tool->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  // the Analysis page shows whole: its one-row tables take one row's height, and it does not
  // scroll on its own (the column scrolls on screens too small for it)
  for (QTreeWidget* t : {ui.treeWidget_LiverHistogram_1, ui.treeWidget_LiverHistogram_2, ui.treeWidget_LiverHistogram_3,
                         ui.treeWidget_LiverHistogram_4}) {
    const int row = t->topLevelItemCount() > 0 ? t->sizeHintForRow(0) : t->fontMetrics().height() + 4;
    t->setFixedHeight(t->header()->sizeHint().height() + row + 2 * t->frameWidth() + 2);
  }
  if (liverHistogramView_) liverHistogramView_->setViewSize(liverHistogramView_->width(), kLiverHistogramHeight);
  ui.verticalLayout_analysis->setSpacing(3);
  for (QLayout* l : {ui.groupBox_2->layout(), ui.groupBox_3->layout()})
    if (l) l->setContentsMargins(4, 2, 4, 2);
  ui.scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ui.scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ui.scrollArea->setMinimumHeight(ui.scrollAreaWidgetContents->sizeHint().height());
  ui.treeWidget_Label->setMinimumHeight(80);
  // a tab widget is as tall as its tallest page: here only the shown page counts, so the Liver
  // tools do not take the Analysis page's height from the label tree
  for (QTabWidget* tabs : {ui.tabWidget_Tool, ui.tabWidget_toolOption}) {
    auto fitShownPage = [tabs](int shown) {
      for (int i = 0; i < tabs->count(); ++i)
        tabs->widget(i)->setSizePolicy(QSizePolicy::Preferred, i == shown ? QSizePolicy::Preferred : QSizePolicy::Ignored);
      tabs->updateGeometry();
    };
    fitShownPage(tabs->currentIndex());
    connect(tabs, &QTabWidget::currentChanged, this, fitShownPage);
  }
}

void Morvex::setupToolTips() {
  const std::pair<QWidget*, QString> tips[] = {
      {ui.spinBox_Slice1, tr("First slice (instance number) of the slice range that Fill between slices works on")},
      {ui.spinBox_Slice2, tr("Last slice (instance number) of the slice range that Fill between slices works on")},
      {ui.spinBox_VesselLow, tr("Lowest intensity (HU) selected as vessel by the vessel threshold")},
      {ui.spinBox_VesselHigh, tr("Highest intensity (HU) selected as vessel by the vessel threshold")},
      {ui.pushButton_VesselSeg, tr("Vessel threshold: On selects the liver pixels in the range above; Apply makes them vessel")},
      {ui.comboBox_Histogram, tr("Display window preset")},
      {ui.spinBox_histogram_low, tr("Window level (centre of the displayed intensities, HU)")},
      {ui.spinBox_histogram_high, tr("Window width (span of the displayed intensities, HU)")},
      {ui.horizontalSlider_BrushSize, tr("Brush and eraser diameter in screen pixels (keys [ and ])")},
      {ui.spinBox_2, tr("Brush and eraser diameter in screen pixels (keys [ and ])")},
      {ui.pushButton_Cut, tr("Cut: draw a line across a region to cut it; right click removes a part (key C)")},
      {ui.pushButton_Eraser, tr("Eraser: paint to remove the current label (key E)")},
      {ui.pushButton_Brush, tr("Brush: paint the current label (key B)")},
      {ui.pushButton_Add, tr("Add: draw a closed line to add its inside to a region (key A)")},
      {ui.pushButton_SelectionTool, tr("Select: click to grow a selection from the pixel; Ctrl adds to it (key S)")},
      {ui.pushButton_ROI, tr("ROI: drag a rectangle on the image; tools then work only inside it (click again to clear)")},
      {ui.pushButton_Livewire, tr("Live wire: click points along an edge; the path follows the edge (key L, Backspace drops a point)")},
      {ui.radioButton, tr("Liver tools work on the shown slice only")},
      {ui.radioButton_2, tr("Liver tools work on the whole series")},
      {ui.pushButton_Divide_3, tr("Split the liver into left and right on this slice: draw the dividing line")},
      {ui.pushButton_Divide, tr("Split the liver into left and right through the series: draw the dividing line")},
      {ui.pushButton_Divide_2, tr("Split the liver on several slices; the slices between are interpolated")},
      {ui.pushButton_LiverSeg, tr("LiverSeg: segment the liver through the series from the outline drawn on this slice")},
      {ui.pushButton_left, tr("Softer liver segmentation")},
      {ui.pushButton_LiverOption, tr("Liver segmentation strength (Soft, Default, Hard)")},
      {ui.pushButton_right, tr("Harder liver segmentation")},
      {ui.doubleSpinBox, tr("Intensity tolerance of the initial vessel seed pixels (0 to 1)")},
      {ui.doubleSpinBox_2, tr("Intensity tolerance when the vessels grow from the seeds (0 to 1)")},
      {ui.doubleSpinBox_3, tr("Pixels by which the seed region is shrunk before growing")},
      {ui.pushButton_VesselSeg2, tr("Vessel: grow the vessels inside the liver from the selected seeds")},
      {ui.pushButton_LiverHistogramThresholdAuto, tr("Set low and high to the liver's dominant intensity range")},
      {ui.spinBox_LiverHistogram_low, tr("Low intensity (HU) of the analysis interval")},
      {ui.spinBox_LiverHistogram_high, tr("High intensity (HU) of the analysis interval")},
      {ui.radioButton_LiverAreaOption1, tr("Analyse the whole liver")},
      {ui.radioButton_LiverAreaOption2, tr("Analyse the right lobe")},
      {ui.radioButton_LiverAreaOption3, tr("Analyse the left lobe")},
      {ui.radioButton_LiverHistogram_low, tr("Select liver pixels below low")},
      {ui.radioButton_LiverHistogram_lowhigh, tr("Select liver pixels from low to high")},
      {ui.radioButton_LiverHistogram_high, tr("Select liver pixels above high")},
      {ui.pushButton_HistogramSaveGroup, tr("Save the histograms of the whole series")},
      {ui.pushButton_HistogramSave, tr("Save the histogram of the shown slice")},
      {ui.horizontalSlider_LabelOpacity, tr("Opacity of the label colours over the image (keys 0-9 set 0 to 90 %)")},
      {ui.spinBox, tr("Opacity of the label colours over the image (keys 0-9 set 0 to 90 %)")},
      {ui.treeWidget_Label, tr("Label layers: click a label to make it the current one; tick it to show or hide it")},
      {ui.pushButton_Apply, tr("Apply: turn the selection into the current label")},
      {ui.pushButton_Delete, tr("Delete: remove the selected region from the labels")},
      {ui.pushButton_DeleteAll, tr("DeleteAll: remove every label of the shown slice")},
      {ui.treeWidget_FileDirectory, tr("Opened slices by patient and series; double click (or arrow keys) shows a slice")},
  };
  for (const auto& [widget, tip] : tips)
    if (widget && widget->toolTip().isEmpty()) widget->setToolTip(tip);
  const std::pair<QAction*, QString> actions[] = {
      {ui.actionOpen, tr("Open slice files (Ctrl+O)")},
      {ui.actionLoadMask, tr("Load label masks onto the opened slices")},
      {ui.actionSave, tr("Save the labels, statistics and report (Ctrl+S)")},
      {ui.actionSaveAll, tr("Save the labels of every series")},
      {ui.actionUndo, tr("Undo (Ctrl+Z; redo Ctrl+Y)")},
      {ui.actionDisplayAnnotation, tr("Show or hide the readout and the corner information (key I)")},
      {ui.actionAdjustIntensity, tr("Adjust the display window by dragging on the image")},
  };
  for (const auto& [action, tip] : actions) action->setToolTip(tip);
}
