#include <gtest/gtest.h>

#include "e2e/harness.h"

namespace ostrel::e2e {
namespace {

TEST(Smoke, QuitsAtOnce) {
  const auto r = RunEditor({.settings = "", .input = "q\nq\n"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("Enter 'q' again"), std::string::npos);
}

}  // namespace
}  // namespace ostrel::e2e
