#include "workspace/undo_history.h"

#include <algorithm>
#include <cstring>

namespace morvex {

namespace {
constexpr uint32_t kMaxRun = (1u << 24) - 1;
}  // namespace

RunLengthImage::RunLengthImage(const uint8_t* pixels, std::size_t count) : count_(pixels ? count : 0) {
  std::size_t i = 0;
  while (i < count_) {
    const uint8_t v = pixels[i];
    std::size_t j = i + 1;
    // long runs (the empty rest of a mask) are passed eight bytes at a time
    const uint64_t word = 0x0101010101010101ull * v;
    while (j + 8 <= count_ && j + 8 - i <= kMaxRun) {
      uint64_t w;
      std::memcpy(&w, pixels + j, 8);
      if (w != word) break;
      j += 8;
    }
    while (j < count_ && pixels[j] == v && j - i < kMaxRun) ++j;
    runs_.push_back(static_cast<uint32_t>(v) << 24 | static_cast<uint32_t>(j - i));
    i = j;
  }
  runs_.shrink_to_fit();
}

void RunLengthImage::decode(uint8_t* out) const {
  for (const uint32_t r : runs_) {
    const std::size_t n = r & kMaxRun;
    std::fill(out, out + n, static_cast<uint8_t>(r >> 24));
    out += n;
  }
}

void UndoHistory::clear() {
  done_.clear();
  undone_.clear();
  cancelMultiFrame();
  baselineFrame_ = -1;
  baselineLabels_ = baselineSelection_ = RunLengthImage();
  bytes_ = 0;
}

void UndoHistory::setBaseline(const FrameImages& shown) {
  if (!shown.labels || !shown.selection) {
    baselineFrame_ = -1;
    return;
  }
  baselineFrame_ = shown.frame;
  baselineLabels_ = RunLengthImage(shown.labels, shown.pixels);
  baselineSelection_ = RunLengthImage(shown.selection, shown.pixels);
}

bool UndoHistory::pushFrame(const FrameImages& shown) {
  if (!shown.labels || !shown.selection || shown.frame != baselineFrame_ ||
      baselineLabels_.pixelCount() != shown.pixels)
    return false;
  FrameChange c;
  c.frame = shown.frame;
  c.labelsAfter = RunLengthImage(shown.labels, shown.pixels);
  c.selectionAfter = RunLengthImage(shown.selection, shown.pixels);
  if (c.labelsAfter == baselineLabels_ && c.selectionAfter == baselineSelection_) return false;
  c.labelsBefore = baselineLabels_;
  c.selectionBefore = baselineSelection_;
  baselineLabels_ = c.labelsAfter;
  baselineSelection_ = c.selectionAfter;
  Step step;
  step.startFrame = shown.frame;
  step.frames.push_back(std::move(c));
  record(std::move(step));
  return true;
}

void UndoHistory::beginMultiFrame(int startFrame, const std::vector<FrameImages>& frames) {
  pending_ = Step();
  pending_.startFrame = startFrame;
  pending_.multiFrame = true;
  for (const FrameImages& f : frames) {
    if (!f.labels || !f.selection) continue;
    FrameChange c;
    c.frame = f.frame;
    c.labelsBefore = RunLengthImage(f.labels, f.pixels);
    c.selectionBefore = RunLengthImage(f.selection, f.pixels);
    pending_.frames.push_back(std::move(c));
  }
  open_ = true;
}

bool UndoHistory::commitMultiFrame(const std::vector<FrameImages>& frames) {
  if (!open_) return false;
  open_ = false;
  Step step = std::move(pending_);
  pending_ = Step();
  std::vector<FrameChange> changed;
  for (FrameChange& c : step.frames) {
    const auto f = std::find_if(frames.begin(), frames.end(), [&](const FrameImages& i) { return i.frame == c.frame; });
    if (f == frames.end() || !f->labels || !f->selection || f->pixels != c.labelsBefore.pixelCount()) continue;
    c.labelsAfter = RunLengthImage(f->labels, f->pixels);
    c.selectionAfter = RunLengthImage(f->selection, f->pixels);
    if (c.labelsAfter != c.labelsBefore || c.selectionAfter != c.selectionBefore) changed.push_back(std::move(c));
  }
  if (changed.empty()) return false;
  step.frames = std::move(changed);
  record(std::move(step));
  return true;
}

bool UndoHistory::pushVoxels(int startFrame, std::vector<VoxelChange> changes) {
  if (changes.empty()) return false;
  Step step;
  step.startFrame = startFrame;
  step.multiFrame = true;
  step.voxels = std::move(changes);
  step.voxels.shrink_to_fit();
  record(std::move(step));
  return true;
}

const UndoHistory::Step* UndoHistory::undo() {
  if (done_.empty()) return nullptr;
  undone_.push_back(std::move(done_.back()));
  done_.pop_back();
  baselineFrame_ = -1;  // the caller sets the baseline of the frame it shows afterwards
  return &undone_.back();
}

const UndoHistory::Step* UndoHistory::redo() {
  if (undone_.empty()) return nullptr;
  done_.push_back(std::move(undone_.back()));
  undone_.pop_back();
  baselineFrame_ = -1;
  return &done_.back();
}

std::size_t UndoHistory::bytesOf(const Step& s) {
  std::size_t n = sizeof(Step) + s.voxels.capacity() * sizeof(VoxelChange);
  for (const FrameChange& c : s.frames)
    n += sizeof(FrameChange) + c.labelsBefore.bytes() + c.selectionBefore.bytes() + c.labelsAfter.bytes() +
         c.selectionAfter.bytes();
  return n;
}

void UndoHistory::record(Step&& step) {
  for (const Step& s : undone_) bytes_ -= bytesOf(s);
  undone_.clear();
  bytes_ += bytesOf(step);
  done_.push_back(std::move(step));
  trim();
}

void UndoHistory::trim() {
  // within one frame: at most kStepsPerFrame one-frame steps, the oldest go first
  const Step& newest = done_.back();
  if (!newest.multiFrame) {
    const int frame = newest.frames.front().frame;
    int count = 0;
    for (const Step& s : done_) count += !s.multiFrame && s.frames.front().frame == frame;
    for (auto it = done_.begin(); count > kStepsPerFrame && it != done_.end();) {
      if (!it->multiFrame && it->frames.front().frame == frame) {
        bytes_ -= bytesOf(*it);
        it = done_.erase(it);
        --count;
      } else {
        ++it;
      }
    }
  }
  // over all frames: the memory cap (the newest step always stays)
  while (bytes_ > memoryCap_ && done_.size() > 1) {
    bytes_ -= bytesOf(done_.front());
    done_.pop_front();
  }
}

}  // namespace morvex
