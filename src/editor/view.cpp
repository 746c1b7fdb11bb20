#include "editor/view.h"

#include <charconv>
#include <cstring>
#include <string>

#include "buffer/line_text.h"
#include "console/console.h"

namespace ostrel {
namespace {

void AppendNumber(std::string& out, int64_t n) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, n);
  out.append(digits, result.ptr);
}

}  // namespace

void Display(int32_t cursor_line, int32_t cursor_pos, int32_t page_minus_one,
             const TextBuffer& buffer, bool numbers, const char* file_name, Console& con) {
  const int32_t lines = buffer.lines();
  // The cursor line is shown, and its column told, from the first byte of the character that
  // holds the cursor's byte; the other lines from that byte itself.
  const int32_t column = CharStartInLine(buffer, cursor_line, cursor_pos);
  std::string out;
  out.reserve(512);
  out += "\nEditing ";
  AppendNumber(out, int64_t{cursor_line} + 1);
  out += ':';
  AppendNumber(out, int64_t{column} + 1);
  out += ' ';
  con.AppendText(out, file_name);
  out += "\n\n";

  // Columns in front of the cursor line's text; the prompt is indented to match.
  int64_t prefix_width = 2;
  const int64_t a = page_minus_one;
  if (a >= 0) {
    int64_t first = int64_t{cursor_line} - a;
    if (first < 0) first = 0;
    if (first >= lines) first = lines - 1;
    for (int64_t i = first;; ++i) {
      const bool is_cursor = i == cursor_line;
      const auto from = static_cast<std::size_t>(is_cursor ? column : cursor_pos);
      const std::string_view line = LineText(buffer, static_cast<int32_t>(i));
      const bool visible = line.size() > from;
      const std::string_view text = visible ? line.substr(from) : std::string_view();
      if (numbers) {
        if (is_cursor) {
          const std::size_t start = out.size();
          out += '[';
          AppendNumber(out, i + 1);
          out += "] ";
          prefix_width = static_cast<int64_t>(out.size() - start);
          con.AppendText(out, text);
        } else {
          out += ' ';
          AppendNumber(out, i + 1);
          if (visible) {
            out += "  ";
            con.AppendText(out, text);
          }
        }
      } else {
        if (is_cursor) {
          out += visible ? "> " : ">";
        } else if (visible) {
          out += "  ";
        }
        con.AppendText(out, text);
      }
      out += '\n';
      if (i - first + 1 > a || i + 1 >= lines) break;
    }
  } else {
    prefix_width = 2;  // an empty window: the prompt is "> " with no indentation
  }

  out.append(static_cast<std::size_t>(prefix_width - 2), ' ');
  out += "> ";
  con.Write(out);
}

}  // namespace ostrel
