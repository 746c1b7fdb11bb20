#include "editor/state.h"

#include "buffer/line_text.h"

namespace ostrel {

bool EditorState::AllocateBuffers() {
  if (!doc.buffer.Allocate(session.settings.limits)) return false;
  const auto lsize = static_cast<std::size_t>(session.settings.limits.lsize);
  for (LineBuffer* work :
       {&session.command_input, &session.insert_text, &session.jump_string, &session.clip}) {
    if (!work->Allocate(lsize)) return false;
  }
  return doc.undo.Allocate(session.settings.limits.lsize);
}

int32_t CursorColumn(const Document& doc, const View& view) {
  return CharStartInLine(doc.buffer, view.cursor_line, view.cursor_pos);
}

}  // namespace ostrel
