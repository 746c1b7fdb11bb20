#include "files/save.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>

#include "buffer/lines.h"
#include "files/write_file.h"
#include "support/assembly.h"
#include "support/documents.h"
#include "support/unit_checks.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

NameBuffer Name(const std::string& text) {
  NameBuffer name{};
  text.copy(name.data(), kNameSize - 1);
  return name;
}

TEST(AssembleDocument, WritesThroughTheLastNonEmptyLine) {
  auto s = MakeState(16, 6, {"abc", "", "def"});
  EXPECT_EQ(DocLength(s.doc.buffer), 2);
  EXPECT_EQ(AssembleDocument(s.doc.buffer), "abc\n\ndef\n");

  s = MakeState(16, 6);
  EXPECT_EQ(DocLength(s.doc.buffer), 0);
  EXPECT_EQ(AssembleDocument(s.doc.buffer), "\n");

  // Blanks are text, and a full last line is written whole.
  s = MakeState(4, 6, {"", "", "", "", "  ", "xyz"});
  EXPECT_EQ(AssembleDocument(s.doc.buffer), "\n\n\n\n  \nxyz\n");
}

// The saved form of documents whose lines were moved around the grid, and of grids too large for
// every slot to be looked at.
TEST(DocLength, FollowsLinesThatOpeningAndDeletingMoved) {
  auto s = MakeState(8, 10, {"a", "", "c"});
  Wedge(0, s.doc.buffer);  // "", a, "", c
  Wedge(0, s.doc.buffer);  // "", "", a, "", c
  EXPECT_EQ(DocLength(s.doc.buffer), 4);
  EXPECT_EQ(AssembleDocument(s.doc.buffer), "\n\na\n\nc\n");
  Delete(4, s.doc.buffer);
  EXPECT_EQ(DocLength(s.doc.buffer), 2);
  // A line written into the last line's slot, which opening took from the end of the grid.
  std::memcpy(s.doc.buffer.WritableSlot(9), "z", 1);
  EXPECT_EQ(DocLength(s.doc.buffer), 9);
  s.doc.buffer.ClearAll();
  EXPECT_EQ(DocLength(s.doc.buffer), 0);
  EXPECT_EQ(AssembleDocument(s.doc.buffer), "\n");
}

TEST(AssembleInto, FullLinesOfAFullGridWithinTheBound) {
  auto s = MakeState(4, 3, {"abc", "d", "efg"});
  const int32_t last = DocLength(s.doc.buffer);
  ASSERT_EQ(last, 2);
  EXPECT_EQ(AssembledBound(s.doc.buffer, last), 12u);
  std::string out(AssembledBound(s.doc.buffer, last), '#');
  out.resize(AssembleInto(s.doc.buffer, last, out.data()));
  EXPECT_EQ(out, "abc\nd\nefg\n");
}

TEST(DefineSaveName, EndOfInputGivesUpAndKeepsTheName) {
  const test::ScratchDir dir;
  dir.Write("a", "old");
  for (const std::string& input :
       {std::string(), dir.Path("a") + "\n", dir.Path("a") + "\n" + dir.Path("a") + "\n"}) {
    auto name = Name("before");
    MemoryConsole mc(input);
    EXPECT_EQ(DefineSaveName(name, mc.con()), Outcome::kEnded);
    EXPECT_EQ(std::string(name.data()), "before");
    EXPECT_THAT(mc.Output(), HasSubstr("Not saved: no file name was given\n"));
  }
}

// Only a name to save under goes on to the save; an agreement to overwrite goes with it in the
// guard, and every other way out keeps the name.
TEST(DefineSaveName, EachWayOutHasItsOutcome) {
  const test::ScratchDir dir;
  dir.Write("a", "old");
  struct Row {
    std::string input;
    Outcome outcome;
    std::string name;  // the file name afterwards
    bool agreed;
  };
  const std::string taken = dir.Path("a");
  const std::string free = dir.Path("b");
  for (const Row& row :
       {Row{"x\n", Outcome::kCancelled, "before", false},
        Row{taken + "\no\n", Outcome::kDone, taken, true},
        Row{taken + "\n" + free + "\n", Outcome::kDone, free, false},
        Row{std::string(kNameSize, 'n') + "\n", Outcome::kRefused, "before", false}}) {
    auto name = Name("before");
    DiskRecord disk;
    SaveGuard guard{.disk = disk};
    MemoryConsole mc(row.input);
    EXPECT_EQ(DefineSaveName(name, mc.con(), &guard), row.outcome) << row.input;
    EXPECT_EQ(std::string(name.data()), row.name);
    EXPECT_EQ(guard.overwrite_agreed, row.agreed);
  }
}

