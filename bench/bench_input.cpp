// Cost of the input guards: a raster slice through the import (header read, size checks, decode)
// next to a bare OpenCV read of the same file; the refusal of a header claiming 40000 x 40000; and
// sorting file names in natural order.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "study/import_rules.h"
#include "study/study.h"

namespace {

std::string g_dir;

std::string folder() {
  if (g_dir.empty()) {
    g_dir = (std::filesystem::temp_directory_path() / "morvex-bench-input").string();
    std::filesystem::create_directories(g_dir);
    cv::Mat slice(512, 512, CV_8UC1);
    cv::randu(slice, 0, 256);
    cv::GaussianBlur(slice, slice, cv::Size(0, 0), 3);
    cv::imwrite(g_dir + "/P1_20200101_1.png", slice);
    // IHDR claiming 40000 x 40000 (checksum included) and IEND.
    const unsigned char bomb[] = {0x89, 'P',  'N',  'G',  0x0D, 0x0A, 0x1A, 0x0A, 0,    0,    0,    13,
                                  'I',  'H',  'D',  'R',  0,    0,    0x9C, 0x40, 0,    0,    0x9C, 0x40,
                                  8,    0,    0,    0,    0,    0x74, 0x67, 0x51, 0xD9, 0,    0,    0,
                                  0,    'I',  'E',  'N',  'D',  0xAE, 0x42, 0x60, 0x82};
    std::ofstream(g_dir + "/P1_20200101_2.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(bomb), sizeof bomb);
  }
  return g_dir;
}

void BM_GuardedRasterSlice(benchmark::State& state) {
  const std::string path = folder() + "/P1_20200101_1.png";
  for (auto _ : state) {
    morvex::Study study;
    if (study.addFrameFromFile(path.c_str()) != 0) state.SkipWithError("the slice failed to load");
  }
}

void BM_BareImread(benchmark::State& state) {
  const std::string path = folder() + "/P1_20200101_1.png";
  for (auto _ : state) benchmark::DoNotOptimize(cv::imread(path, cv::IMREAD_GRAYSCALE));
}

void BM_RefusedBomb(benchmark::State& state) {
  const std::string path = folder() + "/P1_20200101_2.png";
  std::fclose(std::freopen("/dev/null", "w", stderr));  // the refusal's log line, once per round
  for (auto _ : state) {
    morvex::Study study;
    study.setWarningSink([](const std::string&) {});
    if (study.addFrameFromFile(path.c_str()) != -1) state.SkipWithError("the bomb was accepted");
  }
}

void BM_NaturalSort(benchmark::State& state) {
  std::vector<std::string> names;
  for (int i = 0; i < state.range(0); ++i)
    names.push_back("/data/case" + std::to_string(i % 37) + "/IM_" + std::to_string((i * 7919) % 100000) + ".dcm");
  for (auto _ : state) {
    std::vector<std::string> copy = names;
    std::sort(copy.begin(), copy.end(), morvex::naturalLess);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_GuardedRasterSlice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareImread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefusedBomb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NaturalSort)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
