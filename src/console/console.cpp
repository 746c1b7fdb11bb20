#include "console/console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "console/signals.h"

namespace ostrel {
namespace {

static_assert(sizeof(intmax_t) == sizeof(long) && sizeof(std::size_t) == sizeof(long) &&
              sizeof(std::ptrdiff_t) == sizeof(long));

// Appends one printf conversion of one value; `directive` is the whole conversion ("%5.1f").
template <typename T>
void AppendFormatted(std::string& out, const std::string& directive, T value) {
  const int n = std::snprintf(nullptr, 0, directive.c_str(), value);
  if (n <= 0) return;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(n) + 1);
  (void)std::snprintf(out.data() + at, static_cast<std::size_t>(n) + 1, directive.c_str(), value);
  out.resize(at + static_cast<std::size_t>(n));
}

// Appends a width or precision of a conversion: digits, or "*" taken from the arguments.
// Returns the value, or -1 when there is none.
int TakeNumber(const char*& p, std::string& directive, va_list args) {
  if (*p == '*') {
    ++p;
    const int n = va_arg(args, int);
    directive += std::to_string(n);
    return n;
  }
  if (*p < '0' || *p > '9') return -1;
  int n = 0;
  while (*p >= '0' && *p <= '9') {
    n = n < 100000 ? n * 10 + (*p - '0') : n;
    directive += *p++;
  }
  return n;
}

// True when the output's reader is gone: a pipe nobody reads any more, a terminal hung up. A
// full disk or a file-size limit fails writes too, but the editor goes on there.
bool OutputGone(std::FILE* out) {
  pollfd probe{fileno(out), POLLOUT, 0};
  return poll(&probe, 1, 0) == 1 && (probe.revents & (POLLERR | POLLHUP)) != 0;
}

// True when reading `in` has to go to its descriptor: it has one (memory streams have none),
// its buffer holds no bytes and it has not ended (the end of a stream is kept: fgets returns
// at once). The buffer is looked at through the platform C library's stream layout (glibc's
// read pointers); elsewhere the read is left to fgets.
bool MustWait(std::FILE* in) {
#ifdef __GLIBC__
  return in != nullptr && fileno(in) >= 0 && std::feof(in) == 0 &&
         in->_IO_read_ptr >= in->_IO_read_end;
#else
  (void)in;
  return false;
#endif
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

// Output errors are not reported: standard output is the editor's only channel, so there is
// nowhere to report them to.

Console::Console(std::FILE* in, std::FILE* out, OutputMode mode)
    : in_(in),
      out_(out),
      mode_(mode),
      input_is_terminal_(in != nullptr && isatty(fileno(in)) == 1),
      fresh_lines_(input_is_terminal_ && out != nullptr && isatty(fileno(out)) == 1) {}

void Console::UseLineEditor(std::unique_ptr<LineEditor> editor) {
  editor_ = std::move(editor);
  if (editor_) editor_->RedrawWith(&screen_);
}

void Console::StartView() {
  screen_.clear();
}

bool Console::ReadLine(char* buf, int limit, InputKind kind) {
  if (fresh_line_due_) {
    fresh_line_due_ = false;
    WriteOut("\n");
  }
  // The output after the last newline is the prompt the answer is typed after.
  const bool prompt_open = line_open_ || !held_.empty();
  const bool edits = editor_ && pending_.empty() && !ended_;
  const std::string prompt = edits ? held_ : std::string();
  const ReadOutcome outcome = Read(buf, limit, kind);
  if (edits && outcome == ReadOutcome::kLine) {
    // The line editor showed the prompt and the whole line typed after it.
    std::string line = buf + pending_;
    if (const auto newline = line.find('\n'); newline != std::string::npos) line.resize(newline);
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
      (length + 1 >= static_cast<std::size_t>(limit) || (length > 0 && buf[length - 1] == '\n'))) {
    return false;
  }
  // The end of input at an empty line shows nothing; an interrupt shows the text typed (the
  // terminal's own line discipline also "^C"), and so does the end of input after text, where
  // the terminal echoes input.
  if (prompt_open || outcome == ReadOutcome::kEnd) return prompt_open;
  if (editor_) return editor_->LeftText();
  termios modes{};
  return tcgetattr(fileno(in_), &modes) != 0 || (modes.c_lflag & ECHO) != 0;
}

ReadOutcome Console::Read(char* buf, int limit, InputKind kind) {
  buf[0] = '\0';
  // Output nobody can read any more ends the editor as the signal that would have come does: a
  // terminal that went away as a hangup, a pipe without a reader as SIGPIPE.
  const bool failed = std::fflush(out_) != 0 || std::ferror(out_) != 0;
  if (failed && OutputGone(out_)) NoteSignal(mode_ == OutputMode::kVisible ? SIGHUP : SIGPIPE);
  if (PendingSignal() != 0) return last_read_ = ReadOutcome::kInterrupted;
  if (editor_) return last_read_ = ReadEdited(buf, limit, kind);
  // A signal that came after the look above would wait for the next input line in fgets:
  // when fgets would have to wait for input, the waiting is done here, where a noted signal
  // always cuts it short.
  if (MustWait(in_) && !WaitForInput(fileno(in_))) return last_read_ = ReadOutcome::kInterrupted;
  if (std::fgets(buf, limit, in_) != nullptr) return last_read_ = ReadOutcome::kLine;
  buf[0] = '\0';
  if (PendingSignal() == 0) {
    // A terminal that fails a read has gone away (Ctrl-D is an end of input, not an error); its
    // hangup signal may still be on the way.
    if (!input_is_terminal_ || std::ferror(in_) == 0) return last_read_ = ReadOutcome::kEnd;
    NoteSignal(SIGHUP);
  }
  // The stream took the interrupted read for an error; later reads must not see it.
  std::clearerr(in_);
  return last_read_ = ReadOutcome::kInterrupted;
}

ReadOutcome Console::ReadEdited(char* buf, int limit, InputKind kind) {
  if (pending_.empty() && !ended_) {
    const EditResult result = editor_->Read(held_, kind, pending_);
    held_.clear();  // the line editor has shown it
    switch (result) {
      case EditResult::kLine:
        break;
      case EditResult::kEnd:
        ended_ = true;
        break;
      case EditResult::kFailed:
        // The terminal has gone away, as for a failed read without a line editor.
        if (PendingSignal() == 0) NoteSignal(SIGHUP);
        return ReadOutcome::kInterrupted;
      case EditResult::kInterrupted:
        return ReadOutcome::kInterrupted;
    }
    // A signal that came before the line editor was reading, or while it was not waiting for
    // a key, did not cut the read short. It is acted on first, as it would have cut a plain
    // read short; the line it let through waits for the next read.
    if (PendingSignal() != 0) return ReadOutcome::kInterrupted;
  } else {
    // Nothing is asked for: the prompt is shown as it would be without a line editor.
    Flush();
  }
  if (pending_.empty() || limit < 1) return ReadOutcome::kEnd;
  // The piece fgets would deliver: through the newline, at most limit-1 bytes.
  const auto newline = pending_.find('\n');
  const std::size_t piece = std::min(newline == std::string::npos ? pending_.size() : newline + 1,
                                     static_cast<std::size_t>(limit - 1));
  pending_.copy(buf, piece);
  buf[piece] = '\0';
  pending_.erase(0, piece);
  return ReadOutcome::kLine;
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
  goes_on = outcome == ReadOutcome::kLine && buf[limit - 1] == '\0' && buf[limit - 2] != '\n';
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

void Console::FlushInput() {
  (void)std::fflush(in_);
}

void Console::Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (mode_ == OutputMode::kVisible) {
    PrintVisible(format, args);
  } else if (!editor_) {
    (void)std::vfprintf(out_, format, args);
  } else {
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    if (size > 0) {
      std::string text(static_cast<std::size_t>(size), '\0');
      (void)std::vsnprintf(text.data(), text.size() + 1, format, again);
      Write(text);
    }
    va_end(again);
  }
  va_end(args);
}

// printf on a terminal: the format's own text is printed as it is, and each conversion is
// formatted alone, the bytes of a %s or %c argument in caret form.
void Console::PrintVisible(const char* format, va_list args) {
  std::string out;
  const char* p = format;
  while (*p != '\0') {
    const char* percent = std::strchr(p, '%');
    if (percent == nullptr) {
      out += p;
      break;
    }
    out.append(p, percent);
    p = percent + 1;
    std::string directive = "%";
    while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) directive += *p++;
    (void)TakeNumber(p, directive, args);
    // A string's precision cuts it before it is made visible, so it is kept apart.
    int precision = -1;
    std::string precision_directive;
    if (*p == '.') {
      precision_directive += *p++;
      precision = TakeNumber(p, precision_directive, args);
      if (precision < 0) precision = 0;  // "." alone is a precision of 0
    }
    std::string length;
    while (*p != '\0' && std::strchr("hljztL", *p) != nullptr) length += *p++;
    const char conversion = *p;
    if (conversion == '\0') break;
    ++p;
    // The whole conversion, for everything but strings and characters.
    std::string whole = directive;
    whole += precision_directive;
    whole += length;
    whole += conversion;
    std::string visible;
    switch (conversion) {
      case '%':
        out += '%';
        break;
      case 's': {
        const char* s = va_arg(args, const char*);
        if (s == nullptr) s = "(null)";  // as the C library prints it
        const std::size_t n =
            precision < 0 ? std::strlen(s) : strnlen(s, static_cast<std::size_t>(precision));
        AppendVisible(visible, std::string_view(s, n));
        AppendFormatted(out, directive + "s", visible.c_str());
        break;
      }
      case 'c':
        AppendVisible(visible, std::string(1, static_cast<char>(va_arg(args, int))));
        AppendFormatted(out, directive + "s", visible.c_str());
        break;
      case 'd':
      case 'i':
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        // intmax_t, size_t and ptrdiff_t have the size of long (asserted above).
        if (length == "ll") {
          AppendFormatted(out, whole, va_arg(args, long long));
        } else if (!length.empty() && length[0] != 'h') {
          AppendFormatted(out, whole, va_arg(args, long));
        } else {
          AppendFormatted(out, whole, va_arg(args, int));
        }
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        if (length == "L") {
          AppendFormatted(out, whole, va_arg(args, long double));
        } else {
          AppendFormatted(out, whole, va_arg(args, double));
        }
        break;
      case 'p':
        AppendFormatted(out, whole, va_arg(args, void*));
        break;
      default:  // not a conversion the editor uses: printed as it stands
        out += whole;
        break;
    }
  }
  Write(out);
}

void Console::WriteOut(std::string_view text) {
  if (text.empty()) return;
  (void)std::fwrite(text.data(), 1, text.size(), out_);
  line_open_ = text.back() != '\n';
  if (editor_) Record(text);
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
  if (fresh_line_due_ && !text.empty()) {
    fresh_line_due_ = false;
    WriteOut("\n");
  }
  if (!editor_) {
    WriteOut(text);
    return;
  }
  const auto newline = text.rfind('\n');
  if (newline == std::string_view::npos) {
    held_.append(text);
    return;
  }
  WriteOut(held_);
  WriteOut(text.substr(0, newline + 1));
  held_.assign(text.substr(newline + 1));
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

void Console::Flush() {
  WriteOut(held_);
  held_.clear();
  (void)std::fflush(out_);
}

void Console::FinishLine() {
  fresh_line_due_ = false;
  WriteOut(held_);
  held_.clear();
  if (fresh_lines_ && line_open_) WriteOut("\n");
  Flush();
}

}  // namespace ostrel
