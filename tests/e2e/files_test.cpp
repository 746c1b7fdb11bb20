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

// The header line of the last view: "Editing L:C name".
std::string LastHeader(const std::string& out) {
  const std::string view = LastView(out);
  return view.substr(0, view.find('\n'));
}

TEST(Load, SplitWarningContinuesTheReadLine) {
  Sandbox box;
  const std::string line(300, 'x');
  const auto r =
      box.Run({.settings = "", .args = {"f"}, .input = "S\nq\nq\n", .files = {{"f", line + "\n"}}});
  ExpectEnded(r);
  EXPECT_THAT(r.out, HasSubstr("Opened f\nRead 301 bytes, WARNING!  Line 1 is being split\n"
                               "2 Lines Generated\n"));
  EXPECT_EQ(r.File("f"), line.substr(0, 255) + "\n" + line.substr(255) + "\n");
}

TEST(Load, PartialLoadAtStartUpEndsWithStatusOneUnlessY) {
  const RunPlan plan = {.settings = Settings({"max_lines=3"}),
                        .args = {"f"},
                        .input = "n\nq\nq\n",
                        .files = {{"f", "a\nb\nc\nd\n"}}};
  auto r = RunEditor(plan);
  ExpectEnded(r, 1);
  EXPECT_THAT(r.out, EndsWith("Read 8 bytes, 3 Lines Generated\n" + Warning("75.0")));

  RunPlan yes = plan;
  yes.input = "Y\nq\nq\n";
  r = RunEditor(yes);
  ExpectEnded(r);
  EXPECT_THAT(r.out, HasSubstr(Warning("75.0") + "\nEditing 1:1 f\n\n[1] a\n 2  b\n 3  c\n"));

  // End of input at the question is a refusal.
  RunPlan eof = plan;
  eof.input = "";
  r = RunEditor(eof);
  ExpectEnded(r, 1);
}

TEST(Load, PartialLoadFromTheOpenCommandEndsTheEditorAfterTheRescue) {
  Sandbox box;
  // The question comes before the document is touched: the unsaved text is rescued whole.
  const auto r = box.Run({.settings = Settings({"max_lines=3", "max_char=3"}),
                          .input = "k\nO\ng\nno\nS\nq\nq\n",
                          .files = {{"g", "abcdefghij\n"}}});
  ExpectEnded(r, 1);
  EXPECT_THAT(r.out, EndsWith("3 Lines Generated\n" + Warning("81.8") +
                              "Unsaved text written to ostrel.save\n"));
  EXPECT_EQ(r.File("ostrel.save"), "k\n");
}

TEST(Load, OpenReplacesTheWholeDocumentAndKeepsTheCursor) {
  Sandbox box;
  // Three long lines, the cursor on line 3, then a short file is opened.
  const auto r = box.Run({.settings = "",
                          .args = {"long"},
                          .input = "\n\nO\nshort\nS\nq\nq\n",
                          .files = {{"long", "aaaaaaaa\nbbbbbbbb\ncccccccc\n"}, {"short", "x\n"}}});
  ExpectEnded(r);
  EXPECT_THAT(r.out, HasSubstr("Opened short\nRead 2 bytes, 1 Lines Generated\n"));
  EXPECT_EQ(LastHeader(r.out), "Editing 3:1 short");
  EXPECT_EQ(r.File("short"), "x\n");
}

