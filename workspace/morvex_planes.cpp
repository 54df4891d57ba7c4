// Three planes: the layout of the image area, the coronal and sagittal views, their crosshair and
// the edits made in them. Pixel work lives in view/plane_reformat; this file turns the views'
// calls into it and runs the common tail of an edit.

#include <QAction>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>

#include "analysis/chistogram_view.h"
#include "view/cimage.h"
#include "view/plane_view.h"
#include "workspace/morvex.h"

namespace {
const char* const kLayoutKey = "view/layout";
const char* const kOnePlusTwo = "1+2";
}  // namespace

void Morvex::setupPlaneViews() {
  viewArea_ = new CViewLayout(ui.widget_image);
  viewArea_->setObjectName("viewArea");
  ui.widget_imageLayout->addWidget(viewArea_, 0, 0);
  for (morvex::PlaneAxis axis : {morvex::PlaneAxis::Coronal, morvex::PlaneAxis::Sagittal}) {
    auto* view = new CPlaneView(axis, viewArea_);
    view->setObjectName(axis == morvex::PlaneAxis::Coronal ? "coronalView" : "sagittalView");
    view->attach(this);
    planeViews_.append(view);
    viewArea_->setPane(axis == morvex::PlaneAxis::Coronal ? CViewLayout::Coronal : CViewLayout::Sagittal, view);
  }
  connect(viewArea_, &CViewLayout::layoutChanged, this, &Morvex::fitViewsToImageArea);

  actionThreePlanes_ = new QAction(tr("1 + 2"), this);
  actionThreePlanes_->setObjectName("actionThreePlanes");
  actionThreePlanes_->setCheckable(true);
  actionThreePlanes_->setToolTip(tr("Axial slice with coronal and sagittal planes (V)"));
  if (auto* bar = findChild<QToolBar*>("toolBarFile")) bar->addAction(actionThreePlanes_);
  connect(actionThreePlanes_, &QAction::toggled, this, &Morvex::setThreePlanes);
  setThreePlanes(QSettings("Morvex", "Morvex").value(kLayoutKey).toString() == kOnePlusTwo);
}

void Morvex::setThreePlanes(bool on) {
  if (!viewArea_) return;
  if (actionThreePlanes_ && actionThreePlanes_->isChecked() != on) {
    actionThreePlanes_->setChecked(on);  // comes back here through toggled
    return;
  }
  if (on != threePlanesShown()) QSettings("Morvex", "Morvex").setValue(kLayoutKey, on ? kOnePlusTwo : "one");
  viewArea_->setMode(on ? CViewLayout::Mode::OnePlusTwo : CViewLayout::Mode::One);
  placeSurfaceView();
}

void Morvex::setExtraPane(QWidget* pane) {
  if (viewArea_) viewArea_->setExtraPane(pane);
}

QSize Morvex::axialPaneSize() const {
  if (!viewArea_) return ui.widget_image->size();
  return CViewLayout::paneRect(CViewLayout::Axial, viewArea_->mode(), ui.widget_image->size(), viewArea_->hasExtraPane())
      .size();
}

void Morvex::redrawPlanes() {
  for (CPlaneView* view : planeViews_) view->redraw();
}

std::pair<int, int> Morvex::displayWindow() const {
  if (!histogramView_) return {0, 255};
  return {static_cast<int>(histogramView_->lowValue()), static_cast<int>(histogramView_->highValue())};
}

QPoint Morvex::crosshair() const {
  const int w = study_.width(currentFrame_), h = study_.height(currentFrame_);
  if (w <= 0 || h <= 0) return QPoint(0, 0);
  if (crosshair_.x() < 0 || crosshair_.y() < 0) return QPoint(w / 2, h / 2);
  return QPoint(std::min(crosshair_.x(), w - 1), std::min(crosshair_.y(), h - 1));
}

int Morvex::planeIndex(morvex::PlaneAxis axis) const {
  const QPoint c = crosshair();
  switch (axis) {
    case morvex::PlaneAxis::Coronal: return c.y();
    case morvex::PlaneAxis::Sagittal: return c.x();
    case morvex::PlaneAxis::Axial: break;
  }
  return planeStack().rowOf(currentFrame_);
}

