#include "fuzz_support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>

namespace ostrel::fuzz {

int NullOutput() {
  static const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (fd < 0) std::abort();
  return fd;
}

MemoryFile::MemoryFile() : fd_(memfd_create("ostrel-fuzz", MFD_CLOEXEC)) {
  if (fd_ < 0) std::abort();
}

int MemoryFile::Hold(std::string_view content) {
  if (ftruncate(fd_, 0) != 0 ||
      pwrite(fd_, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size()) ||
      lseek(fd_, 0, SEEK_SET) != 0) {
    std::abort();
  }
  return fd_;
}

std::string MemoryFile::Content() const {
  struct stat st {};
  if (fstat(fd_, &st) != 0) std::abort();
  std::string content(static_cast<std::size_t>(st.st_size), '\0');
  if (pread(fd_, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size())) {
    std::abort();
  }
  return content;
}

std::string EnterScratchDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  std::string templ =
      std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/ostrel-fuzz-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr || chdir(templ.c_str()) != 0) {
    std::perror("scratch directory");
    std::abort();
  }
  return templ;
}

Workspace::Workspace(const char* path) : path_(path), dir_(opendir(path)), dir_fd_(-1) {
  if (dir_ == nullptr) {
    std::perror(path);
    std::abort();
  }
  dir_fd_ = dirfd(dir_);
}

Workspace::~Workspace() {
  for (const Kept& file : kept_) close(file.fd);
  closedir(dir_);
}

void Workspace::Remove(const char* name) {
  if (unlinkat(dir_fd_, name, 0) == 0 || errno == ENOENT) return;
  // A directory: removed with all it holds.
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(path_) / name, ec);
}

Workspace::Kept* Workspace::Find(std::string_view name) {
  for (Kept& file : kept_) {
    if (file.name == name) return &file;
  }
  return nullptr;
}

bool Workspace::Unchanged(const Kept& file, std::string_view content) {
  if (file.fd < 0 || file.content != content) return false;
  struct stat now {};
  if (fstatat(dir_fd_, file.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) return false;
  const struct stat& then = file.st;
  if (now.st_dev != then.st_dev || now.st_ino != then.st_ino || now.st_mode != then.st_mode ||
      now.st_nlink != then.st_nlink || now.st_uid != then.st_uid || now.st_gid != then.st_gid ||
      now.st_size != then.st_size || now.st_mtim.tv_sec != then.st_mtim.tv_sec ||
      now.st_mtim.tv_nsec != then.st_mtim.tv_nsec || now.st_ctim.tv_sec != then.st_ctim.tv_sec ||
      now.st_ctim.tv_nsec != then.st_ctim.tv_nsec) {
    return false;
  }
  // Times change in steps of a clock tick, so a write within the tick of the last one is
  // found by the content alone; one byte more than expected is asked for, to see the end.
  read_back_.resize(content.size() + 1);
  return pread(file.fd, read_back_.data(), read_back_.size(), 0) ==
             static_cast<ssize_t>(content.size()) &&
         std::string_view(read_back_.data(), content.size()) == content;
}

void Workspace::Write(Kept& file, std::string_view content) {
  if (file.fd >= 0) close(file.fd);
  // Removed first: truncating a file that holds data makes some file systems write it out at
  // once, which slows every run down to the disk's pace.
  Remove(file.name.c_str());
  file.fd = openat(dir_fd_, file.name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (file.fd < 0 ||
      write(file.fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()) ||
      fstat(file.fd, &file.st) != 0) {
    std::perror(file.name.c_str());
    std::abort();
  }
  file.content = content;
}

void Workspace::Prepare(const std::vector<std::pair<const char*, std::string_view>>& files) {
  // Entries are removed while the directory is read: each is removed after it was read, which
  // leaves the entries still to come in place.
  rewinddir(dir_);
  while (const dirent* entry = readdir(dir_)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool given = false;
    for (const auto& file : files) given = given || name == file.first;
    if (given) continue;
    Remove(entry->d_name);
  }
  for (const auto& [name, content] : files) {
    Kept* file = Find(name);
    if (file == nullptr) {
      kept_.push_back(Kept{name, {}, -1, {}});
      file = &kept_.back();
    }
    if (!Unchanged(*file, content)) Write(*file, content);
  }
}

void AbortOnBrokenInvariant(const EditorState& s, const char* when, long cycle) {
  std::string why;
  if (CheckInvariants(s, &why)) return;
  std::fprintf(stderr, "broken invariant %s %ld: %s\n", when, cycle, why.c_str());
  std::abort();
}

}  // namespace ostrel::fuzz
