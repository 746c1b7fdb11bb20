#include "console/signals.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace ostrel {
namespace {

// The two pieces of state a handler may touch: the noted signal, and the terminal signals
// noted (one bit each, in the order of kTerminal).
volatile std::sig_atomic_t pending = 0;
volatile std::sig_atomic_t terminal_noted = 0;

// In the order they are acted on.
constexpr int kTerminal[] = {SIGQUIT, SIGTSTP, SIGCONT, SIGWINCH};

extern "C" void NoteInHandler(int sig) {
  if (pending == 0 || pending == SIGINT) pending = sig;
}

// Runs with every terminal signal blocked (sa_mask), so no other handler changes the bits
// meanwhile.
extern "C" void NoteTerminalInHandler(int sig) {
  for (int i = 0; i < 4; ++i) {
    if (kTerminal[i] == sig) terminal_noted = terminal_noted | (1 << i);
  }
}

// The noted signals, with the terminal signals when `terminal`.
sigset_t Noted(bool terminal) {
  sigset_t set;
  sigemptyset(&set);
  for (const int sig : {SIGHUP, SIGTERM, SIGINT}) sigaddset(&set, sig);
  if (terminal) {
    for (const int sig : kTerminal) sigaddset(&set, sig);
  }
  return set;
}

// Forgets `sig` among the terminal signals noted, if it is there.
void Forget(int sig) {
  const sigset_t all = Noted(true);
  sigset_t old;
  sigprocmask(SIG_BLOCK, &all, &old);
  for (int i = 0; i < 4; ++i) {
    if (kTerminal[i] == sig) terminal_noted = terminal_noted & ~(1 << i);
  }
  sigprocmask(SIG_SETMASK, &old, nullptr);
}

struct sigaction TerminalAction() {
  struct sigaction action {};
  action.sa_handler = NoteTerminalInHandler;
  action.sa_mask = Noted(true);
  action.sa_flags = SA_RESTART;
  return action;
}

}  // namespace

void InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = NoteInHandler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked read returns
  for (const int sig : {SIGHUP, SIGTERM, SIGINT}) sigaction(sig, &action, nullptr);
  (void)std::signal(SIGPIPE, SIG_IGN);
  (void)std::signal(SIGXFSZ, SIG_IGN);
}

int PendingSignal() {
  return pending;
}

bool WaitForInput(int fd) {
  const sigset_t noted = Noted(true);
  sigset_t old;
  sigprocmask(SIG_BLOCK, &noted, &old);
  while (pending == 0 && terminal_noted == 0) {
    struct pollfd p {
      fd, POLLIN, 0
    };
    // The noted signals are let in only while ppoll waits.
    const int ready = ppoll(&p, 1, nullptr, &old);
    if (ready > 0 || (ready < 0 && errno != EINTR)) break;  // a failure is the read's to report
  }
  const bool input = pending == 0 && terminal_noted == 0;
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return input;
}

void NoteSignal(int sig) {
  NoteInHandler(sig);
}

int TakeSignal() {
  // Blocked meanwhile, so that a signal arriving between the look and the reset is not lost.
  const sigset_t all = Noted(false);
  sigset_t old;
  sigprocmask(SIG_BLOCK, &all, &old);
  const int sig = pending;
  pending = 0;
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return sig;
}

void EndBySignal(int sig) {
  (void)std::signal(sig, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, sig);
  sigprocmask(SIG_UNBLOCK, &one, nullptr);
  (void)std::raise(sig);
  _exit(128 + sig);  // only if the signal's default action does not end the process
}

TerminalSignals::TerminalSignals() : former_{} {
  const struct sigaction action = TerminalAction();
  for (int i = 0; i < 4; ++i) sigaction(kTerminal[i], &action, &former_[i]);
}

TerminalSignals::~TerminalSignals() {
  for (int i = 0; i < 4; ++i) sigaction(kTerminal[i], &former_[i], nullptr);
  // Resizes and continuations are of no use without the line editor's mode.
  const int sig = TakeTerminalSignal();
  terminal_noted = 0;
  if (sig == SIGQUIT || sig == SIGTSTP) (void)std::raise(sig);
}

int TakeTerminalSignal() {
  int sig = 0;
  for (int i = 0; i < 4 && sig == 0; ++i) {
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

DefaultWriteSignals::DefaultWriteSignals()
    : pipe_(std::signal(SIGPIPE, SIG_DFL)), size_(std::signal(SIGXFSZ, SIG_DFL)) {}

DefaultWriteSignals::~DefaultWriteSignals() {
  (void)std::signal(SIGPIPE, pipe_);
  (void)std::signal(SIGXFSZ, size_);
}

}  // namespace ostrel
