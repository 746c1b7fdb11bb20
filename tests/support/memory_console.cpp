#include "support/memory_console.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace ostrel::test {
namespace {

int MakeMemoryFile() {
#ifdef MFD_CLOEXEC
  if (const int fd = memfd_create("ostrel-test", MFD_CLOEXEC); fd >= 0) return fd;
#endif
  const char* tmp = std::getenv("TMPDIR");
  std::string name =
      std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/ostrel-console-XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd >= 0) unlink(name.c_str());
  return fd;
}

}  // namespace

MemoryFile::MemoryFile(const std::string& content) : fd_(MakeMemoryFile()) {
  if (fd_ < 0 || write(fd_, content.data(), content.size()) != std::ssize(content) ||
      lseek(fd_, 0, SEEK_SET) != 0) {
    throw std::runtime_error("cannot make a memory file");
  }
}

MemoryFile::~MemoryFile() {
  close(fd_);
}

std::string MemoryFile::Content() const {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return {};
  std::string content(static_cast<std::size_t>(st.st_size), '\0');
  const ssize_t got = pread(fd_, content.data(), content.size(), 0);
  content.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return content;
}

MemoryConsole::MemoryConsole(const std::string& input, OutputMode mode)
    : in_(input), con_(in_.fd(), out_.fd(), mode) {}

MemoryConsole::~MemoryConsole() {
  con_.Flush();  // before the files close
}

std::string MemoryConsole::Output() {
  con_.Flush();
  return out_.Content();
}

}  // namespace ostrel::test
