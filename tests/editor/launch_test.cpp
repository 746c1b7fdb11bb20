#include "editor/launch.h"

#include <array>
#include <string>

#include "support/unit_checks.h"

namespace ostrel {
namespace {

std::string Edit(std::array<char, 256>& command, const std::string& input, bool replaced) {
  MemoryConsole mc(input);
  const Outcome result = SetCommand(command.data(), 256, mc.con());
  EXPECT_EQ(result == Outcome::kDone, replaced) << input;
  return mc.Output();
}

TEST(SetCommand, ShowsTheCommandAndTakesAnswersOfThreeOrMoreCharacters) {
  std::array<char, 256> command{};
  EXPECT_EQ(Edit(command, "\n", false),
            "There is no command in memory\nEnter new command or [enter] to keep current one\n");
  Edit(command, "ls\n", true);
  EXPECT_STREQ(command.data(), "ls");
  EXPECT_EQ(Edit(command, "x\n", false),
            "Command in memory = ls\nEnter new command or [enter] to keep current one\n");
  Edit(command, "", false);  // end of input
  EXPECT_STREQ(command.data(), "ls");
  Edit(command, "ab", false);  // two characters, no newline
  EXPECT_STREQ(command.data(), "ls");
  Edit(command, "echo %s\n", true);
  EXPECT_STREQ(command.data(), "echo %s");
  Edit(command, "ls\n", true);  // no tail of the longer command is left
  for (std::size_t i = 2; i < command.size(); ++i) EXPECT_EQ(command[i], '\0') << i;
}

TEST(SetCommand, RefusesAnAnswerLongerThan255CharactersWhole) {
  std::array<char, 256> command{};
  command.fill('z');
  command[255] = '\0';
  const std::string kept(255, 'z');
  EXPECT_EQ(Edit(command, std::string(256, 'a') + "\n", false),
            "Command in memory = " + kept +
                "\nEnter new command or [enter] to keep current one\n"
                "Command is longer than 255 characters\n");
  EXPECT_EQ(std::string(command.data()), kept);
  Edit(command, std::string(255, 'a') + "\n", true);
  EXPECT_EQ(std::string(command.data()), std::string(255, 'a'));
  EXPECT_EQ(command[255], '\0');
}

}  // namespace
}  // namespace ostrel
