#pragma once
// The manual editing operations on one slice, in image coordinates and without any widget: brush
// and eraser (from a rasterised stroke mask), cut and add along a freehand line, the selection
// tool and body region growing, deleting the connected object under the pointer, and the region
// operations that move pixels between the working selection and the labels. The main window adds
// the common tail (label clean-up, statistics, undo, redraw) after each of them.

#include <cstdint>
#include <vector>

#include "study/label_table.h"

namespace morvex {

struct ImagePoint {
  int x = 0, y = 0;
};

// The region of interest: a rectangle stored as dragged (no reordering), both ends inclusive.
struct Roi {
  bool set = false;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  bool contains(int x, int y) const { return !set || (x1 <= x && x <= x2 && y1 <= y && y <= y2); }
};

// One slice being edited.
struct SliceEdit {
  uint8_t* labels = nullptr;
  uint8_t* selection = nullptr;
  const int16_t* intensities = nullptr;
  int width = 0, height = 0;
  Roi roi;
  const LabelTable* table = nullptr;
  int currentLabel = 0;

  bool valid() const { return labels && selection && intensities && width > 0 && height > 0; }
  std::size_t size() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
  bool isTableLabel(int value) const { return table && table->byValue(value) != nullptr; }
};

// The pixels a round pen of width penWidth covers along a stroke (1 where covered): every pixel
// whose centre lies within penWidth / 2 of the stroke's path. An odd width is centred on the
// stroke pixel's centre, an even width on its top-left corner, so dots and bands are exactly
// penWidth across and symmetric for every width (as the brush cursor's circle is drawn).
std::vector<uint8_t> rasteriseBrush(const std::vector<ImagePoint>& stroke, int width, int height, int penWidth);

// Brush: stroke pixels (mask > 0, inside the ROI) get currentLabel when it is a label of the table,
// otherwise selection 255.
void paintStroke(SliceEdit& s, const uint8_t* strokeMask);
// Eraser: stroke pixels (inside the ROI) get label 0 and selection 0.
void eraseStroke(SliceEdit& s, const uint8_t* strokeMask);

// The outline of a freehand line: every stroke point but the last, each followed by the interior
// points of the digital line to the next one.
std::vector<ImagePoint> strokeOutline(const std::vector<ImagePoint>& stroke);

// Cut (nOption 2) or add (nOption 1) along a stroke. Returns true when the slice changed and the
// common end (clean-up, commit of the selection to label 1, undo kind 1) must follow; the commit of
// the selection is done here.
bool refineSlice(SliceEdit& s, const std::vector<ImagePoint>& stroke, int nOption);

// Selection tool (nToolMode 1, ctrl adds) and body region growing (nToolMode 3) at the seed.
// Returns false only when nothing at all happened (body region growing on an unlabelled pixel).
bool growRegion(SliceEdit& s, ImagePoint seed, int nToolMode, bool ctrlHeld);

// Right click in cut mode: removes the 4-connected liver part (with its vessels of the same side)
// under the pointer. Returns true when the pixel carried a label.
bool deleteObjectAt(SliceEdit& s, ImagePoint at);

// Selection committed to a label (nonzero selection bytes), selection cleared.
void commitSelection(SliceEdit& s, int label);
// Selection bytes equal to 255 committed to a label.
void commitFullSelection(SliceEdit& s, int label);
// Selected liver pixels (selection 255) become the matching vessel label (1->2, 4->6, 5->7).
void selectionToVessel(SliceEdit& s);
// Delete: selected pixels when currentLabel is 0, 9999 or 255, else every pixel of currentLabel.
void deleteSelectedOrLayer(SliceEdit& s);
// The connected object at p moved to layer nLayerIdx (1..3 label, 255 selection, -1 deleted).
void moveObjectToLayer(SliceEdit& s, ImagePoint p, int nLayerIdx);

}  // namespace morvex
