// Start-up, the settings file on disk, the view, key matching, text entry and quitting, seen
// from outside: the real binary with scripted standard input.
#include "e2e/checks.h"

#include <linux/capability.h>
#include <sys/prctl.h>

namespace ostrel::e2e {
namespace {

// The first view of an empty document with the default settings.
const std::string kEmptyView = "\nEditing 1:1 \n\n[1] \n 2\n 3\n 4\n 5\n 6\n 7\n 8\n  > ";

TEST(StartUp, FirstRunWritesTheDefaultSettingsFile) {
  Sandbox box;
  const auto r = box.Run({.input = kQuit});
  EXPECT_EQ(r.out, "Ostrel line editor " OSTREL_VERSION
                   "\nMaking RC file: .vazaru_da\n\n"
                   "Enter 'h' for help or 'q' to quit\n" +
                       kEmptyView + kQuitPrompt);
  ExpectEnded(r);
  const auto rc = r.File(".vazaru_da");
  EXPECT_EQ(rc, DefaultSettingsText());

  // The second start reads it back and behaves the same.
  const auto again = box.Run({.input = kQuit});
  EXPECT_EQ(again.out, StartupOutput() + kEmptyView + kQuitPrompt);
  EXPECT_EQ(box.Run({}).File(".vazaru_da"), rc);
}

TEST(StartUp, UnwritableDirectoryRunsWithDefaults) {
  // root writes anyway: what the settings line says is then checked only for other users.
  Sandbox box;
  ASSERT_EQ(mkdir((box.dir() + "/sub").c_str(), 0555), 0);
  RunPlan plan{.input = kQuit};
  const std::string sub = box.dir() + "/sub";
  plan.in_child = [sub] {
    if (chdir(sub.c_str()) != 0) _exit(99);
  };
  const auto r = box.Run(plan);
  ExpectEnded(r);
  if (geteuid() != 0) {
    EXPECT_NE(r.out.find("Making RC file: .vazaru_da\nCannot make RC file\n"), std::string::npos);
  }
  EXPECT_NE(r.out.find(kEmptyView), std::string::npos);
}

TEST(StartUp, SettingsFileThatCannotBeOpenedIsNotOverwritten) {
  // A file its owner may write but not read. root gives up the powers that let it read anyway.
  Sandbox box;
  const std::string rc = box.dir() + "/.vazaru_da";
  box.Write(".vazaru_da", "help=?\n");
  ASSERT_EQ(chmod(rc.c_str(), 0200), 0);
  RunPlan plan{.input = kQuit};
  if (geteuid() == 0) {
    plan.in_child = [] {
      if (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0 ||
          prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) != 0) {
        _exit(98);
      }
    };
  }
  const auto r = box.Run(plan);
  EXPECT_EQ(r.out, StartupOutput() + kEmptyView + kQuitPrompt);
  ExpectEnded(r);
  // Its mode back first, so that an ordinary user can read it too.
  ASSERT_EQ(chmod(rc.c_str(), 0600), 0);
  EXPECT_EQ(r.File(".vazaru_da"), "help=?\n");
}

TEST(StartUp, GridTooLargeEndsBeforeAnyView) {
  for (const char* settings : {"max_lines=2147483647\nmax_char=2\n", "max_lines=8388608\n"}) {
    const auto r = RunEditor({.settings = settings, .input = kQuit});
    EXPECT_EQ(r.status, 1) << settings;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("Editing"), std::string::npos);
    // Banner, settings line, hint, and exactly one line saying why.
    EXPECT_EQ(r.out.rfind(StartupOutput(), 0), 0u);
    const std::string rest = r.out.substr(StartupOutput().size());
    EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 1) << rest;
  }
}

// A run through pipes that the end of input ends, and the last view it shows.
struct ViewRow {
  const char* name;
  std::string settings;
  std::string input;
  std::string view;
};

void PrintTo(const ViewRow& row, std::ostream* os) {
  *os << row.name;
}

class Views : public ::testing::TestWithParam<ViewRow> {};

TEST_P(Views, LastViewAfterTheInput) {
  const ViewRow& row = GetParam();
  const auto r = RunEditor({.settings = row.settings, .input = row.input});
  ExpectEnded(r);
  EXPECT_EQ(LastView(r.out), row.view);
}

const std::string kRaw = std::string("a\rb\x80\xff") + '\0' + "zz\n";

