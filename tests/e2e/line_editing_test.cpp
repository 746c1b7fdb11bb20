// Line editing on a terminal: what the user edits arrives as if the finished line had come
// through a pipe, history and Tab work where they should, and Ctrl-C and Ctrl-D do what they
// do without line editing.
#include <regex>
#include "e2e/checks.h"

#include "console/line_editor.h"

namespace ostrel::e2e {
namespace {

// Keys as a terminal sends them.
const std::string kLeft = "\x1b[D";
const std::string kRight = "\x1b[C";
const std::string kUp = "\x1b[A";
const std::string kHome = "\x1b[H";
const std::string kEnd = "\x1b[F";
const std::string kDelete = "\x1b[3~";
const std::string kBackspace = "\x7f";

// Keys typed once `wait` has appeared in the output since the previous step, or a signal
// sent then.
struct Step {
  std::string wait;
  std::string keys;
  int signal = 0;
};

struct Session {
  TerminalExit end;
  std::optional<std::string> file;
  std::optional<std::string> rescue;  // the file's rescue file
  Strings headers;                    // every "Editing L:C NAME" line, in order
  std::string out;                    // what the terminal showed, line ends as "\n"
};

// Every header but those Ctrl-L draws again after clearing the screen: the redraw starts with
// the view whose header was just counted.
Strings Headers(std::string out) {
  for (auto at = out.find("\x1b[2J"); at != std::string::npos; at = out.find("\x1b[2J", at)) {
    const auto header = out.find("\nEditing ", at);
    out.erase(at, header == std::string::npos ? header : out.find('\n', header + 1) - at);
  }
  Strings headers;
  const std::regex header("\nEditing [0-9]+:[0-9]+ [^\r\n]*");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), header); it != std::sregex_iterator();
       ++it) {
    headers.push_back(it->str().substr(1));
  }
  return headers;
}

// Types the steps at the editor on a terminal. A step whose text never comes (the editor has
// ended) ends the typing; the editor is then waited for. With line editing each step's keys
// are sent only once the line editor reads: Ctrl-L, which only the line editor answers (by
// clearing the screen), shows when it does. Keys sent earlier would meet the terminal's own
// line discipline, which acts on Ctrl-D, Ctrl-U and Backspace.
Session Type(TerminalPlan plan, const std::vector<Step>& steps, const std::string& file,
             bool line_editing = true) {
  Sandbox box;
  plan.onlcr = true;
  Terminal t(box, plan);
  for (const auto& step : steps) {
    if (!t.WaitFor(step.wait, 5)) break;
    t.Mark();
    if (line_editing) {
      // The prompt waited for may be the line editor's own redraw of a line it recalled, before
      // the editor took that line: the probe goes out once the editor reads again. The redraw
      // the probe brings holds a prompt too: the next step looks only past it.
      if (!t.WaitUntilReading(5)) break;
      t.Send("\x0c");
      if (!t.WaitFor("\x1b[2J", 5) || !t.WaitUntilReading(5)) break;
      t.Mark();
    } else if (!t.WaitUntilReading(5)) {
      // Without a line editor nothing printed shows that the editor waits in its read: it is
      // seen asleep there. A signal that came before would be acted on only after the next line.
      break;
    }
    if (step.signal != 0) {
      t.Kill(step.signal);
      // What the signal makes the editor do (set its terminal mode again, redraw) is done
      // before the next step looks for a redraw of its own.
      if (!t.WaitUntilReading(5)) break;
    } else {
      t.Send(step.keys);
    }
  }
  Session s{.end = t.Wait()};
  s.file = box.File(file);
  s.rescue = box.File(file + ".save");
  s.out = CrLfToLf(t.Output());
  s.headers = Headers(s.out);
  return s;
}

// The same input through a pipe.
Session Pipe(const RunPlan& plan, const std::string& file) {
  Sandbox box;
  const RunResult r = box.Run(plan);
  return {.end = {.exited = r.status < 128, .code = r.status, .signal = r.status - 128},
          .file = r.File(file),
          .headers = Headers(r.out)};
}

class LineEditing : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kLineEditingBuiltIn) GTEST_SKIP() << "built without line editing";
  }
};

