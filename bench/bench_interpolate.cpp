// Fill between slices on 512 x 512 slices: one gap of 40 slices planned whole, and the preview's
// update after one key slice of a 120-slice series (keys every 5th slice) is edited, against the
// full re-plan of that series; the same update through the window (the edited key written into the
// study, then the slice view redrawn: the preview re-plans and is drawn).

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "segmentation/slice_interpolation.h"
#include "view/cimage.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

constexpr int kSize = 512;

// A liver-sized ellipse whose centre and axes drift with z.
void ellipse(std::vector<uint8_t>& labels, int z) {
  const double cx = 230 + 0.6 * z, cy = 250 - 0.3 * z, ax = 150 - 0.4 * z, ay = 110 + 0.3 * z;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const double u = (x - cx) / ax, v = (y - cy) / ay;
      if (u * u + v * v <= 1.0) labels[static_cast<std::size_t>(y) * kSize + x] = 1;
    }
}

struct Series {
  std::vector<std::vector<uint8_t>> slices;
  std::vector<const uint8_t*> pointers;
  Series(int count, int keyStep) : slices(count, std::vector<uint8_t>(kSize * kSize, 0)) {
    for (int z = 0; z < count; z += keyStep) ellipse(slices[z], z);
    for (const auto& s : slices) pointers.push_back(s.data());
  }
};

void BM_FillGapOf40Slices(benchmark::State& state) {
  const Series s(42, 41);
  for (auto _ : state) benchmark::DoNotOptimize(morvex::planSliceFill(s.pointers, kSize, kSize, 1));
}
BENCHMARK(BM_FillGapOf40Slices)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PreviewUpdateAfterKeyEdit120(benchmark::State& state) {
  Series s(120, 5);
  morvex::SliceFillPlan plan = morvex::planSliceFill(s.pointers, kSize, kSize, 1);
  int n = 0;
  for (auto _ : state) {
    // a brush dab on key slice 60, on and off
    const uint8_t value = (n++ % 2) ? 0 : 1;
    for (int y = 240; y < 260; ++y)
      for (int x = 380; x < 400; ++x) s.slices[60][static_cast<std::size_t>(y) * kSize + x] = value;
    morvex::updateSliceFill(plan, s.pointers, 60);
    benchmark::DoNotOptimize(plan.slices.data());
  }
}
BENCHMARK(BM_PreviewUpdateAfterKeyEdit120)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FullPlan120(benchmark::State& state) {
  const Series s(120, 5);
  for (auto _ : state) benchmark::DoNotOptimize(morvex::planSliceFill(s.pointers, kSize, kSize, 1));
}
BENCHMARK(BM_FullPlan120)->Unit(benchmark::kMillisecond)->UseRealTime();

Morvex* g_main = nullptr;

void BM_WindowPreviewUpdateAfterKeyEdit120(benchmark::State& state) {
  Morvex& main = *g_main;
  CImage* view = main.imageViews().value(0);
  std::vector<uint8_t> key(static_cast<const morvex::Study&>(main.study()).labelImage(60),
                           static_cast<const morvex::Study&>(main.study()).labelImage(60) + kSize * kSize);
  int n = 0;
  for (auto _ : state) {
    const uint8_t value = (n++ % 2) ? 0 : 1;
    for (int y = 240; y < 260; ++y)
      for (int x = 380; x < 400; ++x) key[static_cast<std::size_t>(y) * kSize + x] = value;
    main.study().setLabelImage(60, key.data(), kSize, kSize);
    view->redraw(false);
  }
  if (!main.fillPreviewShown()) state.SkipWithError("no preview");
}
BENCHMARK(BM_WindowPreviewUpdateAfterKeyEdit120)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  morvex::setWarningInterceptor([](const QString&) {});
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "morvex-bench-interpolate";
  std::filesystem::create_directories(folder);
  QStringList files;
  for (int i = 1; i <= 120; ++i) {
    const std::string path = (folder / ("P_20200101_" + std::to_string(i) + ".png")).string();
    if (!std::filesystem::exists(path)) cv::imwrite(path, cv::Mat(kSize, kSize, CV_8UC1, cv::Scalar(60)));
    files << QString::fromStdString(path);
  }
  Morvex main;
  main.readDICOM(files);
  if (main.study().frameCount() != 120) return 1;
  const Series keys(120, 5);
  for (int f = 0; f < 120; f += 5) main.study().setLabelImage(f, keys.slices[f].data(), kSize, kSize);
  main.showImage(60);
  main.findChild<QAction*>("actionFillBetweenSlices")->trigger();
  g_main = &main;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
