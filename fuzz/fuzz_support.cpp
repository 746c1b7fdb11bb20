#include "fuzz_support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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

void EmptyWorkingDirectory() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(".", ec)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
}

void WriteFile(const char* name, const std::string& content) {
  // Removed first: truncating a file that holds data makes some file systems write it out at
  // once, which slows every run down to the disk's pace.
  std::remove(name);
  std::ofstream(name, std::ios::binary | std::ios::trunc) << content;
}

void AbortOnBrokenInvariant(const EditorState& s, const char* when, long cycle) {
  std::string why;
  if (CheckInvariants(s, &why)) return;
  std::fprintf(stderr, "broken invariant %s %ld: %s\n", when, cycle, why.c_str());
  std::abort();
}

}  // namespace ostrel::fuzz
