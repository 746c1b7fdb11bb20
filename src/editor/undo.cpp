#include "editor/undo.h"

#include <cstring>

#include "buffer/lines.h"
#include "editor/commands.h"

namespace ostrel {

void StoreUndo(int32_t line, int32_t& undo_line, LineBuffer& copy, const TextBuffer& buffer) {
  undo_line = line;
  CopySlot(copy.data(), buffer.Slot(line), buffer.lsize());
}

void RecallUndo(int32_t line, const LineBuffer& copy, TextBuffer& buffer) {
  CopySlot(buffer.Slot(line), copy.data(), buffer.lsize());
}

void StoreDoubleUndo(int32_t first, int32_t second, LineBuffer& copy1, LineBuffer& copy2,
                     const TextBuffer& buffer) {
  if (second < 0 || second >= buffer.lines()) return;
  CopySlot(copy1.data(), buffer.Slot(first), buffer.lsize());
  CopySlot(copy2.data(), buffer.Slot(second), buffer.lsize());
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
