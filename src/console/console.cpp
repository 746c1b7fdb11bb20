#include "console/console.h"

#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "common/characters.h"
#include "console/line_editor.h"
#include "signals/signals.h"

namespace ostrel {
namespace {

// Output is written once this much is waiting, and at every read and Flush.
constexpr std::size_t kOutputChunk = std::size_t{64} * 1024;

// The largest block one read takes.
constexpr std::size_t kMaxBlock = std::size_t{1024} * 1024;

int DescriptorOf(std::FILE* stream) {
  return stream == nullptr ? -1 : fileno(stream);
}

// True when the output's reader is gone: a pipe nobody reads any more, a terminal hung up. A
// full disk or a file-size limit fails writes too, but the editor goes on there.
bool OutputGone(int fd, int error) {
  if (error == EPIPE) return true;
  pollfd probe{fd, POLLOUT, 0};
  return poll(&probe, 1, 0) == 1 && (probe.revents & (POLLERR | POLLHUP)) != 0;
}

// True when `fd` takes a write without waiting.
bool Writable(int fd) {
  pollfd probe{fd, POLLOUT, 0};
  return poll(&probe, 1, 0) == 1 && (probe.revents & POLLOUT) != 0;
}

template <typename T>
void AppendNumber(std::string& out, T value) {
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

}  // namespace

OutputMode OutputModeOf(std::FILE* out) {
  return out != nullptr && isatty(fileno(out)) == 1 ? OutputMode::kVisible : OutputMode::kRaw;
}

void AppendVisible(std::string& out, std::string_view bytes) {
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && b != '\t') || b == 0x7f) {
      out += '^';
      out += static_cast<char>(b ^ 0x40);
    } else {
      out += c;
    }
  }
}

Console::Console(std::FILE* in, std::FILE* out, OutputMode mode)
    : in_(in),
      in_fd_(DescriptorOf(in)),
      out_(out),
      out_fd_(DescriptorOf(out)),
      mode_(mode),
      input_is_terminal_(in_fd_ >= 0 && isatty(in_fd_) == 1),
      fresh_lines_(input_is_terminal_ && out_fd_ >= 0 && isatty(out_fd_) == 1) {
  struct stat st {};
  if (in_fd_ >= 0 && fstat(in_fd_, &st) == 0) {
    input_is_file_ = S_ISREG(st.st_mode);
    // Pipes and terminals are read in the blocks the C library's streams read them in, so
    // that what a launched command finds left in a shared pipe is what it always found.
    if (st.st_blksize > 0) {
      block_ = std::min(static_cast<std::size_t>(st.st_blksize), kMaxBlock);
    }
  }
}

Console::~Console() {
  (void)Flush();
}

void Console::UseLineEditor(std::unique_ptr<LineEditor> editor) {
  editor_ = std::move(editor);
  if (editor_) {
    editor_->RedrawWith(&screen_);
    editor_->WhenIdle(&idle_);
  }
}

void Console::WhenIdle(IdleWork work) {
  idle_ = input_is_terminal_ ? std::move(work) : IdleWork{};
}

void Console::StartView() {
  if (!editor_) return;
  // What was printed before belongs to the screen that the new view starts after: it is
  // written now, so that it is not drawn again with the view.
  const std::size_t newline = output_.rfind('\n');
  if (newline != std::string::npos) (void)Send(newline + 1);
  screen_.clear();
}

bool Console::ReadLine(char* buf, int limit, InputKind kind) {
  if (fresh_line_due_) {
    fresh_line_due_ = false;
    Write("\n");
  }
  // The output after the last newline is the prompt the answer is typed after.
  const bool prompt_open = line_open_;
  const bool edits = editor_ && begin_ == end_ && !ended_;
  const std::size_t newline = output_.rfind('\n');
  const std::string prompt =
      edits ? output_.substr(newline == std::string::npos ? 0 : newline + 1) : std::string();
  const ReadOutcome outcome = Read(buf, limit, kind);
  if (edits && outcome == ReadOutcome::kLine) {
    // The line editor showed the prompt and the whole line typed after it.
    std::string line = buf + std::string(input_.data() + begin_, end_ - begin_);
    if (const auto end = line.find('\n'); end != std::string::npos) line.resize(end);
    std::string shown = prompt;
    AppendText(shown, line);
    Record(shown + "\n");
  }
  if (fresh_lines_) {
    line_open_ = LineLeftOpen(outcome, buf, limit, prompt_open);
    fresh_line_due_ = line_open_;
  }
  return outcome == ReadOutcome::kLine;
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
  return tcgetattr(in_fd_, &modes) != 0 || (modes.c_lflag & ECHO) != 0;
}

