#include "files/rescue_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/scratch_dir.h"

namespace ostrel {
namespace {

// Whether another process sees the file locked: a process never sees its own locks.
bool LockedSeenFromAnotherProcess(const std::string& path) {
  const pid_t child = fork();
  if (child == 0) {
    struct stat seen {};
    _exit(stat(path.c_str(), &seen) == 0 && LockHolder(path, seen).has_value() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Closing any descriptor of the session's rescue file drops the session's lock on it (a load of
// that file by name does so); the renewal takes the lock again.
TEST(SessionLock, IsTakenAgainAfterAnotherDescriptorOfTheFileClosed) {
  const test::ScratchDir dir;
  dir.Write("notes.txt.save", "text\n");
  const std::string path = dir.Path("notes.txt.save");
  const UniqueFd lock(open(path.c_str(), O_RDWR | O_CLOEXEC));
  ASSERT_TRUE(lock.valid());
  LockForSession(lock.get());
  EXPECT_TRUE(LockedSeenFromAnotherProcess(path));
  close(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  EXPECT_FALSE(LockedSeenFromAnotherProcess(path));
  RenewSessionLock(lock);
  EXPECT_TRUE(LockedSeenFromAnotherProcess(path));
}

}  // namespace
}  // namespace ostrel
