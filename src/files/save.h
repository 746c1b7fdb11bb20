// Saving: the document is written as a text file, every line through the last non-empty one,
// each followed by a newline.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "buffer/text_buffer.h"
#include "common/name.h"

namespace ostrel {

class Console;

// Index of the last line that is not empty; 0 when every line is empty.
int32_t DocLength(const TextBuffer& buffer);

// The saved form of the document: lines 0 to DocLength, each followed by a newline. An empty
// document gives one newline.
std::string AssembleDocument(const TextBuffer& buffer);

// The most bytes the saved form of lines 0 to `last` can take: lsize per line.
std::size_t AssembledBound(const TextBuffer& buffer, int32_t last);

// Writes the saved form of lines 0 to `last` to `out`, which holds at least AssembledBound
// bytes, and returns its length.
std::size_t AssembleInto(const TextBuffer& buffer, int32_t last, char* out);

// True when something of that name exists (a file that may not be read, a link to nothing and
// a FIFO included): the save-as question's test of whether a name is taken.
bool NameExists(const char* name);

// Rescue files are numbered from 0 (NAME.save) to this (NAME.save.1000); beyond them something
// else is wrong.
inline constexpr int kMaxRescueNumber = 1000;

// Rescue file `number` of the document named `file_name`: NAME.save (0) or NAME.save.N beside
// it, or ostrel.save and ostrel.save.N in the current directory when the document has no name.
// A last part of NAME too long for the rescue name to fit is shortened just enough.
std::string RescueName(const char* file_name, int number = 0);

// The rescue files of the document named `file_name` that exist beside it, newest first.
std::vector<std::string> RescueFiles(const char* file_name);

// The session's rescue file: made new the first time the session rescues its text (the first
// free RescueName, never a file of an earlier session), then replaced by each later version, and
// removed once the text is safe elsewhere.
struct SessionRescue {
  std::string name;      // the file, empty while the session has none
  std::string document;  // the document name it was made for
  uint64_t changes = 0;  // the buffer's ChangeCount at the last write tried
  // The file holds the text of a save that failed part way through writing its file in place:
  // it stays, however the editor ends, until a later save succeeds.
  bool kept = false;
};

// Writes the document under `file_name` (kNameSize bytes), first asking for a name while it
// is empty. Prints "Saved to" and returns true only when the whole text was written and the file
// closed; otherwise prints one failure line and returns false. Where the file must be written
// in place, the whole new text first goes to the session's rescue file, without a word; once
// the file is whole again that copy goes, unless the session had a rescue file before. When
// the in-place write fails part way, a second line names the copy, which is then kept.
bool Save(char* file_name, const TextBuffer& buffer, Console& con, SessionRescue& session);

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

// Removes the session's rescue file, if it has one and it is not kept, and syncs its
// directory: the text is safe elsewhere or was dropped. A kept file is left where it is.
void DropRescue(SessionRescue& session);

// Reads a file-name answer into `name` (kNameSize bytes). A name longer than kNameSize-1 bytes
// is refused whole with one line, `refused` set and `name` empty; false then, and when no answer
// came (end of input, an interrupt).
bool ReadFileName(char* name, Console& con, bool& refused);

// The save-as dialogue: asks for a name and guards existing files, also a name asked for after
// an empty answer. True when the document is to be saved under `file_name` (possibly replaced,
// never empty), false when nothing is to be saved; then `file_name` is as it was. `given_up`,
// when given, is set when no name came (the end of the input: the user was told "Not saved")
// or the name given was refused.
bool DefineSaveName(char* file_name, Console& con, bool* given_up = nullptr);

}  // namespace ostrel
