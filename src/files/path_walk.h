// Resolving a path part by part, as the system does, to see every symbolic link on the way:
// who owns each link and who may write the directory it lies in decides whether a file reached
// through it can be trusted.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "common/paths.h"
#include "common/sys_result.h"
#include "common/unique_fd.h"

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
  SysResult<> result;  // why a part could not be resolved; a missing last part is no failure
};

PathWalk WalkPath(const std::string& path);

// Whether users other than `user` may write into the directory: it is group- or world-writable.
bool GroupOrOthersMayWrite(const struct stat& directory);

// Whether `user` may not trust a link owned by `owner` that lies in `directory`: the directory
// is one that group or others may write, and the link belongs to neither `user`, nor root, nor
// that directory's owner. Whoever planted it there chose where a write through the name goes.
bool ForeignLink(uid_t owner, const struct stat& directory, uid_t user);

// The file a path names, reached by a walk that opens one folder at a time, each relative to the
// last and without following a link by itself: a link met on the way is checked (ForeignLink)
// and read where it lies, and the walk follows it. What the walk opened is what it checked, so a
// link or folder put in place of a part afterwards changes nothing that is done relative to
// `folder`.
struct FileInFolder {
  UniqueFd folder;      // the folder that holds the file
  std::string leaf;     // the file's name in `folder`: one part, not a link at the look
  bool exists = false;  // something stands under `leaf`: `file` is its lstat
  struct stat file {};
  bool name_is_link = false;  // the path's own last part is a link, and `link_text` its text
  std::string link_text;
  bool foreign = false;  // a link on the way is another user's: the walk stopped there
  SysResult<> result;    // why a part could not be opened or looked at
};

FileInFolder OpenFileInFolder(const std::string& path, uid_t user);

}  // namespace ostrel
