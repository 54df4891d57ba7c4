// Label clean-up, body segmentation and the region statistics of the main window.

#include <QTreeWidget>
#include <cstring>
#include <vector>

#include "analysis/chistogram_view.h"
#include "segmentation/label_cleanup.h"
#include "view/cimage.h"
#include "workspace/morvex.h"

void Morvex::deNoiseObject() {
  const int f = currentFrame_;
  if (!study_.intensities(f) || !study_.labelImage(f) || !study_.selectionImage(f)) return;
  morvex::deNoiseLabels(study_.labelImage(f), study_.width(f), study_.height(f));
  labelsChanged();
}

void Morvex::reLabeling(int nFrameIdx, unsigned char* pucBeforeLabelImage, unsigned char* pucAfterLabelImage) {
  // The frame named by the caller is the one corrected (callers pass the current frame).
  uint8_t* labels = study_.labelImage(nFrameIdx);
  if (!labels) return;
  const std::size_t n = static_cast<std::size_t>(study_.width(nFrameIdx)) * study_.height(nFrameIdx);
  morvex::reLabel(labels, pucBeforeLabelImage, pucAfterLabelImage, n);
}

void Morvex::bodySegmentation() {
  const int f = currentFrame_;
  int16_t* intensities = study_.intensitiesForEdit(f);
  if (!intensities) return;
  const int w = study_.width(f), h = study_.height(f);
  morvex::clearOutsideBody(intensities, w, h);
  reCalcRegionGroup(-1);  // the intensities behind the statistics changed
  if (!activeView_) return;
  // Show the result at once with the current display window.
  const int lo = histogramView_ && histogramView_->model().hasBins() ? static_cast<int>(histogramView_->lowValue()) : -1;
  const int hi = histogramView_ && histogramView_->model().hasBins() ? static_cast<int>(histogramView_->highValue()) : -1;
  const std::vector<uint8_t> picture =
      morvex::windowedImage(intensities, static_cast<std::size_t>(w) * static_cast<std::size_t>(h), lo, hi);
  activeView_->copyDisplayBuffer(picture.data(), w, h);
  activeView_->redraw(false);
}

void Morvex::calcGroupAreaStatistic(int nGroupIdx) {
  seriesStatistics_.compute(study_, nGroupIdx, false, areaStatistics_);
}

void Morvex::calcGroupSelectedAreaStatistic(int nGroupIdx) {
  selectionStatistics_.compute(study_, nGroupIdx, true, selectedAreaStatistics_);
}

void Morvex::reCalcRegionGroup() { reCalcRegionGroup(-1); }

void Morvex::reCalcRegionGroup(int nGroupIdx) {
  if (study_.frameCount() == 0) return;
  if (nGroupIdx == -1) nGroupIdx = study_.seriesOfFrame(currentFrame_);
  calcGroupAreaStatistic(nGroupIdx);
  refreshLiverHistogram();
}

void Morvex::resetStatistics() {
  areaStatistics_.reset();
  selectedAreaStatistics_.reset();
  seriesStatistics_.clear();
  selectionStatistics_.clear();
}
