#include "console/input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "common/characters.h"
#include "signals/signals.h"

namespace ostrel {
namespace {

// The largest block one read takes.
constexpr std::size_t kMaxBlock = std::size_t{1024} * 1024;

}  // namespace

InputBuffer::InputBuffer(int fd)
    : fd_(fd), is_terminal_(fd >= 0 && isatty(fd) == 1), ended_(fd < 0) {
  struct stat st {};
  if (fd_ >= 0 && fstat(fd_, &st) == 0) {
    is_file_ = S_ISREG(st.st_mode);
    // Pipes and terminals are read in the blocks the C library's streams read them in, so
    // that what a launched command finds left in a shared pipe is what it always found.
    if (st.st_blksize > 0) {
      block_ = std::min(static_cast<std::size_t>(st.st_blksize), kMaxBlock);
    }
  }
}

bool InputBuffer::Take(char* buf, std::size_t most, bool& cut_before_char) {
  const std::size_t unread = end_ - begin_;
  const char* start = data_.data() + begin_;
  const std::size_t scan = std::min(unread, most);
  const auto* newline =
      scan == 0 ? nullptr : static_cast<const char*>(std::memchr(start, '\n', scan));
  const std::string_view seen(start, unread);
  // A line cut by the limit is cut before the character that does not fit whole; when the
  // bytes that decide whether one straddles the limit are still to come, they are read first.
  const bool by_limit = newline == nullptr && unread >= most;
  const bool undecided = by_limit && !ended_ && UnfinishedCharStart(seen) < most;
  if (undecided || (newline == nullptr && !by_limit && !(ended_ && unread > 0))) return false;
  std::size_t piece = newline != nullptr ? static_cast<std::size_t>(newline - start) + 1 : scan;
  // A character longer than the whole limit is cut as bytes.
  if (by_limit && FitWhole(seen, most) > 0) piece = FitWhole(seen, most);
  cut_before_char = piece < scan && newline == nullptr;
  if (piece > 0) std::memcpy(buf, start, piece);
  buf[piece] = '\0';
  begin_ += piece;
  return true;
}

char* InputBuffer::Room(std::size_t more) {
  if (begin_ > 0) {
    if (end_ > begin_) std::memmove(data_.data(), data_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (data_.size() < end_ + more) data_.resize(end_ + more);
  return data_.data() + end_;
}

void InputBuffer::Add(std::string_view line) {
  if (line.empty()) return;
  std::memcpy(Room(line.size()), line.data(), line.size());
  end_ += line.size();
}

bool InputBuffer::Fill(const IdleWork& idle) {
  char* room = Room(block_);
  if (released_) {
    // A launched command may have moved the shared offset: the editor reads on from its own.
    (void)lseek(fd_, resume_at_, SEEK_SET);
    released_ = false;
  }
  while (true) {
    // A regular file always has its bytes at hand. Anything else may make the read wait, and
    // a signal that came just before it would then wait for the next input line: the waiting
    // is done where a noted signal always cuts it short.
    if (!is_file_) {
      const WaitResult waited = WaitForInput(fd_, idle.Timeout());
      if (waited == WaitResult::kTimedOut) {
        idle.run();
        continue;
      }
      if (waited != WaitResult::kReady) return false;
    }
    const ssize_t got = read(fd_, room, block_);
    if (got >= 0) {
      end_ += static_cast<std::size_t>(got);
      ended_ = got == 0;
      return true;
    }
    if (errno == EINTR || (errno == EAGAIN && !is_file_)) {
      if (PendingSignal() != 0) return false;
      continue;
    }
    // A terminal that fails a read has gone away (Ctrl-D is an end of input, not an error); its
    // hangup signal may still be on the way. Any other input that fails ends, and the failure
    // is kept for the editor to report as it ends.
    if (!is_terminal_) {
      result_ = SysError::FromErrno("read the input");
      ended_ = true;
      return true;
    }
    if (PendingSignal() == 0) NoteSignal(SIGHUP);
    return false;
  }
}

void InputBuffer::Release() {
  if (!is_file_) return;
  const auto unread = static_cast<off_t>(end_ - begin_);
  const off_t at =
      lseek(fd_, released_ ? resume_at_ - unread : -unread, released_ ? SEEK_SET : SEEK_CUR);
  if (at < 0) return;
  resume_at_ = at + unread;
  released_ = true;
}

}  // namespace ostrel
