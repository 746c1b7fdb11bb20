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

void TakeOpenName(Document& doc) {
  doc.file_name = doc.open_name;
}

// The pending undo refers to lines of the document it was recorded in: a newly loaded document
// starts with nothing to undo.
void ForgetUndo(Document& doc) {
  doc.undo.Forget();
}

// A saved document holds no unsaved changes, and its rescue file is of no more use; a save that
// failed or got no name is remembered for the exit status. One that the user cancelled (at a
// question, with 'x' or Ctrl-C) was not tried: it is no failed save.
void NoteSave(Document& doc, Session& session, Outcome saved) {
  if (saved == Outcome::kCancelled) return;
  session.save_failed = saved != Outcome::kDone;
  if (session.save_failed) return;
  doc.buffer.ForgetChanges();
  // Even a file kept from a refused save or one that failed part way: the text has reached its
  // file now.
  DropRescueOnceSaved(session.rescue);
}

// A loaded document is its file's text, with nothing to undo and nothing to rescue.
void NoteLoad(Document& doc, Session& session) {
  session.save_failed = false;
  doc.buffer.ForgetChanges();
  DropRescue(session.rescue);
  ForgetUndo(doc);
}

// Every save of the document checks what stands under its name against the record.
SaveGuard GuardOf(Document& doc, bool overwrite_agreed = false) {
  return SaveGuard{.disk = doc.disk, .overwrite_agreed = overwrite_agreed};
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
Outcome SaveDocument(Document& doc, Session& session, Console& con) {
  SaveGuard guard = GuardOf(doc);
  const Outcome saved = Save(doc.file_name, doc.buffer, con, session.rescue, &guard);
  NoteSave(doc, session, saved);
  return saved;
}

}  // namespace

void WarnOfUnsavedChanges(const Document& doc, Console& con) {
  if (con.InputIsTerminal() && doc.buffer.Changed()) con.Line("The document has unsaved changes.");
}

Outcome SavePrompt(Document& doc, Session& session, View&, Console& con) {
  SaveGuard guard = GuardOf(doc);
  Outcome saved = DefineSaveName(doc.file_name, con, &guard);
  if (saved == Outcome::kDone) saved = Save(doc.file_name, doc.buffer, con, session.rescue, &guard);
  NoteSave(doc, session, saved);
  return saved == Outcome::kCancelled ? saved : Outcome::kDone;
}

Outcome SaveOverwrite(Document& doc, Session& session, View&, Console& con) {
  return SaveDocument(doc, session, con) == Outcome::kCancelled ? Outcome::kCancelled
                                                                : Outcome::kDone;
}

Outcome OpenCommand(Document& doc, Session& session, View&, Console& con) {
  WarnOfUnsavedChanges(doc, con);
  SaveGuard guard = GuardOf(doc);
  const Outcome opened = Open(
      doc.open_name, doc.buffer, con,
      [&doc, &session, &con] { return SaveDocument(doc, session, con); }, &guard);
  // Reading a file closes it, and closing any descriptor of the session's own rescue file (when
  // that is what was opened) drops the session's lock on it.
  RenewSessionLock(session.rescue.lock);
  switch (opened) {
    case Outcome::kDone:
      NoteLoad(doc, session);
      TakeOpenName(doc);
      break;
    case Outcome::kNoFile:
      TakeOpenName(doc);
      break;
    case Outcome::kRefused:
    case Outcome::kEnded:
      break;
    case Outcome::kCancelled:  // the loop acts on a signal: Ctrl-C cancels the open
      return opened;
    case Outcome::kAbandoned:
      // A refused load is no end the user chose: the document, still as it was, is rescued
      // first when it holds unsaved changes.
      if (doc.buffer.Changed()) {
        Rescue(doc.file_name.data(), doc.buffer, con, session.rescue);
        doc.buffer.ForgetChanges();
      }
      session.quit = true;
      session.exit_status = 1;
      break;
  }
  return Outcome::kDone;
}

Outcome CommandExec(Document& doc, Session& session, View&, Console& con) {
  if (session.settings.launch_command[0] == '\0') {
    const Outcome set = SetCommand(session.settings.launch_command.data(), kNameSize, con);
    if (set == Outcome::kCancelled) return set;
    if (session.settings.launch_command[0] == '\0') return Outcome::kDone;
  }
  // The command acts on the saved file, so it runs only when the save worked: a build or print
  // command must not act on the old file as if the text were saved.
  if (const Outcome saved = SaveDocument(doc, session, con); saved != Outcome::kDone) {
    con.Line("Command not run: the document was not saved");
    return saved == Outcome::kCancelled ? saved : Outcome::kDone;
  }
  Launch(session.settings.launch_command.data(), con);
  return Outcome::kDone;
}

Outcome CommandEdit(Document&, Session& session, View&, Console& con) {
  const Outcome set = SetCommand(session.settings.launch_command.data(), kNameSize, con);
  return set == Outcome::kCancelled ? set : Outcome::kDone;
}

bool StartUpOpen(Document& doc, const char* name, Console& con) {
  // A longer name would be cut, and the document later saved under a different name.
  const std::size_t length = std::strlen(name);
  if (length > kNameSize - 1) {
    con.Print("File name is longer than %d characters\n", kNameSize - 1);
    return false;
  }
  std::memcpy(doc.open_name.data(), name, length + 1);
  std::memcpy(doc.file_name.data(), name, length + 1);
  SaveGuard guard = GuardOf(doc);
  const Outcome loaded = Load(doc.open_name.data(), doc.buffer, con, &guard);
  // Nothing was typed yet: whatever the load left is no unsaved change.
  doc.buffer.ForgetChanges();
  // A file that exists but cannot be loaded is never replaced by an empty document saved under
  // its name: the editor ends before the view. (Only a name that does not exist starts empty.)
  if (loaded != Outcome::kDone && loaded != Outcome::kNoFile) return false;
  if (loaded == Outcome::kDone) ForgetUndo(doc);
  for (const FoundRescue& rescue : RescueFiles(name, std::getenv("HOME"))) Hint(rescue, name, con);
  return true;
}

}  // namespace ostrel
