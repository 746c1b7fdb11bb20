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

// The bytes of a file, as far as a comparison needs them.
struct FileHash {
  uint64_t hash = 0;
  off_t size = 0;
};

// Hashes the bytes that `fd` reads from here on.
SysResult<FileHash> HashFile(int fd) {
  TextHasher hasher;
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) return SysError::FromErrno("read the file to compare");
    hasher.Add(std::string_view(chunk, static_cast<std::size_t>(n)));
  }
  return FileHash{.hash = hasher.Finish(), .size = static_cast<off_t>(hasher.length())};
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

// Fills `record` with what stands under `name` now, as far as it can be looked at: a look that
// fails leaves the rest of the record as it was made.
void Look(const char* name, DiskRecord& record, const struct stat* file) {
  record.known = true;
  record.name = name;
  struct stat own {};
  if (lstat(name, &own) != 0) return;
  if (S_ISLNK(own.st_mode)) {
    record.is_link = true;
    char target[4096];
    const ssize_t n = readlink(name, target, sizeof target);
    if (n < 0) return;
    record.link_target.assign(target, static_cast<std::size_t>(n));
  }
  struct stat info {};
  if (file == nullptr) {
    if (stat(name, &info) != 0) return;
    file = &info;
  }
  Take(*file, record);
}

// Whether the file `leaf` of `folder`, whose metadata differ from the record's, holds other
// bytes. Anything that is not a regular file that can be read counts as other bytes; so does a
// link put in its place since the look, which is not followed.
SysResult<bool> BytesChanged(const DiskRecord& remembered, int folder, const std::string& leaf) {
  const UniqueFd fd(openat(folder, leaf.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == EACCES || errno == ENXIO || errno == ENOENT || errno == ELOOP) return true;
    return SysError::FromErrno("open the file to compare");
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) return SysError::FromErrno("look at the file to compare");
  if (!S_ISREG(info.st_mode)) return true;
  const SysResult<FileHash> read = HashFile(fd.get());
  if (!read.ok()) return read.error();
  return read.value().size != remembered.size || read.value().hash != remembered.hash;
}

}  // namespace

DiskRecord RecordOf(const char* name, std::string_view text, const struct stat* file) {
  DiskRecord record;
  Look(name, record, file);
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

SysResult<bool> ChangedOnDisk(const DiskRecord& remembered, const FileInFolder& now_at) {
  const DiskRecord now = RecordOf(remembered.name.c_str(), now_at);
  if (now.is_link != remembered.is_link || now.link_target != remembered.link_target) return true;
  if (!now.file_exists) return false;  // gone: saving it loses nothing
  if (!remembered.file_exists) return true;
  if (now.device == remembered.device && now.inode == remembered.inode &&
      now.size == remembered.size && SameTime(now.modified, remembered.modified) &&
      SameTime(now.changed, remembered.changed)) {
    return false;
  }
  // Something about the file differs: it is a change only when its bytes do.
  if (now.size != remembered.size) return true;
  return BytesChanged(remembered, now_at.folder.get(), now_at.leaf);
}

}  // namespace ostrel
