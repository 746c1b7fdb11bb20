#include "buffer/lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/state_fixture.h"

namespace ostrel {
namespace {

using testing::AllLines;
using testing::LineText;
using testing::MakeState;
using testing::SlotsAreClean;
using Lines = std::vector<std::string>;

TEST(Wedge, OpensALineAndPushesOutTheLast) {
  auto s = MakeState(8, 5, {"a", "b", "c", "d", "e"});
  Wedge(1, s.buffer);
  EXPECT_EQ(AllLines(s), (Lines{"a", "", "b", "c", "d"}));
  Wedge(4, s.buffer);  // the last line: only emptied
  EXPECT_EQ(AllLines(s), (Lines{"a", "", "b", "c", ""}));
  Wedge(0, s.buffer);
  EXPECT_EQ(AllLines(s), (Lines{"", "a", "", "b", "c"}));
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(Delete, ClosesALineAndEmptiesTheLast) {
  auto s = MakeState(8, 5, {"a", "b", "c", "d", "e"});
  Delete(1, s.buffer);
  EXPECT_EQ(AllLines(s), (Lines{"a", "c", "d", "e", ""}));
  Delete(0, s.buffer);
  EXPECT_EQ(AllLines(s), (Lines{"c", "d", "e", "", ""}));
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(Delete, LastLineIsLeftAlone) {
  auto s = MakeState(8, 3, {"a", "b", "c"});
  Delete(2, s.buffer);
  EXPECT_EQ(AllLines(s), (Lines{"a", "b", "c"}));
}

TEST(Delete, ShorterSuccessorShowsNoOldCharacters) {
  auto s = MakeState(16, 3, {"long line here", "ab"});
  Delete(0, s.buffer);
  EXPECT_EQ(LineText(s, 0), "ab");
  // Extending the line never uncovers characters of the deleted one.
  s.buffer.Slot(0)[2] = 'X';
  EXPECT_EQ(LineText(s, 0), "abX");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(Move, OverwritesTheDestinationAndEmptiesTheSource) {
  auto s = MakeState(16, 7, {"one", "two", "three long", "four", "five", "six", "seven"});
  Move(2, 6, s.buffer);
  EXPECT_EQ(AllLines(s), (Lines{"one", "two", "", "four", "five", "six", "three long"}));
  Move(0, 4, s.buffer);  // a longer line onto a shorter one and back
  Move(3, 4, s.buffer);
  EXPECT_EQ(LineText(s, 4), "four");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

TEST(Move, OntoItselfKeepsTheLine) {
  auto s = MakeState(8, 3, {"a", "b", "c"});
  Move(1, 1, s.buffer);
  EXPECT_EQ(AllLines(s), (Lines{"a", "b", "c"}));
}

TEST(Copy, LeavesBothLinesHoldingTheSource) {
  auto s = MakeState(16, 5, {"a", "bb", "c", "d", "a much longer"});
  Copy(1, 4, s.buffer);
  EXPECT_EQ(AllLines(s), (Lines{"a", "bb", "c", "d", "bb"}));
  Copy(2, 2, s.buffer);
  EXPECT_EQ(LineText(s, 2), "c");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

}  // namespace
}  // namespace ostrel
