// Vessel growth over the 120-slice 512 x 512 synthetic series seeded with its true vessels on three
// slices, and the liver histogram refresh of the Analysis page after an edit of one slice.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "analysis/chistogram_view.h"
#include "analysis/vessel_segmentation.h"
#include "tools/synthct/series_writer.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

Morvex* g_main = nullptr;

struct Volumes {
  int n = 0, w = 0, h = 0;
  std::vector<std::vector<int16_t>> hu;
  std::vector<std::vector<uint8_t>> liver, seeds, truth;
};

// The loaded series as the vessel slot hands it over, with the user's vessels on three slices.
Volumes volumesOfSeries() {
  Volumes v;
  morvex::Study& s = g_main->study();
  v.n = s.frameCount();
  v.w = s.width(0);
  v.h = s.height(0);
  const std::size_t px = static_cast<std::size_t>(v.w) * v.h;
  for (int f = 0; f < v.n; ++f) {
    const uint8_t* labels = s.labelImage(f);
    v.hu.emplace_back(s.intensities(f), s.intensities(f) + px);
    v.liver.emplace_back(px);
    v.seeds.emplace_back(px);
    v.truth.emplace_back(px);
    const bool seedSlice = f == 30 || f == 52 || f == 68;
    for (std::size_t p = 0; p < px; ++p) {
      v.liver[f][p] = labels[p] == 1 || labels[p] == 2 ? 255 : 0;
      v.truth[f][p] = labels[p] == 2;
      v.seeds[f][p] = seedSlice && labels[p] == 2 ? 255 : 0;
    }
  }
  return v;
}

void BM_VesselSegmentation(benchmark::State& state) {
  const Volumes v = volumesOfSeries();
  std::vector<const int16_t*> ip;
  std::vector<const uint8_t*> lp, sp;
  for (int k = 0; k < v.n; ++k) {
    ip.push_back(v.hu[k].data());
    lp.push_back(v.liver[k].data());
    sp.push_back(v.seeds[k].data());
  }
  std::vector<std::vector<uint8_t>> result;
  for (auto _ : state)
    morvex::segmentVessels(ip.data(), lp.data(), sp.data(), v.w, v.h, v.n, result, morvex::VesselTolerances());
  long both = 0, found = 0, real = 0;
  for (int k = 0; k < v.n; ++k)
    for (std::size_t p = 0; p < result[k].size(); ++p) {
      both += result[k][p] && v.truth[k][p];
      found += result[k][p] != 0;
      real += v.truth[k][p];
    }
  state.counters["dice"] = 2.0 * static_cast<double>(both) / static_cast<double>(found + real);
  state.counters["vesselPixels"] = static_cast<double>(found);
}

// The tail of an edit on the Analysis page: statistics of the series (one frame recounted), the
// liver histogram, its markers and trees.
void BM_LiverHistogramRefreshAfterEdit(benchmark::State& state) {
  g_main->form().tabWidget_Tool->setCurrentIndex(1);
  const int f = g_main->currentFrame();
  for (auto _ : state) {
    g_main->study().labelImage(f)[1000] = 1;  // the edit marks the frame changed
    g_main->reCalcRegionGroup(-1);
  }
  state.counters["bins"] = static_cast<double>(g_main->liverHistogram()->model().bins().size());
}

// The vessel growth as the window runs it, in wall time: the copies for the worker, the growth, the
// write-back with its undo step, the statistics refresh and the redraw. The series keeps its true
// vessels on the three seed slices only; each run is undone before the next.
void BM_VesselGrowthInWindow(benchmark::State& state) {
  morvex::Study& s = g_main->study();
  const std::size_t px = static_cast<std::size_t>(s.width(0)) * s.height(0);
  std::vector<std::vector<uint8_t>> kept;
  for (int f = 0; f < s.frameCount(); ++f) {
    uint8_t* labels = s.labelImage(f);
    kept.emplace_back(labels, labels + px);
    if (state.range(0) == 0 && f != 30 && f != 52 && f != 68) std::replace(labels, labels + px, uint8_t{2}, uint8_t{1});
  }
  for (auto _ : state) {
    g_main->vesselSegmentation();
    state.PauseTiming();
    g_main->undoHistory();
    state.ResumeTiming();
  }
  for (int f = 0; f < s.frameCount(); ++f) std::copy(kept[f].begin(), kept[f].end(), s.labelImage(f));
}

BENCHMARK(BM_VesselSegmentation)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_VesselGrowthInWindow)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LiverHistogramRefreshAfterEdit)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string folder = "bench-data/synthetic-120";
  if (!std::filesystem::exists(folder + "/IM0120.dcm")) {
    std::string error;
    if (!morvex::synth::writeSeries(morvex::synth::PhantomOptions(), folder, &error)) {
      std::fprintf(stderr, "cannot generate the series: %s\n", error.c_str());
      return 1;
    }
  }
  morvex::setWarningInterceptor([](const QString&) {});
  Morvex main;
  main.openPaths({QString::fromStdString(folder)});  // slices and their true labels
  main.showImage(60);
  g_main = &main;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
