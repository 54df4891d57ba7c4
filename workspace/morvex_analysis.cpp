// The Analysis page and the vessel tools: liver histogram, range selection by intensity, the
// statistics trees, vessel histogram mode and the semi-automatic vessel segmentation.

#include <QSignalBlocker>
#include <QStatusBar>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>

#include "analysis/chistogram_view.h"
#include "analysis/histogram_range.h"
#include "analysis/vessel_segmentation.h"
#include "view/cimage.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

QString fixed(float v, int decimals) { return QString::asprintf(decimals == 0 ? "%.0f" : "%.2f", static_cast<double>(v)); }

// First row of a (min, Q1, median, Q3, max) tree and of an (Average, Std., PixelCnt) tree.
void showRecord(QTreeWidget* quartiles, QTreeWidget* moments, float mn, float q1, float median, float q3, float mx,
                float average, float std, int pixelCnt) {
  QTreeWidgetItem* a = quartiles->topLevelItem(0);
  QTreeWidgetItem* b = moments->topLevelItem(0);
  if (!a || !b) return;
  const float q[] = {mn, q1, median, q3, mx};
  for (int c = 0; c < 5; ++c) a->setText(c, fixed(q[c], 0));
  b->setText(0, fixed(average, 2));
  b->setText(1, fixed(std, 2));
  b->setText(2, QString::asprintf("%d", pixelCnt));
}

}  // namespace

void Morvex::connectAnalysisSignals() {
  ui.pushButton_VesselSeg->setCheckable(true);
  for (QSpinBox* box : {ui.spinBox_VesselLow, ui.spinBox_VesselHigh, ui.spinBox_LiverHistogram_low,
                        ui.spinBox_LiverHistogram_high})
    connect(box, qOverload<int>(&QSpinBox::valueChanged), this, qOverload<int>(&Morvex::setHistogramValue));
  connect(ui.pushButton_VesselSeg, &QPushButton::clicked, this, &Morvex::vesselSegmetationHistogram);
  connect(ui.pushButton_VesselSeg2, &QPushButton::clicked, this, &Morvex::vesselSegmentation);
  connect(ui.pushButton_LiverHistogramThresholdAuto, &QPushButton::clicked, this,
          &Morvex::setLiverHistogramThresholdAuto);
  for (QRadioButton* b : {ui.radioButton_LiverAreaOption1, ui.radioButton_LiverAreaOption2,
                          ui.radioButton_LiverAreaOption3, ui.radioButton_LiverHistogram_low,
                          ui.radioButton_LiverHistogram_lowhigh, ui.radioButton_LiverHistogram_high})
    connect(b, &QRadioButton::clicked, this, &Morvex::setHistogramOption);
  connect(liverHistogramView_, &CHistogramView::valueChanged, this, qOverload<int, int>(&Morvex::setHistogramValue));
}

// --- range selection ------------------------------------------------------------------------

int Morvex::getHistogramOption() const {
  if (!liverHistogramMode_) return -1;
  if (ui.radioButton_LiverHistogram_low->isChecked()) return 1;
  if (ui.radioButton_LiverHistogram_lowhigh->isChecked()) return 2;
  if (ui.radioButton_LiverHistogram_high->isChecked()) return 3;
  return -1;
}

int Morvex::getLiverAnalysisAreaOption() const {
  if (ui.radioButton_LiverAreaOption1->isChecked()) return 1;
  if (ui.radioButton_LiverAreaOption2->isChecked()) return 2;
  if (ui.radioButton_LiverAreaOption3->isChecked()) return 3;
  return -1;
}

void Morvex::selectHistogramRange2D(int nFrameIdx, int sMinValue, int sMaxValue, int nOption) {
  if (study_.frameCount() == 0 || !study_.intensities(nFrameIdx)) return;
  const std::size_t n = static_cast<std::size_t>(study_.width(nFrameIdx)) * study_.height(nFrameIdx);
  morvex::selectHistogramRange(study_.intensities(nFrameIdx), study_.labelImage(nFrameIdx),
                               study_.selectionImage(nFrameIdx), n, sMinValue, sMaxValue,
                               getLiverAnalysisAreaOption(), nOption);
  if (nFrameIdx == currentFrame_ && activeView_) activeView_->redraw(false);
}

