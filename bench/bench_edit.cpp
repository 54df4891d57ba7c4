// Edit latency and the save command on a 200-slice 512 x 512 series shown at scale 1: a 50-point brush stroke applied
// through the whole tail (rasterise, paint, vessel clean-up, statistics refresh, undo push, redraw of
// the view), and each step on its own to show its share; a LiverSeg run's undo memory and the
// interface thread's stalls while it runs; the autosave of a one-frame change on a 300-slice series
// (its interface-thread and worker parts).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "segmentation/label_cleanup.h"
#include "tools/synthct/series_writer.h"
#include "view/cimage.h"
#include "view/edit_ops.h"
#include "view/stroke_raster.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"
#include "workspace/recovery_store.h"

namespace {

Morvex* g_main = nullptr;
CImage* g_view = nullptr;

QVector<QPoint> strokePoints(int shift) {
  QVector<QPoint> pts;
  for (int i = 0; i < 50; ++i) pts << QPoint(150 + 4 * i, 250 + (i % 10) + shift % 40);
  return pts;
}

void sendStroke(const QVector<QPoint>& pts) {
  QMouseEvent press(QEvent::MouseButtonPress, pts[0], pts[0], Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(g_view, &press);
  for (int i = 1; i < pts.size(); ++i) {
    QMouseEvent move(QEvent::MouseMove, pts[i], pts[i], Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(g_view, &move);
  }
}

void release(const QPoint& at) {
  QMouseEvent up(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(g_view, &up);
}

// The whole edit as the user triggers it: the release applies the stroke.
void BM_BrushStrokeFullTail(benchmark::State& state) {
  int shift = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const QVector<QPoint> pts = strokePoints(shift++);
    sendStroke(pts);
    state.ResumeTiming();
    release(pts.last());
  }
}

void BM_StepRasterise(benchmark::State& state) {
  const QVector<QPoint> pts = strokePoints(0);
  for (auto _ : state) benchmark::DoNotOptimize(morvex::rasteriseStroke(pts, 512, 512, 5).data());
}

void BM_StepPaint(benchmark::State& state) {
  const std::vector<uint8_t> mask = morvex::rasteriseStroke(strokePoints(0), 512, 512, 5);
  const int f = g_main->currentFrame();
  morvex::SliceEdit s;
  s.labels = g_main->study().labelImage(f);
  s.selection = g_main->study().selectionImage(f);
  s.intensities = g_main->study().intensities(f);
  s.width = s.height = 512;
  s.table = &g_main->labelTable();
  s.currentLabel = 1;
  for (auto _ : state) morvex::paintStroke(s, mask.data());
}

void BM_StepReLabeling(benchmark::State& state) {
  const int f = g_main->currentFrame();
  std::vector<uint8_t> before(g_main->study().labelImage(f), g_main->study().labelImage(f) + 512 * 512);
  std::vector<uint8_t> after = before;
  for (auto _ : state) g_main->reLabeling(f, before.data(), after.data());
}

void BM_StepStatisticsRefresh(benchmark::State& state) {
  const int f = g_main->currentFrame();
  for (auto _ : state) {
    g_main->study().labelImage(f)[1000] = 1;  // the edit marks the frame changed
    g_main->reCalcRegionGroup(-1);
  }
}

void BM_StepUndoPush(benchmark::State& state) {
  for (auto _ : state) g_main->pushUndo(3);
}

void BM_StepRedrawAll(benchmark::State& state) {
  for (auto _ : state) g_main->redrawAll();
}

// The save command on the 200-slice series: the series TIFF and the reports, into a folder and
// beside the slices.
// One frame recomposed and shown at the fit (1x) and zoomed 8x about the view's centre.
void BM_RedrawZoomed(benchmark::State& state) {
  g_view->fitToView();
  g_view->zoomAt(g_view->rect().center(), static_cast<float>(state.range(0)));
  for (auto _ : state) g_view->redraw(false);
  g_view->fitToView();
}

// An undo step over the whole 200-slice series (snapshots before, changed frames after).
void BM_UndoSeriesStep(benchmark::State& state) {
  morvex::Study& study = g_main->study();
  uint8_t v = 0;
  for (auto _ : state) {
    g_main->beginSeriesEdit();
    ++v;
    for (int f = 0; f < study.frameCount(); ++f) study.labelImage(f)[7] = v % 2;
    g_main->endSeriesEdit();
  }
  state.counters["history_MB"] = static_cast<double>(g_main->undoRing().bytes()) / (1 << 20);
}

// A 300-slice series in a window of its own, for the autosave figures (made on first use).
Morvex* g_main300 = nullptr;
Morvex& window300() {
  if (g_main300) return *g_main300;
  const std::string folder = "bench-data/synthetic-300";
  if (!std::filesystem::exists(folder + "/IM0300.dcm")) {
    morvex::synth::PhantomOptions options;
    options.slices = 300;
    options.sliceThickness = 1.5;
    std::string error;
    if (!morvex::synth::writeSeries(options, folder, &error)) std::fprintf(stderr, "%s\n", error.c_str());
  }
  g_main300 = new Morvex;
  g_main300->openPaths({QString::fromStdString(folder)});
  g_main300->showImage(150);
  return *g_main300;
}

// The interface thread's part of an autosave after a one-frame change on the 300-slice series:
// finding the changed frame, its copy and the hand-off to the worker.
void BM_AutosaveOneFrame300Interface(benchmark::State& state) {
  Morvex& m = window300();
  int i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    m.autosave();  // waits for the previous point; nothing new to write yet
    m.study().labelImage(m.currentFrame())[i++ % 1000] ^= 1;
    m.pushUndo(3);
    state.ResumeTiming();
    m.autosave();
  }
  state.counters["frames"] = m.study().frameCount();
}

// The worker's part of the same autosave: a new recovery point of one written frame and 299
// linked from the previous point, switched in, the previous point removed.
void BM_AutosaveOneFrame300Worker(benchmark::State& state) {
  const std::string root = (std::filesystem::temp_directory_path() / "morvex-bench-points").string();
  std::filesystem::remove_all(root);
  morvex::RecoveryStore store(root);
  store.claim("bench");
  std::vector<morvex::RecoveryStore::FrameLabels> frames;
  std::vector<uint8_t> labels(512 * 512, 0);
  for (int i = 0; i < 120 * 512; ++i) labels[static_cast<std::size_t>(i)] = 1;  // a liver-like block
  for (int f = 0; f < 300; ++f) frames.push_back({"IM" + std::to_string(f + 1), 512, 512, labels});
  store.save("bench", frames);
  int i = 0;
  for (auto _ : state) {
    frames[150].labels[static_cast<std::size_t>(i++ % 1000)] ^= 1;
    store.save("bench", {frames[150]});
  }
  state.counters["frames"] = static_cast<double>(store.recoveryPoint("bench").size());
  store.discard("bench");
}

// A whole LiverSeg run as one undo step: the memory that step takes.
void BM_LiverSegUndoMemory(benchmark::State& state) {
  for (auto _ : state) {
    const std::size_t before = g_main->undoRing().bytes();
    g_main->liverSegmentation();
    state.counters["step_MB"] = static_cast<double>(g_main->undoRing().bytes() - before) / (1 << 20);
    g_main->undoHistory();
  }
}

// A whole LiverSeg run through the window while a 5 ms timer ticks: the longest gap between ticks
// while the worker runs (how long the interface thread ever stalls), and the tail from the last
// tick to the end of the slot (the labels written back as one undo step, statistics, redraw).
void BM_LiverSegInterfaceStalls(benchmark::State& state) {
  for (auto _ : state) {
    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      worst = std::max(worst, now - last);
      last = now;
      ++ticks;
    });
    clock.start();
    tick.start(5);
    g_main->liverSegmentation();
    const qint64 end = clock.nsecsElapsed();
    state.counters["max_stall_ms"] = static_cast<double>(worst) / 1e6;
    state.counters["tail_ms"] = static_cast<double>(end - last) / 1e6;
    state.counters["ticks"] = ticks;
    g_main->undoHistory();
  }
}