// Each session is typed with line editing and compared with its finished lines sent through a
// pipe: the same document, the same views (headers) in the same order, the same exit.
TEST_F(LineEditing, EditedLinesArriveAsThroughAPipe) {
  const std::vector<Step> save_and_quit = {
      {kPrompt, "S\r"}, {kPrompt, "q\r"}, {"continue\r\n", "q\r"}};
  struct Case {
    std::string name;
    std::optional<std::string> settings;
    std::vector<Step> steps;
    std::string piped;
    std::string file = "doc.txt";
    std::map<std::string, std::string> files;
  };
  const std::vector<Case> cases = {
      {.name = "editing keys",
       .steps = {{kPrompt, "hllo" + kLeft + kLeft + kLeft + "e" + kRight + kRight + kRight + "XY" +
                               kBackspace + kBackspace + " world\r"},
                 {kPrompt, "ello\x01h\x05!\r"},
                 {kPrompt, "ello" + kHome + "h" + kEnd + "!\r"},
                 {kPrompt, "hXello" + kHome + kRight + kDelete + "\r"},
                 {kPrompt, "hXello" + kHome + kRight + "\x04\r"},
                 {kPrompt,
                  "hello world\x01" + kRight + kRight + kRight + kRight + kRight + "\x0b\r"},
                 {kPrompt, "junk\x15hello\r"},
                 {kPrompt, "hello wrld\x17world\r"},
                 // UTF-8 text is edited by characters and arrives as the same bytes.
                 {kPrompt, "caf\xc3\xa9 \xe2\x82\xac" + kLeft + kBackspace + "\r"}},
       .piped = "hello world\nhello!\nhello!\nhello\nhello\nhello\nhello\nhello world\n"
                "caf\xc3\xa9\xe2\x82\xac\n"},
      // Up at the command line recalls command lines, at a question earlier answers.
      {.name = "history",
       .steps = {{kPrompt, "first\r"},
                 {kPrompt, "g\r"},
                 {"line?\r\n", "5\r"},
                 {kPrompt, kUp + kUp + "\r"},
                 {kPrompt, "g\r"},
                 {"line?\r\n", kUp + "\r"},
                 {kPrompt, "!x\r"}},
       .piped = "first\ng\n5\nfirst\ng\n5\n!x\n"},
      // Tab is a tab in text and completes the name at the save question.
      {.name = "tab",
       .steps = {{kPrompt, "lon\tg\r"},
                 {kPrompt, "s\r"},
                 {"return\r\n", "longn\t\r"},
                 {"overwrite\r\n", "o\r"},
                 {kPrompt, "q\r"},
                 {"continue\r\n", "q\r"}},
       .piped = "lon\tg\ns\nlongname.txt\no\nq\nq\n",
       .file = "longname.txt",
       .files = {{"longname.txt", "old\n"}}},
      // A line longer than the slots arrives in the same pieces, each entered on a line.
      {.name = "long line",
       .settings = "max_char=10\n",
       .steps = {{kPrompt, "abcdefghijKLMNOPQRSTuvwxQ" + kBackspace + "y\r"}},
       .piped = "abcdefghijKLMNOPQRSTuvwxy\n"},
      // After Ctrl-Z (a stop, which this terminal's orphaned process group discards) and a
      // continuation the line editor reads in its own mode again, with the line kept.
      {.name = "stop and continuation",
       .steps = {{kPrompt, "junk"}, {"", "\x1a"}, {"", "", SIGCONT}, {"", "\x15hello\r"}},
       .piped = "hello\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Step> steps = c.steps;
    std::string piped = c.piped;
    if (c.file == "doc.txt") {
      steps.insert(steps.end(), save_and_quit.begin(), save_and_quit.end());
      piped += "S\nq\nq\n";
    }
    const Session typed =
        Type({.settings = c.settings, .args = {"doc.txt"}, .files = c.files}, steps, c.file);
    const Session expected = Pipe(
        {.settings = c.settings, .args = {"doc.txt"}, .input = piped, .files = c.files}, c.file);
    EXPECT_EQ(typed.end.status(), 0);
    EXPECT_EQ(typed.end.status(), expected.end.status());
    EXPECT_EQ(typed.file, expected.file);
    EXPECT_EQ(typed.headers, expected.headers);
  }
}

// Text typed or inserted that does not fit is dropped from the first character that does not
// fit whole, and a line says how much; the typed line stays in the history.
TEST_F(LineEditing, DroppedCharactersAreToldAndTheLineIsKept) {
  const std::string euro = "\xe2\x82\xac";
  const Session s = Type({.settings = "max_char=10\n", .args = {"doc.txt"}},
                         {{kPrompt, "G\r"},
                          {"position?\r\n", "6\r"},
                          {kPrompt, euro + euro + euro + "\r"},
                          {kPrompt, kUp + "\r"},
                          {kPrompt, "i\r"},
                          {"insert\r\n", euro + euro + "\r"},
                          {kPrompt, "S\r"},
                          {kPrompt, "q\r"},
                          {"continue\r\n", "q\r"}},
                         "doc.txt");
  EXPECT_EQ(s.end.status(), 0);
  const std::string line = "     " + euro + "\n";
  EXPECT_EQ(s.file, line + line + line);
  const std::string two = "\n2 characters did not fit and were dropped\n\nEditing ";
  const auto first = s.out.find(two);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(s.out.find(two, first + 1), std::string::npos);
  EXPECT_NE(s.out.find("Insert was truncated because it is too long for the position\n"
                       "1 character did not fit and was dropped\n\nEditing "),
            std::string::npos);
}

// Ctrl-C, Ctrl-D, a hangup and termination at the command line and at a question end the same
// way with line editing as with the terminal's own line discipline (--no-line-editing): the
// same exit, the same document and rescue file, the same views.
TEST_F(LineEditing, CtrlCAndCtrlDAsWithoutLineEditing) {
  const std::vector<Step> more = {
      {kPrompt, "text\r"}, {kPrompt, "S\r"}, {kPrompt, "q\r"}, {"continue\r\n", "q\r"}};
  const std::vector<std::pair<std::string, std::vector<Step>>> cases = {
      {"Ctrl-D at the command line", {{kPrompt, "\x04"}}},
      {"Ctrl-D at a question", {{kPrompt, "J\r"}, {"string\r\n", "\x04"}}},
      {"Ctrl-C at the command line", {{kPrompt, "abc\x03"}}},
      {"Ctrl-C at a question", {{kPrompt, "g\r"}, {"line?\r\n", "12\x03"}}},
      {"SIGTERM while a line is typed",
       {{kPrompt, "hello\r"}, {kPrompt, "abc"}, {"", "", SIGTERM}}},
      {"SIGHUP at a question", {{kPrompt, "hello\r"}, {kPrompt, "g\r"}, {"line?\r\n", "", SIGHUP}}},
      {"Ctrl-\\ while a line is typed", {{kPrompt, "hello\r"}, {kPrompt, "abc\x1c"}}},
  };
  for (const auto& [name, first] : cases) {
    SCOPED_TRACE(name);
    std::vector<Step> steps = first;
    steps.insert(steps.end(), more.begin(), more.end());
    const Session edited = Type({.settings = "", .args = {"doc.txt"}}, steps, "doc.txt");
    const Session plain =
        Type({.settings = "", .args = {"--no-line-editing", "doc.txt"}}, steps, "doc.txt", false);
    EXPECT_FALSE(edited.end.timed_out);
    EXPECT_EQ(edited.end.status(), plain.end.status());
    EXPECT_EQ(edited.file, plain.file);
    EXPECT_EQ(edited.rescue, plain.rescue);
    EXPECT_EQ(edited.headers, plain.headers);
  }
}

// Ctrl-C at a question says "Cancelled" and cancels it (a cancelled save is no failed save);
// whatever follows a half-typed line starts on a fresh line; before the quit and open questions
// the unsaved changes are named; Ctrl-L draws the whole view again. Each step waits for what
// the line editor shows.
TEST_F(LineEditing, CtrlCCancelsAndMessagesStartOnAFreshLine) {
  const std::string view =
      "\nEditing 2:1 notes.txt\n\n 1  hello\n[2] \n 3\n 4\n 5\n 6\n 7\n 8\n" + kPrompt;
  Sandbox box;
  {
    Terminal t(box, {.settings = "", .args = {"notes.txt"}, .onlcr = true});
    const auto shown = [&] { return CrLfToLf(t.OutputSinceMark()); };
    // Once the line editor reads, Ctrl-L clears the screen and draws the view again down to
    // `last`; the mark is set after it.
    const auto await_read = [&](const std::string& last) {
      t.Mark();
      if (!t.Send("\x0c") || !t.WaitFor("\x1b[2J")) return false;
      t.MarkAfterLast("\x1b[2J");
      const bool drawn = t.WaitFor(last);
      t.Mark();
      return drawn;
    };
    ASSERT_TRUE(await_read(kPrompt));
    ASSERT_TRUE(Typed(t, "hello\r", "[2] \r\n"));
    ASSERT_TRUE(await_read(kPrompt));
    ASSERT_TRUE(Typed(t, "\x0c", kPrompt));
    EXPECT_EQ(shown(), "\x1b[H\x1b[2J" + view);
    ASSERT_TRUE(t.Send("s\r"));
    ASSERT_TRUE(await_read("return\r\n"));
    ASSERT_TRUE(Typed(t, "part", "part"));
    ASSERT_TRUE(Typed(t, "\x03", kPrompt));
    EXPECT_EQ(shown(), "part\nCancelled\n" + view);
    ASSERT_TRUE(await_read(kPrompt));
    ASSERT_TRUE(Typed(t, "q\r", "continue\r\n"));
    EXPECT_EQ(shown(), "q\nThe document has unsaved changes.\n" + kQuitPrompt);
    ASSERT_TRUE(await_read("continue\r\n"));
    ASSERT_TRUE(t.Send("\x03"));  // nothing typed: no empty line
    ASSERT_TRUE(t.WaitFor(kPrompt));
    EXPECT_EQ(shown(), "Cancelled\n" + view);
    ASSERT_TRUE(await_read(kPrompt));
    ASSERT_TRUE(Typed(t, "O\r", "return\r\n"));
    EXPECT_EQ(shown().rfind("O\nThe document has unsaved changes.\nEnter a filename to open", 0),
              0u);
    ASSERT_TRUE(await_read("return\r\n"));
    ASSERT_TRUE(t.Send("x\r"));
    ASSERT_TRUE(await_read(kPrompt));
    ASSERT_TRUE(Typed(t, "abc", "abc"));
    ASSERT_TRUE(Typed(t, "\x03", kPrompt));
    EXPECT_EQ(shown(), "abc\nInterrupted: enter 'q' twice to quit\n" + view);
    ASSERT_TRUE(await_read(kPrompt));
    ASSERT_TRUE(t.Send("q\r"));
    ASSERT_TRUE(await_read("continue\r\n"));
    ASSERT_TRUE(t.Send("q\r"));
    EXPECT_EQ(t.Wait().status(), 0);  // the cancelled save failed nothing
    EXPECT_FALSE(box.File("notes.txt").has_value());
    EXPECT_FALSE(box.File("part").has_value());
  }
  {
    // The rescue line after a half-typed line, and the terminal left at the start of a line.
    Terminal t(box, {.settings = "", .args = {"notes.txt"}, .onlcr = true});
    ASSERT_TRUE(t.WaitFor(kPrompt));
    t.Mark();
    ASSERT_TRUE(Typed(t, "hello\r", "[2] \r\n"));
    ASSERT_TRUE(t.WaitFor(kPrompt));
    t.Mark();
    ASSERT_TRUE(Typed(t, "abc", "abc"));
    t.Kill(SIGTERM);
    EXPECT_EQ(t.Wait().status(), 128 + SIGTERM);
    EXPECT_EQ(CrLfToLf(t.OutputSinceMark()), "abc\nUnsaved text written to notes.txt.save\n");
  }
}

// A signal sent to the editor alone reaches no other process: the shell script that started it
// on the terminal, in the same process group, lives on and sees the editor's status.
TEST_F(LineEditing, ASignalReachesTheEditorAlone) {
  Sandbox box;
  Terminal t(box, {.settings = "",
                   .shell = "sh -c 'echo $$ > editor.pid; exec \"$0\" doc.txt' \"$0\"; "
                            "echo \"shell lives $?\"",
                   .echo = false});
  ASSERT_TRUE(t.WaitFor(kPrompt));
  t.Mark();
  ASSERT_TRUE(t.Send("\x0c"));  // answered once the line editor reads
  ASSERT_TRUE(t.WaitFor("\x1b[2J"));
  const std::optional<std::string> pid = box.File("editor.pid");
  ASSERT_TRUE(pid.has_value());
  ASSERT_EQ(kill(std::stoi(*pid), SIGTERM), 0);
  EXPECT_EQ(t.Wait().status(), 0);
  EXPECT_NE(CrLfToLf(t.Output()).find("shell lives 143\n"), std::string::npos) << t.Output();
}

}  // namespace

// Line editing is used only when it can be: with TERM dumb, unset or empty, or with
// --no-line-editing, the terminal sees exactly what a pipe sees.
TEST(LineEditingOff, TerminalOutputIsThePipedOutput) {
  const std::string input = "hello\nJ\nl\nS\nq\nq\n";
  const auto piped = RunEditor({.settings = "", .args = {"doc.txt"}, .input = input});
  const std::vector<std::pair<std::string, TerminalPlan>> cases = {
      {"TERM=dumb", {.settings = "", .args = {"doc.txt"}, .term = "dumb", .echo = false}},
      {"TERM empty", {.settings = "", .args = {"doc.txt"}, .term = "", .echo = false}},
      {"--no-line-editing",
       {.settings = "", .args = {"--no-line-editing", "doc.txt"}, .echo = false}},
  };
  for (const auto& [name, plan] : cases) {
    SCOPED_TRACE(name);
    Sandbox box;
    Terminal t(box, plan);
    ASSERT_TRUE(t.WaitFor(kPrompt));
    ASSERT_TRUE(t.Send(input));
    const TerminalExit end = t.Wait();
    EXPECT_EQ(end.status(), 0);
    EXPECT_EQ(t.Output(), piped.out);
  }
}

}  // namespace ostrel::e2e
