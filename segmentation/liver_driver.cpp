#include "segmentation/liver_driver.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "segmentation/liver_segmenter.h"
#include "segmentation/mask_utils.h"
#include "study/label_table.h"

namespace morvex {


namespace {

// The seed slice: the lowest frame of the series holding label 1 (3D) or the current frame when
// it holds label 1 (2D), of the current frame's size; -1 when there is none. contour receives its
// liver mask as 0 / 1.
int seedFrame(const Study& study, const LiverRunOptions& opt, const Study::LabelVolume& liver, std::vector<uint8_t>* contour) {
  const int c = opt.currentFrame;
  for (std::size_t k = 0; k < liver.frames.size(); ++k) {
    if (!opt.threeD && liver.frames[k] != c) continue;
    if (study.width(liver.frames[k]) != study.width(c) || study.height(liver.frames[k]) != study.height(c)) continue;
    if (contour) {
      *contour = liver.masks[k];
      for (uint8_t& v : *contour) v = v ? 1 : 0;
    }
    return liver.frames[k];
  }
  return -1;
}

}  // namespace

int fillRingSeed(Study& study, const LiverRunOptions& opt) {
  if (study.frameCount() == 0 || !study.frame(opt.currentFrame)) return 0;
  Study::LabelVolume liver;
  study.getLabelVolume(study.seriesOfFrame(opt.currentFrame), kLiver, liver);
  std::vector<uint8_t> ring;
  const int f = seedFrame(study, opt, liver, &ring);
  if (f < 0) return 0;
  const int w = study.width(f), h = study.height(f);
  // outside: what the image border reaches through pixels that are not liver
  std::vector<int16_t> seedX, seedY, outside(ring.size());
  borderSeeds(w, h, seedX, seedY);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < seedX.size(); ++i)
    if (!ring[static_cast<std::size_t>(seedY[i]) * w + seedX[i]]) {
      seedX[kept] = seedX[i];
      seedY[kept++] = seedY[i];
    }
  seedFill(ring.data(), 0.0f, 0.0f, seedX.data(), seedY.data(), static_cast<int>(kept), w, h, outside.data(), 1, 0);
  std::size_t ringPixels = 0, enclosed = 0;
  for (std::size_t i = 0; i < ring.size(); ++i) {
    if (ring[i]) ++ringPixels;
    else if (!outside[i]) ++enclosed;
  }
  if (enclosed < kRingFillRatio * ringPixels || enclosed == 0) return 0;
  uint8_t* labels = study.labelImage(f);
  for (std::size_t i = 0; i < ring.size(); ++i)
    if (!ring[i] && !outside[i]) labels[i] = kLiver;
  return static_cast<int>(enclosed);
}

