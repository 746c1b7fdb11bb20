// What stood on disk under the document's name when its text was last read or written there, so
// that a save can tell whether another program has changed the file since.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "common/sys_result.h"
#include "files/path_walk.h"

namespace ostrel {

// What a name reaches: the file (or nothing) and, when the name is a symbolic link, the link.
struct DiskRecord {
  bool known = false;  // something is remembered for `name`
  std::string name;    // the name the record was taken for
  bool is_link = false;
  std::string link_target;  // the link's text
  bool file_exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified {};
  struct timespec changed {};
  uint64_t hash = 0;  // of the text last read from or written to the file
};

// A hash of a file's bytes, for telling equal text from changed text, fed piece by piece.
class TextHasher {
 public:
  void Add(std::string_view bytes);
  uint64_t Finish();
  uint64_t length() const { return length_; }

 private:
  // Four words are mixed side by side, each into a lane of its own, so that the multiplications
  // of one block do not wait for each other: a file of a hundred megabytes hashes in tens of
  // milliseconds. The same bytes give the same hash however they are split into pieces.
  static constexpr std::size_t kLanes = 4;
  static constexpr std::size_t kBlock = kLanes * sizeof(uint64_t);
  void MixBlock(const char* block);
  uint64_t lanes_[kLanes] = {1, 2, 3, 4};
  uint64_t length_ = 0;
  char pending_[kBlock] = {};
  std::size_t pending_size_ = 0;
};

// The TextHasher hash of `bytes` at once.
uint64_t TextHash(std::string_view bytes);

// What stands under `name` now, with `file` the stat of the file it reaches when the caller has
// it (the file just read, say), and `text` the bytes that file holds.
DiskRecord RecordOf(const char* name, std::string_view text, const struct stat* file = nullptr);

// What stands under `name` as the walk `at` found it: its own link, and the file in its folder.
DiskRecord RecordOf(const char* name, const FileInFolder& at);

// Whether something else stands under the record's name, as the walk `now` found it, than what
// was remembered: a file changed, replaced or created since, or another link. The same file with
// other times (a touch, a change of mode, another hard link) or another file holding the same
// bytes is no change, and neither is a file that is gone. The bytes are read in the walk's
// folder. A look that failed (a disk error) fails the check: then nothing can be told.
SysResult<bool> ChangedOnDisk(const DiskRecord& remembered, const FileInFolder& now);

}  // namespace ostrel
