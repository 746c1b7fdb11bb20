// Cursor movement, search and the view settings. None of these touches the document (its text
// or undo record) or the clip buffer; every move keeps the cursor inside the grid.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "buffer/line_text.h"
#include "console/question.h"
#include "editor/commands.h"
#include "files/save.h"

namespace ostrel {
namespace {

// The line number clamped into 0 … lines-1.
int32_t ClampLine(int64_t line, int32_t lines) {
  if (line < 0) return 0;
  if (line > int64_t{lines} - 1) return lines - 1;
  return static_cast<int32_t>(line);
}

// Offset, counted from `from` (a character's first byte), of the first occurrence of `needle`
// in the line's text from position `from` on (byte-exact, as strstr finds it) that begins on a
// character's first byte, or -1.
int32_t FindInLine(const TextBuffer& buffer, int32_t line, int32_t from, const char* needle) {
  const std::string_view whole = LineText(buffer, line);
  const auto start = static_cast<std::size_t>(from);
  // A start at or beyond the end of the text searches the empty text: only "" occurs there.
  const std::string_view text = start < whole.size() ? whole.substr(start) : std::string_view();
  for (std::size_t at = text.find(needle); at != std::string_view::npos;
       at = text.find(needle, at + 1)) {
    if (CharStart(whole, start + at) == start + at) return static_cast<int32_t>(at);
  }
  return -1;
}

}  // namespace

// Both step over one whole character; past the end of the text a character is one byte.
Outcome PositionBack(Document& doc, Session&, View& view, Console&) {
  const int32_t column = CursorColumn(doc, view);
  if (column > 0) view.cursor_pos = CharStartInLine(doc.buffer, view.cursor_line, column - 1);
  return Outcome::kDone;
}

Outcome PositionForw(Document& doc, Session&, View& view, Console&) {
  const int32_t column = CursorColumn(doc, view);
  const std::string_view text = LineText(doc.buffer, view.cursor_line);
  const auto at = static_cast<std::size_t>(column);
  const int32_t step = at < text.size() ? static_cast<int32_t>(CharLength(text.substr(at))) : 1;
  view.cursor_pos = std::min(column + step, doc.buffer.lsize() - 1);
  return Outcome::kDone;
}

// Up a line; the name pairs with the key the settings file stores it under.
Outcome PositionDown(Document&, Session&, View& view, Console&) {
  if (view.cursor_line > 0) --view.cursor_line;
  view.cursor_pos = 0;
  return Outcome::kDone;
}

// Down a line.
Outcome PositionUp(Document& doc, Session&, View& view, Console&) {
  if (view.cursor_line < doc.buffer.lines() - 1) ++view.cursor_line;
  view.cursor_pos = 0;
  return Outcome::kDone;
}

Outcome PositionBeg(Document&, Session&, View& view, Console&) {
  view.cursor_pos = 0;
  return Outcome::kDone;
}

// To the line's terminator when the cursor is inside the text; beyond the text it stays.
Outcome PositionEnd(Document& doc, Session&, View& view, Console&) {
  const int32_t column = CursorColumn(doc, view);
  const int32_t end = std::max(column, doc.buffer.Length(view.cursor_line));
  view.cursor_pos = std::min(end, doc.buffer.lsize() - 1);
  return Outcome::kDone;
}

// A negative page length turns the page moves around; both clamp into the grid either way.
Outcome PageBack(Document& doc, Session& session, View& view, Console&) {
  view.cursor_line =
      ClampLine(int64_t{view.cursor_line} - session.settings.page_length, doc.buffer.lines());
  return Outcome::kDone;
}

Outcome PageForw(Document& doc, Session& session, View& view, Console&) {
  view.cursor_line =
      ClampLine(int64_t{view.cursor_line} + session.settings.page_length, doc.buffer.lines());
  return Outcome::kDone;
}

// Any number is stored; the view shows no lines for a length below 1. Every question here
// that Ctrl-C cancels changes nothing.
Outcome PageLength(Document&, Session& session, View&, Console& con) {
  con.Line("Enter number of lines to display");
  int32_t n = 0;
  if (AskNumber(con, n) == Outcome::kCancelled) return Outcome::kCancelled;
  session.settings.page_length = n;
  return Outcome::kDone;
}

Outcome JumpLine(Document& doc, Session& session, View& view, Console& con) {
  con.Line("Enter jump string");
  // The end of input leaves the answer empty.
  if (Ask(con, session.jump_string.data(), doc.buffer.lsize()) == Outcome::kCancelled) {
    return Outcome::kCancelled;
  }
  const int32_t column = CursorColumn(doc, view);
  const int32_t k = FindInLine(doc.buffer, view.cursor_line, column, session.jump_string.data());
  if (k < 0) {
    con.Print("String not found in line %i\n", view.cursor_line + 1);
    return Outcome::kDone;
  }
  // An occurrence lies inside the line's text, so the new position is always below lsize.
  view.cursor_pos = column + k;
  return Outcome::kDone;
}

// Searches whole lines, the cursor line from its first character, down to the last line.
Outcome JumpDoc(Document& doc, Session& session, View& view, Console& con) {
  con.Line("Enter jump string");
  // The end of input leaves the answer empty.
  if (Ask(con, session.jump_string.data(), doc.buffer.lsize()) == Outcome::kCancelled) {
    return Outcome::kCancelled;
  }
  // The empty string occurs at the start of the first line searched. Any other string occurs
  // only in lines that may hold text, all of them above the buffer's text end.
  if (session.jump_string[0] == '\0') {
    view.cursor_pos = 0;
    return Outcome::kDone;
  }
  for (int32_t i = view.cursor_line; i < doc.buffer.TextEnd(); ++i) {
    if (!doc.buffer.MayHoldText(i)) continue;
    const int32_t at = FindInLine(doc.buffer, i, 0, session.jump_string.data());
    if (at >= 0) {
      view.cursor_line = i;
      view.cursor_pos = at;
      return Outcome::kDone;
    }
  }
  con.Line("String not found");
  return Outcome::kDone;
}

Outcome LockTog(Document&, Session&, View& view, Console& con) {
  view.line_lock = !view.line_lock;
  con.Line(view.line_lock ? "Line Lock On" : "Line Lock Off");
  return Outcome::kDone;
}

// Out-of-range answers are ignored without a message.
Outcome GoToLine(Document& doc, Session&, View& view, Console& con) {
  con.Line("Go to which line?");
  int32_t n = 0;
  if (AskNumber(con, n) == Outcome::kCancelled) return Outcome::kCancelled;
  if (n >= 1 && n <= doc.buffer.lines()) view.cursor_line = n - 1;
  return Outcome::kDone;
}

Outcome GoToPos(Document& doc, Session&, View& view, Console& con) {
  con.Line("Go to which position?");
  int32_t n = 0;
  if (AskNumber(con, n) == Outcome::kCancelled) return Outcome::kCancelled;
  if (n < 1 || n > doc.buffer.lsize()) return Outcome::kDone;
  view.cursor_pos = CharStartInLine(doc.buffer, view.cursor_line, n - 1);
  return Outcome::kDone;
}

Outcome AnchorGo(Document& doc, Session& session, View& view, Console&) {
  view.cursor_pos = CharStartInLine(doc.buffer, view.cursor_line, session.settings.anchor_pos);
  return Outcome::kDone;
}

Outcome AnchorSet(Document& doc, Session& session, View& view, Console&) {
  session.settings.anchor_pos = CursorColumn(doc, view);
  return Outcome::kDone;
}

Outcome NumTog(Document&, Session& session, View&, Console&) {
  session.settings.show_numbers = !session.settings.show_numbers;
  return Outcome::kDone;
}

void GoToStartPosition(const Document& doc, View& view, const StartPosition& start) {
  const int32_t line = start.last_text_line ? DocLength(doc.buffer) : start.line - 1;
  view.cursor_line = std::clamp(line, 0, doc.buffer.lines() - 1);
  view.cursor_pos = CharStartInLine(doc.buffer, view.cursor_line,
                                    std::clamp(start.column - 1, 0, doc.buffer.lsize() - 1));
}

}  // namespace ostrel
