// The manual page must not drift from the code: every command with its default key and
// settings name, every setting of the default settings file and the key matching order must
// appear in it, CMake must have filled in its version, and it must render without warnings.
#include <algorithm>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "editor/commands.h"
#include "support/documents.h"
#include "support/scratch_dir.h"

namespace ostrel {
namespace {

using test::DefaultSettingsText;
using test::ExpectListsEveryCommand;
using test::Lines;
using test::ReadFile;

const std::string kPagePath = OSTREL_MANPAGE;

// Runs a shell command; returns its standard output (and standard error when asked to by the
// command itself) and sets `status` to its exit status.
std::string Capture(const std::string& command, int& status) {
  const test::ScratchDir dir;
  status = std::system(("(" + command + ") >'" + dir.Path("out") + "'").c_str());
  return ReadFile(dir.Path("out"));
}

bool HaveGroff() {
  return std::system("command -v groff >/dev/null 2>&1") == 0;
}

class ManPage : public ::testing::Test {
 protected:
  void SetUp() override {
    page_ = ReadFile(kPagePath);
    ASSERT_FALSE(page_.empty()) << "cannot read " << kPagePath;
  }
  std::string page_;
};

// Each command has one tag line `.BR KEY " (" NAME )`; together they are exactly the slots.
TEST_F(ManPage, ListsEveryCommandWithItsDefaultKeyAndName) {
  ExpectListsEveryCommand(page_, std::regex(R"re(^\.BR (\S) " \(" ([a-z_]+) \)$)re"),
                          "the manual page");
}

// Every name of the default settings file is described: its first lines are the commands' keys
// in slot order, and each setting after them has an entry `.BI NAME= ...`; the file's tail
// after the keys is shown as it is written.
TEST_F(ManPage, DescribesEverySettingOfTheDefaultFile) {
  const auto file = Lines(DefaultSettingsText());
  ASSERT_GT(file.size(), kCommands.size());
  for (int k = 0; k < kSlotCount; ++k) {
    const Command& command = CommandAt(k);
    SCOPED_TRACE(command.name);
    EXPECT_EQ(file[static_cast<std::size_t>(k)],
              std::string(command.name) + "=" + command.default_key);
    EXPECT_NE(page_.find(command.name), std::string::npos);
  }
  std::string tail;
  for (std::size_t i = kCommands.size(); i < file.size(); ++i) {
    const std::string& line = file[i];
    tail += line + "\n";
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq);
    SCOPED_TRACE(name);
    EXPECT_NE(page_.find("\n.BI " + name + "= "), std::string::npos) << "no entry for setting";
  }
  EXPECT_NE(page_.find(tail), std::string::npos) << "default file's tail differs:\n" << tail;
}

TEST_F(ManPage, GivesTheKeyMatchingOrder) {
  std::string order;
  for (const int slot : kMatchOrder) {
    if (!order.empty()) order += ' ';
    order += CommandAt(slot).default_key;
  }
  EXPECT_NE(page_.find("\"" + order + "\""), std::string::npos) << order;
}

// The page is generated from docs/ostrel.1.in: every placeholder is filled in, the version in
// the title line among them.
TEST_F(ManPage, IsGeneratedWithTheCurrentVersion) {
  EXPECT_FALSE(std::regex_search(page_, std::regex("@[A-Z_]+@"))) << "placeholder left";
  EXPECT_TRUE(std::regex_search(page_, std::regex("\n\\.TH OSTREL 1 \"[0-9]{4}-[0-9]{2}-[0-9]{2}\" "
                                                  "\"Ostrel " OSTREL_VERSION "\"")));
}

TEST_F(ManPage, RendersWithoutWarnings) {
  if (!HaveGroff()) GTEST_SKIP() << "groff is not installed";
  int status = 0;
  const std::string out = Capture("groff -man -ww -z '" + kPagePath + "' 2>&1", status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "");
}

TEST_F(ManPage, RenderedTextShowsEveryCommand) {
  if (!HaveGroff()) GTEST_SKIP() << "groff is not installed";
  int status = 0;
  const std::string text =
      Capture("GROFF_NO_SGR=1 groff -man -Tascii -P-cbou '" + kPagePath + "' 2>/dev/null", status);
  ASSERT_EQ(status, 0);
  std::set<std::string> rendered;  // each line without its indentation
  for (const auto& line : Lines(text))
    rendered.insert(line.substr(std::min(line.find_first_not_of(' '), line.size())));
  for (const Command& command : kCommands) {
    const std::string tag = std::string(1, command.default_key) + " (" + command.name + ")";
    EXPECT_TRUE(rendered.count(tag)) << "no rendered line reads: " << tag;
  }
}

}  // namespace
}  // namespace ostrel
