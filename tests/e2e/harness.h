// Runs the built editor in a fresh temporary directory with scripted standard input, and
// collects its standard output, standard error, exit status and the files it leaves.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace ostrel::e2e {

struct RunPlan {
  // Contents of the settings file; nullopt leaves the directory without one.
  std::optional<std::string> settings;
  std::vector<std::string> args;
  // When not empty, `sh -c` runs this script instead, with the editor's path as "$0" (`args`
  // unused), as TerminalPlan does.
  std::string shell;
  std::string input;
  std::map<std::string, std::string> files;  // created in the directory before the run
  bool input_from_file = false;              // standard input from a regular file, not a pipe
  std::function<void()> in_child;            // runs in the child just before exec
  bool in_child_calls_only = false;          // as ProcessPlan::calls_only says
  std::map<std::string, std::string> env;    // set in the editor's environment
  bool as_ordinary_user = false;             // the editor runs as AsOrdinaryUser makes it
  double timeout_seconds = 20;
};

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or 128+signal when killed
  bool timed_out = false;
  long max_rss_kb = 0;  // the editor's peak resident memory
  std::string dir;      // the run's directory (kept until the Sandbox is destroyed)

  std::optional<std::string> File(const std::string& name) const;
};

// A scratch directory (dir(), Path(), Write()) that lives as long as the object, in which the
// editor runs.
class Sandbox : public test::ScratchDir {
 public:
  RunResult Run(const RunPlan& plan) const;
  // The text of file `name` in the directory, or nullopt when there is none.
  std::optional<std::string> File(const std::string& name) const;
};

// The user an editor run as root changes to with AsOrdinaryUser.
inline constexpr unsigned kNobody = 65534;
// A second ordinary user, whom root makes the owner of what "another user" plants.
inline constexpr unsigned kOther = 65533;

// In a child about to run the editor as an ordinary user: as root, gives up root first, since
// root may read and write where a test means the editor may not. It makes system calls only.
void AsOrdinaryUser();

// Why the editor cannot run as an ordinary user here (kNobody, as root), or nullopt when it can.
// As root those runs start a copy of the editor in a folder that only root may write and
// everyone may enter: the built one may sit under a folder that only its owner may enter.
std::optional<std::string> CannotRunAsOrdinaryUser();

// The path of the editor that a run starts: that copy for a run as an ordinary user as root.
std::string EditorPath(bool as_ordinary_user = false);

// For RunPlan::in_child: the editor's standard input is a pipe that holds `before`; once its
// output shows `cue`, `meanwhile` runs (in a helper process, as the test's user) and `after`
// follows, then the end of input. The output still reaches the run's file.
std::function<void()> Staged(const std::string& before, const std::string& cue,
                             const std::function<void()>& meanwhile, const std::string& after);

// Runs once in a sandbox of its own; the directory is removed afterwards, so only `out`,
// `err` and `status` are of use.
RunResult RunEditor(const RunPlan& plan);

// Calls run(0) ... run(count - 1), on up to `threads` threads at once: for runs that mostly wait
// (for the disk, or for the editor's pauses). Checks may fail in any of them.
void InParallel(std::size_t count, std::size_t threads,
                const std::function<void(std::size_t)>& run);

// The names in directory `dir`.
std::set<std::string> Entries(const std::string& dir);

// A settings file with the given lines appended to nothing else.
std::string Settings(const std::vector<std::string>& lines);

// The startup output up to and including the hint, for the default settings file read.
std::string StartupOutput(const std::string& help_key = "h", const std::string& quit_key = "q");

// The text after the last view's header for the last cycle, i.e. everything following the
// last "\nEditing " (header line included).
std::string LastView(const std::string& out);

}  // namespace ostrel::e2e
