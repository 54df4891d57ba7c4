// Slice views and the display window: binding views to the shown frame, window presets, the WL /
// WW boxes, histogram handles, inversion and the readout switch.

#include <QSignalBlocker>
#include <algorithm>
#include <cstdio>

#include "analysis/chistogram_view.h"
#include "view/cimage.h"
#include "workspace/morvex.h"

void Morvex::bindSliceViews() {
  if (imageViews_.isEmpty()) {
    auto* view = new CImage(viewArea_);
    view->setObjectName("sliceView");
    imageViews_.append(view);
    viewArea_->setPane(CViewLayout::Axial, view);
    activeView_ = view;
  }
  for (CImage* view : imageViews_) view->attachFrame(this);
}

void Morvex::removeSliceViews() {
  for (CImage* view : imageViews_) {
    if (viewArea_->pane(CViewLayout::Axial) == view) viewArea_->setPane(CViewLayout::Axial, nullptr);
    delete view;
  }
  imageViews_.clear();
  activeView_ = nullptr;
}

void Morvex::setHistogramView() {
  const int f = currentFrame_;
  const int16_t* intensities = study_.intensities(f);
  if (!intensities || !histogramView_) return;
  const int w = study_.width(f), h = study_.height(f);
  histogramView_->computeHistogram(intensities, w, h, false);
  const int preset = ui.comboBox_Histogram->currentIndex();
  histogramView_->setPreset(preset);
  switch (preset) {
    case 0:
      if (study_.windowWidth(f) > 0) {
        histogramView_->setValues(study_.windowCenter(f), study_.windowWidth(f));
      } else {
        // a file without a window (or with width 0) would show as a black-and-white threshold
        std::printf("setHistogramView(): no display window in %s; the Auto window is used\n",
                    study_.frame(f)->header.fileName.c_str());
        histogramView_->setAutoRange(intensities, w, h);
      }
      break;
    case 1:
      histogramView_->setAutoRange(intensities, w, h);
      break;
    case 2:
      histogramView_->setLow(static_cast<int>(histogramView_->rangeMin()));
      histogramView_->setHigh(static_cast<int>(histogramView_->rangeMax()));
      break;
    case 3:
      histogramView_->setValues(0, 300);
      break;
    default:
      histogramView_->setValues(ui.spinBox_histogram_low->value(), ui.spinBox_histogram_high->value());
      break;
  }
  histogramView_->update();
  histogramView_->emitValues();
}

void Morvex::setHistogramValue(int) {
  QObject* source = sender();
  if (source == ui.spinBox_histogram_low || source == ui.spinBox_histogram_high) {
    histogramView_->setPreset(4);
    histogramView_->setValues(ui.spinBox_histogram_low->value(), ui.spinBox_histogram_high->value());
  } else if (source == ui.spinBox_VesselLow || source == ui.spinBox_VesselHigh) {
    if (vesselHistogramMode_) selectHistogramRange3D(ui.spinBox_VesselLow->value(), ui.spinBox_VesselHigh->value(), 2);
  } else if (source == ui.spinBox_LiverHistogram_low || source == ui.spinBox_LiverHistogram_high) {
    liverHistogramView_->setValues(ui.spinBox_LiverHistogram_low->value(), ui.spinBox_LiverHistogram_high->value());
  }
}

void Morvex::setHistogramValue(int nCurrentMinValue, int nCurrentMaxValue) {
  if (sender() == liverHistogramView_) {
    liverHistogramChanged(nCurrentMinValue, nCurrentMaxValue);
    return;
  }
  if (sender() != histogramView_) return;
  {
    const QSignalBlocker blockLow(ui.spinBox_histogram_low), blockHigh(ui.spinBox_histogram_high);
    ui.spinBox_histogram_low->setValue((nCurrentMinValue + nCurrentMaxValue) / 2);
    ui.spinBox_histogram_high->setValue(nCurrentMaxValue - nCurrentMinValue);
  }
  if (histogramView_->preset() == 4) {
    const QSignalBlocker block(ui.comboBox_Histogram);
    ui.comboBox_Histogram->setCurrentIndex(4);
  }
  if (activeView_) activeView_->setWindow(nCurrentMinValue, nCurrentMaxValue);
  redrawAll();
}

void Morvex::setDisplayAnnotationState() {
  displayAnnotation_ = !displayAnnotation_;
  redrawAll();
}

void Morvex::changeInvertMode() {
  invert_ = !invert_;
  if (imageViews_.isEmpty()) return;
  CImage* first = imageViews_.first();
  first->setInvert(invert_);
  if (invert_) first->invertDisplayBuffer();
  redrawAll();
}
