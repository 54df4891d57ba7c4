#include "workspace/undo_history.h"

#include <algorithm>

namespace morvex {

void UndoHistory::init(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  labels_.assign(kCapacity, {});
  selections_.assign(kCapacity, {});
  kinds_.assign(kCapacity, 0);
  head_ = tail_ = 0;
}

void UndoHistory::push(const uint8_t* label, const uint8_t* selection, int kind) {
  if (!initialised() || !label || !selection) return;
  head_ = (head_ + 1) % kCapacity;
  if (head_ == tail_) tail_ = (tail_ + 1) % kCapacity;  // the oldest snapshot is dropped
  labels_[head_].assign(label, label + pixels());
  selections_[head_].assign(selection, selection + pixels());
  kinds_[head_] = kind;
}

int UndoHistory::undo(uint8_t* label, uint8_t* selection) {
  if (!initialised()) return 0;
  head_ = head_ == 0 ? kCapacity - 1 : head_ - 1;
  if (head_ == tail_) {
    head_ = (head_ + 1) % kCapacity;
    return 0;
  }
  const int kind = kinds_[head_];
  const bool restoreLabels = kind == 1 || kind == 3, restoreSelection = kind == 2 || kind == 3;
  if ((restoreLabels && !label) || (restoreSelection && !selection)) return 0;
  if (restoreLabels) std::copy(labels_[head_].begin(), labels_[head_].end(), label);
  if (restoreSelection) std::copy(selections_[head_].begin(), selections_[head_].end(), selection);
  return restoreLabels || restoreSelection ? kind : 0;
}

std::size_t UndoHistory::bytesAllocated() const {
  std::size_t total = 0;
  for (int i = 0; i < static_cast<int>(labels_.size()); ++i) total += labels_[i].capacity() + selections_[i].capacity();
  return total;
}

}  // namespace morvex
