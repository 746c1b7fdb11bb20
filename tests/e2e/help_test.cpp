#include "e2e/checks.h"

namespace ostrel::e2e {
namespace {

const std::string kMenu =
    "'n'  Navigation Commands\n'e'  Editing Commands\n'f'  File Commands\n'm'  More Commands\n"
    "'x'  Exit Help\n";

RunResult Drive(const std::string& input, const std::string& settings = "") {
  auto r = RunEditor({.settings = settings, .input = input});
  ExpectEnded(r);
  return r;
}

// Everything printed after the first view's prompt up to the next view.
std::string HelpOutput(const std::string& out) {
  const auto start = out.find("> ") + 2;
  return out.substr(start, out.find("\nEditing ", start) - start);
}

TEST(Help, OpensWithTheLimitsAndLeavesAtTheEndOfInput) {
  const auto r = Drive("h\n");
  const std::string view = LastView(r.out);  // the cursor and the document are unchanged
  EXPECT_EQ(r.out, StartupOutput() + "\n" + view +
                       "\nLimits:  Line length = 255     Total Lines = 32767\n\n" + kMenu + "\n" +
                       view);
  EXPECT_THAT(Drive("h\nx\n", Settings({"max_char=100", "max_lines=500"})).out,
              HasSubstr("\nLimits:  Line length = 100     Total Lines = 500\n\n"));
}

TEST(Help, PagesShowTheCurrentKeys) {
  const auto r = Drive("?\nn\ne\nf\nm\nx\n",
                       Settings({"position_back=B", "open=P", "help=?", "quit=Q", "undo=!"}));
  EXPECT_EQ(HelpOutput(r.out), "\nLimits:  Line length = 255     Total Lines = 32767\n\n" + kMenu +
                                   R"(
Navigation:
----------

    'B' to move back a space
    'n' to move forward a space

    ',' to move up a line
    '.' to move down a line

    'l' to move to the beginning of a line
    'e' to move to the end of a line

    '<' to move back a page
    '>' to move forward a page
    'p' to set page length

    'j' to jump to a string in the line
    'J' to jump to a string on current or later lines

    'L' to lock/unlock line switching

    'g' to go to a line number
    'G' to go a position in a line

    'a' to move to an anchored position
    'A' to set the anchored position

)" + kMenu + R"(
Editing:
-------

    'd' to clear a line
    'm' to move a line
    'w' to wedge (insert) a new line
    'D' to delete a line and shift lines up
    'C' to copy a whole line

    'c' to copy text to memory
    'x' to cut text to memory

    'v' to paste text from memory by overwriting
    'V' to paste text from memory by inserting and shifting
    'i' to insert new text

    't' to trim line at current position by deleting text
    'T' to trim line and send extra text to next line

    '!' to undo an edit

)" + kMenu + R"(
File:
----

Filenames can be entered as 1st run argument

    's' to save a file with new name prompt
    'S' to save a file using existing name

    'O' to open a file and replace current buffer

)" + kMenu + R"(
    '!' followed by a command letter enters the letter and not the command
    '#' to toggle the display of line numbers
    '?' to view help menu
    '=' to launch a command
    '+' to enter the command to be launched
    'Q' to quit

)" + kMenu);
}

TEST(Help, OnlyTheFirstCharacterOfEachAnswerCounts) {
  auto r = Drive("h\nnav\nxyz\n");
  EXPECT_EQ(Count(r.out, "Navigation:\n"), 1);
  EXPECT_EQ(Count(r.out, kMenu), 2);
  r = Drive("h\nX\nN\n n\n\nx\n");  // case-sensitive; a blank or an empty answer chooses nothing
  EXPECT_EQ(Count(r.out, kMenu), 5);
  EXPECT_EQ(HelpOutput(r.out).find("    '"), std::string::npos);
}

TEST(Help, LongAnswersAreOneAnswer) {
  // Fifteen characters are read and the rest of the line thrown away: the page, the menu once.
  auto r = Drive("h\nnnnnnnnnnnnnnnn\nx\n");
  EXPECT_EQ(Count(r.out, "Navigation:\n"), 1);
  EXPECT_THAT(r.out, HasSubstr("    'A' to set the anchored position\n\n" + kMenu + "\nEditing"));
  // Nothing of a leaving answer reaches the command loop.
  r = Drive("h\nxaaaaaaaaaaaaaahello\n");
  EXPECT_EQ(Count(r.out, kMenu), 1);
  EXPECT_THAT(LastView(r.out), StartsWith("Editing 1:1 \n\n[1] \n"));
}

}  // namespace
}  // namespace ostrel::e2e
