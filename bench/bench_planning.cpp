// Resection planning on the generated 120-slice 512 x 512 series with its true liver, vessels and
// tumour: the figures of a key-line plan after a key line changed and after the labels changed,
// of a plane plan, and the whole PDF report.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QTemporaryDir>

#include "export/pdf_report.h"
#include "planning/resection_plan.h"
#include "study/label_table.h"
#include "study/study.h"
#include "bench/phantom_series.h"

namespace {

constexpr int kSize = 512, kSlices = 120;

const morvex::Study& syntheticSeries() {
  static morvex::Study* s = [] {
    auto* study = new morvex::Study;
    morvex::synth::PhantomOptions o;
    o.size = kSize;
    o.slices = kSlices;
    morvex::SliceHeader h;
    h.pixelSpacingRow = 0.7, h.pixelSpacingColumn = 0.7, h.sliceThickness = 2.0;
    morvex::bench::addPhantomSeries(*study, o, h);
    study->setLabelCount(morvex::defaultLabelTable().size());
    return study;
  }();
  return *s;
}

morvex::DivisionLine line(int slice, morvex::DivPoint a, morvex::DivPoint b) {
  morvex::DivisionLine l;
  l.frame = slice;
  l.append(a, 0, a);
  l.append(b, 0, b);
  return l;
}

morvex::ResectionPlan keyLinePlan(int shift) {
  morvex::ResectionPlan p;
  p.setKeyLine(line(30, {200 + shift, 0}, {260 + shift, 511}));
  p.setKeyLine(line(60, {230, 0}, {240, 511}));
  p.setKeyLine(line(90, {250, 0}, {220, 511}));
  p.hasSide = true, p.sideSlice = 60, p.sideX = 100, p.sideY = 256;
  return p;
}

// A key line moved, the labels did not: the figures from the labels' kept summary (side maps of
// every liver slice, the counts on the removed side, the distance to the cut).
void BM_KeyLinePlanFigures(benchmark::State& state) {
  const morvex::PlanVolume volume = morvex::planVolumeOf(syntheticSeries(), 0);
  morvex::PlanLabelCache cache;
  int shift = 0;
  double margin = 0;
  for (auto _ : state) {
    const morvex::PlanFigures f = morvex::computePlanFigures(volume, keyLinePlan(shift++ % 20), cache.of(volume).get());
    benchmark::DoNotOptimize(f.remnantPercent);
    margin = f.tumours.empty() ? -1 : f.tumours[0].marginMm;
  }
  state.counters["margin_mm"] = margin;
}

// The labels changed: their summary made again (counts, tumours, each tumour's distance map)
// and the figures with it, as the panel does after an edit.
void BM_PlanFiguresAfterLabelEdit(benchmark::State& state) {
  const morvex::PlanVolume volume = morvex::planVolumeOf(syntheticSeries(), 0);
  for (auto _ : state) benchmark::DoNotOptimize(morvex::computePlanFigures(volume, keyLinePlan(0)).remnantPercent);
}

// The part of it that draws the cut on every liver slice.
void BM_KeyLineSideMaps(benchmark::State& state) {
  const morvex::PlanVolume volume = morvex::planVolumeOf(syntheticSeries(), 0);
  for (auto _ : state) benchmark::DoNotOptimize(morvex::sideMapsOf(volume, keyLinePlan(0)).removed);
}

void BM_PlanePlanFigures(benchmark::State& state) {
  const morvex::PlanVolume volume = morvex::planVolumeOf(syntheticSeries(), 0);
  morvex::ResectionPlan p;
  p.kind = morvex::PlanKind::Plane;
  p.planePoint[0] = 230 * 0.7;
  p.planeNormal[2] = 0.3;
  p.hasSide = true, p.sideSlice = 60, p.sideX = 100, p.sideY = 256;
  for (auto _ : state) benchmark::DoNotOptimize(morvex::computePlanFigures(volume, p).remnantPercent);
}

void BM_PdfReport(benchmark::State& state) {
  morvex::PlanSet plans;
  plans.plans = {keyLinePlan(0)};
  plans.active = 0;
  const morvex::LabelTable labels = morvex::defaultLabelTable();
  QTemporaryDir dir;
  for (auto _ : state) {
    const morvex::PdfReportInput in = morvex::reportInputOf(syntheticSeries(), 0, labels, &plans, false);
    if (!morvex::writePdfReport(dir.filePath("report.pdf"), in, nullptr)) state.SkipWithError("report not written");
  }
}

}  // namespace

BENCHMARK(BM_KeyLinePlanFigures)->Unit(benchmark::kMillisecond)->MinTime(2.0)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_PlanFiguresAfterLabelEdit)->Unit(benchmark::kMillisecond)->MinTime(2.0)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_KeyLineSideMaps)->Unit(benchmark::kMillisecond)->MinTime(2.0)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_PlanePlanFigures)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PdfReport)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