// Cancel pressed one second into a LiverSeg run: the time from the press until the window is
// handed back with the labels as they were (the slice under way ends, then the poll sees it).
void BM_LiverSegCancel(benchmark::State& state) {
  for (auto _ : state) {
    QElapsedTimer clock;
    qint64 pressed = 0;
    QTimer::singleShot(1000, [&] {
      pressed = clock.nsecsElapsed();
      g_main->cancelButton()->click();
    });
    clock.start();
    g_main->liverSegmentation();
    state.counters["cancel_to_idle_ms"] = static_cast<double>(clock.nsecsElapsed() - pressed) / 1e6;
  }
}

void BM_SaveFileDir(benchmark::State& state) {
  const std::string out = "bench-data/save-out";
  std::filesystem::create_directories(out);
  g_main->setDirectoryChooser([&] { return QString::fromStdString(out); });
  for (auto _ : state) g_main->saveFileDir();
}

BENCHMARK(BM_SaveFileDir)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_BrushStrokeFullTail)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StepRasterise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepReLabeling)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepStatisticsRefresh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepUndoPush)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepRedrawAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawZoomed)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoSeriesStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutosaveOneFrame300Interface)->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutosaveOneFrame300Worker)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiverSegUndoMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiverSegInterfaceStalls)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiverSegCancel)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string folder = "bench-data/synthetic-200";
  if (!std::filesystem::exists(folder + "/IM0200.dcm")) {
    morvex::synth::PhantomOptions options;
    options.slices = 200;
    options.sliceThickness = 1.5;
    std::string error;
    if (!morvex::synth::writeSeries(options, folder, &error)) return 1;
  }
  morvex::setWarningInterceptor([](const QString&) {});
  morvex::setQuestionInterceptor([](const QString&) { return morvex::Answer::No; });  // no kept labels
  const std::string recovery = (std::filesystem::temp_directory_path() / "morvex-bench-recovery").string();
  qputenv("MORVEX_RECOVERY_DIR", QByteArray::fromStdString(recovery));
  Morvex main;
  main.resize(1374, 904);
  main.openPaths({QString::fromStdString(folder)});  // slices and their liver masks
  main.showImage(100);
  g_main = &main;
  g_view = main.imageViews().value(0);
  g_view->resize(512, 512);
  g_view->setDisplaySize(512, 512);
  main.setBrushState();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  main.closeCleanly();
  if (g_main300) g_main300->closeCleanly();
  delete g_main300;
  return 0;
}
