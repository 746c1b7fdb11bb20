#include "buffer/clip.h"

#include <gtest/gtest.h>

#include "support/memory_console.h"
#include "support/state_fixture.h"

namespace ostrel {
namespace {

using testing::LineText;
using testing::MakeState;
using testing::MemoryConsole;
using testing::SlotsAreClean;

TEST(Insert, ShiftsTheRestAndFillsWithSpaces) {
  auto s = MakeState(16, 3, {"hello", "hello"});
  MemoryConsole mc;
  int32_t k = 0;
  ASSERT_TRUE(CheckInsert(0, 2, k, "XY", s.buffer, mc.con()));
  EXPECT_EQ(k, 2);
  Insert(0, 2, k, "XY", s.buffer);
  EXPECT_EQ(LineText(s, 0), "heXYllo");
  ASSERT_TRUE(CheckInsert(1, 7, k, "XY", s.buffer, mc.con()));
  Insert(1, 7, k, "XY", s.buffer);
  EXPECT_EQ(LineText(s, 1), "hello  XY");
  EXPECT_EQ(mc.Output(), "");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(Insert, ShortensToTheLineAndThePosition) {
  // lsize 16: lines of at most 15 characters.
  auto s = MakeState(16, 3, {"0123456789", "0123456789"});
  {
    MemoryConsole mc;
    int32_t k = 0;
    ASSERT_TRUE(CheckInsert(0, 0, k, "ABCDEFGHIJ", s.buffer, mc.con()));
    EXPECT_EQ(k, 5);
    EXPECT_EQ(mc.Output(), "Insert was truncated because the line would have exceeded 16\n");
    Insert(0, 0, k, "ABCDEFGHIJ", s.buffer);
    EXPECT_EQ(LineText(s, 0), "ABCDE0123456789");
  }
  {
    // Both messages, the position's first; the line is space-filled to 12 first.
    MemoryConsole mc;
    int32_t k = 0;
    ASSERT_TRUE(CheckInsert(1, 12, k, "UVWXYZ", s.buffer, mc.con()));
    EXPECT_EQ(k, 3);
    EXPECT_EQ(mc.Output(),
              "Insert was truncated because it is too long for the position\n"
              "Insert was truncated because the line would have exceeded 16\n");
    Insert(1, 12, k, "UVWXYZ", s.buffer);
    EXPECT_EQ(LineText(s, 1), "0123456789  UVW");
  }
  {
    // A full line, or the last position of a slot, takes nothing.
    MemoryConsole mc;
    int32_t k = 0;
    EXPECT_FALSE(CheckInsert(0, 3, k, "Q", s.buffer, mc.con()));
    EXPECT_FALSE(CheckInsert(2, 15, k, "Q", s.buffer, mc.con()));
    EXPECT_EQ(k, 0);
  }
  {
    // Empty text is refused without a message.
    MemoryConsole mc;
    int32_t k = 7;
    EXPECT_FALSE(CheckInsert(2, 0, k, "", s.buffer, mc.con()));
    EXPECT_EQ(mc.Output(), "");
  }
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(Insert, NeverLeavesTheSlotWhateverTheCount) {
  auto s = MakeState(8, 2, {"abcdef"});
  Insert(0, 1, 50, "XYZ", s.buffer);
  EXPECT_EQ(LineText(s, 0), "aXbcdef");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(Paste, OverwritesAndShortens) {
  auto s = MakeState(16, 3, {"abcdef"});
  MemoryConsole mc;
  int32_t k = 0;
  ASSERT_TRUE(CheckPaste(1, k, "XYZ", s.buffer, mc.con()));
  Paste(0, 1, k, "XYZ", s.buffer);
  EXPECT_EQ(LineText(s, 0), "aXYZef");
  ASSERT_TRUE(CheckPaste(4, k, "XYZ", s.buffer, mc.con()));
  Paste(1, 4, k, "XYZ", s.buffer);
  EXPECT_EQ(LineText(s, 1), "    XYZ");
  EXPECT_EQ(mc.Output(), "");

  ASSERT_TRUE(CheckPaste(13, k, "XYZ", s.buffer, mc.con()));
  EXPECT_EQ(k, 2);
  EXPECT_EQ(mc.Output(), "Paste string was shortened to fit onto line\n");
  Paste(2, 13, k, "XYZ", s.buffer);
  EXPECT_EQ(LineText(s, 2), std::string(13, ' ') + "XY");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(Paste, EmptyClipIsRefusedAndLastPositionChangesNothing) {
  auto s = MakeState(16, 2, {"abc"});
  MemoryConsole mc;
  int32_t k = 9;
  EXPECT_FALSE(CheckPaste(0, k, "", s.buffer, mc.con()));
  EXPECT_EQ(mc.Output(), "There is nothing to paste\n");
  // At the last position the check passes with nothing to write, and no space fill happens.
  ASSERT_TRUE(CheckPaste(15, k, "XYZ", s.buffer, mc.con()));
  EXPECT_EQ(k, 0);
  Paste(0, 15, k, "XYZ", s.buffer);
  EXPECT_EQ(LineText(s, 0), "abc");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(Cut, RemovesAndLeavesNoTrace) {
  auto s = MakeState(16, 2, {"abcdef"});
  MemoryConsole mc;
  int32_t k = 3;
  ASSERT_TRUE(CheckCut(0, 1, k, s.buffer, mc.con()));
  Cut(0, 1, k, s.buffer);
  EXPECT_EQ(LineText(s, 0), "aef");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
  // Writing past the new end never brings back cut characters.
  Replace(0, 3, 2, "X", s.buffer, mc.con());
  EXPECT_EQ(LineText(s, 0), "aefX");
  EXPECT_EQ(mc.Output(), "");
}

TEST(Cut, ChecksInOrder) {
  auto s = MakeState(16, 2, {"abcdef"});
  MemoryConsole mc;
  int32_t k = 16;  // more than lsize-p at p = 1
  EXPECT_FALSE(CheckCut(0, 1, k, s.buffer, mc.con()));
  EXPECT_EQ(mc.Output(), "Maximum cut size is 15\n");
  k = 15;
  ASSERT_TRUE(CheckCut(0, 1, k, s.buffer, mc.con()));
  EXPECT_EQ(k, 5);
  EXPECT_EQ(mc.Output(), "Maximum cut size is 15\nCut size will be shortened to 5\n");
  k = 1;
  EXPECT_FALSE(CheckCut(0, 6, k, s.buffer, mc.con()));
  EXPECT_FALSE(CheckCut(1, 0, k, s.buffer, mc.con()));
  EXPECT_EQ(mc.Output(),
            "Maximum cut size is 15\nCut size will be shortened to 5\n"
            "There is nothing to cut at this position\n"
            "There is nothing to cut at this position\n");
}

TEST(Cut, NegativeOrZeroSizeCutsNothing) {
  auto s = MakeState(16, 1, {"abcdef"});
  MemoryConsole mc;
  for (int32_t asked : {0, -3, -2000000}) {
    int32_t k = asked;
    ASSERT_TRUE(CheckCut(0, 2, k, s.buffer, mc.con()));
    EXPECT_EQ(k, 0);
    Cut(0, 2, k, s.buffer);
  }
  EXPECT_EQ(LineText(s, 0), "abcdef");
  EXPECT_EQ(mc.Output(), "");
  // Defensive: a count past the line's end cuts only to the end.
  Cut(0, 4, 99, s.buffer);
  EXPECT_EQ(LineText(s, 0), "abcd");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(CheckCopy, ShortensRefusesAndTreatsNegativeAsZero) {
  auto s = MakeState(16, 2, {"abcdef"});
  MemoryConsole mc;
  int32_t k = 10;
  ASSERT_TRUE(CheckCopy(0, 2, k, s.buffer, mc.con()));
  EXPECT_EQ(k, 4);
  k = -5;
  ASSERT_TRUE(CheckCopy(0, 2, k, s.buffer, mc.con()));
  EXPECT_EQ(k, 0);
  k = 1;
  EXPECT_FALSE(CheckCopy(0, 6, k, s.buffer, mc.con()));
  EXPECT_FALSE(CheckCopy(1, 0, k, s.buffer, mc.con()));
  EXPECT_EQ(
      mc.Output(),
      "Copy size will be shortened to 4\nThere is nothing to copy\nThere is nothing to copy\n");
}

}  // namespace
}  // namespace ostrel
