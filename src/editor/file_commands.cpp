#include <cstdlib>
#include <cstring>
#include <string>

#include "editor/commands.h"
#include "editor/launch.h"
#include "files/load.h"
#include "files/rescue.h"
#include "files/save.h"

namespace ostrel {

namespace {

void TakeOpenName(EditorState& s) {
  s.file_name = s.open_name;
}

// The pending undo refers to lines of the document it was recorded in: a newly loaded document
// starts with nothing to undo.
void ForgetUndo(EditorState& s) {
  s.undo.Forget();
}

// A saved document holds no unsaved changes, and its rescue file is of no more use; a save that
// failed or got no name is remembered for the exit status. One that the user cancelled (at a
// question, with 'x' or Ctrl-C) was not tried: it is no failed save.
void NoteSave(EditorState& s, Outcome saved) {
  if (saved == Outcome::kCancelled) return;
  s.save_failed = saved != Outcome::kDone;
  if (s.save_failed) return;
  s.buffer.ForgetChanges();
  // Even a file kept from a refused save or one that failed part way: the text has reached its
  // file now.
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

// Every save of the document checks what stands under its name against the record.
SaveGuard GuardOf(EditorState& s, bool overwrite_agreed = false) {
  return SaveGuard{.disk = s.disk, .overwrite_agreed = overwrite_agreed};
}

// Prints the start-up hint for one rescue file of the document `name`.
void Hint(const FoundRescue& file, const char* name, Console& con) {
  if (file.locked && file.holder > 0) {
    con.Print("%s is kept by a running session (process %d)\n", Visible(file.name),
              static_cast<int>(file.holder));
  } else if (file.locked) {
    con.Print("%s is kept by a running session\n", Visible(file.name));
  } else if (file.elsewhere) {
    const char* slash = std::strrchr(name, '/');
    con.Print("%s may hold unsaved text of a document named %s\n", Visible(file.name),
              Visible(slash != nullptr ? slash + 1 : name));
  } else {
    con.Print("%s holds unsaved text from an earlier session\n", Visible(file.name));
  }
}

// Saves the document under its file name, asking for one when it has none, and notes the outcome.
Outcome SaveDocument(EditorState& s, Console& con) {
  SaveGuard guard = GuardOf(s);
  const Outcome saved = Save(s.file_name, s.buffer, con, s.rescue, &guard);
  NoteSave(s, saved);
  return saved;
}

}  // namespace

void WarnOfUnsavedChanges(const EditorState& s, Console& con) {
  if (con.InputIsTerminal() && s.buffer.Changed()) con.Line("The document has unsaved changes.");
}

Outcome SavePrompt(EditorState& s, Console& con) {
  SaveGuard guard = GuardOf(s);
  Outcome saved = DefineSaveName(s.file_name, con, &guard);
  if (saved == Outcome::kDone) saved = Save(s.file_name, s.buffer, con, s.rescue, &guard);
  NoteSave(s, saved);
  return saved == Outcome::kCancelled ? saved : Outcome::kDone;
}

Outcome SaveOverwrite(EditorState& s, Console& con) {
  return SaveDocument(s, con) == Outcome::kCancelled ? Outcome::kCancelled : Outcome::kDone;
}

Outcome OpenCommand(EditorState& s, Console& con) {
  WarnOfUnsavedChanges(s, con);
  SaveGuard guard = GuardOf(s);
  const Outcome opened = Open(
      s.open_name, s.buffer, con, [&s, &con] { return SaveDocument(s, con); }, &guard);
  // Reading a file closes it, and closing any descriptor of the session's own rescue file (when
  // that is what was opened) drops the session's lock on it.
  RenewSessionLock(s.rescue.lock);
  switch (opened) {
    case Outcome::kDone:
      NoteLoad(s);
      TakeOpenName(s);
      break;
    case Outcome::kNoFile:
      TakeOpenName(s);
      break;
    case Outcome::kRefused:
    case Outcome::kEnded:
      break;
    case Outcome::kCancelled:  // the loop acts on a signal: Ctrl-C cancels the open
      return opened;
    case Outcome::kAbandoned:
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
  return Outcome::kDone;
}

Outcome CommandExec(EditorState& s, Console& con) {
  if (s.settings.launch_command[0] == '\0') {
    const Outcome set = SetCommand(s.settings.launch_command.data(), kNameSize, con);
    if (set == Outcome::kCancelled) return set;
    if (s.settings.launch_command[0] == '\0') return Outcome::kDone;
  }
  // The command acts on the saved file, so it runs only when the save worked: a build or print
  // command must not act on the old file as if the text were saved.
  if (const Outcome saved = SaveDocument(s, con); saved != Outcome::kDone) {
    con.Line("Command not run: the document was not saved");
    return saved == Outcome::kCancelled ? saved : Outcome::kDone;
  }
  Launch(s.settings.launch_command.data(), con);
  return Outcome::kDone;
}

Outcome CommandEdit(EditorState& s, Console& con) {
  const Outcome set = SetCommand(s.settings.launch_command.data(), kNameSize, con);
  return set == Outcome::kCancelled ? set : Outcome::kDone;
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
  SaveGuard guard = GuardOf(s);
  const Outcome loaded = Load(s.open_name.data(), s.buffer, con, &guard);
  // Nothing was typed yet: whatever the load left is no unsaved change.
  s.buffer.ForgetChanges();
  // A file that exists but cannot be loaded is never replaced by an empty document saved under
  // its name: the editor ends before the view. (Only a name that does not exist starts empty.)
  if (loaded != Outcome::kDone && loaded != Outcome::kNoFile) {
    s.exit_status = 1;
    return false;
  }
  if (loaded == Outcome::kDone) ForgetUndo(s);
  for (const FoundRescue& rescue : RescueFiles(name, std::getenv("HOME"))) Hint(rescue, name, con);
  return true;
}

}  // namespace ostrel
