// The undo store without a window: run-length snapshots, one-frame steps from a baseline, steps
// over many frames, redo cleared by a new edit, the per-frame limit of the design's ring and the
// memory cap.

#include <gtest/gtest.h>

#include <random>

#include "workspace/undo_history.h"

using morvex::FrameImages;
using morvex::RunLengthImage;
using morvex::UndoHistory;

namespace {

constexpr std::size_t kPixels = 64 * 48;

struct Frames {
  std::vector<std::vector<uint8_t>> labels, selection;
  explicit Frames(int count) : labels(count, std::vector<uint8_t>(kPixels, 0)), selection(labels) {}
  FrameImages operator()(int f) { return {f, labels[f].data(), selection[f].data(), kPixels}; }
  std::vector<FrameImages> all() {
    std::vector<FrameImages> out;
    for (int f = 0; f < static_cast<int>(labels.size()); ++f) out.push_back((*this)(f));
    return out;
  }
};

}  // namespace

TEST(RunLengthImage, RoundTripsAnyImageAndKeepsMasksSmall) {
  std::mt19937 rng(3);
  std::vector<uint8_t> noise(kPixels), out(kPixels, 9);
  for (uint8_t& v : noise) v = static_cast<uint8_t>(rng() % 4);
  RunLengthImage(noise.data(), kPixels).decode(out.data());
  EXPECT_EQ(out, noise);
  std::vector<uint8_t> mask(512 * 512, 0);
  for (int y = 100; y < 300; ++y)
    for (int x = 150; x < 350; ++x) mask[y * 512 + x] = 1;
  const RunLengthImage rle(mask.data(), mask.size());
  EXPECT_LT(rle.bytes(), 4096u) << "a liver-like mask of 512 x 512 takes a few KB";
  std::vector<uint8_t> back(mask.size(), 7);
  rle.decode(back.data());
  EXPECT_EQ(back, mask);
  // runs of every length around the eight-byte steps, and a run longer than one entry holds
  for (const std::size_t length : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u}) {
    std::vector<uint8_t> runs(200, 0);
    std::fill(runs.begin() + 5, runs.begin() + 5 + static_cast<long>(length), 3);
    std::vector<uint8_t> decoded(runs.size(), 9);
    RunLengthImage(runs.data(), runs.size()).decode(decoded.data());
    EXPECT_EQ(decoded, runs) << "run of " << length;
  }
  const std::vector<uint8_t> huge(std::size_t{1} << 25, 1);
  std::vector<uint8_t> hugeBack(huge.size(), 0);
  RunLengthImage(huge.data(), huge.size()).decode(hugeBack.data());
  EXPECT_EQ(hugeBack, huge) << "a run longer than 2^24 - 1 pixels is split";
  const RunLengthImage empty(nullptr, 10);
  EXPECT_EQ(empty.pixelCount(), 0u);
}

TEST(UndoHistory, OneFrameStepsUndoRedoAndANewEditClearsRedo) {
  Frames frames(2);
  UndoHistory h;
  EXPECT_FALSE(h.pushFrame(frames(0))) << "no baseline yet";
  h.setBaseline(frames(0));
  EXPECT_FALSE(h.pushFrame(frames(0))) << "nothing changed";
  frames.labels[0][5] = 1;
  frames.selection[0][6] = 255;
  ASSERT_TRUE(h.pushFrame(frames(0)));
  frames.labels[0][7] = 2;
  ASSERT_TRUE(h.pushFrame(frames(0)));
  EXPECT_EQ(h.steps(), 2);

  const UndoHistory::Step* step = h.undo();
  ASSERT_NE(step, nullptr);
  UndoHistory::apply(*step, false, frames);
  EXPECT_EQ(frames.labels[0][7], 0);
  EXPECT_EQ(frames.labels[0][5], 1) << "only the last step is taken back";
  step = h.undo();
  ASSERT_NE(step, nullptr);
  UndoHistory::apply(*step, false, frames);
  EXPECT_EQ(frames.labels[0][5], 0);
  EXPECT_EQ(frames.selection[0][6], 0) << "the selection comes back too";
  EXPECT_EQ(h.undo(), nullptr);

  step = h.redo();
  ASSERT_NE(step, nullptr);
  UndoHistory::apply(*step, true, frames);
  EXPECT_EQ(frames.labels[0][5], 1);
  EXPECT_EQ(h.redoSteps(), 1);
  // a new edit (from the frame's new baseline) ends the redo list
  h.setBaseline(frames(0));
  frames.labels[0][9] = 3;
  ASSERT_TRUE(h.pushFrame(frames(0)));
  EXPECT_EQ(h.redoSteps(), 0);
  EXPECT_EQ(h.redo(), nullptr);
}

TEST(UndoHistory, AStepOverManyFramesKeepsTheChangedFramesAndTheStartFrame) {
  Frames frames(4);
  UndoHistory h;
  h.beginMultiFrame(2, frames.all());
  frames.labels[0][1] = 1;
  frames.labels[3][2] = 1;
  ASSERT_TRUE(h.commitMultiFrame(frames.all()));
  const UndoHistory::Step* step = h.undo();
  ASSERT_NE(step, nullptr);
  EXPECT_TRUE(step->multiFrame);
  EXPECT_EQ(step->startFrame, 2);
  ASSERT_EQ(step->frames.size(), 2u) << "unchanged frames are not kept";
  UndoHistory::apply(*step, false, frames);
  EXPECT_EQ(frames.labels[0][1], 0);
  EXPECT_EQ(frames.labels[3][2], 0);
  h.beginMultiFrame(0, frames.all());
  EXPECT_FALSE(h.commitMultiFrame(frames.all())) << "a run that changed nothing is no step";
  EXPECT_FALSE(h.multiFrameOpen());
}

TEST(UndoHistory, EighteenStepsPerFrameAndAMemoryCapDropTheOldest) {
  Frames frames(2);
  UndoHistory h;
  h.setBaseline(frames(1));
  frames.labels[1][0] = 1;
  ASSERT_TRUE(h.pushFrame(frames(1)));  // an edit on another frame, older than all below
  h.setBaseline(frames(0));
  for (int i = 0; i < 25; ++i) {
    frames.labels[0][i] = 1;
    ASSERT_TRUE(h.pushFrame(frames(0)));
  }
  EXPECT_EQ(h.steps(), UndoHistory::kStepsPerFrame + 1) << "18 of frame 0 and the one of frame 1";
  // the oldest step left of frame 0 is the 8th edit: undoing all of them leaves pixels 0..6 set
  for (int i = 0; i < UndoHistory::kStepsPerFrame; ++i) UndoHistory::apply(*h.undo(), false, frames);
  EXPECT_EQ(frames.labels[0][6], 1);
  EXPECT_EQ(frames.labels[0][7], 0);
  const UndoHistory::Step* other = h.undo();
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->startFrame, 1) << "the other frame's step survives";

  UndoHistory capped;
  capped.setMemoryCap(3000);
  capped.setBaseline(frames(0));
  std::mt19937 rng(5);
  for (int i = 0; i < 12; ++i) {
    for (uint8_t& v : frames.labels[0]) v = static_cast<uint8_t>(rng() % 2);  // poorly compressible
    ASSERT_TRUE(capped.pushFrame(frames(0)));
  }
  EXPECT_EQ(capped.steps(), 1) << "each step is larger than the cap: only the newest stays";
  EXPECT_GT(capped.bytes(), 3000u);
}
