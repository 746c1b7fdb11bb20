// The console's output side: the editor's output is gathered here and written to its
// descriptor in large pieces, at every read and when asked.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/sys_result.h"
#include "console/format.h"

namespace ostrel {

// How bytes that come from outside the editor (the document, file names, the launch command,
// answers, keys from the settings file) reach the output. Through a pipe or into a file they
// pass as they are; on a terminal, control bytes are shown in caret form so that a document
// cannot send the terminal escape sequences.
enum class OutputMode { kRaw, kVisible };

// kVisible when `fd` is a terminal, kRaw otherwise.
OutputMode OutputModeOf(int fd);

// The one visible-form function: appends `bytes` in caret form: every C0 control byte except
// tab becomes '^' and the byte plus 0x40 (ESC is "^[", CR "^M"), DEL becomes "^?"; every other
// byte, 0x80 and above included, is kept.
void AppendVisible(std::string& out, std::string_view bytes);

// Appends outside bytes as `mode` shows them.
void AppendText(std::string& out, std::string_view bytes, OutputMode mode);

// Appends `format` with its arguments filled in (see console/format.h); %s arguments are
// outside bytes, shown as `mode` shows them.
void AppendFormatted(std::string& out, const char* format, const format::Arg* args,
                     OutputMode mode);

// Output not yet written, and the descriptor it goes to. It never reads input.
class OutputBuffer {
 public:
  OutputBuffer(int fd, OutputMode mode) : fd_(fd), mode_(mode) {}

  OutputMode mode() const { return mode_; }
  // What is waiting to be written.
  std::string_view Pending() const { return pending_; }
  // Where the pending output's last line begins: after its last newline, or at 0.
  std::size_t LastLineStart() const;

  void Append(std::string_view text) { pending_.append(text); }
  // Forgets what is waiting, which somebody else has shown.
  void Drop() { pending_.clear(); }

  // Writes the first `count` pending bytes, which then leave the buffer. A descriptor that does
  // not block its writes is waited for. False when some could not be written: a write cut short
  // by a signal leaves the rest for the signal to be acted on; a terminal that went away is
  // noted as a hangup, and a pipe nobody reads as SIGPIPE where its default was in force at the
  // start; any other failure (no room, an I/O error, that pipe where SIGPIPE was ignored) is
  // noted as kOutputFailed, kept in result(), and nothing is written any more.
  bool Send(std::size_t count);

  // The start ignored SIGPIPE: a pipe nobody reads is a failure like any other.
  void SetPipeSignalIgnored(bool ignored) { pipe_ignored_ = ignored; }
  // How writing went: the failure that made the output fail for good, if one did.
  const SysResult<>& result() const { return result_; }

 private:
  int fd_;
  OutputMode mode_;
  std::string pending_;
  bool stuck_ = false;  // a write was cut short by a signal
  bool pipe_ignored_ = false;
  SysResult<> result_;
};

}  // namespace ostrel