ReadOutcome Console::Read(char* buf, int limit, InputKind kind) {
  // With a line editor that is to read a new line, the output after the last newline is its
  // prompt; everything else is written now.
  const bool asks = editor_ && !ended_ && begin_ == end_;
  const std::size_t newline = output_.rfind('\n');
  (void)Send(!asks ? output_.size() : newline == std::string::npos ? 0 : newline + 1);
  if (limit < 1) return last_read_ = ReadOutcome::kEnd;
  buf[0] = '\0';
  cut_before_char_ = false;
  if (PendingSignal() != 0) return last_read_ = ReadOutcome::kInterrupted;
  return last_read_ = TakeLine(buf, static_cast<std::size_t>(limit - 1), kind);
}

ReadOutcome Console::TakeLine(char* buf, std::size_t most, InputKind kind) {
  while (true) {
    const std::size_t unread = end_ - begin_;
    const char* start = input_.data() + begin_;
    const std::size_t scan = std::min(unread, most);
    const auto* newline =
        scan == 0 ? nullptr : static_cast<const char*>(std::memchr(start, '\n', scan));
    const std::string_view seen(start, unread);
    // A line cut by the limit is cut before the character that does not fit whole; when the
    // bytes that decide whether one straddles the limit are still to come, they are read first.
    const bool by_limit = newline == nullptr && unread >= most;
    const bool undecided = by_limit && !ended_ && UnfinishedCharStart(seen) < most;
    if (!undecided && (newline != nullptr || by_limit || (ended_ && unread > 0))) {
      std::size_t piece = newline != nullptr ? static_cast<std::size_t>(newline - start) + 1 : scan;
      // A character longer than the whole limit is cut as bytes.
      if (by_limit && FitWhole(seen, most) > 0) piece = FitWhole(seen, most);
      cut_before_char_ = piece < scan && newline == nullptr;
      if (piece > 0) std::memcpy(buf, start, piece);
      buf[piece] = '\0';
      begin_ += piece;
      return ReadOutcome::kLine;
    }
    if (ended_) return ReadOutcome::kEnd;
    if (!editor_) {
      if (!Fill()) return ReadOutcome::kInterrupted;
      continue;
    }
    if (!FillEdited(kind)) return ReadOutcome::kInterrupted;
    // A signal that came before the line editor was reading, or while it was not waiting for
    // a key, did not cut the read short. It is acted on first, as it would have cut a plain
    // read short; the line it let through waits for the next read.
    if (PendingSignal() != 0) return ReadOutcome::kInterrupted;
  }
}

