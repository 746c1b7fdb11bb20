// Text shared with other programs and other users: a file changed on disk since it was read is
// not overwritten without a word, another user's link neither redirects a save nor lends a
// settings file its trust, and a running session's rescue file says so.
#include "e2e/checks.h"

namespace ostrel::e2e {
namespace {

const std::string kChanged = "notes.txt changed on disk since it was read";
const std::string kRefused = "Not saved: " + kChanged + "\n";

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Moves the file's modification time `seconds` on: file times are coarse, so a change at the
// same size could otherwise keep the time it had.
void Later(const std::string& path, int seconds = 10) {
  fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(seconds));
}

// What another program does to the document while the editor has it.
using Change = std::function<void(const std::string& dir)>;

const Change kRewrite = [](const std::string& dir) { WriteFile(dir + "/notes.txt", "theirs\n"); };
const Change kRenameOver = [](const std::string& dir) {
  WriteFile(dir + "/new", "theirs\n");
  fs::rename(dir + "/new", dir + "/notes.txt");
};

TEST(Sharing, AFileChangedOnDiskIsNotOverwrittenThroughAPipe) {
  struct Row {
    const char* name;
    Change change;
    std::string keys = "S\nq\nq\n";  // after "hello" was typed and the file changed
    bool refused = true;
    Files left = {{"notes.txt", "theirs\n"}, {"notes.txt.save", "hello\n"}};
    int status = 1;
    std::string settings = "";
    std::string doc = "notes.txt";
  };
  const Files saved = {{"notes.txt", "hello\n"}};
  const std::vector<Row> rows = {
      {"changed in place; the rescue file is kept after q q", kRewrite},
      {"replaced by a rename", kRenameOver},
      {"the same size, other bytes",
       [](const std::string& dir) {
         WriteFile(dir + "/notes.txt", "new\n");
         Later(dir + "/notes.txt");
       },
       "S\nq\nq\n", true, Files{{"notes.txt", "new\n"}, {"notes.txt.save", "hello\n"}}},
      {"created since the name was taken",
       [](const std::string& dir) { WriteFile(dir + "/fresh", "theirs\n"); }, "S\nq\nq\n", true,
       Files{{"fresh", "theirs\n"}, {"fresh.save", "hello\n"}}, 1, "", "fresh"},
      {"a link pointed elsewhere, even at the same bytes",
       [](const std::string& dir) {
         WriteFile(dir + "/other", "old\n");
         fs::remove(dir + "/link");
         fs::create_symlink("other", dir + "/link");
       },
       "S\nq\nq\n", true,
       Files{
           {"notes.txt", "old\n"}, {"other", "old\n"}, {"link", "old\n"}, {"link.save", "hello\n"}},
       1, "", "link"},
      {"deleted: simply saved", [](const std::string& dir) { fs::remove(dir + "/notes.txt"); },
       "S\nq\nq\n", false, saved, 0},
      {"touched, the bytes equal", [](const std::string& dir) { Later(dir + "/notes.txt"); },
       "S\nq\nq\n", false, saved, 0},
      {"its mode changed",
       [](const std::string& dir) {
         fs::permissions(dir + "/notes.txt", fs::perms::owner_read | fs::perms::owner_write);
       },
       "S\nq\nq\n", false, saved, 0},
      {"another hard link",
       [](const std::string& dir) { fs::create_hard_link(dir + "/notes.txt", dir + "/backup"); },
       "S\nq\nq\n", false, Files{{"notes.txt", "hello\n"}, {"backup", "hello\n"}}, 0},
      {"the same bytes written anew by a rename",
       [](const std::string& dir) {
         WriteFile(dir + "/new", "old\n");
         fs::rename(dir + "/new", dir + "/notes.txt");
         Later(dir + "/notes.txt");
       },
       "S\nq\nq\n", false, saved, 0},
      {"save as, 'o': consent", kRewrite, "s\nnotes.txt\no\nq\nq\n", false, saved, 0},
      {"a newly typed name is not checked, nor later saves to it", kRewrite, "s\nother\nS\nq\nq\n",
       false, Files{{"notes.txt", "theirs\n"}, {"other", "hello\n"}}, 0},
      {"the open command's 's'", kRewrite, "O\ns\nq\nq\n"},
      {"refused, then the end of input: the rescue file stays", kRewrite, "S\n"},
      {"refused, then saved: the rescue file goes", kRewrite, "S\ns\nnotes.txt\no\nq\nq\n", true,
       saved, 0},
      {"the launch command's save", kRewrite, "=\nq\nq\n", true,
       Files{{"notes.txt", "theirs\n"}, {"notes.txt.save", "hello\n"}}, 1, "launch_command=true\n"},
      {"a launched command that rewrites the document", [](const std::string&) {}, "=\nS\nq\nq\n",
       true, Files{{"notes.txt", "theirs\n"}, {"notes.txt.save", "hello\n"}}, 1,
       "launch_command=echo theirs >notes.txt\n"},
  };
  // Each row runs in a directory of its own; the rows go side by side.
  InParallel(rows.size(), 4, [&](std::size_t i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.name);
    Sandbox box;
    if (row.doc != "fresh") box.Write("notes.txt", "old\n");
    if (row.doc == "link") fs::create_symlink("notes.txt", box.dir() + "/link");
    const auto r =
        box.Run({.settings = row.settings,
                 .args = {row.doc},
                 .in_child = Staged(
                     "hello\n", "Editing 2:1", [&] { row.change(box.dir()); }, row.keys)});
    ExpectEnded(r, row.status);
    const std::string refusal = "Not saved: " + row.doc + " changed on disk since it was read\n" +
                                "Unsaved text written to " + row.doc + ".save\n";
    if (row.refused) {
      EXPECT_THAT(r.out, HasSubstr(refusal));
    } else {
      EXPECT_THAT(r.out, Not(HasSubstr("changed on disk")));
    }
    ExpectHolds(box.dir(), row.left, {".vazaru_da"});
  });
}