TEST(RescueName, ALastPartTooLongIsCutJustEnoughAndNeverInsideACharacter) {
  EXPECT_EQ(RescueName("dir/notes.txt"), "dir/notes.txt.save");
  EXPECT_EQ(RescueName("notes.txt", 2), "notes.txt.save.2");
  EXPECT_EQ(RescueName(""), "ostrel.save");
  EXPECT_EQ(RescueName("", 1), "ostrel.save.1");
  const std::string fits(250, 'a');
  EXPECT_EQ(RescueName(fits.c_str()), fits + ".save");
  EXPECT_EQ(RescueName(fits.c_str(), 1), std::string(248, 'a') + ".save.1");
  EXPECT_EQ(RescueName(("d/" + fits + "bcdef").c_str(), 12),
            "d/" + std::string(247, 'a') + ".save.12");
  // A two-byte character across the cut goes whole.
  const std::string wide = std::string(249, 'a') + "\xc3\xa9" + "zzz";
  EXPECT_EQ(RescueName(wide.c_str()), std::string(249, 'a') + ".save");
}

TEST(ReplaceFile, GivesTheNameTheWholeTextAndTheModeAndLeavesNothingElse) {
  test::ScratchDir dir;
  dir.Write("autosave", "old text");
  ASSERT_TRUE(ReplaceFile(dir.Path("autosave").c_str(), "new text\n", 0600).ok());
  EXPECT_EQ(fs::status(dir.Path("autosave")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(test::ReadFile(dir.Path("autosave")), "new text\n");
  ASSERT_TRUE(ReplaceFile(dir.Path("fresh").c_str(), "x", 0640).ok());
  EXPECT_EQ(fs::status(dir.Path("fresh")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.dir()), fs::directory_iterator()), 2);
  EXPECT_EQ(ReplaceFile(dir.Path("nodir/x").c_str(), "x", 0600).error().Errno(), ENOENT);
  EXPECT_EQ(WriteNewFile(dir.Path("fresh").c_str(), "y", 0600).error().Errno(), EEXIST);
}

TEST(WriteNewFileUnderFreeName, TakesTheFirstFreeNameAndTouchesNoOther) {
  test::ScratchDir dir;
  dir.Write("0.r", "older");
  fs::create_symlink("nowhere", dir.Path("1.r"));  // a link to nothing is taken too
  const auto name_of = [&dir](int n) { return dir.Path(std::to_string(n) + ".r"); };
  std::string name;
  ASSERT_TRUE(WriteNewFileUnderFreeName(name_of, 3, "text\n", 0600, name).ok());
  EXPECT_EQ(name, dir.Path("2.r"));
  EXPECT_EQ(test::ReadFile(name), "text\n");
  EXPECT_EQ(fs::status(name).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  // Every name taken: nothing is left behind.
  EXPECT_EQ(WriteNewFileUnderFreeName(name_of, 3, "more\n", 0600, name).error().Errno(), EEXIST);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.dir()), fs::directory_iterator()), 3);
  EXPECT_FALSE(fs::exists(dir.Path("nodir")));
  EXPECT_EQ(
      WriteNewFileUnderFreeName([&dir](int) { return dir.Path("nodir/x"); }, 1, "x", 0600, name)
          .error()
          .Errno(),
      ENOENT);
}

// The hash of a file read in pieces of any size is the hash of its text at once; equal texts
// hash equal, and a changed byte or a longer text does not.
TEST(DiskRecord, TextHashIsTheSameInAnyPiecesAndTellsTextsApart) {
  const std::string text = "The quick brown fox\njumps over the lazy dog\n";
  for (std::size_t piece = 1; piece <= text.size(); piece += 3) {
    TextHasher hasher;
    for (std::size_t at = 0; at < text.size(); at += piece) hasher.Add(text.substr(at, piece));
    EXPECT_EQ(hasher.Finish(), TextHash(text)) << piece;
  }
  EXPECT_NE(TextHash(text), TextHash("The quick brown fox\njumps over the lazy cog\n"));
  EXPECT_NE(TextHash("ab"), TextHash(std::string("ab\0", 3)));
}

// Pieces far smaller and far larger than the writer's block arrive whole and in order.
TEST(WriteNewFile, WritesATextOfManyPiecesInBoundedBlocks) {
  class Pieces final : public TextSource {
   public:
    std::size_t Size() const override { return 100000 * 5 + 200000; }
    SysResult<> Each(const Put& put) const override {
      for (int i = 0; i < 100000; ++i) {
        if (SysResult<> put_piece = put(i % 2 == 0 ? "even\n" : "odd.\n"); !put_piece.ok()) {
          return put_piece;
        }
      }
      return put(std::string(200000, 'x'));
    }
  };
  test::ScratchDir dir;
  ASSERT_TRUE(WriteNewFile(dir.Path("big").c_str(), Pieces(), 0600).ok());
  std::string expected;
  for (int i = 0; i < 100000; ++i) expected += i % 2 == 0 ? "even\n" : "odd.\n";
  expected += std::string(200000, 'x');
  EXPECT_EQ(test::ReadFile(dir.Path("big")), expected);
}

}  // namespace
}  // namespace ostrel
