// Mask utilities and region statistics on 512 x 512 slices:
// - seedFill next to cv::floodFill (4-connected, same window) on one windowed CT slice;
// - a full statistics computation over 200 slices;
// - the statistics refresh after an edit of one frame (per-frame count tables).

#include <benchmark/benchmark.h>

#include <algorithm>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/area_statistics.h"
#include "segmentation/mask_utils.h"
#include "study/study.h"
#include "tools/synthct/phantom.h"

namespace {

constexpr int kSize = 512;

// An 8-bit windowed slice (W 40 / L 400) of the phantom and a seed inside the liver.
struct FillInput {
  cv::Mat grey;
  int16_t sx = 0, sy = 0;
  FillInput() {
    morvex::synth::PhantomOptions o;
    const morvex::synth::Phantom phantom(o);
    const int k = 50;
    const morvex::synth::PhantomSlice s = phantom.slice(k);
    grey.create(kSize, kSize, CV_8UC1);
    for (int i = 0; i < kSize * kSize; ++i)
      grey.data[i] = static_cast<uchar>(std::clamp((s.hu[i] + 160) * 255 / 400, 0, 255));
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x)
        if (phantom.tissueAt(k, x, y) == morvex::synth::Tissue::Liver) {
          sx = static_cast<int16_t>(x);
          sy = static_cast<int16_t>(y);
        }
  }
};

const FillInput& fillInput() {
  static const FillInput input;
  return input;
}

// Soft tissue window around the liver: a large connected region (all abdominal soft tissue).
constexpr int kLo = 100, kHi = 200;

void BM_SeedFill(benchmark::State& state) {
  const FillInput& in = fillInput();
  std::vector<int16_t> out(kSize * kSize);
  for (auto _ : state) {
    morvex::seedFill(in.grey.data, kLo, kHi, &in.sx, &in.sy, 1, kSize, kSize, out.data(), 255, 0);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["filled"] = static_cast<double>(std::count(out.begin(), out.end(), 255));
}

void BM_CvFloodFill(benchmark::State& state) {
  const FillInput& in = fillInput();
  const int seedValue = in.grey.at<uchar>(in.sy, in.sx);
  cv::Mat mask(kSize + 2, kSize + 2, CV_8UC1);
  int filled = 0;
  for (auto _ : state) {
    mask.setTo(0);
    filled = cv::floodFill(in.grey, mask, cv::Point(in.sx, in.sy), 0, nullptr, cv::Scalar(seedValue - kLo),
                  cv::Scalar(kHi - seedValue), 4 | cv::FLOODFILL_MASK_ONLY | cv::FLOODFILL_FIXED_RANGE | (255 << 8));
    benchmark::DoNotOptimize(mask.data);
  }
  state.counters["filled"] = filled;  // the mask's one-pixel frame is set by OpenCV itself
}

// A 200-slice series whose liver is labelled from the phantom's ground truth.
morvex::Study& series200() {
  static morvex::Study study;
  if (study.frameCount() == 0) {
    morvex::synth::PhantomOptions o;
    o.slices = 200;
    const morvex::synth::Phantom phantom(o);
    for (int k = 0; k < o.slices; ++k) {
      morvex::synth::PhantomSlice s = phantom.slice(k);
      morvex::SliceHeader h;
      h.patientName = "SYNTH";
      h.seriesDate = "20260101";
      h.instanceNumber = k + 1;
      morvex::SlicePixels px;
      px.width = px.height = kSize;
      px.intensities.assign(s.hu.data(), s.hu.size());
      const int f = study.insertFrame(h, std::move(px));
      study.setLabelImage(f, s.labels.data(), kSize, kSize);
    }
  }
  return study;
}

void BM_FullComputeSeries(benchmark::State& state) {
  const morvex::Study& study = series200();
  std::vector<const int16_t*> hu;
  std::vector<const uint8_t*> labels;
  std::vector<int> w, h;
  for (int f = 0; f < study.frameCount(); ++f) {
    hu.push_back(study.intensities(f));
    labels.push_back(study.labelImage(f));
    w.push_back(kSize);
    h.push_back(kSize);
  }
  morvex::AreaStatistics st(7);
  for (auto _ : state) {
    st.computeSeries(hu.data(), labels.data(), w.data(), h.data(), static_cast<int>(hu.size()), false);
    benchmark::DoNotOptimize(st.median(1));
  }
  state.counters["liver_px"] = st.pixelCnt(1);
}

void BM_RefreshAfterOneFrameEdit(benchmark::State& state) {
  morvex::Study& study = series200();
  morvex::SeriesStatistics incremental;
  morvex::AreaStatistics st(7);
  incremental.compute(study, 0, false, st);  // every frame counted once
  int frame = 0;
  for (auto _ : state) {
    uint8_t* labels = study.labelImage(60 + frame % 80);  // a brush dab on one frame
    labels[256 * kSize + 200 + frame % 50] = 1;
    incremental.compute(study, 0, false, st);
    ++frame;
  }
  state.counters["recounted"] = incremental.recountedFrames();
}

BENCHMARK(BM_CvFloodFill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SeedFill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullComputeSeries)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshAfterOneFrameEdit)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
