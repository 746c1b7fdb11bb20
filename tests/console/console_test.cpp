#include "console/console.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/unique_fd.h"
#include "support/unit_checks.h"

namespace ostrel {
namespace {

std::string Shown(const std::string& bytes) {
  std::string shown;
  AppendVisible(shown, bytes);
  return shown;
}

// A pipe that already holds `input`; its write end is closed unless more input is to come.
struct Pipe {
  UniqueFd read;
  UniqueFd write;
};

Pipe PipeHolding(const std::string& input, bool more_to_come = false) {
  int fds[2] = {-1, -1};
  EXPECT_EQ(pipe(fds), 0);
  Pipe p{UniqueFd(fds[0]), UniqueFd(fds[1])};
  EXPECT_EQ(write(fds[1], input.data(), input.size()), std::ssize(input));
  if (!more_to_come) p.write.Reset();
  return p;
}

// The next piece of a command line read into `limit` bytes, once the read had `outcome`.
std::string Next(Console& con, int limit, bool& goes_on, ReadOutcome outcome = ReadOutcome::kLine) {
  std::string piece(static_cast<std::size_t>(limit), '\0');
  EXPECT_EQ(con.ReadPiece(piece.data(), limit, InputKind::kCommand, goes_on), outcome);
  return piece.c_str();
}

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
  for (const auto& c : cases) EXPECT_EQ(Shown(c.bytes), c.shown);
  // Every byte: nothing below 0x20 but tab, and no DEL, comes out.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (const char c : Shown(all)) {
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
    const test::MemoryFile memory(input);
    const Pipe piped = PipeHolding(input);
    const int in = file ? memory.fd() : piped.read.get();
    const test::MemoryFile out;
    Console con(in, out.fd());
    bool goes_on = false;
    EXPECT_EQ(Next(con, 8000, goes_on), input.substr(0, 5001));
    if (file) {
      con.ReleaseInput();
      EXPECT_EQ(lseek(in, 0, SEEK_CUR), 5001);
    }
    EXPECT_EQ(Next(con, 3, goes_on), "ta");
    EXPECT_EQ(Next(con, 3, goes_on), "il");
    Next(con, 3, goes_on, ReadOutcome::kEnd);
    EXPECT_EQ(con.last_read(), ReadOutcome::kEnd);
  }
}

// Output is written before a read that has to take in more input, so a program that drives the
// editor sees every prompt it must answer; answers it has already sent are read without a
// write each, and a chunk of output is written as soon as it fills.
TEST(ConsoleOutput, WrittenBeforeEveryReadThatTakesInInput) {
  const Pipe piped = PipeHolding("a\nb\n", true);
  const test::MemoryFile out;
  Console con(piped.read.get(), out.fd());
  bool goes_on = false;
  con.Write("view 0\n");
  Next(con, 8, goes_on);
  EXPECT_EQ(out.Content(), "view 0\n");
  con.Write("view a\n");
  EXPECT_EQ(Next(con, 8, goes_on), "b\n");
  EXPECT_EQ(out.Content(), "view 0\n");
  con.Write("view b\n");
  ASSERT_EQ(write(piped.write.get(), "c\n", 2), 2);
  Next(con, 8, goes_on);
  EXPECT_EQ(out.Content(), "view 0\nview a\nview b\n");
  con.Write(std::string(64 * 1024, 'v'));
  EXPECT_EQ(out.Content().size(), 21 + 64 * 1024);
}

// A line cut by its limit is cut before a UTF-8 character that does not fit whole, also when
// the character's last bytes come with the next block of a pipe; a character longer than the
// whole limit is cut as bytes.
TEST(ConsoleInput, ALineCutByItsLimitIsCutBeforeACharacter) {
  const std::string euro = "\xE2\x82\xAC";
  // The pipe's first block of 4096 bytes ends after the first byte of the euro sign.
  const Pipe piped =
      PipeHolding(std::string(4095, 'x') + euro + "\n" + euro + "\n" + euro + "\n\xE2\x82x\n");
  const test::MemoryFile out;
  Console con(piped.read.get(), out.fd());
  bool goes_on = false;
  EXPECT_EQ(Next(con, 4097, goes_on), std::string(4095, 'x'));
  EXPECT_TRUE(goes_on);
  EXPECT_EQ(Next(con, 8, goes_on), euro + "\n");
  EXPECT_EQ(Next(con, 3, goes_on), euro.substr(0, 2));
  EXPECT_EQ(Next(con, 3, goes_on), euro.substr(2) + "\n");
  // Bytes that only begin a character are characters of their own.
  EXPECT_EQ(Next(con, 3, goes_on), "\xE2\x82");
}

}  // namespace
}  // namespace ostrel
