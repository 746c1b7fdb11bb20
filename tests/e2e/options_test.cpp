// The command-line options: --help, --version, --no-line-editing, +LINE[,COLUMN] and "--";
// every other argument is a file name.
#include "e2e/checks.h"

#include "console/line_editor.h"
#include "main/options.h"

namespace ostrel::e2e {
namespace {

const std::string kVersionLine =
    std::string("ostrel " OSTREL_VERSION) +
    (kLineEditingBuiltIn ? " (line editing: libedit)\n" : " (line editing: not built in)\n");

// The header line of the first view, which names the file being edited.
std::string FirstHeader(const std::string& out) {
  const auto at = out.find("\nEditing ");
  if (at == std::string::npos) return "";
  return out.substr(at + 1, out.find('\n', at + 1) - at - 1);
}

// Each row's arguments start the editor, which quits, on the file its first header names. The
// folder holds a document of five lines, the last two empty.
struct HeaderRow {
  std::vector<std::string> args;
  std::string header;
};
void ExpectFirstHeaders(const std::vector<HeaderRow>& rows) {
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    const auto r = RunEditor({.settings = "",
                              .args = row.args,
                              .input = "q\nq\n",
                              .files = {{"doc.txt", "one\ntwo\n\nfour\n\n"}}});
    ExpectEnded(r);
    EXPECT_EQ(r.out.rfind(StartupOutput(), 0), 0u);
    EXPECT_EQ(FirstHeader(r.out), row.header);
  }
}

TEST(Options, HelpPrintsUsageAndTouchesNothing) {
  Sandbox box;
  const auto r = box.Run({.args = {"--help"}, .input = "q\nq\n"});
  ExpectEnded(r);
  EXPECT_EQ(r.out, UsageText());
  // No editor ran: no settings file was made.
  EXPECT_FALSE(r.File(".vazaru_da").has_value());
  // How to start, where the commands are listed, how to leave.
  for (const char* piece : {"Usage: ostrel [--no-line-editing] [+LINE[,COLUMN]] [FILE]",
                            "help command (key h", "ostrel(1)", "To leave, type q"}) {
    EXPECT_NE(r.out.find(piece), std::string::npos) << piece;
  }
}

TEST(Options, VersionPrintsOneLineMatchingTheBanner) {
  Sandbox box;
  const auto r = box.Run({.args = {"--version"}, .input = "q\nq\n"});
  ExpectEnded(r);
  EXPECT_EQ(r.out, kVersionLine);
  EXPECT_FALSE(r.File(".vazaru_da").has_value());
  const auto banner = RunEditor({.settings = "", .input = "q\nq\n"});
  EXPECT_EQ(banner.out.rfind("Ostrel line editor " OSTREL_VERSION "\n", 0), 0u);
}

TEST(Options, TheFirstOptionDecidesWhereverItStands) {
  auto r = RunEditor({.args = {"--version", "--help"}});
  ExpectEnded(r);
  EXPECT_EQ(r.out, kVersionLine);

  r = RunEditor({.args = {"notes.txt", "--help"}});
  ExpectEnded(r);
  EXPECT_EQ(r.out, UsageText());
}

TEST(Options, DoubleDashEndsTheOptions) {
  ExpectFirstHeaders({
      {{"--", "--help"}, "Editing 1:1 --help"},
      {{"--", "--version"}, "Editing 1:1 --version"},
      {{"--", "--"}, "Editing 1:1 --"},
      {{"--", "a.txt", "--help"}, "Editing 1:1 a.txt"},
      {{"--", "-x"}, "Editing 1:1 -x"},
  });
}

TEST(Options, EveryOtherArgumentIsAFileName) {
  ExpectFirstHeaders({
      {{"-"}, "Editing 1:1 -"},
      {{"first", "second"}, "Editing 1:1 first"},
      {{}, "Editing 1:1 "},
  });
}

// An argument that starts with '-' and is no option is a usage error on standard error, status
// 2, before anything else: no banner, no settings file. The first of it, --help and --version
// decides.
TEST(Options, AnUnknownOptionIsAUsageError) {
  struct Case {
    std::vector<std::string> args;
    std::string unknown;  // "" when --help decides
  };
  const std::vector<Case> cases = {
      {{"-x"}, "-x"},
      {{"--no-line-edit", "x.txt"}, "--no-line-edit"},
      {{"notes.txt", "-help", "--foo"}, "-help"},
      {{"--help=yes", "--help"}, "--help=yes"},
      {{"--help", "--foo"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    Sandbox box;
    const auto r = box.Run({.args = c.args, .input = "q\nq\n"});
    if (c.unknown.empty()) {
      EXPECT_EQ(r.out, UsageText());
      continue;
    }
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ostrel: unknown option '" + c.unknown +
                         "'\nTry 'ostrel --help' for more information.\n");
    EXPECT_FALSE(r.File(".vazaru_da").has_value());
  }
}

// +LINE[,COLUMN] puts the cursor there, clamped into the grid; "+" alone is the last line that
// holds text. Anything else that starts with '+', and anything after "--", is a file name.
TEST(Options, StartPositionIsClampedIntoTheGrid) {
  ExpectFirstHeaders({
      {{"+3", "doc.txt"}, "Editing 3:1 doc.txt"},
      {{"+3,5", "doc.txt"}, "Editing 3:5 doc.txt"},
      {{"doc.txt", "+2,2"}, "Editing 2:2 doc.txt"},
      {{"+", "doc.txt"}, "Editing 4:1 doc.txt"},
      {{"+"}, "Editing 1:1 "},
      {{"+1", "+7", "doc.txt"}, "Editing 7:1 doc.txt"},
      {{"+0,0", "doc.txt"}, "Editing 1:1 doc.txt"},
      {{"+99999999999,99999999999", "doc.txt"}, "Editing 32767:256 doc.txt"},
      {{"--", "+3"}, "Editing 1:1 +3"},
      {{"+3x"}, "Editing 1:1 +3x"},
      {{"+3,"}, "Editing 1:1 +3,"},
      {{"+,3"}, "Editing 1:1 +,3"},
  });
}

TEST(Options, OutputThatCannotBeWrittenFailsTheRun) {
  for (const char* option : {"--help", "--version"}) {
    SCOPED_TRACE(option);
    const auto r = RunEditor({.args = {option}, .in_child = OutputToDevFull});
    ExpectEnded(r, 1);
  }
}

}  // namespace
}  // namespace ostrel::e2e
