// What a directory or a document from elsewhere can do: a settings file may run commands only
// when it is the user's own, a planted link is not followed, and a document cannot send the
// terminal escape sequences.
#include "e2e/checks.h"

namespace ostrel::e2e {
namespace {

TEST(Security, LaunchCommandOnlyFromASettingsFileNoOneElseCanWrite) {
  const bool root = geteuid() == 0;
  const struct {
    mode_t mode;
    bool other_owner;  // chown to another user: only possible when running as root
    const char* refusal;
  } cases[] = {
      {0644, false, nullptr},
      {0600, false, nullptr},
      {0664, false, "the file is writable by its group"},
      {0666, false, "the file is writable by others"},
      {0646, false, "the file is writable by others"},
      {0644, true, "the file is owned by another user"},
  };
  for (const auto& c : cases) {
    if (c.other_owner && !root) {
      std::cout << "[ skipped  ] a file of another owner: only root can make one\n";
      continue;
    }
    Sandbox box;
    box.Write(".vazaru_da", Settings({"help=?", "launch_command=echo RAN"}));
    const std::string rc = box.dir() + "/.vazaru_da";
    ASSERT_EQ(chmod(rc.c_str(), c.mode), 0);
    if (c.other_owner) {
      ASSERT_EQ(chown(rc.c_str(), kNobody, kNobody), 0);
    }
    const auto r = box.Run({.input = "+\n\nq\nq\n"});
    ExpectEnded(r);
    const std::string read = "Reading RC file: .vazaru_da\n";
    if (c.refusal == nullptr) {
      EXPECT_THAT(r.out, HasSubstr(read + "\nEnter '?' for help"));
      EXPECT_THAT(r.out, HasSubstr("Command in memory = echo RAN\n"));
    } else {
      // The other settings are taken; the command is not, and one line says why.
      EXPECT_THAT(r.out, HasSubstr(read + ".vazaru_da: launch_command ignored: " + c.refusal +
                                   "\n\nEnter '?' for help"))
          << std::oct << c.mode;
      EXPECT_THAT(r.out, HasSubstr("There is no command in memory\n"));
    }
  }
  // A file without a launch command says nothing, whatever its mode.
  Sandbox box;
  box.Write(".vazaru_da", Settings({"help=?"}));
  ASSERT_EQ(chmod((box.dir() + "/.vazaru_da").c_str(), 0666), 0);
  EXPECT_THAT(box.Run({.input = "q\nq\n"}).out, Not(HasSubstr("ignored")));
}

TEST(Security, ADanglingSettingsLinkIsNotFollowed) {
  Sandbox box;
  const std::string target = box.dir() + "/planted";
  std::filesystem::create_symlink(target, box.dir() + "/.vazaru_da");
  const auto r = box.Run({.input = "q\nq\n"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("Making RC file: .vazaru_da\nCannot make RC file\n"));
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST(Security, ControlBytesShowInCaretFormOnATerminalAndRawThroughAPipe) {
  const std::string line = "a\x1b]0;x\x07\x1b[31mb\rc\x7f\tz";
  const std::string shown = "a^[]0;x^G^[[31mb^Mc^?\tz";
  const std::string name = "n\x1b[2Jame";
  const std::string shown_name = "n^[[2Jame";
  // The bytes come from files: typed at a terminal, its line discipline would act on them.
  const std::string script = "+\n\nq\nq\n";
  Sandbox box;
  box.Write(name, line + "\n");
  box.Write(".vazaru_da", Settings({"launch_command=" + line}));
  const auto piped = box.Run({.args = {name}, .input = script});
  EXPECT_EQ(piped.status, 0);
  EXPECT_THAT(piped.out, HasSubstr("Editing 1:1 " + name + "\n\n[1] " + line + "\n"));
  EXPECT_THAT(piped.out, HasSubstr("Command in memory = " + line + "\n"));

  // The terminal's own line discipline reads the lines, so the output compares byte for byte.
  Terminal t(box, {.args = {"--no-line-editing", name}, .echo = false});
  ASSERT_TRUE(t.WaitFor(kPrompt));
  ASSERT_TRUE(t.Send(script));
  EXPECT_EQ(t.Wait().status(), 0);
  // The same bytes, the document's and the names' control bytes in caret form.
  std::string expected = piped.out;
  for (const auto& [raw, visible] : {std::pair{line, shown}, std::pair{name, shown_name}}) {
    for (auto at = expected.find(raw); at != std::string::npos; at = expected.find(raw, at)) {
      expected.replace(at, raw.size(), visible);
    }
  }
  EXPECT_EQ(t.Output(), expected);
  EXPECT_EQ(t.Output().find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace ostrel::e2e
