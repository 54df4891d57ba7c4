#pragma once
// Coronal and sagittal planes of a series, read straight from the frames' images (the volume is
// never copied): which frames a plane crosses and in what order, the plane's size and proportions,
// its picture with the axial view's window and overlays, points mapped between planes, and label
// edits made in a plane written back into the frames they cross.

#include <cstdint>
#include <vector>

#include "study/study.h"
#include "view/edit_ops.h"
#include "view/slice_render.h"
#include "study/voxel_change.h"

namespace morvex {

enum class PlaneAxis { Axial, Coronal, Sagittal };

// The frames of one series that the planes cross: those of the series and size of the reference
// frame, ordered top (head) to bottom. Plane row r shows frames[r].
struct PlaneStack {
  std::vector<int> frames;
  int width = 0, height = 0;  // of every frame in the stack
  // mm between adjacent columns, rows and slices; the slice spacing comes from the positions of
  // the first and last frame where both are known, else from the thickness (1 when neither is).
  double columnSpacing = 1, rowSpacing = 1, sliceSpacing = 1;
  int depth() const { return static_cast<int>(frames.size()); }
  bool empty() const { return frames.empty() || width <= 0 || height <= 0; }
  // The stack row of a frame, -1 when the frame is not in the stack.
  int rowOf(int frame) const;
};
PlaneStack collectPlaneStack(const Study& study, int referenceFrame);

// A voxel of the stack: column x, row y of the frame in stack row `row`.
struct VoxelPoint {
  int x = 0, y = 0, row = 0;
};

// A plane's picture: width x height plane pixels, each plane row drawn rowScale times as tall as a
// plane column is wide (so millimetres keep their proportions). Coronal planes are width x depth
// (fixed image row y), sagittal planes height x depth (fixed column x), axial width x height.
struct PlaneSize {
  int width = 0, height = 0;
  double rowScale = 1;
};
PlaneSize planeSize(const PlaneStack& stack, PlaneAxis axis);
// How many planes lie along the axis (coronal: image rows, sagittal: columns, axial: frames).
int planeCount(const PlaneStack& stack, PlaneAxis axis);

// Plane pixel (u, v) of plane `index` (coronal: image row y; sagittal: column x; axial: stack row)
// as a voxel, and back: the plane index a voxel lies in and its pixel there.
VoxelPoint planeToVoxel(PlaneAxis axis, int index, int u, int v);
struct PlanePoint {
  int u = 0, v = 0, index = 0;
};
PlanePoint voxelToPlane(PlaneAxis axis, const VoxelPoint& voxel);

// Copies plane `index` of the stack into caller buffers of planeSize (width x height each, any of
// them may be null). Frames without pixels read as 0. False when the index is outside the stack.
bool samplePlane(const Study& study, const PlaneStack& stack, PlaneAxis axis, int index, int16_t* intensities,
                 uint8_t* labels, uint8_t* selection);

// The picture of a plane as the axial view draws a slice: intensities windowed min..max (inverted
// when asked), label colours, outlines and the selection (composeSlice). canvas holds planeSize
// pixels (0xffRRGGBB). False (canvas untouched) when the index is outside the stack.
bool renderPlane(const Study& study, const PlaneStack& stack, PlaneAxis axis, int index, int windowMin, int windowMax,
                 bool invert, const OverlaySettings& overlay, uint32_t* canvas);

// The pixels a round pen covers along a stroke in a plane whose rows are drawn rowScale times
// taller than its columns: a pixel is covered when its centre lies within penWidth / 2 columns of
// the stroke's path, measured on the drawn picture. With rowScale 1 this is rasteriseBrush's pen
// centred on pixel centres.
std::vector<uint8_t> rasteriseScaledBrush(const std::vector<ImagePoint>& stroke, int width, int height,
                                          double penWidth, double rowScale);

// An edit made in a plane: op works on a SliceEdit over a copy of the plane (its labels,
// selection and intensities; table and current label as given, no ROI); then the vessel clean-up
// (reLabel) runs on the plane, and every voxel that changed and lies inside the ROI (in frame
// coordinates) is written into its frame. Only frames that change are opened for writing (their
// revisions before it go to revisionsBefore when given). Returns the changes grouped by frame (in
// plane row order), empty when nothing changed (or op returned false).
template <typename Op>
std::vector<VoxelChange> editPlane(Study& study, const PlaneStack& stack, PlaneAxis axis, int index, const Roi& roi,
                                   const LabelTable* table, int currentLabel, Op&& op,
                                   FrameRevisions* revisionsBefore = nullptr);

// The part of editPlane that does not depend on the operation.
struct PlaneEditBuffers {
  std::vector<int16_t> intensities;
  std::vector<uint8_t> labels, selection, labelsBefore, selectionBefore;
};
bool preparePlaneEdit(const Study& study, const PlaneStack& stack, PlaneAxis axis, int index, PlaneEditBuffers& b);
std::vector<VoxelChange> commitPlaneEdit(Study& study, const PlaneStack& stack, PlaneAxis axis, int index,
                                         const Roi& roi, PlaneEditBuffers& b, FrameRevisions* revisionsBefore);

template <typename Op>
std::vector<VoxelChange> editPlane(Study& study, const PlaneStack& stack, PlaneAxis axis, int index, const Roi& roi,
                                   const LabelTable* table, int currentLabel, Op&& op, FrameRevisions* revisionsBefore) {
  PlaneEditBuffers b;
  if (!preparePlaneEdit(study, stack, axis, index, b)) return {};
  const PlaneSize size = planeSize(stack, axis);
  SliceEdit s;
  s.labels = b.labels.data();
  s.selection = b.selection.data();
  s.intensities = b.intensities.data();
  s.width = size.width;
  s.height = size.height;
  s.table = table;
  s.currentLabel = currentLabel;
  if (!op(s)) return {};
  return commitPlaneEdit(study, stack, axis, index, roi, b, revisionsBefore);
}

}  // namespace morvex
