// A console over memory: scripted input, captured output.
#pragma once

#include <cstdio>
#include <string>

#include "console/console.h"

namespace ostrel::test {

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
  std::string input_;
  std::FILE* in_;
  char* out_buf_ = nullptr;
  std::size_t out_size_ = 0;
  std::FILE* out_;
  Console con_;
};

}  // namespace ostrel::test
