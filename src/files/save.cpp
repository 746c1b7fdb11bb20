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

// Reads a file-name answer into `name` as ReadFileName does, and tells the user when the input
// ended before a name came. A refused name has been told already, and Ctrl-C says "Cancelled"
// instead.
Outcome ReadSaveName(NameBuffer& name, Console& con) {
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
  SysResult<> Each(const Put& put) const override {
    hasher_ = TextHasher{};
    whole_ = false;
    SysResult<> result = text_.Each([this, &put](std::string_view piece) {
      hasher_.Add(piece);
      return put(piece);
    });
    whole_ = result.ok();
    return result;
  }
  uint64_t Hash() const {
    if (!whole_) (void)Each([](std::string_view) { return SysResult<>(); });
    return TextHasher(hasher_).Finish();
  }

 private:
  const TextSource& text_;
  mutable TextHasher hasher_;
  mutable bool whole_ = false;
};

// The copy of the new text that writing in place needs first could not be made (`reason`):
// someone at a terminal is asked whether to write in place all the same. Elsewhere nobody can
// be asked, and nothing is written. kDone to write; otherwise the save's outcome (kRefused,
// told; kCancelled at Ctrl-C).
Outcome MayWriteWithoutCopy(const char* file_name, const SysError& reason, Console& con) {
  con.Print("No safe copy of %s could be made first: %s\n", Visible(file_name),
            Visible(reason.Reason()));
  if (con.InputIsTerminal()) {
    con.Line("Write in place anyway? (y/n)");
    char answer[kNameSize];
    const Outcome answered = Ask(con, answer, sizeof answer);
    if (answered == Outcome::kDone && IsAnswer(answer, "y")) return answered;
    // Ctrl-C says "Cancelled" instead.
    if (answered == Outcome::kCancelled) return answered;
  }
  con.Line("Not saved: no safe copy could be made first");
  return Outcome::kRefused;
}

}  // namespace

std::size_t DocumentSource::Size() const {
  std::size_t size = 0;
  for (int32_t i = 0; i <= last_; ++i) size += static_cast<std::size_t>(buffer_.Length(i)) + 1;
  return size;
}

SysResult<> DocumentSource::Each(const Put& put) const {
  for (int32_t i = 0; i <= last_; ++i) {
    const std::string_view line(buffer_.Slot(i), static_cast<std::size_t>(buffer_.Length(i)));
    if (SysResult<> put_line = put(line); !put_line.ok()) return put_line;
    if (SysResult<> put_end = put("\n"); !put_end.ok()) return put_end;
  }
  return {};
}

bool NameExists(const char* name) {
  struct stat info {};
  return lstat(name, &info) == 0;
}

