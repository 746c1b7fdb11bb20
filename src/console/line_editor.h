// Line editing on a terminal: cursor keys, history for this run and file-name completion,
// with libedit when the build has it. The console hands its reads to a line editor only when
// one was opened at start-up; through pipes and files none is, and no library call is made.
#pragma once

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <string_view>

#include "console/console.h"

struct editline;
struct history;

namespace ostrel {

#ifdef OSTREL_WITH_LIBEDIT
inline constexpr bool kLineEditingBuiltIn = true;
#else
inline constexpr bool kLineEditingBuiltIn = false;
#endif

enum class EditResult {
  kLine,         // a finished line, with its newline
  kEnd,          // end of input: Ctrl-D at an empty line, or the terminal gone
  kInterrupted,  // a signal with a handler of the program's interrupted the read
  kFailed,       // the terminal could not be read: it has gone away
};

class LineEditor {
 public:
  // A line editor on `in` and `out` when line editing is built in and both are terminals and
  // TERM names one that is not "dumb"; otherwise nullptr.
  static std::unique_ptr<LineEditor> Open(std::FILE* in, std::FILE* out);

  LineEditor() = default;
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;
  ~LineEditor();

  // Shows `prompt` (the text the editor printed after its last newline) and reads one line,
  // which on kLine replaces `line`, newline included. A non-empty line joins the history of
  // its kind.
  EditResult Read(std::string_view prompt, InputKind kind, std::string& line);

  // After a read that ended without a line: whether typed text was left on the terminal.
  bool LeftText() const { return left_text_; }

  // Ctrl-L clears the screen and draws `*screen` (the lines shown above the prompt, which the
  // caller keeps) before the prompt and the line; without one, only those.
  void RedrawWith(const std::string* screen) { screen_ = screen; }

  // `*work` (which the caller keeps) is done in the pauses of the key wait; the line typed so far
  // stays as it is.
  void WhenIdle(const IdleWork* work) { idle_ = work; }

  // What the line editor itself shows (the redraw, the list of file names) is written through
  // `*output` (which the caller keeps), the console's one output, so that a failed write is
  // noticed there as every other is. The library's own drawing goes to the stream it was opened
  // on.
  void WriteThrough(OutputBuffer* output) { output_ = output; }

 private:
  static char* Prompt(struct editline* el);
  static unsigned char Tab(struct editline* el, int ch);
  static unsigned char EndOrDelete(struct editline* el, int ch);
  static int ReadKey(struct editline* el, wchar_t* key);
  static unsigned char Redraw(struct editline* el, int ch);
  unsigned char CompleteFileName();
  void ActOnTerminalSignal(int sig);
  void Show(std::string_view text);

  OutputBuffer* output_ = nullptr;
  int in_fd_ = -1;
  std::mbstate_t key_state_{};   // a key's multibyte sequence read so far
  std::FILE* errors_ = nullptr;  // the library's own messages go nowhere
  struct editline* el_ = nullptr;
  struct history* commands_ = nullptr;  // command lines typed this run
  struct history* answers_ = nullptr;   // answers to questions typed this run
  std::string prompt_;
  const std::string* screen_ = nullptr;
  const IdleWork* idle_ = nullptr;
  bool left_text_ = false;
  InputKind kind_ = InputKind::kCommand;
};

}  // namespace ostrel
