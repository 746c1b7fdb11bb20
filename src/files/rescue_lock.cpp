#include "files/rescue_lock.h"

#include <fcntl.h>
#include <unistd.h>

namespace ostrel {
namespace {

struct flock WholeFile(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // to the end, however long the file grows
  return lock;
}

}  // namespace

void LockForSession(int fd) {
  struct flock lock = WholeFile(F_WRLCK);
  // No lock (ENOLCK, or a file system that refuses) changes nothing about the text: it is done
  // without.
  (void)fcntl(fd, F_SETLK, &lock);
}

void RenewSessionLock(const UniqueFd& fd) {
  if (fd.valid()) LockForSession(fd.get());
}

std::optional<pid_t> LockHolder(const std::string& path, const struct stat& seen) {
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  struct stat info {};
  struct flock lock = WholeFile(F_WRLCK);
  if (fstat(fd.get(), &info) == 0 && info.st_dev == seen.st_dev && info.st_ino == seen.st_ino &&
      fcntl(fd.get(), F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK) {
    return lock.l_pid;
  }
  return std::nullopt;
}

}  // namespace ostrel
