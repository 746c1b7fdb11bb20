#include "editor/commands.h"

namespace ostrel {

void PositionBack(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void PositionForw(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void PositionDown(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void PositionUp(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void PositionBeg(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void PositionEnd(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void PageBack(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void PageForw(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void PageLength(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void JumpLine(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void JumpDoc(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void LockTog(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void GoToLine(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void GoToPos(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void AnchorGo(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void AnchorSet(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void NumTog(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

}  // namespace ostrel
