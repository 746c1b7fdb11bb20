#include "editor/undo.h"

#include <cstring>

#include "buffer/lines.h"
#include "editor/commands.h"

namespace ostrel {

void StoreUndo(int32_t line, int32_t& undo_line, std::vector<char>& copy,
               const TextBuffer& buffer) {
  undo_line = line;
  std::memcpy(copy.data(), buffer.Slot(line), static_cast<std::size_t>(buffer.lsize()));
}

void RecallUndo(int32_t line, const std::vector<char>& copy, TextBuffer& buffer) {
  std::memcpy(buffer.Slot(line), copy.data(), static_cast<std::size_t>(buffer.lsize()));
}

void StoreDoubleUndo(int32_t first, int32_t second, std::vector<char>& copy1,
                     std::vector<char>& copy2, const TextBuffer& buffer) {
  if (second < 0 || second >= buffer.lines()) return;
  std::memcpy(copy1.data(), buffer.Slot(first), static_cast<std::size_t>(buffer.lsize()));
  std::memcpy(copy2.data(), buffer.Slot(second), static_cast<std::size_t>(buffer.lsize()));
}

void UndoCommand(EditorState& s, Console& con) {
  (void)con;
  UndoRecord& u = s.undo;
  switch (u.kind) {
    case 1:  // one line's text
      RecallUndo(u.line, s.undo_copy1, s.buffer);
      s.cursor_line = u.line;
      break;
    case 2:  // an opened line
      Delete(u.line, s.buffer);
      s.cursor_line = u.line;
      break;
    case 3:  // a deleted line
      Wedge(u.line, s.buffer);
      RecallUndo(u.line, s.undo_copy1, s.buffer);
      s.cursor_line = u.line;
      break;
    case 4:  // a move, or a wrap into the next line: both lines come back
    case 6:
      RecallUndo(u.first, s.undo_copy1, s.buffer);
      RecallUndo(u.second, s.undo_copy2, s.buffer);
      s.cursor_line = u.first;
      break;
    case 5:  // a copy: only the destination changed
      RecallUndo(u.second, s.undo_copy2, s.buffer);
      s.cursor_line = u.first;
      break;
    default:  // nothing to undo
      return;
  }
  u.kind = 0;
}

}  // namespace ostrel
