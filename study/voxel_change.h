#pragma once
// One voxel that an edit across frames changed, as the edit reports it and the undo history keeps it.

#include <cstdint>
#include <utility>
#include <vector>

namespace morvex {

struct VoxelChange {
  int frame = -1;
  uint32_t pixel = 0;  // y * width + x in the frame
  uint8_t labelBefore = 0, labelAfter = 0, selectionBefore = 0, selectionAfter = 0;
};

// The revision (Frame::revision) each frame written by such an edit had just before the write.
using FrameRevisions = std::vector<std::pair<int, uint64_t>>;

}  // namespace morvex
