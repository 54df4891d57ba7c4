// Series import through the main window (decode, file tree, sorting, renumbering, information
// panel) on a generated 200-slice 512 x 512 series, next to a bare DCMTK decode of the same files.
// Reports slices per second (wall clock: the window decodes on worker threads), the resident
// memory the imported study takes, and the ratio of the window import to the bare decode.
// Start-up as the program does it: the frameless window shown, the series folder (slices and masks)
// opened, until the first slice is painted.
// Run: bench_import [--series FOLDER] [benchmark flags]

#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/borderless_main_window.h"
#include "app/data_files.h"
#include "bench/bare_dcmtk.h"
#include "study/slice_decoder.h"
#include "view/cimage.h"
#include "tools/synthct/series_writer.h"
#include "workspace/morvex.h"

namespace {

std::vector<std::string> g_files;
QStringList g_list;
QString g_folder;
double g_windowMs = 0, g_bareMs = 0;  // wall-clock milliseconds per import of the last run

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Resident and peak resident memory of this process in MiB.
double statusMiB(const char* key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::strlen(key))) / 1024.0;
  return 0;
}

void BM_WindowImport(benchmark::State& state) {
  double studyMiB = 0, totalMs = 0;
  for (auto _ : state) {
    Morvex window;
    const double before = statusMiB("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    window.readDICOM(g_list);
    totalMs += msSince(start);
    studyMiB = statusMiB("VmRSS:") - before;
    if (window.study().frameCount() != static_cast<int>(g_files.size())) state.SkipWithError("a slice failed");
  }
  state.counters["slices/s"] =
      benchmark::Counter(static_cast<double>(g_files.size()), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["study_MiB"] = studyMiB;
  g_windowMs = totalMs / static_cast<double>(state.iterations());
  state.counters["peak_MiB"] = statusMiB("VmHWM:");
}

void BM_BareDcmtkDecode(benchmark::State& state) {
  morvex::initDicomCodecs();
  double totalMs = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::vector<int16_t>> kept;
    for (const std::string& f : g_files) {
      std::vector<int16_t> out;
      if (!bareDcmtkDecode(f, out)) {
        state.SkipWithError("unexpected file");
        break;
      }
      kept.push_back(std::move(out));
    }
    benchmark::DoNotOptimize(kept.data());
    totalMs += msSince(start);
  }
  g_bareMs = totalMs / static_cast<double>(state.iterations());
  state.counters["slices/s"] =
      benchmark::Counter(static_cast<double>(g_files.size()), benchmark::Counter::kIsIterationInvariantRate);
}

// Tells when a slice view first painted.
struct SlicePainted : QObject {
  bool seen = false;
  std::chrono::steady_clock::time_point at;
  bool eventFilter(QObject* object, QEvent* event) override {
    if (!seen && event->type() == QEvent::Paint && qobject_cast<CImage*>(object)) {
      seen = true;
      at = std::chrono::steady_clock::now();
    }
    return false;
  }
};

// Iteration time: from constructing the window to the first painted slice. loaded_ms: until the
// open (masks included) has ended.
void BM_StartUpToFirstPaint(benchmark::State& state) {
  double loadedMs = 0;
  for (auto _ : state) {
    SlicePainted painted;
    qApp->installEventFilter(&painted);
    const auto start = std::chrono::steady_clock::now();
    {
      BorderlessMainWindow window;
      window.show();
      window.openOnceShown({g_folder});
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while ((!painted.seen || window.mainWindowWidget()->study().frameCount() == 0) &&
             std::chrono::steady_clock::now() < deadline)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
      loadedMs += msSince(start);
      window.mainWindowWidget()->closeCleanly();
    }
    qApp->removeEventFilter(&painted);
    if (!painted.seen) state.SkipWithError("no slice painted");
    state.SetIterationTime(std::chrono::duration<double>(painted.at - start).count());
  }
  state.counters["loaded_ms"] = loadedMs / static_cast<double>(state.iterations());
}

BENCHMARK(BM_StartUpToFirstPaint)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseManualTime();
BENCHMARK(BM_BareDcmtkDecode)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_WindowImport)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::string folder = "bench-data/synthetic-200";
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--series") == 0 && i + 1 < argc)
      folder = argv[++i];
    else
      rest.push_back(argv[i]);
  }
  if (folder == "bench-data/synthetic-200" && !std::filesystem::exists(folder + "/IM0200.dcm")) {
    morvex::synth::PhantomOptions options;
    options.slices = 200;
    options.sliceThickness = 1.5;
    std::string error;
    if (!morvex::synth::writeSeries(options, folder, &error)) {
      std::fprintf(stderr, "cannot generate the series: %s\n", error.c_str());
      return 1;
    }
  }
  g_folder = QString::fromStdString(folder);
  for (const auto& e : std::filesystem::directory_iterator(folder))
    if (e.path().extension() == ".dcm") g_files.push_back(e.path().string());
  std::sort(g_files.begin(), g_files.end());
  for (const std::string& f : g_files) g_list << QString::fromStdString(f);
  std::printf("series: %s (%zu slices)\n", folder.c_str(), g_files.size());
  int n = static_cast<int>(rest.size());
  qputenv("MORVEX_RECOVERY_DIR", QByteArray::fromStdString((std::filesystem::temp_directory_path() / "morvex-bench-recovery").string()));
  morvex::registerDarkStyle();
  QApplication app(n, rest.data());
  app.setStyleSheet(morvex::readStyleSheet());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  if (g_windowMs > 0 && g_bareMs > 0)
    std::printf("window import %.0f ms, bare decode %.0f ms: ratio %.2f, %.0f slices/s\n", g_windowMs, g_bareMs,
                g_windowMs / g_bareMs, 1000.0 * static_cast<double>(g_files.size()) / g_windowMs);
  benchmark::Shutdown();
  return 0;
}
