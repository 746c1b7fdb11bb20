// The command-line options: --help, --version and "--"; every other argument is a file name.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e/harness.h"
#include "editor/options.h"

namespace ostrel::e2e {
namespace {

const std::string kVersionLine = "ostrel " OSTREL_VERSION "\n";

// The header line of the first view, which names the file being edited.
std::string FirstHeader(const std::string& out) {
  const auto at = out.find("\nEditing ");
  if (at == std::string::npos) return "";
  return out.substr(at + 1, out.find('\n', at + 1) - at - 1);
}

TEST(Options, HelpPrintsUsageAndTouchesNothing) {
  Sandbox box;
  const auto r = box.Run({.args = {"--help"}, .input = "q\nq\n"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, UsageText());
  // No editor ran: no settings file was made.
  EXPECT_FALSE(r.File(".vazaru_da").has_value());
  // How to start, where the commands are listed, how to leave.
  EXPECT_NE(r.out.find("Usage: ostrel [FILE]"), std::string::npos);
  EXPECT_NE(r.out.find("help command (key h"), std::string::npos);
  EXPECT_NE(r.out.find("ostrel(1)"), std::string::npos);
  EXPECT_NE(r.out.find("To leave, type q"), std::string::npos);
}

TEST(Options, VersionPrintsOneLineMatchingTheBanner) {
  Sandbox box;
  const auto r = box.Run({.args = {"--version"}, .input = "q\nq\n"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kVersionLine);
  EXPECT_FALSE(r.File(".vazaru_da").has_value());
  const auto banner = RunEditor({.settings = "", .input = "q\nq\n"});
  EXPECT_EQ(banner.out.rfind("Ostrel line editor " OSTREL_VERSION "\n", 0), 0u);
}

TEST(Options, TheFirstOptionDecidesWhereverItStands) {
  auto r = RunEditor({.args = {"--version", "--help"}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kVersionLine);

  r = RunEditor({.args = {"notes.txt", "--help"}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, UsageText());
}

TEST(Options, DoubleDashEndsTheOptions) {
  struct Case {
    std::vector<std::string> args;
    std::string header;
  };
  const std::vector<Case> cases = {
      {{"--", "--help"}, "Editing 1:1 --help"},
      {{"--", "--version"}, "Editing 1:1 --version"},
      {{"--", "--"}, "Editing 1:1 --"},
      {{"--", "a.txt", "--help"}, "Editing 1:1 a.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    const auto r = RunEditor({.settings = "", .args = c.args, .input = "q\nq\n"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(StartupOutput(), 0), 0u);
    EXPECT_EQ(FirstHeader(r.out), c.header);
  }
}

TEST(Options, EveryOtherArgumentIsAFileName) {
  struct Case {
    std::vector<std::string> args;
    std::string header;
  };
  const std::vector<Case> cases = {
      {{"-x"}, "Editing 1:1 -x"},
      {{"-"}, "Editing 1:1 -"},
      {{"--foo"}, "Editing 1:1 --foo"},
      {{"-help"}, "Editing 1:1 -help"},
      {{"--help=yes"}, "Editing 1:1 --help=yes"},
      {{"first", "second"}, "Editing 1:1 first"},
      {{}, "Editing 1:1 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.front());
    const auto r = RunEditor({.settings = "", .args = c.args, .input = "q\nq\n"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(StartupOutput(), 0), 0u);
    EXPECT_EQ(FirstHeader(r.out), c.header);
  }
}

TEST(Options, OutputThatCannotBeWrittenFailsTheRun) {
  for (const char* option : {"--help", "--version"}) {
    SCOPED_TRACE(option);
    const auto r = RunEditor({.args = {option}, .in_child = [] {
                                const int fd = open("/dev/full", O_WRONLY);
                                if (fd >= 0) dup2(fd, 1);
                              }});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
  }
}

}  // namespace
}  // namespace ostrel::e2e