Outcome Save(NameBuffer& name, const TextBuffer& buffer, Console& con, SessionRescue& session,
             SaveGuard* guard) {
  while (name[0] == '\0') {
    con.Line("Enter a filename to save to");
    if (const Outcome named = ReadSaveName(name, con); named != Outcome::kDone) return named;
  }
  const char* const file_name = name.data();
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
    SysResult<> result = at.result;
    bool changed = false;
    if (result.ok() && guard != nullptr && !overwrite_agreed && guard->disk.known &&
        guard->disk.name == file_name) {
      const SysResult<bool> check = ChangedOnDisk(guard->disk, at);
      if (check.ok()) {
        changed = check.value();
      } else {
        result = check.error();
      }
    }
    if (guard != nullptr && guard->name_was_free && !overwrite_agreed) {
      changed = changed || at.exists || at.name_is_link;
    }
    if (result.ok() && changed) {
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
    // What the user answered when the copy could not be made: anything but kDone ends the save.
    Outcome declined = Outcome::kDone;
    InPlaceGuard in_place{.copy_first =
                              [&] {
                                SysResult<> made = WriteRescue(file_name, buffer, session, copy);
                                copied = made.ok();
                                return made;
                              },
                          .without_copy =
                              [&](const SysError& reason) {
                                declined = MayWriteWithoutCopy(file_name, reason, con);
                                return declined == Outcome::kDone;
                              }};
    if (result.ok()) {
      result = WriteDocument({.dir = at.folder.get(), .name = at.leaf},
                             at.exists ? &at.file : nullptr, text, &in_place);
    }
    if (declined != Outcome::kDone) return declined;
    const bool changed_meanwhile = !result.ok() && IsChangedMeanwhile(result.error());
    if (changed_meanwhile && !in_place.torn) {
      // Nothing under the name changed: the rule for a file changed on disk decides.
      if (copied && !had_rescue) DropRescue(session);
      if (const Outcome may = MayOverwriteChange(file_name, buffer, con, session);
          may != Outcome::kDone) {
        return may;
      }
      overwrite_agreed = true;
      continue;
    }
    if (!result.ok() && result.error().Is(ENOMEM)) {
      con.Line("Not saved: not enough memory");
    } else if (changed_meanwhile) {
      con.Print("Not saved: %s changed on disk since it was read\n", Visible(file_name));
    } else if (!result.ok()) {
      con.Print("Cannot save to %s: %s\n", Visible(file_name), Visible(result.error().Reason()));
    }
    if (!result.ok() && copied && in_place.torn) {
      con.Print("Unsaved text written to %s\n", Visible(copy));
      session.kept = true;
      return Outcome::kRefused;
    }
    // The file is whole (old or new): the copy made for it is of no more use.
    if (copied && !had_rescue) DropRescue(session);
    if (!result.ok()) return Outcome::kRefused;
    if (guard != nullptr) {
      at.exists = fstatat(at.folder.get(), at.leaf.c_str(), &at.file, AT_SYMLINK_NOFOLLOW) == 0;
      guard->disk = RecordOf(file_name, at);
      if (guard->disk.file_exists) guard->disk.hash = text.Hash();
    }
    con.Print("Saved to %s\n", Visible(file_name));
    return Outcome::kDone;
  }
}

Outcome ReadFileName(NameBuffer& name, Console& con) {
  bool cut = false;
  const Outcome answered = Ask(con, name.data(), kNameSize, InputKind::kFileName, &cut);
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

Outcome DefineSaveName(NameBuffer& file_name, Console& con, SaveGuard* guard) {
  const NameBuffer original = file_name;
  // Without a name the file name stays as it was, and nothing is saved.
  const auto give_up = [&](Outcome why) {
    file_name = original;
    return why;
  };
  NameBuffer answer{};
  con.Line("Enter a filename to save to, or 'x' to return");
  if (const Outcome named = ReadSaveName(answer, con); named != Outcome::kDone) {
    return give_up(named);
  }
  if (IsAnswer(answer.data(), "x")) return Outcome::kCancelled;
  file_name = answer;
  for (;;) {
    // An empty name is asked for until one comes, and that name is guarded like the first.
    while (file_name[0] == '\0') {
      con.Line("Enter a filename to save to");
      if (const Outcome named = ReadSaveName(file_name, con); named != Outcome::kDone) {
        return give_up(named);
      }
    }
    if (!NameExists(file_name.data())) return Free(guard);

    con.Line("The file already exists.");
    con.Line("Enter a new filename or 'o' to overwrite");
    if (const Outcome named = ReadSaveName(answer, con); named != Outcome::kDone) {
      return give_up(named);
    }
    if (IsAnswer(answer.data(), "o")) {
      if (guard != nullptr) guard->overwrite_agreed = true;
      return Outcome::kDone;
    }
    file_name = answer;
    // From here on 'o' and 'x' are names like any other: only a free name leads out, and an
    // empty one back to the name question.
    while (NameExists(file_name.data())) {
      con.Line("File exists. Try again");
      if (const Outcome named = ReadSaveName(file_name, con); named != Outcome::kDone) {
        return give_up(named);
      }
    }
    if (file_name[0] != '\0') return Free(guard);
  }
}

}  // namespace ostrel
