// Rescue files: where the text goes when it cannot reach its own file (a refused save, a save
// that failed part way, a signal, the end of a terminal's input), how they are named beside the
// document, and how a later session finds them.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "buffer/text_buffer.h"
#include "common/sys_result.h"
#include "files/rescue_lock.h"

namespace ostrel {

class Console;

// Rescue files are numbered from 0 (NAME.save) to this (NAME.save.1000); beyond them something
// else is wrong.
inline constexpr int kMaxRescueNumber = 1000;

// Rescue file `number` of the document named `file_name`: NAME.save (0) or NAME.save.N beside
// it, or ostrel.save and ostrel.save.N in the current directory when the document has no name.
// A last part of NAME too long for the rescue name to fit is shortened just enough.
std::string RescueName(const char* file_name, int number = 0);

// A rescue file the start-up hint names.
struct FoundRescue {
  std::string name;
  bool elsewhere = false;  // in the home directory, not beside the document
  bool locked = false;     // a running session keeps it
  pid_t holder = 0;        // that session's process, when the system tells it
};

// The rescue files of the document named `file_name`: regular files of the user's own beside
// it, newest first, then those in `home` (when given, absolute and not the document's directory).
std::vector<FoundRescue> RescueFiles(const char* file_name, const char* home = nullptr);

// The session's rescue file: made new the first time the session rescues its text (the first
// free RescueName, never a file of an earlier session), then replaced by each later version, and
// removed once the text is safe elsewhere.
// While the file is the session's, it holds a lock on it (rescue_lock.h).
struct SessionRescue {
  std::string name;      // the file, empty while the session has none
  std::string document;  // the document name it was made for
  uint64_t changes = 0;  // the buffer's ChangeCount at the last write tried
  UniqueFd lock;         // the descriptor the lock is held on
  // The file holds the text of a save that was refused, or of one that failed part way through
  // writing its file in place: it stays, however the editor ends, until a later save succeeds.
  bool kept = false;
};

// Writes the document, exactly as Save would, to the session's rescue file, readable by the
// user alone and synced before it counts: replaced atomically when the session has one for the
// document's current name; otherwise (or when that fails) a new one under the first free
// RescueName, or where that fails the same name in $HOME, and a former session file is then
// removed. Prints nothing. `name` gets the file written, or the last one tried.
SysResult<> WriteRescue(const char* file_name, const TextBuffer& buffer, SessionRescue& session,
                        std::string& name);

// WriteRescue, with one line saying the name written or why nothing could be. True when the text
// was written.
bool Rescue(const char* file_name, const TextBuffer& buffer, Console& con, SessionRescue& session);

// The session is done with its rescue file, if it has one (the text is safe elsewhere, or was
// loaded over or dropped): it is removed (and its directory synced) unless it is kept, and is
// the session's no more.
void DropRescue(SessionRescue& session);

// The text reached its own file: the session's rescue file goes as DropRescue has it, even one
// kept from a refused save or from a save that failed part way.
void DropRescueOnceSaved(SessionRescue& session);

}  // namespace ostrel
