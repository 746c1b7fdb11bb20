#include "signals/signals.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <initializer_list>

#include "common/platform.h"

namespace ostrel {
namespace {

// The two pieces of state a handler may touch: the noted signal, and the terminal signals
// noted (one bit each, in the order of kTerminal).
volatile std::sig_atomic_t pending = 0;
volatile std::sig_atomic_t terminal_noted = 0;

// In the order they are acted on.
constexpr int kTerminal[kTerminalSignalCount] = {SIGQUIT, SIGTSTP, SIGCONT, SIGWINCH};

// The noted signals, with the terminal signals when `terminal`.
sigset_t Noted(bool terminal) {
  sigset_t set;
  sigemptyset(&set);
  for (const int sig : {SIGHUP, SIGTERM, SIGQUIT, SIGINT}) sigaddset(&set, sig);
  if (terminal) {
    for (const int sig : kTerminal) sigaddset(&set, sig);
  }
  return set;
}

// Blocks the noted signals (with the terminal signals when `terminal`) while it lives, so that
// normal code reads and changes the handlers' state as one step.
class Blocked {
 public:
  explicit Blocked(bool terminal) {
    const sigset_t set = Noted(terminal);
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~Blocked() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  Blocked(const Blocked&) = delete;
  Blocked& operator=(const Blocked&) = delete;
  const sigset_t& old() const { return old_; }

 private:
  sigset_t old_{};
};

// Runs with every noted and terminal signal blocked (sa_mask), so no other handler changes the
// flag between the look and the write.
extern "C" void NoteInHandler(int sig) {
  if (pending == 0 || (pending == SIGINT && sig != SIGINT)) pending = sig;
}

extern "C" void NoteTerminalInHandler(int sig) {
  for (int i = 0; i < kTerminalSignalCount; ++i) {
    if (kTerminal[i] == sig) terminal_noted = terminal_noted | (1 << i);
  }
}

// Forgets `sig` among the terminal signals noted, if it is there.
void Forget(int sig) {
  const Blocked blocked(true);
  for (int i = 0; i < kTerminalSignalCount; ++i) {
    if (kTerminal[i] == sig) terminal_noted = terminal_noted & ~(1 << i);
  }
}

struct sigaction Action(void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_mask = Noted(true);
  action.sa_flags = flags;
  return action;
}

// Milliseconds from `from` to `to`, at least 0.
long long MillisecondsBetween(const timespec& from, const timespec& to) {
  const long long ms = (to.tv_sec - from.tv_sec) * 1000LL + (to.tv_nsec - from.tv_nsec) / 1000000;
  return ms > 0 ? ms : 0;
}

// Waits until `fd` can be read (or written, with `output`) or `timeout` (none when null) has
// passed, with the signal mask `mask` only while it waits. Returns as poll does: above 0 ready,
// 0 timed out, below 0 failed.
int WaitLettingIn(int fd, bool output, const timespec* timeout, const sigset_t& mask) {
#if OSTREL_HAVE_PPOLL
  pollfd p{fd, static_cast<short>(output ? POLLOUT : POLLIN), 0};
  return ppoll(&p, 1, timeout, &mask);
#else
  // pselect waits the same way. A descriptor it cannot take is left to the read or write,
  // which then waits, or fails, by itself.
  if (fd < 0 || fd >= FD_SETSIZE) return 1;
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(fd, &ready);
  return pselect(fd + 1, output ? nullptr : &ready, output ? &ready : nullptr, nullptr, timeout,
                 &mask);
#endif
}

// WaitForInput, for reading or (with `output`) writing.
WaitResult WaitFor(int fd, bool output, int timeout_ms) {
  timespec deadline{};
  if (timeout_ms >= 0) {
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeout_ms / 1000;
    deadline.tv_nsec += (timeout_ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      ++deadline.tv_sec;
      deadline.tv_nsec -= 1000000000L;
    }
  }
  const Blocked blocked(true);
  WaitResult result = WaitResult::kSignal;
  while (pending == 0 && terminal_noted == 0) {
    timespec left{};
    if (timeout_ms >= 0) {
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      const long long ms = MillisecondsBetween(now, deadline);
      left = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    }
    // The noted signals are let in only while the wait lasts.
    const int ready = WaitLettingIn(fd, output, timeout_ms >= 0 ? &left : nullptr, blocked.old());
    if (ready > 0 || (ready < 0 && errno != EINTR)) {  // a failure is the read's to report
      result = WaitResult::kReady;
      break;
    }
    if (ready == 0) {
      result = WaitResult::kTimedOut;
      break;
    }
  }
  return result;
}

}  // namespace

StartSignals InstallSignalHandlers() {
  const struct sigaction action =
      Action(NoteInHandler, 0);  // no SA_RESTART: a blocked read returns
  for (const int sig : {SIGHUP, SIGTERM, SIGQUIT, SIGINT}) sigaction(sig, &action, nullptr);
  StartSignals start;
  start.pipe_ignored = std::signal(SIGPIPE, SIG_IGN) == SIG_IGN;
  (void)std::signal(SIGXFSZ, SIG_IGN);
  return start;
}

int PendingSignal() {
  return pending;
}

WaitResult WaitForInput(int fd, int timeout_ms) {
  return WaitFor(fd, false, timeout_ms);
}

WaitResult WaitForOutput(int fd) {
  return WaitFor(fd, true, -1);
}

void NoteSignal(int sig) {
  const Blocked blocked(false);
  NoteInHandler(sig);
}

int TakeSignal() {
  // Blocked meanwhile, so that a signal arriving between the look and the reset is not lost.
  const Blocked blocked(false);
  const int sig = pending;
  pending = 0;
  return sig;
}

void EndBySignal(int sig) {
  // A quit would leave a core file holding the document in the current directory; with the
  // process undumpable not even a core handler gets one.
  const rlimit no_core{0, 0};
  (void)setrlimit(RLIMIT_CORE, &no_core);
  platform::ForbidCoreDumps();
  (void)std::signal(sig, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, sig);
  sigprocmask(SIG_UNBLOCK, &one, nullptr);
  (void)std::raise(sig);
  _exit(128 + sig);  // only if the signal's default action does not end the process
}

TerminalSignals::TerminalSignals() : former_{} {
  // SA_RESTART, so that output is not cut short; the key wait is cut short all the same.
  const struct sigaction action = Action(NoteTerminalInHandler, SA_RESTART);
  for (int i = 0; i < kTerminalSignalCount; ++i) sigaction(kTerminal[i], &action, &former_[i]);
}

TerminalSignals::~TerminalSignals() {
  for (int i = 0; i < kTerminalSignalCount; ++i) sigaction(kTerminal[i], &former_[i], nullptr);
  // Resizes and continuations are of no use without the line editor's mode.
  const int sig = TakeTerminalSignal();
  terminal_noted = 0;
  if (sig == SIGQUIT || sig == SIGTSTP) (void)std::raise(sig);
}

int TakeTerminalSignal() {
  int sig = 0;
  for (int i = 0; i < kTerminalSignalCount && sig == 0; ++i) {
    if ((terminal_noted & (1 << i)) != 0) sig = kTerminal[i];
  }
  if (sig != 0) Forget(sig);
  return sig;
}

void StopByTerminal() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  struct sigaction noting {};
  sigaction(SIGTSTP, &action, &noting);
  sigset_t one;
  sigset_t old;
  sigemptyset(&one);
  sigaddset(&one, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &one, &old);
  (void)std::raise(SIGTSTP);  // returns once continued
  sigprocmask(SIG_SETMASK, &old, nullptr);
  sigaction(SIGTSTP, &noting, nullptr);
  Forget(SIGCONT);  // the caller answers the continuation
}

sigset_t CommandDefaults() {
  sigset_t set = Noted(true);
  sigaddset(&set, SIGPIPE);
  sigaddset(&set, SIGXFSZ);
  return set;
}

CommandSignals::CommandSignals(bool keys_to_command) {
  struct sigaction ignore {};
  ignore.sa_handler = keys_to_command ? SIG_IGN : SIG_DFL;
  sigemptyset(&ignore.sa_mask);
  // Without the keys, the actions stay as they are and are only read here.
  sigaction(SIGINT, keys_to_command ? &ignore : nullptr, &interrupt_);
  sigaction(SIGQUIT, keys_to_command ? &ignore : nullptr, &quit_);
}

CommandSignals::~CommandSignals() {
  sigaction(SIGINT, &interrupt_, nullptr);
  sigaction(SIGQUIT, &quit_, nullptr);
}

namespace {

// Takes a SIGINT or SIGQUIT noted while a command runs, to be noted again once it has ended;
// `held` keeps the one that ends the editor over the one that may not. False when the pending
// signal is another (a hangup or termination), which is not taken.
bool HoldForCommand(int& held) {
  const int sig = PendingSignal();
  if (sig != SIGINT && sig != SIGQUIT) return false;
  (void)TakeSignal();
  if (held != SIGQUIT) held = sig;
  return true;
}

}  // namespace

// Where the system gives no descriptor for a child's end, one is made: a pipe that a SIGCHLD
// handler writes a byte into. Only the handler and the wait below touch it.
volatile std::sig_atomic_t child_pipe = -1;

extern "C" void NoteChildInHandler(int /*sig*/) {
  const int saved = errno;
  if (child_pipe >= 0) (void)!write(child_pipe, "", 1);
  errno = saved;
}

namespace {

// While it lives, a child's end makes read() a byte: the descriptor to wait on, or -1.
class ChildEndPipe {
 public:
  ChildEndPipe() {
    if (pipe(ends_) != 0) {
      ends_[0] = ends_[1] = -1;
      return;
    }
    for (const int fd : ends_) {
      fcntl(fd, F_SETFD, FD_CLOEXEC);
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    child_pipe = ends_[1];
    struct sigaction action {};
    action.sa_handler = NoteChildInHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &action, &former_);
  }
  ~ChildEndPipe() {
    if (ends_[0] < 0) return;
    sigaction(SIGCHLD, &former_, nullptr);
    child_pipe = -1;
    close(ends_[0]);
    close(ends_[1]);
  }
  ChildEndPipe(const ChildEndPipe&) = delete;
  ChildEndPipe& operator=(const ChildEndPipe&) = delete;
  int fd() const { return ends_[0]; }
  // Empties the pipe, so that the next wait waits for the next child's end.
  void Drain() const {
    char bytes[64];
    while (read(ends_[0], bytes, sizeof bytes) > 0) {
    }
  }

