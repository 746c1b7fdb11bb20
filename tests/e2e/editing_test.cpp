// Editing commands and undo through the real binary, checked on the numbered view.

#include "e2e/checks.h"

namespace ostrel::e2e {
namespace {

// Builds aa, bb, cc, dd, ee on a grid of five lines from the bottom up with insert, copy and
// clear, leaving the cursor on line 1.
const std::string kFive = "i\nee\nC\n5\nd\ni\ndd\nC\n4\nd\ni\ncc\nC\n3\nd\ni\nbb\nC\n2\nd\ni\naa\n";

// Runs the script, quits, and returns the whole output and the window of the last view.
std::string ViewAfter(const std::string& script, std::string* out = nullptr) {
  const auto r = RunEditor(
      {.settings = Settings({"max_lines=5", "max_char=16", "undo=!"}), .input = script + "q\nq\n"});
  ExpectEnded(r);
  if (out != nullptr) *out = r.out;
  const std::string view = LastView(r.out);
  return view.substr(0, view.rfind("> ") + 2);
}

TEST(Editing, LineOperationsAndUndo) {
  const std::string below = " 3  cc\n 4  dd\n 5  ee\n  > ";  // lines 3 to 5 as built
  // With the last line empty a line opens, and its undo closes it again.
  EXPECT_EQ(ViewAfter(kFive + "g\n5\nd\ng\n2\nw\n"),
            "Editing 2:1 \n\n 1  aa\n[2] \n 3  bb\n 4  cc\n 5  dd\n  > ");
  EXPECT_EQ(ViewAfter(kFive + "g\n5\nd\ng\n2\nw\n!\n"),
            "Editing 2:1 \n\n 1  aa\n[2] bb\n 3  cc\n 4  dd\n 5\n  > ");
  EXPECT_EQ(ViewAfter(kFive + "\nD\n"), "Editing 2:1 \n\n 1  aa\n[2] cc\n 3  dd\n 4  ee\n 5\n  > ");
  EXPECT_EQ(ViewAfter(kFive + "\nD\n\n\n!\n!\n"), "Editing 2:1 \n\n 1  aa\n[2] bb\n" + below);
  EXPECT_EQ(ViewAfter(kFive + "m\n4\n"),
            "Editing 1:1 \n\n[1] \n 2  bb\n 3  cc\n 4  aa\n 5  ee\n  > ");
  EXPECT_EQ(ViewAfter(kFive + "m\n4\n\n!\n"), "Editing 1:1 \n\n[1] aa\n 2  bb\n" + below);
  EXPECT_EQ(ViewAfter(kFive + "\nm\n2\n"), "Editing 2:1 \n\n 1  aa\n[2] bb\n" + below);
  EXPECT_EQ(ViewAfter(kFive + "\nC\n5\n\n!\n"), "Editing 2:1 \n\n 1  aa\n[2] bb\n" + below);
  // Deleting the last line changes nothing.
  EXPECT_EQ(ViewAfter(kFive + "\n\n\n\nD\n"),
            "Editing 5:1 \n\n 1  aa\n 2  bb\n 3  cc\n 4  dd\n[5] ee\n  > ");
  EXPECT_EQ(ViewAfter(kFive + "T\n!\n"), "Editing 1:1 \n\n[1] aa\n 2  bb\n" + below);
}

TEST(Editing, UndoAfterEditsAndRefusals) {
  std::string out;
  // Two edits, one undo: only the second is reversed.
  EXPECT_EQ(ViewAfter(kFive + "\nXX\nYY\n!\n"),
            "Editing 3:1 \n\n 1  aa\n 2  XX\n[3] cc\n 4  dd\n 5  ee\n  > ");
  // An edit, refused commands, then undo: the edit is reversed.
  EXPECT_EQ(ViewAfter(kFive + "\nXX\nm\n0\nC\nsix\nv\n!\n", &out),
            "Editing 2:1 \n\n 1  aa\n[2] bb\n 3  cc\n 4  dd\n 5  ee\n  > ");
  EXPECT_NE(out.find("Move line 3 to where?\nDestination line is not valid\n"), std::string::npos);
  EXPECT_NE(out.find("Copy line 3 to where?\nDesination line is not valid\n"), std::string::npos);
  EXPECT_NE(out.find("> There is nothing to paste\n"), std::string::npos);
  // The clip survives the undo of a cut.
  EXPECT_EQ(ViewAfter(kFive + "x\n1\n!\nV\n"),
            "Editing 1:1 \n\n[1] aaa\n 2  bb\n 3  cc\n 4  dd\n 5  ee\n  > ");
}

TEST(Editing, EndOfInputAtAPromptEndsTheEditor) {
  for (const char* key : {"m\n", "C\n", "c\n", "x\n", "i\n"}) {
    const auto r = RunEditor({.settings = "", .input = "text\n" + std::string(key)});
    EXPECT_EQ(r.err, "") << key;
    EXPECT_EQ(r.status, 0) << key;
  }
}

// A line being written needs a block of the slot's width. With slots of 200 MB and an address
// space of 1.5 GB, the start-up's seven blocks of that width fit and an eighth does not: typed
// text then changes nothing and says so, and an edit that needs no memory still works. (The
// limit cannot hold under AddressSanitizer, whose shadow memory needs far more.)
#if !defined(__SANITIZE_ADDRESS__)
TEST(Editing, AnEditWithoutMemoryChangesNothing) {
  const auto r = RunEditor({.settings = Settings({"max_lines=4", "max_char=200000000"}),
                            .args = {"doc.txt"},
                            .input = "X\nd\nq\nq\n",
                            .files = {{"doc.txt", "hello\n"}},
                            .in_child = [] {
                              const rlim_t bytes = rlim_t{1500} << 20;
                              const rlimit lim{bytes, bytes};
                              setrlimit(RLIMIT_AS, &lim);
                            }});
  ExpectEnded(r);
  EXPECT_NE(r.out.find("Not enough memory: nothing was changed\n\nEditing 1:1 doc.txt\n\n"
                       "[1] hello\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(LastView(r.out).rfind("Editing 1:1 doc.txt\n\n[1] \n", 0), 0u) << r.out;
}
#endif

}  // namespace
}  // namespace ostrel::e2e
