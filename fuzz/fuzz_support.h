// Helpers shared by the fuzz targets: an output stream that discards everything, and a scratch
// directory that the targets work in.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/invariants.h"

namespace ostrel::fuzz {

// A stream that accepts and drops every byte, so the editor's output costs no system calls.
std::FILE* NullOutput();

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
