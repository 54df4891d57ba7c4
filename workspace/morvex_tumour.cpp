// A tumour from one click: with the Cancer label current, the selection tool's click inside a
// lesion labels the lesion in 3D (the engine runs off the interface thread; one undo step).

#include <QStatusBar>
#include <cstdio>
#include <new>

#include "analysis/area_statistics.h"
#include "segmentation/tumour_click.h"
#include "study/label_table.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {
QString refusal(morvex::TumourClickStatus status) {
  switch (status) {
    case morvex::TumourClickStatus::NoLiver:
      return Morvex::tr("Tumour: segment the liver first; the lesion is sought inside it");
    case morvex::TumourClickStatus::OutsideLiver: return Morvex::tr("Tumour: the click lies outside the liver");
    case morvex::TumourClickStatus::NoContrast:
      return Morvex::tr("Tumour: the click's intensity is that of the liver; click inside a lesion");
    case morvex::TumourClickStatus::TooLarge:
      return Morvex::tr("Tumour: the region ran beyond any lesion's size; nothing was labelled");
    case morvex::TumourClickStatus::TooSmall: return Morvex::tr("Tumour: no lesion found at the click");
    case morvex::TumourClickStatus::Done: break;
  }
  return {};
}
}  // namespace

bool Morvex::tumourFromClick(const QPoint& p) {
  if (currentLabel_ != morvex::kCancer || study_.frameCount() == 0 || longRunActive()) return false;
  const int series = study_.seriesOfFrame(currentFrame_);
  const int first = study_.firstFrameOfSeries(series);
  morvex::AreaStatistics st(study_.labelCount());
  seriesStatistics_.compute(study_, series, false, st);  // the Analysis page's liver histogram
  const morvex::LiverIntensity liver = morvex::liverIntensityOf(st);
  // The worker only reads the series; this thread does not edit it meanwhile (edits are blocked).
  const morvex::TumourVolume volume = morvex::tumourVolumeOf(study_, series);
  morvex::TumourRegion region;
  bool outOfMemory = false;
  const bool finished = runLongJob(tr("Tumour"), [&](morvex::WorkerControl& control) {
    try {
      region = morvex::segmentTumourFromClick(volume, currentFrame_ - first, p.x(), p.y(), liver);
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
    }
    control.progress(100);
  });
  if (!finished) return true;
  if (outOfMemory) {
    morvex::warningBox(this, tr("Not enough memory for the tumour on this series"));
    return true;
  }
  if (region.status != morvex::TumourClickStatus::Done) {
    std::printf("tumourFromClick(): refused (%d), lesion %.0f HU\n", static_cast<int>(region.status), region.lesionHU);
    std::fflush(stdout);
    statusBar()->showMessage(refusal(region.status));
    return false;  // the selection tool does what it always did there
  }
  {
    const SeriesEditScope step(*this, first + region.firstSlice,
                               first + region.firstSlice + static_cast<int>(region.slices.size()) - 1);
    std::vector<uint8_t*> labels;
    for (int k = 0; k < volume.slices(); ++k) labels.push_back(study_.labelImage(first + k));
    morvex::applyTumour(region, labels, morvex::kCancer);
  }
  const double ml = static_cast<double>(region.voxels) * study_.frame(first)->header.voxelVolumeMl();
  std::printf("tumourFromClick(): %ld voxels, %.1f mL, %.0f HU\n", region.voxels, ml, region.lesionHU);
  std::fflush(stdout);
  reCalcRegionGroup(-1);
  redrawAll();
  statusBar()->showMessage(tr("Tumour: %1 mL on %2 slices").arg(ml, 0, 'f', 1).arg(region.slices.size()));
  return true;
}