LiverRunResult segmentLiver(Study& study, const LiverRunOptions& opt, int* slicesLabelled) {
  if (slicesLabelled) *slicesLabelled = 0;
  if (study.frameCount() == 0) return LiverRunResult::NoStudy;
  const int c = opt.currentFrame;
  const int W = study.width(c), H = study.height(c);
  const std::size_t n = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
  if (n == 0) return LiverRunResult::NoStudy;
  const int series = study.seriesOfFrame(c);
  const int first = study.firstFrameOfSeries(series), last = study.lastFrameOfSeries(series);

  // seed outlines: frames holding label 1 (3D) or the current frame (2D)
  Study::LabelVolume liver;
  study.getLabelVolume(series, kLiver, liver);
  std::vector<uint8_t> contour;
  const int f0 = seedFrame(study, opt, liver, &contour);
  const int contours = opt.threeD ? static_cast<int>(liver.frames.size()) : (f0 >= 0 ? 1 : 0);
  if (f0 >= 0 && opt.threeD)
    for (int f = first; f <= last; ++f) study.fillLabelImage(f, 0);

  CLiverSegmenter engine;
  engine.setLog(opt.log);
  engine.setOption(opt.engineOption);
  engine.followPieces = opt.followPieces;
  if (f0 >= 0 && study.frame(f0)->header.pixelSpacing > 0) engine.pixelSpacing = study.frame(f0)->header.pixelSpacing;
  std::fprintf(opt.log, "%s\nContour number : %d\nIteration number : %d\n", std::string(62, '/').c_str(), contours, 100);
  const auto start = std::chrono::steady_clock::now();
  if (f0 < 0) return LiverRunResult::NoOutline;
  bool stopped = false;
  auto cancelled = [&]() { return stopped = stopped || (opt.cancelled && opt.cancelled()); };
  if (cancelled()) return LiverRunResult::Cancelled;

  std::vector<int16_t> intensity(n, 0);
  std::vector<uint8_t> mask(n, 0), empty(n, 0);
  int w = W, h = H;
  auto load = [&](int f) {
    std::fill(intensity.begin(), intensity.end(), 0);
    return study.width(f) == W && study.height(f) == H && study.getIntensityImage(f, w, h, intensity);
  };
  // A propagated outline is moved onto the liver's edge as it is written; the engine's own
  // reference (the next slice's start) stays as the run made it, and the seed slice keeps the
  // level set's outline of the user's drawing.
  std::vector<uint8_t> written(n, 0);
  auto write = [&](int f) {
    written = mask;
    if (f != f0)
      snapOutline(intensity.data(), written.data(), W, H, 1, engine.liverMedian(), engine.liverIqr(), engine.liverCount());
    study.setLabelImage(f, written.data(), W, H);
  };
  auto nothingLabelled = [&]() { return std::none_of(mask.begin(), mask.end(), [](uint8_t v) { return v != 0; }); };
  int labelled = 0;
  bool seedLabelled = false;

  // seed slice
  std::fprintf(opt.log, "now slice: %d\n", study.instanceNumber(f0));
  engine.setSliceNumber(study.instanceNumber(f0));
  load(f0);
  std::fprintf(opt.log, "%d\n", f0);
  mask = contour;
  engine.setInput(intensity.data(), mask.data(), W, H, 1);
  engine.iterations = 10;
  engine.run(CLiverSegmenter::RunKind::Seed);
  // The user's outline is never replaced by nothing: an empty seed result keeps the outline.
  if (nothingLabelled()) {
    std::fprintf(opt.log, "segmentLiver(): the seed slice gave no liver; the outline is kept\n");
    mask = contour;
  } else {
    ++labelled;
    seedLabelled = true;
  }
  engine.allocateReference();
  engine.saveReference();
  engine.restoreReference();
  write(f0);

  const int total = opt.threeD ? last - first + 1 : 1;
  int done = 0;
  auto step = [&](int f, bool stopTest) {
    if (cancelled()) return false;
    std::fprintf(opt.log, "now slice: %d\n", study.instanceNumber(f));
    engine.setSliceNumber(study.instanceNumber(f));
    const bool loaded = load(f);
    std::fprintf(opt.log, "%d\n", f);
    if (!loaded) return false;
    // The stop test; a liver tip too thin for it goes on while the previous result holds a few
    // pixels (the propagation then follows it by the confined growth and its nets).
    if (stopTest && !engine.shrinkMask(-7) && !engine.referenceIsTip()) return false;
    if (!stopTest) mask = empty;
    engine.setInput(intensity.data(), mask.data(), W, H, 1);
    engine.iterations = 100;
    engine.run(CLiverSegmenter::RunKind::Propagation);
    ++done;
    if (opt.progress) opt.progress(done, total);
    // An empty result (the growth guard fired, or nothing grew) is not written: the slice keeps
    // what it held and the pass ends. The seed slice keeps its level-set result: reprocessing it
    // only feeds the next slice.
    if (nothingLabelled()) {
      std::fprintf(opt.log, "segmentLiver(): slice %d gave no liver; the pass ends\n", study.instanceNumber(f));
      return false;
    }
    if (f != f0 || !opt.threeD) {
      write(f);
      if (f != f0 || !seedLabelled) ++labelled;
      if (f == f0) seedLabelled = true;
    }
    return true;
  };

  if (!opt.threeD) {
    step(f0, true);
  } else {
    std::fprintf(opt.log, "propagation up\n");
    // The seed slice keeps its level-set result and the slice above grows from it, as the slice
    // below does: re-segmenting the seed slice would only feed the next slice a worse reference.
    ++done;
    if (opt.progress) opt.progress(done, total);
    for (int f = f0 + 1; f <= last; ++f)
      if (!step(f, true)) break;
    // below the seed: grow from the seed's own result
    const int below = f0 - 1;
    if (below >= first) {
      engine.restoreReference();
      const bool reached = step(below, false);
      std::fprintf(opt.log, "\npropagation down\n");
      for (int f = below - 1; reached && f >= first; --f)
        if (!step(f, true)) break;
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (stopped) {
    std::fprintf(opt.log, "segmentLiver(): cancelled after %d slices (%f s)\n", done, seconds);
    return LiverRunResult::Cancelled;
  }
  std::fprintf(opt.log, "\npropagation time = %f\n%s\n", seconds, std::string(62, '/').c_str());
  if (slicesLabelled) *slicesLabelled = labelled;
  return LiverRunResult::Done;
}

}  // namespace morvex
