#include "files/save.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "console/console.h"
#include "files/path_walk.h"
#include "files/write_file.h"

namespace ostrel {
namespace {

bool IsAnswer(const char* answer, const char* word) {
  return std::strcmp(answer, word) == 0;
}

// Ctrl-C at the question says "Cancelled" instead.
void GiveUp(Console& con) {
  if (!con.Interrupted()) con.Line("Not saved: no file name was given");
}

// Reads a file-name answer into `name` (kNameSize bytes) as ReadFileName does, and says what to
// tell the user when none came: only a refused name has been told already.
bool ReadSaveName(char* name, Console& con) {
  bool refused = false;
  if (ReadFileName(name, con, refused)) return true;
  if (!refused) GiveUp(con);
  return false;
}

// The saved form of the document, handed out line by line from the buffer: writing it needs no
// copy of the whole text.
class DocumentSource final : public TextSource {
 public:
  explicit DocumentSource(const TextBuffer& buffer) : buffer_(buffer), last_(DocLength(buffer)) {}
  std::size_t Size() const override {
    std::size_t size = 0;
    for (int32_t i = 0; i <= last_; ++i) size += static_cast<std::size_t>(buffer_.Length(i)) + 1;
    return size;
  }
  int Each(const Put& put) const override {
    for (int32_t i = 0; i <= last_; ++i) {
      const std::string_view line(buffer_.Slot(i), static_cast<std::size_t>(buffer_.Length(i)));
      if (const int failure = put(line); failure != 0) return failure;
      if (const int failure = put("\n"); failure != 0) return failure;
    }
    return 0;
  }

 private:
  const TextBuffer& buffer_;
  int32_t last_;
};

// The names of a document's rescue files: NAME.save, NAME.save.1, NAME.save.2, … beside the
// document or in another directory, ostrel.save and its numbers for a document without a name.
// Where a rescue name would be longer than the directory allows for a name, the last part of
// NAME is shortened just enough for it to fit (never in the middle of a UTF-8 character).
class RescueNaming {
 public:
  explicit RescueNaming(const char* file_name, const char* directory = nullptr) {
    const std::string document = file_name[0] == '\0' ? std::string("ostrel") : file_name;
    const std::size_t slash = document.rfind('/');
    const std::size_t part_start = slash == std::string::npos ? 0 : slash + 1;
    part_ = document.substr(part_start);
    prefix_ = directory != nullptr ? std::string(directory) + "/" : document.substr(0, part_start);
    const long limit = pathconf(prefix_.empty() ? "." : prefix_.c_str(), _PC_NAME_MAX);
    name_max_ = limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
  }

  std::string Name(int number) const { return prefix_ + LastPart(number); }

  // The rescue file's name within its directory.
  std::string LastPart(int number) const {
    const std::string suffix = number == 0 ? ".save" : ".save." + std::to_string(number);
    std::string part = part_;
    if (part.size() + suffix.size() > name_max_) {
      std::size_t keep = name_max_ > suffix.size() ? name_max_ - suffix.size() : 0;
      // A cut lands on the first byte of a character, not inside one.
      while (keep > 0 && (static_cast<unsigned char>(part[keep]) & 0xC0) == 0x80) --keep;
      part.resize(keep);
    }
    return part + suffix;
  }

  // The number of the rescue file that `entry` of the directory names, or -1 when it names
  // none: NAME.save, or NAME.save.N with N from 1 to kMaxRescueNumber without leading zeros.
  int Number(std::string_view entry) const {
    int number = 0;
    if (!entry.ends_with(".save")) {
      const std::size_t dot = entry.rfind('.');
      if (dot == std::string_view::npos || dot + 1 >= entry.size() || entry[dot + 1] == '0' ||
          entry.size() - dot - 1 > 4) {
        return -1;
      }
      for (const char c : entry.substr(dot + 1)) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
      }
      if (number > kMaxRescueNumber) return -1;
    }
    return entry == LastPart(number) ? number : -1;
  }

  // The directory, as a path to open.
  std::string Directory() const { return prefix_.empty() ? "." : prefix_; }

