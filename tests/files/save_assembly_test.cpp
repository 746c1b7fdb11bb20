// The saved form of documents whose lines were moved around the grid, and of grids too large for
// every slot to be looked at.

#include <cstring>
#include <string>

#include "buffer/lines.h"
#include "files/save.h"
#include "support/assembly.h"
#include "support/unit_checks.h"

namespace ostrel {
namespace {

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

}  // namespace
}  // namespace ostrel
