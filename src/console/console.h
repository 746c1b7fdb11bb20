// The one seam to the terminal: every read of an answer and every byte of output goes through
// here, so tests can hand in memory streams instead of the process's standard streams.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "console/format.h"

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

// How bytes that come from outside the editor (the document, file names, the launch command,
// answers, keys from the settings file) reach the output. Through a pipe or into a file they
// pass as they are; on a terminal, control bytes are shown in caret form so that a document
// cannot send the terminal escape sequences.
enum class OutputMode { kRaw, kVisible };

// kVisible when `out` is a terminal, kRaw otherwise.
OutputMode OutputModeOf(std::FILE* out);

// The one visible-form function: appends `bytes` in caret form: every C0 control byte except
// tab becomes '^' and the byte plus 0x40 (ESC is "^[", CR "^M"), DEL becomes "^?"; every other
// byte, 0x80 and above included, is kept.
void AppendVisible(std::string& out, std::string_view bytes);

// Work done while a terminal's input keeps the editor waiting: once the wait for input has
// lasted `after_ms` milliseconds while `due` holds, `run` is called and the wait goes on. While
// nothing is due the wait has no time limit, so input that keeps coming costs nothing more.
struct IdleWork {
  int after_ms = 0;  // 0: never
  std::function<bool()> due;
  std::function<void()> run;

  // The time limit of the next wait: after_ms when work is due, else -1 (none).
  int Timeout() const { return after_ms > 0 && due && run && due() ? after_ms : -1; }
};

class Console {
 public:
  // The output mode is chosen here, once, from whether `out` is a terminal.
  Console(std::FILE* in, std::FILE* out) : Console(in, out, OutputModeOf(out)) {}
  // Whether the input is a terminal, and how it is read, is decided here too. A stream with a
  // descriptor is read and written through the descriptor, bypassing the stream's own buffer.
  Console(std::FILE* in, std::FILE* out, OutputMode mode);
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

  // Reads one line with fgets semantics: at most limit-1 bytes, the newline kept when it fits,
  // whatever does not fit left in the input; a line cut by the limit is cut before a UTF-8
  // character that does not fit whole (common/characters.h), which starts the next read. Output is
  // written first so that a program driving the editor through a pipe sees the prompt before it
  // answers. On end of input (or a read error) with nothing read, buf becomes empty and the result
  // is false. A line finished in the line editor is delivered by the same rules: what does not fit
  // is read by the next reads, before anything new is asked for.
  bool ReadLine(char* buf, int limit, InputKind kind = InputKind::kAnswer);

  // ReadLine with the reason when there is no line. A read is interrupted when a signal is
  // pending before it starts or arrives while it waits, and when standard output can no longer
  // be written (noted as SIGPIPE); the input then reads normally again afterwards.
  ReadOutcome Read(char* buf, int limit, InputKind kind = InputKind::kAnswer);

  // How the last read ended; the callers that see only "no line" learn why from here.
  ReadOutcome last_read() const { return last_read_; }
  bool Interrupted() const { return last_read_ == ReadOutcome::kInterrupted; }

  // True when the input is a terminal, decided once when the console is made.
  bool InputIsTerminal() const { return input_is_terminal_; }

  // Read, and `goes_on` tells whether the input line goes on after what was read: the read
  // filled the buffer (limit-1 bytes) and the last byte is not the newline, or the read was cut
  // short before a character that did not fit whole. NUL bytes in the
  // line do not mislead it.
  ReadOutcome ReadPiece(char* buf, int limit, InputKind kind, bool& goes_on);

  // ReadLine for an answer, which is one whole input line: what does not fit into the buffer
  // is read and thrown away, never left for the next read, and an answer that exactly fills
  // the buffer takes its newline with it. `cut`, when given, is set when characters were thrown
  // away. False as ReadLine; a read interrupted while the rest is thrown away gives no answer.
  bool ReadWhole(char* buf, int limit, InputKind kind = InputKind::kAnswer, bool* cut = nullptr);

