#include "buffer/text_buffer.h"

#include <gtest/gtest.h>

#include "support/memory_console.h"
#include "support/state_fixture.h"

namespace ostrel {
namespace {

using testing::LineText;
using testing::MakeState;
using testing::MemoryConsole;
using testing::SlotsAreClean;

TEST(Replace, OverwritesAndExtends) {
  auto s = MakeState(16, 4, {"hello world", "hello"});
  MemoryConsole mc;
  Replace(0, 0, 4, "HEY", s.buffer, mc.con());
  EXPECT_EQ(LineText(s, 0), "HEYlo world");
  Replace(1, 2, 4, "abcdef", s.buffer, mc.con());
  EXPECT_EQ(LineText(s, 1), "heabcdef");
  EXPECT_EQ(mc.Output(), "");
  EXPECT_TRUE(SlotsAreClean(s.buffer));
}

}  // namespace
}  // namespace ostrel
