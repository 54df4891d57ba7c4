#pragma once
// Semi-automatic vessel segmentation: vessel pixels labelled by the user on a few slices (the
// seeds) are grown through the liver of a whole series, slice by slice, with intensity windows
// that adapt from one slice to the next. Plus the small mask operations it is built on.
// Images are row-major, width x height, without row padding.

#include <cstdint>
#include <functional>
#include <vector>

namespace morvex {

// Chessboard (8-connected step) distance of every zero pixel of image to the nearest non-zero
// pixel, capped at cap; 0 on non-zero pixels; cap everywhere when image has no non-zero pixel.
// out is resized to width x height.
void chessboardDistance(const uint8_t* image, int width, int height, int cap, std::vector<uint8_t>& out);

// Square dilation and erosion in place (k odd). Only pixels at least r = k / 2 from every border
// are centres. Dilation: each non-zero centre sets its k x k square to 255, all else 0. Erosion: a
// centre becomes 255 when its whole k x k square is non-zero, else 0; the border ring becomes 0.
void dilateSquare(int16_t* mask, int width, int height, int k);
void erodeSquare(int16_t* mask, int width, int height, int k);

// Tolerances of the vessel growth: p1 widens the window of a seed slice around the seeds' mean,
// p2 lowers the window of a propagated slice below the previous slice's mean, p3 is the rim (in
// pixels) taken off a region before it seeds the next slice.
struct VesselTolerances {
  float initial = 0.2f;
  float extension = 0.15f;
  int shrink = 2;
};

// One slice of the window log: which seed slice grew it, into which slice, with which window.
struct VesselWindow {
  int seedSlice, slice;
  float lo, hi;
  int seeds;
};

// The vessel growth over n slices of width x height. intensities, liver and seeds hold n slice
// pointers each; liver and seeds are masks (non-zero = set). Seeds outside the liver are ignored.
// result is resized to n slices of width x height bytes: 255 = vessel, 0 = not; it never reaches
// outside the liver mask (the final closing would otherwise spill over neighbours such as a
// tumour). A series without
// a seed inside the liver gives an empty result. progress (optional) receives 0..100 as the
// slices are grown (rising, 100 at the end); windows (optional) receives every window used.
// cancelled (optional) is polled before every slice: true ends the run with an empty result and
// false returned. True when the run ended normally.
bool segmentVessels(const int16_t* const* intensities, const uint8_t* const* liver, const uint8_t* const* seeds,
                    int width, int height, int n, std::vector<std::vector<uint8_t>>& result,
                    const VesselTolerances& tolerances, const std::function<void(int)>& progress = {},
                    std::vector<VesselWindow>* windows = nullptr, const std::function<bool()>& cancelled = {});

}  // namespace morvex
