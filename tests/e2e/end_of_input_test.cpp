// The end of standard input at every prompt the editor has: each prompt gives up as decided
// (an empty answer, 'x', a refusal or no save) and the next command line then ends the editor;
// the quit confirmation ends it at once, and the partial-load question ends it with status 1.
// A save given up so leaves status 1 too: nothing was written.
// Never a loop, never a crash, always within a second.
#include "e2e/checks.h"

namespace ostrel::e2e {
namespace {

const std::string kDoc = "abc\ndef\n";
const std::string kNoCommand =
    "There is no command in memory\nEnter new command or [enter] to keep current one\n";
const std::string kNotSaved = "Not saved: no file name was given\n";

struct Row {
  const char* prompt_name;
  std::string input;       // everything before the end of input
  std::string prompt;      // the last text printed before the end of input was met
  std::string after = "";  // what the editor prints next, up to the next view if it carries on
  bool carries_on = true;  // true: one more view, then the command line ends the editor
  int status = 0;
  std::string doc = "doc";  // the document named at the start; "" for none
};

const std::vector<Row> kRows = {
    {"command line", "", "2 Lines Generated\n"},
    {"quit confirmation", "q\n", kQuitPrompt, "", false},
    {"page length", "p\n", "Enter number of lines to display\n"},
    {"go to line", "g\n", "Go to which line?\n"},
    {"go to position", "G\n", "Go to which position?\n"},
    {"line move destination", "m\n", "Move line 1 to where?\n", "Destination line is not valid\n"},
    {"line copy destination", "C\n", "Copy line 1 to where?\n", "Desination line is not valid\n"},
    {"copy size", "c\n", "Copy how many characters?\n"},
    {"cut size", "x\n", "Enter cut size\n"},
    {"jump string in the line", "j\n", "Enter jump string\n"},
    {"jump string in the document", "J\n", "Enter jump string\n"},
    {"insert text", "i\n", "Enter string to insert\n"},
    {"open prompt", "O\n", kOpenPrompt},
    {"open: name after saving", "O\ns\n", "Next, enter a new filename to open\n"},
    {"save name", "S\n", "Enter a filename to save to\n", kNotSaved, true, 1, ""},
    {"save as", "s\n", "Enter a filename to save to, or 'x' to return\n", kNotSaved, true, 1},
    {"save as: file exists", "s\na\n", "Enter a new filename or 'o' to overwrite\n", kNotSaved,
     true, 1},
    {"save as: try again", "s\na\na\n", "File exists. Try again\n", kNotSaved, true, 1},
    {"partial load at start-up", "", kPartialLoadQuestion, "", false, 1, "many"},
    {"partial load from open", "O\nmany\n", kPartialLoadQuestion, "", false, 1},
    {"launch command edit", "+\n", kNoCommand},
    {"launch command run", "=\n", kNoCommand},
    {"help menu", "h\n", "'x'  Exit Help\n"},
    {"help menu after a page", "h\nf\n", "'x'  Exit Help\n"},
};

TEST(EndOfInput, EveryPromptEndsOrCarriesOnAsDecided) {
  // Each row runs in a directory of its own; the rows go side by side.
  InParallel(kRows.size(), 4, [&](std::size_t i) {
    const Row& row = kRows[i];
    SCOPED_TRACE(row.prompt_name);
    Sandbox box;
    RunPlan plan{.settings = Settings({"max_lines=4", "lines_per_page=2"}),
                 .args = row.doc.empty() ? Strings{} : Strings{row.doc},
                 .input = row.input,
                 .files = {{"doc", kDoc}, {"a", "x\n"}, {"many", "1\n2\n3\n4\n5\n"}},
                 .timeout_seconds = 60};
    // The run ends when the editor exits; a prompt that waited for more input would hold it
    // until the safety timeout kills it.
    const auto r = box.Run(plan);
    ExpectEnded(r, row.status);

    const auto at = r.out.rfind(row.prompt);
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string tail = r.out.substr(at + row.prompt.size());
    if (row.carries_on) {
      // The messages, then exactly one view, whose prompt is the last thing printed.
      const auto view = tail.find("\nEditing ");
      ASSERT_NE(view, std::string::npos) << tail;
      EXPECT_EQ(tail.substr(0, view), row.after);
      EXPECT_EQ(tail.find("\nEditing ", view + 1), std::string::npos) << tail;
      EXPECT_EQ(tail.substr(tail.size() - 2), "> ");
    } else {
      EXPECT_EQ(tail, row.after);
    }
    // Nothing was written but what was there: no half-saved file, the document as it was.
    EXPECT_EQ(Entries(box.dir()), (Names{".vazaru_da", "a", "doc", "many"}));
    EXPECT_EQ(r.File("doc"), kDoc);
  });
}

}  // namespace
}  // namespace ostrel::e2e