 private:
  std::string prefix_;  // the directory, with its slash; empty for the current one
  std::string part_;    // the last part of the document's name
  std::size_t name_max_ = NAME_MAX;
};

// A rescue file may hold private text: only its owner may read it.
constexpr int kRescueMode = 0600;

// Writes `data` as a new rescue file: the first free one of the rescue names, so that an
// existing file is never touched, and named only once it is whole. `name` gets the name
// written, or on failure the last one tried.
// The file is locked for the session before it gets its name, and `lock` keeps its descriptor.
int WriteUnderFreeRescueName(const RescueNaming& naming, const TextSource& text, std::string& name,
                             UniqueFd& lock) {
  return WriteNewFileUnderFreeName([&naming](int number) { return naming.Name(number); },
                                   kMaxRescueNumber + 1, text, kRescueMode, name, &lock);
}

// The file under `file_name` changed on disk since the text was read: someone at a terminal is
// asked whether to overwrite it. Elsewhere nobody can be asked: the save is refused and the text
// goes to the session's rescue file, which is then kept whatever ends the editor.
bool MayOverwriteChange(const char* file_name, const TextBuffer& buffer, Console& con,
                        SessionRescue& rescue) {
  if (con.InputIsTerminal()) {
    con.Print("%s changed on disk since it was read.\n", Visible(file_name));
    con.Line("Overwrite it? (y/n)");
    char answer[kNameSize];
    if (con.ReadAnswer(answer, sizeof answer) && IsAnswer(answer, "y")) return true;
    // Ctrl-C says "Cancelled" instead.
    if (con.Interrupted()) return false;
  }
  con.Print("Not saved: %s changed on disk since it was read\n", Visible(file_name));
  if (!con.InputIsTerminal() && Rescue(file_name, buffer, con, rescue)) rescue.kept = true;
  return false;
}

// The names of a document's rescue files in the directory `naming` looks in: one read of the
// directory, or where it may be searched but not read, a look at each possible name.
std::vector<std::pair<int, std::string>> RescueNamesIn(const RescueNaming& naming) {
  std::vector<std::pair<int, std::string>> names;
  const std::string directory = naming.Directory();
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) {
    if (errno != EACCES) return names;
    for (int number = 0; number <= kMaxRescueNumber; ++number) {
      std::string name = naming.Name(number);
      struct stat info {};
      if (lstat(name.c_str(), &info) == 0) names.emplace_back(number, std::move(name));
    }
    return names;
  }
  while (const struct dirent* entry = readdir(dir)) {
    const int number = naming.Number(entry->d_name);
    if (number >= 0) names.emplace_back(number, naming.Name(number));
  }
  closedir(dir);
  return names;
}

// The rescue files found in one directory, newest first: only regular files of the user's own,
// since a file of another user (or a link, a FIFO) of a rescue name holds no text of ours.
std::vector<FoundRescue> OwnRescueFiles(const RescueNaming& naming, bool elsewhere) {
  struct Found {
    FoundRescue file;
    struct timespec modified;
    int number;
  };
  std::vector<Found> found;
  for (auto& [number, name] : RescueNamesIn(naming)) {
    struct stat info {};
    if (lstat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
      continue;
    }
    Found f{.file = {}, .modified = info.st_mtim, .number = number};
    f.file.elsewhere = elsewhere;
    f.file.locked = LockedByAnotherSession(name, info, f.file.holder);
    f.file.name = std::move(name);
    found.push_back(std::move(f));
  }
  // Newest first; of files written within the same instant, the higher number was written later.
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    if (a.modified.tv_sec != b.modified.tv_sec) return a.modified.tv_sec > b.modified.tv_sec;
    if (a.modified.tv_nsec != b.modified.tv_nsec) return a.modified.tv_nsec > b.modified.tv_nsec;
    return a.number > b.number;
  });
  std::vector<FoundRescue> files;
  files.reserve(found.size());
  for (Found& f : found) files.push_back(std::move(f.file));
  return files;
}

// Whether two paths name the same directory.
bool SameDirectory(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
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

}  // namespace

