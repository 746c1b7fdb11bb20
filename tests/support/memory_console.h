// A console over memory files: scripted input, captured output, read and written through
// descriptors as standard input and output are.
#pragma once

#include <string>

#include "console/console.h"

namespace ostrel::test {

// A file that lives in memory (or, where there are no memory files, an unlinked temporary
// file), holding `content` and positioned at its start. Closed when it goes.
class MemoryFile {
 public:
  explicit MemoryFile(const std::string& content = "");
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  int fd() const { return fd_; }
  // Everything the file holds.
  std::string Content() const;

 private:
  int fd_;
};

class MemoryConsole {
 public:
  // Output is as through a pipe unless `mode` says it goes to a terminal.
  explicit MemoryConsole(const std::string& input = "", OutputMode mode = OutputMode::kRaw);
  ~MemoryConsole();
  MemoryConsole(const MemoryConsole&) = delete;
  MemoryConsole& operator=(const MemoryConsole&) = delete;

  Console& con() { return con_; }
  // Everything printed so far.
  std::string Output();

 private:
  MemoryFile in_;
  MemoryFile out_;
  Console con_;
};

}  // namespace ostrel::test
