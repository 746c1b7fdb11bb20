// Resolving a path part by part, as the system does, to see every symbolic link on the way:
// who owns each link and who may write the directory it lies in decides whether a file reached
// through it can be trusted.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace ostrel {

// A symbolic link met on the way, and the directory that holds it.
struct LinkOnTheWay {
  std::string path;
  uid_t owner = 0;
  struct stat directory {};
};

struct PathWalk {
  std::string resolved;  // the path reached, with no link in it (relative paths stay relative)
  std::vector<LinkOnTheWay> links;
  bool reached = false;  // something stands at `resolved`; `target` is its lstat
  struct stat target {};
  int failure = 0;  // errno of a part that could not be resolved; a missing last part is none
};

PathWalk WalkPath(const std::string& path);

// The directory of a path: "." for a bare name.
std::string DirectoryPart(const std::string& path);

// Whether users other than `user` may write into the directory: it is group- or world-writable.
bool GroupOrOthersMayWrite(const struct stat& directory);

// Sets `foreign` when some link on the way to `path` lies in a directory that group or others
// may write and belongs to neither `user`, nor root, nor that directory's owner: whoever planted
// it there chose where a write through the name goes. 0, or the errno value of a look on the
// way that failed (a missing part aside: the write itself tells of that).
int CheckForeignLinks(const std::string& path, uid_t user, bool& foreign);

}  // namespace ostrel
