// The editing operations of the shown frame: brush, eraser, cut and add, the selection tool, body
// region growing, region objects and the ROI. Each works on the frame through morvex::SliceEdit and
// ends in finishEdit.

#include <QMessageBox>
#include <QTreeWidgetItemIterator>

#include "view/cimage.h"
#include "view/stroke_raster.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {
std::vector<morvex::ImagePoint> toPoints(const QVector<QPoint>& stroke) {
  std::vector<morvex::ImagePoint> out;
  out.reserve(static_cast<std::size_t>(stroke.size()));
  for (const QPoint& p : stroke) out.push_back({p.x(), p.y()});
  return out;
}
}  // namespace

morvex::Roi Morvex::roi() const {
  morvex::Roi r;
  r.set = roiSet_;
  r.x1 = roi_[0];
  r.y1 = roi_[1];
  r.x2 = roi_[2];
  r.y2 = roi_[3];
  return r;
}

morvex::SliceEdit Morvex::currentSliceEdit() {
  morvex::SliceEdit s;
  const int f = currentFrame_;
  s.intensities = study_.intensities(f);
  s.labels = study_.labelImage(f);
  s.selection = study_.selectionImage(f);
  s.width = study_.width(f);
  s.height = study_.height(f);
  s.roi = roi();
  s.table = &labelTable_;
  s.currentLabel = currentLabel_;
  return s;
}

void Morvex::finishEdit(const std::vector<uint8_t>* labelsBefore, int undoKind) {
  if (labelsBefore) {
    std::vector<uint8_t> after(study_.labelImage(currentFrame_), study_.labelImage(currentFrame_) + labelsBefore->size());
    reLabeling(currentFrame_, const_cast<uint8_t*>(labelsBefore->data()), after.data());
  }
  reCalcRegionGroup(-1);
  if (undoKind > 0) pushUndo(undoKind);
  redrawAll();
}

void Morvex::labelsChanged() {
  reCalcRegionGroup(-1);
  redrawAll();
  refreshSurfaceView();
  planLabelsEdited();
}

void Morvex::selectObject(int nToolMode, int nOption) {
  morvex::SliceEdit s = currentSliceEdit();
  if (!s.valid() || !activeView_) return;
  const std::vector<uint8_t> before(s.labels, s.labels + s.size());
  const QVector<QPoint>& stroke = activeView_->stroke();
  if (nToolMode == 2) {
    const int pen = activeView_->displaySize().width() > 0
                        ? brushSize_ * s.width / activeView_->displaySize().width()
                        : brushSize_;
    const std::vector<uint8_t> mask = morvex::rasteriseStroke(stroke, s.width, s.height, pen);
    morvex::paintStroke(s, mask.data());
  } else {
    const QPoint seed = stroke.isEmpty() ? activeView_->currentPoint() : stroke.first();
    if (nToolMode == 1 && tumourFromClick(seed)) return;  // the Cancer label: a lesion in 3D
    if (!morvex::growRegion(s, {seed.x(), seed.y()}, nToolMode, nOption != 0)) return;
  }
  finishEdit(&before, 3);
}

void Morvex::deleteObject() {
  if (study_.frameCount() == 0) return;
  stopLiveWireMode();
  morvex::SliceEdit s = currentSliceEdit();
  if (!s.labels || !s.selection) return;
  if (toolMode_ == ToolMode::EraserMode && activeView_) {
    const int dw = activeView_->displaySize().width();
    const int pen = dw > 0 ? s.width * brushSize_ * 2 / dw : brushSize_ * 2;
    const std::vector<uint8_t> mask = morvex::rasteriseStroke(activeView_->stroke(), s.width, s.height, pen);
    morvex::eraseStroke(s, mask.data());
  } else {
    morvex::deleteSelectedOrLayer(s);
  }
  finishEdit(nullptr, 3);
}

void Morvex::refineObject(int nOption) {
  morvex::SliceEdit s = currentSliceEdit();
  if (!s.valid() || !activeView_) return;
  const std::vector<uint8_t> before(s.labels, s.labels + s.size());
  if (!morvex::refineSlice(s, toPoints(activeView_->stroke()), nOption)) return;
  finishEdit(&before, 1);
}

void Morvex::deleteObjectAt(const QPoint& p) {
  morvex::SliceEdit s = currentSliceEdit();
  if (!s.valid()) return;
  if (morvex::deleteObjectAt(s, {p.x(), p.y()})) finishEdit(nullptr, 1);
}

