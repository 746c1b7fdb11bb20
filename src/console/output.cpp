#include "console/output.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "signals/signals.h"

namespace ostrel {
namespace {

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

OutputMode OutputModeOf(int fd) {
  return fd >= 0 && isatty(fd) == 1 ? OutputMode::kVisible : OutputMode::kRaw;
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

void AppendText(std::string& out, std::string_view bytes, OutputMode mode) {
  if (mode == OutputMode::kRaw) {
    out += bytes;
  } else {
    AppendVisible(out, bytes);
  }
}

void AppendFormatted(std::string& out, const char* format, const format::Arg* args,
                     OutputMode mode) {
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
        AppendText(out, args->text, mode);
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
        // The C library's conversion rounds as the C++ one does; the C++ one would bring in
        // the maths library, which every start would then load.
        char digits[512];  // the largest double in full, and 99 decimals
        const int length = std::snprintf(digits, sizeof digits, "%.*f", d.precision, args->real);
        if (length > 0)
          out.append(digits, std::min(static_cast<std::size_t>(length), sizeof digits - 1));
        ++args;
        break;
      }
      case format::Conversion::kUnknown:  // refused when the program was compiled
        break;
    }
  }
}

std::size_t OutputBuffer::LastLineStart() const {
  const std::size_t newline = pending_.rfind('\n');
  return newline == std::string::npos ? 0 : newline + 1;
}

bool OutputBuffer::Send(std::size_t count) {
  if (count == 0) return true;
  std::size_t done = 0;
  // Once the output has failed for good the editor is ending, and writes nothing more there.
  // The output that a signal cut short and that still cannot be written is dropped, so that
  // the editor can act on the signal instead of waiting for it.
  if (result_.ok() && !(stuck_ && !Writable(fd_))) {
    while (done < count) {
      const ssize_t n = write(fd_, pending_.data() + done, count - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      if (done == count) break;
      // A write that blocks (a stopped terminal, a pipe nobody reads) lets a signal through:
      // the rest is dropped, and the read that comes next acts on the signal.
      if (PendingSignal() != 0) {
        stuck_ = true;
        break;
      }
      if (n > 0 || (n < 0 && errno == EINTR)) continue;
      // An output that does not block (shared with a program that asked for that) is waited
      // for as a blocking one would be: no byte is dropped.
      if (n < 0 && errno == EAGAIN) {
        if (WaitForOutput(fd_) == WaitResult::kSignal) stuck_ = true;
        if (stuck_) break;
        continue;
      }
      // A write that wrote nothing and set no error counts as an I/O error.
      const SysError failure =
          n < 0 ? SysError::FromErrno("write the output") : SysError::Of(EIO, "write the output");
      // Output nobody can read any more ends the editor as the signal that would have come
      // does: a terminal that went away as a hangup, a pipe without a reader as SIGPIPE, where
      // that signal was not ignored when the editor started. Anything else is a failure the
      // editor reports as it ends.
      const bool gone = OutputGone(fd_, failure.Errno());
      if (gone && mode_ == OutputMode::kVisible) {
        NoteSignal(SIGHUP);
      } else if (gone && !pipe_ignored_) {
        NoteSignal(SIGPIPE);
      } else {
        result_ = failure;
        NoteSignal(kOutputFailed);
      }
      break;
    }
  }
  if (done == count) stuck_ = false;
  pending_.erase(0, count);
  return done == count;
}

}  // namespace ostrel
