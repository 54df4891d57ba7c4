#pragma once
// One voxel that an edit across frames changed, as the edit reports it and the undo history keeps it.

#include <cstdint>

namespace morvex {

struct VoxelChange {
  int frame = -1;
  uint32_t pixel = 0;  // y * width + x in the frame
  uint8_t labelBefore = 0, labelAfter = 0, selectionBefore = 0, selectionAfter = 0;
};

}  // namespace morvex
