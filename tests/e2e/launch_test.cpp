// The launch command through the real editor.
#include "e2e/checks.h"

namespace ostrel::e2e {
namespace {

// In the child: standard input becomes a pipe that already holds all of `input`.
std::function<void()> PipeHolding(const std::string& input) {
  return [input] {
    int fds[2];
    if (pipe(fds) != 0) _exit(125);
    if (write(fds[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) _exit(125);
    close(fds[1]);
    dup2(fds[0], 0);
    close(fds[0]);
  };
}

const std::string kNotRun = "Command not run: the document was not saved\n\nEditing";
const std::string kEcho = Settings({"launch_command=echo RAN"});
const std::string kLong = "echo " + std::string(251, 'e');  // 256 characters
// Runs a command that copies what it reads to "got", then more than 4096 bytes of text.
std::string PipedInput() {
  std::string block = "=\ncat > got\n";
  while (block.size() < 5000) block += "0123456789abcdefghijklmnopqrstuvwxyz\n";
  return block;
}

const RunCase kRuns[] = {
    {.name = "NoCommandAndEnterDoesNothing",
     .plan = {.settings = "", .args = {"doc"}, .input = "text\n=\n\nq\nq\n"},
     .shown = {"There is no command in memory\n"
               "Enter new command or [enter] to keep current one\n\nEditing"},
     .hidden = {"Saved to"},
     .left = {{"doc", std::nullopt}}},
    // The command sees the saved file, and its output comes after "Saved to" and before the view.
    {.name = "SavesThenRunsWithOutputInOrder",
     .plan = {.settings = "", .args = {"doc"}, .input = "text\n=\ncat doc; echo RAN\nq\nq\n"},
     .shown = {"Enter new command or [enter] to keep current one\n"
               "Saved to doc\ntext\nRAN\n\nEditing 2:1 doc\n"}},
    // No name yet: the save asks for one; the "%s" reaches the shell as it stands.
    {.name = "StoredCommandRunsAtOnceAndIsPassedUnchanged",
     .plan = {.settings = Settings({"launch_command=printf '%s|' doc"}),
              .input = "=\nname\n+\necho second\n=\nq\nq\n"},
     .shown = {"Enter a filename to save to\nSaved to name\ndoc|\nEditing",
               "Command in memory = printf '%s|' doc\n", "Saved to name\nsecond\n\nEditing"}},
    // The command acts on the saved file, so nothing runs when the save failed or was given up
    // (by the end of input at the name question); the save the user asked for failed.
    {.name = "NothingRunsAfterAFailedSave",
     .plan = {.settings = kEcho, .args = {"nodir/doc.txt"}, .input = "text\n=\nq\nq\n"},
     .status = 1,
     .shown = {"Cannot save to nodir/doc.txt: No such file or directory\n" + kNotRun},
     .hidden = {"RAN"}},
    {.name = "NothingRunsAfterASaveGivenUp",
     .plan = {.settings = kEcho, .input = "text\n=\n"},
     .status = 1,
     .shown = {"Enter a filename to save to\nNot saved: no file name was given\n" + kNotRun},
     .hidden = {"RAN"}},
    // The editor ignores SIGPIPE for itself; `yes` must still end quietly when `head` is done.
    {.name = "CommandStartsWithTheUsualSignalActions",
     .plan = {.settings = "", .args = {"doc"}, .input = "=\nyes | head -1\nq\nq\n"},
     .shown = {"Saved to doc\ny\n\nEditing"}},
    // In the settings file and typed at the dialogue: the stored command (none) stays, and
    // nothing runs.
    {.name = "CommandsLongerThan255CharactersAreRefusedNeverCut",
     .plan = {.settings = Settings({"launch_command=" + kLong}),
              .args = {"doc"},
              .input = "+\n" + kLong + "\n=\n\nq\nq\n"},
     .shown = {"Reading RC file: .vazaru_da\n"
               ".vazaru_da: launch_command ignored: longer than 255 characters\n",
               "Command is longer than 255 characters\n\nEditing"},
     .hidden = {"Saved to"}},
    // Where a launched command, and the script that started the editor, find the shared input
    // (in "got"). A regular file is put back where the editor's input ends, and the editor
    // reads on from its own position; a pipe is read in blocks of 4096 bytes, and a command
    // finds what lies beyond.
    {.name = "CommandReadsOnFromAFileTheEditorFromItsOwnPosition",
     .plan = {.settings = "",
              .args = {"doc"},
              .input = "=\nhead -n 2 > got\nline A\nline B\nS\nq\nq\n",
              .input_from_file = true},
     .left = {{"got", "line A\nline B\n"}, {"doc", "line A\nline B\n"}}},
    {.name = "ScriptReadsOnFromAFileAfterTheEditorEnds",
     .plan = {.settings = "",
              .shell = "\"$0\" doc; cat > got",
              .input = "hello\nS\nq\nq\nafter the editor\n",
              .input_from_file = true},
     .left = {{"got", "after the editor\n"}, {"doc", "hello\n"}}},
    {.name = "CommandFindsAPipePastTheEditorsFirstBlock",
     .plan = {.settings = "", .args = {"doc"}, .in_child = PipeHolding(PipedInput())},
     .left = {{"got", PipedInput().substr(4096)}, {"doc", "\n"}}},  // saved before the command ran
};
INSTANTIATE_TEST_SUITE_P(Launch, Runs, ::testing::ValuesIn(kRuns), RowName);

// Ctrl-C at the name question cancels the save: nothing runs, and that is said first.
TEST(Launch, NothingRunsAfterASaveCancelledWithCtrlC) {
  Sandbox box;
  Terminal t(box, {.settings = kEcho, .args = {"--no-line-editing"}, .echo = false});
  ASSERT_TRUE(t.WaitFor(kPrompt));
  ASSERT_TRUE(Typed(t, "text\n=\n", "Enter a filename to save to\n"));
  t.MarkAfterLast("Enter a filename to save to\n");
  ASSERT_TRUE(Typed(t, "\x03", kPrompt));
  const std::string shown = t.OutputSinceMark();
  EXPECT_EQ(shown.substr(0, shown.find("\nEditing ")),
            "Command not run: the document was not saved\nCancelled\n");
  ASSERT_TRUE(t.Send("q\nq\n"));
  EXPECT_EQ(t.Wait().status(), 0);  // a cancelled save is no failed save
  EXPECT_THAT(t.Output(), Not(HasSubstr("RAN")));
}

// The command starts with no signal ignored; the editor keeps its own actions meanwhile: a
// SIGPIPE or SIGXFSZ sent to it changes nothing, a termination or hangup ends it at once, while
// the command runs on, and (its input not a terminal) an interrupt or quit ends it once the
// command has ended.
TEST(Launch, SignalsWhileACommandRuns) {
  struct Row {
    const char* command;
    int status;
    std::string shown = "";
  };
  const std::vector<Row> rows = {
      {"grep SigIgn /proc/$$/status", 0, "Saved to doc\nSigIgn:\t"},
      {"kill -PIPE $PPID; echo sent", 0, "sent\n\nEditing 1:1 doc"},
      {"kill -XFSZ $PPID; echo sent", 0, "sent\n\nEditing 1:1 doc"},
      {"kill -TERM $PPID; exec sleep 20 >/dev/null 2>&1", 128 + SIGTERM},
      {"kill -HUP $PPID; exec sleep 20 >/dev/null 2>&1", 128 + SIGHUP},
      {"kill -INT $PPID; sleep 0.1; echo ended", 128 + SIGINT, "Saved to doc\nended\n"},
      {"kill -QUIT $PPID; sleep 0.1; echo ended", 128 + SIGQUIT, "Saved to doc\nended\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command);
    const auto r = RunEditor({.settings = Settings({std::string("launch_command=") + row.command}),
                              .args = {"doc"},
                              .input = "=\nq\nq\n",
                              .timeout_seconds = 10});
    ExpectEnded(r, row.status);
    EXPECT_THAT(r.out, HasSubstr(row.shown));
    const std::size_t ignored = r.out.find("SigIgn:\t");
    if (ignored == std::string::npos) continue;
    // None of the signals the editor ignores or catches is ignored by the command.
    const unsigned long long mask = std::stoull(r.out.substr(ignored + 8, 16), nullptr, 16);
    for (const int sig : {SIGINT, SIGQUIT, SIGPIPE, SIGXFSZ, SIGHUP, SIGTERM}) {
      EXPECT_EQ(mask & (1ULL << (sig - 1)), 0U) << sig;
    }
  }
}

}  // namespace
}  // namespace ostrel::e2e
