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

namespace ostrel {
namespace {

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};

// Writes all of `data` to `fd`, going on after partial writes and interruptions.
bool WriteAll(int fd, std::string_view data, int& failure) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      failure = errno;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Reserves the disk blocks for the first `length` bytes of a regular file of `old_size` bytes,
// so that writing them cannot run out of space. On failure the file is cut back to its old size
// (the reservation may have grown it) and the errno value is returned; the old bytes are never
// touched.
int Reserve(int fd, off_t old_size, std::size_t length) {
  if (length == 0) return 0;
  int failure = 0;
  do {
    failure = posix_fallocate(fd, 0, static_cast<off_t>(length));
  } while (failure == EINTR);
  struct stat now {};
  if (failure != 0 && fstat(fd, &now) == 0 && now.st_size > old_size) {
    (void)ftruncate(fd, old_size);  // the save has failed already; this only tidies up
  }
  return failure;
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
// file the space for the new text is reserved first, so that a full disk or a quota fails the
// save before a byte of the old text changes; the text is then written from the start and
// synced, and only after that is a longer old text cut to the new length. A device or FIFO is
// simply written.
bool WriteInPlace(const std::string& name, std::string_view data, std::string& error) {
  const int fd = OpenInPlace(name);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  struct stat info {};
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  int failure = regular ? Reserve(fd, info.st_size, data.size()) : 0;
  if (failure == 0 && WriteAll(fd, data, failure) && regular) {
    const auto length = static_cast<off_t>(data.size());
    // The new text is on the disk before the old tail goes, so the cut never leaves a file
    // shorter than the text that was saved.
    if (fsync(fd) != 0 ||
        (info.st_size > length && (ftruncate(fd, length) != 0 || fsync(fd) != 0))) {
      failure = errno;
    }
  }
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure != 0) {
    error = std::strerror(failure);
    return false;
  }
  return true;
}

// The directory part of a path: "." for a bare name.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new file of our own next to `target`, never one that exists already, with the given
// permission bits (less the umask).
int CreateTemporary(const std::string& target, mode_t mode, std::string& temp_name) {
  const std::string base = DirectoryOf(target) + "/.ostrel-save-";
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned long tag = (static_cast<unsigned long>(getpid()) << 20) ^
                              static_cast<unsigned long>(std::time(nullptr)) ^ ++counter;
    char suffix[16];
    const auto end = std::to_chars(suffix, suffix + sizeof suffix, tag & 0xffffffffUL, 16).ptr;
    temp_name = base + std::string(suffix, end);
    const int fd = open(temp_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The safe way: the text goes to a new file in the target's directory, which takes the old
// file's owner, group and permission bits and is synced and closed, and only then renamed over
// the target. A failure anywhere removes the new file and leaves the old one as it was. Where
// the new file cannot be made or cannot keep the owner and group, the file is written in place.
bool WriteByRename(const std::string& target, const struct stat* old, std::string_view data,
                   std::string& error) {
  std::string temp_name;
  // A replacement starts readable by us alone until it has the old file's owner and mode; a new
  // file gets the usual mode at once.
  const int fd = CreateTemporary(target, old != nullptr ? 0600 : 0666, temp_name);
  if (fd < 0) {
    if (old != nullptr && (errno == EACCES || errno == EPERM)) {
      return WriteInPlace(target, data, error);
    }
    error = std::strerror(errno);
    return false;
  }
  struct stat mine {};
  if (old != nullptr &&
      (fstat(fd, &mine) != 0 || ((mine.st_uid != old->st_uid || mine.st_gid != old->st_gid) &&
                                 fchown(fd, old->st_uid, old->st_gid) != 0))) {
    close(fd);
    unlink(temp_name.c_str());
    return WriteInPlace(target, data, error);
  }
  int failure = 0;
  // The mode is set after the owner, since a change of owner clears the set-user-ID bits.
  if (old != nullptr && fchmod(fd, old->st_mode & 07777) != 0) failure = errno;
  if (failure == 0 && WriteAll(fd, data, failure) && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && rename(temp_name.c_str(), target.c_str()) != 0) failure = errno;
  if (failure == 0) {
    // The rename itself is made durable too; the file is already safe either way, so a
    // directory that cannot be synced is no failure.
    const int dir = open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      fsync(dir);
      close(dir);
    }
  }
  if (failure != 0) {
    unlink(temp_name.c_str());
    // A directory that lets us create files but not replace this one (a sticky directory,
    // say): the file is written in place instead.
    if (old != nullptr && (failure == EACCES || failure == EPERM)) {
      return WriteInPlace(target, data, error);
    }
    error = std::strerror(failure);
    return false;
  }
  return true;
}

}  // namespace

bool WriteDocument(const char* name, std::string_view data, std::string& error) {
  std::string target = name;
  struct stat link_info {};
  if (lstat(name, &link_info) == 0 && S_ISLNK(link_info.st_mode)) {
    // The file a link points to is replaced, so the link stays a link. A link to nothing is
    // written through, which creates the file it names.
    const std::unique_ptr<char, FreeDeleter> resolved(realpath(name, nullptr));
    if (resolved == nullptr) return WriteInPlace(name, data, error);
    target = resolved.get();
  }
  struct stat info {};
  const bool exists = stat(target.c_str(), &info) == 0;
  if (!exists && errno != ENOENT) {
    error = std::strerror(errno);
    return false;
  }
  if (exists) {
    // A file we may not write stays as it is, even where its directory would let us replace it.
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
      error = std::strerror(errno);
      return false;
    }
    // Replacing these would change what the user has: another name of the same file would
    // keep the old text, or a device or FIFO would become a plain file.
    if (!S_ISREG(info.st_mode) || info.st_nlink > 1) return WriteInPlace(target, data, error);
  }
  return WriteByRename(target, exists ? &info : nullptr, data, error);
}

bool WriteNewFile(const char* name, std::string_view data, int mode, int& failure) {
  failure = 0;
  const int fd =
      open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0) {
    failure = errno;
    return false;
  }
  if (WriteAll(fd, data, failure) && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  // A file that does not hold the whole text is no copy of it.
  if (failure != 0) unlink(name);
  return failure == 0;
}

bool WriteUnderFreeName(const std::string& base, std::string_view data, int mode, std::string& name,
                        int& failure) {
  // Enough numbers for any number of earlier sessions; beyond them something else is wrong.
  constexpr int kMaxNumber = 1000;
  name = base;
  for (int number = 1; !WriteNewFile(name.c_str(), data, mode, failure); ++number) {
    if (failure != EEXIST || number > kMaxNumber) return false;
    name = base + "." + std::to_string(number);
  }
  return true;
}

}  // namespace ostrel
