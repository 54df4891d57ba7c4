// Liver segmentation on the generated 120-slice 512 x 512 series, seeded by the ground-truth liver
// of slice 50: the seed run, the copy a run works on, one propagation run, and the whole 3D run on the plain and the hard
// preset. The 3D runs also report the Dice coefficient and the volume error against the truth.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/area_statistics.h"
#include "segmentation/liver_driver.h"
#include "segmentation/liver_segmenter.h"
#include "segmentation/tumour_click.h"
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

// A tumour from one click on the hard series: the liver labelled from the truth with the tumours
// left out (as LiverSeg leaves a lesion on the capsule), the click at the deepest point of the
// largest tumour cross-section. Reports the lesion's volume and its Dice against the truth.
void BM_TumourClick(benchmark::State& state) {
  morvex::Study study;
  loadSeries(study, kHardFolder);
  std::vector<cv::Mat> gt;
  int bestSlice = 0, bestArea = 0;
  for (int k = 0; k < kSlices; ++k) {
    gt.push_back(truth(k, kHardFolder));
    for (int i = 0; i < kSize * kSize; ++i) study.labelImage(k)[i] = gt[k].data[i] == 1 || gt[k].data[i] == 2 ? 1 : 0;
    const int area = cv::countNonZero(gt[k] == 3);
    if (area > bestArea) bestArea = area, bestSlice = k;
  }
  cv::Mat distance, lesion = gt[bestSlice] == 3, ids;
  // the largest tumour of that slice
  cv::Mat stats, centroids;
  const int n = cv::connectedComponentsWithStats(lesion, ids, stats, centroids);
  int largest = 1;
  for (int c = 2; c < n; ++c)
    if (stats.at<int>(c, cv::CC_STAT_AREA) > stats.at<int>(largest, cv::CC_STAT_AREA)) largest = c;
  cv::distanceTransform(ids == largest, distance, cv::DIST_L2, 3);
  cv::Point click;
  cv::minMaxLoc(distance, nullptr, nullptr, nullptr, &click);
  morvex::AreaStatistics st(7);
  morvex::SeriesStatistics series;
  series.compute(study, 0, false, st);
  const morvex::LiverIntensity liver = morvex::liverIntensityOf(st);
  const morvex::TumourVolume volume = morvex::tumourVolumeOf(study, 0);
  morvex::TumourRegion r;
  for (auto _ : state) r = morvex::segmentTumourFromClick(volume, bestSlice, click.x, click.y, liver);
  const double voxelMl = study.frame(0)->header.voxelVolumeMl();
  long both = 0, truthVoxels = 0;
  for (std::size_t k = 0; k < r.slices.size(); ++k)
    for (int32_t i : r.slices[k]) both += gt[r.firstSlice + k].data[i] == 3;
  // the truth lesion: the tumour voxels 6-connected to the click
  std::vector<uint8_t> seen(static_cast<std::size_t>(kSize) * kSize * kSlices, 0);
  std::vector<int> todo = {bestSlice * kSize * kSize + click.y * kSize + click.x};
  seen[todo[0]] = 1;
  while (!todo.empty()) {
    const int v = todo.back();
    todo.pop_back();
    ++truthVoxels;
    const int z = v / (kSize * kSize), y = v / kSize % kSize, x = v % kSize;
    const int next[6][3] = {{x + 1, y, z}, {x - 1, y, z}, {x, y + 1, z}, {x, y - 1, z}, {x, y, z + 1}, {x, y, z - 1}};
    for (const auto& q : next) {
      if (q[0] < 0 || q[1] < 0 || q[2] < 0 || q[0] >= kSize || q[1] >= kSize || q[2] >= kSlices) continue;
      const int u = q[2] * kSize * kSize + q[1] * kSize + q[0];
      if (!seen[u] && gt[q[2]].data[u % (kSize * kSize)] == 3) {
        seen[u] = 1;
        todo.push_back(u);
      }
    }
  }
  state.counters["lesion_ml"] = static_cast<double>(r.voxels) * voxelMl;
  state.counters["truth_ml"] = static_cast<double>(truthVoxels) * voxelMl;
  state.counters["dice"] = 2.0 * both / static_cast<double>(r.voxels + truthVoxels);
}

BENCHMARK(BM_SeedRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorkCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PropagationRun)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Whole3DRun, plain, kFolder)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_Whole3DRun, hard, kHardFolder)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TumourClick)->Unit(benchmark::kMillisecond);

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
