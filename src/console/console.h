// The one seam to the terminal: every read of an answer and every byte of output goes through
// here, so tests can hand in memory streams instead of the process's standard streams.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "console/line_editor.h"

namespace ostrel {

// Size of the buffer that number answers are read into: at most 7 characters; the rest of a
// longer answer is thrown away.
inline constexpr int kNumberAnswerSize = 8;

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

// Appends `bytes` in caret form: every C0 control byte except tab becomes '^' and the byte
// plus 0x40 (ESC is "^[", CR "^M"), DEL becomes "^?"; every other byte, 0x80 and above
// included, is kept.
void AppendVisible(std::string& out, std::string_view bytes);

class Console {
 public:
  // The output mode is chosen here, once, from whether `out` is a terminal.
  Console(std::FILE* in, std::FILE* out) : Console(in, out, OutputModeOf(out)) {}
  // Whether the input is a terminal is decided here too.
  Console(std::FILE* in, std::FILE* out, OutputMode mode);
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // From now on lines are read with `editor` (a terminal at start-up; nullptr changes
  // nothing). Output after the last newline is then held back until the next read and becomes
  // the line editor's prompt, so that it can redraw it.
  void UseLineEditor(std::unique_ptr<LineEditor> editor);

  // With a line editor: what is printed from here on (and each line typed after its prompt) is
  // the view that Ctrl-L draws again on a cleared screen, up to the next StartView.
  void StartView();

  // On a terminal (input and output), where a prompt or a half-typed line may leave the cursor
  // after text on its line: one newline, so that the terminal is left at the start of a line.
  // Output is flushed. Called when the editor ends.
  void FinishLine();

  // Reads one line with fgets semantics: at most limit-1 bytes, the newline kept when it fits,
  // whatever does not fit left in the input. Output is flushed first so that a program driving
  // the editor through a pipe sees the prompt before it answers. On end of input (or a read
  // error) with nothing read, buf becomes empty and the result is false. A line finished in
  // the line editor is delivered by the same rules: what does not fit is read by the next
  // reads, before anything new is asked for.
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
  // filled the buffer (limit-1 bytes) and the last byte is not the newline. NUL bytes in the
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

  // Discards typed-ahead input where the platform's stdio does so (fflush on the input stream);
  // called before each command line is read.
  void FlushInput();

  // The format is the editor's own text; every %s and %c argument is outside bytes and is
  // shown as Text() shows it.
  void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Write(std::string_view text);  // the editor's own text, as it is
  void Line(std::string_view text);   // the editor's own text and a newline
  // Outside bytes: as they are through a pipe, in caret form on a terminal.
  void Text(std::string_view bytes);
  // Appends outside bytes to output being assembled, as Text() would print them.
  void AppendText(std::string& out, std::string_view bytes) const;
  void Flush();

  std::FILE* out() const { return out_; }
  OutputMode mode() const { return mode_; }

 private:
  // Read with the line editor: the rest of the last edited line first, then a new line.
  ReadOutcome ReadEdited(char* buf, int limit, InputKind kind);
  void PrintVisible(const char* format, va_list args);
  void WriteOut(std::string_view text);

  std::FILE* in_;
  std::FILE* out_;
  OutputMode mode_;
  bool input_is_terminal_;
  ReadOutcome last_read_ = ReadOutcome::kLine;
  std::unique_ptr<LineEditor> editor_;
  std::string held_;     // with a line editor: output after the last newline, not yet written
  std::string pending_;  // with a line editor: the rest of the last line read
  bool ended_ = false;   // with a line editor: input has ended, as a stream's end-of-file flag

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