void Morvex::moveCrosshair(morvex::PlaneAxis axis, const QPoint& planePoint) {
  const morvex::PlaneStack stack = planeStack();
  const int row = stack.rowOf(currentFrame_);
  if (stack.empty() || row < 0) return;
  morvex::VoxelPoint p = axis == morvex::PlaneAxis::Axial
                             ? morvex::VoxelPoint{planePoint.x(), planePoint.y(), row}
                             : morvex::planeToVoxel(axis, planeIndex(axis), planePoint.x(), planePoint.y());
  p.x = std::clamp(p.x, 0, stack.width - 1);
  p.y = std::clamp(p.y, 0, stack.height - 1);
  p.row = std::clamp(p.row, 0, stack.depth() - 1);
  crosshair_ = QPoint(p.x, p.y);
  if (p.row != row) {
    const int frame = stack.frames[static_cast<std::size_t>(p.row)];
    showImage(frame);  // redraws every view
    selectedFrame(frame);
    return;
  }
  for (CImage* view : imageViews_) view->update();
  redrawPlanes();
}

void Morvex::stepPlane(morvex::PlaneAxis axis, int step) {
  if (axis == morvex::PlaneAxis::Axial) {
    showNeighbourFrame(step);
    return;
  }
  const QPoint c = crosshair();
  moveCrosshair(morvex::PlaneAxis::Axial,
                axis == morvex::PlaneAxis::Coronal ? QPoint(c.x(), c.y() + step) : QPoint(c.x() + step, c.y()));
}

Morvex::PlaneGesture Morvex::planeGesture(Qt::KeyboardModifiers modifiers) const {
  if (modifiers & Qt::ShiftModifier) return PlaneGesture::Navigate;
  if (planPlaneTool_) return PlaneGesture::PlanLine;
  if (liveWire_ || liverDivider_ || toolMode_ == ToolMode::CutMode || toolMode_ == ToolMode::AddMode)
    return PlaneGesture::Refuse;
  if (toolMode_ == ToolMode::BrushMode || toolMode_ == ToolMode::EraserMode) return PlaneGesture::Stroke;
  if (toolMode_ == ToolMode::RegionGrowingMode || toolMode_ == ToolMode::BodyRegionGrowingMode) return PlaneGesture::Seed;
  return PlaneGesture::Navigate;
}

void Morvex::refuseInPlane() {
  statusBar()->showMessage(tr("This tool works on the axial slice only; Shift-click moves the planes."), 5000);
}

void Morvex::editInPlane(morvex::PlaneAxis axis, const std::vector<morvex::ImagePoint>& stroke, double penColumns) {
  if (longRunActive() || stroke.empty() || axis == morvex::PlaneAxis::Axial) return;
  const morvex::PlaneStack stack = planeStack();
  const double rowScale = morvex::planeSize(stack, axis).rowScale;
  const ToolMode mode = toolMode_;
  const bool ctrl = ctrlHeld_;
  morvex::FrameRevisions written;
  std::vector<morvex::VoxelChange> changes = morvex::editPlane(
      study_, stack, axis, planeIndex(axis), roi(), &labelTable_, currentLabel_, [&](morvex::SliceEdit& s) {
        if (mode == ToolMode::BrushMode || mode == ToolMode::EraserMode) {
          const std::vector<uint8_t> mask = morvex::rasteriseScaledBrush(stroke, s.width, s.height, penColumns, rowScale);
          if (mode == ToolMode::BrushMode)
            morvex::paintStroke(s, mask.data());
          else
            morvex::eraseStroke(s, mask.data());
          return true;
        }
        if (mode == ToolMode::RegionGrowingMode || mode == ToolMode::BodyRegionGrowingMode)
          return morvex::growRegion(s, stroke.front(), mode == ToolMode::RegionGrowingMode ? 1 : 3, ctrl);
        return false;
      }, &written);
  finishPlaneEdit(std::move(changes), written);
}

void Morvex::finishPlaneEdit(std::vector<morvex::VoxelChange> changes, const morvex::FrameRevisions& written) {
  if (changes.empty()) {
    redrawAll();
    return;
  }
  // the statistics of the written frames follow the changes instead of counting those frames again
  seriesStatistics_.applyChanges(study_, changes, written);
  selectionStatistics_.applyChanges(study_, changes, written);
  const bool shownFrameChanged =
      std::any_of(changes.begin(), changes.end(), [this](const morvex::VoxelChange& c) { return c.frame == currentFrame_; });
  if (undoHistory_.pushVoxels(currentFrame_, std::move(changes))) {
    markUnsaved();
    statusBar()->clearMessage();
  }
  // the shown frame's next one-frame step starts from its images now
  if (shownFrameChanged) undoHistory_.setBaseline(snapshotImages(currentFrame_));
  labelsChanged();
}
