// The one process harness of the end-to-end tests: starts a program in a child process with its
// standard streams set up by the caller, waits for it against a deadline, tells when it sleeps
// waiting for input, and kills and reaps it when the object goes. The pipe runs (harness.*),
// the terminal runs (pty.*) and the README's typed session build on it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::e2e {

// A point in time that waits give up at.
class Deadline {
 public:
  explicit Deadline(double seconds);
  bool Passed() const { return std::chrono::steady_clock::now() >= at_; }

 private:
  std::chrono::steady_clock::time_point at_;
};

struct ProcessPlan {
  std::vector<std::string> argv;  // argv[0] is the program's path
  std::string dir;                // the working directory
  // The environment; nullopt inherits the test's.
  std::optional<std::vector<std::string>> env;
  // Runs in the child after the change of directory, just before exec: sets up the standard
  // streams and whatever else the run needs. It may call _exit to fail the start.
  std::function<void()> in_child;
  // `in_child` only makes system calls (it allocates nothing and takes no lock): the child then
  // borrows the test's memory until its exec instead of a copy, which costs a test with several
  // threads far less than a fork does.
  bool calls_only = false;
};

// How a process ended.
struct ProcessExit {
  bool exited = false;     // ended by exit(); `code` holds its status
  int code = -1;           //
  int signal = 0;          // the signal that killed it, when not exited
  bool timed_out = false;  // the wait gave up and killed it with SIGKILL
  long max_rss_kb = 0;     // its peak resident memory
  // The shell's view: the exit status, or 128 + signal.
  int status() const { return exited ? code : 128 + signal; }
};

class Process {
 public:
  // Forks and execs. Throws std::runtime_error when the fork fails; a child that cannot start
  // the program ends with status 126 (no directory) or 127 (no exec).
  explicit Process(const ProcessPlan& plan);
  // Kills (SIGKILL) and reaps a process still running.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  bool Ended() { return Reap(false); }
  void Kill(int sig);

  // Waits for the end, calling `meanwhile` between looks (to drain output, say); at the
  // deadline the process is killed with SIGKILL and `timed_out` set. Later calls return the
  // same result.
  ProcessExit Wait(const Deadline& deadline, const std::function<void()>& meanwhile = {});

  // True once the process sleeps waiting for input: asleep in a system call (a read or a
  // poll), and `input_taken` true, on several looks in a row. False when it ended first or the
  // deadline passed. `meanwhile` runs between looks.
  bool WaitUntilWaiting(const Deadline& deadline, const std::function<bool()>& input_taken = {},
                        const std::function<void()>& meanwhile = {});

 private:
  // Collects the exit when there is one (waiting for it with `block`); true once ended.
  bool Reap(bool block);

  pid_t pid_ = -1;
  std::optional<ProcessExit> exit_;
};

// The test's environment with `vars` set, as "NAME=VALUE" entries for ProcessPlan::env.
std::vector<std::string> InheritedEnvironmentWith(const std::map<std::string, std::string>& vars);

// The scheduling state letter of a process from /proc ('S' while it sleeps in a system call,
// 'R' while it runs); '?' when it is gone.
char ProcessState(pid_t pid);

// True while the process sleeps in a wait for input without a time limit (a poll without a
// timeout): nothing happens in it until input or a signal comes.
bool WaitsWithoutTimeLimit(pid_t pid);

// True once a descendant of `root` named `name` (as /proc shows it) sleeps; false when the
// deadline passes first. `meanwhile` runs between looks.
bool WaitForSleepingDescendant(pid_t root, std::string_view name, const Deadline& deadline,
                               const std::function<void()>& meanwhile = {});

}  // namespace ostrel::e2e
