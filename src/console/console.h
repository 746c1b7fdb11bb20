// The one seam to the terminal: every read of an answer and every byte of output goes through
// here. It joins the input side (console/input.h), the output side (console/output.h) and the
// bookkeeping of what a terminal shows (console/terminal.h); tests hand in descriptors of
// pipes or memory files instead of the process's standard input and output, and are read and
// written the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "console/format.h"
#include "console/input.h"
#include "console/output.h"
#include "console/terminal.h"

namespace ostrel {

class LineEditor;

// Size of the buffer that number answers are read into: at most 7 characters; the rest of a
// longer answer is thrown away.
inline constexpr int kNumberAnswerSize = 8;

// What a read is for: a command line, an answer to a question, or an answer that names a
// file. With line editing, command lines and answers each have their own history, and Tab
// completes file names only where a file is asked for.
enum class InputKind { kCommand, kAnswer, kFileName };

// How a read ended: with a line, at the end of input (or a read error), or interrupted by a
// signal the command loop has yet to act on.
enum class ReadOutcome { kLine, kEnd, kInterrupted };

// Reports a standard stream that failed on standard error, as "ostrel: WHAT: REASON": besides a
// usage error, the one thing the editor writes there.
void ReportFailedStream(const char* what, const SysError& error);

class Console {
 public:
  // Reads `in_fd` and writes `out_fd`, which stay open and the caller's. The output mode is
  // chosen here, once, from whether `out_fd` is a terminal.
  Console(int in_fd, int out_fd) : Console(in_fd, out_fd, OutputModeOf(out_fd)) {}
  // Whether the input is a terminal, and how it is read, is decided here too. A negative
  // `in_fd` is an input that has ended.
  Console(int in_fd, int out_fd, OutputMode mode);
  // Writes what is left of the output.
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // From now on lines are read with `editor` (a terminal at start-up; nullptr changes
  // nothing). Output after the last newline is then held back until the next read and becomes
  // the line editor's prompt, so that it can redraw it.
  void UseLineEditor(std::unique_ptr<LineEditor> editor);

  // From now on, when the input is a terminal, `work` is done in the pauses of every read (also
  // in the middle of a line typed with the line editor, which keeps that line). It must print
  // nothing and read no input. An IdleWork{} ends it.
  void WhenIdle(IdleWork work);

  // With a line editor: what is printed from here on (and each line typed after its prompt) is
  // the view that Ctrl-L draws again on a cleared screen, up to the next StartView.
  void StartView();

  // On a terminal (input and output), where a prompt or a half-typed line may leave the cursor
  // after text on its line: one newline, so that the terminal is left at the start of a line.
  // Output is flushed. Called when the editor ends.
  void FinishLine();

  // The reads below are the only ones there are. Each writes the output first, so that a
  // program driving the editor through a pipe sees the prompt before it answers. A read is
  // interrupted when a signal is pending before it starts or arrives while it waits, and when
  // standard output can no longer be written (noted as SIGPIPE); the input then reads normally
  // again afterwards.

  // Reads a piece of a command line with fgets semantics: at most limit-1 bytes, the newline
  // kept when it fits, whatever does not fit left in the input; a line cut by the limit is cut
  // before a UTF-8 character that does not fit whole (common/characters.h), which starts the
  // next read. On end of input (or a read error) with nothing read, buf becomes empty. A line
  // finished in the line editor is delivered by the same rules: what does not fit is read by
  // the next reads, before anything new is asked for. `goes_on` tells whether the input line
  // goes on after what was read: the read filled the buffer and the last byte is not the
  // newline, or the read was cut short before a character that did not fit whole. NUL bytes in
  // the line do not mislead it.
  ReadOutcome ReadPiece(char* buf, int limit, InputKind kind, bool& goes_on);

  // An answer, which is one whole input line: read as ReadPiece reads, but what does not fit
  // into the buffer is read and thrown away, never left for the next read, and an answer that
  // exactly fills the buffer takes its newline with it. `cut`, when given, is set when
  // characters were thrown away. False when there is no line; a read interrupted while the rest
  // is thrown away gives no answer.
  bool ReadWhole(char* buf, int limit, InputKind kind = InputKind::kAnswer, bool* cut = nullptr);

