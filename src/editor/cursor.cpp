// Cursor movement, search and the view settings. None of these touches the text, the clip
// buffer or the undo record; every move keeps the cursor inside the grid.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

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

// Offset, counted from `from`, of the first occurrence of `needle` in the line's text from
// position `from` on (byte-exact, as strstr finds it), or -1.
int32_t FindInLine(const TextBuffer& buffer, int32_t line, int32_t from, const char* needle) {
  const char* slot = buffer.Slot(line);
  const auto length = static_cast<int32_t>(strnlen(slot, static_cast<std::size_t>(buffer.lsize())));
  // A start at or beyond the end of the text searches the empty text: only "" occurs there.
  const std::string_view text =
      from < length ? std::string_view(slot + from, static_cast<std::size_t>(length - from))
                    : std::string_view();
  const std::size_t at = text.find(needle);
  return at == std::string_view::npos ? -1 : static_cast<int32_t>(at);
}

}  // namespace

void PositionBack(EditorState& s, Console&) {
  if (s.cursor_pos > 0) --s.cursor_pos;
}

void PositionForw(EditorState& s, Console&) {
  if (s.cursor_pos < s.buffer.lsize() - 1) ++s.cursor_pos;
}

// Up a line; the name pairs with the key the settings file stores it under.
void PositionDown(EditorState& s, Console&) {
  if (s.cursor_line > 0) --s.cursor_line;
  s.cursor_pos = 0;
}

// Down a line.
void PositionUp(EditorState& s, Console&) {
  if (s.cursor_line < s.buffer.lines() - 1) ++s.cursor_line;
  s.cursor_pos = 0;
}

void PositionBeg(EditorState& s, Console&) {
  s.cursor_pos = 0;
}

// To the line's terminator when the cursor is inside the text; beyond the text it stays.
void PositionEnd(EditorState& s, Console&) {
  const int32_t lsize = s.buffer.lsize();
  int32_t end = std::max(s.cursor_pos, s.buffer.Length(s.cursor_line));
  if (end >= lsize) end = lsize - 1;
  s.cursor_pos = end;
}

// A negative page length turns the page moves around; both clamp into the grid either way.
void PageBack(EditorState& s, Console&) {
  s.cursor_line = ClampLine(int64_t{s.cursor_line} - s.settings.page_length, s.buffer.lines());
}

void PageForw(EditorState& s, Console&) {
  s.cursor_line = ClampLine(int64_t{s.cursor_line} + s.settings.page_length, s.buffer.lines());
}

// Any number is stored; the view shows no lines for a length below 1.
void PageLength(EditorState& s, Console& con) {
  con.Line("Enter number of lines to display");
  s.settings.page_length = con.ReadNumber();
}

void JumpLine(EditorState& s, Console& con) {
  con.Line("Enter jump string");
  con.ReadAnswer(s.jump_string.data(), s.buffer.lsize());
  const int32_t k = FindInLine(s.buffer, s.cursor_line, s.cursor_pos, s.jump_string.data());
  if (k < 0) {
    con.Print("String not found in line %i\n", s.cursor_line + 1);
    return;
  }
  // An occurrence lies inside the line's text, so the new position is always below lsize.
  if (k > 0 && s.cursor_pos + k < s.buffer.lsize()) s.cursor_pos += k;
}

// Searches whole lines, the cursor line from its first character, down to the last line.
void JumpDoc(EditorState& s, Console& con) {
  con.Line("Enter jump string");
  con.ReadAnswer(s.jump_string.data(), s.buffer.lsize());
  // The empty string occurs at the start of the first line searched. Any other string occurs
  // only in lines that may hold text, all of them above the buffer's text end.
  if (s.jump_string[0] == '\0') {
    s.cursor_pos = 0;
    return;
  }
  for (int32_t i = s.cursor_line; i < s.buffer.TextEnd(); ++i) {
    if (!s.buffer.MayHoldText(i)) continue;
    const int32_t at = FindInLine(s.buffer, i, 0, s.jump_string.data());
    if (at >= 0) {
      s.cursor_line = i;
      s.cursor_pos = at;
      return;
    }
  }
  con.Line("String not found");
}

void LockTog(EditorState& s, Console& con) {
  s.line_lock = !s.line_lock;
  con.Line(s.line_lock ? "Line Lock On" : "Line Lock Off");
}

// Out-of-range answers are ignored without a message.
void GoToLine(EditorState& s, Console& con) {
  con.Line("Go to which line?");
  const int32_t n = con.ReadNumber();
  if (n >= 1 && n <= s.buffer.lines()) s.cursor_line = n - 1;
}

void GoToPos(EditorState& s, Console& con) {
  con.Line("Go to which position?");
  const int32_t n = con.ReadNumber();
  if (n >= 1 && n <= s.buffer.lsize()) s.cursor_pos = n - 1;
}

void AnchorGo(EditorState& s, Console&) {
  s.cursor_pos = s.settings.anchor_pos;
}

void AnchorSet(EditorState& s, Console&) {
  s.settings.anchor_pos = s.cursor_pos;
}

void NumTog(EditorState& s, Console&) {
  s.settings.show_numbers = !s.settings.show_numbers;
}

void GoToStartPosition(EditorState& s, const StartPosition& start) {
  const int32_t line = start.last_text_line ? DocLength(s.buffer) : start.line - 1;
  s.cursor_line = std::clamp(line, 0, s.buffer.lines() - 1);
  s.cursor_pos = std::clamp(start.column - 1, 0, s.buffer.lsize() - 1);
}

}  // namespace ostrel
