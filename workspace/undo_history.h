#pragma once
// Undo and redo of label and selection edits, across frames. A step records, for every frame it
// wrote, the label and selection images before and after it (run-length coded, a few KB for a
// typical slice). A one-frame step goes from the frame's baseline (its images when it was shown
// or when its last step ended) to its images now; an operation over many frames (a segmentation
// run, a division, a 3D apply, deleting all labels, loading masks) is one step begun before it
// writes and committed after. Within one frame at most kCapacity - 2 steps are kept, as in the
// ring of 20 snapshots this history grew from; over all frames a memory cap drops the oldest.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "study/voxel_change.h"

namespace morvex {

// A byte image as runs: each entry holds the value in its top 8 bits and the run length below.
class RunLengthImage {
 public:
  RunLengthImage() = default;
  RunLengthImage(const uint8_t* pixels, std::size_t count);
  void decode(uint8_t* out) const;
  std::size_t pixelCount() const { return count_; }
  std::size_t bytes() const { return runs_.capacity() * sizeof(uint32_t); }
  bool operator==(const RunLengthImage& o) const { return count_ == o.count_ && runs_ == o.runs_; }
  bool operator!=(const RunLengthImage& o) const { return !(*this == o); }

 private:
  std::vector<uint32_t> runs_;
  std::size_t count_ = 0;
};

// The images of one frame, as a caller hands them in.
struct FrameImages {
  int frame = -1;
  uint8_t* labels = nullptr;
  uint8_t* selection = nullptr;
  std::size_t pixels = 0;
};

class UndoHistory {
 public:
  static constexpr int kCapacity = 20;
  static constexpr int kStepsPerFrame = kCapacity - 2;
  static constexpr std::size_t kDefaultMemoryCap = std::size_t{256} << 20;

  struct FrameChange {
    int frame = -1;
    RunLengthImage labelsBefore, selectionBefore, labelsAfter, selectionAfter;
  };
  struct Step {
    int startFrame = -1;  // the frame shown when the step was taken; undo and redo show it
    bool multiFrame = false;
    std::vector<FrameChange> frames;
    // An edit made in a coronal or sagittal plane: the voxels it changed, across frames.
    std::vector<VoxelChange> voxels;
  };

  void setMemoryCap(std::size_t bytes) { memoryCap_ = bytes; }
  // Forgets everything (a new study).
  void clear();
  // The shown frame's images become the start of its next step.
  void setBaseline(const FrameImages& shown);
  // A one-frame step from the baseline to the images now; the images now become the baseline.
  // False (nothing recorded) when there is no baseline for this frame or nothing changed.
  bool pushFrame(const FrameImages& shown);
  // A step over many frames: begin takes the images before, commit the images after (only frames
  // that changed are kept). False from commit when nothing changed.
  void beginMultiFrame(int startFrame, const std::vector<FrameImages>& frames);
  bool commitMultiFrame(const std::vector<FrameImages>& frames);
  // One step of voxel changes across frames (an edit in a coronal or sagittal plane); false
  // (nothing recorded) when there are none. The caller resets the shown frame's baseline.
  bool pushVoxels(int startFrame, std::vector<VoxelChange> changes);
  bool multiFrameOpen() const { return open_; }
  void cancelMultiFrame() { open_ = false, pending_ = Step(); }

  // The step to take back (or to do again) or null; the caller writes its images. Undo moves
  // the step to the redo list; a new step clears that list.
  const Step* undo();
  const Step* redo();
  int steps() const { return static_cast<int>(done_.size()); }
  int redoSteps() const { return static_cast<int>(undone_.size()); }
  std::size_t bytes() const { return bytes_; }

  // Writes the images before (or after) a step into the caller's frames; images finds them.
  template <typename Lookup>
  static void apply(const Step& step, bool after, Lookup&& images) {
    for (const FrameChange& c : step.frames) {
      const FrameImages f = images(c.frame);
      if (!f.labels || !f.selection || f.pixels != c.labelsBefore.pixelCount()) continue;
      (after ? c.labelsAfter : c.labelsBefore).decode(f.labels);
      (after ? c.selectionAfter : c.selectionBefore).decode(f.selection);
    }
    FrameImages f;
    for (const VoxelChange& v : step.voxels) {
      if (v.frame != f.frame) f = images(v.frame);
      if (!f.labels || !f.selection || v.pixel >= f.pixels) continue;
      f.labels[v.pixel] = after ? v.labelAfter : v.labelBefore;
      f.selection[v.pixel] = after ? v.selectionAfter : v.selectionBefore;
    }
  }

 private:
  void record(Step&& step);
  static std::size_t bytesOf(const Step& s);
  void trim();

  std::deque<Step> done_, undone_;
  Step pending_;
  bool open_ = false;
  int baselineFrame_ = -1;
  RunLengthImage baselineLabels_, baselineSelection_;
  std::size_t bytes_ = 0;
  std::size_t memoryCap_ = kDefaultMemoryCap;
};

}  // namespace morvex
