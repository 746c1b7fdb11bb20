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
  char* slot = buffer.WritableSlot(line);
  if (slot != nullptr) CopySlot(slot, copy.data(), buffer.lsize());
}

void StoreDoubleUndo(int32_t first, int32_t second, LineBuffer& copy1, LineBuffer& copy2,
                     const TextBuffer& buffer) {
  if (second < 0 || second >= buffer.lines()) return;
  CopySlot(copy1.data(), buffer.Slot(first), buffer.lsize());
  CopySlot(copy2.data(), buffer.Slot(second), buffer.lsize());
}

void UndoCommand(EditorState& s, Console& con) {
  UndoRecord& u = s.undo;
  // Every kind but an opened line writes one or two lines back.
  const bool writes = u.kind != UndoKind::kNothing && u.kind != UndoKind::kOpenedLine;
  if (writes && !ReserveForEdit(s, con, 2)) return;
  switch (u.kind) {
    case UndoKind::kLineText:
      RecallUndo(u.line, s.undo_copy1, s.buffer);
      s.cursor_line = u.line;
      break;
    case UndoKind::kOpenedLine:
      Delete(u.line, s.buffer);
      s.cursor_line = u.line;
      break;
    case UndoKind::kDeletedLine:
      Wedge(u.line, s.buffer);
      RecallUndo(u.line, s.undo_copy1, s.buffer);
      s.cursor_line = u.line;
      break;
    case UndoKind::kMove:  // a move, or a wrap into the next line: both lines come back
    case UndoKind::kWrap:
      RecallUndo(u.first, s.undo_copy1, s.buffer);
      RecallUndo(u.second, s.undo_copy2, s.buffer);
      s.cursor_line = u.first;
      break;
    case UndoKind::kCopy:  // only the destination changed
      RecallUndo(u.second, s.undo_copy2, s.buffer);
      s.cursor_line = u.first;
      break;
    case UndoKind::kNothing:
      return;
  }
  u.kind = UndoKind::kNothing;
}

}  // namespace ostrel
