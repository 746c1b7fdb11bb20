// The console's bookkeeping of what a terminal shows: whether the cursor stands after text on
// its line, and, for the line editor's redraw, the view as it was shown.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel {

class TerminalLines {
 public:
  // `fresh_lines`: input and output are terminals, so messages after an unfinished line start
  // on a fresh line.
  explicit TerminalLines(bool fresh_lines) : fresh_lines_(fresh_lines) {}

  bool FreshLines() const { return fresh_lines_; }
  // The last byte written was not a newline.
  bool LineOpen() const { return line_open_; }
  // Whether output must start with a newline, because a read left the user's line open; the
  // newline is then due no more.
  bool TakeFreshLine() {
    const bool due = fresh_line_due_;
    fresh_line_due_ = false;
    return due;
  }
  // Notes the end of what was written last.
  void Wrote(std::string_view text) { line_open_ = text.back() != '\n'; }
  // After a read: whether it left the user's line open on the terminal.
  void Read(bool left_open) {
    if (!fresh_lines_) return;
    line_open_ = left_open;
    fresh_line_due_ = left_open;
  }

  // What the terminal shows of the output and the typed lines, for the line editor's redraw,
  // keeping the newest part when it grows long.
  void Record(std::string_view shown) {
    // A redraw shows what fits on a screen: the newest lines of a long output are enough.
    constexpr std::size_t kKept = std::size_t{32} * 1024;
    screen_.append(shown);
    if (screen_.size() <= 2 * kKept) return;
    const std::size_t cut = screen_.find('\n', screen_.size() - kKept);
    screen_.erase(0, cut == std::string::npos ? screen_.size() - kKept : cut + 1);
  }
  const std::string* Screen() const { return &screen_; }
  void ClearScreen() { screen_.clear(); }

 private:
  bool fresh_lines_;
  bool line_open_ = false;
  bool fresh_line_due_ = false;
  std::string screen_;
};

}  // namespace ostrel
