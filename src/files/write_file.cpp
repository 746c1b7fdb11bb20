#include "files/write_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "buffer/memory.h"

namespace ostrel {
namespace {

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};

// Writes all of `data` to `fd`, going on after partial writes and interruptions; `written`
// grows by the bytes written.
int WriteAll(int fd, std::string_view data, std::size_t& written) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
    written += static_cast<std::size_t>(n);
  }
  return 0;
}

// The most bytes gathered before a write: a text of any length costs this much memory.
constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

// Writes the whole text to `fd`, its pieces gathered into blocks of kBlockSize bytes at most;
// a piece as large as a block goes out on its own. `written` gets the bytes written. ENOMEM
// when not even a block can be had.
int WriteText(int fd, const TextSource& text, std::size_t& written) {
  written = 0;
  // A mapping of its own, given back whole when the write ends.
  PageBlock block;
  if (!block.Allocate(kBlockSize, PageBlock::Pages::kSmall)) return ENOMEM;
  std::size_t used = 0;
  const auto flush = [&] {
    const int failure = WriteAll(fd, std::string_view(block.data(), used), written);
    used = 0;
    return failure;
  };
  int failure = text.Each([&](std::string_view piece) {
    if (used + piece.size() > kBlockSize) {
      if (const int f = flush(); f != 0) return f;
    }
    if (piece.size() >= kBlockSize) return WriteAll(fd, piece, written);
    std::memcpy(block.data() + used, piece.data(), piece.size());
    used += piece.size();
    return 0;
  });
  if (failure == 0) failure = flush();
  return failure;
}

// WriteText, then fsync.
int WriteTextAndSync(int fd, const TextSource& text) {
  std::size_t written = 0;
  const int failure = WriteText(fd, text, written);
  if (failure != 0) return failure;
  return fsync(fd) == 0 ? 0 : errno;
}

// Closes `fd`: 0, or the errno value of a failed close.
int CloseChecked(int fd) {
  return close(fd) == 0 ? 0 : errno;
}

// Whether a reservation failed only because it cannot be made here: the file system (ZFS, say)
// or the C library offers none. The text is then written without one.
bool CannotReserve(int failure) {
  return failure == EINVAL || failure == EOPNOTSUPP || failure == ENOSYS;
}

// Reserves the disk blocks for the first `length` bytes of a regular file, so that writing them
// cannot run out of space. The file keeps its length, so that a kill before the write leaves
// the old text as it was; only where the file system cannot reserve beyond the end does a
// shorter file grow to `length`. 0 also where no reservation can be made at all: the caller
// then writes without one.
int Reserve(int fd, std::size_t length) {
  if (length == 0) return 0;
  int failure = ENOSYS;
#ifdef FALLOC_FL_KEEP_SIZE
  do {
    failure = fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) == 0 ? 0 : errno;
  } while (failure == EINTR);
  if (!CannotReserve(failure)) return failure;
#endif
#if defined(_POSIX_ADVISORY_INFO) && _POSIX_ADVISORY_INFO > 0
  do {
    failure = posix_fallocate(fd, 0, static_cast<off_t>(length));
  } while (failure == EINTR);
#endif
  return CannotReserve(failure) ? 0 : failure;
}

// Opens the file that is to be written in place. A regular file is opened for reading too where
// that is allowed: on a file system without its own way of reserving space, the reservation
// reads the file to find the blocks it must fill. Anything else is opened without blocking, so
// that a FIFO nobody reads fails at once instead of hanging the editor; the flag is dropped
// again before writing.
int OpenInPlace(const std::string& name) {
  struct stat info {};
  if (stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    const int fd = open(name.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) return fd;
  }
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd >= 0) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  }
  return fd;
}

