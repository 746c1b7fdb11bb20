// Cursor movement, search and the view settings. None of these touches the text, the clip
// buffer or the undo record; every move keeps the cursor inside the grid.
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
Outcome PositionBack(EditorState& s, Console&) {
  const int32_t column = CursorColumn(s);
  if (column > 0) s.cursor_pos = CharStartInLine(s.buffer, s.cursor_line, column - 1);
  return Outcome::kDone;
}

Outcome PositionForw(EditorState& s, Console&) {
  const int32_t column = CursorColumn(s);
  const std::string_view text = LineText(s.buffer, s.cursor_line);
  const auto at = static_cast<std::size_t>(column);
  const int32_t step = at < text.size() ? static_cast<int32_t>(CharLength(text.substr(at))) : 1;
  s.cursor_pos = std::min(column + step, s.buffer.lsize() - 1);
  return Outcome::kDone;
}

// Up a line; the name pairs with the key the settings file stores it under.
Outcome PositionDown(EditorState& s, Console&) {
  if (s.cursor_line > 0) --s.cursor_line;
  s.cursor_pos = 0;
  return Outcome::kDone;
}

// Down a line.
Outcome PositionUp(EditorState& s, Console&) {
  if (s.cursor_line < s.buffer.lines() - 1) ++s.cursor_line;
  s.cursor_pos = 0;
  return Outcome::kDone;
}

Outcome PositionBeg(EditorState& s, Console&) {
  s.cursor_pos = 0;
  return Outcome::kDone;
}

// To the line's terminator when the cursor is inside the text; beyond the text it stays.
Outcome PositionEnd(EditorState& s, Console&) {
  const int32_t column = CursorColumn(s);
  const int32_t end = std::max(column, s.buffer.Length(s.cursor_line));
  s.cursor_pos = std::min(end, s.buffer.lsize() - 1);
  return Outcome::kDone;
}

// A negative page length turns the page moves around; both clamp into the grid either way.
Outcome PageBack(EditorState& s, Console&) {
  s.cursor_line = ClampLine(int64_t{s.cursor_line} - s.settings.page_length, s.buffer.lines());
  return Outcome::kDone;
}

Outcome PageForw(EditorState& s, Console&) {
  s.cursor_line = ClampLine(int64_t{s.cursor_line} + s.settings.page_length, s.buffer.lines());
  return Outcome::kDone;
}

// Any number is stored; the view shows no lines for a length below 1. Every question here
// that Ctrl-C cancels changes nothing.
Outcome PageLength(EditorState& s, Console& con) {
  con.Line("Enter number of lines to display");
  int32_t n = 0;
  if (AskNumber(con, n) == Outcome::kCancelled) return Outcome::kCancelled;
  s.settings.page_length = n;
  return Outcome::kDone;
}

Outcome JumpLine(EditorState& s, Console& con) {
  con.Line("Enter jump string");
  // The end of input leaves the answer empty.
  if (Ask(con, s.jump_string.data(), s.buffer.lsize()) == Outcome::kCancelled) {
    return Outcome::kCancelled;
  }
  const int32_t column = CursorColumn(s);
  const int32_t k = FindInLine(s.buffer, s.cursor_line, column, s.jump_string.data());
  if (k < 0) {
    con.Print("String not found in line %i\n", s.cursor_line + 1);
    return Outcome::kDone;
  }
  // An occurrence lies inside the line's text, so the new position is always below lsize.
  s.cursor_pos = column + k;
  return Outcome::kDone;
}

// Searches whole lines, the cursor line from its first character, down to the last line.
Outcome JumpDoc(EditorState& s, Console& con) {
  con.Line("Enter jump string");
  // The end of input leaves the answer empty.
  if (Ask(con, s.jump_string.data(), s.buffer.lsize()) == Outcome::kCancelled) {
    return Outcome::kCancelled;
  }
  // The empty string occurs at the start of the first line searched. Any other string occurs
  // only in lines that may hold text, all of them above the buffer's text end.
  if (s.jump_string[0] == '\0') {
    s.cursor_pos = 0;
    return Outcome::kDone;
  }
  for (int32_t i = s.cursor_line; i < s.buffer.TextEnd(); ++i) {
    if (!s.buffer.MayHoldText(i)) continue;
    const int32_t at = FindInLine(s.buffer, i, 0, s.jump_string.data());
    if (at >= 0) {
      s.cursor_line = i;
      s.cursor_pos = at;
      return Outcome::kDone;
    }
  }
  con.Line("String not found");
  return Outcome::kDone;
}

Outcome LockTog(EditorState& s, Console& con) {
  s.line_lock = !s.line_lock;
  con.Line(s.line_lock ? "Line Lock On" : "Line Lock Off");
  return Outcome::kDone;
}

// Out-of-range answers are ignored without a message.
Outcome GoToLine(EditorState& s, Console& con) {
  con.Line("Go to which line?");
  int32_t n = 0;
  if (AskNumber(con, n) == Outcome::kCancelled) return Outcome::kCancelled;
  if (n >= 1 && n <= s.buffer.lines()) s.cursor_line = n - 1;
  return Outcome::kDone;
}

Outcome GoToPos(EditorState& s, Console& con) {
  con.Line("Go to which position?");
  int32_t n = 0;
  if (AskNumber(con, n) == Outcome::kCancelled) return Outcome::kCancelled;
  if (n < 1 || n > s.buffer.lsize()) return Outcome::kDone;
  s.cursor_pos = CharStartInLine(s.buffer, s.cursor_line, n - 1);
  return Outcome::kDone;
}

Outcome AnchorGo(EditorState& s, Console&) {
  s.cursor_pos = CharStartInLine(s.buffer, s.cursor_line, s.settings.anchor_pos);
  return Outcome::kDone;
}

Outcome AnchorSet(EditorState& s, Console&) {
  s.settings.anchor_pos = CursorColumn(s);
  return Outcome::kDone;
}

Outcome NumTog(EditorState& s, Console&) {
  s.settings.show_numbers = !s.settings.show_numbers;
  return Outcome::kDone;
}

void GoToStartPosition(EditorState& s, const StartPosition& start) {
  const int32_t line = start.last_text_line ? DocLength(s.buffer) : start.line - 1;
  s.cursor_line = std::clamp(line, 0, s.buffer.lines() - 1);
  s.cursor_pos = CharStartInLine(s.buffer, s.cursor_line,
                                 std::clamp(start.column - 1, 0, s.buffer.lsize() - 1));
}

}  // namespace ostrel
