// The editing commands. An edit at the cursor acts at the first byte of the character that
// holds the cursor's byte column, and leaves the cursor there, on the character it was on.
#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "buffer/clip.h"
#include "buffer/line_text.h"
#include "buffer/lines.h"
#include "console/question.h"
#include "editor/commands.h"
#include "editor/undo.h"

namespace ostrel {

void ReserveForEdit(EditorState& s, int count) {
  if (!s.buffer.ReserveWritable(count)) throw std::bad_alloc();
}

Outcome LineClear(EditorState& s, Console& con) {
  (void)con;
  s.undo.RecordLine(UndoKind::kLineText, s.cursor_line, s.buffer);
  Clear(s.cursor_line, s.buffer);
  return Outcome::kDone;
}

Outcome TrimEnd(EditorState& s, Console& con) {
  (void)con;
  s.undo.RecordLine(UndoKind::kLineText, s.cursor_line, s.buffer);
  // The cursor stays where the line now ends: on the first byte of the character it was in.
  s.cursor_pos = CursorColumn(s);
  Trim(s.cursor_line, s.cursor_pos, s.buffer);
  return Outcome::kDone;
}

void SayDropped(int32_t dropped, Console& con) {
  if (dropped <= 0 || !con.InputIsTerminal()) return;
  if (dropped == 1) {
    con.Line("1 character did not fit and was dropped");
  } else {
    con.Print("%i characters did not fit and were dropped\n", dropped);
  }
}

namespace {

// Characters of `text` from byte `kept` on: what a shortened insert or paste drops.
int32_t CharsAfter(const char* text, int32_t kept) {
  const std::string_view whole(text);
  const auto from = static_cast<std::size_t>(std::max(kept, 0));
  return from < whole.size() ? static_cast<int32_t>(CountChars(whole.substr(from))) : 0;
}

// Reads the answer to a destination prompt into `d`: 1-based in, 0-based out. A destination
// outside the grid is refused with `refusal` (kRefused); Ctrl-C cancels the question without a
// word (kCancelled).
Outcome ReadDestination(EditorState& s, Console& con, const char* refusal, int32_t& d) {
  int32_t answer = 0;
  if (AskNumber(con, answer) == Outcome::kCancelled) return Outcome::kCancelled;
  d = answer - 1;
  if (d < 0 || d >= s.buffer.lines()) {
    con.Line(refusal);
    return Outcome::kRefused;
  }
  return Outcome::kDone;
}

// Replaces the clip with `bytes` bytes of the cursor line from `column`.
void TakeIntoClip(EditorState& s, int32_t column, int32_t bytes) {
  ZeroSlotFrom(s.clip.data(), 0, s.buffer.lsize());
  // Only the line's own characters may be read: none lie past its end.
  if (bytes <= 0) return;
  std::memcpy(s.clip.data(), s.buffer.Slot(s.cursor_line) + column,
              static_cast<std::size_t>(bytes));
}

// The shape line_move and line_copy share: the destination prompt, both lines saved, the
// operation, recorded for undo as `kind`.
Outcome ToDestination(EditorState& s, Console& con, Format<int32_t> prompt, const char* refusal,
                      void (*operation)(int32_t, int32_t, TextBuffer&), UndoKind kind) {
  con.Print(prompt, s.cursor_line + 1);
  int32_t d = 0;
  const Outcome answered = ReadDestination(s, con, refusal, d);
  if (answered != Outcome::kDone)
    return answered == Outcome::kCancelled ? answered : Outcome::kDone;
  ReserveForEdit(s);
  s.undo.RecordLines(kind, s.cursor_line, d, s.buffer);
  operation(s.cursor_line, d, s.buffer);
  return Outcome::kDone;
}

}  // namespace

Outcome LineMove(EditorState& s, Console& con) {
  return ToDestination(s, con, "Move line %i to where?\n", "Destination line is not valid", Move,
                       UndoKind::kMove);
}

Outcome LineInsert(EditorState& s, Console& con) {
  // Opening a line pushes the last line off the grid, so it is refused while that line holds
  // text: no line is ever lost, and nothing is recorded for undo.
  if (s.buffer.HoldsText(s.buffer.lines() - 1)) {
    con.Line("Cannot open a line: the last line holds text");
    return Outcome::kDone;
  }
  Wedge(s.cursor_line, s.buffer);
  s.undo.RecordLine(UndoKind::kOpenedLine, s.cursor_line, s.buffer);
  return Outcome::kDone;
}

Outcome LineDelete(EditorState& s, Console& con) {
  (void)con;
  s.undo.RecordLine(UndoKind::kDeletedLine, s.cursor_line, s.buffer);
  Delete(s.cursor_line, s.buffer);
  return Outcome::kDone;
}

Outcome LineCopy(EditorState& s, Console& con) {
  // The refusal keeps its established spelling: scripts may match it.
  return ToDestination(s, con, "Copy line %i to where?\n", "Desination line is not valid", Copy,
                       UndoKind::kCopy);
}

// Both count characters; Ctrl-C at their question leaves the clip as it was.
Outcome ClipCopy(EditorState& s, Console& con) {
  con.Line("Copy how many characters?");
  int32_t k = 0;
  if (AskNumber(con, k) == Outcome::kCancelled) return Outcome::kCancelled;
  const int32_t column = CursorColumn(s);
  if (!CheckCopy(s.cursor_line, column, k, s.buffer, con)) return Outcome::kDone;
  TakeIntoClip(s, column, CharBytesAt(s.cursor_line, column, k, s.buffer));
  return Outcome::kDone;
}

Outcome ClipCut(EditorState& s, Console& con) {
  con.Line("Enter cut size");
  int32_t k = 0;
  if (AskNumber(con, k) == Outcome::kCancelled) return Outcome::kCancelled;
  const int32_t column = CursorColumn(s);
  if (!CheckCut(s.cursor_line, column, k, s.buffer, con)) return Outcome::kDone;
  const int32_t bytes = CharBytesAt(s.cursor_line, column, k, s.buffer);
  s.undo.RecordLine(UndoKind::kLineText, s.cursor_line, s.buffer);
  TakeIntoClip(s, column, bytes);
  Cut(s.cursor_line, column, bytes, s.buffer);
  s.cursor_pos = column;  // where the change was made, as the view showed it
  return Outcome::kDone;
}

Outcome ClipPaste(EditorState& s, Console& con) {
  const int32_t column = CursorColumn(s);
  int32_t k = 0;
  if (!CheckPaste(column, k, s.clip.data(), s.buffer, con)) return Outcome::kDone;
  ReserveForEdit(s);
  s.undo.RecordLine(UndoKind::kLineText, s.cursor_line, s.buffer);
  Paste(s.cursor_line, column, k, s.clip.data(), s.buffer);
  s.cursor_pos = column;
  SayDropped(CharsAfter(s.clip.data(), k), con);
  return Outcome::kDone;
}

namespace {

// The insert of `i` and `V`: the text at the cursor, as much of it as fits in whole characters.
void InsertAtCursor(EditorState& s, const char* text, Console& con) {
  const int32_t column = CursorColumn(s);
  int32_t k = 0;
  if (CheckInsert(s.cursor_line, column, k, text, s.buffer, con)) {
    ReserveForEdit(s);
    s.undo.RecordLine(UndoKind::kLineText, s.cursor_line, s.buffer);
    Insert(s.cursor_line, column, k, text, s.buffer);
    s.cursor_pos = column;
  }
  SayDropped(CharsAfter(text, k), con);
}

}  // namespace

Outcome ClipInsert(EditorState& s, Console& con) {
  if (s.clip[0] == '\0') {
    con.Line("There is nothing to paste");
    return Outcome::kDone;
  }
  InsertAtCursor(s, s.clip.data(), con);
  return Outcome::kDone;
}

Outcome NewInsert(EditorState& s, Console& con) {
  con.Line("Enter string to insert");
  // End of input leaves the answer empty, which inserts nothing.
  if (Ask(con, s.insert_text.data(), s.buffer.lsize()) == Outcome::kCancelled) {
    return Outcome::kCancelled;
  }
  InsertAtCursor(s, s.insert_text.data(), con);
  return Outcome::kDone;
}

Outcome TrimWrap(EditorState& s, Console& con) {
  const int32_t line = s.cursor_line;
  if (line >= s.buffer.lines() - 1) return Outcome::kDone;
  const int32_t next = line + 1;
  const int32_t column = CursorColumn(s);
  const int32_t length = s.buffer.Length(line);
  const int32_t rest = column < length ? length - column : 0;
  // The rest moves whole or not at all: nothing is trimmed that the next line cannot take.
  if (int64_t{s.buffer.Length(next)} + rest > s.buffer.lsize() - 1) {
    con.Line("Cannot split: the next line has no room for the rest");
    return Outcome::kDone;
  }
  ReserveForEdit(s);
  s.undo.RecordLines(UndoKind::kWrap, line, next, s.buffer);
  // The tail stays in its own slot while it is inserted into the next one.
  const char* tail = rest > 0 ? std::as_const(s.buffer).Slot(line) + column : "";
  int32_t k = 0;
  if (CheckInsert(next, 0, k, tail, s.buffer, con)) Insert(next, 0, k, tail, s.buffer);
  Trim(line, column, s.buffer);
  s.cursor_line = next;
  s.cursor_pos = 0;
  return Outcome::kDone;
}

}  // namespace ostrel
