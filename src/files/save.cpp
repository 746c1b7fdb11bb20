#include "files/save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "console/console.h"
#include "console/question.h"
#include "files/path_walk.h"
#include "files/rescue.h"
#include "files/write_file.h"

namespace ostrel {
namespace {

bool IsAnswer(const char* answer, const char* word) {
  return std::strcmp(answer, word) == 0;
}

// Reads a file-name answer into `name` (kNameSize bytes) as ReadFileName does, and tells the
// user when the input ended before a name came. A refused name has been told already, and
// Ctrl-C says "Cancelled" instead.
Outcome ReadSaveName(char* name, Console& con) {
  const Outcome outcome = ReadFileName(name, con);
  if (outcome == Outcome::kEnded) con.Line("Not saved: no file name was given");
  return outcome;
}

// The file under `file_name` changed on disk since the text was read: someone at a terminal is
// asked whether to overwrite it. Elsewhere nobody can be asked: the save is refused and the text
// goes to the session's rescue file, which is then kept whatever ends the editor.
// kDone when the file may be overwritten, kRefused (told) or kCancelled when not.
Outcome MayOverwriteChange(const char* file_name, const TextBuffer& buffer, Console& con,
                           SessionRescue& rescue) {
  if (con.InputIsTerminal()) {
    con.Print("%s changed on disk since it was read.\n", Visible(file_name));
    con.Line("Overwrite it? (y/n)");
    char answer[kNameSize];
    const Outcome answered = Ask(con, answer, sizeof answer);
    if (answered == Outcome::kDone && IsAnswer(answer, "y")) return Outcome::kDone;
    // Ctrl-C says "Cancelled" instead.
    if (answered == Outcome::kCancelled) return answered;
  }
  con.Print("Not saved: %s changed on disk since it was read\n", Visible(file_name));
  if (!con.InputIsTerminal() && Rescue(file_name, buffer, con, rescue)) rescue.kept = true;
  return Outcome::kRefused;
}

// A text that hashes the pieces it hands out, so that the record of what a save wrote takes
// no second pass over the document: the hash is of the last pass that went through whole.
class HashedSource final : public TextSource {
 public:
  explicit HashedSource(const TextSource& text) : text_(text) {}
  std::size_t Size() const override { return text_.Size(); }
  int Each(const Put& put) const override {
    hasher_ = TextHasher{};
    whole_ = false;
    const int failure = text_.Each([this, &put](std::string_view piece) {
      hasher_.Add(piece);
      return put(piece);
    });
    whole_ = failure == 0;
    return failure;
  }
  uint64_t Hash() const {
    if (!whole_) (void)Each([](std::string_view) { return 0; });
    return TextHasher(hasher_).Finish();
  }

