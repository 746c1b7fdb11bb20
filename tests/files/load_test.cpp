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

std::string Split(int line) {
  return "WARNING!  Line " + std::to_string(line) + " is being split\n";
}

std::string Generated(int lines) {
  return std::to_string(lines) + " Lines Generated\n";
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
  EXPECT_EQ(mc.Output(), Split(1) + Generated(4));
  EXPECT_EQ(positions.size(), 11u);
}

using Lines = std::vector<std::string>;

// A text (which may hold NUL bytes) parsed into a fresh lsize x lines grid once for each answer
// to the partial-load question: whether the parse went through, what it printed, the lines stored.
struct ParseRow {
  std::string file;
  int32_t lsize;
  int32_t lines;
  std::string out;
  Lines stored;
  std::vector<std::string> answers = {""};
  bool ok = true;
};

ParseRow Row(std::string file, int32_t lsize, int32_t lines, std::string out, Lines stored,
             std::vector<std::string> answers = {""}, bool ok = true) {
  return {std::move(file), lsize, lines, std::move(out), std::move(stored), std::move(answers), ok};
}

struct ParseCase {
  const char* name;
  std::vector<ParseRow> rows;
};

const std::string kLong(600, 'x');
const std::string kFourLines = "a\nb\nc\nd\n";
const std::string kNul("ab\ncd\0ef\n", 9);

const ParseCase kParseCases[] = {
    {"CutsLinesWithAndWithoutFinalNewline",
     {Row("abc\ndef\n", 256, 5, Generated(2), {"abc", "def", "", "", ""}),
      Row("abc\ndef", 256, 5, Generated(2), {"abc", "def", "", "", ""}),
      Row("\n\nabc\n", 256, 5, Generated(3), {"", "", "abc", "", ""}),
      Row("", 256, 2, Generated(0), {"", ""}),
      // A grid of more slots than the text has bytes: the loader's table is sized by the text,
      // and the most lines a text can make (a line for every byte) fit.
      Row("\n\n\n", 256, 8, Generated(3), Lines(8)),
      Row("\n\na", 256, 8, Generated(3), {"", "", "a", "", "", "", "", ""}),
      Row("abc", 2, 8, Split(1) + Split(2) + Generated(3), {"a", "b", "c", "", "", "", "", ""})}},
    // A full line followed by its newline is not split; one more character is.
    {"SplitsOnlyLinesLongerThanASlot",
     {Row("abc\nabcd\n", 4, 5, Split(2) + Generated(3), {"abc", "abc", "d", "", ""}),
      Row(kLong + "\n", 256, 5, Split(1) + Split(2) + Generated(3),
          {kLong.substr(0, 255), kLong.substr(0, 255), kLong.substr(0, 90), "", ""})}},
    // Only an exact "Y" keeps what was read; after a refusal no line is stored.
    {"PartialLoadWarnsAndAsksForExactlyY",
     {Row(kFourLines, 256, 3, Generated(3) + Warning("75.0"), {"a", "b", "c"}, {"Y\n"}),
      Row(kFourLines, 256, 3, Generated(3) + Warning("75.0"), Lines(3),
          {"y\n", "\n", "Y \n", "yes\n", "n\n", ""}, false)}},
    {"NeverDropsTextSilently",
     {// Only an empty last line has no slot: no question.
      Row("a\nb\nc\n\n", 256, 3, Generated(3), {"a", "b", "c"}),
      // One character without a newline after the last slot is text too.
      Row("a\nb\nc\nd", 256, 3, Generated(3) + Warning("85.7"), {"a", "b", "c"}, {"Y\n"}),
      // The piece left over by the last split.
      Row("abcdefghij\n", 4, 3, Split(1) + Split(2) + Split(3) + Generated(3) + Warning("81.8"),
          {"abc", "def", "ghi"}, {"Y\n"}),
      // Lines that exactly fill the grid lose nothing.
      Row("abc\ndef\n", 4, 2, Generated(2), {"abc", "def"}),
      Row("abcdef", 4, 2, Split(1) + Generated(2), {"abc", "def"})}},
    {"TextEndsAtTheFirstNulAndTheLossIsAskedAbout",
     {// 5 of 9 bytes loaded.
      Row(kNul, 256, 5, Generated(2) + Warning("55.6"), {"ab", "cd", "", "", ""}, {"Y\n"}),
      Row(kNul, 256, 5, Generated(2) + Warning("55.6"), Lines(5), {"n\n"}, false),
      // The marking pass has asked already: one question only.
      Row(kFourLines + std::string("\0x", 2), 256, 3, Generated(3) + Warning("75.0"),
          {"a", "b", "c"}, {"Y\n"}),
      // A NUL as the first byte: an empty document, still asked about.
      Row(std::string("\0abc", 4), 256, 2, Generated(0) + Warning("0.0"), Lines(2), {"Y\n"})}},
};

class ParseLinesOf : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseLinesOf, Text) {
  for (const ParseRow& row : GetParam().rows) {
    for (const std::string& answer : row.answers) {
      SCOPED_TRACE(::testing::PrintToString(row.file + " answered " + answer));
      auto s = MakeState(row.lsize, row.lines);
      MemoryConsole mc(answer);
      const std::string_view text(row.file.c_str());  // up to the first NUL
      EXPECT_EQ(ParseLines(text, row.file.size(), s.doc.buffer, mc.con()), row.ok);
      EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
      EXPECT_EQ(mc.Output(), row.out);
      EXPECT_EQ(AllLines(s), row.stored);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ParseLines, ParseLinesOf, ::testing::ValuesIn(kParseCases),
                         [](const ::testing::TestParamInfo<ParseCase>& info) {
                           return std::string(info.param.name);
                         });

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
