// Helpers shared by the fuzz targets: descriptors for the console's input and output (read and
// written as the editor reads and writes its own), and a scratch directory that the targets
// work in.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// A directory that every run finds as the first run did: holding the files it is given and
// nothing else. What a run added is removed; a given file is written again only when a run
// changed it (its content, mode, owner, times or links) or it is to hold something else, so a
// run that leaves the files alone costs a few system calls and no writes. Each written file
// stays open here: its inode cannot pass to another file while it is held, and its content is
// read back through it.
class Workspace {
 public:
  // Opens `path`, an existing directory; the process ends when it cannot.
  explicit Workspace(const char* path);
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // Makes the directory hold exactly `files`, each named and with its content.
  void Prepare(const std::vector<std::pair<const char*, std::string_view>>& files);

 private:
  struct Kept {
    std::string name;
    std::string content;
    int fd = -1;
    struct stat st {};
  };
  // Removes `name` from the directory, with all it holds when it is a directory.
  void Remove(const char* name);
  Kept* Find(std::string_view name);
  bool Unchanged(const Kept& file, std::string_view content);
  void Write(Kept& file, std::string_view content);

  std::string path_;
  DIR* dir_;
  int dir_fd_;
  std::vector<Kept> kept_;
  std::string read_back_;
};

// Ends the run with a report on standard error when the state breaks an invariant.
void AbortOnBrokenInvariant(const EditorState& s, const char* when, long cycle);

}  // namespace ostrel::fuzz
