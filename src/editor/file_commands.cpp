#include <cstring>

#include "editor/commands.h"
#include "files/load.h"
#include "files/save.h"
#include "settings/launch.h"

namespace ostrel {

namespace {

void TakeOpenName(EditorState& s) {
  s.file_name = s.open_name;
}

// The pending undo refers to lines of the document it was recorded in: a newly loaded document
// starts with nothing to undo.
void ForgetUndo(EditorState& s) {
  s.undo.kind = UndoKind::kNothing;
}

}  // namespace

void SavePrompt(EditorState& s, Console& con) {
  if (DefineSaveName(s.file_name.data(), con)) Save(s.file_name.data(), s.buffer, con);
}

void SaveOverwrite(EditorState& s, Console& con) {
  Save(s.file_name.data(), s.buffer, con);
}

void OpenCommand(EditorState& s, Console& con) {
  switch (Open(false, s.open_name.data(), s.buffer, s.file_name.data(), con)) {
    case OpenResult::kLoaded:
      ForgetUndo(s);
      TakeOpenName(s);
      break;
    case OpenResult::kNotFound:
      TakeOpenName(s);
      break;
    case OpenResult::kLeftAlone:
      break;
    case OpenResult::kAbandon:
      s.quit = true;
      s.exit_status = 1;
      break;
  }
}

void CommandExec(EditorState& s, Console& con) {
  if (s.settings.launch_command[0] == '\0') {
    SetCommand(s.settings.launch_command.data(), kNameSize, con);
    if (s.settings.launch_command[0] == '\0') return;
  }
  // The command runs whether or not the save worked; a failed save has said so.
  Save(s.file_name.data(), s.buffer, con);
  if (s.run_launch_command) Launch(s.settings.launch_command.data(), con);
}

void CommandEdit(EditorState& s, Console& con) {
  SetCommand(s.settings.launch_command.data(), kNameSize, con);
}

bool StartUpOpen(EditorState& s, const char* name, Console& con) {
  // A longer name would be cut, and the document later saved under a different name.
  const std::size_t length = std::strlen(name);
  if (length > kNameSize - 1) {
    con.Print("File name is longer than %d characters\n", kNameSize - 1);
    s.exit_status = 1;
    return false;
  }
  std::memcpy(s.open_name.data(), name, length + 1);
  std::memcpy(s.file_name.data(), name, length + 1);
  const OpenResult result = Open(true, s.open_name.data(), s.buffer, s.file_name.data(), con);
  if (result == OpenResult::kAbandon) {
    s.exit_status = 1;
    return false;
  }
  if (result == OpenResult::kLoaded) ForgetUndo(s);
  return true;
}

}  // namespace ostrel