  // ReadWhole, then the trailing newline is cut: an answer of only a newline is empty.
  bool ReadAnswer(char* buf, int limit, InputKind kind = InputKind::kAnswer, bool* cut = nullptr);

  // Reads an answer into an 8-byte buffer and converts it as base-10 strtol does: leading
  // blanks and a sign allowed, conversion stops at the first non-digit, no digits give 0.
  // A longer answer is converted from its first 7 characters. End of input counts as an
  // empty answer, so it gives 0.
  int32_t ReadNumber();

  // Input is read ahead in blocks. For a launched command, and when the editor ends, a
  // seekable input (a regular file) is put back where the consumed input ends, so that the
  // command, or the script that started the editor, reads on from there; the editor itself
  // reads on from its own position afterwards. Other inputs cannot be put back.
  void ReleaseInput();

  // The format is the editor's own text (see console/format.h); outside bytes are marked with
  // Visible() and shown as Text() shows them.
  template <typename... Args>
  void Print(Format<std::type_identity_t<Args>...> format, const Args&... args) {
    const format::Arg list[] = {format::Arg(args)..., format::Arg()};
    PrintFormatted(format.text(), list);
  }
  void Write(std::string_view text);  // the editor's own text, as it is
  void Line(std::string_view text);   // the editor's own text and a newline
  // Outside bytes: as they are through a pipe, in caret form on a terminal.
  void Text(std::string_view bytes);
  // Appends outside bytes to output being assembled, as Text() would print them.
  void AppendText(std::string& out, std::string_view bytes) const;
  // Writes all output now. False when some of it could not be written.
  bool Flush();

  OutputMode mode() const { return mode_; }

 private:
  void PrintFormatted(const char* format, const format::Arg* args);
  // The next line piece by the fgets rules, reading more input as it needs.
  ReadOutcome TakeLine(char* buf, std::size_t most, InputKind kind);
  // Reads more input into the buffer, or notes its end. False when a signal cut it short.
  bool Fill();
  bool FillEdited(InputKind kind);
  // Makes room for `more` bytes after the unread input.
  char* Room(std::size_t more);
  // Writes the first `count` bytes of the output, which then leave it. False when some could
  // not be written.
  bool Send(std::size_t count);

  std::FILE* in_;
  int in_fd_;
  std::FILE* out_;
  int out_fd_;
  OutputMode mode_;
  bool input_is_terminal_;
  bool input_is_file_ = false;  // a regular file: never waited for, and can be put back
  std::size_t block_ = BUFSIZ;  // the most one read takes: the input's block size
  ReadOutcome last_read_ = ReadOutcome::kLine;
  // The last piece read was cut by the limit before a character that did not fit whole, so it
  // is shorter than the limit allows and the line goes on.
  bool cut_before_char_ = false;
  std::unique_ptr<LineEditor> editor_;
  IdleWork idle_;  // done only when the input is a terminal

  std::vector<char> input_;  // input read ahead: [begin_, end_) is not yet handed out
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;     // input has ended, as a stream's end-of-file flag
  bool released_ = false;  // the input was put back; reading resumes at resume_at_
  off_t resume_at_ = 0;

  std::string output_;         // output not yet written
  bool output_stuck_ = false;  // a write was cut short by a signal

  // Records what the terminal shows of the output and the typed lines for the line editor's
  // redraw, keeping the newest part when it grows long.
  void Record(std::string_view shown);
  // After a read that left the user's line unfinished on the terminal (interrupted, ended, or
  // delivered without its newline): whether the cursor may stand after text on its line.
  bool LineLeftOpen(ReadOutcome outcome, const char* buf, int limit, bool prompt_open) const;

  // Input and output are terminals: messages after an unfinished line start on a fresh line.
  bool fresh_lines_;
  bool line_open_ = false;       // the last byte written was not a newline
  bool fresh_line_due_ = false;  // a read left the user's line open: output starts on a new line
  std::string screen_;           // with a line editor: the view as Ctrl-L draws it again
};

}  // namespace ostrel