TEST(Load, FileNameAfterEachOpenPath) {
  Sandbox box;
  box.Write("a", "from a\n");
  // 'x' keeps the name, also after a save under a new name changed it.
  auto r = box.Run({.settings = "", .args = {"a"}, .input = "s\nb\nO\nx\nq\nq\n"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(LastHeader(r.out), "Editing 1:1 b");
  EXPECT_EQ(r.File("b"), "from a\n");

  // A name that does not exist becomes the file name; the old text stays and saves under it.
  r = box.Run({.settings = "", .args = {"a"}, .input = "O\nnew\nS\nq\nq\n"});
  EXPECT_THAT(r.out, HasSubstr(kOpenPrompt + "File new not found!\n"));
  EXPECT_EQ(LastHeader(r.out), "Editing 1:1 new");
  EXPECT_EQ(r.File("new"), "from a\n");

  // An empty answer: two blanks in the message, and an empty file name.
  r = box.Run({.settings = "", .args = {"a"}, .input = "O\n\nq\nq\n"});
  EXPECT_THAT(r.out, HasSubstr("File  not found!\n"));
  EXPECT_EQ(LastHeader(r.out), "Editing 1:1 ");

  // End of input at the prompt returns as 'x' does, and the editor then ends.
  r = box.Run({.settings = "", .args = {"a"}, .input = "O\n"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, EndsWith(kOpenPrompt + "\n" + LastView(r.out)));
  EXPECT_EQ(LastHeader(r.out), "Editing 1:1 a");
}

TEST(Load, SaveFirstThenOpen) {
  Sandbox box;
  box.Write("other", "other\n");
  const auto r = box.Run({.settings = "", .input = "mine\nO\ns\nkept\nother\nq\nq\n"});
  EXPECT_EQ(r.err, "");
  EXPECT_THAT(r.out, HasSubstr(kOpenPrompt + "Enter a filename to save to\nSaved to kept\n"
                                             "Next, enter a new filename to open\nOpened other\n"));
  EXPECT_EQ(r.File("kept"), "mine\n");
  EXPECT_EQ(LastHeader(r.out), "Editing 2:1 other");
}

TEST(Load, FailedSaveStopsTheOpen) {
  Sandbox box;
  box.Write("other", "other\n");
  const auto r =
      box.Run({.settings = "", .args = {"nodir/doc"}, .input = "mine\nO\ns\nother\nq\nq\n"});
  ExpectEnded(r, 1);  // the last save failed
  EXPECT_THAT(r.out, HasSubstr(kOpenPrompt +
                               "Cannot save to nodir/doc: No such file or directory\n\nEditing"));
  EXPECT_THAT(r.out, Not(HasSubstr("Next, enter")));
  EXPECT_THAT(r.out, Not(HasSubstr("Opened other")));
  // "other" was taken as a line of text; the document and the name are the old ones.
  EXPECT_THAT(LastView(r.out), StartsWith("Editing 3:1 nodir/doc\n\n 1  mine\n 2  other\n"));
}

TEST(Load, FilesThatCannotBeReadWholeLeaveEverythingAsItWas) {
  Sandbox box;
  ASSERT_EQ(mkdir((box.dir() + "/adir").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo((box.dir() + "/fifo").c_str(), 0600), 0);
  box.Write("doc", "text\n");
  auto r = box.Run({.settings = "",
                    .args = {"doc"},
                    .input = "O\nadir\nO\nfifo\nq\nq\n",
                    .timeout_seconds = 10});
  ExpectEnded(r);
  EXPECT_THAT(
      r.out,
      HasSubstr(kOpenPrompt + "Cannot load adir: Is a directory\n\nEditing 1:1 doc\n\n[1] text\n"));
  EXPECT_THAT(r.out,
              HasSubstr(kOpenPrompt +
                        "Cannot load fifo: not a regular file\n\nEditing 1:1 doc\n\n[1] text\n"));

  // At start-up the editor ends after the message, before the view: a later save would
  // replace what it could not load.
  r = box.Run({.settings = "", .args = {"adir"}, .input = "S\nq\nq\n"});
  ExpectEnded(r, 1);
  EXPECT_EQ(r.out, StartupOutput() + "Cannot load adir: Is a directory\n");
}

TEST(Load, OverlongNameOnTheCommandLineIsRefused) {
  const std::string name(256, 'n');
  const auto r = RunEditor({.settings = "", .args = {name}, .input = "S\nq\nq\n"});
  ExpectEnded(r, 1);
  EXPECT_EQ(r.out, StartupOutput() + "File name is longer than 255 characters\n");

  // 255 characters are fine.
  const auto ok = RunEditor({.settings = "", .args = {name.substr(1)}, .input = "q\nq\n"});
  EXPECT_EQ(ok.status, 0);
  EXPECT_THAT(ok.out, HasSubstr("File " + name.substr(1) + " not found!\n"));
}

TEST(Save, FormatAndRoundTrip) {
  Sandbox box;
  // CR bytes, blank-only lines and a line without a final newline; trailing empty lines are
  // not written back.
  const std::string file = "abc\r\n\n  \ndef";
  const auto r = box.Run({.settings = "",
                          .args = {"f"},
                          .input = "S\nq\nq\n",
                          .files = {{"f", file}, {"g", "x\n\n\n"}}});
  EXPECT_EQ(r.err, "");
  EXPECT_THAT(r.out, HasSubstr("Saved to f\n"));
  EXPECT_EQ(r.File("f"), "abc\r\n\n  \ndef\n");
  const auto again = box.Run({.settings = "", .args = {"f"}, .input = "S\nq\nq\n"});
  EXPECT_EQ(again.File("f"), "abc\r\n\n  \ndef\n");
  const auto trailing = box.Run({.settings = "", .args = {"g"}, .input = "S\nq\nq\n"});
  EXPECT_EQ(trailing.File("g"), "x\n");

  const auto empty = box.Run({.settings = "", .input = "S\nempty\nq\nq\n"});
  EXPECT_EQ(empty.File("empty"), "\n");
}

TEST(Save, SavePromptDialogue) {
  Sandbox box;
  box.Write("a", "old a\n");
  box.Write("b", "old b\n");
  box.Write("o", "old o\n");
  // 'x' saves nothing; an existing name asks; the next existing ones, 'o' among them, loop; a
  // free one saves; 'o' at the first question overwrites.
  const auto r = box.Run({.settings = "", .input = "text\ns\nx\ns\na\nb\no\nc\ns\nb\no\nq\nq\n"});
  ExpectEnded(r);
  EXPECT_THAT(r.out, HasSubstr("Enter a filename to save to, or 'x' to return\n\nEditing 2:1 \n"));
  EXPECT_THAT(r.out,
              HasSubstr("The file already exists.\nEnter a new filename or 'o' to overwrite\n"
                        "File exists. Try again\nFile exists. Try again\nSaved to c\n"));
  EXPECT_THAT(r.out, HasSubstr("Saved to b\n"));
  EXPECT_EQ(r.File("a"), "old a\n");
  EXPECT_EQ(r.File("o"), "old o\n");
  EXPECT_EQ(r.File("b"), "text\n");
  EXPECT_EQ(r.File("c"), "text\n");
  EXPECT_EQ(LastHeader(r.out), "Editing 2:1 b");
}

TEST(Save, FailureIsReportedAndTheEditorCarriesOn) {
  const auto r = RunEditor({.settings = "", .input = "text\nS\n/dev/full\nq\nq\n"});
  ExpectEnded(r, 1);  // the last save failed
  EXPECT_THAT(
      r.out,
      HasSubstr("Cannot save to /dev/full: No space left on device\n\nEditing 2:1 /dev/full\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("Saved to")));
}

TEST(Save, EndOfInputAtTheNamePromptGivesUp) {
  const auto r = RunEditor({.settings = "", .input = "text\nS\n\n"});
  ExpectEnded(r, 1);  // nothing was saved
  EXPECT_THAT(r.out, HasSubstr("Enter a filename to save to\nEnter a filename to save to\n"
                               "Not saved: no file name was given\n"));
}

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