int32_t DocLength(const TextBuffer& buffer) {
  // The last line that is not empty is the first one found from the end of the text. A slot
  // never written is empty without a look, so a short document in a large grid reads only its
  // own pages.
  for (int32_t i = buffer.TextEnd() - 1; i > 0; --i) {
    if (buffer.HoldsText(i)) return i;
  }
  return 0;
}

std::size_t AssembledBound(const TextBuffer& buffer, int32_t last) {
  return (static_cast<std::size_t>(last) + 1) * static_cast<std::size_t>(buffer.lsize());
}

std::size_t AssembleInto(const TextBuffer& buffer, int32_t last, char* out) {
  const auto lsize = static_cast<std::size_t>(buffer.lsize());
  char* end = out;
  for (int32_t i = 0; i <= last; ++i) {
    const char* slot = buffer.Slot(i);
    const std::size_t length = strnlen(slot, lsize);
    std::memcpy(end, slot, length);
    end[length] = '\n';
    end += length + 1;
  }
  return static_cast<std::size_t>(end - out);
}

std::string AssembleDocument(const TextBuffer& buffer) {
  const DocumentSource text(buffer);
  std::string out;
  out.reserve(text.Size());
  text.Each([&out](std::string_view piece) {
    out.append(piece);
    return 0;
  });
  return out;
}

bool NameExists(const char* name) {
  struct stat info {};
  return lstat(name, &info) == 0;
}

bool Save(char* file_name, const TextBuffer& buffer, Console& con, SessionRescue& session,
          SaveGuard* guard) {
  while (file_name[0] == '\0') {
    con.Line("Enter a filename to save to");
    if (!ReadSaveName(file_name, con)) return false;
  }
  bool foreign = false;
  int failure = CheckForeignLinks(file_name, geteuid(), foreign);
  if (failure == 0 && foreign) {
    con.Print("Cannot save to %s: it is a link owned by another user\n", Visible(file_name));
    return false;
  }
  bool changed = false;
  if (failure == 0 && guard != nullptr && !guard->overwrite_agreed && guard->disk.known &&
      guard->disk.name == file_name) {
    failure = CheckChangedOnDisk(guard->disk, changed);
  }
  if (failure == 0 && changed && !MayOverwriteChange(file_name, buffer, con, session)) {
    return false;
  }
  const DocumentSource document(buffer);
  const HashedSource text(document);
  // Written in place, the file holds parts of both texts until the write ends: the whole new
  // text is in the session's rescue file first, so that whatever happens one of them is whole.
  const bool had_rescue = !session.name.empty();
  bool copied = false;
  std::string copy;
  InPlaceGuard in_place{
      .copy_first = [&] { copied = WriteRescue(file_name, buffer, session, copy) == 0; }};
  if (failure == 0) failure = WriteDocument(file_name, text, &in_place);
  if (failure == ENOMEM) {
    con.Line("Not saved: not enough memory");
  } else if (failure != 0) {
    con.Print("Cannot save to %s: %s\n", Visible(file_name), Visible(std::strerror(failure)));
  }
  if (failure != 0 && copied && in_place.torn) {
    con.Print("Unsaved text written to %s\n", Visible(copy));
    session.kept = true;
    return false;
  }
  // The file is whole (old or new): the copy made for it is of no more use.
  if (copied && !had_rescue) DropRescue(session);
  if (failure != 0) return false;
  if (guard != nullptr) {
    guard->disk = RecordOf(file_name, {});
    if (guard->disk.file_exists) guard->disk.hash = text.Hash();
  }
  con.Print("Saved to %s\n", Visible(file_name));
  return true;
}

std::string RescueName(const char* file_name, int number) {
  return RescueNaming(file_name).Name(number);
}

std::vector<FoundRescue> RescueFiles(const char* file_name, const char* home) {
  const RescueNaming beside(file_name);
  std::vector<FoundRescue> files = OwnRescueFiles(beside, false);
  if (home != nullptr && home[0] == '/' && !SameDirectory(beside.Directory(), home)) {
    for (FoundRescue& f : OwnRescueFiles(RescueNaming(file_name, home), true)) {
      files.push_back(std::move(f));
    }
  }
  return files;
}

