// What happens to unsaved text: Ctrl-C cancels on a terminal; hangups, termination, the end of a
// terminal's input and a closed standard output write the rescue file first; the exit status
// tells a failed save; the start-up hint names an earlier session's rescue file.
//
// On a terminal these runs use the terminal's own line discipline (--no-line-editing), so
// what they type and read is exact; line_editing_test.cpp checks that line editing ends the
// same way.
#include "e2e/checks.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "console/line_editor.h"

namespace ostrel::e2e {
namespace {

// A document name of the longest length a name may have, and its rescue file: NAME.save would
// be too long, so NAME is cut just enough.
const std::string kLongName = std::string(200, 'n') + std::string(55, 'x');
const std::string kLongRescue = std::string(200, 'n') + std::string(50, 'x') + ".save";

// What `S` writes for the text typed after starting on `args` with `files`.
std::string SavedForm(const Strings& args, const std::map<std::string, std::string>& files,
                      const std::string& typed) {
  Sandbox box;
  RunPlan plan{.settings = "", .args = args, .input = typed + "S\nsaved\nq\nq\n", .files = files};
  return box.Run(plan).File(args.empty() ? "saved" : args[0]).value_or("(not saved)");
}

// A terminal run on notes.txt with the terminal's own line discipline.
TerminalPlan NoLineEditing(const std::optional<std::string>& settings, const Files& files = {}) {
  return {.settings = settings,
          .args = {"--no-line-editing", "notes.txt"},
          .files = files,
          .echo = false};
}

// What the start-up hint says of rescue file `name`.
std::string Hint(const std::string& name) {
  return name + " holds unsaved text from an earlier session\n";
}

unsigned Mode(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

TEST(Rescue, CtrlCOnATerminalCancelsAndTheEditorGoesOn) {
  struct Row {
    const char* name;
    std::optional<std::string> settings;
    std::string keys;               // typed after "hello" is entered
    std::string question;           // waited for before Ctrl-C
    std::string after;              // printed after Ctrl-C, before the next view
    std::string then = "";          // typed after the cancel, before the save
    std::string saved = "hello\n";  // the saved text: the cancel changed nothing
    std::string quit = "q\nq\n";
    Files files = {};
  };
  const std::string kCancelled = "Cancelled\n";
  const std::vector<Row> rows = {
      // The message starts on a fresh line after the prompt; nothing is echoed here.
      {"command line", "", "", kPrompt, "\nInterrupted: enter 'q' twice to quit\n"},
      {"another quit key", Settings({"quit=Q"}), "", kPrompt,
       "\nInterrupted: enter 'Q' and then 'q' to quit\n", "", "hello\n", "Q\nq\n"},
      {"quit confirmation", "", "q\n", kQuitPrompt, kCancelled},
      {"go to line", "", "g\n", "Go to which line?\n", kCancelled},
      {"insert text", "", "i\n", "Enter string to insert\n", kCancelled},
      {"save as", "", "s\n", "Enter a filename to save to, or 'x' to return\n", kCancelled},
      {"help menu", "", "h\n", "'x'  Exit Help\n", kCancelled},
      {"open", "", "O\n", "Enter 'x' to not open a file and return\n", kCancelled},
      // Nothing is loaded and no name changes.
      {"open: the partial-load question", Settings({"max_lines=2"}), "O\nmany\n",
       "If not, restart with more lines by editing the .vazaru_da file.\n", kCancelled, "",
       "hello\n", "q\nq\n", Files{{"many", "1\n2\n3\n4\n"}}},
      // The page length stays 8: the window stays, and a page up still reaches line 1.
      {"page length", "", "p\n", "Enter number of lines to display\n", kCancelled, "<\nX\n",
       "Xello\n"},
      // The clip keeps "hel", cut before; the cursor keeps its column for the search.
      {"copy count", "", ",\nx\n3\nc\n", "Copy how many characters?\n", kCancelled, "V\n"},
      {"cut size", "", ",\nc\n3\nx\n", "Enter cut size\n", kCancelled, "V\n", "helhello\n"},
      {"search", "", ",\nn\nn\nJ\n", "Enter jump string\n", kCancelled, "X\n", "heXlo\n"},
      // No refusal of the destination, and nothing moved or copied.
      {"move destination", "", ",\nm\n", "Move line 1 to where?\n", kCancelled},
      {"copy destination", "", ",\nC\n", "Copy line 1 to where?\n", kCancelled},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sandbox box;
    Terminal t(box, NoLineEditing(row.settings, row.files));
    ASSERT_TRUE(t.WaitFor(kPrompt));
    t.Mark();
    ASSERT_TRUE(Typed(t, "hello\n", "[2] \n"));
    ASSERT_TRUE(t.WaitFor(kPrompt));
    t.Mark();
    if (!row.keys.empty()) {
      ASSERT_TRUE(Typed(t, row.keys, row.question));
      t.Mark();
    }
    ASSERT_TRUE(Typed(t, "\x03", kPrompt));
    const std::string shown = t.OutputSinceMark();
    EXPECT_EQ(shown.substr(0, shown.find("\nEditing ")), row.after);
    // Reading goes on normally: the text is intact and saves.
    t.Mark();
    ASSERT_TRUE(Typed(t, row.then + "S\n", "Saved to notes.txt\n"));
    ASSERT_TRUE(t.Send(row.quit));
    EXPECT_EQ(t.Wait().status(), 0);
    Files left = row.files;  // untouched
    left["notes.txt"] = row.saved;
    ExpectHolds(box.dir(), left, {".vazaru_da"});
  }
}

TEST(Rescue, CtrlCElsewhereOnATerminal) {
  {
    SCOPED_TRACE("the start-up partial-load question declines");
    Sandbox box;
    Terminal t(box, {.settings = Settings({"max_lines=2"}),
                     .args = {"--no-line-editing", "many"},
                     .files = {{"many", "1\n2\n3\n4\n"}},
                     .echo = false});
    ASSERT_TRUE(t.WaitFor("Do you wish to continue (Y,n)?\n"));
    ASSERT_TRUE(t.Send("\x03"));
    EXPECT_EQ(t.Wait().status(), 1);
    EXPECT_EQ(Entries(box.dir()), (Names{".vazaru_da", "many"}));
  }
  for (const std::string key : {"\x03", "\x1c"}) {
    SCOPED_TRACE("a launched command takes Ctrl-C and Ctrl-\\ itself: " + key);
    Sandbox box;
    Terminal t(box, NoLineEditing(Settings({"launch_command=echo started; sleep 20"})));
    ASSERT_TRUE(t.WaitFor(kPrompt));
    ASSERT_TRUE(Typed(t, "hello\n=\n", "started\n"));
    // The shell catches Ctrl-C for itself between its echo and the start of sleep, and would
    // then wait out the sleep: the key is pressed once sleep runs, asleep.
    ASSERT_TRUE(t.WaitUntilDescendantSleeps("sleep"));
    t.Mark();
    ASSERT_TRUE(Typed(t, key, kPrompt));
    EXPECT_THAT(t.OutputSinceMark(), HasSubstr("\nEditing 2:1 notes.txt\n"));
    EXPECT_THAT(t.OutputSinceMark(), Not(HasSubstr("Interrupted")));
    ASSERT_TRUE(t.Send("q\nq\n"));
    EXPECT_EQ(t.Wait(5).status(), 0);
  }
}

TEST(Rescue, HangupsTerminationAndCtrlDWriteTheRescueFile) {
  enum class Ending { kHangup, kTerminate, kCloseTerminal, kCtrlD, kCtrlBackslash };
  using enum Ending;
  struct Row {
    const char* name;
    std::string typed;  // the editing, as `S` would then save it
    Ending ending;
    int status;
    std::string rescue;  // the rescue file written, relative to the directory; "" for none
    Names left;          // what the directory holds afterwards, besides the settings file and home
    std::string doc = "notes.txt";  // the document named at the start; "" for none
    Files files = {};
    std::string question = "";                  // typed after the editing, to end at a question
    std::string asked = "Go to which line?\n";  // the question waited for
  };
  const Names kSave = {"notes.txt.save"};
  const std::vector<Row> rows = {
      {"hangup", "hello\n\nworld\n", kHangup, 128 + SIGHUP, "notes.txt.save", kSave},
      {"terminate, NAME.save taken", "hello\n", kTerminate, 128 + SIGTERM, "notes.txt.save.1",
       Names{"notes.txt", "notes.txt.save", "notes.txt.save.1"}, "notes.txt",
       Files{{"notes.txt", "abc\n"}, {"notes.txt.save", "older\n"}}},
      {"terminal closed", "hello\nS\n\nworld\n", kCloseTerminal, 128 + SIGHUP, "notes.txt.save",
       Names{"notes.txt", "notes.txt.save"}},
      {"no name", "hello\n", kHangup, 128 + SIGHUP, "ostrel.save", Names{"ostrel.save"}, ""},
      {"the directory refuses: $HOME", "hello\n", kTerminate, 128 + SIGTERM, "home/notes.txt.save",
       Names{}, "nodir/notes.txt"},
      {"nothing changed: moves, search, copy, undo of nothing", "n\n.\nJ\nde\nc\n2\nz\ne\ng\n1\n",
       kHangup, 128 + SIGHUP, "", Names{"notes.txt"}, "notes.txt",
       Files{{"notes.txt", "abc\ndef\n"}}},
      {"everything saved", "hello\nS\n", kTerminate, 128 + SIGTERM, "", Names{"notes.txt"}},
      {"a name too long for NAME.save: its end is cut", "hello\n", kTerminate, 128 + SIGTERM,
       kLongRescue, Names{kLongRescue}, kLongName},
      {"ctrl-d", "hello\n", kCtrlD, 1, "notes.txt.save", kSave},
      // A quit ends as a termination does, by its own signal, and leaves no core file.
      {"ctrl-\\ at a question", "hello\n", kCtrlBackslash, 128 + SIGQUIT, "notes.txt.save", kSave,
       "notes.txt", Files{}, "g\n"},
      {"ctrl-d at a question", "hello\n", kCtrlD, 1, "notes.txt.save", kSave, "notes.txt", Files{},
       "g\n"},
      {"ctrl-d, nothing changed", "", kCtrlD, 0, "", Names{}},
      // The question comes before the document is touched: all of it is rescued.
      {"hangup at the open command's partial-load question", "hello\n", kHangup, 128 + SIGHUP,
       "notes.txt.save", Names{"many", "notes.txt.save"}, "notes.txt",
       Files{{"many", std::string(40000, '\n') + "x\n"}}, "O\nmany\n",
       "Do you wish to continue (Y,n)?\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sandbox box;
    fs::create_directory(box.dir() + "/home");
    Strings args = {"--no-line-editing"};
    if (!row.doc.empty()) args.push_back(row.doc);
    Terminal t(box, {.settings = "",
                     .args = args,
                     .files = row.files,
                     .env = {{"HOME", box.dir() + "/home"}},
                     .echo = false});
    ASSERT_TRUE(t.WaitFor(kPrompt));
    t.Mark();
    // The page-length question comes only once everything typed before it has been read.
    ASSERT_TRUE(Typed(t, row.typed + "p\n", "Enter number of lines to display\n"));
    t.Mark();
    ASSERT_TRUE(Typed(t, "8\n", kPrompt));
    if (!row.question.empty()) {
      ASSERT_TRUE(Typed(t, row.question, row.asked));
    }
    if (row.ending == kCloseTerminal) {
      t.CloseMaster();
    } else if (row.ending == kHangup || row.ending == kTerminate) {
      t.Kill(row.ending == kHangup ? SIGHUP : SIGTERM);
    } else {
      ASSERT_TRUE(t.Send(row.ending == kCtrlD ? "\x04" : "\x1c"));
    }
    EXPECT_EQ(t.Wait().status(), row.status);
    // The files given are left as they were.
    Names left = row.left;
    left.insert({".vazaru_da", "home"});
    ExpectHolds(box.dir(), row.files, left);
    if (row.rescue.empty()) {
      EXPECT_EQ(Entries(box.dir() + "/home"), Names{});
      continue;
    }
    const bool named = !row.doc.empty() && !row.doc.starts_with("nodir");
    EXPECT_EQ(box.File(row.rescue),
              SavedForm(named ? std::vector{row.doc} : Strings{}, row.files, row.typed));
    EXPECT_EQ(Mode(box.dir() + "/" + row.rescue), 0600u);
    if (row.ending != kCloseTerminal) {
      const std::string shown =
          row.rescue.starts_with("home/") ? box.dir() + "/" + row.rescue : row.rescue;
      EXPECT_THAT(t.OutputSinceMark(), HasSubstr("Unsaved text written to " + shown + "\n"));
    }
  }
}

// Steady typing never pauses long enough for the pause rule: the rescue file is still brought
// up to date once the oldest change it lacks is five pauses (here 5 s) old, so a kill loses at
// most about that much. It runs beside the pause rows.
void SteadyTypingLeavesTheRescueFileAtMostFivePausesBehind() {
  using Clock = std::chrono::steady_clock;
  Sandbox box;
  Terminal t(box, NoLineEditing(Settings({"autosave_seconds=1"})));
  ASSERT_TRUE(t.WaitFor(kPrompt));
  std::vector<Clock::time_point> sent;
  std::string typed;
  const Clock::time_point start = Clock::now();
  while (Clock::now() - start < std::chrono::milliseconds(6500)) {
    const std::string line = "line " + std::to_string(sent.size()) + "\n";
    t.Mark();
    ASSERT_TRUE(t.Send(line));
    sent.push_back(Clock::now());
    typed += line;
    ASSERT_TRUE(t.WaitFor("Editing " + std::to_string(sent.size() + 1) + ":1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
  }
  const Clock::time_point killed = Clock::now();
  t.Kill(SIGKILL);
  t.Wait();
  const auto rescued = box.File("notes.txt.save");
  ASSERT_TRUE(rescued);
  // Every line typed more than the bound before the kill, with a second to spare for the view
  // that writes it, is in the file; the file holds what was typed, in order.
  const auto held = std::count(rescued->begin(), rescued->end(), '\n');
  const auto due = std::count_if(sent.begin(), sent.end(), [&](Clock::time_point at) {
    return killed - at > std::chrono::seconds(6);
  });
  EXPECT_GE(held, due);
  EXPECT_GT(due, 0);
  EXPECT_EQ(*rescued, typed.substr(0, rescued->size()));
}

// Session A pauses, so its rescue file is written; session B, started on the same document,
// is told that a running session keeps it, and which. It runs beside the pause rows.
void ARunningSessionsRescueFileIsNamedAsSuch() {
  Sandbox box;
  Terminal a(box, NoLineEditing(Settings({"autosave_seconds=1"})));
  ASSERT_TRUE(a.WaitFor(kPrompt));
  ASSERT_TRUE(Typed(a, "hello\n", "Editing 2:1"));
  ASSERT_TRUE(a.WaitUntilReadingWithoutTimeLimit());
  ASSERT_TRUE(fs::exists(box.dir() + "/notes.txt.save"));
  const std::string kept =
      "notes.txt.save is kept by a running session (process " + std::to_string(a.pid()) + ")\n";
  EXPECT_THAT(box.Run({.args = {"notes.txt"}}).out, HasSubstr("not found!\n" + kept + "\n"));
  // A second pause replaces the file by a new one, locked before it is named.
  ASSERT_TRUE(Typed(a, "world\n", "Editing 3:1"));
  ASSERT_TRUE(a.WaitUntilReadingWithoutTimeLimit());
  EXPECT_EQ(box.File("notes.txt.save"), "hello\nworld\n");
  EXPECT_THAT(box.Run({.args = {"notes.txt"}}).out, HasSubstr(kept));
  // Once A is gone, the file is an earlier session's.
  a.Kill(SIGKILL);
  a.Wait();
  EXPECT_THAT(box.Run({.args = {"notes.txt"}}).out, HasSubstr(Hint("notes.txt.save")));
}

// The pauses of a terminal session keep its one rescue file current. Each step types its keys,
// waits for `cue`, then (with `pause`) until the editor waits for input without a time limit:
// the idle write due is done by then, and the directory must hold `now`. A file whose text
// changed between two looks must be a new file (replaced, never rewritten in place), one whose
// text stayed the same the same file (not written again). Steady typing, and another session
// started while one has paused, are checked beside them.
TEST(Rescue, PausesAndSteadyTypingKeepTheSessionRescueFileCurrent) {
  struct Step {
    std::string keys;
    std::string cue;
    std::optional<Files> now = std::nullopt;  // besides the settings file (and the FIFO)
  };
  struct Row {
    const char* name;
    std::vector<Step> steps;
    Files left;  // afterwards, besides the settings file (and the FIFO)
    Files files = {};
    int end_signal = SIGKILL;  // sent after the steps; 0: the steps end the editor
    int status = 128 + SIGKILL;
    std::string autosave = "autosave_seconds=1";
    bool line_editing = false;
    bool piped = false;      // standard input a pipe that passes on what is typed
    std::string shown = "";  // in the output after the last step
    std::string saved = "";  // typed text that `S` would save as the rescue file's text
  };
  const std::string kDoc = "notes.txt";
  const std::string kSave = "notes.txt.save";
  const std::vector<Row> rows = {
      {.name = "a pause, then SIGKILL: what S writes",
       .steps = {{"hello\n", "Editing 2:1", Files{{kDoc, "abc\ndef\n"}, {kSave, "hello\ndef\n"}}}},
       .left = {{kDoc, "abc\ndef\n"}, {kSave, "hello\ndef\n"}},
       .files = {{kDoc, "abc\ndef\n"}},
       .saved = "hello\n"},
      {"a second pause replaces it; a pause without a change writes nothing",
       {{"hello\n", "Editing 2:1", Files{{kSave, "hello\n"}}},
        {"world\n", "Editing 3:1", Files{{kSave, "hello\nworld\n"}}},
        {",\nn\n", "Editing 2:2", Files{{kSave, "hello\nworld\n"}}}},
       {{kSave, "hello\nworld\n"}}},
      {"a pause in a half-typed line counts; the line is kept",
       {{"hello\nwor", "Editing 2:1", Files{{kSave, "hello\n"}}},
        {"ld\n", "Editing 3:1", Files{{kSave, "hello\nworld\n"}}}},
       {{kSave, "hello\nworld\n"}}},
      {.name = "the same with the line editor",
       .steps = {{"hello\nwor", "wor", Files{{kSave, "hello\n"}}},
                 {"ld\n", "Editing 3:1", Files{{kSave, "hello\nworld\n"}}}},
       .left = {{kSave, "hello\nworld\n"}},
       .line_editing = true},
      {"S removes it; a later change starts it again under the then current name",
       {{"hello\n", "Editing 2:1", Files{{kSave, "hello\n"}}},
        {"S\n", "Saved to notes.txt\n", Files{{kDoc, "hello\n"}}},
        {"s\nother.txt\n", "Saved to other.txt\n",
         Files{{kDoc, "hello\n"}, {"other.txt", "hello\n"}}},
        {"more\n", "Editing 3:1",
         Files{{kDoc, "hello\n"}, {"other.txt", "hello\n"}, {"other.txt.save", "hello\nmore\n"}}}},
       {{kDoc, "hello\n"}, {"other.txt", "hello\n"}, {"other.txt.save", "hello\nmore\n"}}},
      {.name = "q q removes it",
       .steps = {{"hello\n", "Editing 2:1", Files{{kSave, "hello\n"}}}, {"q\nq\n", "continue\n"}},
       .end_signal = 0,
       .status = 0},
      {"a load by O removes it",
       {{"hello\n", "Editing 2:1", Files{{"other", "x\n"}, {kSave, "hello\n"}}},
        {"O\nother\n", "Opened other\n", Files{{"other", "x\n"}}}},
       {{"other", "x\n"}},
       {{"other", "x\n"}}},
      {"an earlier session's NAME.save is left alone: NAME.save.1",
       {{"hello\n", "Editing 2:1", Files{{kSave, "older\n"}, {kSave + ".1", "hello\n"}}},
        {"world\n", "Editing 3:1", Files{{kSave, "older\n"}, {kSave + ".1", "hello\nworld\n"}}}},
       {{kSave, "older\n"}, {kSave + ".1", "hello\nworld\n"}},
       {{kSave, "older\n"}}},
      {.name = "a hangup writes the last text into the same file",
       .steps = {{"hello\n", "Editing 2:1", Files{{kSave, "hello\n"}}}, {"world\n", "Editing 3:1"}},
       .left = {{kSave, "hello\nworld\n"}},
       .end_signal = SIGHUP,
       .status = 128 + SIGHUP,
       .shown = "Unsaved text written to notes.txt.save\n"},
      {.name = "autosave_seconds=0 writes nothing",
       .steps = {{"hello\n", "Editing 2:1", Files{}}},
       .autosave = "autosave_seconds=0"},
      {.name = "through a pipe nothing is written",
       .steps = {{"hello\n", "Editing 2:1", Files{}}},
       .piped = true},
  };
  // The rows wait for the editor's pauses side by side, each on a terminal of its own, and
  // beside them the steady typing, which takes longest, and the running session's file.
  const std::vector<std::pair<const char*, void (*)()>> beside = {
      {"steady typing", SteadyTypingLeavesTheRescueFileAtMostFivePausesBehind},
      {"a running session's rescue file", ARunningSessionsRescueFileIsNamedAsSuch}};
  InParallel(beside.size() + rows.size(), beside.size() + rows.size(), [&](std::size_t i) {
    if (i < beside.size()) {
      SCOPED_TRACE(beside[i].first);
      beside[i].second();
      return;
    }
    const Row& row = rows[i - beside.size()];
    SCOPED_TRACE(row.name);
    // Without line editing built in, the editor reads a terminal as it reads a pipe.
    if (row.line_editing && !kLineEditingBuiltIn) return;
    Sandbox box;
    Strings args = {kDoc};
    if (!row.line_editing) args.insert(args.begin(), "--no-line-editing");
    Terminal t(box, {.settings = Settings({row.autosave}),
                     .args = args,
                     // The editor's input is a FIFO that cat fills with what is typed.
                     .shell = row.piped ? "mkfifo pipe && { cat </dev/tty >pipe & } && "
                                          "exec \"$0\" --no-line-editing notes.txt <pipe"
                                        : "",
                     .files = row.files,
                     .echo = false});
    ASSERT_TRUE(t.WaitFor(kPrompt));
    const Names kAlways = row.piped ? Names{".vazaru_da", "pipe"} : Names{".vazaru_da"};
    std::map<std::string, ino_t> inodes;
    Files before;
    for (const Step& step : row.steps) {
      t.Mark();
      ASSERT_TRUE(t.Send(step.keys));
      ASSERT_TRUE(t.WaitFor(step.cue)) << step.keys;
      if (!step.now) continue;
      ASSERT_TRUE(t.WaitUntilReadingWithoutTimeLimit()) << step.keys;
      Names expected = kAlways;
      for (const auto& [name, text] : *step.now) {
        expected.insert(name);
        EXPECT_EQ(box.File(name), text) << step.keys << ": " << name;
        struct stat info {};
        if (stat((box.dir() + "/" + name).c_str(), &info) != 0) continue;
        if (before.count(name) != 0 && name.find(".save") != std::string::npos) {
          EXPECT_EQ(inodes[name] == info.st_ino, before[name] == text) << step.keys << ": " << name;
        }
        inodes[name] = info.st_ino;
        if (row.files.count(name) == 0 && name.find(".save") != std::string::npos) {
          EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
        }
      }
      EXPECT_EQ(Entries(box.dir()), expected) << step.keys;
      before = *step.now;
    }
    if (row.end_signal != 0) t.Kill(row.end_signal);
    EXPECT_EQ(t.Wait().status(), row.status);
    ExpectHolds(box.dir(), row.left, kAlways);
    if (!row.shown.empty()) {
      EXPECT_THAT(t.OutputSinceMark(), HasSubstr(row.shown));
    }
    if (!row.saved.empty()) {
      EXPECT_EQ(box.File(kSave), SavedForm({kDoc}, row.files, row.saved));
    }
    // The next session's start-up hint names every rescue file left.
    if (row.end_signal == SIGKILL) {
      const auto next = box.Run({.args = {kDoc}, .input = ""});
      for (const auto& [name, text] : row.left) {
        if (name.starts_with(kSave)) {
          EXPECT_THAT(next.out, HasSubstr(Hint(name)));
        }
      }
    }
  });
}

// A run through pipes that a signal or a closed standard output ends in the middle: in the
// child, standard input becomes a pipe holding `typed` that the editor itself keeps open, so
// its input never ends. A helper process watches the run's file and sends `sig` to the editor
// each time the output shows `cue` again (the editor writes there itself, so its last words are
// in the file when it has ended). With `sig` 0 the helper instead passes the output on to the
// file through a pipe and, at `cue`, stops reading and types `typed_after`; with `stall` it
// stops reading at `cue`, sends `sig` once the editor's output blocks, and keeps the output
// open until the editor has ended.
std::function<void()> MidSession(const std::string& typed, const std::string& cue, int sig,
                                 bool stall = false, const std::string& typed_after = "\n") {
  return [typed, cue, sig, stall, typed_after] {
    int in[2];
    int out[2];
    if (pipe(in) != 0 || pipe(out) != 0) _exit(125);
    if (write(in[1], typed.data(), typed.size()) != static_cast<ssize_t>(typed.size())) _exit(125);
    const pid_t editor = getpid();
    if (sig != 0 && !stall && fork() == 0) {
      for (std::size_t from = 0; getppid() == editor;) {
        const std::string seen = ReadFile("/proc/self/fd/1");  // the run's output, anew
        if (const std::size_t at = seen.find(cue, from); at != std::string::npos) {
          kill(editor, sig);
          from = at + cue.size();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      _exit(0);
    }
    if ((sig == 0 || stall) && fork() == 0) {
      close(in[0]);
      close(out[1]);
      std::string seen;
      char chunk[4096];
      ssize_t n = 0;
      while ((n = read(out[0], chunk, sizeof chunk)) > 0) {
        if (write(1, chunk, static_cast<std::size_t>(n)) != n) break;
        seen.append(chunk, static_cast<std::size_t>(n));
        if (seen.find(cue) == std::string::npos) continue;
        if (stall) {
          // Nobody reads its output and it has input left: asleep, it is blocked in a write.
          for (int calm = 0, i = 0; calm < 3 && i < 10000; ++i) {
            calm = ProcessState(editor) == 'S' ? calm + 1 : 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
          kill(editor, sig);
          for (int i = 0; i < 1500 && getppid() == editor; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
          break;
        }
        close(out[0]);
        (void)!write(in[1], typed_after.data(), typed_after.size());
        break;
      }
      _exit(0);
    }
    dup2(in[0], 0);
    if (sig == 0 || stall) dup2(out[1], 1);
    close(in[0]);
    close(out[0]);
    close(out[1]);
  };
}

TEST(Rescue, ThroughPipesInterruptAndAClosedOutputEndAsAHangupDoes) {
  struct Row {
    const char* name;
    int sig;  // 0: standard output's reader goes away
    int status;
    bool stall = false;              // the output's reader stops reading first
    std::string typed_after = "\n";  // typed once the output's reader has gone
    bool pipe_ignored = false;       // the program that starts the editor ignores SIGPIPE
    std::string err = "";
  };
  const std::vector<Row> rows = {
      {"interrupt", SIGINT, 128 + SIGINT},
      {"hangup", SIGHUP, 128 + SIGHUP},
      {"quit, no core file", SIGQUIT, 128 + SIGQUIT},
      {"closed standard output", 0, 128 + SIGPIPE},
      // The quit's confirmation never reached anybody: its lines, read in at once, end as one.
      {"closed standard output, quit sent ahead", 0, 128 + SIGPIPE, false, "q\nq\n"},
      {"termination while the output blocks", SIGTERM, 128 + SIGTERM, true},
      // Without the signal's default there is no end by it: the failed write is told.
      {"closed standard output, SIGPIPE ignored", 0, 1, false, "\n", true,
       "ostrel: cannot write the view: Broken pipe\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sandbox box;
    const auto session = MidSession("hello\nworld\n" + std::string(row.stall ? 3000 : 0, '\n'),
                                    "Editing 3:1", row.sig, row.stall, row.typed_after);
    RunPlan plan{.settings = "",
                 .args = {"notes.txt"},
                 .in_child =
                     [session, ignored = row.pipe_ignored] {
                       session();
                       if (ignored) signal(SIGPIPE, SIG_IGN);
                     },
                 .timeout_seconds = 10};
    const auto r = box.Run(plan);
    ExpectEnded(r, row.status, row.err);
    EXPECT_EQ(r.File("notes.txt.save"), "hello\nworld\n");
    EXPECT_EQ(Entries(box.dir()), (Names{".vazaru_da", "notes.txt.save"}));
  }
}

// The rescue writes line by line: a document of 30000 short lines is rescued under a memory
// limit far below what a copy at the grid's width (7.7 MB) would add.
TEST(Rescue, ARescueNeedsNoCopyOfTheWholeDocument) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#endif
  std::string doc;
  for (int i = 0; i < 30000; ++i) doc += std::to_string(100000 + i) + "\n";
  Sandbox box;
  box.Write("doc", doc);
  const auto hangup = MidSession("changed\n", "Editing 2:1", SIGHUP);
  const auto r = box.Run({.settings = "", .args = {"doc"}, .in_child = [hangup] {
                            hangup();  // its helper process is not limited
                            const rlimit memory{20000 * 1024, 20000 * 1024};
                            setrlimit(RLIMIT_AS, &memory);
                          }});
  EXPECT_EQ(r.status, 128 + SIGHUP);
  EXPECT_THAT(r.out, HasSubstr("Unsaved text written to doc.save\n"));
  EXPECT_EQ(r.File("doc.save"), "changed\n" + doc.substr(7));
}

TEST(Rescue, ExitStatusTellsAFailedLastSave) {
  struct Row {
    const char* name;
    std::string input;
    int status;
  };
  const std::vector<Row> rows = {
      {"save failed", "text\nS\nq\nq\n", 1},
      {"failed, then saved", "text\nS\ns\nok\no\nq\nq\n", 0},
      {"failed, then loaded", "text\nS\nO\nok\nq\nq\n", 0},
      {"failed, end of input", "text\nS\n", 1},
      {"failed, then 'x' at save as", "text\nS\ns\nx\nq\nq\n", 1},
      {"never saved", "text\nq\nq\n", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sandbox box;
    const auto r = box.Run(
        {.settings = "", .args = {"nodir/doc"}, .input = row.input, .files = {{"ok", "x\n"}}});
    ExpectEnded(r, row.status);
    EXPECT_EQ(Entries(box.dir()), (Names{".vazaru_da", "ok"}));
  }
}

TEST(Rescue, StartUpHintNamesEveryEarlierRescueFileNewestFirst) {
  struct Row {
    const char* name;
    Files files;
    std::string after;              // what follows the load messages before the view
    std::string doc = "notes.txt";  // the document named at the start; "" for none
    std::string home = "";  // $HOME, within the run's directory ("." for the directory itself)
    std::map<std::string, int> age = {};  // hours a file was last changed before the others
    std::function<void(const std::string& dir)> plant = {};  // before the run
    bool as_user = false;  // the editor runs as an ordinary user (root only)
  };
  using Ages = std::map<std::string, int>;
  const auto in_home = [](const std::string& name) {
    return "HOME/" + name + " may hold unsaved text of a document named notes.txt\n";
  };
  const auto mkfifo_at = [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); };
  const bool root = geteuid() == 0;
  std::vector<Row> rows = {
      {"loaded", Files{{"notes.txt", "a\n"}, {"notes.txt.save", "b\n"}}, Hint("notes.txt.save")},
      {"not found", Files{{"notes.txt.save", "b\n"}}, Hint("notes.txt.save")},
      {"no rescue file", Files{{"notes.txt", "a\n"}}, ""},
      {"no name", Files{{"ostrel.save", "b\n"}}, "", ""},
      {"several, newest first, a gap between them",
       Files{{"notes.txt.save", "b\n"}, {"notes.txt.save.1", "c\n"}, {"notes.txt.save.3", "d\n"}},
       Hint("notes.txt.save.1") + Hint("notes.txt.save") + Hint("notes.txt.save.3"), "notes.txt",
       "", Ages{{"notes.txt.save", 1}, {"notes.txt.save.3", 2}}},
      {"a long name: the rescue file's shortened name", Files{{kLongRescue, "b\n"}},
       Hint(kLongRescue), kLongName},
      {"numbers from 1 to 1000, without leading zeros",
       Files{{"notes.txt.save.1000", "b\n"},
             {"notes.txt.save.1001", "b\n"},
             {"notes.txt.save.01", "b\n"},
             {"notes.txt.save.0", "b\n"},
             {"notes.txt.save.x", "b\n"},
             {"xnotes.txt.save", "b\n"}},
       Hint("notes.txt.save.1000")},
      {"in $HOME too, after those beside the document",
       Files{
           {"notes.txt.save", "b\n"}, {"home/notes.txt.save.2", "c\n"}, {"home/other.save", "d\n"}},
       Hint("notes.txt.save") + in_home("notes.txt.save.2"), "notes.txt", "home"},
      {"in $HOME, for a document in another directory: its last part",
       Files{{"home/notes.txt.save", "c\n"}}, in_home("notes.txt.save"), "sub/notes.txt", "home"},
      {"$HOME is the document's directory: each file named once", Files{{"notes.txt.save", "b\n"}},
       Hint("notes.txt.save"), "notes.txt", "."},
      {"planted: a link, a FIFO and a directory are not named; nothing hangs",
       Files{{"notes.txt.save.3", "b\n"}}, Hint("notes.txt.save.3"), "notes.txt", "", Ages{},
       [&](const std::string& dir) {
         fs::create_symlink(dir + "/notes.txt.save.3", dir + "/notes.txt.save");
         mkfifo_at(dir + "/notes.txt.save.1");
         fs::create_directory(dir + "/notes.txt.save.2");
       }},
  };
  if (root) {
    rows.push_back({"planted: another user's file is not named",
                    Files{{"notes.txt.save", "b\n"}, {"notes.txt.save.1", "c\n"}},
                    Hint("notes.txt.save.1"), "notes.txt", "", Ages{}, [](const std::string& dir) {
                      ASSERT_EQ(chown((dir + "/notes.txt.save").c_str(), kOther, kOther), 0);
                    }});
  }
  // Where the directory may be searched but not read, each name is looked at.
  if (root && !CannotRunAsOrdinaryUser()) {
    rows.push_back({"a directory that cannot be read",
                    Files{{"notes.txt.save.7", "b\n"}, {".vazaru_da", ""}},
                    Hint("notes.txt.save.7"), "notes.txt", "", Ages{},
                    [](const std::string& dir) {
                      for (const auto& e : fs::directory_iterator(dir)) {
                        ASSERT_EQ(lchown(e.path().c_str(), kNobody, kNobody), 0);
                      }
                      ASSERT_EQ(chmod(dir.c_str(), 0311), 0);
                    },
                    true});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sandbox box;
    fs::create_directory(box.dir() + "/home");
    for (const auto& [name, content] : row.files) box.Write(name, content);
    for (const auto& [name, hours] : row.age) {
      const std::string path = box.dir() + "/" + name;
      fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(hours));
    }
    if (row.plant) row.plant(box.dir());
    const std::string home = row.home == "." ? box.dir() : box.dir() + "/" + row.home;
    RunPlan plan{
        .args = row.doc.empty() ? Strings{} : std::vector{row.doc},
        .input = "",
        .in_child = [&] { row.home.empty() ? unsetenv("HOME") : setenv("HOME", home.c_str(), 1); },
        .as_ordinary_user = row.as_user};
    if (!row.as_user) plan.settings = "";
    const auto r = box.Run(plan);
    EXPECT_EQ(r.status, 0);
    const std::string loaded = row.files.count("notes.txt") != 0
                                   ? "Opened notes.txt\nRead 2 bytes, 1 Lines Generated\n"
                                   : (row.doc.empty() ? "" : "File " + row.doc + " not found!\n");
    std::string after = row.after;
    for (auto at = after.find("HOME/"); at != std::string::npos; at = after.find("HOME/", at)) {
      after.replace(at, 4, home);
    }
    EXPECT_THAT(r.out, HasSubstr("to quit\n" + loaded + after + "\nEditing 1:1"));
  }
}

}  // namespace
}  // namespace ostrel::e2e
