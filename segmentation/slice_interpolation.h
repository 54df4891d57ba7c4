#pragma once
// Fill between slices: the slices of a range that hold a label are key slices; every slice between
// two key slices receives the shape interpolated from the signed distance maps of the two key masks
// (positive inside, negative outside, blended linearly by slice position, kept where the blend is
// positive). A fill is planned as a value first (for a preview) and applied afterwards. It only
// ever writes into background pixels: pixels of other labels inside the interpolated shape stay as
// they are and are counted as blocked.

#include <cstdint>
#include <vector>

namespace morvex {

class Study;

struct SliceFillPlan {
  struct Slice {
    int index = 0;              // position of the slice in the planned range (0 = first slice)
    std::vector<uint8_t> mask;  // width x height: 255 where the label is to be written, else 0
    int filled = 0;             // pixels set in mask
    int blocked = 0;            // pixels of the interpolated shape that hold another label
  };
  int width = 0, height = 0;
  int first = 0;               // frame index of slice 0 (0 for a plan over plain label images)
  uint8_t label = 0;
  std::vector<int> keys;       // indices of the key slices, ascending
  std::vector<Slice> slices;   // gap slices that gain pixels or lose some to other labels, ascending
  int filledPixels() const;
  int blockedPixels() const;
  int filledSlices() const;    // slices with at least one pixel to write
  int blockedSlices() const;   // slices where other labels left holes
  bool empty() const { return filledSlices() == 0; }
};

// Plans the fill of label over the slices labels[0..n-1] (each width x height, or null for a slice
// that takes no part: it is neither a key nor filled, and no gap spans it). Slices are one unit
// apart. Label 0 and label 255 plan nothing. Throws std::bad_alloc when memory runs out.
SliceFillPlan planSliceFill(const std::vector<const uint8_t*>& labels, int width, int height, uint8_t label);

// Re-plans only the gaps that a change of slice `edited` can affect (from the key before it to the
// key after it, in the current labels) and replaces them in plan; the result equals a full re-plan.
void updateSliceFill(SliceFillPlan& plan, const std::vector<const uint8_t*>& labels, int edited);

// The same over the frames firstFrame..lastFrame of a study; frames whose size differs from the
// first frame's take no part. An empty plan when the range holds no frame.
SliceFillPlan planSliceFill(const Study& study, int firstFrame, int lastFrame, uint8_t label);
// The label images of frames firstFrame..lastFrame (null for a frame of another size than w x h).
std::vector<const uint8_t*> sliceLabelImages(const Study& study, int firstFrame, int lastFrame, int width, int height);

// Writes the plan's label into the planned pixels that are background now; returns the pixels
// written. Frames missing or of another size are left alone.
int applySliceFill(const SliceFillPlan& plan, Study& study);

}  // namespace morvex