// Writes into the file itself: for files that must not be replaced by another one. On a regular
// file the guard's copy of the new text is made first; then the space for the new text is
// reserved, so that a full disk or a quota fails the save before a byte of the old text
// changes (where no reservation can be made, a full disk can stop the write part way); then
// the text is written from the start, a longer old text cut to the new length, and the file
// synced (the cut comes before the sync, so that what the sync makes durable is the new text
// alone). Whatever fails before the first byte is written leaves the file as it
// was: a file the reservation grew is cut back to its old length. A failure after it sets the
// guard's `torn`. A device or FIFO is simply written.
int WriteInPlace(const std::string& name, const TextSource& text, InPlaceGuard* guard) {
  const int fd = OpenInPlace(name);
  if (fd < 0) return errno;
  // What the file is decides how it is written: without knowing that, nothing is written.
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    const int failure = errno;
    close(fd);
    return failure;
  }
  const bool regular = S_ISREG(info.st_mode);
  if (regular && guard != nullptr && guard->copy_first) guard->copy_first();
  const std::size_t size = regular ? text.Size() : 0;
  const auto length = static_cast<off_t>(size);
  int failure = regular ? Reserve(fd, size) : 0;
  std::size_t written = 0;
  if (failure == 0) failure = WriteText(fd, text, written);
  if (failure != 0 && written == 0) {
    // The save has failed already; this only takes back what the reservation added.
    if (regular && length > info.st_size) (void)ftruncate(fd, info.st_size);
  } else if (regular) {
    // Once the new text is written whole, a longer old text is cut to it, since its tail would
    // only make a mix of two texts; then everything is synced.
    if (failure == 0 && info.st_size > length && ftruncate(fd, length) != 0) failure = errno;
    if (fsync(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0 && guard != nullptr) guard->torn = true;
  }
  const int closed = CloseChecked(fd);
  return failure != 0 ? failure : closed;
}

