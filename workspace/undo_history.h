#pragma once
// Snapshots of the shown frame's label and selection images for undo: a ring of 20 slots, each
// holding both images and the kind of step it records (1 labels, 2 selection, 3 both). The tail
// slot is never restored, so at most 18 steps can be undone. Snapshots are kept as bytes (the
// images' own width), one slot pair taking 2 x width x height bytes, allocated on first use.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morvex {

class UndoHistory {
 public:
  static constexpr int kCapacity = 20;

  // Forgets every snapshot and prepares slots for width x height images.
  void init(int width, int height);
  // Records both images; kind says what an undo back to this snapshot restores.
  void push(const uint8_t* label, const uint8_t* selection, int kind);
  // Steps back one snapshot and writes it into the caller's images by its kind. Returns the kind
  // restored (1, 2 or 3), or 0 when there was nothing to undo.
  int undo(uint8_t* label, uint8_t* selection);

  // Number of steps an undo can still go back.
  int steps() const { return (head_ - tail_ + kCapacity) % kCapacity; }
  bool initialised() const { return width_ > 0 && height_ > 0; }
  int width() const { return width_; }
  int height() const { return height_; }
  // Memory of one slot pair and of every slot allocated so far.
  std::size_t bytesPerSlot() const { return 2 * pixels(); }
  std::size_t bytesAllocated() const;

 private:
  std::size_t pixels() const { return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_); }
  std::vector<std::vector<uint8_t>> labels_, selections_;
  std::vector<int> kinds_;
  int width_ = 0, height_ = 0;
  int head_ = 0, tail_ = 0;
};

}  // namespace morvex
