#include "files/rescue.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/characters.h"
#include "console/console.h"
#include "files/file_times.h"
#include "files/save.h"
#include "files/write_file.h"

namespace ostrel {
namespace {

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
      const std::size_t room = name_max_ > suffix.size() ? name_max_ - suffix.size() : 0;
      // A cut lands on the first byte of a character, not inside one.
      part.resize(FitWhole(part, room));
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
SysResult<> WriteUnderFreeRescueName(const RescueNaming& naming, const TextSource& text,
                                     std::string& name, UniqueFd& lock) {
  return WriteNewFileUnderFreeName([&naming](int number) { return naming.Name(number); },
                                   kMaxRescueNumber + 1, text, kRescueMode, name, &lock);
}

// The names of a document's rescue files in the directory `naming` looks in: one read of the
// directory, or where it may be searched but not read, a look at each possible name.
std::vector<std::pair<int, std::string>> RescueNamesIn(const RescueNaming& naming) {
  std::vector<std::pair<int, std::string>> names;
  const std::string directory = naming.Directory();
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) {
    // A folder that cannot be read is looked through name by name; any other failure finds
    // nothing.
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
    Found f{.file = {}, .modified = ModifiedTime(info), .number = number};
    f.file.elsewhere = elsewhere;
    if (const std::optional<pid_t> holder = LockHolder(name, info)) {
      f.file.locked = true;
      f.file.holder = *holder;
    }
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

}  // namespace

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

namespace {

// WriteRescue, where memory that cannot be had ends it as the caller's exception.
SysResult<> WriteSessionRescue(const char* file_name, const TextBuffer& buffer,
                               SessionRescue& session, std::string& name) {
  session.changes = buffer.ChangeCount();
  const DocumentSource text(buffer);
  // The session's own file, made for this name: replaced whole, never rewritten in place.
  UniqueFd lock;
  if (!session.name.empty() && session.document == file_name) {
    name = session.name;
    if (ReplaceFile(name.c_str(), text, kRescueMode, &lock).ok()) {
      session.lock = std::move(lock);
      return {};
    }
  }
  SysResult<> written = WriteUnderFreeRescueName(RescueNaming(file_name), text, name, lock);
  const char* home = std::getenv("HOME");
  if (!written.ok() && home != nullptr && home[0] != '\0') {
    written = WriteUnderFreeRescueName(RescueNaming(file_name, home), text, name, lock);
  }
  if (!written.ok()) return written;
  // The new file holds the newest text: an older one of this session is of no more use.
  DropRescue(session);
  session.name = name;
  session.document = file_name;
  session.lock = std::move(lock);
  return {};
}

}  // namespace

SysResult<> WriteRescue(const char* file_name, const TextBuffer& buffer, SessionRescue& session,
                        std::string& name) {
  // The names and the block of a write are memory too: without it, the write fails as any
  // other failure does, also when it comes in a pause of the line editor's key wait.
  return CatchNoMemory("write the rescue file",
                       [&] { return WriteSessionRescue(file_name, buffer, session, name); });
}

bool Rescue(const char* file_name, const TextBuffer& buffer, Console& con, SessionRescue& session) {
  std::string name;
  const SysResult<> written = WriteRescue(file_name, buffer, session, name);
  if (written.ok()) {
    con.Print("Unsaved text written to %s\n", Visible(name));
  } else {
    con.Print("Unsaved text could not be written to %s: %s\n", Visible(name),
              Visible(written.error().Reason()));
  }
  return written.ok();
}

void DropRescue(SessionRescue& session) {
  // Removed while still locked, so that no other session sees it unlocked in between. A file
  // that cannot be removed is left: the next session's hint names it.
  if (!session.name.empty() && !session.kept) (void)RemoveFile(session.name.c_str());
  session.lock.Reset();
  session.name.clear();
  session.document.clear();
  session.kept = false;
}

void DropRescueOnceSaved(SessionRescue& session) {
  session.kept = false;
  DropRescue(session);
}

}  // namespace ostrel
