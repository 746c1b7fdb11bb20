// Loading and saving documents through the real editor.
#include "e2e/checks.h"

namespace ostrel::e2e {
namespace {

std::string Warning(const std::string& percent) {
  return "\nWarning!! Only " + percent +
         " percent of the data was loaded!\n"
         "The unloaded data will be lost if you save to the same filename!\n" +
         kPartialLoadQuestion;
}

const std::string kLine(300, 'x');
const Files kFourLines = {{"f", "a\nb\nc\nd\n"}};
const Files kFromA = {{"a", "from a\n"}};
const Files kOther = {{"other", "other\n"}};

// The body of every RunCase table's tests, here and in the other files that instantiate Runs.
TEST_P(Runs, ShowAndLeave) {
  ExpectRun(GetParam());
}

const RunCase kLoads[] = {
    {.name = "SplitWarningContinuesTheReadLine",
     .plan = {.settings = "", .args = {"f"}, .input = "S\nq\nq\n", .files = {{"f", kLine + "\n"}}},
     .shown = {"Opened f\nRead 301 bytes, WARNING!  Line 1 is being split\n2 Lines Generated\n"},
     .left = {{"f", kLine.substr(0, 255) + "\n" + kLine.substr(255) + "\n"}}},
    // A partial load at start-up ends with status 1 unless the answer is Y; the end of input at
    // the question is a refusal.
    {.name = "PartialLoadAtStartUpEndsWithStatusOneUnlessY",
     .plan = {.settings = Settings({"max_lines=3"}),
              .args = {"f"},
              .input = "n\nq\nq\n",
              .files = kFourLines},
     .status = 1,
     .ends = "Read 8 bytes, 3 Lines Generated\n" + Warning("75.0")},
    {.name = "PartialLoadAtStartUpGoesOnAfterY",
     .plan = {.settings = Settings({"max_lines=3"}),
              .args = {"f"},
              .input = "Y\nq\nq\n",
              .files = kFourLines},
     .shown = {Warning("75.0") + "\nEditing 1:1 f\n\n[1] a\n 2  b\n 3  c\n"}},
    {.name = "PartialLoadAtStartUpRefusedByTheEndOfInput",
     .plan = {.settings = Settings({"max_lines=3"}), .args = {"f"}, .files = kFourLines},
     .status = 1},
    // The question comes before the document is touched: the unsaved text is rescued whole.
    {.name = "PartialLoadFromTheOpenCommandEndsTheEditorAfterTheRescue",
     .plan = {.settings = Settings({"max_lines=3", "max_char=3"}),
              .input = "k\nO\ng\nno\nS\nq\nq\n",
              .files = {{"g", "abcdefghij\n"}}},
     .status = 1,
     .ends = "3 Lines Generated\n" + Warning("81.8") + "Unsaved text written to ostrel.save\n",
     .left = {{"ostrel.save", "k\n"}}},
    // Three long lines, the cursor on line 3, then a short file is opened.
    {.name = "OpenReplacesTheWholeDocumentAndKeepsTheCursor",
     .plan = {.settings = "",
              .args = {"long"},
              .input = "\n\nO\nshort\nS\nq\nq\n",
              .files = {{"long", "aaaaaaaa\nbbbbbbbb\ncccccccc\n"}, {"short", "x\n"}}},
     .shown = {"Opened short\nRead 2 bytes, 1 Lines Generated\n"},
     .view = "Editing 3:1 short\n",
     .left = {{"short", "x\n"}}},
    // 'x' keeps the name, also after a save under a new name changed it.
    {.name = "FileNameAfterEachOpenPath",
     .plan = {.settings = "", .args = {"a"}, .input = "s\nb\nO\nx\nq\nq\n", .files = kFromA},
     .view = "Editing 1:1 b\n",
     .left = {{"b", "from a\n"}}},
    // A name that does not exist becomes the file name; the old text stays and saves under it.
    {.name = "FileNameAfterOpeningANewFile",
     .plan = {.settings = "", .args = {"a"}, .input = "O\nnew\nS\nq\nq\n", .files = kFromA},
     .shown = {kOpenPrompt + "File new not found!\n"},
     .view = "Editing 1:1 new\n",
     .left = {{"new", "from a\n"}}},
    // An empty answer: two blanks in the message, and an empty file name.
    {.name = "FileNameAfterAnEmptyAnswer",
     .plan = {.settings = "", .args = {"a"}, .input = "O\n\nq\nq\n", .files = kFromA},
     .shown = {"File  not found!\n"},
     .view = "Editing 1:1 \n"},
    // End of input at the prompt returns as 'x' does, and the editor then ends.
    {.name = "FileNameAfterTheEndOfInputAtTheOpenPrompt",
     .plan = {.settings = "", .args = {"a"}, .input = "O\n", .files = kFromA},
     .ends = kOpenPrompt + "\nEditing 1:1 a\n\n[1] from a\n 2\n 3\n 4\n 5\n 6\n 7\n 8\n  > ",
     .view = "Editing 1:1 a\n"},
    {.name = "SaveFirstThenOpen",
     .plan = {.settings = "", .input = "mine\nO\ns\nkept\nother\nq\nq\n", .files = kOther},
     .shown = {kOpenPrompt + "Enter a filename to save to\nSaved to kept\n"
                             "Next, enter a new filename to open\nOpened other\n"},
     .view = "Editing 2:1 other\n",
     .left = {{"kept", "mine\n"}}},
    // "other" was taken as a line of text; the document and the name are the old ones.
    {.name = "FailedSaveStopsTheOpen",
     .plan = {.settings = "",
              .args = {"nodir/doc"},
              .input = "mine\nO\ns\nother\nq\nq\n",
              .files = kOther},
     .status = 1,  // the last save failed
     .shown = {kOpenPrompt + "Cannot save to nodir/doc: No such file or directory\n\nEditing"},
     .hidden = {"Next, enter", "Opened other"},
     .view = "Editing 3:1 nodir/doc\n\n 1  mine\n 2  other\n"},
    {.name = "FilesThatCannotBeReadWholeLeaveEverythingAsItWas",
     .plan = {.settings = "",
              .args = {"doc"},
              .input = "O\nadir\nO\nfifo\nq\nq\n",
              .files = {{"doc", "text\n"}},
              .timeout_seconds = 10},
     .dirs = {"adir"},
     .fifos = {"fifo"},
     .shown = {kOpenPrompt + "Cannot load adir: Is a directory\n\nEditing 1:1 doc\n\n[1] text\n",
               kOpenPrompt +
                   "Cannot load fifo: not a regular file\n\nEditing 1:1 doc\n\n[1] text\n"}},
    // At start-up the editor ends after the message, before the view: a later save would
    // replace what it could not load.
    {.name = "FileThatCannotBeReadAtStartUpEndsTheEditor",
     .plan = {.settings = "", .args = {"adir"}, .input = "S\nq\nq\n"},
     .status = 1,
     .dirs = {"adir"},
     .out = StartupOutput() + "Cannot load adir: Is a directory\n"},
    {.name = "OverlongNameOnTheCommandLineIsRefused",
     .plan = {.settings = "", .args = {std::string(256, 'n')}, .input = "S\nq\nq\n"},
     .status = 1,
     .out = StartupOutput() + "File name is longer than 255 characters\n"},
    {.name = "NameOf255CharactersIsFine",
     .plan = {.settings = "", .args = {std::string(255, 'n')}, .input = "q\nq\n"},
     .shown = {"File " + std::string(255, 'n') + " not found!\n"}},
};
INSTANTIATE_TEST_SUITE_P(Load, Runs, ::testing::ValuesIn(kLoads), RowName);

// 'x' saves nothing; an existing name asks; the next existing ones, 'o' among them, loop; a
// free one saves; 'o' at the first question overwrites.
const std::string kDialogue = "text\ns\nx\ns\na\nb\no\nc\ns\nb\no\nq\nq\n";

const RunCase kSaves[] = {
    // CR bytes, blank-only lines and a line without a final newline; trailing empty lines are
    // not written back. What was saved saves the same again.
    {.name = "FormatAndRoundTrip",
     .plan = {.settings = "",
              .args = {"f"},
              .input = "S\nq\nq\n",
              .files = {{"f", "abc\r\n\n  \ndef"}}},
     .shown = {"Saved to f\n"},
     .left = {{"f", "abc\r\n\n  \ndef\n"}}},
    {.name = "SavedFormatRoundTrips",
     .plan = {.settings = "",
              .args = {"f"},
              .input = "S\nq\nq\n",
              .files = {{"f", "abc\r\n\n  \ndef\n"}}},
     .left = {{"f", "abc\r\n\n  \ndef\n"}}},
    {.name = "TrailingEmptyLinesAreNotWritten",
     .plan = {.settings = "", .args = {"g"}, .input = "S\nq\nq\n", .files = {{"g", "x\n\n\n"}}},
     .left = {{"g", "x\n"}}},
    {.name = "EmptyDocumentSavesOneEmptyLine",
     .plan = {.settings = "", .input = "S\nempty\nq\nq\n"},
     .left = {{"empty", "\n"}}},
    {.name = "SavePromptDialogue",
     .plan = {.settings = "",
              .input = kDialogue,
              .files = {{"a", "old a\n"}, {"b", "old b\n"}, {"o", "old o\n"}}},
     .shown = {"Enter a filename to save to, or 'x' to return\n\nEditing 2:1 \n",
               "The file already exists.\nEnter a new filename or 'o' to overwrite\n"
               "File exists. Try again\nFile exists. Try again\nSaved to c\n",
               "Saved to b\n"},
     .view = "Editing 2:1 b\n",
     .left = {{"a", "old a\n"}, {"o", "old o\n"}, {"b", "text\n"}, {"c", "text\n"}}},
    {.name = "FailureIsReportedAndTheEditorCarriesOn",
     .plan = {.settings = "", .input = "text\nS\n/dev/full\nq\nq\n"},
     .status = 1,  // the last save failed
     .shown = {"Cannot save to /dev/full: No space left on device\n\nEditing 2:1 /dev/full\n"},
     .hidden = {"Saved to"}},
    {.name = "EndOfInputAtTheNamePromptGivesUp",
     .plan = {.settings = "", .input = "text\nS\n\n"},
     .status = 1,  // nothing was saved
     .shown = {"Enter a filename to save to\nEnter a filename to save to\n"
               "Not saved: no file name was given\n"}},
};
INSTANTIATE_TEST_SUITE_P(Save, Runs, ::testing::ValuesIn(kSaves), RowName);

TEST(Save, FullDefaultGridLoadsAndSavesWhole) {
  Sandbox box;
  std::string file;
  for (int i = 0; i < 32767; ++i) file += std::string(254, static_cast<char>('a' + i % 26)) + "#\n";
  box.Write("big", file);
  // Two loads and two saves of 8.4 MB, waited for until the editor exits; the timeout only
  // guards against a hang.
  const auto r = box.Run(
      {.settings = "", .args = {"big"}, .input = "S\nO\nbig\nS\nq\nq\n", .timeout_seconds = 300});
  ExpectEnded(r);
  EXPECT_THAT(r.out, HasSubstr("Read 8388352 bytes, 32767 Lines Generated\n"));
  EXPECT_EQ(r.File("big"), file);
}

}  // namespace
}  // namespace ostrel::e2e
