#include "editor/commands.h"
#include "editor/undo.h"

namespace ostrel {

void LineClear(EditorState& s, Console& con) {
  (void)con;
  StoreUndo(s.cursor_line, s.undo.line, s.undo_copy1, s.buffer);
  Clear(s.cursor_line, s.buffer);
  s.undo.kind = 1;
}

void TrimEnd(EditorState& s, Console& con) {
  (void)con;
  StoreUndo(s.cursor_line, s.undo.line, s.undo_copy1, s.buffer);
  Trim(s.cursor_line, s.cursor_pos, s.buffer);
  s.undo.kind = 1;
}

void LineMove(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void LineInsert(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void LineDelete(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void LineCopy(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void ClipCopy(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void ClipCut(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void ClipPaste(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void ClipInsert(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void NewInsert(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void TrimWrap(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

}  // namespace ostrel
