#include "files/save.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/memory_console.h"
#include "support/scratch_dir.h"
#include "support/state_fixture.h"

namespace ostrel {
namespace {

using test::MakeState;
using test::MemoryConsole;
using ::testing::HasSubstr;

std::array<char, kNameSize> Name(const std::string& text) {
  std::array<char, kNameSize> name{};
  text.copy(name.data(), kNameSize - 1);
  return name;
}

TEST(AssembleDocument, WritesThroughTheLastNonEmptyLine) {
  auto s = MakeState(16, 6, {"abc", "", "def"});
  EXPECT_EQ(DocLength(s.buffer), 2);
  EXPECT_EQ(AssembleDocument(s.buffer), "abc\n\ndef\n");

  s = MakeState(16, 6);
  EXPECT_EQ(DocLength(s.buffer), 0);
  EXPECT_EQ(AssembleDocument(s.buffer), "\n");

  // Blanks are text, and a full last line is written whole.
  s = MakeState(4, 6, {"", "", "", "", "  ", "xyz"});
  EXPECT_EQ(AssembleDocument(s.buffer), "\n\n\n\n  \nxyz\n");
}

TEST(DefineSaveName, EndOfInputGivesUpAndKeepsTheName) {
  const test::ScratchDir dir;
  dir.Write("a", "old");
  for (const std::string& input :
       {std::string(), dir.Path("a") + "\n", dir.Path("a") + "\n" + dir.Path("a") + "\n"}) {
    auto name = Name("before");
    MemoryConsole mc(input);
    EXPECT_FALSE(DefineSaveName(name.data(), mc.con()));
    EXPECT_EQ(std::string(name.data()), "before");
    EXPECT_THAT(mc.Output(), HasSubstr("Not saved: no file name was given\n"));
  }
}

}  // namespace
}  // namespace ostrel
