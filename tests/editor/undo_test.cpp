// The undo command after each kind of change, driven through the handlers.
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

const Lines kFive = {"a", "b", "c", "d", "e"};

TEST(Undo, NothingToUndoIsSilent) {
  auto s = MakeState(8, 5, kFive);
  s.cursor_line = 3;
  s.cursor_pos = 2;
  MemoryConsole mc;
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), kFive);
  EXPECT_EQ(s.cursor_line, 3);
  EXPECT_EQ(mc.Output(), "");
}

TEST(Undo, LineTextKindRestoresOnceAndMovesTheCursorBack) {
  auto s = MakeState(16, 5, {"alpha", "beta", "gamma"});
  s.cursor_pos = 1;
  MemoryConsole mc("2\n");
  ClipCut(s, mc.con());  // line 0 becomes "aha", the clip "lp"
  s.cursor_line = 2;
  LineClear(s, mc.con());  // the second edit replaces the first
  s.cursor_line = 4;
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"aha", "beta", "gamma", "", ""}));
  EXPECT_EQ(s.cursor_line, 2);
  EXPECT_EQ(s.cursor_pos, 1);
  EXPECT_EQ(s.undo.kind, 0);
  // A second undo does not redo.
  UndoCommand(s, mc.con());
  EXPECT_EQ(LineText(s, 2), "gamma");
  // The clip keeps what the cut put into it.
  EXPECT_STREQ(s.clip.data(), "lp");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(Undo, WedgeComesOutButThePushedLineIsLost) {
  auto s = MakeState(8, 5, kFive);
  s.cursor_line = 1;
  MemoryConsole mc;
  LineInsert(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"a", "", "b", "c", "d"}));
  EXPECT_EQ(s.cursor_line, 1);
  s.cursor_line = 4;
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"a", "b", "c", "d", ""}));
  EXPECT_EQ(s.cursor_line, 1);
}

TEST(Undo, DeleteComesBack) {
  auto s = MakeState(8, 5, kFive);
  s.cursor_line = 2;
  MemoryConsole mc;
  LineDelete(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"a", "b", "d", "e", ""}));
  s.cursor_line = 0;
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), kFive);
  EXPECT_EQ(s.cursor_line, 2);
}

TEST(Undo, DeletingTheLastLineChangesNothingButRecords) {
  auto s = MakeState(8, 5, kFive);
  s.cursor_line = 4;
  MemoryConsole mc;
  LineDelete(s, mc.con());
  EXPECT_EQ(AllLines(s), kFive);
  EXPECT_EQ(s.undo.kind, 3);
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), kFive);
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(Undo, MoveRestoresBothLines) {
  auto s = MakeState(8, 8, {"1", "2", "3", "4", "5", "6", "7", "8"});
  s.cursor_line = 2;
  MemoryConsole mc("7\n8\n");
  LineMove(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"1", "2", "", "4", "5", "6", "3", "8"}));
  EXPECT_EQ(s.cursor_line, 2);
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"1", "2", "3", "4", "5", "6", "7", "8"}));
  // To the last line as well.
  s.cursor_line = 1;
  LineMove(s, mc.con());
  EXPECT_EQ(LineText(s, 7), "2");
  s.cursor_line = 5;
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"1", "2", "3", "4", "5", "6", "7", "8"}));
  EXPECT_EQ(s.cursor_line, 1);
  EXPECT_EQ(mc.Output(), "Move line 3 to where?\nMove line 2 to where?\n");
}

TEST(Undo, MoveOntoItselfKeepsTheLine) {
  auto s = MakeState(8, 3, {"a", "b", "c"});
  s.cursor_line = 1;
  MemoryConsole mc("2\n");
  LineMove(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"a", "b", "c"}));
  EXPECT_EQ(s.undo.kind, 4);
  EXPECT_EQ(s.undo.first, 1);
  EXPECT_EQ(s.undo.second, 1);
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"a", "b", "c"}));
}

TEST(Undo, CopyRestoresTheDestinationOnly) {
  auto s = MakeState(8, 5, kFive);
  s.cursor_line = 1;
  MemoryConsole mc("5\n");
  LineCopy(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"a", "b", "c", "d", "b"}));
  // Change the source after the copy: undo does not touch it.
  std::strcpy(s.buffer.Slot(1), "B");
  s.cursor_line = 3;
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"a", "B", "c", "d", "e"}));
  EXPECT_EQ(s.cursor_line, 1);
}

TEST(Undo, TrimWrapRestoresBothLines) {
  auto s = MakeState(16, 3, {"hello world", "next"});
  s.cursor_pos = 5;
  MemoryConsole mc;
  TrimWrap(s, mc.con());
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"hello world", "next", ""}));
  EXPECT_EQ(s.cursor_line, 0);
  EXPECT_EQ(s.cursor_pos, 0);
}

TEST(Undo, RefusedCommandLeavesTheEditToUndo) {
  auto s = MakeState(8, 5, kFive);
  s.cursor_line = 3;
  MemoryConsole mc("9\n");
  LineClear(s, mc.con());
  LineMove(s, mc.con());   // refused
  ClipPaste(s, mc.con());  // empty clip: refused
  s.cursor_line = 4;
  TrimWrap(s, mc.con());  // on the last line: ignored
  EXPECT_EQ(LineText(s, 3), "");
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), kFive);
  EXPECT_EQ(s.cursor_line, 3);
}

TEST(Undo, AppliesToWhateverDocumentIsLoaded) {
  auto s = MakeState(8, 6, {"a", "b", "c", "d", "e", "f"});
  s.cursor_line = 4;
  MemoryConsole mc;
  LineClear(s, mc.con());
  // Another document replaces the text; the record still names line 5.
  s.buffer.ClearAll();
  std::strcpy(s.buffer.Slot(4), "new");
  std::strcpy(s.buffer.Slot(5), "tail");
  s.cursor_line = 0;
  UndoCommand(s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"", "", "", "", "e", "tail"}));
  EXPECT_EQ(s.cursor_line, 4);
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

}  // namespace
}  // namespace ostrel