void Morvex::addObject(int nLabelIdx) {
  if (currentLabel_ == 0 || currentLabel_ == 9999 || currentLabel_ == morvex::kSelectionLabel) {
    morvex::warningBox(this, tr("Please select a label first."));
    return;
  }
  morvex::SliceEdit s = currentSliceEdit();
  if (!s.valid()) return;
  const std::vector<uint8_t> before(s.labels, s.labels + s.size());
  morvex::commitSelection(s, nLabelIdx);
  std::vector<uint8_t> after(s.labels, s.labels + s.size());
  reLabeling(currentFrame_, const_cast<uint8_t*>(before.data()), after.data());
  pushUndo(3);
  stopLiveWireMode();
  reCalcRegionGroup(-1);
  redrawAll();
}

void Morvex::applySelectedRegion() {
  if (study_.frameCount() == 0) return;
  addObject(currentLabel_);
}

void Morvex::applySelectedRegion(int nLabelIdx) {
  currentLabel_ = nLabelIdx;
  QTreeWidget* tree = ui.treeWidget_Label;
  bool chosen = false;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    const bool pick = !chosen && ((*it)->text(0) == "Liver" || (*it)->text(0) == "Vessel");
    (*it)->setSelected(pick);
    chosen = chosen || pick;
  }
  addObject(nLabelIdx);
}

void Morvex::deSelectObject() {
  liveWireTool_.reset();  // the contour goes, live-wire mode stays as it is (and its button with it)
  ui.pushButton_Livewire->setChecked(liveWire_);
  uint8_t* selection = study_.selectionImage(currentFrame_);
  if (!study_.labelImage(currentFrame_) || !selection) return;
  study_.fillSelectionImage(currentFrame_, 0);
  pushUndo(3);
  redrawAll();
}

void Morvex::deleteAll() {
  if (study_.frameCount() == 0) return;
  if (!askBeforeDiscarding()) return;
  const SeriesEditScope step(*this);
  stopLiveWireMode();
  const int series = study_.seriesOfFrame(currentFrame_);
  for (int f = study_.firstFrameOfSeries(series); f >= 0 && f <= study_.lastFrameOfSeries(series); ++f)
    study_.fillLabelImage(f, 0);
  reCalcRegionGroup(-1);
  redrawAll();
}

void Morvex::setSelectedAreaToLabel2D(int nFrameIdx, int nLabelIdx) {
  morvex::SliceEdit s;
  s.labels = study_.labelImage(nFrameIdx);
  s.selection = study_.selectionImage(nFrameIdx);
  s.width = study_.width(nFrameIdx);
  s.height = study_.height(nFrameIdx);
  if (s.labels && s.selection) morvex::commitFullSelection(s, nLabelIdx);
}

void Morvex::setSelectedAreaToLabel3D(int nLabelIdx) {
  const SeriesEditScope step(*this);
  const int series = study_.seriesOfFrame(currentFrame_);
  for (int f = study_.firstFrameOfSeries(series); f >= 0 && f <= study_.lastFrameOfSeries(series); ++f)
    setSelectedAreaToLabel2D(f, nLabelIdx);
  deSelectObjectGroup();
  reCalcRegionGroup(-1);
}

void Morvex::setSelectedAreaToVessel() {
  const SeriesEditScope step(*this);
  const int series = study_.seriesOfFrame(currentFrame_);
  for (int f = study_.firstFrameOfSeries(series); f >= 0 && f <= study_.lastFrameOfSeries(series); ++f) {
    morvex::SliceEdit s;
    s.labels = study_.labelImage(f);
    s.selection = study_.selectionImage(f);
    s.width = study_.width(f);
    s.height = study_.height(f);
    if (s.labels && s.selection) morvex::selectionToVessel(s);
  }
  deSelectObjectGroup();
  reCalcRegionGroup(-1);
}

void Morvex::setROIRegion(QPoint qpTopLeft, QPoint qpBottomRight) {
  roi_[0] = qpTopLeft.x();
  roi_[1] = qpTopLeft.y();
  roi_[2] = qpBottomRight.x();
  roi_[3] = qpBottomRight.y();
  roiMode_ = false;
  roiSet_ = true;
}

void Morvex::moveObjectToLayer(const QPoint& p, int nLayerIdx) {
  morvex::SliceEdit s = currentSliceEdit();
  if (!s.valid()) return;
  morvex::moveObjectToLayer(s, {p.x(), p.y()}, nLayerIdx);
  showLabelImage(nLayerIdx == -1 ? 1 : nLayerIdx);
  stopLiveWireMode();
  labelsChanged();
  pushUndo(3);
}