void Morvex::selectHistogramRange3D(int sMinValue, int sMaxValue, int nOption) {
  if (study_.frameCount() == 0) return;
  const int series = study_.seriesOfFrame(currentFrame_);
  for (int f = study_.firstFrameOfSeries(series); f >= 0 && f <= study_.lastFrameOfSeries(series); ++f)
    selectHistogramRange2D(f, sMinValue, sMaxValue, nOption);
}

void Morvex::showSelectedAreaStatistics() {
  if (study_.frameCount() == 0) return;
  calcGroupSelectedAreaStatistic(study_.seriesOfFrame(currentFrame_));
  const morvex::AreaStatistics& st = selectedAreaStatistics_;
  if (st.pixelCnt(1) <= 0) return;
  showRecord(ui.treeWidget_LiverHistogram_3, ui.treeWidget_LiverHistogram_4, st.min(1), st.q1(1), st.median(1),
             st.q3(1), st.max(1), st.average(1), st.std(1), static_cast<int>(st.pixelCnt(1)));
}

void Morvex::liverHistogramChanged(int nMinValue, int nMaxValue) {
  {
    const QSignalBlocker low(ui.spinBox_LiverHistogram_low), high(ui.spinBox_LiverHistogram_high);
    ui.spinBox_LiverHistogram_low->setValue(nMinValue);
    ui.spinBox_LiverHistogram_high->setValue(nMaxValue);
  }
  selectHistogramRange3D(nMinValue, nMaxValue, getHistogramOption());
  showSelectedAreaStatistics();
}

void Morvex::setHistogramOption() {
  if (!liverHistogramMode_) return;
  selectHistogramRange3D(ui.spinBox_LiverHistogram_low->value(), ui.spinBox_LiverHistogram_high->value(),
                         getHistogramOption());
  showSelectedAreaStatistics();
  // the liver area may have changed: the histogram and its trees follow the shown series
  reCalcRegionGroup(-1);
  redrawAll();
}

void Morvex::setLiverHistogramThresholdAuto() {
  liverAutoRequest_ = true;
  reCalcRegionGroup(-1);
  liverAutoRequest_ = false;  // a request that found no liver does not fire on a later refresh
  selectHistogramRange3D(ui.spinBox_LiverHistogram_low->value(), ui.spinBox_LiverHistogram_high->value(),
                         getHistogramOption());
  redrawAll();
}

// --- liver histogram refresh ----------------------------------------------------------------

void Morvex::refreshLiverHistogram() {
  const int area = liverHistogramMode_ ? getLiverAnalysisAreaOption() : 1;
  const morvex::LiverHistogramPlan plan = morvex::planLiverHistogram(areaStatistics_, area);
  if (!plan.hasLiver || !liverHistogramMode_ || !plan.show || !liverHistogramView_) return;
  liverHistogramView_->setHistogram(areaStatistics_.counts(plan.entry), areaStatistics_.binCount(),
                                    areaStatistics_.base(), plan.autoLow, plan.autoHigh, false);
  QSpinBox* low = ui.spinBox_LiverHistogram_low;
  QSpinBox* high = ui.spinBox_LiverHistogram_high;
  if (liverAutoRequest_) {
    liverAutoRequest_ = false;
    low->setMinimum(static_cast<int>(plan.min));
    high->setMaximum(static_cast<int>(plan.max));
    {
      // both boxes first, then one interval: setting them one by one would let the old high
      // value push the new low value around
      const QSignalBlocker b1(low), b2(high);
      low->setValue(plan.autoLow);
      high->setValue(plan.autoHigh);
    }
    liverHistogramView_->setValues(low->value(), high->value());  // selection and trees follow
  } else {
    liverHistogramView_->setLow(low->value());
    liverHistogramView_->setHigh(high->value());
  }
  liverHistogramView_->setMarkers(plan.markers, 3);
  showRecord(ui.treeWidget_LiverHistogram_1, ui.treeWidget_LiverHistogram_2, plan.min, plan.q1, plan.median, plan.q3,
             plan.max, plan.average, plan.std, plan.pixelCnt);
}

// --- vessels --------------------------------------------------------------------------------

void Morvex::vesselSegmetationHistogram() {
  if (!vesselHistogramMode_) {
    stopAllMode(true);
    vesselHistogramMode_ = true;
    ui.pushButton_VesselSeg->setChecked(true);
    ui.pushButton_VesselSeg->setText(tr("Apply"));
    reCalcRegionGroup(-1);
    selectHistogramRange3D(ui.spinBox_VesselLow->value(), ui.spinBox_VesselHigh->value(), 2);
  } else {
    setSelectedAreaToVessel();
    stopVesselHistogramMode();
    labelsChanged();
  }
  redrawAll();
}

