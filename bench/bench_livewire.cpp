// Live wire on a 512 x 512 synthetic CT slice: the cost maps of a fresh engine, the first click of
// a contour on the reused engine (maps and tree, the tree alone on the same slice, or on another
// slice whose maps were computed in the background), the work
// after each later click (the path tree over the whole slice) and the path to the pointer.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "tools/synthct/phantom.h"
#include "view/live_wire.h"

namespace {

const morvex::synth::PhantomSlice& slice512(int k = 48) {
  static const morvex::synth::PhantomSlice s48 = [] {
    morvex::synth::PhantomOptions o;
    o.size = 512;
    o.slices = 120;
    return morvex::synth::Phantom(o).slice(48);
  }();
  static const morvex::synth::PhantomSlice s49 = [] {
    morvex::synth::PhantomOptions o;
    o.size = 512;
    o.slices = 120;
    return morvex::synth::Phantom(o).slice(49);
  }();
  return k == 48 ? s48 : s49;
}

// The engine's diagnostic lines go to standard output; keep them out of the report.
struct QuietStdout {
  int saved;
  QuietStdout() : saved(dup(1)) {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
  }
};

void BM_LiveWireCostMaps(benchmark::State& state) {
  const morvex::synth::PhantomSlice& s = slice512();
  QuietStdout quiet;
  for (auto _ : state) {
    morvex::LiveWire wire(s.hu.data(), s.size, s.size);
    wire.CalculateCostFunction();
    benchmark::DoNotOptimize(wire.edgeCost(256, 256));
  }
}
BENCHMARK(BM_LiveWireCostMaps)->Unit(benchmark::kMillisecond);


// The first click of a contour as the window handles it: the engine of the last contour restarted
// on the shown slice, then the first seed's tree. On another slice than the last contour's the
// cost maps are computed first (into the engine's kept buffers); on the same slice they are kept.
void BM_LiveWireFirstClick(benchmark::State& state) {
  const bool otherSlice = state.range(0) != 0;
  QuietStdout quiet;
  morvex::LiveWire wire(slice512().hu.data(), 512, 512);
  wire.CalculateCostFunction();
  int k = 48;
  for (auto _ : state) {
    if (otherSlice) k = k == 48 ? 49 : 48;
    wire.restart(slice512(k).hu.data(), 512, 512);
    wire.addSeed(180, 200);
    benchmark::DoNotOptimize(wire.totalCost(300, 260));
  }
}
BENCHMARK(BM_LiveWireFirstClick)->ArgName("other_slice")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The first click on another slice when the window computed that slice's maps in the background
// as the slice was shown (untimed): the restart finds them by comparing the slice, then the tree.
void BM_LiveWireFirstClickPrebuilt(benchmark::State& state) {
  QuietStdout quiet;
  morvex::LiveWire wire(slice512().hu.data(), 512, 512);
  int k = 48;
  for (auto _ : state) {
    state.PauseTiming();
    k = k == 48 ? 49 : 48;
    wire.restart(slice512(k).hu.data(), 512, 512);
    wire.CalculateCostFunction();  // on the worker, while the user looks at the slice
    state.ResumeTiming();
    if (!wire.restart(slice512(k).hu.data(), 512, 512)) state.SkipWithError("maps not kept");
    wire.addSeed(180, 200);
    benchmark::DoNotOptimize(wire.totalCost(300, 260));
  }
}
BENCHMARK(BM_LiveWireFirstClickPrebuilt)->Unit(benchmark::kMillisecond);

// A click on the liver boundary with two segments already drawn (their penalties in place), then
// the path to a pointer across the slice.
void BM_LiveWireClickAndPath(benchmark::State& state) {
  const morvex::synth::PhantomSlice& s = slice512();
  QuietStdout quiet;
  morvex::LiveWire wire(s.hu.data(), s.size, s.size);
  wire.CalculateCostFunction();
  wire.addSeed(180, 200);
  wire.addSeed(260, 180);
  wire.addSeed(300, 260);
  std::size_t points = 0;
  for (auto _ : state) {
    wire.computePathTree(300, 260);
    points += wire.tracePath(170, 330).size();
    state.PauseTiming();
    wire.removeLastSeed();  // computePathTree appended the seed again; keep the contour as it was
    state.ResumeTiming();
  }
  benchmark::DoNotOptimize(points);
}
BENCHMARK(BM_LiveWireClickAndPath)->Unit(benchmark::kMillisecond);

// The path alone, as traced on every pointer move.
void BM_LiveWirePathToPointer(benchmark::State& state) {
  const morvex::synth::PhantomSlice& s = slice512();
  QuietStdout quiet;
  morvex::LiveWire wire(s.hu.data(), s.size, s.size);
  wire.addSeed(180, 200);
  for (auto _ : state) benchmark::DoNotOptimize(wire.tracePath(400, 380).size());
}
BENCHMARK(BM_LiveWirePathToPointer)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
