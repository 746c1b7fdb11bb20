// The calls that only some systems offer, each with what the editor does where it is missing.
// Which of them a build uses is decided when it is configured, by looking for each one
// (OSTREL_HAVE_*), never by the system's name; OSTREL_FORCE_FALLBACKS builds every fallback, so
// that the portable way is built and tested on any system. Nothing else in src/ calls one of
// them.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace ostrel::platform {

// Files without a name (O_TMPFILE), named afterwards through /proc/self/fd: where they are
// offered, a file being written cannot be left behind under a temporary name by a kill.
bool UnnamedFilesOffered();

// An unnamed file open for writing in the folder `folder` of `dir` (as openat takes them), with
// permission bits `mode`: the descriptor, or -1 with errno set (EOPNOTSUPP where none can be had).
int OpenUnnamedFile(int dir, const char* folder, mode_t mode);

// Gives the unnamed file open on `fd` the name `name` in `dir`; a link never replaces anything.
// 0, or the errno value (EOPNOTSUPP where unnamed files are not offered).
int LinkUnnamedFile(int fd, int dir, const char* name);

// Whether two names can be swapped in one step (renameat2 with RENAME_EXCHANGE).
bool NameSwapOffered();

// Swaps the names `a` and `b` of the folder `dir` in one step: 0, or the errno value; EINVAL,
// ENOSYS or EOPNOTSUPP where the system or the file system offers no swap.
int SwapNames(int dir, const char* a, const char* b);

// Reserves the disk blocks of the first `length` bytes of the regular file `fd`: without changing
// its size where the system can (fallocate), else growing a shorter file (posix_fallocate). 0,
// or the errno value; ENOSYS where the build has no reservation at all.
int Reserve(int fd, off_t length);

// Whether the build reserves space at all (see Reserve).
bool ReservationOffered();

// Opens the folder `part` of `dir` for a walk only, without reading it and without following a
// link: for a folder that may be searched but not read. -1 with errno EACCES where the system
// cannot open a folder so.
int OpenFolderForWalk(int dir, const char* part);

// Whether the build asks the system for a descriptor of a child's end (pidfd_open).
bool ChildWatchOffered();

// A descriptor that becomes readable when the child `pid` ends, or -1 where the system has none.
int WatchChild(pid_t pid);

// Makes the process one that no core file of any kind is taken from, where the system allows
// more than the core size limit already does.
void ForbidCoreDumps();

// Advises the system to back `length` bytes at `start` with huge pages, where it can.
void AdviseHugePages(void* start, std::size_t length);

}  // namespace ostrel::platform
