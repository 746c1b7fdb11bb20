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

void ReserveForEdit(Document& doc, int count) {
  if (!doc.buffer.ReserveWritable(count)) throw std::bad_alloc();
}

Outcome LineClear(Document& doc, Session&, View& view, Console&) {
  doc.undo.RecordLine(UndoKind::kLineText, view.cursor_line, doc.buffer);
  Clear(view.cursor_line, doc.buffer);
  return Outcome::kDone;
}

Outcome TrimEnd(Document& doc, Session&, View& view, Console&) {
  doc.undo.RecordLine(UndoKind::kLineText, view.cursor_line, doc.buffer);
  // The cursor stays where the line now ends: on the first byte of the character it was in.
  view.cursor_pos = CursorColumn(doc, view);
  Trim(view.cursor_line, view.cursor_pos, doc.buffer);
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
Outcome ReadDestination(const Document& doc, Console& con, const char* refusal, int32_t& d) {
  int32_t answer = 0;
  if (AskNumber(con, answer) == Outcome::kCancelled) return Outcome::kCancelled;
  d = answer - 1;
  if (d < 0 || d >= doc.buffer.lines()) {
    con.Line(refusal);
    return Outcome::kRefused;
  }
  return Outcome::kDone;
}

// Replaces the clip with `bytes` bytes of the cursor line from `column`.
void TakeIntoClip(const Document& doc, Session& session, const View& view, int32_t column,
                  int32_t bytes) {
  ZeroSlotFrom(session.clip.data(), 0, doc.buffer.lsize());
  // Only the line's own characters may be read: none lie past its end.
  if (bytes <= 0) return;
  std::memcpy(session.clip.data(), doc.buffer.Slot(view.cursor_line) + column,
              static_cast<std::size_t>(bytes));
}

// The shape line_move and line_copy share: the destination prompt, both lines saved, the
// operation, recorded for undo as `kind`.
Outcome ToDestination(Document& doc, const View& view, Console& con, Format<int32_t> prompt,
                      const char* refusal, void (*operation)(int32_t, int32_t, TextBuffer&),
                      UndoKind kind) {
  con.Print(prompt, view.cursor_line + 1);
  int32_t d = 0;
  const Outcome answered = ReadDestination(doc, con, refusal, d);
  if (answered != Outcome::kDone)
    return answered == Outcome::kCancelled ? answered : Outcome::kDone;
  ReserveForEdit(doc);
  doc.undo.RecordLines(kind, view.cursor_line, d, doc.buffer);
  operation(view.cursor_line, d, doc.buffer);
  return Outcome::kDone;
}

}  // namespace

Outcome LineMove(Document& doc, Session&, View& view, Console& con) {
  return ToDestination(doc, view, con, "Move line %i to where?\n", "Destination line is not valid",
                       Move, UndoKind::kMove);
}

Outcome LineInsert(Document& doc, Session&, View& view, Console& con) {
  // Opening a line pushes the last line off the grid, so it is refused while that line holds
  // text: no line is ever lost, and nothing is recorded for undo.
  if (doc.buffer.HoldsText(doc.buffer.lines() - 1)) {
    con.Line("Cannot open a line: the last line holds text");
    return Outcome::kDone;
  }
  Wedge(view.cursor_line, doc.buffer);
  doc.undo.RecordLine(UndoKind::kOpenedLine, view.cursor_line, doc.buffer);
  return Outcome::kDone;
}

Outcome LineDelete(Document& doc, Session&, View& view, Console&) {
  doc.undo.RecordLine(UndoKind::kDeletedLine, view.cursor_line, doc.buffer);
  Delete(view.cursor_line, doc.buffer);
  return Outcome::kDone;
}

Outcome LineCopy(Document& doc, Session&, View& view, Console& con) {
  // The refusal keeps its established spelling: scripts may match it.
  return ToDestination(doc, view, con, "Copy line %i to where?\n", "Desination line is not valid",
                       Copy, UndoKind::kCopy);
}

// Both count characters; Ctrl-C at their question leaves the clip as it was.
Outcome ClipCopy(Document& doc, Session& session, View& view, Console& con) {
  con.Line("Copy how many characters?");
  int32_t k = 0;
  if (AskNumber(con, k) == Outcome::kCancelled) return Outcome::kCancelled;
  const int32_t column = CursorColumn(doc, view);
  if (!CheckCopy(view.cursor_line, column, k, doc.buffer, con)) return Outcome::kDone;
  TakeIntoClip(doc, session, view, column, CharBytesAt(view.cursor_line, column, k, doc.buffer));
  return Outcome::kDone;
}