// On a terminal the user is asked before a changed file is overwritten, and before a file is
// written in place without its safe copy (here under a file size limit that the copy exceeds
// too; the write in place then fails as well, and says so).
TEST(Sharing, OnATerminalTheUserIsAskedBeforeAChangedFileIsOverwritten) {
  std::string big;  // more than the limit of 512 bytes
  for (int i = 0; i < 60; ++i) big += "line " + std::to_string(i) + " of the old text\n";
  struct Question {
    const char* name;
    std::string asked;    // the question and what comes before it
    std::string refused;  // printed for any answer but y
    std::string yes;      // printed after y
    std::string old;      // the file's text before, and after a refusal
    bool in_place;        // the file has a second name and the copy cannot be made
  };
  const std::vector<Question> questions = {
      {"changed on disk", kChanged + ".\nOverwrite it? (y/n)\n", kRefused, "Saved to notes.txt\n",
       "theirs\n", false},
      {"no safe copy",
       "No safe copy of notes.txt could be made first: File too large\n"
       "Write in place anyway? (y/n)\n",
       "Not saved: no safe copy could be made first\n",
       "Cannot save to notes.txt: File too large\n", big, true},
  };
  struct Row {
    const char* name;
    std::string answer;
    bool yes = false;
    bool cancelled = false;  // Cancelled is no failed save: the quit after it ends with 0
    bool ended = false;  // the end of a terminal's input ends the editor, which rescues the text
  };
  const std::vector<Row> rows = {
      {"y", "y\n", true},
      {"n gives the save up", "n\n"},
      {"anything else gives it up too", "yes\n"},
      {"the end of input gives it up", "\x04", false, false, true},
      {"Ctrl-C cancels", "\x03", false, true},
  };
  for (const Question& q : questions) {
    for (const Row& row : rows) {
      // Without a copy the end of input cannot rescue the text either.
      if (q.in_place && row.ended) continue;
      SCOPED_TRACE(std::string(q.name) + ": " + row.name);
      Sandbox box;
      if (q.in_place) {
        box.Write("notes.txt", q.old);
        fs::create_hard_link(box.Path("notes.txt"), box.Path("other"));
      }
      Terminal t(box,
                 {.settings = "",
                  .args = {"--no-line-editing", "notes.txt"},
                  .shell = q.in_place ? "ulimit -f 1; exec \"$0\" --no-line-editing notes.txt" : "",
                  .files = {{"notes.txt", q.in_place ? q.old : "old\n"}},
                  .echo = false});
      ASSERT_TRUE(t.WaitFor(kPrompt));
      t.Mark();
      ASSERT_TRUE(Typed(t, "hello\n", "Editing 2:1"));
      ASSERT_TRUE(t.WaitUntilReading());
      if (!q.in_place) kRewrite(box.dir());
      t.Mark();
      ASSERT_TRUE(Typed(t, "S\n", "(y/n)\n"));
      EXPECT_EQ(t.OutputSinceMark(), q.asked);
      t.Mark();
      ASSERT_TRUE(t.Send(row.answer));
      const std::string then = row.yes ? q.yes : row.cancelled ? "Cancelled\n" : q.refused;
      ASSERT_TRUE(t.WaitFor(then));
      EXPECT_THAT(t.OutputSinceMark(), HasSubstr(then + (row.ended ? "" : "\nEditing")));
      if (!row.ended) {
        ASSERT_TRUE(t.WaitFor(kPrompt));
        ASSERT_TRUE(t.Send("q\nq\n"));
      }
      const bool failed = !row.cancelled && (q.in_place || !row.yes);
      EXPECT_EQ(t.Wait().status(), failed ? 1 : 0);
      const auto now = box.File("notes.txt");
      if (!row.yes) {
        EXPECT_EQ(now, q.old);
      } else if (!q.in_place) {
        EXPECT_EQ(now, "hello\n");
      }
      Names names = {".vazaru_da", "notes.txt"};
      if (q.in_place) names.insert("other");
      if (row.ended) names.insert("notes.txt.save");
      EXPECT_EQ(Entries(box.dir()), names);
    }
  }
}

