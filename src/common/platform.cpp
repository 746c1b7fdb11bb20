#include "common/platform.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#if OSTREL_HAVE_PIDFD_OPEN
#include <sys/syscall.h>
#endif
#if OSTREL_HAVE_PR_SET_DUMPABLE
#include <sys/prctl.h>
#endif

namespace ostrel::platform {

bool UnnamedFilesOffered() {
  return OSTREL_HAVE_O_TMPFILE != 0;
}

int OpenUnnamedFile([[maybe_unused]] int dir, [[maybe_unused]] const char* folder,
                    [[maybe_unused]] mode_t mode) {
#if OSTREL_HAVE_O_TMPFILE
  return openat(dir, folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#else
  errno = EOPNOTSUPP;
  return -1;
#endif
}

int LinkUnnamedFile([[maybe_unused]] int fd, [[maybe_unused]] int dir,
                    [[maybe_unused]] const char* name) {
#if OSTREL_HAVE_O_TMPFILE
  // The link goes through /proc, which needs no privilege.
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  return linkat(AT_FDCWD, path.c_str(), dir, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
#else
  return EOPNOTSUPP;
#endif
}

bool NameSwapOffered() {
#if OSTREL_HAVE_RENAME_EXCHANGE && defined(RENAME_EXCHANGE)
  return true;
#else
  return false;
#endif
}

int SwapNames([[maybe_unused]] int dir, [[maybe_unused]] const char* a,
              [[maybe_unused]] const char* b) {
#if OSTREL_HAVE_RENAME_EXCHANGE && defined(RENAME_EXCHANGE)
  return renameat2(dir, a, dir, b, RENAME_EXCHANGE) == 0 ? 0 : errno;
#else
  return ENOSYS;
#endif
}

#if OSTREL_HAVE_FALLOCATE
namespace {

// Whether a reservation failed only because it cannot be made here: the file system (ZFS, say)
// offers none.
bool CannotReserve(int failure) {
  return failure == EINVAL || failure == EOPNOTSUPP || failure == ENOSYS;
}

}  // namespace
#endif

int Reserve([[maybe_unused]] int fd, [[maybe_unused]] off_t length) {
  int failure = ENOSYS;
#if OSTREL_HAVE_FALLOCATE
  do {
    failure = fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length) == 0 ? 0 : errno;
  } while (failure == EINTR);
  if (!CannotReserve(failure)) return failure;
#endif
#if OSTREL_HAVE_POSIX_FALLOCATE
  do {
    failure = posix_fallocate(fd, 0, length);
  } while (failure == EINTR);
#endif
  return failure;
}

bool ReservationOffered() {
  return OSTREL_HAVE_FALLOCATE != 0 || OSTREL_HAVE_POSIX_FALLOCATE != 0;
}

int OpenFolderForWalk([[maybe_unused]] int dir, [[maybe_unused]] const char* part) {
#if OSTREL_HAVE_O_PATH
  return openat(dir, part, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
#else
  errno = EACCES;
  return -1;
#endif
}

bool ChildWatchOffered() {
  return OSTREL_HAVE_PIDFD_OPEN != 0;
}

int WatchChild([[maybe_unused]] pid_t pid) {
#if OSTREL_HAVE_PIDFD_OPEN
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  errno = ENOSYS;
  return -1;
#endif
}

void ForbidCoreDumps() {
#if OSTREL_HAVE_PR_SET_DUMPABLE
  (void)prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

void AdviseHugePages([[maybe_unused]] void* start, [[maybe_unused]] std::size_t length) {
#if OSTREL_HAVE_MADV_HUGEPAGE
  // Advice only: where the kernel declines, the memory works with small pages.
  (void)madvise(start, length, MADV_HUGEPAGE);
#endif
}

}  // namespace ostrel::platform
