// The times of a stat result, wherever the system keeps them: st_mtim and st_ctim on most
// systems, st_mtimespec and st_ctimespec on others (found when the build is configured).
#pragma once

#include <sys/stat.h>

#include <ctime>

namespace ostrel {

// When the file's data last changed.
inline timespec ModifiedTime(const struct stat& info) {
#if OSTREL_HAVE_ST_MTIMESPEC
  return info.st_mtimespec;
#else
  return info.st_mtim;
#endif
}

// When the file's data or metadata last changed.
inline timespec ChangedTime(const struct stat& info) {
#if OSTREL_HAVE_ST_MTIMESPEC
  return info.st_ctimespec;
#else
  return info.st_ctim;
#endif
}

// Whether two times are the same to the nanosecond.
inline bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace ostrel
