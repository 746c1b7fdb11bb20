#include "console/console.h"

#include <gtest/gtest.h>

#include <string>

#include "support/memory_console.h"

namespace ostrel {
namespace {

TEST(ConsoleOutput, CaretFormForControlBytesOnly) {
  const struct {
    std::string bytes;
    std::string shown;
  } cases[] = {
      {"plain text", "plain text"},
      {"\x1b]0;title\x07", "^[]0;title^G"},
      {"a\rb\nc", "a^Mb^Jc"},
      {"tab\tstays", "tab\tstays"},
      {std::string("\x00\x1f\x7f", 3), "^@^_^?"},
      {"caf\xc3\xa9 \x80\xff", "caf\xc3\xa9 \x80\xff"},  // 0x80 and above pass
  };
  for (const auto& c : cases) {
    std::string shown;
    AppendVisible(shown, c.bytes);
    EXPECT_EQ(shown, c.shown);
  }
  // Every byte: nothing below 0x20 but tab, and no DEL, comes out.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string shown;
  AppendVisible(shown, all);
  for (const char c : shown) {
    const auto b = static_cast<unsigned char>(c);
    EXPECT_TRUE((b >= 0x20 && b != 0x7f) || b == '\t') << int{b};
  }
}

TEST(ConsoleOutput, OnATerminalOnlyOutsideBytesChangeAndNumbersFormatAsPrintfDoes) {
  const std::string odd = "f\x1b[2Jx";
  for (const OutputMode mode : {OutputMode::kRaw, OutputMode::kVisible}) {
    const bool terminal = mode == OutputMode::kVisible;
    const std::string shown = terminal ? "f^[[2Jx" : odd;
    test::MemoryConsole c("", mode);
    c.con().Print("Saved to %s\n", Visible(odd));
    c.con().Print("[%s|%s|%s]\n", Visible("ab"), Visible("\r"), Visible("\x07xy\x7f"));
    c.con().Print("%i %d %lld %.1f%% %d %d|%s\n", -3, 42, 1LL << 40, 99.25, std::size_t{7},
                  uint64_t{1} << 63, Visible("\x01\x02"));
    c.con().Write("own\a\n");
    c.con().Line("line\x1b");
    c.con().Text(odd);
    std::string assembled = "<";
    c.con().AppendText(assembled, odd);
    c.con().Write(assembled);
    EXPECT_EQ(c.Output(),
              "Saved to " + shown + "\n" + (terminal ? "[ab|^M|^Gxy^?]\n" : "[ab|\r|\axy\x7f]\n") +
                  "-3 42 1099511627776 99.2% 7 9223372036854775808|" +
                  (terminal ? "^A^B" : "\x01\x02") + "\nown\a\nline\x1b\n" + shown + "<" + shown)
        << terminal;
  }
}

}  // namespace
}  // namespace ostrel
