// The launch command through the real editor.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"

namespace ostrel::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(Launch, NoCommandAndEnterDoesNothing) {
  Sandbox box;
  const auto r = box.Run({.settings = "", .args = {"doc"}, .input = "text\n=\n\nq\nq\n"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("There is no command in memory\n"
                               "Enter new command or [enter] to keep current one\n\nEditing"));
  EXPECT_THAT(r.out, Not(HasSubstr("Saved to")));
  EXPECT_EQ(r.File("doc"), std::nullopt);
}

TEST(Launch, SavesThenRunsWithOutputInOrder) {
  Sandbox box;
  // The command sees the saved file, and its output comes after "Saved to" and before the view.
  const auto r =
      box.Run({.settings = "", .args = {"doc"}, .input = "text\n=\ncat doc; echo RAN\nq\nq\n"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("Enter new command or [enter] to keep current one\n"
                               "Saved to doc\ntext\nRAN\n\nEditing 2:1 doc\n"));
}

TEST(Launch, StoredCommandRunsAtOnceAndIsPassedUnchanged) {
  Sandbox box;
  const auto r = box.Run({.settings = Settings({"launch_command=printf '%s|' doc"}),
                          .input = "=\nname\n+\necho second\n=\nq\nq\n"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  // No name yet: the save asks for one; the "%s" reaches the shell as it stands.
  EXPECT_THAT(r.out, HasSubstr("Enter a filename to save to\nSaved to name\ndoc|\nEditing"));
  EXPECT_THAT(r.out, HasSubstr("Command in memory = printf '%s|' doc\n"));
  EXPECT_THAT(r.out, HasSubstr("Saved to name\nsecond\n\nEditing"));
}

TEST(Launch, CommandStartsWithTheUsualSignalActions) {
  Sandbox box;
  // The editor ignores SIGPIPE for itself; `yes` must still end quietly when `head` is done.
  const auto r = box.Run({.settings = "", .args = {"doc"}, .input = "=\nyes | head -1\nq\nq\n"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("Saved to doc\ny\n\nEditing"));
}

TEST(Launch, CommandsLongerThan255CharactersAreRefusedNeverCut) {
  Sandbox box;
  const std::string echo = "echo " + std::string(251, 'e');  // 256 characters
  const auto r = box.Run({.settings = Settings({"launch_command=" + echo}),
                          .args = {"doc"},
                          .input = "+\n" + echo + "\n=\n\nq\nq\n"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("Reading RC file: .vazaru_da\n"
                               ".vazaru_da: launch_command ignored: longer than 255 characters\n"));
  // Typed at the dialogue: the stored command (none) stays, and nothing runs.
  EXPECT_THAT(r.out, HasSubstr("Command is longer than 255 characters\n\nEditing"));
  EXPECT_THAT(r.out, Not(HasSubstr("Saved to")));
}

}  // namespace
}  // namespace ostrel::e2e
