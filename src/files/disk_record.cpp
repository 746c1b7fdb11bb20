#include "files/disk_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "files/file_times.h"

namespace ostrel {
namespace {

// Hashes the bytes that `fd` reads from here on; false when they cannot be read.
bool HashFile(int fd, uint64_t& hash, off_t& size) {
  TextHasher hasher;
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) return false;
    hasher.Add(std::string_view(chunk, static_cast<std::size_t>(n)));
  }
  size = static_cast<off_t>(hasher.length());
  hash = hasher.Finish();
  return true;
}

}  // namespace

namespace {

uint64_t Mix(uint64_t hash, uint64_t word) {
  constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
  hash ^= word;
  hash *= kMultiplier;
  return hash ^ (hash >> 29);
}

}  // namespace

void TextHasher::MixBlock(const char* block) {
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    uint64_t word = 0;
    std::memcpy(&word, block + lane * sizeof word, sizeof word);
    lanes_[lane] = Mix(lanes_[lane], word);
  }
}

void TextHasher::Add(std::string_view bytes) {
  // An empty piece may have no storage at all, and memcpy must not be given its null pointer.
  if (bytes.empty()) return;
  length_ += bytes.size();
  if (pending_size_ > 0) {
    const std::size_t take = std::min(bytes.size(), kBlock - pending_size_);
    std::memcpy(pending_ + pending_size_, bytes.data(), take);
    pending_size_ += take;
    bytes.remove_prefix(take);
    if (pending_size_ < kBlock) return;
    MixBlock(pending_);
    pending_size_ = 0;
  }
  while (bytes.size() >= kBlock) {
    MixBlock(bytes.data());
    bytes.remove_prefix(kBlock);
  }
  if (!bytes.empty()) std::memcpy(pending_, bytes.data(), bytes.size());
  pending_size_ = bytes.size();
}

uint64_t TextHasher::Finish() {
  uint64_t hash = 0;
  for (const uint64_t lane : lanes_) hash = Mix(hash, lane);
  for (std::size_t at = 0; at < pending_size_; at += sizeof(uint64_t)) {
    uint64_t word = 0;
    std::memcpy(&word, pending_ + at, std::min(sizeof word, pending_size_ - at));
    hash = Mix(hash, word);
  }
  return Mix(hash, length_);
}

uint64_t TextHash(std::string_view bytes) {
  TextHasher hasher;
  hasher.Add(bytes);
  return hasher.Finish();
}

namespace {

void Take(const struct stat& file, DiskRecord& record) {
  record.file_exists = true;
  record.device = file.st_dev;
  record.inode = file.st_ino;
  record.size = file.st_size;
  record.modified = ModifiedTime(file);
  record.changed = ChangedTime(file);
}

// Fills `record` with what stands under `name` now; 0, or the errno value of a look that failed.
int Look(const char* name, DiskRecord& record, const struct stat* file) {
  record.known = true;
  record.name = name;
  struct stat own {};
  if (lstat(name, &own) != 0) return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
  if (S_ISLNK(own.st_mode)) {
    record.is_link = true;
    char target[4096];
    const ssize_t n = readlink(name, target, sizeof target);
    if (n < 0) return errno;
    record.link_target.assign(target, static_cast<std::size_t>(n));
  }
  struct stat info {};
  if (file == nullptr) {
    if (stat(name, &info) != 0) return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    file = &info;
  }
  Take(*file, record);
  return 0;
}

// Whether the file `leaf` of `folder`, whose metadata differ from the record's, holds other
// bytes. Anything that is not a regular file that can be read counts as other bytes; so does a
// link put in its place since the look, which is not followed.
int CheckBytes(const DiskRecord& remembered, int folder, const std::string& leaf, bool& changed) {
  changed = true;
  const int fd = openat(folder, leaf.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    return errno == EACCES || errno == ENXIO || errno == ENOENT || errno == ELOOP ? 0 : errno;
  }
  struct stat info {};
  uint64_t hash = 0;
  off_t size = 0;
  int failure = 0;
  if (fstat(fd, &info) != 0) {
    failure = errno;
  } else if (S_ISREG(info.st_mode)) {
    if (HashFile(fd, hash, size)) {
      changed = size != remembered.size || hash != remembered.hash;
    } else {
      failure = errno;
    }
  }
  (void)close(fd);
  return failure;
}

}  // namespace

DiskRecord RecordOf(const char* name, std::string_view text, const struct stat* file) {
  DiskRecord record;
  (void)Look(name, record, file);
  if (record.file_exists) record.hash = TextHash(text);
  return record;
}

DiskRecord RecordOf(const char* name, const FileInFolder& at) {
  DiskRecord record;
  record.known = true;
  record.name = name;
  record.is_link = at.name_is_link;
  record.link_target = at.link_text;
  if (at.exists) Take(at.file, record);
  return record;
}

int CheckChangedOnDisk(const DiskRecord& remembered, const FileInFolder& now_at, bool& changed) {
  changed = false;
  const DiskRecord now = RecordOf(remembered.name.c_str(), now_at);
  if (now.is_link != remembered.is_link || now.link_target != remembered.link_target) {
    changed = true;
    return 0;
  }
  if (!now.file_exists) return 0;  // gone: saving it loses nothing
  if (!remembered.file_exists) {
    changed = true;
    return 0;
  }
  if (now.device == remembered.device && now.inode == remembered.inode &&
      now.size == remembered.size && SameTime(now.modified, remembered.modified) &&
      SameTime(now.changed, remembered.changed)) {
    return 0;
  }
  // Something about the file differs: it is a change only when its bytes do.
  if (now.size != remembered.size) {
    changed = true;
    return 0;
  }
  return CheckBytes(remembered, now_at.folder.get(), now_at.leaf, changed);
}

}  // namespace ostrel
