// Division of the liver into left and right: the three Divide buttons and the pointer events the
// slice view forwards to the division tool.

#include <QDebug>

#include "view/cimage.h"
#include "workspace/morvex.h"

using morvex::CLiverDivider;

void Morvex::changeDivideArea() { startDivider(CLiverDivider::Mode::Series, ui.pushButton_Divide, "DivideArea"); }

void Morvex::changeDivideAreaInterpolation() {
  startDivider(CLiverDivider::Mode::Interpolation, ui.pushButton_Divide_2, "DivideArea(Interpolation)");
}

void Morvex::changeDivideAreaSingle() {
  startDivider(CLiverDivider::Mode::Single, ui.pushButton_Divide_3, "DivideArea(Single)");
}

void Morvex::startDivider(CLiverDivider::Mode mode, QPushButton* button, const char* logName) {
  qDebug("%s", logName);
  const bool running = liverDivider_ != nullptr;
  stopAllMode(true);  // ends a division in progress as well
  if (running || !study_.frame(currentFrame_)) {
    redrawAll();
    return;
  }
  const bool single = mode == CLiverDivider::Mode::Single;
  const int series = study_.seriesOfFrame(currentFrame_);
  // a new division starts from undivided labels; a single-slice one leaves the other slices alone
  {
    const SeriesEditScope step(*this);
    liverUnion(single ? currentFrame_ : -1);
  }
  liverDivider_ = std::make_unique<CLiverDivider>(mode, series, study_.width(currentFrame_), study_.height(currentFrame_));
  button->setChecked(true);
  if (single)
    study_.clearDivision(currentFrame_);
  else
    study_.clearDivisionOfSeries(series);
  reCalcRegionGroup(-1);
  redrawAll();
}

void Morvex::stopDivideRegion() {
  liverDivider_.reset();
  for (QPushButton* b : {ui.pushButton_Divide, ui.pushButton_Divide_2, ui.pushButton_Divide_3}) b->setChecked(false);
}

void Morvex::dividerPress(int nFrameIdx, const QPoint& p) {
  if (liverDivider_) liverDivider_->press(study_, nFrameIdx, p.x(), p.y());
}

bool Morvex::dividerMove(int nFrameIdx, const QPoint& p, bool bLeftHeld) {
  return liverDivider_ && liverDivider_->move(nFrameIdx, p.x(), p.y(), bLeftHeld);
}

void Morvex::dividerRelease(int nFrameIdx, const QPoint& p, bool bInside) {
  if (liverDivider_ &&
      liverDivider_->release(study_, nFrameIdx, p.x(), p.y(), bInside) == CLiverDivider::ReleaseResult::Apply)
    applyDivider();
}

// The confirming click: labels 4 to 7 on every divided frame, the tool ends, the readout follows.
void Morvex::applyDivider() {
  const SeriesEditScope step(*this);
  liverDivider_->apply(study_);
  const int series = liverDivider_->series();
  stopDivideRegion();
  reCalcRegionGroup(series);
  redrawAll();
}
