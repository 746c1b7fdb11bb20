// The editor on a terminal: a whole session typed at it, compared with the same input through
// a pipe.
#include "e2e/checks.h"

#include <csignal>

namespace ostrel::e2e {
namespace {

TEST(Terminal, SessionMatchesThePipedRunAndTheHelperSeesEchoAndSignals) {
  const std::string script = "hello world\nS\nq\nq\n";
  Sandbox box;
  {
    // Without line editing the terminal's own line discipline reads the lines.
    Terminal t(box, {.args = {"--no-line-editing", "notes.txt"}, .echo = false});
    ASSERT_TRUE(t.WaitFor("Ostrel line editor " OSTREL_VERSION "\n"));
    ASSERT_TRUE(t.WaitFor("\n[1] \n 2\n 3\n 4\n 5\n 6\n 7\n 8\n  > "));
    t.Mark();
    ASSERT_TRUE(Typed(t, "hello world\n", " 1  hello world\n[2] "));
    ASSERT_TRUE(t.WaitFor(kPrompt));
    t.Mark();
    ASSERT_TRUE(Typed(t, "S\n", "Saved to notes.txt\n"));
    ASSERT_TRUE(t.Send("q\nq\n"));
    const TerminalExit end = t.Wait();
    EXPECT_TRUE(end.exited);
    EXPECT_EQ(end.status(), 0);
    EXPECT_EQ(box.File("notes.txt"), "hello world\n");
    // Pipe and terminal give the same bytes for the same input.
    const auto piped = RunEditor({.args = {"notes.txt"}, .input = script});
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(CrLfToLf(t.Output()), piped.out);
  }
  {
    // A real terminal's translation and echo; a signal ends the editor.
    Terminal t(box, {.args = {"--no-line-editing", "notes.txt"}, .onlcr = true});
    ASSERT_TRUE(t.WaitFor("[1] hello world\r\n"));
    ASSERT_TRUE(t.WaitFor(kPrompt));
    t.Mark();
    ASSERT_TRUE(Typed(t, "abc\n", "abc\r\n"));
    ASSERT_TRUE(t.WaitFor(" 1  abclo world\r\n[2] "));  // typing overwrites
    t.Kill(SIGKILL);
    const TerminalExit end = t.Wait();
    EXPECT_FALSE(end.exited);
    EXPECT_EQ(end.signal, SIGKILL);
    EXPECT_EQ(end.status(), 128 + SIGKILL);
    EXPECT_EQ(CrLfToLf(t.OutputSinceMark()).find('\r'), std::string::npos);
  }
}

}  // namespace
}  // namespace ostrel::e2e
