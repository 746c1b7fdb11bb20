#include <cstring>
#include <optional>
#include <string>

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

// A saved document holds no unsaved changes, and its rescue file is of no more use; a failed
// save is remembered for the exit status.
void NoteSave(EditorState& s, bool saved) {
  s.save_failed = !saved;
  if (!saved) return;
  s.buffer.ForgetChanges();
  // Even a file kept from a save that failed part way: the text has reached its file now.
  s.rescue.kept = false;
  DropRescue(s.rescue);
}

// A loaded document is its file's text, with nothing to undo and nothing to rescue.
void NoteLoad(EditorState& s) {
  s.save_failed = false;
  s.buffer.ForgetChanges();
  DropRescue(s.rescue);
  ForgetUndo(s);
}

// A save that Ctrl-C cancelled at its file name question was not tried: it is no failed save.
void NoteSaveUnlessCancelled(EditorState& s, Console& con, bool saved) {
  if (saved || !con.Interrupted()) NoteSave(s, saved);
}

}  // namespace

void WarnOfUnsavedChanges(const EditorState& s, Console& con) {
  if (con.InputIsTerminal() && s.buffer.Changed()) con.Line("The document has unsaved changes.");
}

void SavePrompt(EditorState& s, Console& con) {
  bool given_up = false;
  if (DefineSaveName(s.file_name.data(), con, &given_up)) {
    NoteSave(s, Save(s.file_name.data(), s.buffer, con, s.rescue));
  } else if (given_up) {
    NoteSaveUnlessCancelled(s, con, false);
  }
}

void SaveOverwrite(EditorState& s, Console& con) {
  NoteSaveUnlessCancelled(s, con, Save(s.file_name.data(), s.buffer, con, s.rescue));
}

void OpenCommand(EditorState& s, Console& con) {
  WarnOfUnsavedChanges(s, con);
  std::optional<bool> saved_first;  // what became of a save the user asked for first
  const OpenResult result =
      Open(false, s.open_name.data(), s.buffer, s.file_name.data(), con, s.rescue, &saved_first);
  if (saved_first) NoteSaveUnlessCancelled(s, con, *saved_first);
  switch (result) {
    case OpenResult::kLoaded:
      NoteLoad(s);
      TakeOpenName(s);
      break;
    case OpenResult::kNotFound:
      TakeOpenName(s);
      break;
    case OpenResult::kLeftAlone:
    case OpenResult::kInterrupted:  // the loop acts on the signal: Ctrl-C cancels the open
      break;
    case OpenResult::kAbandon:
      // A refused load is no end the user chose: the document, still as it was, is rescued
      // first when it holds unsaved changes.
      if (s.buffer.Changed()) {
        Rescue(s.file_name.data(), s.buffer, con, s.rescue);
        s.buffer.ForgetChanges();
      }
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
  // The command runs whether or not the save worked (a failed save has said so), but not
  // after Ctrl-C cancelled the save's file name question.
  NoteSaveUnlessCancelled(s, con, Save(s.file_name.data(), s.buffer, con, s.rescue));
  if (s.run_launch_command && !con.Interrupted()) Launch(s.settings.launch_command.data(), con);
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
  const OpenResult result =
      Open(true, s.open_name.data(), s.buffer, s.file_name.data(), con, s.rescue);
  // Nothing was typed yet: whatever the load left is no unsaved change.
  s.buffer.ForgetChanges();
  // A file that exists but cannot be loaded is never replaced by an empty document saved under
  // its name: the editor ends before the view. (Only a name that does not exist starts empty.)
  if (result != OpenResult::kLoaded && result != OpenResult::kNotFound) {
    s.exit_status = 1;
    return false;
  }
  if (result == OpenResult::kLoaded) ForgetUndo(s);
  for (const std::string& rescue : RescueFiles(name)) {
    con.Print("%s holds unsaved text from an earlier session\n", Visible(rescue));
  }
  return true;
}

}  // namespace ostrel