char* Console::Room(std::size_t more) {
  if (begin_ > 0) {
    if (end_ > begin_) std::memmove(input_.data(), input_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (input_.size() < end_ + more) input_.resize(end_ + more);
  return input_.data() + end_;
}

bool Console::Fill() {
  char* room = Room(block_);
  if (in_fd_ < 0) {  // a memory stream, or none
    const std::size_t got = in_ == nullptr ? 0 : std::fread(room, 1, block_, in_);
    end_ += got;
    ended_ = got == 0;
    return true;
  }
  if (released_) {
    // A launched command may have moved the shared offset: the editor reads on from its own.
    (void)lseek(in_fd_, resume_at_, SEEK_SET);
    released_ = false;
  }
  while (true) {
    // A regular file always has its bytes at hand. Anything else may make the read wait, and
    // a signal that came just before it would then wait for the next input line: the waiting
    // is done where a noted signal always cuts it short.
    if (!input_is_file_) {
      const WaitResult waited = WaitForInput(in_fd_, idle_.Timeout());
      if (waited == WaitResult::kTimedOut) {
        idle_.run();
        continue;
      }
      if (waited != WaitResult::kReady) return false;
    }
    const ssize_t got = read(in_fd_, room, block_);
    if (got >= 0) {
      end_ += static_cast<std::size_t>(got);
      ended_ = got == 0;
      return true;
    }
    if (errno == EINTR || (errno == EAGAIN && !input_is_file_)) {
      if (PendingSignal() != 0) return false;
      continue;
    }
    // A terminal that fails a read has gone away (Ctrl-D is an end of input, not an error); its
    // hangup signal may still be on the way.
    if (!input_is_terminal_) {
      ended_ = true;
      return true;
    }
    if (PendingSignal() == 0) NoteSignal(SIGHUP);
    return false;
  }
}

bool Console::FillEdited(InputKind kind) {
  std::string line;
  const EditResult result = editor_->Read(output_, kind, line);
  output_.clear();  // the line editor has shown it
  switch (result) {
    case EditResult::kLine:
      std::memcpy(Room(line.size()), line.data(), line.size());
      end_ += line.size();
      return true;
    case EditResult::kEnd:
      ended_ = true;
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
  if (limit < 2) {
    ReadLine(buf, limit, kind);
    return last_read();
  }
  // A read writes the bytes it read and one NUL after them, nothing else: the last byte of the
  // buffer becomes NUL only when the read filled it.
  buf[limit - 1] = '\n';
  ReadLine(buf, limit, kind);
  const ReadOutcome outcome = last_read();
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

void Console::ReleaseInput() {
  if (!input_is_file_) return;
  const auto unread = static_cast<off_t>(end_ - begin_);
  const off_t at =
      lseek(in_fd_, released_ ? resume_at_ - unread : -unread, released_ ? SEEK_SET : SEEK_CUR);
  if (at < 0) return;
  resume_at_ = at + unread;
  released_ = true;
}

void Console::PrintFormatted(const char* format, const format::Arg* args) {
  std::string out;
  for (const char* p = format; *p != '\0';) {
    const char* percent = std::strchr(p, '%');
    if (percent == nullptr) {
      out += p;
      break;
    }
    out.append(p, percent);
    const format::Directive d = format::ParseDirective(percent);
    p = d.next;
    switch (d.conversion) {
      case format::Conversion::kPercent:
        out += '%';
        break;
      case format::Conversion::kText:
        AppendText(out, args->text);
        ++args;
        break;
      case format::Conversion::kInteger:
        if (args->is_unsigned) {
          AppendNumber(out, args->unsigned_integer);
        } else {
          AppendNumber(out, args->integer);
        }
        ++args;
        break;
      case format::Conversion::kReal: {
        char digits[512];  // the largest double in full, and 99 decimals
        const auto end = std::to_chars(digits, digits + sizeof digits, args->real,
                                       std::chars_format::fixed, d.precision)
                             .ptr;
        out.append(digits, end);
        ++args;
        break;
      }
      case format::Conversion::kUnknown:  // refused when the program was compiled
        break;
    }
  }
  Write(out);
}

bool Console::Send(std::size_t count) {
  if (count == 0) return true;
  bool whole = true;
  if (out_fd_ < 0) {  // a memory stream, or none
    if (out_ != nullptr) {
      whole = std::fwrite(output_.data(), 1, count, out_) == count && std::fflush(out_) == 0;
      std::clearerr(out_);
    }
  } else if (output_stuck_ && !Writable(out_fd_)) {
    // The output that a signal cut short still cannot be written: what would wait for it is
    // dropped, so that the editor can act on the signal.
    whole = false;
  } else {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t n = write(out_fd_, output_.data() + done, count - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      if (done == count) break;
      // A write that blocks (a stopped terminal, a pipe nobody reads) lets a signal through:
      // the rest is dropped, and the read that comes next acts on the signal.
      if (PendingSignal() != 0) {
        output_stuck_ = true;
        break;
      }
      if (n > 0 || (n < 0 && errno == EINTR)) continue;
      // Output nobody can read any more ends the editor as the signal that would have come
      // does: a terminal that went away as a hangup, a pipe without a reader as SIGPIPE.
      // Anything else (a full disk) loses this output only.
      if (n < 0 && errno != EAGAIN && OutputGone(out_fd_, errno)) {
        NoteSignal(mode_ == OutputMode::kVisible ? SIGHUP : SIGPIPE);
      }
      break;
    }
    whole = done == count;
    if (whole) output_stuck_ = false;
  }
  if (editor_) Record(std::string_view(output_).substr(0, count));
  output_.erase(0, count);
  return whole;
}

void Console::Record(std::string_view shown) {
  // A redraw shows what fits on a screen: the newest lines of a long output are enough.
  constexpr std::size_t kKept = std::size_t{32} * 1024;
  screen_.append(shown);
  if (screen_.size() <= 2 * kKept) return;
  const std::size_t cut = screen_.find('\n', screen_.size() - kKept);
  screen_.erase(0, cut == std::string::npos ? screen_.size() - kKept : cut + 1);
}

void Console::Write(std::string_view text) {
  if (text.empty()) return;
  if (fresh_line_due_) {
    fresh_line_due_ = false;
    output_ += '\n';
  }
  output_.append(text);
  line_open_ = text.back() != '\n';
  if (output_.size() < kOutputChunk) return;
  // With a line editor, the text after the last newline may become its prompt.
  const std::size_t newline = output_.rfind('\n');
  (void)Send(!editor_ ? output_.size() : newline == std::string::npos ? 0 : newline + 1);
}

void Console::Line(std::string_view text) {
  Write(text);
  Write("\n");
}

void Console::Text(std::string_view bytes) {
  if (mode_ == OutputMode::kRaw) {
    Write(bytes);
    return;
  }
  std::string visible;
  AppendVisible(visible, bytes);
  Write(visible);
}

void Console::AppendText(std::string& out, std::string_view bytes) const {
  if (mode_ == OutputMode::kRaw) {
    out += bytes;
  } else {
    AppendVisible(out, bytes);
  }
}

bool Console::Flush() {
  return Send(output_.size());
}

void Console::FinishLine() {
  fresh_line_due_ = false;
  if (fresh_lines_ && line_open_) Write("\n");
  (void)Flush();
}

}  // namespace ostrel
