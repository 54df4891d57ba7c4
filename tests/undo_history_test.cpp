// The undo ring: steps back by kind, at most 18 undos, nothing past the oldest snapshot.

#include <gtest/gtest.h>

#include "workspace/undo_history.h"

using morvex::UndoHistory;

TEST(UndoHistory, OneStrokeThenTwoUndos) {
  UndoHistory h;
  std::vector<uint8_t> label(12, 0), selection(12, 0);
  h.init(4, 3);
  h.push(label.data(), selection.data(), 3);  // the frame as shown
  label[5] = 1;
  selection[2] = 255;
  h.push(label.data(), selection.data(), 3);  // after a stroke
  EXPECT_EQ(h.undo(label.data(), selection.data()), 3);
  EXPECT_EQ(label[5], 0);
  EXPECT_EQ(selection[2], 0);
  label[7] = 9;
  EXPECT_EQ(h.undo(label.data(), selection.data()), 0) << "nothing before the frame as shown";
  EXPECT_EQ(label[7], 9) << "a failed undo writes nothing";
}

TEST(UndoHistory, TwentyFiveEditsAllowEighteenUndos) {
  UndoHistory h;
  std::vector<uint8_t> label(4, 0), selection(4, 0);
  h.init(2, 2);
  h.push(label.data(), selection.data(), 3);
  for (int e = 1; e <= 25; ++e) {
    label[0] = static_cast<uint8_t>(e);
    h.push(label.data(), selection.data(), 3);
  }
  for (int u = 1; u <= 18; ++u) {
    ASSERT_EQ(h.undo(label.data(), selection.data()), 3) << "undo " << u;
    EXPECT_EQ(label[0], 25 - u);
  }
  EXPECT_EQ(h.undo(label.data(), selection.data()), 0) << "the 19th undo does nothing";
  EXPECT_EQ(label[0], 7);
  // a push after undos continues from there
  label[0] = 40;
  h.push(label.data(), selection.data(), 3);
  EXPECT_EQ(h.undo(label.data(), selection.data()), 3);
  EXPECT_EQ(label[0], 7);
}

TEST(UndoHistory, KindOfTheSnapshotReturnedToDecidesWhatIsRestored) {
  UndoHistory h;
  std::vector<uint8_t> label(4, 0), selection(4, 0);
  h.init(2, 2);
  label[0] = 1;
  selection[0] = 255;
  h.push(label.data(), selection.data(), 1);  // kind 1: labels only
  label[0] = 2;
  selection[0] = 0;
  h.push(label.data(), selection.data(), 3);
  EXPECT_EQ(h.undo(label.data(), selection.data()), 1);
  EXPECT_EQ(label[0], 1);
  EXPECT_EQ(selection[0], 0) << "the selection is left as it is";

  h.push(label.data(), selection.data(), 2);
  selection[0] = 77;
  label[0] = 5;
  h.push(label.data(), selection.data(), 3);
  EXPECT_EQ(h.undo(label.data(), selection.data()), 2);
  EXPECT_EQ(selection[0], 0);
  EXPECT_EQ(label[0], 5);
}

TEST(UndoHistory, UninitialisedAndMemory) {
  UndoHistory h;
  uint8_t a = 0, b = 0;
  EXPECT_EQ(h.undo(&a, &b), 0);
  h.push(&a, &b, 3);  // ignored before init
  h.init(512, 512);
  EXPECT_EQ(h.bytesPerSlot(), 2u * 512 * 512) << "512 KiB per slot pair, half the widened layout";
  std::vector<uint8_t> label(512 * 512), selection(512 * 512);
  for (int i = 0; i < 30; ++i) h.push(label.data(), selection.data(), 3);
  EXPECT_LE(h.bytesAllocated(), 20u * 2 * 512 * 512) << "the whole ring stays within 10 MiB";
}
