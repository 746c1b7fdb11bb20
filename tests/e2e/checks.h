// What the end-to-end test files share: GoogleTest and the matchers they use, the system and
// stream headers most of them need, the harnesses that run the editor through pipes (harness.h)
// and on a terminal (pty.h), the file readers and the default settings file (documents.h), and the
// checks many of them make of a run.
#pragma once

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/harness.h"
#include "e2e/pty.h"
#include "support/documents.h"

namespace ostrel::e2e {

namespace fs = std::filesystem;
using test::DefaultSettingsText;
using test::FileText;
using test::ReadFile;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// Files of a directory by name, with their text.
using Files = std::map<std::string, std::string>;
// Names of a directory's entries, as Entries gives them.
using Names = std::set<std::string>;
// Lines, arguments, or pieces of output in order.
using Strings = std::vector<std::string>;

// Input that quits (the second 'q' confirms), and what the editor asks before.
inline const std::string kQuit = "q\nq\n";
inline const std::string kQuitPrompt = "Enter 'q' again to quit or anything else to continue\n";
// The open command's question, and the one before a load that cannot take the whole file.
inline const std::string kOpenPrompt =
    "Enter a filename to open a new file and discard the buffer in memory\n"
    "Enter 's' to first save the current buffer in memory\n"
    "Enter 'x' to not open a file and return\n";
inline const std::string kPartialLoadQuestion =
    "Do you wish to continue (Y,n)?\n"
    "If not, restart with more lines by editing the .vazaru_da file.\n";

// Types `keys` at the terminal and waits for `cue`: true when both happened (each is checked).
inline bool Typed(Terminal& t, std::string_view keys, std::string_view cue) {
  const bool sent = t.Send(keys);
  EXPECT_TRUE(sent) << "could not type " << keys;
  const bool seen = sent && t.WaitFor(cue);
  EXPECT_TRUE(seen || !sent) << "never shown: " << cue;
  return seen;
}

// The run ended by itself (no timeout) with exit status `status`, having written `err` (by
// default nothing) on standard error.
inline void ExpectEnded(const RunResult& r, int status = 0, const std::string& err = "") {
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.err, err);
  EXPECT_EQ(r.status, status);
}

// Directory `dir` holds the `files`, each with its text, and besides them only `others`.
inline void ExpectHolds(const std::string& dir, const Files& files, Names others = {}) {
  for (const auto& [name, text] : files) {
    EXPECT_EQ(FileText(dir + "/" + name), text) << name;
    others.insert(name);
  }
  EXPECT_EQ(Entries(dir), others);
}

// For INSTANTIATE_TEST_SUITE_P: each instance is named after its row's `name`.
inline constexpr auto RowName = [](const auto& info) { return std::string(info.param.name); };

// For RunPlan::in_child: standard output becomes a full device.
inline void OutputToDevFull() {
  const int fd = open("/dev/full", O_WRONLY);
  if (fd >= 0) dup2(fd, 1);
}

// How many times `piece` occurs in `text`, overlaps counted.
inline int Count(const std::string& text, const std::string& piece) {
  int n = 0;
  for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// One run of the editor in a sandbox of its own, and what it must show and leave.
struct RunCase {
  const char* name;
  RunPlan plan;
  int status = 0;                       // as ExpectEnded checks, nothing on standard error
  Strings dirs = {};                    // empty folders made first, which the run leaves so
  Strings fifos = {};                   // FIFOs made first
  Strings shown = {};                   // pieces of the output
  Strings hidden = {};                  // pieces the output must not hold
  std::optional<std::string> out = {};  // the whole output
  std::string ends = "";                // how the output ends
  std::string view = "";                // how the last view (LastView) starts
  std::map<std::string, std::optional<std::string>> left = {};  // texts of files; nullopt: none
};

// A failed instance names its case instead of dumping its bytes.
inline void PrintTo(const RunCase& c, std::ostream* os) {
  *os << c.name;
}

// Runs `c` and checks all it names; returns the run, whose folder is gone by then.
inline RunResult ExpectRun(const RunCase& c) {
  SCOPED_TRACE(c.name);
  Sandbox box;
  for (const auto& dir : c.dirs) EXPECT_TRUE(fs::create_directory(box.Path(dir))) << dir;
  for (const auto& fifo : c.fifos) EXPECT_EQ(mkfifo(box.Path(fifo).c_str(), 0600), 0) << fifo;
  const auto r = box.Run(c.plan);
  ExpectEnded(r, c.status);
  for (const auto& piece : c.shown) EXPECT_THAT(r.out, HasSubstr(piece));
  for (const auto& piece : c.hidden) EXPECT_THAT(r.out, Not(HasSubstr(piece)));
  if (c.out) {
    EXPECT_EQ(r.out, *c.out);
  }
  if (!c.ends.empty()) {
    EXPECT_THAT(r.out, EndsWith(c.ends));
  }
  if (!c.view.empty()) {
    EXPECT_THAT(LastView(r.out), StartsWith(c.view));
  }
  for (const auto& [name, text] : c.left) EXPECT_EQ(r.File(name), text) << name;
  for (const auto& dir : c.dirs) {
    EXPECT_TRUE(fs::is_directory(box.Path(dir)) && fs::is_empty(box.Path(dir))) << dir;
  }
  return r;
}

// The tests of RunCase tables: a file instantiates Runs with its table (prefixed with the name
// of its suite), and the one body of these tests, in files_test.cpp, runs ExpectRun on a case.
class Runs : public ::testing::TestWithParam<RunCase> {};

}  // namespace ostrel::e2e