void Morvex::vesselSegmentation() {
  if (study_.frameCount() == 0 || study_.seriesOfFrame(currentFrame_) < 0 || longRunActive()) return;
  const int series = study_.seriesOfFrame(currentFrame_);
  const int first = study_.firstFrameOfSeries(series), last = study_.lastFrameOfSeries(series);
  if (first < 0 || last < first) return;
  const auto start = std::chrono::steady_clock::now();
  const int n = last - first + 1, w = study_.width(first), h = study_.height(first);
  const std::size_t pixels = static_cast<std::size_t>(w) * h;
  morvex::VesselTolerances t;
  t.initial = static_cast<float>(ui.doubleSpinBox->value());
  t.extension = static_cast<float>(ui.doubleSpinBox_2->value());
  t.shrink = static_cast<int>(ui.doubleSpinBox_3->value());
  // The growth runs on a worker thread. It reads the study through a const reference while this
  // thread only reads it too (edits are blocked), and grows into a result of its own.
  const morvex::Study& source = study_;
  const std::vector<bool> labelsWritten = source.labelsWrittenOfSeries(series);
  std::vector<std::vector<uint8_t>> result;
  bool outOfMemory = false;
  const bool finished = runLongJob(tr("Vessel segmentation"), [&](morvex::WorkerControl& control) {
    try {
      // the liver (labels 1 and 2) and the vessels the user labelled; frames of another size
      // stay empty
      const std::vector<int16_t> blank(pixels, 0);
      std::vector<std::vector<uint8_t>> liver(n, std::vector<uint8_t>(pixels, 0)), seeds = liver;
      std::vector<const int16_t*> ip;
      std::vector<const uint8_t*> lp, sp;
      for (int i = 0; i < n; ++i) {
        const int f = first + i;
        const bool fits = source.width(f) == w && source.height(f) == h && source.intensities(f);
        const uint8_t* labels = source.labelImage(f);
        if (fits && labels && labelsWritten[static_cast<std::size_t>(i)])
          for (std::size_t p = 0; p < pixels; ++p) {
            liver[i][p] = labels[p] == morvex::kLiver || labels[p] == morvex::kVessel ? 255 : 0;
            seeds[i][p] = labels[p] == morvex::kVessel ? 255 : 0;
          }
        ip.push_back(fits ? source.intensities(f) : blank.data());
        lp.push_back(liver[i].data());
        sp.push_back(seeds[i].data());
      }
      morvex::segmentVessels(ip.data(), lp.data(), sp.data(), w, h, n, result, t,
                             [&control](int p) { control.progress(p); }, nullptr,
                             [&control] { return control.cancelled(); });
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
    }
  });
  if (!finished) return;
  if (outOfMemory || result.size() != static_cast<std::size_t>(n)) {
    std::fprintf(stderr, "vesselSegmentation(): out of memory for %d slices of %d x %d\n", n, w, h);
    morvex::warningBox(this, tr("Not enough memory for the vessel segmentation of this series"));
    return;
  }
  long vesselPixels = 0;
  {
    const SeriesEditScope step(*this);
    for (int i = 0; i < n; ++i) {
      if (std::none_of(result[i].begin(), result[i].end(), [](uint8_t v) { return v != 0; })) continue;
      uint8_t* labels = study_.labelImage(first + i);
      for (std::size_t p = 0; p < pixels; ++p)
        if (result[i][p] != 0) {
          labels[p] = morvex::kVessel;
          ++vesselPixels;
        }
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("vesselSegmentation(): %d slices, %ld vessel pixels, %.2f s\n", n, vesselPixels, seconds);
  std::fflush(stdout);
  labelsChanged();
  const morvex::SliceHeader& header = study_.frame(first)->header;
  const double ml = static_cast<double>(vesselPixels) * header.voxelVolumeMl();
  statusBar()->showMessage(tr("Vessel segmentation: %1 voxels labelled Vessel (%2 mL) in %3 s")
                               .arg(vesselPixels)
                               .arg(ml, 0, 'f', 1)
                               .arg(seconds, 0, 'f', 1));
}
