// The editor's process-wide signal policy. Handlers only note which signal came; reads and waits
// are not restarted, so one that a signal interrupts returns, and the command loop acts on the
// noted signal in normal context. A signal that arrives while a file is written or read is acted
// on at the next read, so no file is ever left half-written by one. The console asks this room
// to wait for input; the line editor asks it to note the terminal signals while it reads; the
// launch command starts with the actions any program starts with.
#pragma once

#include <sys/types.h>

#include <csignal>

namespace ostrel {

// What the editor was started with.
struct StartSignals {
  // The program that started the editor ignores SIGPIPE: a closed pipe is then a failed write
  // to report, not the end by SIGPIPE that the default would bring.
  bool pipe_ignored = false;
};

// Installs the handlers of SIGHUP, SIGTERM, SIGQUIT and SIGINT (no SA_RESTART; each runs with
// the other noted signals blocked, so none is lost to another) and ignores SIGPIPE and SIGXFSZ,
// so that output that can no longer be written and a file-size limit show as failed writes
// instead of ending the editor.
StartSignals InstallSignalHandlers();

// Noted in place of a signal when standard output fails for good (no room, an I/O error, a
// closed pipe whose signal the starting program ignores): every read is cut short, as by a
// signal that ends the editor, and it outranks every signal but none replaces it.
inline constexpr int kOutputFailed = -1;

// The signal noted and not yet taken, 0 when none. A signal that ends the editor (SIGHUP,
// SIGTERM, SIGQUIT) outranks a pending SIGINT.
int PendingSignal();

// Notes `sig` as if it had arrived (standard output that fails is taken as SIGPIPE or SIGHUP),
// with the noted signals blocked meanwhile.
void NoteSignal(int sig);

// PendingSignal, which is then forgotten.
int TakeSignal();

// Ends the process by `sig` with its default action, so that the parent sees the usual status.
// No core file is written (it would hold the document): a quit ends as a termination does.
[[noreturn]] void EndBySignal(int sig);

// How a wait for input ended.
enum class WaitResult {
  kReady,     // the descriptor can be read without waiting (input, its end, or an error)
  kSignal,    // a noted signal or a terminal signal (below) is pending
  kTimedOut,  // the time given passed first
};

// Waits until `fd` can be read, a signal is pending or `timeout_ms` milliseconds have passed
// (a negative timeout waits as long as it takes). There is no gap between the look at the
// noted signals and the wait in which a signal could slip by: they are let in only while the
// wait lasts. Costs three system calls, whatever the timeout.
WaitResult WaitForInput(int fd, int timeout_ms = -1);

// As WaitForInput, until `fd` can be written: for an output that does not block its writes.
WaitResult WaitForOutput(int fd);

// While the line editor holds the terminal in its own mode, a stop (Ctrl-Z), the continuation
// after one, a window resize and a quit (Ctrl-\) need it to act: while a TerminalSignals
// lives, SIGTSTP, SIGCONT, SIGWINCH and SIGQUIT only note that they came (with SA_RESTART, so
// that output is not cut short; the key wait is cut short all the same), and the key wait acts
// on them. Nothing is sent on to other processes. When it ends, their former actions are back,
// and a stop or quit noted but not acted on is raised again then, with the terminal back in its
// normal mode: a stop stops the editor, a quit is noted as InstallSignalHandlers notes it.
inline constexpr int kTerminalSignalCount = 4;

class TerminalSignals {
 public:
  TerminalSignals();
  ~TerminalSignals();
  TerminalSignals(const TerminalSignals&) = delete;
  TerminalSignals& operator=(const TerminalSignals&) = delete;

 private:
  struct sigaction former_[kTerminalSignalCount];
};

// The terminal signal noted and not yet taken, which is then forgotten; 0 when none. A quit
// comes before a stop, a stop before a continuation (which a stop's own continuation answers),
// and a continuation before a resize.
int TakeTerminalSignal();

// Stops the process by SIGTSTP with its default action, as the terminal's Ctrl-Z would have
// stopped it; returns when it is continued. A continuation noted meanwhile is forgotten.
void StopByTerminal();

// The signals a launched command starts with at their default action, whatever the editor does
// with them: the write signals it ignores, the ones it notes, and the keyboard's.
sigset_t CommandDefaults();

// While a launched command runs from a terminal, Ctrl-C and Ctrl-\ are the command's: the
// editor ignores SIGINT and SIGQUIT while a CommandSignals made with `keys_to_command` lives,
// and takes up its own actions again after. Made without, it changes nothing: the two are
// noted, and WaitForChild keeps them for when the command has ended.
class CommandSignals {
 public:
  explicit CommandSignals(bool keys_to_command);
  ~CommandSignals();
  CommandSignals(const CommandSignals&) = delete;
  CommandSignals& operator=(const CommandSignals&) = delete;

 private:
  struct sigaction interrupt_ {};
  struct sigaction quit_ {};
};

// Waits for the child `pid` to end, and reaps it: true. False when a noted signal (a hangup or
// termination) comes first: the child is left running, and the signal is the caller's to act
// on. A SIGINT or SIGQUIT noted meanwhile waits for the child, and is noted again once it has
// ended, as if it came then. A signal cannot slip in between the look and the wait.
bool WaitForChild(pid_t pid);

}  // namespace ostrel
