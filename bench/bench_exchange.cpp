// Label exchange on a generated 60-slice 512 x 512 series with its true labels: the NIfTI volume
// written (compressed) and read back against the series, and the DICOM Segmentation written and
// read back. Reports slices per second.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "export/dicom_seg.h"
#include "export/nifti_io.h"
#include "study/mask_import.h"
#include "study/slice_decoder.h"
#include "tools/synthct/series_writer.h"

namespace {

constexpr int kSlices = 60;

struct Fixture {
  std::string folder = std::filesystem::temp_directory_path().string() + "/morvex-bench-exchange-" + std::to_string(::getpid());
  morvex::Study study;
  Fixture() {
    morvex::synth::PhantomOptions o;
    o.slices = kSlices;
    std::string error;
    if (!morvex::synth::writeSeries(o, folder, &error)) std::fprintf(stderr, "%s\n", error.c_str());
    morvex::initDicomCodecs();
    for (int k = 0; k < kSlices; ++k) {
      study.addFrameFromFile((folder + "/" + morvex::synth::sliceFileName(k) + ".dcm").c_str());
      morvex::loadMaskFile(study, (folder + "/m_" + morvex::synth::sliceFileName(k) + ".png").c_str());
    }
  }
  ~Fixture() { std::filesystem::remove_all(folder); }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_NiftiWrite(benchmark::State& state) {
  Fixture& f = fixture();
  std::string error;
  for (auto _ : state)
    if (!morvex::writeNiftiLabels(f.folder + "/labels.nii.gz", f.study, 0, error)) state.SkipWithError(error.c_str());
  state.counters["slices/s"] = benchmark::Counter(kSlices * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_NiftiRead(benchmark::State& state) {
  Fixture& f = fixture();
  std::string error;
  morvex::writeNiftiLabels(f.folder + "/read.nii.gz", f.study, 0, error);
  morvex::SeriesGrid grid;
  std::vector<std::vector<uint8_t>> labels;
  for (auto _ : state)
    if (!morvex::readNiftiLabels(f.folder + "/read.nii.gz", f.study, 0, grid, labels, error))
      state.SkipWithError(error.c_str());
  state.counters["slices/s"] = benchmark::Counter(kSlices * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_DicomSegWrite(benchmark::State& state) {
  Fixture& f = fixture();
  const morvex::LabelTable table = morvex::defaultLabelTable();
  std::string error;
  for (auto _ : state)
    if (!morvex::writeDicomSeg(f.folder + "/seg.dcm", f.study, 0, table, error)) state.SkipWithError(error.c_str());
  state.counters["slices/s"] = benchmark::Counter(kSlices * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_DicomSegRead(benchmark::State& state) {
  Fixture& f = fixture();
  const morvex::LabelTable table = morvex::defaultLabelTable();
  std::string error;
  morvex::writeDicomSeg(f.folder + "/read.dcm", f.study, 0, table, error);
  std::vector<std::vector<uint8_t>> labels;
  for (auto _ : state)
    if (!morvex::readDicomSeg(f.folder + "/read.dcm", f.study, 0, table, labels, error)) state.SkipWithError(error.c_str());
  state.counters["slices/s"] = benchmark::Counter(kSlices * state.iterations(), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_NiftiWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NiftiRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DicomSegWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DicomSegRead)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
