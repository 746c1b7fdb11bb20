#include "console/console.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/unit_checks.h"

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

// Input through a pipe and from a file is handed out by the same rules: a line longer than one
// block of input arrives whole, a short limit cuts pieces, the last line may lack its newline.
// A file is then put back where the consumed input ends.
TEST(ConsoleInput, LinesSpanBlocksAndAFileIsPutBackWhereTheyEnd) {
  const std::string input = std::string(5000, 'x') + "\ntail";
  for (const bool file : {false, true}) {
    SCOPED_TRACE(file ? "file" : "pipe");
    int fds[2] = {-1, -1};
    test::MemoryFile memory(input);
    if (!file) {
      ASSERT_EQ(pipe(fds), 0);
      ASSERT_EQ(write(fds[1], input.data(), input.size()), std::ssize(input));
      close(fds[1]);
    }
    const int in = file ? memory.fd() : fds[0];
    {
      test::MemoryFile out;
      Console con(in, out.fd());
      std::string line(8000, '\0');
      bool goes_on = false;
      ASSERT_EQ(con.ReadPiece(line.data(), 8000, InputKind::kCommand, goes_on), ReadOutcome::kLine);
      EXPECT_EQ(std::string(line.c_str()), input.substr(0, 5001));
      if (file) {
        con.ReleaseInput();
        EXPECT_EQ(lseek(in, 0, SEEK_CUR), 5001);
      }
      char piece[3];
      ASSERT_EQ(con.ReadPiece(piece, 3, InputKind::kCommand, goes_on), ReadOutcome::kLine);
      EXPECT_STREQ(piece, "ta");
      ASSERT_EQ(con.ReadPiece(piece, 3, InputKind::kCommand, goes_on), ReadOutcome::kLine);
      EXPECT_STREQ(piece, "il");
      EXPECT_EQ(con.ReadPiece(piece, 3, InputKind::kCommand, goes_on), ReadOutcome::kEnd);
      EXPECT_EQ(con.last_read(), ReadOutcome::kEnd);
    }
    if (!file) close(fds[0]);
  }
}

// Output is written before a read that has to take in more input, so a program that drives the
// editor sees every prompt it must answer; answers it has already sent are read without a
// write each, and a chunk of output is written as soon as it fills.
TEST(ConsoleOutput, WrittenBeforeEveryReadThatTakesInInput) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "a\nb\n", 4), 4);
  {
    test::MemoryFile out;
    Console con(fds[0], out.fd());
    char piece[8];
    bool goes_on = false;
    con.Write("view 0\n");
    ASSERT_EQ(con.ReadPiece(piece, 8, InputKind::kCommand, goes_on), ReadOutcome::kLine);
    EXPECT_EQ(out.Content(), "view 0\n");
    con.Write("view a\n");
    ASSERT_EQ(con.ReadPiece(piece, 8, InputKind::kCommand, goes_on), ReadOutcome::kLine);
    EXPECT_STREQ(piece, "b\n");
    EXPECT_EQ(out.Content(), "view 0\n");
    con.Write("view b\n");
    ASSERT_EQ(write(fds[1], "c\n", 2), 2);
    ASSERT_EQ(con.ReadPiece(piece, 8, InputKind::kCommand, goes_on), ReadOutcome::kLine);
    EXPECT_EQ(out.Content(), "view 0\nview a\nview b\n");
    con.Write(std::string(64 * 1024, 'v'));
    EXPECT_EQ(out.Content().size(), 21 + 64 * 1024);
  }
  close(fds[0]);
  close(fds[1]);
}

// A line cut by its limit is cut before a UTF-8 character that does not fit whole, also when
// the character's last bytes come with the next block of a pipe; a character longer than the
// whole limit is cut as bytes.
TEST(ConsoleInput, ALineCutByItsLimitIsCutBeforeACharacter) {
  const std::string euro = "\xE2\x82\xAC";
  // The pipe's first block of 4096 bytes ends after the first byte of the euro sign.
  const std::string input =
      std::string(4095, 'x') + euro + "\n" + euro + "\n" + euro + "\n\xE2\x82x\n";
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], input.data(), input.size()), std::ssize(input));
  close(fds[1]);
  {
    test::MemoryFile out;
    Console con(fds[0], out.fd());
    std::string line(4097, '\0');
    bool goes_on = false;
    ASSERT_EQ(con.ReadPiece(line.data(), 4097, InputKind::kCommand, goes_on), ReadOutcome::kLine);
    EXPECT_EQ(std::string(line.c_str()), std::string(4095, 'x'));
    EXPECT_TRUE(goes_on);
    char piece[8];
    ASSERT_EQ(con.ReadPiece(piece, 8, InputKind::kCommand, goes_on), ReadOutcome::kLine);
    EXPECT_EQ(std::string(piece), euro + "\n");
    ASSERT_EQ(con.ReadPiece(piece, 3, InputKind::kCommand, goes_on), ReadOutcome::kLine);
    EXPECT_EQ(std::string(piece), euro.substr(0, 2));
    ASSERT_EQ(con.ReadPiece(piece, 3, InputKind::kCommand, goes_on), ReadOutcome::kLine);
    EXPECT_EQ(std::string(piece), euro.substr(2) + "\n");
    // Bytes that only begin a character are characters of their own.
    ASSERT_EQ(con.ReadPiece(piece, 3, InputKind::kCommand, goes_on), ReadOutcome::kLine);
    EXPECT_EQ(std::string(piece), "\xE2\x82");
  }
  close(fds[0]);
}

}  // namespace
}  // namespace ostrel
