// Liver segmentation on the generated 120-slice 512 x 512 series, seeded by the ground-truth liver
// of slice 50: the seed run, the copy a run works on, one propagation run, and the whole 3D run on the plain and the hard
// preset. The 3D runs also report the Dice coefficient and the volume error against the truth.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "segmentation/liver_driver.h"
#include "segmentation/liver_segmenter.h"
#include "tools/synthct/series_writer.h"

namespace {

const std::string kFolder = "bench-data/synthetic-120", kHardFolder = "bench-data/synthetic-120-hard";
constexpr int kSeed = 50, kSize = 512, kSlices = 120;

void loadSeries(morvex::Study& study, const std::string& folder = kFolder) {
  for (int k = 0; k < kSlices; ++k)
    study.addFrameFromFile((folder + "/" + morvex::synth::sliceFileName(k) + ".dcm").c_str());
}

cv::Mat truth(int k, const std::string& folder = kFolder) {
  return cv::imread(folder + "/m_" + morvex::synth::sliceFileName(k) + ".png", cv::IMREAD_UNCHANGED);
}

std::FILE* quietLog() {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  return sink;
}

void BM_SeedRun(benchmark::State& state) {
  morvex::Study study;
  loadSeries(study);
  const cv::Mat gt = truth(kSeed);
  std::vector<uint8_t> mask(kSize * kSize);
  for (auto _ : state) {
    for (int i = 0; i < kSize * kSize; ++i) mask[i] = gt.data[i] ? 1 : 0;
    morvex::CLiverSegmenter e;
    e.setLog(quietLog());
    e.setOption(0);
    e.setInput(study.intensities(kSeed), mask.data(), kSize, kSize, 1);
    e.iterations = 10;
    e.run(morvex::CLiverSegmenter::RunKind::Seed);
  }
}

void BM_PropagationRun(benchmark::State& state) {
  morvex::Study study;
  loadSeries(study);
  const cv::Mat gt = truth(kSeed);
  std::vector<uint8_t> mask(kSize * kSize);
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < kSize * kSize; ++i) mask[i] = gt.data[i] ? 1 : 0;
    morvex::CLiverSegmenter e;
    e.setLog(quietLog());
    e.setOption(0);
    e.setInput(study.intensities(kSeed), mask.data(), kSize, kSize, 1);
    e.allocateReference();
    e.saveReference();
    e.restoreReference();
    e.setInput(study.intensities(kSeed + 1), mask.data(), kSize, kSize, 1);
    state.ResumeTiming();
    e.run(morvex::CLiverSegmenter::RunKind::Propagation);
  }
}

void BM_Whole3DRun(benchmark::State& state, const std::string& folder) {
  double dice = 0, volumeError = 0;
  for (auto _ : state) {
    state.PauseTiming();
    morvex::Study study;
    loadSeries(study, folder);
    const cv::Mat gt = truth(kSeed, folder);
    for (int i = 0; i < kSize * kSize; ++i) study.labelImage(kSeed)[i] = gt.data[i] ? 1 : 0;
    morvex::LiverRunOptions options;
    options.currentFrame = kSeed;
    options.log = quietLog();
    state.ResumeTiming();
    morvex::segmentLiver(study, options);
    state.PauseTiming();
    long inter = 0, predicted = 0, actual = 0;
    for (int k = 0; k < kSlices; ++k) {
      const cv::Mat t = truth(k, folder);
      for (int i = 0; i < kSize * kSize; ++i) {
        const bool p = study.labelImage(k)[i] == 1, g = t.data[i] != 0;
        inter += p && g;
        predicted += p;
        actual += g;
      }
    }
    dice = 2.0 * inter / (predicted + actual);
    volumeError = 100.0 * (predicted - actual) / actual;
    state.ResumeTiming();
  }
  state.counters["dice"] = dice;
  state.counters["volume_error_pct"] = volumeError;
}

// The interface thread's part of a run before the worker starts: the copy of the series it works on
// (the seed slice labelled, the other label images never written).
void BM_WorkCopy(benchmark::State& state) {
  morvex::Study study;
  loadSeries(study);
  const cv::Mat gt = truth(kSeed);
  for (int i = 0; i < kSize * kSize; ++i) study.labelImage(kSeed)[i] = gt.data[i] ? 1 : 0;
  for (auto _ : state) {
    morvex::Study work = study.seriesWorkCopy(0);
    benchmark::DoNotOptimize(work.labelImage(kSeed));
  }
  state.counters["slices"] = kSlices;
}

BENCHMARK(BM_SeedRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorkCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PropagationRun)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Whole3DRun, plain, kFolder)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_Whole3DRun, hard, kHardFolder)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  if (!std::filesystem::exists(kFolder + "/IM0120.dcm")) {
    std::string error;
    if (!morvex::synth::writeSeries(morvex::synth::PhantomOptions(), kFolder, &error)) return 1;
  }
  if (!std::filesystem::exists(kHardFolder + "/IM0120.dcm")) {
    morvex::synth::PhantomOptions hard;
    hard.hard = true;
    std::string error;
    if (!morvex::synth::writeSeries(hard, kHardFolder, &error)) return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