const ViewRow kViews[] = {
    // Ten lines down the window ends at the cursor line and the prompt widens with its number.
    {"NumberedWindowEndsAtTheCursorLine", "",
     "line1\nline2\nline3\nline4\nline5\nline6\nline7\nline8\nline9\nline10\n",
     "Editing 11:1 \n\n 4  line4\n 5  line5\n 6  line6\n 7  line7\n 8  line8\n"
     " 9  line9\n 10  line10\n[11] \n   > "},
    // Near the top the window starts at line 1 and shows the lines below the cursor.
    {"NumberedWindowNearTheTopStartsAtLineOne", "", "Hello, world\n\nabc\n",
     "Editing 4:1 \n\n 1  Hello, world\n 2\n 3  abc\n[4] \n 5\n 6\n 7\n 8\n  > "},
    {"MarkerViewAndShortWindows", Settings({"show_numbers=off", "lines_per_page=3"}),
     "Hello, world\n\nabc\n", "Editing 4:1 \n\n\n  abc\n>\n> "},
    // A window never runs past the last slot.
    {"ShortWindowNeverRunsPastTheLastSlot", Settings({"max_lines=3", "lines_per_page=2"}),
     "u\nk\nr\n", "Editing 3:1 \n\n 2  k\n[3] r\n  > "},
    // quit bound to 'b' loses to position_back; help bound to 'z' shadows undo; the line
    // '!bc' writes the rest of the line; 'bb' and ' b' are text. The end of input ends the
    // editor.
    {"MatchingOrderCollisionsAndTheBangEscape",
     Settings({"quit=b", "max_lines=6", "lines_per_page=6"}), "!bc\nbb\n b\nb\n!\n",
     "Editing 5:1 \n\n 1  bc\n 2  bb\n 3   b\n 4\n[5] \n 6\n  > "},
    // With undo on '!', the line '!' runs undo; with another command on '!' it is empty
    // text: over line 1 (which it empties), not a line delete, so the cursor moves on.
    {"BangAloneRunsTheCommandBoundToIt", Settings({"undo=!", "max_lines=3"}), "x\n!\n",
     "Editing 1:1 \n\n[1] \n 2\n 3\n  > "},
    {"BangAloneIsTextWhereAnotherCommandIsBoundToIt", Settings({"line_delete=!", "max_lines=3"}),
     "x\n,\n!\n", "Editing 2:1 \n\n 1\n[2] \n 3\n  > "},
    // "abcd", "efgh" and "ij" land on lines 1 to 3. On the last line the raw bytes arrive as
    // "a\rb\x80", then "\xff" (the piece ends at its NUL byte), then an empty line.
    {"LongLinesArriveInPiecesAndOddBytesAreText", Settings({"max_char=4", "max_lines=4"}),
     "abcdefghij\n" + kRaw, "Editing 4:1 \n\n 1  abcd\n 2  efgh\n 3  ij\n[4] \xff\rb\x80\n  > "},
    // Line 1 "Hello, world", line 3 "abc"; back to line 1 (line 3 in the marker view), then to
    // column 6 (4).
    {"EveryLineIsShownFromTheCursorColumn", "", "Hello, world\n\nabc\ng\n1\nG\n6\n",
     "Editing 1:6 \n\n[1] , world\n 2\n 3\n 4\n 5\n 6\n 7\n 8\n  > "},
    {"EveryLineIsShownFromTheCursorColumnInTheMarkerView", "show_numbers=off\n",
     "Hello, world\n\nabc\ng\n3\nG\n4\n", "Editing 3:4 \n\n  lo, world\n\n>\n\n\n\n\n\n> "},
    {"AnchorBeyondShrunkSlotsIsLowered", Settings({"anchor_position=200", "max_char=9"}), "a\n",
     "Editing 1:10 \n\n[1] \n 2\n 3\n 4\n 5\n 6\n 7\n 8\n  > "},
    // Enter on line 1 moves down; Enter on the last line pads it to the cursor; then text.
    {"EnterOnTheLastLinePadsIt", Settings({"max_lines=2", "show_numbers=off"}), "G\n4\n\n\nok\n",
     "Editing 2:4 \n\n\n> ok\n> "},
};
INSTANTIATE_TEST_SUITE_P(, Views, ::testing::ValuesIn(kViews), RowName);

TEST(TextEntry, AMegabyteLineEndsCleanly) {
  ExpectEnded(RunEditor({.settings = "", .input = std::string(1 << 20, 'x') + "\n"}));
}

