// The process-wide part of the editor's signal handling. Handlers only note which signal came;
// reads are not restarted, so a read that a signal interrupts returns, and the command loop
// acts on the noted signal in normal context. A signal that arrives while a file is written or
// read is acted on at the next read, so no file is ever left half-written by one.
#pragma once

namespace ostrel {

// Installs the handlers of SIGHUP, SIGTERM and SIGINT (no SA_RESTART) and ignores SIGPIPE and
// SIGXFSZ, so that output that can no longer be written and a file-size limit show as failed
// writes instead of ending the editor.
void InstallSignalHandlers();

// The signal noted and not yet taken, 0 when none. A signal that ends the editor (SIGHUP,
// SIGTERM) outranks a pending SIGINT.
int PendingSignal();

// Waits until `fd` has something to read or a noted signal is pending, with no gap between the
// look at the noted signal and the wait in which a signal could slip by. False when a signal
// is pending.
bool WaitForInput(int fd);

// Notes `sig` as if it had arrived: standard output that fails is taken as SIGPIPE.
void NoteSignal(int sig);

// PendingSignal, which is then forgotten.
int TakeSignal();

// Ends the process by `sig` with its default action, so that the parent sees the usual status.
[[noreturn]] void EndBySignal(int sig);

// While it lives, SIGPIPE and SIGXFSZ have their default action, so that a command the editor
// launches starts with them as any program would.
class DefaultWriteSignals {
 public:
  DefaultWriteSignals();
  ~DefaultWriteSignals();
  DefaultWriteSignals(const DefaultWriteSignals&) = delete;
  DefaultWriteSignals& operator=(const DefaultWriteSignals&) = delete;

 private:
  void (*pipe_)(int);
  void (*size_)(int);
};

}  // namespace ostrel
