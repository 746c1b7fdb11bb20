#include "console/signals.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace ostrel {
namespace {

// The one piece of state a handler may touch.
volatile std::sig_atomic_t pending = 0;

extern "C" void NoteInHandler(int sig) {
  if (pending == 0 || pending == SIGINT) pending = sig;
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
  sigset_t noted;
  sigset_t old;
  sigemptyset(&noted);
  for (const int sig : {SIGHUP, SIGTERM, SIGINT}) sigaddset(&noted, sig);
  sigprocmask(SIG_BLOCK, &noted, &old);
  while (pending == 0) {
    struct pollfd p {
      fd, POLLIN, 0
    };
    // The noted signals are let in only while ppoll waits.
    const int ready = ppoll(&p, 1, nullptr, &old);
    if (ready > 0 || (ready < 0 && errno != EINTR)) break;  // a failure is the read's to report
  }
  const bool input = pending == 0;
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return input;
}

void NoteSignal(int sig) {
  NoteInHandler(sig);
}

int TakeSignal() {
  // Blocked meanwhile, so that a signal arriving between the look and the reset is not lost.
  sigset_t all;
  sigset_t old;
  sigemptyset(&all);
  for (const int sig : {SIGHUP, SIGTERM, SIGINT}) sigaddset(&all, sig);
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

DefaultWriteSignals::DefaultWriteSignals()
    : pipe_(std::signal(SIGPIPE, SIG_DFL)), size_(std::signal(SIGXFSZ, SIG_DFL)) {}

DefaultWriteSignals::~DefaultWriteSignals() {
  (void)std::signal(SIGPIPE, pipe_);
  (void)std::signal(SIGXFSZ, size_);
}

}  // namespace ostrel
