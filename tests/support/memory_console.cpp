#include "support/memory_console.h"

#include <cstdlib>

namespace ostrel::test {

MemoryConsole::MemoryConsole(const std::string& input, OutputMode mode)
    : input_(input),
      // fmemopen refuses a zero-sized buffer; an empty script reads from /dev/null instead.
      in_(input_.empty() ? std::fopen("/dev/null", "r")
                         : fmemopen(input_.data(), input_.size(), "r")),
      out_(open_memstream(&out_buf_, &out_size_)),
      con_(in_, out_, mode) {}

MemoryConsole::~MemoryConsole() {
  con_.Flush();  // before the streams close
  std::fclose(in_);
  std::fclose(out_);
  std::free(out_buf_);
}

std::string MemoryConsole::Output() {
  con_.Flush();
  std::fflush(out_);
  return std::string(out_buf_, out_size_);
}

}  // namespace ostrel::test
