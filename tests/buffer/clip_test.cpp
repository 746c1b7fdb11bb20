#include "buffer/clip.h"

#include "support/unit_checks.h"

namespace ostrel {
namespace {

TEST(Insert, ShiftsFillsAndShortens) {
  // lsize 16: lines of at most 15 characters.
  auto s = MakeState(16, 3, {"hello", "0123456789"});
  MemoryConsole mc;
  int32_t k = 0;
  ASSERT_TRUE(CheckInsert(0, 2, k, "XY", s.doc.buffer, mc.con()));
  Insert(0, 2, k, "XY", s.doc.buffer);
  ASSERT_TRUE(CheckInsert(0, 9, k, "XY", s.doc.buffer, mc.con()));
  Insert(0, 9, k, "XY", s.doc.buffer);
  EXPECT_EQ(LineText(s, 0), "heXYllo  XY");
  EXPECT_EQ(mc.Output(), "");
  // Both messages, the position's first; the line is space-filled to 12 first.
  ASSERT_TRUE(CheckInsert(1, 12, k, "UVWXYZ", s.doc.buffer, mc.con()));
  EXPECT_EQ(mc.Output(),
            "Insert was truncated because it is too long for the position\n"
            "Insert was truncated because the line would have exceeded 16\n");
  Insert(1, 12, k, "UVWXYZ", s.doc.buffer);
  EXPECT_EQ(LineText(s, 1), "0123456789  UVW");
  // A full line, the last position of a slot, or empty text take nothing.
  EXPECT_FALSE(CheckInsert(1, 0, k, "Q", s.doc.buffer, mc.con()));
  EXPECT_FALSE(CheckInsert(2, 15, k, "Q", s.doc.buffer, mc.con()));
  EXPECT_FALSE(CheckInsert(2, 0, k, "", s.doc.buffer, mc.con()));
  EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
}

TEST(Paste, OverwritesShortensAndRefuses) {
  auto s = MakeState(16, 2, {"abcdef"});
  MemoryConsole mc;
  int32_t k = 0;
  ASSERT_TRUE(CheckPaste(1, k, "XYZ", s.doc.buffer, mc.con()));
  Paste(0, 1, k, "XYZ", s.doc.buffer);
  EXPECT_EQ(LineText(s, 0), "aXYZef");
  ASSERT_TRUE(CheckPaste(13, k, "XYZ", s.doc.buffer, mc.con()));
  Paste(1, 13, k, "XYZ", s.doc.buffer);
  EXPECT_EQ(LineText(s, 1), std::string(13, ' ') + "XY");
  // At the last position the check passes with k = 0, and nothing is filled.
  ASSERT_TRUE(CheckPaste(15, k, "XYZ", s.doc.buffer, mc.con()));
  Paste(0, 15, k, "XYZ", s.doc.buffer);
  EXPECT_EQ(LineText(s, 0), "aXYZef");
  EXPECT_FALSE(CheckPaste(0, k, "", s.doc.buffer, mc.con()));
  EXPECT_EQ(mc.Output(),
            "Paste string was shortened to fit onto line\n"
            "Paste string was shortened to fit onto line\nThere is nothing to paste\n");
  EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
}

TEST(CheckInsertAndPaste, HoldTheirBoundsAtTheEndOfAHugeSlot) {
  // One slot of 2^31-1 bytes: position plus length passes the largest 32-bit value there.
  TextBuffer buffer;
  ASSERT_TRUE(buffer.Allocate({.lsize = INT32_MAX, .lines = 1}));
  MemoryConsole mc;
  const int32_t last = INT32_MAX - 1;
  int32_t k = 0;
  EXPECT_FALSE(CheckInsert(0, last, k, "XY", buffer, mc.con()));
  EXPECT_EQ(k, 0);
  ASSERT_TRUE(CheckInsert(0, last - 1, k, "XYZ", buffer, mc.con()));
  EXPECT_EQ(k, 1);
  ASSERT_TRUE(CheckPaste(last, k, "XY", buffer, mc.con()));
  EXPECT_EQ(k, 0);
  EXPECT_EQ(mc.Output(),
            "Insert was truncated because it is too long for the position\n"
            "Insert was truncated because it is too long for the position\n"
            "Paste string was shortened to fit onto line\n");
}

TEST(Cut, ChecksInOrderAndLeavesNoTrace) {
  auto s = MakeState(16, 2, {"abcdef"});
  MemoryConsole mc;
  int32_t k = 16;
  EXPECT_FALSE(CheckCut(0, 1, k, s.doc.buffer, mc.con()));
  k = 1;
  EXPECT_FALSE(CheckCut(0, 6, k, s.doc.buffer, mc.con()));
  k = 15;
  ASSERT_TRUE(CheckCut(0, 1, k, s.doc.buffer, mc.con()));
  EXPECT_EQ(mc.Output(),
            "Maximum cut size is 15\nThere is nothing to cut at this position\n"
            "Cut size will be shortened to 5\n");
  k = -3;  // counts as 0
  ASSERT_TRUE(CheckCut(0, 1, k, s.doc.buffer, mc.con()));
  EXPECT_EQ(k, 0);
  Cut(0, 1, 3, s.doc.buffer);
  EXPECT_EQ(LineText(s, 0), "aef");
  Replace(0, 3, "X", s.doc.buffer, mc.con());  // never brings back cut characters
  EXPECT_EQ(LineText(s, 0), "aefX");
  EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
}

TEST(CheckCopy, ShortensRefusesAndTreatsNegativeAsZero) {
  auto s = MakeState(16, 1, {"abcdef"});
  MemoryConsole mc;
  int32_t k = 10;
  ASSERT_TRUE(CheckCopy(0, 2, k, s.doc.buffer, mc.con()));
  EXPECT_EQ(k, 4);
  k = -5;
  ASSERT_TRUE(CheckCopy(0, 2, k, s.doc.buffer, mc.con()));
  EXPECT_EQ(k, 0);
  EXPECT_FALSE(CheckCopy(0, 6, k, s.doc.buffer, mc.con()));
  EXPECT_EQ(mc.Output(), "Copy size will be shortened to 4\nThere is nothing to copy\n");
}

}  // namespace
}  // namespace ostrel
