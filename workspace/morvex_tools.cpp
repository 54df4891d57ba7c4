// Tool modes, switches, the tab and slice-range controllers and the keyboard.

#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QSignalBlocker>
#include <QTreeWidgetItemIterator>
#include <algorithm>

#include "view/cimage.h"
#include "view/plane_view.h"
#include "workspace/morvex.h"

void Morvex::selectTool(ToolMode mode, QPushButton* button, const char* logName, bool refreshCursor) {
  if (logName) qDebug("%s", logName);
  stopAllMode(true);
  button->setChecked(true);
  toolMode_ = mode;
  if (mode == ToolMode::LiveWireMode) liveWire_ = true;
  if (refreshCursor) syncMouseCursorShape(true);
}

void Morvex::setLiveWireState() {
  selectTool(ToolMode::LiveWireMode, ui.pushButton_Livewire, "LiveWireMode", false);
  prepareLiveWireMaps();
}
void Morvex::setSelectionToolState() {
  selectTool(ToolMode::RegionGrowingMode, ui.pushButton_SelectionTool, "RegionGrowingMode", false);
}
void Morvex::setBrushState() { selectTool(ToolMode::BrushMode, ui.pushButton_Brush, "BrushMode", true); }
void Morvex::setEraserState() { selectTool(ToolMode::EraserMode, ui.pushButton_Eraser, "EraserMode", true); }
void Morvex::setCutState() { selectTool(ToolMode::CutMode, ui.pushButton_Cut, "CutMode", true); }
void Morvex::setAddState() { selectTool(ToolMode::AddMode, ui.pushButton_Add, "AddMode", true); }
void Morvex::setBodyRegionGrowingState() {
  selectTool(ToolMode::BodyRegionGrowingMode, ui.pushButton_LiverSeg, nullptr, false);
}

void Morvex::setAdjustIntensityState() {
  qDebug("AdjustIntensityMode");
  stopAllMode(true);
  adjustIntensityMode_ = !adjustIntensityMode_;
}

void Morvex::setROIState() {
  if (!roiMode_ && !roiSet_) {
    stopAllMode(true);
    roiMode_ = true;
    ui.pushButton_ROI->setChecked(true);
    return;
  }
  std::fill(std::begin(roi_), std::end(roi_), 0);
  roiMode_ = roiSet_ = false;
  ui.pushButton_ROI->setChecked(false);
  if (activeView_) activeView_->redraw(false);
}

void Morvex::stopAllMode(bool bStopAllMode) {
  const bool contourInProgress = liveWireTool_ != nullptr;
  if (bStopAllMode) {
    // One tool at a time: a new tool also ends live wire, contour and all.
    liveWireTool_.reset();
    liveWire_ = liveWireClosed_ = false;
    stopDivideRegion();
    stopVesselHistogramMode();
    toolMode_ = ToolMode::NoMode;
    for (QPushButton* b : {ui.pushButton_SelectionTool, ui.pushButton_Add, ui.pushButton_Cut, ui.pushButton_Brush,
                           ui.pushButton_Eraser, ui.pushButton_Livewire})
      b->setChecked(false);
  } else if (contourInProgress) {
    // Another frame: the contour is dropped, live wire stays selected for a fresh one.
    liveWireTool_.reset();
    liveWireClosed_ = false;
    ui.pushButton_Livewire->setChecked(true);
    liveWire_ = true;
  }
  ui.pushButton_LiverSeg->setChecked(false);
  syncMouseCursorShape(true);
  redrawAll();
}

void Morvex::stopLiveWireMode() {
  if (!liveWireTool_) return;
  liveWireTool_.reset();
  liveWire_ = liveWireClosed_ = false;
  ui.pushButton_Livewire->setChecked(false);
  if (toolMode_ == ToolMode::LiveWireMode) toolMode_ = ToolMode::NoMode;
}

void Morvex::stopVesselHistogramMode() {
  vesselHistogramMode_ = false;
  ui.pushButton_VesselSeg->setChecked(false);
  ui.pushButton_VesselSeg->setText(tr("On"));
  deSelectObjectGroup();
  redrawAll();
}

