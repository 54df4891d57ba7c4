// 3D view figures on the 120-slice 512 x 512 synthetic series (0.7 x 0.7 x 2.5 mm): the liver
// surface from nothing (extraction, smoothing, decimation), all three labels from nothing, the
// update after a one-slice edit of the liver, and (under an X server with OpenGL, e.g. xvfb-run
// with Mesa's llvmpipe) one rendered frame of the panel. Run with --benchmark_filter to pick; the
// render case skips with a message without a display.
// Time is wall time, the figure the targets speak of (1 s, 300 ms, 50 ms); CPU is the whole
// process's (VTK's and the software rasteriser's threads included): on a machine busy with other
// work the wall time grows, and CPU tells what an idle one would take (at most CPU on one core).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QOpenGLWidget>

#include "tools/synthct/phantom.h"
#include "view3d/label_surfaces.h"
#include "view3d/surface_view.h"

namespace {

using morvex::view3d::SliceStack;

// The ground-truth labels of the series; allLabels false keeps the liver (label 1) only.
SliceStack phantomStack(bool allLabels) {
  morvex::synth::PhantomOptions opt;
  opt.noiseSigma = 0;
  const morvex::synth::Phantom phantom(opt);
  SliceStack s;
  s.width = s.height = opt.size;
  s.spacing[0] = s.spacing[1] = opt.pixelSpacing;
  s.spacing[2] = opt.sliceThickness;
  for (int k = 0; k < opt.slices; ++k) {
    std::vector<uint8_t> labels = phantom.slice(k).labels;
    if (!allLabels)
      for (uint8_t& v : labels) v = v == morvex::synth::kGtLiver ? 1 : 0;
    s.slices.push_back(std::make_shared<const std::vector<uint8_t>>(std::move(labels)));
    s.revisions.push_back(1);
  }
  return s;
}

const SliceStack& liverStack() {
  static const SliceStack s = phantomStack(false);
  return s;
}
const SliceStack& allLabelsStack() {
  static const SliceStack s = phantomStack(true);
  return s;
}

void BM_LiverSurface(benchmark::State& state) {
  const SliceStack& s = liverStack();
  long triangles = 0;
  for (auto _ : state) {
    morvex::view3d::LabelSurfaces surfaces;
    surfaces.update(s);
    triangles = surfaces.triangleCount(1);
  }
  state.counters["triangles"] = static_cast<double>(triangles);
}
BENCHMARK(BM_LiverSurface)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_AllLabelSurfaces(benchmark::State& state) {
  const SliceStack& s = allLabelsStack();
  for (auto _ : state) {
    morvex::view3d::LabelSurfaces surfaces;
    surfaces.update(s);
  }
}
BENCHMARK(BM_AllLabelSurfaces)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// One slice of the liver gains (then loses) a 20 x 20 block at its edge, as a brush stroke
// would, and the surfaces are brought up to date: the liver alone is recomputed.
void BM_OneSliceEdit(benchmark::State& state) {
  SliceStack s = allLabelsStack();
  morvex::view3d::LabelSurfaces surfaces;
  surfaces.update(s);
  const int k = s.sliceCount() / 2;
  const auto original = s.slices[k];
  bool grow = true;
  size_t recomputed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (grow) {
      auto edited = std::make_shared<std::vector<uint8_t>>(*original);
      // the first liver pixel's neighbourhood
      size_t at = 0;
      while (at < edited->size() && (*edited)[at] != 1) ++at;
      const int x0 = static_cast<int>(at % s.width), y0 = static_cast<int>(at / s.width);
      for (int y = y0; y < std::min(y0 + 20, s.height); ++y)
        for (int x = std::max(x0 - 10, 0); x < std::min(x0 + 10, s.width); ++x) (*edited)[static_cast<size_t>(y) * s.width + x] = 1;
      s.slices[k] = edited;
    } else {
      s.slices[k] = original;
    }
    ++s.revisions[k];
    grow = !grow;
    state.ResumeTiming();
    recomputed = surfaces.update(s).size();
  }
  state.counters["labels_recomputed"] = static_cast<double>(recomputed);
}
BENCHMARK(BM_OneSliceEdit)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// One frame of the panel as the window shows it (the liver at half opacity around the opaque
// vessels and tumour, the axial slice plane), turned by 2 degrees as a drag does, from the camera
// change until the frame is on the screen; arguments: the panel's side in pixels, the liver's
// opacity in percent. The first frames (shader compilation, buffer upload) are not timed.
void BM_RenderFrame(benchmark::State& state) {
  QString why;
  if (!CSurfaceView::renderingAvailable(&why)) {
    state.SkipWithError(qPrintable("no 3D rendering here (run under xvfb-run): " + why));
    return;
  }
  CSurfaceView view;
  const int side = static_cast<int>(state.range(0));
  view.resize(side, side);
  view.show();
  view.setLabelColour(1, QColor(145, 57, 53));
  view.setLabelColour(2, QColor(1, 175, 78));
  view.setLabelColour(3, QColor(179, 162, 198));
  view.setLabelOpacity(1, static_cast<double>(state.range(1)) / 100);
  view.setLabels(allLabelsStack());
  while (view.busy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  view.setSlice(allLabelsStack().sliceCount() / 2);
  view.resetView();
  // a frame is on the screen when the window has composed and swapped it
  auto* gl = view.findChild<QOpenGLWidget*>();
  int swapped = 0;
  QObject::connect(gl, &QOpenGLWidget::frameSwapped, [&swapped] { ++swapped; });
  auto frame = [&] {
    const int before = swapped;
    view.renderFrame(2.0);
    while (swapped == before) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  };
  for (int i = 0; i < 5; ++i) frame();
  for (auto _ : state) frame();
  state.counters["triangles"] = static_cast<double>(view.shownTriangles());
  state.counters["pixels"] = static_cast<double>(gl->width()) * gl->height();
}
BENCHMARK(BM_RenderFrame)
    ->Args({800, 50})
    ->Args({800, 100})
    ->Args({512, 50})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(60);

}  // namespace

int main(int argc, char** argv) {
  CSurfaceView::prepareApplication();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
