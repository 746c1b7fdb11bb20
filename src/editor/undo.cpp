#include "editor/undo.h"

#include <cstring>

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
  (void)s;
  (void)con;
}

}  // namespace ostrel
