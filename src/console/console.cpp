#include "console/console.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace ostrel {

// Output errors are not reported: standard output is the editor's only channel, so there is
// nowhere to report them to.

bool Console::ReadLine(char* buf, int limit) {
  (void)std::fflush(out_);
  if (std::fgets(buf, limit, in_) == nullptr) {
    buf[0] = '\0';
    return false;
  }
  return true;
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
