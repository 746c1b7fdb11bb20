#include "editor/loop.h"

#include <cstring>

#include "support/unit_checks.h"

namespace ostrel {
namespace {

void Type(EditorState& s, Console& con, const char* input) {
  std::strcpy(s.session.command_input.data(), input);
  EnterText(s.doc, s.view, con, TypedText(s.session.command_input.data()));
}

TEST(EnterText, WritesAtTheCursorColumnAndRecordsUndo) {
  auto s = MakeState(8, 3, {"hello"});
  MemoryConsole mc;
  s.view.cursor_pos = 2;
  Type(s, mc.con(), "XY");
  EXPECT_EQ(LineText(s, 0), "heXYo");
  EXPECT_EQ(s.view.cursor_line, 1);
  EXPECT_EQ(s.view.cursor_pos, 2);
  EXPECT_EQ(s.doc.undo.kind(), UndoKind::kLineText);
  EXPECT_EQ(s.doc.undo.line(), 0);
  EXPECT_STREQ(s.doc.undo.copy1().data(), "hello");
  // A leading '!' takes the rest of the line; '!' alone is empty text that still pads.
  Type(s, mc.con(), "!bc");
  Type(s, mc.con(), "!");
  EXPECT_EQ(AllLines(s), (std::vector<std::string>{"heXYo", "  bc", "  "}));
  EXPECT_EQ(s.view.cursor_line, 2);  // the last line keeps the cursor
}

TEST(EnterText, LineLockAndTheEndOfTheSlot) {
  auto s = MakeState(8, 3);
  MemoryConsole mc;
  s.view.line_lock = true;
  s.view.cursor_pos = 5;
  Type(s, mc.con(), "xyz");
  EXPECT_EQ(LineText(s, 0), "     xy");  // padded, and cut at the end of the slot
  EXPECT_EQ(s.view.cursor_line, 0);
  s.view.cursor_pos = 0;
  Type(s, mc.con(), "abcdefg");
  EXPECT_EQ(LineText(s, 0), "abcdefg");
  s.view.line_lock = false;
  s.view.cursor_pos = 7;
  Type(s, mc.con(), "z");
  EXPECT_EQ(mc.Output(), "At End Of Line\n");
  EXPECT_EQ(LineText(s, 0), "abcdefg");
  EXPECT_EQ(s.doc.undo.kind(), UndoKind::kLineText);  // the refused write still replaces the record
  EXPECT_EQ(s.view.cursor_line, 1);                   // and the cursor still moves down
}

}  // namespace
}  // namespace ostrel
