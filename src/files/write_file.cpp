#include "files/write_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "buffer/memory.h"
#include "common/paths.h"
#include "common/platform.h"
#include "files/file_times.h"

namespace ostrel {
namespace {

const char* const kWriteStopTexts[] = {"the file changed meanwhile"};

const std::error_category& WriteStops() {
  static const ReasonCategory category("write", kWriteStopTexts);
  return category;
}

// Writes all of `data` to `fd`, going on after partial writes and interruptions; `written`
// grows by the bytes written.
SysResult<> WriteAll(int fd, std::string_view data, std::size_t& written) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return SysError::FromErrno("write");
    }
    data.remove_prefix(static_cast<std::size_t>(n));
    written += static_cast<std::size_t>(n);
  }
  return {};
}

// The most bytes gathered before a write: a text of any length costs this much memory.
constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

// Writes the whole text to `fd`, its pieces gathered into blocks of kBlockSize bytes at most;
// a piece as large as a block goes out on its own. `written` gets the bytes written. ENOMEM
// when not even a block can be had. `first_write`, when given, is called just before the first
// byte goes out, and a failure it returns stops the write there.
SysResult<> WriteText(int fd, const TextSource& text, std::size_t& written,
                      const std::function<SysResult<>()>& first_write = {}) {
  written = 0;
  // A text shorter than a block gets a block of its own length, and goes out in the one write
  // a whole block would have given it: a short text neither maps nor zeroes a whole block.
  const std::size_t capacity = std::min(kBlockSize, std::max(text.Size(), std::size_t{1}));
  // Given back whole when the write ends.
  PageBlock block;
  if (!block.Allocate(capacity, PageBlock::Pages::kSmall)) {
    return SysError::Of(ENOMEM, "allocate the write block");
  }
  std::size_t used = 0;
  bool started = false;
  const auto write_all = [&](std::string_view data) -> SysResult<> {
    if (!started && first_write) {
      if (SysResult<> first = first_write(); !first.ok()) return first;
    }
    started = true;
    return WriteAll(fd, data, written);
  };
  const auto flush = [&] {
    SysResult<> flushed = write_all(std::string_view(block.data(), used));
    used = 0;
    return flushed;
  };
  SysResult<> result = text.Each([&](std::string_view piece) -> SysResult<> {
    if (used + piece.size() > capacity) {
      if (SysResult<> flushed = flush(); !flushed.ok()) return flushed;
    }
    // A piece that fills a whole block goes out on its own.
    if (piece.size() >= capacity) return write_all(piece);
    std::memcpy(block.data() + used, piece.data(), piece.size());
    used += piece.size();
    return {};
  });
  if (result.ok()) result = flush();
  return result;
}

// WriteText, then fsync.
SysResult<> WriteTextAndSync(int fd, const TextSource& text) {
  std::size_t written = 0;
  if (SysResult<> wrote = WriteText(fd, text, written); !wrote.ok()) return wrote;
  if (fsync(fd) != 0) return SysError::FromErrno("sync the file");
  return {};
}

// Closes `fd`, whose close may still report a failed write.
SysResult<> CloseChecked(int fd) {
  if (close(fd) != 0) return SysError::FromErrno("close the file");
  return {};
}

// Whether a reservation failed only because it cannot be made here: the file system (ZFS, say)
// or the C library offers none. The text is then written without one.
bool CannotReserve(int failure) {
  return failure == EINVAL || failure == EOPNOTSUPP || failure == ENOSYS;
}

// Reserves the disk blocks for the first `length` bytes of a regular file, so that writing them
// cannot run out of space. The file keeps its length, so that a kill before the write leaves
// the old text as it was; only where the file system cannot reserve beyond the end does a
// shorter file grow to `length`. Done also where no reservation can be made at all: the caller
// then writes without one.
SysResult<> Reserve(int fd, std::size_t length) {
  if (length == 0) return {};
  const int failure = platform::Reserve(fd, static_cast<off_t>(length));
  if (failure == 0 || CannotReserve(failure)) return {};
  return SysError::Of(failure, "reserve the space");
}

