// Drives the editing handlers and undo on small states, for what the view cannot show.

#include <cstring>

#include "editor/commands.h"
#include "support/unit_checks.h"

namespace ostrel {
namespace {

using Lines = std::vector<std::string>;

TEST(EditCommands, TrimWrapAndItsUndo) {
  auto s = MakeState(8, 3, {"hello w", "next", "abc"});
  s.view.cursor_pos = 5;
  MemoryConsole mc;
  RunHandler(TrimWrap, s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"hello", " wnext", "abc"}));
  EXPECT_EQ(s.view.cursor_line, 1);
  EXPECT_EQ(s.view.cursor_pos, 0);
  s.view.cursor_pos = 1;
  RunHandler(TrimWrap, s,
             mc.con());  // the rest does not fit whole into the next line: nothing changes
  EXPECT_EQ(mc.Output(), "Cannot split: the next line has no room for the rest\n");
  EXPECT_EQ(AllLines(s), (Lines{"hello", " wnext", "abc"}));
  EXPECT_EQ(s.view.cursor_line, 1);
  EXPECT_EQ(s.view.cursor_pos, 1);
  s.view.cursor_line = 2;
  RunHandler(TrimWrap, s, mc.con());     // the last line: ignored
  RunHandler(UndoCommand, s, mc.con());  // the record is still the first wrap's
  EXPECT_EQ(AllLines(s), (Lines{"hello w", "next", "abc"}));
  EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
  // An empty rest fits even into a full next line.
  auto full = MakeState(8, 3, {"ab", "1234567"});
  full.view.cursor_pos = 5;
  RunHandler(TrimWrap, full, mc.con());
  EXPECT_EQ(AllLines(full), (Lines{"ab", "1234567", ""}));
  EXPECT_EQ(full.view.cursor_line, 1);
  EXPECT_EQ(full.view.cursor_pos, 0);
}

TEST(EditCommands, EmptyCutsAndPastesStillRecord) {
  for (const char* answer : {"0\n", "-4\n", "many\n"}) {
    auto s = MakeState(16, 2, {"abcdef"});
    std::strcpy(s.session.clip.data(), "old");
    MemoryConsole mc(answer);
    RunHandler(ClipCut, s, mc.con());
    EXPECT_STREQ(s.session.clip.data(), "") << answer;
    EXPECT_EQ(AllLines(s), (Lines{"abcdef", ""}));
    EXPECT_EQ(s.doc.undo.kind(), UndoKind::kLineText);
  }
  auto s = MakeState(16, 2, {"abc", "kept"});
  std::strcpy(s.session.clip.data(), "XYZ");
  s.view.cursor_pos = 15;
  MemoryConsole mc;
  RunHandler(ClipPaste, s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"abc", "kept"}));
  EXPECT_EQ(s.doc.undo.kind(), UndoKind::kLineText);
  EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
}

TEST(EditCommands, UndoAppliesToWhateverDocumentIsLoaded) {
  auto s = MakeState(8, 4, {"a", "b", "c", "d"});
  s.view.cursor_line = 2;
  MemoryConsole mc("4\n");
  RunHandler(LineMove, s, mc.con());
  s.doc.buffer.ClearAll();  // another document replaces the text
  std::strcpy(s.doc.buffer.WritableSlot(1), "new");
  RunHandler(UndoCommand, s, mc.con());
  EXPECT_EQ(AllLines(s), (Lines{"", "new", "c", "d"}));
  EXPECT_EQ(s.view.cursor_line, 2);
}

}  // namespace
}  // namespace ostrel
