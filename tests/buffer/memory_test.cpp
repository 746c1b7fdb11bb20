#include "buffer/memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace ostrel {
namespace {

constexpr std::size_t kLarge = (std::size_t{8} << 20) - 256;  // the default grid's size

bool AllZero(const char* p, std::size_t n) {
  return std::all_of(p, p + n, [](char c) { return c == '\0'; });
}

// A block is zero-filled and writable over its whole size, also after another large block was
// written and released.
TEST(PageBlock, BlocksAreZeroFilledAndWritableWhole) {
  PageBlock first;
  ASSERT_TRUE(first.Allocate(kLarge));
  EXPECT_TRUE(AllZero(first.data(), kLarge));
  std::memset(first.data(), 'x', kLarge);
  first.Release();
  EXPECT_EQ(first.data(), nullptr);

  PageBlock grid;
  ASSERT_TRUE(grid.Allocate(kLarge));
  EXPECT_TRUE(AllZero(grid.data(), kLarge));
  PageBlock small;
  ASSERT_TRUE(small.Allocate(100));
  std::memset(small.data(), 'z', 100);
}

TEST(PageBlock, MovesHandOverTheBlock) {
  PageBlock a;
  ASSERT_TRUE(a.Allocate(0));  // still a usable block
  a.data()[0] = 'q';
  PageBlock b(std::move(a));
  EXPECT_EQ(a.data(), nullptr);
  ASSERT_NE(b.data(), nullptr);
  EXPECT_EQ(b.data()[0], 'q');
  PageBlock c;
  ASSERT_TRUE(c.Allocate(kLarge));
  c = std::move(b);  // c's large block is released
  EXPECT_EQ(c.data()[0], 'q');
}

}  // namespace
}  // namespace ostrel
