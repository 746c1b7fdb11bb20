#include "editor/commands.h"

#include <cstring>

namespace ostrel {

void SavePrompt(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void SaveOverwrite(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void OpenCommand(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void CommandExec(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

void CommandEdit(EditorState& s, Console& con) {
  (void)s;
  (void)con;
}

bool StartUpOpen(EditorState& s, const char* name, Console& con, int& exit_status) {
  (void)con;
  (void)exit_status;
  std::strncpy(s.open_name.data(), name, kNameSize - 1);
  std::strncpy(s.file_name.data(), name, kNameSize - 1);
  return true;
}

}  // namespace ostrel