 private:
  const TextSource& text_;
  mutable TextHasher hasher_;
  mutable bool whole_ = false;
};

// The copy of the new text that writing in place needs first could not be made (`reason`):
// someone at a terminal is asked whether to write in place all the same. Elsewhere nobody can
// be asked, and nothing is written. True to write; otherwise `declined` gets the save's outcome
// (kRefused, told; kCancelled at Ctrl-C).
bool MayWriteWithoutCopy(const char* file_name, int reason, Console& con, Outcome& declined) {
  con.Print("No safe copy of %s could be made first: %s\n", Visible(file_name),
            Visible(std::strerror(reason)));
  if (con.InputIsTerminal()) {
    con.Line("Write in place anyway? (y/n)");
    char answer[kNameSize];
    const Outcome answered = Ask(con, answer, sizeof answer);
    if (answered == Outcome::kDone && IsAnswer(answer, "y")) return true;
    // Ctrl-C says "Cancelled" instead.
    if (answered == Outcome::kCancelled) {
      declined = answered;
      return false;
    }
  }
  con.Line("Not saved: no safe copy could be made first");
  declined = Outcome::kRefused;
  return false;
}

}  // namespace

std::size_t DocumentSource::Size() const {
  std::size_t size = 0;
  for (int32_t i = 0; i <= last_; ++i) size += static_cast<std::size_t>(buffer_.Length(i)) + 1;
  return size;
}

int DocumentSource::Each(const Put& put) const {
  for (int32_t i = 0; i <= last_; ++i) {
    const std::string_view line(buffer_.Slot(i), static_cast<std::size_t>(buffer_.Length(i)));
    if (const int failure = put(line); failure != 0) return failure;
    if (const int failure = put("\n"); failure != 0) return failure;
  }
  return 0;
}

bool NameExists(const char* name) {
  struct stat info {};
  return lstat(name, &info) == 0;
}

Outcome Save(char* file_name, const TextBuffer& buffer, Console& con, SessionRescue& session,
             SaveGuard* guard) {
  while (file_name[0] == '\0') {
    con.Line("Enter a filename to save to");
    if (const Outcome named = ReadSaveName(file_name, con); named != Outcome::kDone) return named;
  }
  const DocumentSource document(buffer);
  const HashedSource text(document);
  bool overwrite_agreed = guard != nullptr && guard->overwrite_agreed;
  // Once more for each time the user agrees to overwrite a file changed meanwhile.
  for (;;) {
    // The one look by name: from here on every call is relative to the folder it opened.
    FileInFolder at = OpenFileInFolder(file_name, geteuid());
    if (at.foreign) {
      con.Print("Cannot save to %s: it is a link owned by another user\n", Visible(file_name));
      return Outcome::kRefused;
    }
    int failure = at.failure;
    bool changed = false;
    if (failure == 0 && guard != nullptr && !overwrite_agreed && guard->disk.known &&
        guard->disk.name == file_name) {
      failure = CheckChangedOnDisk(guard->disk, at, changed);
    }
    if (guard != nullptr && guard->name_was_free && !overwrite_agreed) {
      changed = changed || at.exists || at.name_is_link;
    }
    if (failure == 0 && changed) {
      if (const Outcome may = MayOverwriteChange(file_name, buffer, con, session);
          may != Outcome::kDone) {
        return may;
      }
    }
    // Written in place, the file holds parts of both texts until the write ends: the whole new
    // text is in the session's rescue file first, so that whatever happens one of them is whole.
    const bool had_rescue = !session.name.empty();
    bool copied = false;
    std::string copy;
    Outcome declined = Outcome::kRefused;
    InPlaceGuard in_place{
        .copy_first =
            [&] {
              const int made = WriteRescue(file_name, buffer, session, copy);
              copied = made == 0;
              return made;
            },
        .without_copy =
            [&](int reason) { return MayWriteWithoutCopy(file_name, reason, con, declined); }};
    if (failure == 0) {
      failure = WriteDocument({.dir = at.folder.get(), .name = at.leaf},
                              at.exists ? &at.file : nullptr, text, &in_place);
    }
    if (failure == kNoSafeCopy) return declined;
    if (failure == kChangedMeanwhile && !in_place.torn) {
      // Nothing under the name changed: the rule for a file changed on disk decides.
      if (copied && !had_rescue) DropRescue(session);
      if (const Outcome may = MayOverwriteChange(file_name, buffer, con, session);
          may != Outcome::kDone) {
        return may;
      }
      overwrite_agreed = true;
      continue;
    }
    if (failure == ENOMEM) {
      con.Line("Not saved: not enough memory");
    } else if (failure == kChangedMeanwhile) {
      con.Print("Not saved: %s changed on disk since it was read\n", Visible(file_name));
    } else if (failure != 0) {
      con.Print("Cannot save to %s: %s\n", Visible(file_name), Visible(std::strerror(failure)));
    }
    if (failure != 0 && copied && in_place.torn) {
      con.Print("Unsaved text written to %s\n", Visible(copy));
      session.kept = true;
      return Outcome::kRefused;
    }
    // The file is whole (old or new): the copy made for it is of no more use.
    if (copied && !had_rescue) DropRescue(session);
    if (failure != 0) return Outcome::kRefused;
    if (guard != nullptr) {
      at.exists = fstatat(at.folder.get(), at.leaf.c_str(), &at.file, AT_SYMLINK_NOFOLLOW) == 0;
      guard->disk = RecordOf(file_name, at);
      if (guard->disk.file_exists) guard->disk.hash = text.Hash();
    }
    con.Print("Saved to %s\n", Visible(file_name));
    return Outcome::kDone;
  }
}

Outcome ReadFileName(char* name, Console& con) {
  bool cut = false;
  const Outcome answered = Ask(con, name, kNameSize, InputKind::kFileName, &cut);
  if (answered != Outcome::kDone || !cut) return answered;
  // A cut name is another file's name.
  name[0] = '\0';
  con.Print("File name is longer than %d characters\n", kNameSize - 1);
  return Outcome::kRefused;
}

namespace {

// The save-as question ends on a name it found free.
Outcome Free(SaveGuard* guard) {
  if (guard != nullptr) guard->name_was_free = true;
  return Outcome::kDone;
}

}  // namespace

Outcome DefineSaveName(char* file_name, Console& con, SaveGuard* guard) {
  char original[kNameSize];
  CopyName(original, file_name);
  // Without a name the file name stays as it was, and nothing is saved.
  const auto give_up = [&](Outcome why) {
    CopyName(file_name, original);
    return why;
  };
  char answer[kNameSize];
  con.Line("Enter a filename to save to, or 'x' to return");
  if (const Outcome named = ReadSaveName(answer, con); named != Outcome::kDone) {
    return give_up(named);
  }
  if (IsAnswer(answer, "x")) return Outcome::kCancelled;
  CopyName(file_name, answer);
  for (;;) {
    // An empty name is asked for until one comes, and that name is guarded like the first.
    while (file_name[0] == '\0') {
      con.Line("Enter a filename to save to");
      if (const Outcome named = ReadSaveName(file_name, con); named != Outcome::kDone) {
        return give_up(named);
      }
    }
    if (!NameExists(file_name)) return Free(guard);

    con.Line("The file already exists.");
    con.Line("Enter a new filename or 'o' to overwrite");
    if (const Outcome named = ReadSaveName(answer, con); named != Outcome::kDone) {
      return give_up(named);
    }
    if (IsAnswer(answer, "o")) {
      if (guard != nullptr) guard->overwrite_agreed = true;
      return Outcome::kDone;
    }
    CopyName(file_name, answer);
    // From here on 'o' and 'x' are names like any other: only a free name leads out, and an
    // empty one back to the name question.
    while (NameExists(file_name)) {
      con.Line("File exists. Try again");
      if (const Outcome named = ReadSaveName(file_name, con); named != Outcome::kDone) {
        return give_up(named);
      }
    }
    if (file_name[0] != '\0') return Free(guard);
  }
}

}  // namespace ostrel
