#include "files/load.h"

#include <string>
#include <vector>

#include "buffer/clip.h"
#include "files/save.h"
#include "support/assembly.h"
#include "support/invariants.h"
#include "support/unit_checks.h"

namespace ostrel {
namespace {

struct Loaded {
  bool ok;
  std::string out;
  std::vector<std::string> lines;
};

// Parses `file` (which may hold NUL bytes) into a fresh lsize x lines grid, answering the
// partial-load question with `input`.
Loaded Parse(const std::string& file, int32_t lsize, int32_t lines, const std::string& input = "") {
  auto s = MakeState(lsize, lines);
  MemoryConsole mc(input);
  const std::string_view text(file.c_str());  // up to the first NUL
  const bool ok = ParseLines(text, file.size(), s.doc.buffer, mc.con());
  EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
  return {ok, mc.Output(), AllLines(s)};
}

std::string Warning(const char* percent) {
  return std::string("\nWarning!! Only ") + percent +
         " percent of the data was loaded!\n"
         "The unloaded data will be lost if you save to the same filename!\n"
         "Do you wish to continue (Y,n)?\n"
         "If not, restart with more lines by editing the .vazaru_da file.\n";
}

TEST(MarkLines, RecordsNewlineAndSplitBoundaries) {
  MemoryConsole mc;
  std::vector<int32_t> positions;
  std::vector<int32_t> kinds;
  // Lines of at most 3 characters: "abcde" splits after abc, "fg" has no newline.
  const int32_t n = MarkLines("abcde\n\nfg", 9, 4, 10, positions, kinds, mc.con());
  EXPECT_EQ(n, 5);
  EXPECT_THAT(std::vector<int32_t>(positions.begin(), positions.begin() + n),
              ElementsAre(0, 3, 5, 6, 9));
  EXPECT_THAT(std::vector<int32_t>(kinds.begin() + 1, kinds.begin() + n),
              ElementsAre(kSplitBoundary, kNewlineBoundary, kNewlineBoundary, kSplitBoundary));
  EXPECT_EQ(mc.Output(), "WARNING!  Line 1 is being split\n4 Lines Generated\n");
  EXPECT_EQ(positions.size(), 11u);
}

TEST(ParseLines, CutsLinesWithAndWithoutFinalNewline) {
  auto r = Parse("abc\ndef\n", 256, 5);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.out, "2 Lines Generated\n");
  EXPECT_THAT(r.lines, ElementsAre("abc", "def", "", "", ""));

  r = Parse("abc\ndef", 256, 5);
  EXPECT_EQ(r.out, "2 Lines Generated\n");
  EXPECT_THAT(r.lines, ElementsAre("abc", "def", "", "", ""));

  r = Parse("\n\nabc\n", 256, 5);
  EXPECT_EQ(r.out, "3 Lines Generated\n");
  EXPECT_THAT(r.lines, ElementsAre("", "", "abc", "", ""));

  r = Parse("", 256, 2);
  EXPECT_EQ(r.out, "0 Lines Generated\n");
  EXPECT_THAT(r.lines, ElementsAre("", ""));

  // A grid of more slots than the text has bytes: the loader's table is sized by the text, and
  // the most lines a text can make (a line for every byte) fit.
  r = Parse("\n\n\n", 256, 8);
  EXPECT_EQ(r.out, "3 Lines Generated\n");
  r = Parse("\n\na", 256, 8);
  EXPECT_THAT(r.lines, ElementsAre("", "", "a", "", "", "", "", ""));
  r = Parse("abc", 2, 8);
  EXPECT_THAT(r.lines, ElementsAre("a", "b", "c", "", "", "", "", ""));
}

TEST(ParseLines, SplitsOnlyLinesLongerThanASlot) {
  // A full line followed by its newline is not split; one more character is.
  auto r = Parse("abc\nabcd\n", 4, 5);
  EXPECT_EQ(r.out, "WARNING!  Line 2 is being split\n3 Lines Generated\n");
  EXPECT_THAT(r.lines, ElementsAre("abc", "abc", "d", "", ""));

  const std::string long_line(600, 'x');
  r = Parse(long_line + "\n", 256, 5);
  EXPECT_EQ(r.out,
            "WARNING!  Line 1 is being split\nWARNING!  Line 2 is being split\n"
            "3 Lines Generated\n");
  EXPECT_EQ(r.lines[0].size(), 255u);
  EXPECT_EQ(r.lines[1].size(), 255u);
  EXPECT_EQ(r.lines[2].size(), 90u);
}

TEST(ParseLines, PartialLoadWarnsAndAsksForExactlyY) {
  auto r = Parse("a\nb\nc\nd\n", 256, 3, "Y\n");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.out, "3 Lines Generated\n" + Warning("75.0"));
  EXPECT_THAT(r.lines, ElementsAre("a", "b", "c"));

  for (const char* answer : {"y\n", "\n", "Y \n", "yes\n", "n\n", ""}) {
    r = Parse("a\nb\nc\nd\n", 256, 3, answer);
    EXPECT_FALSE(r.ok) << answer;
    EXPECT_EQ(r.out, "3 Lines Generated\n" + Warning("75.0")) << answer;
    EXPECT_THAT(r.lines, ElementsAre("", "", "")) << "no line is stored after a refusal";
  }
}

