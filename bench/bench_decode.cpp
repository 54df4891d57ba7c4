// Slice decoding speed: the study's import path (header, duplicate search, series lookup, decode)
// next to a bare DCMTK load and decode of the same files, on the generated 512 x 512 series.
// Run: bench_decode [--series FOLDER] [benchmark flags]. Without --series a 120-slice series is
// generated once into the build folder.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bare_dcmtk.h"
#include "study/slice_decoder.h"
#include "study/study.h"
#include "tools/synthct/series_writer.h"

namespace {

std::vector<std::string> g_files;

void BM_StudyImport(benchmark::State& state) {
  for (auto _ : state) {
    morvex::Study study;
    for (const std::string& f : g_files) benchmark::DoNotOptimize(study.addFrameFromFile(f.c_str()));
    if (study.frameCount() != static_cast<int>(g_files.size())) state.SkipWithError("a slice failed to load");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(g_files.size()));
  state.counters["slices/s"] =
      benchmark::Counter(static_cast<double>(g_files.size()), benchmark::Counter::kIsIterationInvariantRate);
}

// Bare DCMTK: load, decode with the modality transform, copy the values out. With keep = 1 the
// decoded slices are kept in memory as any import must keep them.
void BM_BareDcmtkDecode(benchmark::State& state) {
  morvex::initDicomCodecs();
  const bool keep = state.range(0) != 0;
  for (auto _ : state) {
    std::vector<std::vector<int16_t>> kept;
    for (const std::string& f : g_files) {
      std::vector<int16_t> out;
      if (!bareDcmtkDecode(f, out)) {
        state.SkipWithError("unexpected file");
        break;
      }
      benchmark::DoNotOptimize(out.data());
      if (keep) kept.push_back(std::move(out));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(g_files.size()));
  state.counters["slices/s"] =
      benchmark::Counter(static_cast<double>(g_files.size()), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_BareDcmtkDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StudyImport)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  std::string folder = "bench-data/synthetic-120";
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--series") == 0 && i + 1 < argc)
      folder = argv[++i];
    else
      rest.push_back(argv[i]);
  }
  if (!std::filesystem::exists(folder + "/IM0120.dcm")) {
    std::string error;
    if (!morvex::synth::writeSeries(morvex::synth::PhantomOptions(), folder, &error)) {
      std::fprintf(stderr, "cannot generate the series: %s\n", error.c_str());
      return 1;
    }
  }
  for (const auto& e : std::filesystem::directory_iterator(folder))
    if (e.path().extension() == ".dcm") g_files.push_back(e.path().string());
  std::sort(g_files.begin(), g_files.end());
  std::printf("series: %s (%zu slices)\n", folder.c_str(), g_files.size());
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