TEST(Quit, OnlyTheLetterQConfirms) {
  const auto r = RunEditor(
      {.settings = Settings({"quit=Q", "lines_per_page=1"}), .input = "Q\nQ\nQ\nq \nQ\n\nQ\nq\n"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Count(r.out, kQuitPrompt), 4);
  // The dropped answers wrote nothing.
  EXPECT_EQ(LastView(r.out), "Editing 1:1 \n\n[1] \n  > " + kQuitPrompt);

  // End of input at the confirmation ends the editor too.
  const auto eof = RunEditor({.settings = "", .input = "q\n"});
  EXPECT_EQ(eof.status, 0);
  EXPECT_EQ(eof.out.substr(eof.out.size() - kQuitPrompt.size()), kQuitPrompt);
}

// A link to a device that never ends, and a FIFO nobody writes (below), as the settings file:
// read nothing, keep defaults, overwrite nothing.
TEST(StartUp, SettingsFileThatNeverEndsGivesDefaults) {
  Sandbox box;
  ASSERT_EQ(symlink("/dev/zero", (box.dir() + "/.vazaru_da").c_str()), 0);
  const auto zero = box.Run({.input = kQuit, .timeout_seconds = 5});
  EXPECT_EQ(zero.out, StartupOutput() + kEmptyView + kQuitPrompt);
  EXPECT_EQ(zero.status, 0);
}

const RunCase kRuns[] = {
    {.name = "SettingsFileThatIsADirectoryIsLeftAlone",
     .plan = {.input = kQuit},
     .dirs = {".vazaru_da"},
     .out = StartupOutput() + kEmptyView + kQuitPrompt},
    {.name = "SettingsFileThatBlocksGivesDefaults",
     .plan = {.input = kQuit, .timeout_seconds = 5},
     .fifos = {".vazaru_da"},
     .out = StartupOutput() + kEmptyView + kQuitPrompt},
    {.name = "HintNamesTheBoundKeys",
     .plan = {.settings = Settings({"help=?", "quit=Q"}), .input = "Q\nq\n"},
     .out = StartupOutput("?", "Q") + kEmptyView + kQuitPrompt},
};
INSTANTIATE_TEST_SUITE_P(StartUp, Runs, ::testing::ValuesIn(kRuns), RowName);

// One slot of 2^31-1 bytes: the grid and its six work buffers are 14 GB of address space, of
// which a short session touches a few pages. Then every whole-line operation, the clip and undo
// on two 1 GB slots: copy, move, undo, wedge, delete, cut, insert, wrap, undo, clear, undo, save.
TEST(StartUp, HugeLinesCostOnlyWhatIsUsed) {
  const RunCase runs[] = {
      {.name = "one slot",
       .plan = {.settings = Settings({"max_lines=1", "max_char=2147483646"}),
                .input = "hello\n",
                .timeout_seconds = 60},
       .ends = "\nEditing 1:1 \n\n[1] hello\n  > "},
      {.name = "every whole-line operation",
       .plan = {.settings = Settings({"max_lines=2", "max_char=1073741822"}),
                .input = "hello\n,\nC\n2\nm\n2\nz\nw\nD\nx\n3\nV\nT\nz\nd\nz\ns\nout.txt\n",
                .timeout_seconds = 60},
       .left = {{"out.txt", "hello\n"}}},
  };
  for (const RunCase& c : runs) {
    [[maybe_unused]] const auto r = ExpectRun(c);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(r.max_rss_kb, 64 * 1024);
#endif
  }
}

// Through pipes the line-editing library is never loaded: the dynamic loader's trace of the
// files it maps names no libedit. (Where line editing is not built in, it holds trivially.)
TEST(StartUp, PipedRunsNeverLoadTheLineEditor) {
  const auto r = RunEditor({.input = kQuit, .in_child = [] { setenv("LD_DEBUG", "files", 1); }});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("file="), std::string::npos) << "no trace of the loader";
  EXPECT_EQ(r.err.find("libedit"), std::string::npos) << r.err;
}

// A document costs about its own size: 16 MB of lines of up to 400 characters peak below 1.5
// times that plus what the editor costs empty, where lines at the grid's width would cost
// 40 MB more.
#if !defined(__SANITIZE_ADDRESS__)
TEST(StartUp, ALoadedDocumentCostsAboutItsOwnSize) {
  // The document is written before either run and dropped, so that both runs fork from a test
  // of the same size: a child's peak counts what it shared with the test before its exec.
  Sandbox box;
  std::size_t size = 0;
  {
    std::string doc;
    for (int i = 0; i < 100000; ++i) {
      doc += std::string(static_cast<std::size_t>(i * 7919 % 307 + 1),
                         static_cast<char>('a' + i % 26));
      doc += '\n';
    }
    box.Write("doc.txt", doc);
    size = doc.size();
  }
  const std::string settings = Settings({"max_lines=200000", "max_char=400"});
  const auto empty = box.Run({.settings = settings, .input = kQuit});
  const auto r = box.Run({.settings = settings, .args = {"doc.txt"}, .input = kQuit});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("100000 Lines Generated"), std::string::npos);
  EXPECT_LT(static_cast<double>(r.max_rss_kb - empty.max_rss_kb) * 1024,
            1.5 * static_cast<double>(size));
}
#endif

}  // namespace
}  // namespace ostrel::e2e