TEST(ParseLines, NeverDropsTextSilently) {
  // Only an empty last line has no slot: no question.
  auto r = Parse("a\nb\nc\n\n", 256, 3);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.out, "3 Lines Generated\n");

  // One character without a newline after the last slot is text too.
  r = Parse("a\nb\nc\nd", 256, 3, "Y\n");
  EXPECT_EQ(r.out, "3 Lines Generated\n" + Warning("85.7"));
  EXPECT_THAT(r.lines, ElementsAre("a", "b", "c"));

  // The piece left over by the last split.
  r = Parse("abcdefghij\n", 4, 3, "Y\n");
  EXPECT_EQ(r.out,
            "WARNING!  Line 1 is being split\nWARNING!  Line 2 is being split\n"
            "WARNING!  Line 3 is being split\n3 Lines Generated\n" +
                Warning("81.8"));
  EXPECT_THAT(r.lines, ElementsAre("abc", "def", "ghi"));

  // Lines that exactly fill the grid lose nothing.
  r = Parse("abc\ndef\n", 4, 2);
  EXPECT_EQ(r.out, "2 Lines Generated\n");
  r = Parse("abcdef", 4, 2);
  EXPECT_EQ(r.out, "WARNING!  Line 1 is being split\n2 Lines Generated\n");
  EXPECT_THAT(r.lines, ElementsAre("abc", "def"));
}

TEST(ParseLines, TextEndsAtTheFirstNulAndTheLossIsAskedAbout) {
  const std::string file("ab\ncd\0ef\n", 9);
  auto r = Parse(file, 256, 5, "Y\n");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.out, "2 Lines Generated\n" + Warning("55.6"));  // 5 of 9 bytes
  EXPECT_THAT(r.lines, ElementsAre("ab", "cd", "", "", ""));

  r = Parse(file, 256, 5, "n\n");
  EXPECT_FALSE(r.ok);

  // The marking pass has asked already: one question only.
  r = Parse(std::string("a\nb\nc\nd\n\0x", 10), 256, 3, "Y\n");
  EXPECT_EQ(r.out, "3 Lines Generated\n" + Warning("75.0"));

  // A NUL as the first byte: an empty document, still asked about.
  r = Parse(std::string("\0abc", 4), 256, 2, "Y\n");
  EXPECT_EQ(r.out, "0 Lines Generated\n" + Warning("0.0"));
}

// The open dialogue replaces the document only when the file was read, and after a save asked
// for first went through; the open name takes the name given unless nothing could be read.
TEST(Open, ReplacesTheDocumentOnlyAfterWhatWasAskedWentThrough) {
  const test::ScratchDir dir;
  dir.Write("doc.txt", "new\n");
  const std::string doc = dir.Path("doc.txt");
  const std::string missing = dir.Path("missing");
  struct Row {
    std::string input;
    Outcome saved;  // what the save asked for first gives
    Outcome outcome;
    std::string line;       // line 1 afterwards
    std::string open_name;  // the open name afterwards
  };
  for (const Row& row :
       {Row{"x\n", Outcome::kDone, Outcome::kCancelled, "old", "before"},
        Row{"", Outcome::kDone, Outcome::kEnded, "old", "before"},
        Row{"s\n" + doc + "\n", Outcome::kRefused, Outcome::kRefused, "old", "before"},
        Row{"s\n" + doc + "\n", Outcome::kDone, Outcome::kDone, "new", doc},
        Row{missing + "\n", Outcome::kDone, Outcome::kNoFile, "old", missing},
        Row{dir.Path(".") + "\n", Outcome::kDone, Outcome::kRefused, "old", "before"}}) {
    auto s = MakeState(8, 4, {"old"});
    NameBuffer open_name{'b', 'e', 'f', 'o', 'r', 'e'};
    MemoryConsole mc(row.input);
    EXPECT_EQ(Open(open_name, s.doc.buffer, mc.con(), [&row] { return row.saved; }), row.outcome)
        << row.input;
    EXPECT_EQ(AllLines(s)[0], row.line);
    EXPECT_EQ(std::string(open_name.data()), row.open_name);
  }
}

// A loaded line stays in the file's bytes until it is changed: a change, stored at its own
// length after the command, leaves every other line as loaded, split pieces included, and a line
// cut short can grow back to the full width. Loaded through Load, so that the pieces of split
// lines get their terminators inside the block the file was read into.
TEST(Load, ChangedLinesKeepTheOtherLoadedLines) {
  const test::ScratchDir dir;
  dir.Write("doc.txt", "abcdefghij\n\nxyz\nlast");
  auto s = MakeState(5, 10);
  MemoryConsole mc;
  ASSERT_EQ(Load(dir.Path("doc.txt").c_str(), s.doc.buffer, mc.con()), Outcome::kDone);
  const std::vector<std::string> loaded = {"abcd", "efgh", "ij", "", "xyz", "last", "", "", "", ""};
  EXPECT_EQ(AllLines(s), loaded);

  const auto settle = [&s] {
    s.doc.buffer.FitWrittenLines();
    std::string why;
    EXPECT_TRUE(CheckInvariants(s, &why)) << why;
    EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
  };
  Replace(1, 1, "EF", s.doc.buffer, mc.con());  // a split piece, overwritten in the middle
  settle();
  Trim(4, 1, s.doc.buffer);
  settle();
  std::vector<std::string> expected = loaded;
  expected[1] = "eEFh";
  expected[4] = "x";
  EXPECT_EQ(AllLines(s), expected);

  // Back to the full width of 4 characters, and no further.
  int32_t k = 0;
  ASSERT_TRUE(CheckInsert(4, 1, k, "12345", s.doc.buffer, mc.con()));
  Insert(4, 1, k, "12345", s.doc.buffer);
  settle();
  expected[4] = "x123";
  EXPECT_EQ(AllLines(s), expected);
  EXPECT_EQ(s.doc.buffer.Length(4), 4);
  EXPECT_EQ(AssembleDocument(s.doc.buffer), "abcd\neEFh\nij\n\nx123\nlast\n");
}

}  // namespace
}  // namespace ostrel