// The directory part of a path: "." for a bare name.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Syncs the directory `dir`, so that a name added or removed there outlasts a power cut. The
// file itself is safe or gone either way, so a directory that cannot be synced is no failure.
void SyncDirectory(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

// A name for a temporary file next to `target` that is not likely to be taken.
std::string TemporaryName(const std::string& target) {
  static unsigned counter = 0;
  const unsigned long tag = (static_cast<unsigned long>(getpid()) << 20) ^
                            static_cast<unsigned long>(std::time(nullptr)) ^ ++counter;
  char suffix[16];
  const auto end = std::to_chars(suffix, suffix + sizeof suffix, tag & 0xffffffffUL, 16).ptr;
  return DirectoryOf(target) + "/.ostrel-save-" + std::string(suffix, end);
}

// Tries names until one is free: `make` returns 0, or the errno value of the attempt.
template <typename Make>
int UnderFreeTemporaryName(const std::string& target, std::string& temp_name, Make make) {
  int failure = EEXIST;
  for (int attempt = 0; attempt < 100 && failure == EEXIST; ++attempt) {
    temp_name = TemporaryName(target);
    failure = make(temp_name);
  }
  return failure;
}

// How the new file of a replacement is made.
struct NewFileRule {
  mode_t create_mode = 0666;               // the bits it is created with, less the umask
  const struct stat* keep_from = nullptr;  // the file replaced, whose owner and group it takes
  int mode = -1;                           // the exact bits it gets before it is named, or -1
  UniqueFd* keep_locked = nullptr;         // locked before it is named, its descriptor kept here
};

// The new file while it is written: unnamed (`temp_name` empty) where the system offers that,
// so that nothing is left behind whatever ends the editor, or else under a temporary name.
struct NewFile {
  int fd = -1;
  std::string temp_name;
};

// Creates the new file in the directory of `target`: unnamed when `unnamed`, else under a free
// temporary name. The fd, or -1 with errno set.
int CreateNewFile(const std::string& target, bool unnamed, mode_t mode, NewFile& file) {
  file.temp_name.clear();
  if (unnamed) {
#ifdef O_TMPFILE
    file.fd = open(DirectoryOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#else
    // A system without unnamed files: the caller goes on with a temporary name.
    file.fd = -1;
    errno = EOPNOTSUPP;
#endif
    return file.fd;
  }
  std::string name;
  const int failure = UnderFreeTemporaryName(target, name, [&](const std::string& candidate) {
    file.fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    return file.fd >= 0 ? 0 : errno;
  });
  if (failure != 0) {
    errno = failure;
    return -1;
  }
  file.temp_name = name;
  return file.fd;
}

// Gives the unnamed file a temporary name, for the instant before the rename. The link goes
// through /proc, which needs no privilege.
int NameUnnamedFile(const std::string& target, NewFile& file) {
  const std::string proc_path = "/proc/self/fd/" + std::to_string(file.fd);
  std::string name;
  const int failure = UnderFreeTemporaryName(target, name, [&](const std::string& candidate) {
    return linkat(AT_FDCWD, proc_path.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0
               ? 0
               : errno;
  });
  if (failure == 0) file.temp_name = name;
  return failure;
}

// Removes what a failed replacement made.
void Discard(NewFile& file) {
  if (file.fd >= 0) close(file.fd);
  file.fd = -1;
  if (!file.temp_name.empty()) unlink(file.temp_name.c_str());
  file.temp_name.clear();
}

// The outcome of one attempt at a replacement.
enum class Attempt { kDone, kFailed, kTryNamed, kWriteInPlace };

// One attempt: the text goes to a new file in the target's directory, which takes the owner,
// group and bits the rule asks for and is synced, and only then named and renamed over the
// target. A failure anywhere removes the new file and leaves the target as it was.
Attempt TryReplace(const std::string& target, const TextSource& text, const NewFileRule& rule,
                   bool unnamed, int& failure) {
  NewFile file;
  if (CreateNewFile(target, unnamed, rule.create_mode, file) < 0) {
    failure = errno;
    // Without unnamed files (an old kernel, a file system without them), or a directory that
    // refuses them, the named way decides.
    if (unnamed) return Attempt::kTryNamed;
    // A directory that lets us create no file: a file that exists is written in place.
    const bool refused = failure == EACCES || failure == EPERM;
    return rule.keep_from != nullptr && refused ? Attempt::kWriteInPlace : Attempt::kFailed;
  }
  if (rule.keep_locked != nullptr) LockForSession(file.fd);
  const struct stat* old = rule.keep_from;
  struct stat mine {};
  if (old != nullptr &&
      (fstat(file.fd, &mine) != 0 || ((mine.st_uid != old->st_uid || mine.st_gid != old->st_gid) &&
                                      fchown(file.fd, old->st_uid, old->st_gid) != 0))) {
    // An owner or group we cannot give to a new file: the old file is kept and written to.
    Discard(file);
    return Attempt::kWriteInPlace;
  }
  failure = 0;
  // The mode is set after the owner, since a change of owner clears the set-user-ID bits.
  if (rule.mode >= 0 && fchmod(file.fd, static_cast<mode_t>(rule.mode)) != 0) failure = errno;
  if (failure == 0) failure = WriteTextAndSync(file.fd, text);
  if (failure == 0 && unnamed && NameUnnamedFile(target, file) != 0) {
    // No link through /proc (not mounted, say): the text is written again, under a name.
    Discard(file);
    return Attempt::kTryNamed;
  }
  // Named just before the rename, so that a kill finds a temporary name only in between.
  if (failure == 0 && rename(file.temp_name.c_str(), target.c_str()) != 0) failure = errno;
  if (failure != 0) {
    Discard(file);
    // A mode the new file may not have, or a directory that lets us create files but not
    // replace this one (a sticky directory, say): the file is written in place instead.
    const bool refused = failure == EACCES || failure == EPERM;
    return rule.keep_from != nullptr && refused ? Attempt::kWriteInPlace : Attempt::kFailed;
  }
  // The text is synced and in place: a close can lose nothing more.
  if (rule.keep_locked != nullptr) {
    rule.keep_locked->Reset(file.fd);
  } else {
    close(file.fd);
  }
  SyncDirectory(DirectoryOf(target));
  return Attempt::kDone;
}

// Replaces `target` by a new file that holds `text`: unnamed while it is written where the
// system allows, else under a temporary name. Where the rule keeps an old file's owner and the
// new file cannot have it, or the directory refuses, the old file is written in place.
int ReplaceByNewFile(const std::string& target, const TextSource& text, const NewFileRule& rule,
                     InPlaceGuard* guard = nullptr) {
  int failure = 0;
  Attempt attempt = TryReplace(target, text, rule, true, failure);
  if (attempt == Attempt::kTryNamed) attempt = TryReplace(target, text, rule, false, failure);
  switch (attempt) {
    case Attempt::kDone:
      return 0;
    case Attempt::kWriteInPlace:
      return WriteInPlace(target, text, guard);
    case Attempt::kFailed:
    case Attempt::kTryNamed:
      break;
  }
  return failure;
}

// Links the new file, whole and synced, to the first free name of name_of(0) …
// name_of(count-1): through /proc when it has no name, else from its temporary name. A link
// fails when the name is taken (by a link too), so an existing file is never touched.
int LinkUnderFreeName(const NewFile& file, const std::function<std::string(int)>& name_of,
                      int count, std::string& name) {
  const bool unnamed = file.temp_name.empty();
  const std::string from = unnamed ? "/proc/self/fd/" + std::to_string(file.fd) : file.temp_name;
  int failure = EEXIST;
  for (int number = 0; number < count && failure == EEXIST; ++number) {
    name = name_of(number);
    failure =
        linkat(AT_FDCWD, from.c_str(), AT_FDCWD, name.c_str(), unnamed ? AT_SYMLINK_FOLLOW : 0) == 0
            ? 0
            : errno;
  }
  return failure;
}

}  // namespace

int WriteDocument(const char* name, const TextSource& text, InPlaceGuard* guard) {
  std::string target = name;
  struct stat link_info {};
  if (lstat(name, &link_info) != 0) {
    if (errno != ENOENT) return errno;
  } else if (S_ISLNK(link_info.st_mode)) {
    // The file a link points to is replaced, so the link stays a link. A link to nothing is
    // written through, which creates the file it names.
    const std::unique_ptr<char, FreeDeleter> resolved(realpath(name, nullptr));
    if (resolved == nullptr) return errno == ENOENT ? WriteInPlace(name, text, guard) : errno;
    target = resolved.get();
  }
  struct stat info {};
  if (stat(target.c_str(), &info) != 0) {
    if (errno != ENOENT) return errno;
    return ReplaceByNewFile(target, text, NewFileRule{});
  }
  // A file we may not write stays as it is, even where its directory would let us replace it.
  if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errno;
  // Replacing these would change what the user has: another name of the same file would keep
  // the old text, or a device or FIFO would become a plain file.
  if (!S_ISREG(info.st_mode) || info.st_nlink > 1) return WriteInPlace(target, text, guard);
  // A replacement starts readable by us alone until it has the old file's owner and mode.
  return ReplaceByNewFile(
      target, text,
      NewFileRule{
          .create_mode = 0600, .keep_from = &info, .mode = static_cast<int>(info.st_mode & 07777)},
      guard);
}

int ReplaceFile(const char* name, const TextSource& text, int mode, UniqueFd* keep_locked) {
  return ReplaceByNewFile(
      name, text, NewFileRule{.create_mode = 0600, .mode = mode, .keep_locked = keep_locked});
}

int ReplaceFile(const char* name, std::string_view text, int mode) {
  return ReplaceFile(name, StringSource(text), mode);
}

int WriteNewFile(const char* name, const TextSource& text, int mode) {
  std::string given;
  return WriteNewFileUnderFreeName([name](int) { return std::string(name); }, 1, text, mode, given);
}

int WriteNewFile(const char* name, std::string_view text, int mode) {
  return WriteNewFile(name, StringSource(text), mode);
}

int WriteNewFileUnderFreeName(const std::function<std::string(int)>& name_of, int count,
                              const TextSource& text, int mode, std::string& name,
                              UniqueFd* keep_locked) {
  name = name_of(0);
  int failure = 0;
  for (const bool unnamed : {true, false}) {
    NewFile file;
    if (CreateNewFile(name, unnamed, static_cast<mode_t>(mode), file) < 0) {
      failure = errno;
      if (unnamed) continue;  // no unnamed files here: a temporary name instead
      return failure;
    }
    // Locked before it has a name: no other session sees it unlocked.
    if (keep_locked != nullptr) LockForSession(file.fd);
    failure = WriteTextAndSync(file.fd, text);
    const bool written = failure == 0;
    if (written) failure = LinkUnderFreeName(file, name_of, count, name);
    if (failure == 0 && keep_locked != nullptr) {
      keep_locked->Reset(file.fd);
      file.fd = -1;
    }
    Discard(file);  // the file lives on under the name it was linked to, if any
    if (failure == 0) SyncDirectory(DirectoryOf(name));
    // No link through /proc (not mounted, say): the text is written again, under a name.
    if (!unnamed || !written || failure == 0 || failure == EEXIST) return failure;
  }
  return failure;
}

int WriteNewFileUnderFreeName(const std::function<std::string(int)>& name_of, int count,
                              std::string_view text, int mode, std::string& name) {
  return WriteNewFileUnderFreeName(name_of, count, StringSource(text), mode, name);
}

int RemoveFile(const char* name) {
  if (unlink(name) != 0) return errno;
  SyncDirectory(DirectoryOf(name));
  return 0;
}

}  // namespace ostrel
