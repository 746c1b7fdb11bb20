#include "buffer/text_buffer.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "buffer/lines.h"
#include "support/unit_checks.h"

namespace ostrel {
namespace {

TEST(Replace, OverwritesAndExtends) {
  auto s = MakeState(16, 4, {"hello world", "hello"});
  MemoryConsole mc;
  Replace(0, 0, "HEY", s.doc.buffer, mc.con());
  EXPECT_EQ(LineText(s, 0), "HEYlo world");
  Replace(1, 2, "abcdef", s.doc.buffer, mc.con());
  EXPECT_EQ(LineText(s, 1), "heabcdef");
  EXPECT_EQ(mc.Output(), "");
  EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
}

// Opening and deleting lines only move entries of the line->slot table, shifting whichever side
// of the line is shorter; checked against a plain list of lines over random work, with grids
// small enough that the table often runs into the ends of its storage.
TEST(TextBuffer, OpenAndCloseSlotsMatchAListOfLines) {
  for (const int32_t lines : {1, 2, 3, 4, 7, 64}) {
    auto s = MakeState(8, lines);
    std::vector<std::string> model(static_cast<std::size_t>(lines));
    std::mt19937 random(static_cast<unsigned>(lines));
    for (int step = 0; step < 4000; ++step) {
      // Lines near the top are picked more often: that is where the window moves.
      const auto pick =
          static_cast<int32_t>(random() % 4 == 0 ? random() % lines : random() % (lines / 4 + 1));
      const auto at = static_cast<std::size_t>(pick);
      switch (random() % 3) {
        case 0:
          Wedge(pick, s.doc.buffer);
          model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), "");
          model.pop_back();
          break;
        case 1:
          Delete(pick, s.doc.buffer);
          if (pick != lines - 1) {
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
            model.push_back("");
          }
          break;
        default: {
          // Distinct text per step, so two lines sharing a slot would show.
          const std::string text = std::to_string(step % 10000000);
          Clear(pick, s.doc.buffer);
          std::memcpy(s.doc.buffer.WritableSlot(pick), text.data(), text.size());
          model[at] = text;
        }
      }
      ASSERT_EQ(AllLines(s), model) << "lines " << lines << ", step " << step;
    }
    EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
  }
}

TEST(TextBuffer, ClearAllEmptiesEverySlotAfterLinesWereMoved) {
  auto s = MakeState(8, 16, {"a", "bb", "ccc"});
  EXPECT_TRUE(s.doc.buffer.MayHoldText(2));
  EXPECT_FALSE(s.doc.buffer.MayHoldText(3));  // never written
  Wedge(0, s.doc.buffer);
  Wedge(0, s.doc.buffer);
  Delete(14, s.doc.buffer);
  std::memcpy(s.doc.buffer.WritableSlot(15), "zz", 2);
  s.doc.buffer.ClearAll();
  EXPECT_EQ(AllLines(s), std::vector<std::string>(16));
  EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
  for (int32_t line = 0; line < 16; ++line) EXPECT_FALSE(s.doc.buffer.MayHoldText(line)) << line;
  std::memcpy(s.doc.buffer.WritableSlot(5), "new", 3);
  EXPECT_EQ(LineText(s, 5), "new");
  EXPECT_TRUE(s.doc.buffer.MayHoldText(5));
}

// Looking at a line, or copying from it, hands out no slot for writing: the written mark and the
// unsaved mark stay where they were.
TEST(TextBuffer, ReadingALineWritesNothing) {
  auto s = MakeState(8, 16, {"a", "bb"});
  s.doc.buffer.ForgetChanges();
  EXPECT_EQ(s.doc.buffer.Slot(9)[0], '\0');
  EXPECT_EQ(s.doc.buffer.Length(12), 0);
  EXPECT_FALSE(s.doc.buffer.MayHoldText(9));
  EXPECT_FALSE(s.doc.buffer.MayHoldText(12));
  EXPECT_FALSE(s.doc.buffer.Changed());
  Copy(11, 0, s.doc.buffer);  // from a line never written
  EXPECT_FALSE(s.doc.buffer.MayHoldText(11));
  EXPECT_EQ(AllLines(s)[0], "");
  EXPECT_TRUE(s.doc.buffer.Changed());
}

// A line written whole (in a block of lsize bytes) goes back to its own length once the command
// is over, shortened lines too; an emptied line keeps no storage, and a later line written
// gets a clean block.
TEST(TextBuffer, WrittenLinesGoBackToTheirOwnLength) {
  auto s = MakeState(400, 8, {"abc"});
  MemoryConsole mc;
  const auto stored = [&s](int32_t line) { return s.doc.buffer.SlotBytes(line).size(); };
  EXPECT_EQ(stored(0), 400u);
  Replace(1, 2, "hello", s.doc.buffer, mc.con());
  s.doc.buffer.FitWrittenLines();
  EXPECT_EQ(stored(0), 4u);
  EXPECT_EQ(stored(1), 8u);  // "  hello"
  Trim(1, 3, s.doc.buffer);
  Clear(0, s.doc.buffer);
  s.doc.buffer.FitWrittenLines();
  EXPECT_EQ(stored(1), 4u);
  EXPECT_EQ(stored(0), 0u);
  ASSERT_TRUE(s.doc.buffer.ReserveWritable(TextBuffer::kWorkingBlocks));
  Replace(2, 0, "z", s.doc.buffer, mc.con());
  EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
  EXPECT_EQ(AllLines(s), (std::vector<std::string>{"", "  h", "z", "", "", "", "", ""}));

  // A line grown back to the full width, in its block and at its own length, and cut again.
  s.doc.buffer.FitWrittenLines();
  ASSERT_TRUE(s.doc.buffer.ReserveWritable(TextBuffer::kWorkingBlocks));
  Replace(3, 0, std::string(399, 'w').c_str(), s.doc.buffer, mc.con());
  EXPECT_EQ(s.doc.buffer.Length(3), 399);
  s.doc.buffer.FitWrittenLines();
  EXPECT_EQ(stored(3), 400u);
  EXPECT_EQ(s.doc.buffer.Length(3), 399);
  ASSERT_TRUE(s.doc.buffer.ReserveWritable(TextBuffer::kWorkingBlocks));
  Trim(3, 398, s.doc.buffer);
  EXPECT_EQ(s.doc.buffer.Length(3), 398);
  EXPECT_TRUE(SlotsAreClean(s.doc.buffer));
}

}  // namespace
}  // namespace ostrel
