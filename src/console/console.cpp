#include "console/console.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/line_editor.h"
#include "signals/signals.h"

namespace ostrel {
namespace {

// Output is written once this much is waiting, and at every read and Flush.
constexpr std::size_t kOutputChunk = std::size_t{64} * 1024;

}  // namespace

Console::Console(int in_fd, int out_fd, OutputMode mode)
    : input_(in_fd),
      output_(out_fd, mode),
      terminal_(input_.IsTerminal() && out_fd >= 0 && isatty(out_fd) == 1) {}

Console::~Console() {
  (void)Flush();
}

void Console::UseLineEditor(std::unique_ptr<LineEditor> editor) {
  editor_ = std::move(editor);
  if (editor_) {
    editor_->RedrawWith(terminal_.Screen());
    editor_->WhenIdle(&idle_);
    editor_->WriteThrough(&output_);
  }
}

void Console::WhenIdle(IdleWork work) {
  idle_ = input_.IsTerminal() ? std::move(work) : IdleWork{};
}

void Console::StartView() {
  if (!editor_) return;
  // What was printed before belongs to the screen that the new view starts after: it is
  // written now, so that it is not drawn again with the view.
  (void)Send(output_.LastLineStart());
  terminal_.ClearScreen();
}

ReadOutcome Console::ReadLine(char* buf, int limit, InputKind kind) {
  if (terminal_.TakeFreshLine()) Write("\n");
  // The output after the last newline is the prompt the answer is typed after.
  const bool prompt_open = terminal_.LineOpen();
  const bool edits = editor_ && input_.Unread().empty() && !input_.Ended();
  const std::string prompt =
      edits ? std::string(output_.Pending().substr(output_.LastLineStart())) : std::string();
  const ReadOutcome outcome = Read(buf, limit, kind);
  if (edits && outcome == ReadOutcome::kLine) {
    // The line editor showed the prompt and the whole line typed after it.
    std::string line = buf + std::string(input_.Unread());
    if (const auto end = line.find('\n'); end != std::string::npos) line.resize(end);
    std::string shown = prompt;
    AppendText(shown, line);
    terminal_.Record(shown + "\n");
  }
  if (terminal_.FreshLines()) terminal_.Read(LineLeftOpen(outcome, buf, limit, prompt_open));
  return outcome;
}

bool Console::LineLeftOpen(ReadOutcome outcome, const char* buf, int limit,
                           bool prompt_open) const {
  const std::size_t length = std::strlen(buf);
  // Enter took the cursor to the next line; a piece that filled the buffer is a line's start.
  if (outcome == ReadOutcome::kLine &&
      (length + 1 >= static_cast<std::size_t>(limit) || cut_before_char_ ||
       (length > 0 && buf[length - 1] == '\n'))) {
    return false;
  }
  // The end of input at an empty line shows nothing; an interrupt shows the text typed (the
  // terminal's own line discipline also "^C"), and so does the end of input after text, where
  // the terminal echoes input.
  if (prompt_open || outcome == ReadOutcome::kEnd) return prompt_open;
  if (editor_) return editor_->LeftText();
  termios modes{};
  return tcgetattr(input_.fd(), &modes) != 0 || (modes.c_lflag & ECHO) != 0;
}

ReadOutcome Console::Read(char* buf, int limit, InputKind kind) {
  // Input that is no terminal and already holds the next piece is handed out without a write:
  // its writer has answered, so the output waits for the read that may wait for input (or
  // fills a chunk first). A script piped in then costs a write per chunk, not per line.
  if (!input_.IsTerminal() && limit >= 1 && PendingSignal() == 0 &&
      input_.Take(buf, static_cast<std::size_t>(limit - 1), cut_before_char_)) {
    return last_read_ = ReadOutcome::kLine;
  }
  // With a line editor that is to read a new line, the output after the last newline is its
  // prompt; everything else is written now.
  const bool asks = editor_ && !input_.Ended() && input_.Unread().empty();
  (void)Send(asks ? output_.LastLineStart() : output_.Pending().size());
  if (limit < 1) return last_read_ = ReadOutcome::kEnd;
  buf[0] = '\0';
  cut_before_char_ = false;
  if (PendingSignal() != 0) return last_read_ = ReadOutcome::kInterrupted;
  const auto most = static_cast<std::size_t>(limit - 1);
  while (!input_.Take(buf, most, cut_before_char_)) {
    if (input_.Ended()) return last_read_ = ReadOutcome::kEnd;
    if (!editor_) {
      if (!input_.Fill(idle_)) return last_read_ = ReadOutcome::kInterrupted;
      continue;
    }
    // A signal that came before the line editor was reading, or while it was not waiting for
    // a key, did not cut the read short. It is acted on first, as it would have cut a plain
    // read short; the line it let through waits for the next read.
    if (!FillEdited(kind) || PendingSignal() != 0) return last_read_ = ReadOutcome::kInterrupted;
  }
  return last_read_ = ReadOutcome::kLine;
}

bool Console::FillEdited(InputKind kind) {
  std::string line;
  // The line editor shows the pending output as its prompt; what it writes itself meanwhile goes
  // through the output after it.
  const std::string prompt(output_.Pending());
  output_.Drop();
  const EditResult result = editor_->Read(prompt, kind, line);
  switch (result) {
    case EditResult::kLine:
      input_.Add(line);
      return true;
    case EditResult::kEnd:
      input_.End();
      return true;
    case EditResult::kFailed:
      // The terminal has gone away, as for a failed read without a line editor.
      if (PendingSignal() == 0) NoteSignal(SIGHUP);
      return false;
    case EditResult::kInterrupted:
      break;
  }
  return false;
}

ReadOutcome Console::ReadPiece(char* buf, int limit, InputKind kind, bool& goes_on) {
  goes_on = false;
  if (limit < 2) return ReadLine(buf, limit, kind);
  // A read writes the bytes it read and one NUL after them, nothing else: the last byte of the
  // buffer becomes NUL only when the read filled it.
  buf[limit - 1] = '\n';
  const ReadOutcome outcome = ReadLine(buf, limit, kind);
  goes_on = outcome == ReadOutcome::kLine &&
            ((buf[limit - 1] == '\0' && buf[limit - 2] != '\n') || cut_before_char_);
  return outcome;
}

bool Console::ReadWhole(char* buf, int limit, InputKind kind, bool* cut) {
  if (cut != nullptr) *cut = false;
  bool goes_on = false;
  if (ReadPiece(buf, limit, kind, goes_on) != ReadOutcome::kLine) return false;
  char rest[256];
  bool first = true;
  while (goes_on) {
    const ReadOutcome outcome = ReadPiece(rest, sizeof rest, kind, goes_on);
    // The end of the input ends the line; an interrupt ends the question.
    if (outcome == ReadOutcome::kInterrupted) {
      buf[0] = '\0';
      return false;
    }
    if (outcome == ReadOutcome::kEnd) break;
    // Only the newline of an answer that exactly filled the buffer is no loss.
    if (cut != nullptr && !(first && rest[0] == '\n')) *cut = true;
    first = false;
  }
  return true;
}

bool Console::ReadAnswer(char* buf, int limit, InputKind kind, bool* cut) {
  const bool got = ReadWhole(buf, limit, kind, cut);
  buf[std::strcspn(buf, "\n")] = '\0';
  return got;
}

int32_t Console::ReadNumber() {
  char answer[kNumberAnswerSize];
  ReadAnswer(answer, kNumberAnswerSize, InputKind::kAnswer);
  // Seven characters cannot leave the range of a 32-bit integer.
  return static_cast<int32_t>(std::strtol(answer, nullptr, 10));
}

bool Console::Send(std::size_t count) {
  if (editor_) terminal_.Record(output_.Pending().substr(0, count));
  return output_.Send(count);
}

void Console::Write(std::string_view text) {
  if (text.empty()) return;
  if (terminal_.TakeFreshLine()) output_.Append("\n");
  output_.Append(text);
  terminal_.Wrote(text);
  if (output_.Pending().size() < kOutputChunk) return;
  // With a line editor, the text after the last newline may become its prompt.
  (void)Send(editor_ ? output_.LastLineStart() : output_.Pending().size());
}

void Console::Line(std::string_view text) {
  Write(text);
  Write("\n");
}

void Console::Text(std::string_view bytes) {
  if (mode() == OutputMode::kRaw) {
    Write(bytes);
    return;
  }
  std::string visible;
  AppendVisible(visible, bytes);
  Write(visible);
}

void ReportFailedStream(const char* what, const SysError& error) {
  std::string line = "ostrel: ";
  line += what;
  line += ": ";
  line += error.Reason();
  line += "\n";
  (void)!write(STDERR_FILENO, line.data(), line.size());
}

bool Console::Flush() {
  return Send(output_.Pending().size());
}

void Console::FinishLine() {
  // A newline that was due is the one written here: a due newline means the line is open.
  (void)terminal_.TakeFreshLine();
  if (terminal_.FreshLines() && terminal_.LineOpen()) Write("\n");
  (void)Flush();
}

}  // namespace ostrel
