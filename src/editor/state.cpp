#include "editor/state.h"

#include "buffer/line_text.h"

namespace ostrel {

bool EditorState::AllocateBuffers() {
  if (!buffer.Allocate(settings.limits)) return false;
  const auto lsize = static_cast<std::size_t>(settings.limits.lsize);
  for (LineBuffer* work : {&command_input, &insert_text, &jump_string, &clip}) {
    if (!work->Allocate(lsize)) return false;
  }
  return undo.Allocate(settings.limits.lsize);
}

int32_t CursorColumn(const EditorState& s) {
  return CharStartInLine(s.buffer, s.cursor_line, s.cursor_pos);
}

}  // namespace ostrel