// Run as root, these runs take two ordinary users: the editor runs as kNobody, and the links
// and files planted "by another user" belong to kOther. A link in a shared directory decides
// nothing unless its owner is the user, root, or that directory's owner; a settings file may
// give a command only when every link on the way is the user's or root's, and a hard link
// planted in a shared directory lends it nothing.

TEST(Sharing, AnotherUsersLinkNeitherRedirectsASaveNorRunsACommand) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to act as two ordinary users";
  if (const auto why = CannotRunAsOrdinaryUser()) GTEST_SKIP() << *why;
  // The shared directory's owner, group and mode.
  struct Shared {
    uid_t owner = 0;
    gid_t group = kNobody;
    mode_t mode = 01777;
  };
  struct Row {
    const char* name;
    std::string link;    // a link planted in the shared directory (the run's own) as `to`
    std::string to;      // where it points
    uid_t owner;         // of the link
    std::string expect;  // in the output
    bool victim_changed = false;
    Shared shared = {};
    std::string doc = "notes.txt";
    bool hard = false;   // the link is a hard link
    bool plain = false;  // no link: the settings file is the user's own file of that text
  };
  const std::string foreign_save = "Cannot save to notes.txt: it is a link owned by another user\n";
  const std::string foreign_rc =
      ".vazaru_da: launch_command ignored: a link on the way is owned by another user\n";
  const std::string foreign_folder =
      ".vazaru_da: launch_command ignored: its folder can be changed by another user\n";
  const std::string ran = "Command in memory = echo RAN\n";
  const std::vector<Row> rows = {
      {"a foreign link in a sticky world-writable directory", "notes.txt", "home/mine", kOther,
       foreign_save},
      {"the same, dangling: no file of the user's choosing", "notes.txt", "home/key", kOther,
       foreign_save},
      {"a foreign link in a group-writable directory", "notes.txt", "home/mine", kOther,
       foreign_save, false, Shared{.mode = 0775}},
      {"a foreign link in a directory part", "unused", "home/none", kNobody,
       "Cannot save to part/mine: it is a link owned by another user\n", false, Shared{},
       "part/mine"},
      {"the user's own link", "notes.txt", "home/mine", kNobody, "Saved to notes.txt\n", true},
      {"root's link", "notes.txt", "home/mine", 0, "Saved to notes.txt\n", true},
      {"a link owned by the directory's owner", "notes.txt", "home/mine", kOther,
       "Saved to notes.txt\n", true, Shared{kOther, kOther}},
      {"the settings file through a foreign link", ".vazaru_da", "home/mailbox", kOther,
       foreign_rc},
      {"the settings file through a foreign link in a directory part", ".vazaru_da", "part/mailbox",
       kNobody, foreign_rc},
      {"the settings file through the user's own link", ".vazaru_da", "home/mailbox", kNobody, ran},
      {"the settings file through root's link", ".vazaru_da", "home/mailbox", 0, ran},
      {"a hard link to the user's file planted in the shared directory", ".vazaru_da",
       "home/mailbox", kNobody,
       ".vazaru_da: launch_command ignored: it has other names in a directory others may write\n",
       false, Shared{}, "notes.txt", true},
      // The user's own file, with one name, renamed to the settings file's name by whoever may
      // change the folder: only a folder nobody else can change gives a command.
      {"the user's own settings file in another user's open folder", ".vazaru_da", "", kNobody,
       foreign_folder, false, Shared{kOther, kOther, 0777}, "notes.txt", false, true},
      {"the same in a folder its group may write, not the user's own group", ".vazaru_da", "",
       kNobody, foreign_folder, false, Shared{kNobody, 0, 0775}, "notes.txt", false, true},
      {"the same in a sticky folder", ".vazaru_da", "", kNobody, ran, false, Shared{}, "notes.txt",
       false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sandbox box;
    const std::string dir = box.dir();
    // The victim's home: their own files, one of them text others can put lines into.
    fs::create_directory(dir + "/home");
    WriteFile(dir + "/home/mine", "precious\n");
    WriteFile(dir + "/home/mailbox", "launch_command=echo RAN\n");
    for (const char* path : {"/home", "/home/mine", "/home/mailbox"}) {
      ASSERT_EQ(chown((dir + path).c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(chmod((dir + "/home/mailbox").c_str(), 0644), 0);
    // A directory part that is another user's link to the victim's home.
    ASSERT_EQ(symlink((dir + "/home").c_str(), (dir + "/part").c_str()), 0);
    ASSERT_EQ(lchown((dir + "/part").c_str(), kOther, kOther), 0);
    if (row.plain) {
      WriteFile(dir + "/" + row.link, "launch_command=echo RAN\n");
      ASSERT_EQ(chown((dir + "/" + row.link).c_str(), kNobody, kNobody), 0);
      ASSERT_EQ(chmod((dir + "/" + row.link).c_str(), 0644), 0);
    } else if (row.hard) {
      fs::create_hard_link(dir + "/" + row.to, dir + "/" + row.link);
    } else {
      ASSERT_EQ(symlink((dir + "/" + row.to).c_str(), (dir + "/" + row.link).c_str()), 0);
      ASSERT_EQ(lchown((dir + "/" + row.link).c_str(), row.owner, row.owner), 0);
    }
    ASSERT_EQ(chown(dir.c_str(), row.shared.owner, row.shared.group), 0);
    ASSERT_EQ(chmod(dir.c_str(), row.shared.mode), 0);
    RunPlan plan{.args = {row.doc}, .input = "hello\nS\n+\n\nq\nq\n"};
    if (row.link != ".vazaru_da") plan.settings = "";
    plan.as_ordinary_user = true;
    const auto r = box.Run(plan);
    EXPECT_THAT(r.out, HasSubstr(row.expect));
    EXPECT_EQ(r.status, row.expect.starts_with("Cannot save") ? 1 : 0);
    EXPECT_EQ(box.File("home/mine"), row.victim_changed ? "helloous\n" : "precious\n");
    EXPECT_FALSE(fs::exists(dir + "/home/key"));
    if (row.link == ".vazaru_da" && row.expect != ran) {
      EXPECT_THAT(r.out, HasSubstr("There is no command in memory\n"));
    }
  }
}

}  // namespace
}  // namespace ostrel::e2e
