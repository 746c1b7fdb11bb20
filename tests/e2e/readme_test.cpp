// The README must not drift from the editor. Its example session is the transcript of a real
// run of the built binary on docs/example/session.input with docs/example/.vazaru_da, each
// input line shown after the prompt that read it; the file that session saves and the default
// settings file are shown as the editor writes them; its command table lists every command with
// its default key and settings name.
//
// The generated blocks sit between marker comments `<!-- NAME:begin -->` and
// `<!-- NAME:end -->`. These tests only compare them; docs/example/regenerate.sh rewrites them
// (with the regenerate_readme tool, from the same runs).
#include <regex>
#include "e2e/checks.h"

#include "e2e/readme_session.h"
#include "editor/commands.h"

namespace ostrel::e2e {
namespace {

// Compares block `name` of the README with `expected`.
void CheckBlock(const std::string& name, const std::string& expected) {
  const auto current = Block(ReadFile(kReadmePath), name);
  ASSERT_TRUE(current) << "README.md lacks the markers of block " << name;
  EXPECT_EQ(*current, expected) << "README.md block " << name
                                << " differs; run docs/example/regenerate.sh";
}

TEST(Readme, ExampleSessionIsARealRun) {
  const ExampleSession session = RunExampleSession();
  ASSERT_FALSE(session.settings.empty());
  ASSERT_FALSE(session.input.empty());
  EXPECT_FALSE(session.run.timed_out);
  EXPECT_EQ(session.run.err, "");
  EXPECT_EQ(session.run.status, 0);
  EXPECT_FALSE(session.saved.empty()) << "the session saved no " << kSavedName;
  // The settings file is read, not rewritten.
  EXPECT_EQ(session.settings_after, session.settings);

  for (const auto& [name, text] : ExampleBlocks(session)) CheckBlock(name, text);
}

// The default settings file, shown whole, is the one the editor writes at its first start.
TEST(Readme, ShowsTheDefaultSettingsFile) {
  const DefaultSettings d = RunDefaultSettings();
  EXPECT_EQ(d.run.err, "");
  EXPECT_EQ(d.run.status, 0);
  ASSERT_TRUE(d.file);
  CheckBlock("default-settings", Fenced(*d.file));
}

// One row "| `KEY` | `NAME` | ... |" per command, exactly the command table of the editor.
TEST(Readme, CommandTableListsEveryCommand) {
  test::ExpectListsEveryCommand(ReadFile(kReadmePath),
                                std::regex(R"re(^\| `(.)` \| `([a-z_]+)` \|.*\|$)re"),
                                "the README's table");
}

// Every setting that is not a command's key has a row of its own in the settings reference.
TEST(Readme, SettingsReferenceListsEverySetting) {
  const std::string readme = ReadFile(kReadmePath);
  for (const char* name : {"max_lines", "max_char", "anchor_position", "lines_per_page",
                           "show_numbers", "launch_command"}) {
    EXPECT_NE(readme.find(std::string("\n| `") + name + "` |"), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace ostrel::e2e
