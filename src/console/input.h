// The console's input side: standard input read ahead in blocks through its descriptor and
// handed out in pieces by the rules every read of the editor follows.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

#include "common/sys_result.h"

namespace ostrel {

// Work done while a terminal's input keeps the editor waiting: once the wait for input has
// lasted `after_ms` milliseconds while `due` holds, `run` is called and the wait goes on. While
// nothing is due the wait has no time limit, so input that keeps coming costs nothing more.
struct IdleWork {
  int after_ms = 0;  // 0: never
  std::function<bool()> due;
  std::function<void()> run;

  // The time limit of the next wait: after_ms when work is due, else -1 (none).
  int Timeout() const { return after_ms > 0 && due && run && due() ? after_ms : -1; }
};

class InputBuffer {
 public:
  // Whether `fd` is a terminal or a regular file, and the block it is read in, are decided
  // here, once.
  explicit InputBuffer(int fd);

  int fd() const { return fd_; }
  bool IsTerminal() const { return is_terminal_; }
  // The input has ended (or failed), as a stream's end-of-file flag.
  bool Ended() const { return ended_; }
  // How reading went: the failure of a read (a folder given as input, an I/O error) that ended
  // the input, if one did.
  const SysResult<>& result() const { return result_; }
  // Input read ahead and not yet handed out.
  std::string_view Unread() const { return {data_.data() + begin_, end_ - begin_}; }

  // Hands out the next piece by the fgets rules when the input read so far decides it: up to
  // and including a newline, at most `most` bytes, or what is left at the end of input. A
  // piece cut by the limit is cut before a UTF-8 character that does not fit whole
  // (common/characters.h); `cut_before_char` tells so. `buf` gets the piece and a NUL. False
  // when more input must be read first (or, once it has ended, when nothing is left).
  bool Take(char* buf, std::size_t most, bool& cut_before_char);

  // Reads the next block from the descriptor, doing `idle`'s work in the pauses, or notes the
  // end of input. False when a signal cut the wait short.
  bool Fill(const IdleWork& idle);
  // Adds a line that came another way (from the line editor) after the unread input.
  void Add(std::string_view line);
  // Notes the end of input.
  void End() { ended_ = true; }

  // Puts a regular file's offset back where the handed-out input ends (see Console).
  void Release();

 private:
  // Makes room for `more` bytes after the unread input.
  char* Room(std::size_t more);

  int fd_;
  bool is_terminal_;
  bool is_file_ = false;        // a regular file: never waited for, and can be put back
  std::size_t block_ = BUFSIZ;  // the most one read takes: the input's block size
  std::vector<char> data_;      // [begin_, end_) is not yet handed out
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool ended_;  // from the start when there is no descriptor
  SysResult<> result_;
  bool released_ = false;  // the input was put back; reading resumes at resume_at_
  off_t resume_at_ = 0;
};

}  // namespace ostrel