Outcome ClipCut(Document& doc, Session& session, View& view, Console& con) {
  con.Line("Enter cut size");
  int32_t k = 0;
  if (AskNumber(con, k) == Outcome::kCancelled) return Outcome::kCancelled;
  const int32_t column = CursorColumn(doc, view);
  if (!CheckCut(view.cursor_line, column, k, doc.buffer, con)) return Outcome::kDone;
  const int32_t bytes = CharBytesAt(view.cursor_line, column, k, doc.buffer);
  doc.undo.RecordLine(UndoKind::kLineText, view.cursor_line, doc.buffer);
  TakeIntoClip(doc, session, view, column, bytes);
  Cut(view.cursor_line, column, bytes, doc.buffer);
  view.cursor_pos = column;  // where the change was made, as the view showed it
  return Outcome::kDone;
}

Outcome ClipPaste(Document& doc, Session& session, View& view, Console& con) {
  const int32_t column = CursorColumn(doc, view);
  int32_t k = 0;
  if (!CheckPaste(column, k, session.clip.data(), doc.buffer, con)) return Outcome::kDone;
  ReserveForEdit(doc);
  doc.undo.RecordLine(UndoKind::kLineText, view.cursor_line, doc.buffer);
  Paste(view.cursor_line, column, k, session.clip.data(), doc.buffer);
  view.cursor_pos = column;
  SayDropped(CharsAfter(session.clip.data(), k), con);
  return Outcome::kDone;
}

namespace {

// The insert of `i` and `V`: the text at the cursor, as much of it as fits in whole characters.
void InsertAtCursor(Document& doc, View& view, const char* text, Console& con) {
  const int32_t column = CursorColumn(doc, view);
  int32_t k = 0;
  if (CheckInsert(view.cursor_line, column, k, text, doc.buffer, con)) {
    ReserveForEdit(doc);
    doc.undo.RecordLine(UndoKind::kLineText, view.cursor_line, doc.buffer);
    Insert(view.cursor_line, column, k, text, doc.buffer);
    view.cursor_pos = column;
  }
  SayDropped(CharsAfter(text, k), con);
}

}  // namespace

Outcome ClipInsert(Document& doc, Session& session, View& view, Console& con) {
  if (session.clip[0] == '\0') {
    con.Line("There is nothing to paste");
    return Outcome::kDone;
  }
  InsertAtCursor(doc, view, session.clip.data(), con);
  return Outcome::kDone;
}

Outcome NewInsert(Document& doc, Session& session, View& view, Console& con) {
  con.Line("Enter string to insert");
  // End of input leaves the answer empty, which inserts nothing.
  if (Ask(con, session.insert_text.data(), doc.buffer.lsize()) == Outcome::kCancelled) {
    return Outcome::kCancelled;
  }
  InsertAtCursor(doc, view, session.insert_text.data(), con);
  return Outcome::kDone;
}

Outcome TrimWrap(Document& doc, Session&, View& view, Console& con) {
  const int32_t line = view.cursor_line;
  if (line >= doc.buffer.lines() - 1) return Outcome::kDone;
  const int32_t next = line + 1;
  const int32_t column = CursorColumn(doc, view);
  const int32_t length = doc.buffer.Length(line);
  const int32_t rest = column < length ? length - column : 0;
  // The rest moves whole or not at all: nothing is trimmed that the next line cannot take.
  if (int64_t{doc.buffer.Length(next)} + rest > doc.buffer.lsize() - 1) {
    con.Line("Cannot split: the next line has no room for the rest");
    return Outcome::kDone;
  }
  ReserveForEdit(doc);
  doc.undo.RecordLines(UndoKind::kWrap, line, next, doc.buffer);
  // The tail stays in its own slot while it is inserted into the next one.
  const char* tail = rest > 0 ? std::as_const(doc.buffer).Slot(line) + column : "";
  int32_t k = 0;
  if (CheckInsert(next, 0, k, tail, doc.buffer, con)) Insert(next, 0, k, tail, doc.buffer);
  Trim(line, column, doc.buffer);
  view.cursor_line = next;
  view.cursor_pos = 0;
  return Outcome::kDone;
}

}  // namespace ostrel
