// Coronal and sagittal planes of a 512 x 512 x 300 series (a labelled ellipsoid in it): the
// picture of one plane at 1x (sampled from the frames, windowed, overlaid), and a brush stroke
// drawn down the sagittal plane through its whole tail: the edit across the frames it crosses
// with the vessel clean-up, the undo step, the series statistics (touched frames recounted) and
// the new pictures of both planes.

#include <benchmark/benchmark.h>

#include <vector>

#include "analysis/area_statistics.h"
#include "view/plane_reformat.h"
#include "workspace/undo_history.h"

namespace {

constexpr int kSide = 512, kFrames = 300;

struct Volume {
  morvex::Study study;
  morvex::LabelTable table = morvex::defaultLabelTable();
  Volume() {
    for (int k = 0; k < kFrames; ++k) {
      morvex::SliceHeader h;
      h.patientName = "BENCH";
      h.seriesDate = "20200101";
      h.instanceNumber = k + 1;
      h.pixelSpacing = 0.7f;
      h.pixelSpacingRow = h.pixelSpacingColumn = 0.7;
      h.sliceThickness = 1.5f;
      h.hasPosition = true;
      h.imagePosition[2] = -1.5 * k;
      const double orientation[6] = {1, 0, 0, 0, 1, 0};
      std::copy(orientation, orientation + 6, h.imageOrientation);
      morvex::SlicePixels px;
      px.width = px.height = kSide;
      px.intensities.reset(static_cast<std::size_t>(kSide) * kSide);
      for (int i = 0; i < kSide * kSide; ++i) px.intensities.data()[i] = static_cast<int16_t>((i * 7 + k * 13) % 400 - 100);
      const int f = study.insertFrame(h, std::move(px));
      uint8_t* labels = study.labelImage(f);
      // an ellipsoid "liver" around the centre, with a vessel through it
      for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
          const double dx = (x - 256) / 150.0, dy = (y - 256) / 110.0, dz = (k - 150) / 110.0;
          if (dx * dx + dy * dy + dz * dz < 1) labels[y * kSide + x] = (x - 240) * (x - 240) + (y - 250) * (y - 250) < 100 ? 2 : 1;
        }
    }
  }
};

Volume& volume() {
  static Volume v;
  return v;
}

morvex::OverlaySettings overlay(const Volume& v) {
  morvex::OverlaySettings s;
  s.labels = &v.table;
  s.currentLabel = 1;
  return s;
}

void BM_RenderPlane(benchmark::State& state) {
  Volume& v = volume();
  const auto axis = static_cast<morvex::PlaneAxis>(state.range(0));
  const morvex::PlaneStack stack = morvex::collectPlaneStack(v.study, 0);
  const morvex::PlaneSize size = morvex::planeSize(stack, axis);
  std::vector<uint32_t> canvas(static_cast<std::size_t>(size.width) * size.height);
  const morvex::OverlaySettings s = overlay(v);
  for (auto _ : state) {
    morvex::renderPlane(v.study, stack, axis, 256, -100, 300, false, s, canvas.data());
    benchmark::DoNotOptimize(canvas.data());
  }
  state.SetLabel(axis == morvex::PlaneAxis::Coronal ? "coronal 512 x 300" : "sagittal 512 x 300");
}
BENCHMARK(BM_RenderPlane)->Arg(static_cast<int>(morvex::PlaneAxis::Coronal))->Arg(static_cast<int>(morvex::PlaneAxis::Sagittal))
    ->Unit(benchmark::kMillisecond);

// A 10-pixel pen drawn down the sagittal plane through state.range(0) frames, label 3 and 1 in turn
// so that every stroke changes its voxels.
void BM_SagittalStrokeTail(benchmark::State& state) {
  Volume& v = volume();
  const int crossed = static_cast<int>(state.range(0));
  morvex::UndoHistory history;
  morvex::SeriesStatistics statistics;
  morvex::AreaStatistics area(v.table.size());
  const int series = v.study.seriesOfFrame(0);
  statistics.compute(v.study, series, false, area);  // the series was counted before the edit
  const morvex::OverlaySettings s = overlay(v);
  std::vector<uint32_t> coronal(512 * kFrames), sagittal(512 * kFrames);
  int label = 3;
  for (auto _ : state) {
    const morvex::PlaneStack stack = morvex::collectPlaneStack(v.study, 150);
    const morvex::PlaneSize size = morvex::planeSize(stack, morvex::PlaneAxis::Sagittal);
    const int top = (kFrames - crossed) / 2;
    const std::vector<morvex::ImagePoint> stroke = {{200, top}, {260, top + crossed / 2}, {230, top + crossed - 1}};
    morvex::FrameRevisions written;
    auto changes = morvex::editPlane(
        v.study, stack, morvex::PlaneAxis::Sagittal, 256, {}, &v.table, label,
        [&](morvex::SliceEdit& e) {
          const auto mask = morvex::rasteriseScaledBrush(stroke, e.width, e.height, 10, size.rowScale);
          morvex::paintStroke(e, mask.data());
          return true;
        },
        &written);
    statistics.applyChanges(v.study, changes, written);
    history.pushVoxels(150, std::move(changes));
    statistics.compute(v.study, series, false, area);
    morvex::renderPlane(v.study, stack, morvex::PlaneAxis::Coronal, 256, -100, 300, false, s, coronal.data());
    morvex::renderPlane(v.study, stack, morvex::PlaneAxis::Sagittal, 256, -100, 300, false, s, sagittal.data());
    label = label == 3 ? 1 : 3;
  }
  state.counters["recounted"] = statistics.recountedFrames();
}
BENCHMARK(BM_SagittalStrokeTail)->Arg(40)->Arg(150)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
