#include "support/invariants.h"

#include <cstring>
#include <functional>

#include "buffer/lines.h"
#include "support/unit_checks.h"

namespace ostrel {

// Breaks an undo record on purpose, past the recording calls that keep it whole.
struct UndoTestAccess {
  static void Set(Undo& u, UndoKind kind, int32_t line, int32_t first = 0, int32_t second = 0) {
    u.kind_ = kind;
    u.line_ = line;
    u.first_ = first;
    u.second_ = second;
  }
  static LineBuffer& Copy1(Undo& u) { return u.copy1_; }
  static LineBuffer& Copy2(Undo& u) { return u.copy2_; }
};

namespace {

using Access = UndoTestAccess;

// Fills the first 8 bytes at `data`, the lsize of the states below: no terminator is left.
void Fill(char* data) {
  std::memset(data, 'a', 8);
}

TEST(CheckInvariants, AFreshStateAndOrdinaryEditsPass) {
  auto s = MakeState(8, 4, {"abc", "", "1234567"});
  std::string why = "untouched";
  EXPECT_TRUE(CheckInvariants(s, &why));
  EXPECT_EQ(why, "untouched");
  s.view.cursor_line = 3;
  s.view.cursor_pos = 7;
  s.session.settings.anchor_pos = 7;
  s.doc.buffer.OpenSlot(1);
  s.doc.buffer.CloseSlot(0);
  std::memcpy(s.session.clip.data(), "1234567", 8);
  Access::Set(s.doc.undo, UndoKind::kMove, -5, 0, 3);  // kind 4 does not use `line`
  EXPECT_TRUE(CheckInvariants(s, nullptr));
}

// Each case breaks one invariant of a clean state; the checker must say which.
TEST(CheckInvariants, CatchesEachBrokenInvariant) {
  const struct {
    const char* expected;
    std::function<void(EditorState&)> breakit;
  } cases[] = {
      {"line 2 has no terminator", [](auto& s) { Fill(s.doc.buffer.WritableSlot(2)); }},
      {"line 0 has a non-zero byte at 5 after its terminator at 3",
       [](auto& s) { s.doc.buffer.WritableSlot(0)[5] = 'z'; }},
      {"line 1 has a non-zero byte at 7 after its terminator at 0",
       [](auto& s) { s.doc.buffer.WritableSlot(1)[7] = 'z'; }},
      {"cursor line 4 outside 0..3", [](auto& s) { s.view.cursor_line = 4; }},
      {"cursor line -1 outside 0..3", [](auto& s) { s.view.cursor_line = -1; }},
      {"cursor position 8 outside 0..7", [](auto& s) { s.view.cursor_pos = 8; }},
      {"cursor position -1 outside 0..7", [](auto& s) { s.view.cursor_pos = -1; }},
      {"anchor position 8 outside 0..7", [](auto& s) { s.session.settings.anchor_pos = 8; }},
      {"command input has no terminator", [](auto& s) { Fill(s.session.command_input.data()); }},
      {"insert text has no terminator", [](auto& s) { Fill(s.session.insert_text.data()); }},
      {"jump string has no terminator", [](auto& s) { Fill(s.session.jump_string.data()); }},
      {"clip has no terminator", [](auto& s) { Fill(s.session.clip.data()); }},
      {"undo copy 1 has no terminator", [](auto& s) { Fill(Access::Copy1(s.doc.undo).data()); }},
      {"undo copy 2 has no terminator", [](auto& s) { Fill(Access::Copy2(s.doc.undo).data()); }},
      {"clip is 9 bytes, not lsize 8", [](auto& s) { ASSERT_TRUE(s.session.clip.Allocate(9)); }},
      {"file name has no terminator", [](auto& s) { s.doc.file_name.fill('f'); }},
      {"open name has no terminator", [](auto& s) { s.doc.open_name.fill('o'); }},
      {"launch command has no terminator",
       [](auto& s) { s.session.settings.launch_command.fill('l'); }},
      {"undo kind 7", [](auto& s) { Access::Set(s.doc.undo, static_cast<UndoKind>(7), 0); }},
      {"undo line 4 outside the grid",
       [](auto& s) { Access::Set(s.doc.undo, UndoKind::kLineText, 4); }},
      {"undo line -1 outside the grid",
       [](auto& s) { Access::Set(s.doc.undo, UndoKind::kDeletedLine, -1); }},
      {"undo lines 0, 4 outside the grid",
       [](auto& s) { Access::Set(s.doc.undo, UndoKind::kWrap, 0, 0, 4); }},
  };
  for (const auto& c : cases) {
    auto s = MakeState(8, 4, {"abc"});
    c.breakit(s);
    std::string why;
    EXPECT_FALSE(CheckInvariants(s, &why)) << c.expected;
    EXPECT_EQ(why, c.expected);
    EXPECT_FALSE(CheckInvariants(s, nullptr));
  }
}

// Searching and saving skip the slots past the buffer's written mark, so text there would be
// lost without a word. On a huge grid with a short document, ordinary work keeps the rule, and
// a writer that bypasses the mark (writing text where the trimming accessor allows only zeros:
// into the blank slot an empty line is lent) is caught wherever the line's slot lies: just at
// the mark, at the end of the grid, or lent to a line by an opened line.
TEST(CheckInvariants, OnAHugeGridEverySlotPastTheWrittenMarkIsEmpty) {
  constexpr int32_t kLines = 8'000'000;
  const auto bypass = [](EditorState& s, int32_t line) {
    s.doc.buffer.TrimmableSlot(line)[0] = 'x';  // the faulty writer under test
  };
  const struct {
    const char* expected;  // "" when the state must pass
    std::function<void(EditorState&)> work;
  } cases[] = {
      {"",
       [](EditorState& s) {
         Wedge(1, s.doc.buffer);
         Delete(0, s.doc.buffer);
         Wedge(0, s.doc.buffer);
         std::memcpy(s.doc.buffer.WritableSlot(5), "z", 1);
         Wedge(kLines - 1, s.doc.buffer);
       }},
      {"line 3 holds text in slot 3, at or past the written mark 3",
       [&](EditorState& s) { bypass(s, 3); }},
      {"line 7999999 holds text in slot 7999999, at or past the written mark 3",
       [&](EditorState& s) { bypass(s, kLines - 1); }},
      {"line 0 holds text in slot 3, at or past the written mark 3",
       [&](EditorState& s) {
         Wedge(0, s.doc.buffer);
         bypass(s, 0);
       }},
      // Written through the reading accessor, which lends the blank to no line.
      {"the blank slot holds text",
       [](EditorState& s) { const_cast<char*>(s.doc.buffer.Slot(4))[0] = 'x'; }},
  };
  for (const auto& c : cases) {
    auto s = MakeState(3, kLines, {"ab", "cd", "ef"});
    c.work(s);
    std::string why;
    EXPECT_EQ(CheckInvariants(s, &why), c.expected[0] == '\0') << c.expected;
    EXPECT_EQ(why, c.expected);
  }
}

TEST(CheckInvariants, AnUnallocatedStateFails) {
  EditorState s;
  std::string why;
  EXPECT_FALSE(CheckInvariants(s, &why));
  EXPECT_EQ(why, "text buffer not allocated");
}

}  // namespace
}  // namespace ostrel
