// The lock that tells other sessions a rescue file is in use: a session holds a POSIX record
// lock on its own rescue file for as long as the file is its own, on a descriptor it keeps open.
// The system drops such a lock when the process closes any descriptor of the same file, so
// nothing else in the session may open and close its rescue file.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

#include "common/unique_fd.h"

namespace ostrel {

// Locks the whole file open for writing on `fd` for this process. A lock that cannot be had
// (the file system keeps none: ENOLCK) is done without: the lock only informs other sessions.
void LockForSession(int fd);

// Takes the session's lock again on `fd`, its own rescue file: after something of this process
// may have opened and closed that file (a load of it by name), which drops the lock.
void RenewSessionLock(const UniqueFd& fd);

// The process that holds a lock on the file `path`, which lstat found to be `seen`, when another
// one does: the process id the system tells, which may be 0 where the holder lies outside our
// view. Nothing when no other process holds one, or the file cannot be opened. It is opened
// without blocking and without following a link, so that a FIFO or a link put in its place in
// the meantime is not waited on or followed.
std::optional<pid_t> LockHolder(const std::string& path, const struct stat& seen);

}  // namespace ostrel
