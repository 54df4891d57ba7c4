#pragma once
// The liver segmentation of a series: the seed slice refined by a level set, then the result
// carried slice by slice up and down the series, label 1 written into every reached frame.

#include <cstdio>
#include <functional>

#include "study/study.h"

namespace morvex {

struct LiverRunOptions {
  bool threeD = true;
  int engineOption = 0;         // 0 Default, 1 Hard, 2 Soft (the engine's options)
  int currentFrame = -1;        // the frame shown; in 2D mode it must hold the outline
  std::FILE* log = stdout;
  std::function<void(int done, int total)> progress;  // after every processed slice
  // Polled before every slice; true ends the run with Cancelled, the study then holds what the run
  // wrote so far (a run that may be cancelled works on a copy).
  std::function<bool()> cancelled;
  // Pieces of the liver cut off in a slice from the propagated region (the dome's islands, the
  // tip's pieces) are followed when they overlap the previous slice's result.
  bool followPieces = true;
};

enum class LiverRunResult { Done, NoOutline, NoStudy, Cancelled };

// Segments the liver of the current frame's series from the label-1 outline(s) drawn on it.
// The seed is the lowest frame holding label 1 (3D) or the current frame (2D). In 3D every label of
// the series is cleared first; each pass stops when the previous result keeps fewer than 10 pixels
// at level -7. The first slice below the seed grows from the seed's result.
// An empty result is never written: the seed slice keeps the user's outline when the level set
// leaves nothing, and keeps its level-set result when the upward pass reprocesses it; a propagated
// slice that comes out empty ends its pass. slicesLabelled (when given) receives the number of
// frames that received a new liver result (0 when the run reached nothing).
LiverRunResult segmentLiver(Study& study, const LiverRunOptions& options, int* slicesLabelled = nullptr);

// A seed drawn as a closed ring (an outline traced with the brush): when the liver label of the
// seed slice segmentLiver would take encloses unlabelled-as-liver pixels at least kRingFillRatio
// times as many as the label itself, the enclosed pixels become liver too. Returns the number of
// pixels filled, 0 when the seed is no such ring (or there is no seed) and nothing changed.
constexpr int kRingFillRatio = 2;
int fillRingSeed(Study& study, const LiverRunOptions& options);

}  // namespace morvex