void Morvex::deSelectObjectGroup() {
  const int series = study_.seriesOfFrame(currentFrame_);
  const int first = study_.firstFrameOfSeries(series), last = study_.lastFrameOfSeries(series);
  for (int f = first; f >= 0 && f <= last; ++f) study_.fillSelectionImage(f, 0);
}

void Morvex::changeTab(int id) {
  stopAllMode(true);
  outlineMode_ = false;
  liverHistogramMode_ = false;
  stopVesselHistogramMode();
  deSelectObjectGroup();
  redrawAll();
  if (sender() == ui.tabWidget_Tool && id == 1) {
    liverHistogramMode_ = true;
    outlineMode_ = true;
    reCalcRegionGroup(-1);
    redrawAll();
    return;
  }
  if (sender() == ui.tabWidget_toolOption && id == 1) outlineMode_ = true;
  redrawAll();
}

void Morvex::slotSlice(int) {
  if (study_.frameCount() == 0) return;
  const int first = study_.firstFrameOfSeries(study_.seriesOfFrame(currentFrame_));
  const int i0 = study_.instanceNumber(first);
  sliceStart_ = ui.spinBox_Slice1->value() - i0;
  sliceEnd_ = ui.spinBox_Slice2->value() - i0;
  if (sliceStart_ > sliceEnd_) {
    std::swap(sliceStart_, sliceEnd_);
    const QSignalBlocker b1(ui.spinBox_Slice1), b2(ui.spinBox_Slice2);
    ui.spinBox_Slice1->setValue(sliceStart_ + i0);
    ui.spinBox_Slice2->setValue(sliceEnd_ + i0);
  }
}

void Morvex::syncMouseCursorShape(bool bChangeShape) {
  for (CImage* view : imageViews_) view->setCursorShape(bChangeShape);
}

void Morvex::setBrushSize(int nBrushSize) {
  brushSize_ = nBrushSize;
  syncMouseCursorShape(true);
}

void Morvex::setOpacity(int nOpacity) {
  opacity_ = static_cast<float>(nOpacity) / 100.0f;
  redrawAll();
}

void Morvex::showNeighbourFrame(int step) {
  const QString key = QString::number(currentFrame_ + step);
  QTreeWidget* tree = ui.treeWidget_FileDirectory;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    if ((*it)->text(1) != key) continue;
    showImage(*it, 1);
    tree->clearSelection();
    (*it)->setSelected(true);
    tree->setCurrentItem(*it);
    tree->scrollToItem(*it);
    return;
  }
}

void Morvex::keyPressEvent(QKeyEvent* event) {
  if (!windowKey(event)) QMainWindow::keyPressEvent(event);
}

bool Morvex::windowKey(QKeyEvent* event) {
  if (longRunActive()) return true;  // every key edits or changes the tool
  const int key = event->key();
  const bool alt = (event->modifiers() | QApplication::keyboardModifiers()) & Qt::AltModifier;
  if (key >= Qt::Key_0 && key <= Qt::Key_9) {
    const int digit = key - Qt::Key_0;
    opacity_ = static_cast<float>(digit) * 0.1f;
    redrawAll();
    ui.horizontalSlider_LabelOpacity->setValue(digit * 10);
    return true;
  }
  switch (key) {
    case Qt::Key_A: setAddState(); break;
    case Qt::Key_B: setBrushState(); break;
    case Qt::Key_C: setCutState(); break;
    case Qt::Key_E: setEraserState(); break;
    case Qt::Key_L: setLiveWireState(); break;
    case Qt::Key_M: bodySegmentation(); break;
    case Qt::Key_N: deNoiseObject(); break;
    case Qt::Key_R: setBodyRegionGrowingState(); break;
    case Qt::Key_S: setSelectionToolState(); break;
    case Qt::Key_V: toggleThreePlanes(); break;
    case Qt::Key_BracketLeft: ui.spinBox_2->setValue(std::max(brushSize_ - 1, 1)); break;
    case Qt::Key_BracketRight: ui.spinBox_2->setValue(std::min(brushSize_ + 1, 300)); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      if (alt)
        ui.spinBox_2->setValue(std::min(brushSize_ + 1, 30));
      else
        zoomActiveView(1.25f);
      break;
    case Qt::Key_Minus:
      if (alt)
        ui.spinBox_2->setValue(std::max(brushSize_ - 1, 1));
      else
        zoomActiveView(0.8f);
      break;
    case Qt::Key_F:
    case Qt::Key_Home: fitActiveView(); break;
    case Qt::Key_I:  // readout and corner information (Ctrl+I is Fill between slices)
      if (event->modifiers() & Qt::ControlModifier) return false;
      ui.actionDisplayAnnotation->trigger();
      break;
    case Qt::Key_Space: spaceHeld_ = true; break;
    case Qt::Key_Up: showNeighbourFrame(-1); break;
    case Qt::Key_Down: showNeighbourFrame(1); break;
    case Qt::Key_Control: ctrlHeld_ = true; break;
    case Qt::Key_Backspace: keyboardEvent_LiveWire(event); break;
    default: return false;
  }
  return true;
}

