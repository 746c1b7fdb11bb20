#include "console/console.h"

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "console/signals.h"

namespace ostrel {

// Output errors are not reported: standard output is the editor's only channel, so there is
// nowhere to report them to.

namespace {

// True when the output's reader is gone: a pipe nobody reads any more, a terminal hung up. A
// full disk or a file-size limit fails writes too, but the editor goes on there.
bool OutputGone(std::FILE* out) {
  pollfd probe{fileno(out), POLLOUT, 0};
  return poll(&probe, 1, 0) == 1 && (probe.revents & (POLLERR | POLLHUP)) != 0;
}

}  // namespace

Console::Console(std::FILE* in, std::FILE* out)
    : in_(in), out_(out), input_is_terminal_(isatty(fileno(in)) == 1) {}

bool Console::ReadLine(char* buf, int limit) {
  return Read(buf, limit) == ReadOutcome::kLine;
}

ReadOutcome Console::Read(char* buf, int limit) {
  buf[0] = '\0';
  const bool failed = std::fflush(out_) != 0 || std::ferror(out_) != 0;
  if (failed && OutputGone(out_)) NoteSignal(SIGPIPE);
  if (PendingSignal() != 0) return last_read_ = ReadOutcome::kInterrupted;
  if (std::fgets(buf, limit, in_) != nullptr) return last_read_ = ReadOutcome::kLine;
  buf[0] = '\0';
  if (PendingSignal() == 0) return last_read_ = ReadOutcome::kEnd;
  // The stream took the interrupted read for an error; later reads must not see it.
  std::clearerr(in_);
  return last_read_ = ReadOutcome::kInterrupted;
}

bool Console::ReadAnswer(char* buf, int limit) {
  const bool got = ReadLine(buf, limit);
  buf[std::strcspn(buf, "\n")] = '\0';
  return got;
}

int32_t Console::ReadNumber() {
  char answer[kNumberAnswerSize];
  ReadAnswer(answer, kNumberAnswerSize);
  // Seven characters cannot leave the range of a 32-bit integer.
  return static_cast<int32_t>(std::strtol(answer, nullptr, 10));
}

void Console::FlushInput() {
  (void)std::fflush(in_);
}

void Console::Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  (void)std::vfprintf(out_, format, args);
  va_end(args);
}

void Console::Write(std::string_view text) {
  (void)std::fwrite(text.data(), 1, text.size(), out_);
}

void Console::Line(std::string_view text) {
  Write(text);
  (void)std::fputc('\n', out_);
}

void Console::Flush() {
  (void)std::fflush(out_);
}

}  // namespace ostrel