int WriteRescue(const char* file_name, const TextBuffer& buffer, SessionRescue& session,
                std::string& name) {
  session.changes = buffer.ChangeCount();
  const DocumentSource text(buffer);
  // The session's own file, made for this name: replaced whole, never rewritten in place.
  UniqueFd lock;
  if (!session.name.empty() && session.document == file_name) {
    name = session.name;
    if (ReplaceFile(name.c_str(), text, kRescueMode, &lock) == 0) {
      session.lock = std::move(lock);
      return 0;
    }
  }
  int failure = WriteUnderFreeRescueName(RescueNaming(file_name), text, name, lock);
  const char* home = std::getenv("HOME");
  if (failure != 0 && home != nullptr && home[0] != '\0') {
    failure = WriteUnderFreeRescueName(RescueNaming(file_name, home), text, name, lock);
  }
  if (failure != 0) return failure;
  // The new file holds the newest text: an older one of this session is of no more use.
  DropRescue(session);
  session.name = name;
  session.document = file_name;
  session.lock = std::move(lock);
  return 0;
}

bool Rescue(const char* file_name, const TextBuffer& buffer, Console& con, SessionRescue& session) {
  std::string name;
  const int failure = WriteRescue(file_name, buffer, session, name);
  if (failure == 0) {
    con.Print("Unsaved text written to %s\n", Visible(name));
  } else {
    con.Print("Unsaved text could not be written to %s: %s\n", Visible(name),
              Visible(std::strerror(failure)));
  }
  return failure == 0;
}

void DropRescue(SessionRescue& session) {
  // Removed while still locked, so that no other session sees it unlocked in between.
  if (!session.name.empty() && !session.kept) (void)RemoveFile(session.name.c_str());
  session.lock.Reset();
  session.name.clear();
  session.document.clear();
  session.kept = false;
}

bool ReadFileName(char* name, Console& con, bool& refused) {
  refused = false;
  bool cut = false;
  if (!con.ReadAnswer(name, kNameSize, InputKind::kFileName, &cut)) return false;
  if (!cut) return true;
  // A cut name is another file's name.
  name[0] = '\0';
  refused = true;
  con.Print("File name is longer than %d characters\n", kNameSize - 1);
  return false;
}

bool DefineSaveName(char* file_name, Console& con, bool* given_up, bool* overwrite_agreed) {
  char original[kNameSize];
  CopyName(original, file_name);
  if (given_up != nullptr) *given_up = false;
  if (overwrite_agreed != nullptr) *overwrite_agreed = false;
  // Without a name the file name stays as it was, and nothing is saved.
  const auto give_up = [&] {
    CopyName(file_name, original);
    if (given_up != nullptr) *given_up = true;
    return false;
  };
  char answer[kNameSize];
  con.Line("Enter a filename to save to, or 'x' to return");
  if (!ReadSaveName(answer, con)) return give_up();
  if (IsAnswer(answer, "x")) return false;
  CopyName(file_name, answer);
  for (;;) {
    // An empty name is asked for until one comes, and that name is guarded like the first.
    while (file_name[0] == '\0') {
      con.Line("Enter a filename to save to");
      if (!ReadSaveName(file_name, con)) return give_up();
    }
    if (!NameExists(file_name)) return true;

    con.Line("The file already exists.");
    con.Line("Enter a new filename or 'o' to overwrite");
    if (!ReadSaveName(answer, con)) return give_up();
    if (IsAnswer(answer, "o")) {
      if (overwrite_agreed != nullptr) *overwrite_agreed = true;
      return true;
    }
    CopyName(file_name, answer);
    // From here on 'o' and 'x' are names like any other: only a free name leads out, and an
    // empty one back to the name question.
    while (NameExists(file_name)) {
      con.Line("File exists. Try again");
      if (!ReadSaveName(file_name, con)) return give_up();
    }
    if (file_name[0] != '\0') return true;
  }
}

}  // namespace ostrel
