// Drives the editing handlers on small states: prompts and messages, the change, and what the
// undo record holds afterwards.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "editor/commands.h"
#include "support/memory_console.h"
#include "support/state_fixture.h"

namespace ostrel {
namespace {

using testing::AllLines;
using testing::LineText;
using testing::MakeState;
using testing::MemoryConsole;
using testing::SlotsAreClean;
using Lines = std::vector<std::string>;

std::string Clip(const EditorState& s) {
  return std::string(s.clip.data());
}

TEST(ClipCommands, CopyCutAndPasteAtTheCursor) {
  auto s = MakeState(16, 3, {"abcdef", "123456"});
  s.cursor_pos = 1;
  MemoryConsole mc("3\n3\n");
  ClipCopy(s, mc.con());
  EXPECT_EQ(Clip(s), "bcd");
  EXPECT_EQ(s.undo.kind, 0);  // copying records nothing
  ClipCut(s, mc.con());
  EXPECT_EQ(LineText(s, 0), "aef");
  EXPECT_EQ(Clip(s), "bcd");
  EXPECT_EQ(s.undo.kind, 1);
  EXPECT_EQ(mc.Output(), "Copy how many characters?\nEnter cut size\n");

  s.cursor_line = 1;
  ClipPaste(s, mc.con());
  EXPECT_EQ(LineText(s, 1), "1bcd56");
  ClipInsert(s, mc.con());
  EXPECT_EQ(LineText(s, 1), "1bcdbcd56");
  EXPECT_EQ(s.undo.line, 1);
  EXPECT_EQ(s.cursor_line, 1);
  EXPECT_EQ(s.cursor_pos, 1);
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(ClipCommands, ZeroNegativeOrNonNumericSizeEmptiesTheClip) {
  for (const char* answer : {"0\n", "-4\n", "many\n", ""}) {
    auto s = MakeState(16, 2, {"abcdef"});
    std::strcpy(s.clip.data(), "old");
    MemoryConsole mc(std::string(answer) + answer);
    ClipCopy(s, mc.con());
    EXPECT_EQ(Clip(s), "") << answer;
    std::strcpy(s.clip.data(), "old");
    ClipCut(s, mc.con());
    EXPECT_EQ(Clip(s), "") << answer;
    EXPECT_EQ(LineText(s, 0), "abcdef");
    EXPECT_EQ(s.undo.kind, 1);  // the cut still records
    EXPECT_TRUE(SlotsAreClean(s.buffer));
  }
}

TEST(ClipCommands, RefusalsLeaveLineClipAndRecord) {
  auto s = MakeState(16, 2, {"abcdef"});
  s.cursor_pos = 2;
  s.undo = UndoRecord{1, 1, 0, 0};
  std::strcpy(s.clip.data(), "kept");
  MemoryConsole mc("20\n");
  ClipCut(s, mc.con());  // more than lsize - position
  s.cursor_pos = 8;
  ClipCopy(s, mc.con());  // end of input: 0, beyond the line
  s.clip.assign(s.clip.size(), '\0');
  ClipPaste(s, mc.con());
  ClipInsert(s, mc.con());
  EXPECT_EQ(mc.Output(),
            "Enter cut size\nMaximum cut size is 14\n"
            "Copy how many characters?\nThere is nothing to copy\n"
            "There is nothing to paste\nThere is nothing to paste\n");
  EXPECT_EQ(LineText(s, 0), "abcdef");
  EXPECT_EQ(s.undo.kind, 1);
  EXPECT_EQ(s.undo.line, 1);
}

TEST(ClipCommands, PasteAtTheLastPositionRecordsAndChangesNothing) {
  auto s = MakeState(16, 2, {"abc", "before"});
  s.cursor_pos = 15;
  std::strcpy(s.clip.data(), "XYZ");
  MemoryConsole mc;
  ClipPaste(s, mc.con());
  EXPECT_EQ(mc.Output(), "Paste string was shortened to fit onto line\n");
  EXPECT_EQ(LineText(s, 0), "abc");
  EXPECT_EQ(s.undo.kind, 1);
  EXPECT_EQ(s.undo.line, 0);
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(NewInsert, InsertsTheAnswerOrNothingAtEndOfInput) {
  auto s = MakeState(16, 2, {"hello"});
  s.cursor_pos = 2;
  MemoryConsole mc("XY\n");
  NewInsert(s, mc.con());
  EXPECT_EQ(LineText(s, 0), "heXYllo");
  EXPECT_EQ(s.undo.kind, 1);
  s.undo.kind = 0;
  NewInsert(s, mc.con());  // input has ended: empty text, nothing recorded
  EXPECT_EQ(LineText(s, 0), "heXYllo");
  EXPECT_EQ(s.undo.kind, 0);
  EXPECT_EQ(mc.Output(), "Enter string to insert\nEnter string to insert\n");
}

TEST(NewInsert, LongAnswerIsShortenedAndItsRestIsLeftInTheInput) {
  auto s = MakeState(8, 2, {"abc"});
  MemoryConsole mc("0123456789\n");
  NewInsert(s, mc.con());
  EXPECT_EQ(mc.Output(),
            "Enter string to insert\n"
            "Insert was truncated because the line would have exceeded 8\n");
  EXPECT_EQ(LineText(s, 0), "0123abc");
  EXPECT_EQ(s.cursor_line, 0);
  char rest[16];
  ASSERT_TRUE(mc.con().ReadLine(rest, sizeof rest));
  EXPECT_STREQ(rest, "789\n");
}

TEST(LineCommands, RefusedDestinations) {
  auto s = MakeState(8, 5, {"a", "b"});
  s.undo = UndoRecord{1, 1, 0, 0};
  MemoryConsole mc("0\n-3\n6\nx\n");
  LineMove(s, mc.con());
  LineMove(s, mc.con());
  LineCopy(s, mc.con());
  LineCopy(s, mc.con());
  LineMove(s, mc.con());  // end of input
  EXPECT_EQ(mc.Output(),
            "Move line 1 to where?\nDestination line is not valid\n"
            "Move line 1 to where?\nDestination line is not valid\n"
            "Copy line 1 to where?\nDesination line is not valid\n"
            "Copy line 1 to where?\nDesination line is not valid\n"
            "Move line 1 to where?\nDestination line is not valid\n");
  EXPECT_EQ(AllLines(s), (Lines{"a", "b", "", "", ""}));
  EXPECT_EQ(s.undo.kind, 1);
}

TEST(TrimWrap, SendsTheTailToTheNextLine) {
  auto s = MakeState(16, 3, {"hello world", "next"});
  s.cursor_pos = 5;
  MemoryConsole mc;
  TrimWrap(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"hello", " worldnext", ""}));
  EXPECT_EQ(s.cursor_line, 1);
  EXPECT_EQ(s.cursor_pos, 0);
  EXPECT_EQ(s.undo.kind, 6);
  // At the end of a line: nothing moves, but the cursor goes down.
  s.cursor_pos = 12;
  TrimWrap(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"hello", " worldnext", ""}));
  EXPECT_EQ(s.cursor_line, 2);
  EXPECT_EQ(mc.Output(), "");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(TrimWrap, LosesWhatDoesNotFitAndIgnoresTheLastLine) {
  auto s = MakeState(8, 2, {"abcdefg", "12345"});
  s.cursor_pos = 3;
  s.undo.kind = 0;
  MemoryConsole mc;
  TrimWrap(s, mc.con());
  EXPECT_EQ(mc.Output(), "Insert was truncated because the line would have exceeded 8\n");
  EXPECT_EQ(AllLines(s), (Lines{"abc", "de12345"}));
  EXPECT_EQ(s.undo.kind, 6);
  s.undo.kind = 0;
  TrimWrap(s, mc.con());  // on the last line
  EXPECT_EQ(AllLines(s), (Lines{"abc", "de12345"}));
  EXPECT_EQ(s.cursor_line, 1);
  EXPECT_EQ(s.undo.kind, 0);
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

}  // namespace
}  // namespace ostrel