  // ReadWhole, then the trailing newline is cut: an answer of only a newline is empty.
  bool ReadAnswer(char* buf, int limit, InputKind kind = InputKind::kAnswer, bool* cut = nullptr);

  // Reads an answer into an 8-byte buffer and converts it as base-10 strtol does: leading
  // blanks and a sign allowed, conversion stops at the first non-digit, no digits give 0.
  // A longer answer is converted from its first 7 characters. End of input counts as an
  // empty answer, so it gives 0.
  int32_t ReadNumber();

  // How the last read ended; the callers that see only "no line" learn why from here.
  ReadOutcome last_read() const { return last_read_; }
  bool Interrupted() const { return last_read_ == ReadOutcome::kInterrupted; }

  // True when the input is a terminal, decided once when the console is made.
  bool InputIsTerminal() const { return input_.IsTerminal(); }

  // Input is read ahead in blocks. For a launched command, and when the editor ends, a
  // seekable input (a regular file) is put back where the consumed input ends, so that the
  // command, or the script that started the editor, reads on from there; the editor itself
  // reads on from its own position afterwards. Other inputs cannot be put back.
  void ReleaseInput() { input_.Release(); }

  // The format is the editor's own text (see console/format.h); outside bytes are marked with
  // Visible() and shown as Text() shows them.
  template <typename... Args>
  void Print(Format<std::type_identity_t<Args>...> format, const Args&... args) {
    const format::Arg list[] = {format::Arg(args)..., format::Arg()};
    std::string out;
    AppendFormatted(out, format.text(), list, mode());
    Write(out);
  }
  void Write(std::string_view text);  // the editor's own text, as it is
  void Line(std::string_view text);   // the editor's own text and a newline
  // Outside bytes: as they are through a pipe, in caret form on a terminal.
  void Text(std::string_view bytes);
  // Appends outside bytes to output being assembled, as Text() would print them.
  void AppendText(std::string& out, std::string_view bytes) const {
    ostrel::AppendText(out, bytes, mode());
  }
  // Writes all output now. False when some of it could not be written.
  bool Flush();
  // The start ignored SIGPIPE: a closed pipe as output is then a failure (see OutputBuffer).
  void SetPipeSignalIgnored(bool ignored) { output_.SetPipeSignalIgnored(ignored); }
  // How writing went: the failure that made the output fail for good (noted as
  // kOutputFailed), if one did.
  const SysResult<>& OutputResult() const { return output_.result(); }
  // How reading went: the failure of a read that ended the input, if one did.
  const SysResult<>& InputResult() const { return input_.result(); }

  OutputMode mode() const { return output_.mode(); }

 private:
  // One piece by the fgets rules (see ReadPiece), with the terminal's bookkeeping.
  ReadOutcome ReadLine(char* buf, int limit, InputKind kind);
  // The piece itself: the output written first, then input read as it is needed.
  ReadOutcome Read(char* buf, int limit, InputKind kind);
  // Reads the next line with the line editor into the input.
  bool FillEdited(InputKind kind);
  // Writes the first `count` bytes of the output, recording them for the line editor's redraw.
  bool Send(std::size_t count);
  // After a read that left the user's line unfinished on the terminal (interrupted, ended, or
  // delivered without its newline): whether the cursor may stand after text on its line.
  bool LineLeftOpen(ReadOutcome outcome, const char* buf, int limit, bool prompt_open) const;

  InputBuffer input_;
  OutputBuffer output_;
  TerminalLines terminal_;
  std::unique_ptr<LineEditor> editor_;
  IdleWork idle_;  // done only when the input is a terminal
  ReadOutcome last_read_ = ReadOutcome::kLine;
  // The last piece read was cut by the limit before a character that did not fit whole, so it
  // is shorter than the limit allows and the line goes on.
  bool cut_before_char_ = false;
};

}  // namespace ostrel
