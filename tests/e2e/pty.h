// Runs the built editor on a fresh pseudo-terminal (through the process harness, process.h), so
// tests can type at it, read what it shows, send it signals or hang the terminal up, and collect
// its exit.
//
//   Sandbox box;
//   Terminal t(box, {.args = {"notes.txt"}, .echo = false});
//   ASSERT_TRUE(t.WaitFor("  > "));  // the first prompt
//   t.Mark();
//   t.Send("hello\n");
//   ASSERT_TRUE(t.WaitFor("  > "));  // looks only at output after the mark
//   t.Send("q\nq\n");
//   EXPECT_EQ(t.Wait().status(), 0);
//
// The editor's standard input, output and error are the terminal; it is a session leader with
// the terminal as its controlling terminal, in the working directory of the Sandbox. The
// terminal starts in canonical mode with ISIG: "\x03" sends SIGINT to the editor, "\x04" at the
// start of a line is end of input, and a line is delivered only when its "\n" is sent (at most
// 4095 bytes per line).
//
// Output translation: ONLCR is off by default, so Output() holds exactly the bytes the editor
// wrote and compares directly with a piped run's output. With `.onlcr = true` the terminal
// turns "\n" into "\r\n" as a real one does; compare through CrLfToLf() then. With ECHO on
// (the default), typed input is echoed into Output() as the terminal receives it.
//
// Waiting never asserts on time: WaitFor() and Wait() give up only after a generous safety
// timeout. Output is collected only while a call of this class runs (WaitFor, Send, Wait);
// between calls the editor may block on a full terminal buffer, which the next call drains.
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/harness.h"
#include "e2e/process.h"

namespace ostrel::e2e {

// The prompt the editor shows when it waits for a command: what terminal runs wait for.
inline const std::string kPrompt = "  > ";

struct TerminalPlan {
  // Contents of the settings file; nullopt leaves the directory without one.
  std::optional<std::string> settings;
  std::vector<std::string> args;
  // When not empty, `sh -c` runs this script instead, with the editor's path as "$0" (`args`
  // unused); the shell is then the session leader.
  std::string shell;
  std::map<std::string, std::string> files;  // created in the directory before the start
  std::string term = "xterm";                // TERM in the editor's environment
  std::map<std::string, std::string> env;    // set in the inherited environment (after TERM)
  bool echo = true;                          // the terminal echoes what is typed
  bool onlcr = false;                        // output "\n" becomes "\r\n"
  unsigned short rows = 24;
  unsigned short cols = 80;
};

// How the editor ended.
using TerminalExit = ProcessExit;

class Terminal {
 public:
  // Writes the plan's settings and files into `box` and starts the editor there. Throws
  // std::runtime_error when the terminal cannot be made or the process not started.
  Terminal(const Sandbox& box, const TerminalPlan& plan);
  // Kills (SIGKILL) and reaps an editor still running; closes the terminal.
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // Types the bytes (control characters included). False when the terminal is gone or would
  // not take them within the safety timeout.
  bool Send(std::string_view bytes);
  // Reads until `text` appears in the output since the mark; false at the timeout or when
  // the terminal is hung up without it. Does not move the mark.
  bool WaitFor(std::string_view text, double timeout_seconds = 10);
  // Everything read from the terminal so far.
  const std::string& Output() const { return out_; }
  // Output read from now on is "since the mark".
  void Mark() { mark_ = out_.size(); }
  // Output after the last `text` read so far is "since the mark"; without one, as Mark().
  void MarkAfterLast(std::string_view text) {
    const auto at = out_.rfind(text);
    mark_ = at == std::string::npos ? out_.size() : at + text.size();
  }
  std::string OutputSinceMark() const { return out_.substr(mark_); }

  void Kill(int sig);
  // True once the editor sleeps waiting for input (in a read or a poll), the output drained
  // meanwhile; false when it ended first or at the timeout. Where nothing printed shows that
  // the editor reads, this is the wait before the next keys or signal.
  bool WaitUntilReading(double timeout_seconds = 10);
  // As WaitUntilReading, and the wait has no time limit: the work of a pause (the idle write of
  // the rescue file) is done, or none is due.
  bool WaitUntilReadingWithoutTimeLimit(double timeout_seconds = 10);
  // True once a process the editor started, named `name`, sleeps (the output drained
  // meanwhile); false at the timeout.
  bool WaitUntilDescendantSleeps(std::string_view name, double timeout_seconds = 10);
  // Closes our side of the terminal: the editor sees a hangup (SIGHUP, then end of input and
  // failing writes). Output() keeps what was read before.
  void CloseMaster();
  // Waits for the editor to end, reading its output meanwhile (and after, until the terminal
  // has nothing left). At the timeout it is killed with SIGKILL and `timed_out` is set.
  // Later calls return the same result.
  TerminalExit Wait(double timeout_seconds = 10);
  pid_t pid() const;

 private:
  // Reads what is there, waiting up to `wait_ms` for something; false once hung up.
  bool Pump(int wait_ms);

  int master_ = -1;
  std::unique_ptr<Process> process_;
  std::string out_;
  std::size_t mark_ = 0;
};

// `text` with every "\r\n" made "\n".
std::string CrLfToLf(std::string_view text);

}  // namespace ostrel::e2e
