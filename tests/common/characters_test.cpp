#include "common/characters.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

// Where characters start: well-formed sequences are whole characters; overlong forms,
// surrogates, code points above U+10FFFF, stray continuation bytes and cut sequences are one
// character per byte.
TEST(Characters, WellFormedSequencesOnly) {
  const struct {
    std::string text;
    std::size_t length;  // of the first character
  } cases[] = {
      {"a", 1},
      {"\xC3\xA9", 2},
      {"\xE2\x82\xAC", 3},
      {"\xF0\x9F\x98\x80", 4},
      {"\xF4\x8F\xBF\xBF", 4},  // U+10FFFF
      {"\xC0\xAF", 1},          // overlong
      {"\xE0\x80\xAF", 1},      // overlong
      {"\xF0\x80\x80\xAF", 1},  // overlong
      {"\xED\xA0\x80", 1},      // a surrogate
      {"\xF4\x90\x80\x80", 1},  // above U+10FFFF
      {"\xF5\x80\x80\x80", 1},
      {"\xA9", 1},
      {"\xE2\x82", 1},  // cut short
      {"\xE2\x82x", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(CharLength(c.text), c.length) << c.text;

  const std::string line = "a\xC3\xA9\xE2\x82\xAC\xFF\xA9z";  // a é € and two stray bytes
  const std::size_t starts[] = {0, 1, 1, 3, 3, 3, 6, 7, 8, 9, 10};
  for (std::size_t pos = 0; pos < std::size(starts); ++pos) {
    EXPECT_EQ(CharStart(line, pos), starts[pos]) << pos;
  }
  EXPECT_EQ(CharEnd(line, 4), 6u);
  EXPECT_EQ(FitWhole(line, 5), 3u);
  EXPECT_EQ(CountChars(line), 6u);
  EXPECT_EQ(BytesOfChars(line, 3), 6u);
  EXPECT_EQ(BytesOfChars(line, 99), line.size());
  // Input that ends part-way into a sequence waits for its rest; a stray byte does not.
  EXPECT_EQ(UnfinishedCharStart("ab\xF0\x9F\x98"), 2u);
  EXPECT_EQ(UnfinishedCharStart("ab\xED\xA0"), 4u);
  EXPECT_EQ(UnfinishedCharStart("ab\xA9"), 3u);
}

}  // namespace
}  // namespace ostrel
