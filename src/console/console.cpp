#include "console/console.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace ostrel {

// Output errors are not reported: standard output is the editor's only channel, so there is
// nowhere to report them to.

Console::Console(std::FILE* in, std::FILE* out) : in_(in), out_(out) {}

Console::~Console() = default;

void Console::UseLineEditor(std::unique_ptr<LineEditor> editor) {
  editor_ = std::move(editor);
}

bool Console::ReadLine(char* buf, int limit, InputKind kind) {
  if (!editor_) {
    (void)std::fflush(out_);
    if (std::fgets(buf, limit, in_) == nullptr) {
      buf[0] = '\0';
      return false;
    }
    return true;
  }
  if (pending_.empty() && !ended_) {
    (void)std::fflush(out_);
    const EditResult result = editor_->Read(held_, kind, pending_);
    held_.clear();  // the line editor has shown it
    if (result == EditResult::kEnd) ended_ = true;
  } else {
    // Nothing is asked for: the prompt is shown as it would be without a line editor.
    Flush();
  }
  if (pending_.empty() || limit < 1) {
    buf[0] = '\0';
    return false;
  }
  // The piece fgets would deliver: through the newline, at most limit-1 bytes.
  const auto newline = pending_.find('\n');
  const std::size_t piece = std::min(newline == std::string::npos ? pending_.size() : newline + 1,
                                     static_cast<std::size_t>(limit - 1));
  pending_.copy(buf, piece);
  buf[piece] = '\0';
  pending_.erase(0, piece);
  return true;
}

bool Console::ReadAnswer(char* buf, int limit, InputKind kind) {
  const bool got = ReadLine(buf, limit, kind);
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
  if (!editor_) {
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

void Console::WriteOut(std::string_view text) {
  (void)std::fwrite(text.data(), 1, text.size(), out_);
}

void Console::Write(std::string_view text) {
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

void Console::Flush() {
  WriteOut(held_);
  held_.clear();
  (void)std::fflush(out_);
}

}  // namespace ostrel
