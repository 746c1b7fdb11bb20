// Saving: the document is written as a text file, every line through the last non-empty one,
// each followed by a newline.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "buffer/text_buffer.h"
#include "common/name.h"
#include "files/disk_record.h"
#include "files/rescue_lock.h"

namespace ostrel {

class Console;

// Index of the last line that is not empty; 0 when every line is empty.
int32_t DocLength(const TextBuffer& buffer);

// The saved form of the document: lines 0 to DocLength, each followed by a newline. An empty
// document gives one newline.
std::string AssembleDocument(const TextBuffer& buffer);

// True when something of that name exists (a file that may not be read, a link to nothing and
// a FIFO included): the save-as question's test of whether a name is taken.
bool NameExists(const char* name);

struct SessionRescue;

// What a save of the document checks and keeps: what stood under its name when the text was
// last read or written there, and whether the user agreed to overwrite whatever stands there.
struct SaveGuard {
  DiskRecord& disk;
  bool overwrite_agreed = false;
};

// Writes the document under `file_name` (kNameSize bytes), first asking for a name while it
// is empty. Prints "Saved to" and returns true only when the whole text was written and the file
// closed; otherwise prints one failure line and returns false. A name reached through a link
// that another user planted in a directory others may write is refused. With `guard`, a file
// that changed on disk since the guard's record was taken for this name is overwritten only when
// the user at a terminal agrees (or agreed already); elsewhere the save is refused and the text
// goes to the session's rescue file `session`, which is then kept. A file written in place gets
// a copy of the new text in that rescue file first; when the write fails part way the copy is
// kept. A save that worked renews the guard's record.
bool Save(char* file_name, const TextBuffer& buffer, Console& con, SessionRescue& session,
          SaveGuard* guard = nullptr);

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
// removed. Prints nothing. 0, or the errno value of the failure; `name` gets the file written,
// or the last one tried.
int WriteRescue(const char* file_name, const TextBuffer& buffer, SessionRescue& session,
                std::string& name);

// WriteRescue, with one line saying the name written or why nothing could be. True when the text
// was written.
bool Rescue(const char* file_name, const TextBuffer& buffer, Console& con, SessionRescue& session);

// The session is done with its rescue file, if it has one (the text is safe elsewhere, or was
// loaded over or dropped): it is removed (and its directory synced) unless it is kept, and is
// the session's no more.
void DropRescue(SessionRescue& session);

// Reads a file-name answer into `name` (kNameSize bytes). A name longer than kNameSize-1 bytes
// is refused whole with one line, `refused` set and `name` empty; false then, and when no answer
// came (end of input, an interrupt).
bool ReadFileName(char* name, Console& con, bool& refused);

// The save-as dialogue: asks for a name and guards existing files, also a name asked for after
// an empty answer. True when the document is to be saved under `file_name` (possibly replaced,
// never empty), false when nothing is to be saved; then `file_name` is as it was. `given_up`,
// when given, is set when no name came (the end of the input: the user was told "Not saved")
// or the name given was refused. `overwrite_agreed`, when given, is set when the user answered
// 'o' to overwrite an existing file.
bool DefineSaveName(char* file_name, Console& con, bool* given_up = nullptr,
                    bool* overwrite_agreed = nullptr);

}  // namespace ostrel
