// Saving: the document is written as a text file, every line through the last non-empty one,
// each followed by a newline.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "buffer/text_buffer.h"
#include "common/name.h"
#include "common/outcome.h"
#include "files/disk_record.h"
#include "files/write_file.h"

namespace ostrel {

class Console;

// True when something of that name exists (a file that may not be read, a link to nothing and
// a FIFO included): the save-as question's test of whether a name is taken.
bool NameExists(const char* name);

// The saved form of the document, handed out line by line from the buffer: writing it needs no
// copy of the whole text.
class DocumentSource final : public TextSource {
 public:
  explicit DocumentSource(const TextBuffer& buffer) : buffer_(buffer), last_(DocLength(buffer)) {}
  std::size_t Size() const override;
  SysResult<> Each(const Put& put) const override;

 private:
  const TextBuffer& buffer_;
  int32_t last_;
};

struct SessionRescue;

// What a save of the document checks and keeps: what stood under its name when the text was
// last read or written there, and whether the user agreed to overwrite whatever stands there.
struct SaveGuard {
  DiskRecord& disk;
  bool overwrite_agreed = false;
  // The save-as question found nothing under the name: whatever stands there at the save came
  // since.
  bool name_was_free = false;
};

// Writes the document under `file_name`, first asking for a name while it is empty. Prints "Saved
// to" and gives kDone only when the whole text was written and the file closed. Otherwise nothing
// is saved: kEnded when the input ended at the name question (the user is told "Not saved"),
// kCancelled when a signal interrupted a question, and kRefused after one line saying why. A name
// reached through a link that another user planted in a directory others may write is refused. With
// `guard`, a file that changed on disk since the guard's record was taken for this name is
// overwritten only when the user at a terminal agrees (or agreed already); elsewhere the save is
// refused and the text goes to the session's rescue file `session`, which is then kept. A file
// written in place gets a copy of the new text in that rescue file first; when the write fails part
// way the copy is kept. A save that worked renews the guard's record.
Outcome Save(NameBuffer& file_name, const TextBuffer& buffer, Console& con, SessionRescue& session,
             SaveGuard* guard = nullptr);

// Reads a file-name answer into `name`: kDone with the name. A name longer than kNameSize-1
// bytes is refused whole with one line: kRefused, and `name` is empty. kEnded or kCancelled
// when no answer came (the end of the input, an interrupt).
Outcome ReadFileName(NameBuffer& name, Console& con);

// The save-as dialogue: asks for a name and guards existing files, also a name asked for after
// an empty answer. kDone when the document is to be saved under `file_name` (possibly replaced,
// never empty). Otherwise nothing is to be saved and `file_name` is as it was: kCancelled after
// 'x' (or an interrupt), kEnded when the input ended (the user was told "Not saved"), kRefused
// when the name given was refused. `guard`, when given, takes the user's agreement ('o') to
// overwrite an existing file, so that the save that follows does not ask again.
Outcome DefineSaveName(NameBuffer& file_name, Console& con, SaveGuard* guard = nullptr);

}  // namespace ostrel