// Whether `now` is the file `first` with the same text as far as its metadata tell: the same
// file of the same kind, and for a regular file the same size and modification time, and (with
// `changed_time`) the same time of its last change of any kind. A rename sets that last time,
// so a file looked at after one is compared without it.
bool StillTheSame(const struct stat& now, const struct stat& first, bool changed_time = true) {
  if (now.st_dev != first.st_dev || now.st_ino != first.st_ino ||
      (now.st_mode & S_IFMT) != (first.st_mode & S_IFMT)) {
    return false;
  }
  if (!S_ISREG(now.st_mode)) return true;
  return now.st_size == first.st_size && SameTime(ModifiedTime(now), ModifiedTime(first)) &&
         (!changed_time || SameTime(ChangedTime(now), ChangedTime(first)));
}

// Opens the file that is to be written in place, in its folder and without following a link:
// the file the save looked at first, or nothing. A regular file is opened for reading too where
// that is allowed: on a file system without its own way of reserving space, the reservation
// reads the file to find the blocks it must fill. Anything else is opened without blocking, so
// that a FIFO nobody reads fails at once instead of hanging the editor; the flag is dropped
// again before writing. A name that no longer reaches a file, or reaches a link, is a change.
SysResult<UniqueFd> OpenInPlace(const FileAt& at, const struct stat& first) {
  int fd = -1;
  if (S_ISREG(first.st_mode)) fd = openat(at.dir, at.name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && (!S_ISREG(first.st_mode) || errno == EACCES)) {
    fd = openat(at.dir, at.name.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      const int flags = fcntl(fd, F_GETFL);
      if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
  }
  if (fd >= 0) return UniqueFd(fd);
  if (errno == ENOENT || errno == ELOOP) return ChangedMeanwhile("open the file in place");
  return SysError::FromErrno("open the file in place");
}

// Whether the size of the regular file open on `fd` is `size`: what the save last saw or made.
// Anything else is another program's doing (an append, say), and the save must stop.
SysResult<> SizeStill(int fd, off_t size) {
  struct stat now {};
  if (fstat(fd, &now) != 0) return SysError::FromErrno("look at the file's size");
  if (now.st_size != size) return ChangedMeanwhile("look at the file's size");
  return {};
}

// Writes into the file itself: for files that must not be replaced by another one. The file
// opened must be the one `first` describes, unchanged. On a regular file the guard's copy of
// the new text is made first (without it the save goes on only when the guard says so), and the
// file looked at again; then the space for the new text is reserved, so that a full disk or a
// quota fails the save before a byte of the old text changes (where no reservation can be made,
// a full disk can stop the write part way); then the text is written from the start, a longer
// old text cut to the new length, and the file synced (the cut comes before the sync, so that
// what the sync makes durable is the new text alone). The size is looked at once more before the
// first byte and before the cut, so that another program's append stops the save instead of
// being written over or cut; the instructions between that look and the write or the cut are
// the window no call closes. Whatever fails before the first byte is written leaves the file as
// it was. A failure after it sets the guard's `torn`. A device or FIFO is simply written.
SysResult<> WriteInPlace(const FileAt& at, const struct stat& first, const TextSource& text,
                         InPlaceGuard* guard) {
  SysResult<UniqueFd> opened = OpenInPlace(at, first);
  if (!opened.ok()) return opened.error();
  UniqueFd& file = opened.value();
  const int fd = file.get();
  // What the file is decides how it is written: without knowing that, nothing is written.
  struct stat info {};
  if (fstat(fd, &info) != 0) return SysError::FromErrno("look at the file in place");
  if (!StillTheSame(info, first)) return ChangedMeanwhile("look at the file in place");
  const bool regular = S_ISREG(info.st_mode);
  if (regular && guard != nullptr && guard->copy_first) {
    if (const SysResult<> copy = guard->copy_first(); !copy.ok()) {
      if (!guard->without_copy || !guard->without_copy(copy.error())) return copy;
    }
    // The copy took its time: the file must still be the one looked at.
    if (fstat(fd, &info) != 0) return SysError::FromErrno("look at the file after the copy");
    if (!StillTheSame(info, first)) return ChangedMeanwhile("look at the file after the copy");
  }
  const std::size_t size = regular ? text.Size() : 0;
  const auto length = static_cast<off_t>(size);
  SysResult<> result = regular ? Reserve(fd, size) : SysResult<>();
  // A reservation sets the file's times, and may grow a file where it cannot reserve beyond
  // the end: only the size tells another program's append from it, looked at just before the
  // first byte goes out.
  off_t reached = info.st_size;
  const auto unchanged = [&]() -> SysResult<> {
    struct stat now {};
    if (fstat(fd, &now) != 0) return SysError::FromErrno("look at the size before writing");
    if (now.st_size != info.st_size && (now.st_size != length || length < info.st_size)) {
      return ChangedMeanwhile("look at the size before writing");
    }
    reached = std::max(now.st_size, length);
    return {};
  };
  std::size_t written = 0;
  if (result.ok()) {
    result =
        WriteText(fd, text, written, regular ? std::function<SysResult<>()>(unchanged) : nullptr);
  }
  if (!result.ok() && written == 0) {
    // The save has failed already; this only takes back what the reservation added.
    if (regular && !IsChangedMeanwhile(result.error()) && length > info.st_size &&
        SizeStill(fd, length).ok()) {
      (void)ftruncate(fd, info.st_size);
    }
  } else if (regular) {
    // Once the new text is written whole, a longer old text is cut to it, since its tail would
    // only make a mix of two texts; then everything is synced. Text appended by another program
    // since the last look is not cut: the save gives up instead. Where there is nothing to cut,
    // such text simply follows the new text.
    if (result.ok() && reached > length) result = SizeStill(fd, reached);
    if (result.ok() && reached > length && ftruncate(fd, length) != 0) {
      result = SysError::FromErrno("cut the old text");
    }
    if (fsync(fd) != 0 && result.ok()) result = SysError::FromErrno("sync the file");
    // The last look: the name must still be this file, or the text went to a file that no
    // longer has it.
    struct stat named {};
    if (result.ok() && fstatat(at.dir, at.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
      result = errno == ENOENT ? ChangedMeanwhile("look at the name again")
                               : SysError::FromErrno("look at the name again");
    } else if (result.ok() && (named.st_dev != info.st_dev || named.st_ino != info.st_ino)) {
      result = ChangedMeanwhile("look at the name again");
    }
    if (!result.ok() && guard != nullptr) guard->torn = true;
  }
  const SysResult<> closed = CloseChecked(file.Release());
  return result.ok() ? closed : result;
}

// Syncs the directory that holds `at`, so that a name added or removed there outlasts a power
// cut. The file itself is safe or gone either way, so a directory that cannot be synced is no
// failure.
void SyncDirectory(const FileAt& at) {
  const int fd = openat(at.dir, DirectoryPart(at.name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  return folder + ".ostrel-save-" + std::string(suffix, end);
}

// Whether a failure is that of a name that is taken.
bool Taken(const SysResult<>& result) {
  return !result.ok() && result.error().Is(EEXIST);
}

// Tries names until one is free: `make` gives how the attempt with one ended.
template <typename Make>
SysResult<> UnderFreeTemporaryName(const std::string& target, std::string& temp_name, Make make) {
  SysResult<> result = SysError::Of(EEXIST, "find a free temporary name");
  for (int attempt = 0; attempt < 100 && Taken(result); ++attempt) {
    temp_name = TemporaryName(target);
    result = make(temp_name);
  }
  return result;
}

// How the new file of a replacement is made.
struct NewFileRule {
  mode_t create_mode = 0666;               // the bits it is created with, less the umask
  const struct stat* keep_from = nullptr;  // the file replaced, whose owner and group it takes
  int mode = -1;                           // the exact bits it gets before it is named, or -1
  UniqueFd* keep_locked = nullptr;         // locked before it is named, its descriptor kept here
  // The file replaced as the save looked at it first: it is replaced only while it is still
  // that file, unchanged.
  const struct stat* expect = nullptr;
};

// The new file while it is written: unnamed (`temp_name` empty) where the system offers that,
// so that nothing is left behind whatever ends the editor, or else under a temporary name.
struct NewFile {
  int fd = -1;
  std::string temp_name;
};

// Creates the new file in the directory of `target`: unnamed when `unnamed`, else under a free
// temporary name; `file.fd` is then its descriptor.
SysResult<> CreateNewFile(const FileAt& target, bool unnamed, mode_t mode, NewFile& file) {
  file.temp_name.clear();
  if (unnamed) {
    // Where the system has no unnamed files, the caller goes on with a temporary name.
    file.fd = platform::OpenUnnamedFile(target.dir, DirectoryPart(target.name).c_str(), mode);
    if (file.fd < 0) return SysError::FromErrno("create an unnamed file");
    return {};
  }
  std::string name;
  SysResult<> made =
      UnderFreeTemporaryName(target.name, name, [&](const std::string& candidate) -> SysResult<> {
        file.fd = openat(target.dir, candidate.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (file.fd < 0) return SysError::FromErrno("create a temporary file");
        return {};
      });
  if (made.ok()) file.temp_name = name;
  return made;
}

// Links the new file to `name` in the folder of `at`: as an unnamed file when it has no name,
// else from its temporary name. A link never replaces anything (a link of that name included).
SysResult<> LinkNewFile(const FileAt& at, const NewFile& file, const std::string& name) {
  if (file.temp_name.empty()) {
    const int failure = platform::LinkUnnamedFile(file.fd, at.dir, name.c_str());
    if (failure != 0) return SysError::Of(failure, "link the unnamed file");
    return {};
  }
  if (linkat(at.dir, file.temp_name.c_str(), at.dir, name.c_str(), 0) != 0) {
    return SysError::FromErrno("link the new file");
  }
  return {};
}

// Gives the unnamed file a temporary name, for the instant before the rename.
SysResult<> NameUnnamedFile(const FileAt& target, NewFile& file) {
  std::string name;
  SysResult<> named = UnderFreeTemporaryName(target.name, name, [&](const std::string& candidate) {
    return LinkNewFile(target, file, candidate);
  });
  if (named.ok()) file.temp_name = name;
  return named;
}

// Removes what a failed replacement made, or the temporary name of a file linked to its own.
// A removal that fails is tried once more: a name left behind would be a second name of the
// file, or a stray copy of the text.
void Discard(const FileAt& at, NewFile& file) {
  if (file.fd >= 0) close(file.fd);
  file.fd = -1;
  if (!file.temp_name.empty() && unlinkat(at.dir, file.temp_name.c_str(), 0) != 0 &&
      errno != ENOENT) {
    (void)unlinkat(at.dir, file.temp_name.c_str(), 0);
  }
  file.temp_name.clear();
}

// Whether a swap of two names failed only because the system or the file system offers none.
bool CannotSwap(int failure) {
  return failure == EINVAL || failure == ENOSYS || failure == EOPNOTSUPP;
}

// Puts the new file, named `file.temp_name`, in the place of `target` while what stands there
// is still the file `expect`, which the save looked at first: nothing planted or changed since
// is replaced. Where names can be swapped, they are, and the file swapped out is looked at: the
// one the save looked at goes, anything else is swapped back (ChangedMeanwhile). Elsewhere the
// name is looked at once more just before the rename: the instructions between that look and
// the rename are the one window no call closes there. On a failure the new file still has its
// temporary name; when even the swap back fails, the name has the new text and the other
// program's file the temporary name, which `file` then forgets, so that nobody removes it.
SysResult<> SwapIn(const FileAt& target, NewFile& file, const struct stat& expect) {
  const char* temp = file.temp_name.c_str();
  const char* name = target.name.c_str();
  const int swapped = platform::SwapNames(target.dir, temp, name);
  if (swapped == 0) {
    SysResult<> result;
    struct stat out {};
    if (fstatat(target.dir, temp, &out, AT_SYMLINK_NOFOLLOW) != 0) {
      result = SysError::FromErrno("look at the file swapped out");
    } else if (!StillTheSame(out, expect, false)) {
      result = ChangedMeanwhile("look at the file swapped out");
    } else if (unlinkat(target.dir, temp, 0) != 0) {
      // The file swapped out was the one looked at: it goes.
      result = SysError::FromErrno("remove the file swapped out");
    }
    if (result.ok()) return result;
    if (platform::SwapNames(target.dir, temp, name) != 0) {
      file.temp_name.clear();
      return ChangedMeanwhile("swap the names back");
    }
    return result;
  }
  // The file is gone since the look.
  if (swapped == ENOENT) return ChangedMeanwhile("swap the names");
  if (!CannotSwap(swapped)) return SysError::Of(swapped, "swap the names");
  struct stat now {};
  if (fstatat(target.dir, name, &now, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? ChangedMeanwhile("look at the name before the rename")
                           : SysError::FromErrno("look at the name before the rename");
  }
  if (!StillTheSame(now, expect)) return ChangedMeanwhile("look at the name before the rename");
  if (renameat(target.dir, temp, target.dir, name) != 0) return SysError::FromErrno("rename");
  return {};
}

// What to do after an attempt at a replacement that did not fail: it is done, or the text is
// to be written again under a temporary name, or into the old file itself.
enum class Attempt { kDone, kTryNamed, kWriteInPlace };

// Whether a failure is one of a directory or file that refuses what a replacement does, where
// writing the old file in place may still be allowed.
bool Refused(const SysError& error) {
  return error.Is(EACCES) || error.Is(EPERM);
}

// One attempt: the text goes to a new file in the target's directory, which takes the owner,
// group and bits the rule asks for and is synced, and only then named and renamed over the
// target. A failure anywhere removes the new file and leaves the target as it was.
SysResult<Attempt> TryReplace(const FileAt& target, const TextSource& text, const NewFileRule& rule,
                              bool unnamed) {
  NewFile file;
  if (const SysResult<> created = CreateNewFile(target, unnamed, rule.create_mode, file);
      !created.ok()) {
    // Without unnamed files (an old kernel, a file system without them), or a directory that
    // refuses them, the named way decides.
    if (unnamed) return Attempt::kTryNamed;
    // A directory that lets us create no file: a file that exists is written in place.
    if (rule.keep_from != nullptr && Refused(created.error())) return Attempt::kWriteInPlace;
    return created.error();
  }
  if (rule.keep_locked != nullptr) LockForSession(file.fd);
  const struct stat* old = rule.keep_from;
  struct stat mine {};
  if (old != nullptr &&
      (fstat(file.fd, &mine) != 0 || ((mine.st_uid != old->st_uid || mine.st_gid != old->st_gid) &&
                                      fchown(file.fd, old->st_uid, old->st_gid) != 0))) {
    // An owner or group we cannot give to a new file: the old file is kept and written to.
    Discard(target, file);
    return Attempt::kWriteInPlace;
  }
  SysResult<> result;
  // The mode is set after the owner, since a change of owner clears the set-user-ID bits.
  if (rule.mode >= 0 && fchmod(file.fd, static_cast<mode_t>(rule.mode)) != 0) {
    result = SysError::FromErrno("set the new file's mode");
  }
  if (result.ok()) result = WriteTextAndSync(file.fd, text);
  if (result.ok() && unnamed && !NameUnnamedFile(target, file).ok()) {
    // No link through /proc (not mounted, say): the text is written again, under a name.
    Discard(target, file);
    return Attempt::kTryNamed;
  }
  // Named just before the rename, so that a kill finds a temporary name only in between.
  if (result.ok()) {
    if (rule.expect != nullptr) {
      result = SwapIn(target, file, *rule.expect);
    } else if (renameat(target.dir, file.temp_name.c_str(), target.dir, target.name.c_str()) != 0) {
      result = SysError::FromErrno("rename");
    }
  }
  if (!result.ok()) {
    Discard(target, file);
    // A mode the new file may not have, or a directory that lets us create files but not
    // replace this one (a sticky directory, say): the file is written in place instead.
    if (rule.keep_from != nullptr && Refused(result.error())) return Attempt::kWriteInPlace;
    return result.error();
  }
  // The text is synced and in place: a close can lose nothing more.
  if (rule.keep_locked != nullptr) {
    rule.keep_locked->Reset(file.fd);
  } else {
    close(file.fd);
  }
  SyncDirectory(target);
  return Attempt::kDone;
}

// Replaces `target` by a new file that holds `text`: unnamed while it is written where the
// system allows, else under a temporary name. Where the rule keeps an old file's owner and the
// new file cannot have it, or the directory refuses, the old file is written in place.
SysResult<> ReplaceByNewFile(const FileAt& target, const TextSource& text, const NewFileRule& rule,
                             InPlaceGuard* guard = nullptr) {
  SysResult<Attempt> attempt = TryReplace(target, text, rule, true);
  if (attempt.ok() && attempt.value() == Attempt::kTryNamed) {
    attempt = TryReplace(target, text, rule, false);
  }
  if (!attempt.ok()) return attempt.error();
  switch (attempt.value()) {
    case Attempt::kDone:
      return {};
    case Attempt::kWriteInPlace:
      if (rule.keep_from != nullptr) return WriteInPlace(target, *rule.keep_from, text, guard);
      break;
    case Attempt::kTryNamed:
      break;
  }
  // Neither comes here: only an unnamed attempt asks for a named one, and only a rule that keeps
  // an old file's owner for a write in place.
  return SysError::Of(EINVAL, "replace the file");
}

// Links the new file, whole and synced, to the first free name of name_of(0) …
// name_of(count-1) in the folder of `at`. A link fails when the name is taken (by a link too),
// so an existing file is never touched.
SysResult<> LinkUnderFreeName(const FileAt& at, const NewFile& file,
                              const std::function<std::string(int)>& name_of, int count,
                              std::string& name) {
  SysResult<> linked = SysError::Of(EEXIST, "find a free name");
  for (int number = 0; number < count && Taken(linked); ++number) {
    name = name_of(number);
    linked = LinkNewFile(at, file, name);
  }
  return linked;
}

// WriteNewFileUnderFreeName, with every name in the folder `dir`.
SysResult<> WriteNewFileAt(int dir, const std::function<std::string(int)>& name_of, int count,
                           const TextSource& text, int mode, std::string& name,
                           UniqueFd* keep_locked) {
  name = name_of(0);
  const FileAt at{.dir = dir, .name = name};
  SysResult<> result;
  for (const bool unnamed : {true, false}) {
    NewFile file;
    result = CreateNewFile(at, unnamed, static_cast<mode_t>(mode), file);
    if (!result.ok()) {
      if (unnamed) continue;  // no unnamed files here: a temporary name instead
      return result;
    }
    // Locked before it has a name: no other session sees it unlocked.
    if (keep_locked != nullptr) LockForSession(file.fd);
    result = WriteTextAndSync(file.fd, text);
    const bool written = result.ok();
    if (written) result = LinkUnderFreeName(at, file, name_of, count, name);
    if (result.ok() && keep_locked != nullptr) {
      keep_locked->Reset(file.fd);
      file.fd = -1;
    }
    Discard(at, file);  // the file lives on under the name it was linked to, if any
    if (result.ok()) SyncDirectory({.dir = dir, .name = name});
    // No link through /proc (not mounted, say): the text is written again, under a name.
    if (!unnamed || !written || result.ok() || Taken(result)) return result;
  }
  return result;
}

}  // namespace

SysError ChangedMeanwhile(const char* doing) {
  return {.code = std::error_code(1, WriteStops()), .doing = doing};
}

bool IsChangedMeanwhile(const SysError& error) {
  return error.code == std::error_code(1, WriteStops());
}

SysResult<> WriteDocument(const FileAt& at, const struct stat* first, const TextSource& text,
                          InPlaceGuard* guard) {
  if (first == nullptr) {
    // Nothing stood there: the new file gets the name by a link, which replaces nothing that
    // was put there since.
    std::string given;
    SysResult<> written = WriteNewFileAt(
        at.dir, [&at](int) { return at.name; }, 1, text, 0666, given, nullptr);
    if (Taken(written)) return ChangedMeanwhile("link the new file");
    return written;
  }
  // A file we may not write stays as it is, even where its directory would let us replace it.
  // A link put in its place since the look is not followed (where the system can tell so), and
  // a file gone since is a change.
  int access = faccessat(at.dir, at.name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW);
  if (access != 0 && errno == EINVAL) access = faccessat(at.dir, at.name.c_str(), W_OK, AT_EACCESS);
  if (access != 0) {
    return errno == ENOENT ? ChangedMeanwhile("ask whether the file may be written")
                           : SysError::FromErrno("ask whether the file may be written");
  }
  // Replacing these would change what the user has: another name of the same file would keep
  // the old text, or a device or FIFO would become a plain file.
  if (!S_ISREG(first->st_mode) || first->st_nlink > 1) return WriteInPlace(at, *first, text, guard);
  // A replacement starts readable by us alone until it has the old file's owner and mode.
  return ReplaceByNewFile(at, text,
                          NewFileRule{.create_mode = 0600,
                                      .keep_from = first,
                                      .mode = static_cast<int>(first->st_mode & 07777),
                                      .expect = first},
                          guard);
}

SysResult<> ReplaceFile(const char* name, const TextSource& text, int mode, UniqueFd* keep_locked) {
  return ReplaceByNewFile(
      {.dir = AT_FDCWD, .name = name}, text,
      NewFileRule{.create_mode = 0600, .mode = mode, .keep_locked = keep_locked});
}

SysResult<> ReplaceFile(const char* name, std::string_view text, int mode) {
  return ReplaceFile(name, StringSource(text), mode);
}

SysResult<> WriteNewFile(const char* name, const TextSource& text, int mode) {
  std::string given;
  return WriteNewFileUnderFreeName([name](int) { return std::string(name); }, 1, text, mode, given);
}

SysResult<> WriteNewFile(const char* name, std::string_view text, int mode) {
  return WriteNewFile(name, StringSource(text), mode);
}

SysResult<> WriteNewFileUnderFreeName(const std::function<std::string(int)>& name_of, int count,
                                      const TextSource& text, int mode, std::string& name,
                                      UniqueFd* keep_locked) {
  return WriteNewFileAt(AT_FDCWD, name_of, count, text, mode, name, keep_locked);
}

SysResult<> WriteNewFileUnderFreeName(const std::function<std::string(int)>& name_of, int count,
                                      std::string_view text, int mode, std::string& name) {
  return WriteNewFileUnderFreeName(name_of, count, StringSource(text), mode, name);
}

SysResult<> RemoveFile(const char* name) {
  if (unlink(name) != 0) return SysError::FromErrno("remove the file");
  SyncDirectory({.dir = AT_FDCWD, .name = name});
  return {};
}

}  // namespace ostrel