namespace {
// Keys a number field uses while it is being edited: the number itself, moving in it, stepping it,
// ending the edit, and anything with Ctrl (select, copy, paste).
bool numberFieldKey(const QKeyEvent* event) {
  if (event->modifiers() & Qt::ControlModifier) return true;
  switch (event->key()) {
    case Qt::Key_0: case Qt::Key_1: case Qt::Key_2: case Qt::Key_3: case Qt::Key_4:
    case Qt::Key_5: case Qt::Key_6: case Qt::Key_7: case Qt::Key_8: case Qt::Key_9:
    case Qt::Key_Minus: case Qt::Key_Plus: case Qt::Key_Period: case Qt::Key_Comma:
    case Qt::Key_Backspace: case Qt::Key_Delete: case Qt::Key_Left: case Qt::Key_Right:
    case Qt::Key_Home: case Qt::Key_End: case Qt::Key_Up: case Qt::Key_Down:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Return: case Qt::Key_Enter:
    case Qt::Key_Escape: case Qt::Key_Tab: case Qt::Key_Backtab:
      return true;
    default:
      return false;
  }
}

// A text field that takes every key while it has the focus.
bool editableText(const QWidget* w) {
  if (const auto* line = qobject_cast<const QLineEdit*>(w)) return !line->isReadOnly();
  if (const auto* text = qobject_cast<const QTextEdit*>(w)) return !text->isReadOnly();
  if (const auto* plain = qobject_cast<const QPlainTextEdit*>(w)) return !plain->isReadOnly();
  if (const auto* combo = qobject_cast<const QComboBox*>(w)) return combo->isEditable();
  return false;
}
}  // namespace

bool Morvex::routeKeyToWindow(QObject* watched, QKeyEvent* event) {
  if (longRunActive()) return false;  // the window's keys wait; the Cancel button keeps its own
  auto* w = qobject_cast<QWidget*>(watched);
  if (w && qobject_cast<QAbstractSpinBox*>(w->parentWidget()) && qobject_cast<QLineEdit*>(w)) w = w->parentWidget();
  if (!w || w == this || !isAncestorOf(w) || editableText(w)) return false;
  if (event->type() == QEvent::KeyRelease) {
    // the held-key switches follow the keyboard wherever the focus is; the widget still sees it
    if (event->key() == Qt::Key_Control || event->key() == Qt::Key_Alt) ctrlHeld_ = false;
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) spaceHeld_ = false;
    return false;
  }
  if (auto* box = qobject_cast<QAbstractSpinBox*>(w)) {
    if (!numberFieldKey(event)) return windowKey(event);
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      // the edit ends: the value is taken and the keys belong to the window again
      box->interpretText();
      setFocus(Qt::OtherFocusReason);
      return true;
    }
    return false;
  }
  if (event->key() == Qt::Key_Control) {
    ctrlHeld_ = true;
    return false;
  }
  return windowKey(event);
}

void Morvex::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Control || event->key() == Qt::Key_Alt) ctrlHeld_ = false;
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) spaceHeld_ = false;
  QMainWindow::keyReleaseEvent(event);
}

void Morvex::zoomActiveView(float factor) {
  CImage* view = activeView_ ? activeView_ : imageViews_.value(0);
  if (!view) return;
  const QPoint pointer = view->mapFromGlobal(QCursor::pos());
  view->zoomAt(view->rect().contains(pointer) ? pointer : view->rect().center(), factor);
}

void Morvex::fitActiveView() {
  for (CImage* view : imageViews_) view->fitToView();
  for (CPlaneView* view : planeViews_) view->fitToView();
}
