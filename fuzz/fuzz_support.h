// Helpers shared by the fuzz targets: descriptors for the console's input and output (read and
// written as the editor reads and writes its own), and a scratch directory that the targets
// work in.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/invariants.h"

namespace ostrel::fuzz {

// The null device for writing, opened once: it drops every byte at the cost of one system
// call per write.
int NullOutput();

// A file in memory, made once and used again by every run: it holds what it was last given,
// read from its start, and what was written to it since.
class MemoryFile {
 public:
  MemoryFile();
  // Makes the file hold `content` only, positioned at its start.
  int Hold(std::string_view content);
  // Everything the file holds.
  std::string Content() const;

 private:
  int fd_;
};

// Creates a fresh directory under $TMPDIR (or /tmp) and makes it the working directory.
// Returns its path; the process ends when it cannot be made.
std::string EnterScratchDirectory();

// Removes every entry of the working directory.
void EmptyWorkingDirectory();

// Writes `content` to `name` in the working directory.
void WriteFile(const char* name, const std::string& content);

// Ends the run with a report on standard error when the state breaks an invariant.
void AbortOnBrokenInvariant(const EditorState& s, const char* when, long cycle);

}  // namespace ostrel::fuzz
