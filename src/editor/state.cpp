#include "editor/state.h"

namespace ostrel {

bool EditorState::AllocateBuffers() {
  if (!buffer.Allocate(settings.limits)) return false;
  const auto lsize = static_cast<std::size_t>(settings.limits.lsize);
  for (LineBuffer* work :
       {&command_input, &insert_text, &jump_string, &clip, &undo_copy1, &undo_copy2}) {
    if (!work->Allocate(lsize)) return false;
  }
  return true;
}

}  // namespace ostrel
