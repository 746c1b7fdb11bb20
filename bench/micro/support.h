// Shared set-up for the micro-benchmarks: a grid filled with full lines and a console whose
// output goes to /dev/null.
#pragma once

#include <cstdio>
#include <memory>

#include "buffer/text_buffer.h"
#include "console/console.h"

namespace ostrel::bench {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Every slot of a default-sized grid holds lsize-1 printable characters that differ by line.
inline void FillGrid(TextBuffer& buffer) {
  for (int32_t line = 0; line < buffer.lines(); ++line) {
    char* slot = buffer.WritableSlot(line);
    for (int32_t i = 0; i < buffer.lsize() - 1; ++i)
      slot[i] = static_cast<char>('!' + (line + i) % 94);
  }
}

// A console that reads nothing and writes to /dev/null.
struct NullConsole {
  FilePtr in{std::fopen("/dev/null", "r")};
  FilePtr out{std::fopen("/dev/null", "w")};
  Console con{fileno(in.get()), fileno(out.get())};
};

}  // namespace ostrel::bench
