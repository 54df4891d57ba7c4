// Liver division on the generated 120-slice 512 x 512 series with its true liver and vessels:
// the division maps of an interpolated division (two key lines, every liver slice between them
// on its own line), applying them to the labels, and both together as the confirming click costs.

#include <benchmark/benchmark.h>

#include <algorithm>

#include "segmentation/liver_divider.h"
#include "study/label_table.h"
#include "study/study.h"
#include "bench/phantom_series.h"

namespace {

constexpr int kSize = 512, kSlices = 120;

struct Series {
  morvex::Study study;
  int series = -1;
  int firstLiver = -1, lastLiver = -1;
};

const Series& syntheticSeries() {
  static Series* s = [] {
    auto* out = new Series;
    morvex::synth::PhantomOptions o;
    o.size = kSize;
    o.slices = kSlices;
    out->series = morvex::bench::addPhantomSeries(out->study, o);
    const morvex::Study& study = out->study;
    for (int f = 0; f < study.frameCount(); ++f) {
      const uint8_t* labels = study.labelImage(f);
      if (std::find(labels, labels + kSize * kSize, morvex::kLiver) == labels + kSize * kSize) continue;
      if (out->firstLiver < 0) out->firstLiver = f;
      out->lastLiver = f;
    }
    return out;
  }();
  return *s;
}

void stroke(morvex::CLiverDivider& d, const morvex::Study& study, int f, std::initializer_list<morvex::DivPoint> pts) {
  d.press(study, f, pts.begin()->x, pts.begin()->y);
  for (const morvex::DivPoint& p : pts) d.move(f, p.x, p.y, true);
  const morvex::DivPoint last = *(pts.end() - 1);
  d.release(study, f, last.x, last.y, true);
}

// A divider with two curved key lines ten slices inside both ends of the liver.
morvex::CLiverDivider interpolatedDivider(const Series& s) {
  morvex::CLiverDivider d(morvex::CLiverDivider::Mode::Interpolation, s.series, kSize, kSize);
  stroke(d, s.study, s.firstLiver + 10, {{150, 60}, {160, 150}, {175, 240}, {170, 330}, {150, 420}});
  stroke(d, s.study, s.lastLiver - 10, {{200, 430}, {215, 330}, {220, 240}, {210, 150}, {190, 70}});
  return d;
}

void BM_DivisionMaps(benchmark::State& state) {
  const Series& s = syntheticSeries();
  morvex::CLiverDivider d = interpolatedDivider(s);
  for (auto _ : state) {
    d.computeDivision(s.study);
    benchmark::DoNotOptimize(d.mapFrames().data());
  }
  state.counters["maps"] = static_cast<double>(d.mapFrames().size());
}

void BM_ApplyDivision(benchmark::State& state, bool withMaps) {
  Series& s = const_cast<Series&>(syntheticSeries());
  morvex::CLiverDivider d = interpolatedDivider(s);
  for (auto _ : state) {
    if (withMaps) d.computeDivision(s.study);
    benchmark::DoNotOptimize(d.apply(s.study).size());
    state.PauseTiming();
    morvex::uniteDivision(s.study, s.series, -1);
    s.study.clearDivisionOfSeries(s.series);
    state.ResumeTiming();
  }
}

}  // namespace

BENCHMARK(BM_DivisionMaps)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_ApplyDivision, labels_only, false)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_ApplyDivision, maps_and_labels, true)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