 private:
  int ends_[2] = {-1, -1};
  struct sigaction former_ {};
};

}  // namespace

bool WaitForChild(pid_t pid) {
  int held = 0;
  int status = 0;
  bool ended = true;
  // A descriptor that becomes readable when the child ends, so that the wait is the one that
  // lets the noted signals in: the system's own, or else the pipe the child's end writes to.
  if (const int fd = platform::WatchChild(pid); fd >= 0) {
    WaitResult waited = WaitForInput(fd);
    while (waited == WaitResult::kSignal && HoldForCommand(held)) waited = WaitForInput(fd);
    close(fd);
    ended = waited == WaitResult::kReady;
    while (ended && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  } else if (const ChildEndPipe child_end; child_end.fd() < 0) {
    // Not even a pipe: a plain wait, which a noted signal cuts short.
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) break;  // no such child: nothing to wait for
      if (PendingSignal() != 0 && !HoldForCommand(held)) {
        ended = false;
        break;
      }
    }
  } else {
    for (;;) {
      // Looked at after the pipe is in place, so that no end slips by unseen.
      const pid_t reaped = waitpid(pid, &status, WNOHANG);
      if (reaped == pid || (reaped < 0 && errno != EINTR)) break;  // ended, or no such child
      if (reaped < 0) continue;
      const WaitResult waited = WaitForInput(child_end.fd());
      if (waited == WaitResult::kSignal && !HoldForCommand(held)) {
        ended = false;
        break;
      }
      child_end.Drain();
    }
  }
  if (held != 0) NoteSignal(held);
  return ended;
}

}  // namespace ostrel
