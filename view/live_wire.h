#pragma once
// Live wire: a contour traced on one slice as minimum-cost paths between clicked seeds. The cost
// maps (Canny edges, equalised gradient magnitude, gradient direction) are computed once per
// contour; each seed grows a path tree over the whole slice with an integer bucket queue, so the
// path to any pointer position is read from the back-pointers without a search.

#include <cstdint>
#include <vector>

#include "view/edit_ops.h"

namespace morvex {

class LiveWire {
 public:
  static constexpr int kBucketCount = 0x40000;  // 262144 cost buckets (a power of two)
  static constexpr int kScale = 1000;           // cost of a plain horizontal / vertical step
  static constexpr int kDirections = 8;
  static constexpr int64_t kPenalty = 1000000;  // entering a pixel of a drawn segment
  static constexpr int64_t kUnreached = 1000000;

  // Copies width x height intensities; the cost maps are not computed yet.
  LiveWire(const int16_t* intensities, int width, int height);

  // Edge, gradient and direction costs of the copied slice; logs timings to standard output. Touches
  // nothing but this engine, so it may run on another thread while no one else uses the engine.
  // After an exception the maps are not ready.
  void CalculateCostFunction();
  // Starts afresh on a slice: no seeds, no contour, no object. The cost maps stay when the slice is
  // the one they were computed for (same size, same intensities; returns true), otherwise the new
  // slice is copied and its maps are computed by the first tree. The buffers are kept either way,
  // so an engine reused from contour to contour does not allocate (and fault in) them again.
  bool restart(const int16_t* intensities, int width, int height);
  // Path tree rooted at (sx, sy) over the whole slice (drawn segments penalised); (sx, sy) becomes
  // the last seed. Logs "Seed Point = sx sy".
  void computePathTree(int sx, int sy);
  // Adds a seed: the path from the current root to (x, y) becomes a segment, then a new tree grows
  // from (x, y). A seed within 2 pixels (in x and in y) of the first seed closes the contour; no
  // other click does. Returns false (nothing changes) for a point outside the traceable area
  // [2, width - 2] x [2, height - 2] or after the contour closed.
  bool addSeed(int x, int y);
  // Drops the last seed and its segment; the tree regrows from the new last seed, if any.
  void removeLastSeed();
  // Points from (x, y) back to the root, both included; empty outside the traceable area or when
  // the current tree never reached (x, y).
  std::vector<ImagePoint> tracePath(int x, int y) const;

  // The object a contour extends: the label under its first seed, taken only before the first
  // seed and only on a labelled pixel. Returns true when an object was taken.
  bool takeObjectAt(const uint8_t* labels, int x, int y);

  // Pixels a closed contour covers (255, else 0): the contour, the bridge from its last point to
  // the first seed, and everything they enclose.
  std::vector<uint8_t> enclosedArea() const;

  int width() const { return width_; }
  int height() const { return height_; }
  bool costsReady() const { return !edgeCost_.empty(); }
  const std::vector<ImagePoint>& seeds() const { return seeds_; }
  const std::vector<std::vector<ImagePoint>>& segments() const { return segments_; }
  bool closed() const { return closed_; }
  bool inObject() const { return inObject_; }
  bool hasObject() const { return objectValue_ != 0; }
  uint8_t objectValue() const { return objectValue_; }
  // Path cost from the root (kUnreached where the tree has not reached).
  int64_t totalCost(int x, int y) const { return totalCost_[index(x, y)]; }
  // Cost maps, for inspection.
  float edgeCost(int x, int y) const { return edgeCost_[index(x, y)]; }
  int gradientCost(int x, int y) const { return gradientCost_[index(x, y)]; }
  // The link from (x, y) to its neighbour k (kDx / kDy order), 0 on the border.
  float directionCost(int x, int y, int k) const;

 public:
  // Lists of the bucket queue, kept between trees: bucket heads and a bit per bucket that may hold
  // entries, list entries (pixel, next entry), each pixel's live entry and state.
  struct QueueEntry {
    int32_t pixel, next;
  };
  struct QueueStorage {
    std::vector<int32_t> head;
    std::vector<uint64_t> occupied;
    std::vector<QueueEntry> entry;
    std::vector<int32_t> live;
    std::vector<uint8_t> state;
  };

 private:
  std::size_t index(int x, int y) const { return static_cast<std::size_t>(y) * width_ + x; }
  bool traceable(int x, int y) const { return x >= 2 && x <= width_ - 2 && y >= 2 && y <= height_ - 2; }
  std::vector<uint8_t> contourMask() const;
  void computeCosts();

  int width_, height_;
  std::vector<int16_t> intensities_;
  std::vector<ImagePoint> seeds_;
  std::vector<std::vector<ImagePoint>> segments_;
  bool closed_ = false, inObject_ = false;
  int root_ = -1;                          // pixel index of the current tree's root
  std::vector<int32_t> back_;              // predecessor pixel index, -1 when none
  std::vector<float> edgeCost_;            // 0 on a Canny edge, 1000 elsewhere
  std::vector<int> gradientCost_;          // equalised, 0 ... 1001
  std::vector<float> ux_, uy_;             // unit gradient; the direction costs follow from it
  std::vector<uint16_t> stepCost_;         // 8 per pixel: cost of the step to neighbour k
  std::vector<uint8_t> interior_;          // 1 where traceable(x, y): the pixels a tree grows from
  std::vector<int64_t> totalCost_;
  uint8_t objectValue_ = 0;                // label under the first seed, 0 for a plain contour
  QueueStorage queueStorage_;
};

// Writes a closed contour's area (enclosedArea) into the slice; the ROI is not consulted.
// With the working selection (255) as current label the area is selected and the labels stay.
// Otherwise the area takes the value V: the object's label for a contour started on a labelled
// pixel, else the current label when it is a label of the table, else 1 ("Liver"). V goes onto
// unlabelled pixels and pixels of the current label (the layer being edited: a vessel extended
// over the liver while "Liver" is current); pixels of any other label keep it. A plain contour in
// the current label covers everything, as the brush does. Returns the undo kind to record
// (1 labels, 3 selection), 0 when the contour is not closed or the slice does not match.
int commitLiveWire(SliceEdit& s, const LiveWire& wire);

}  // namespace morvex
