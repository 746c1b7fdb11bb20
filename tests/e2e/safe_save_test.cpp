// Saving never destroys the file it replaces: the text goes to a new file that is renamed over
// the old one, except where a rename would change what the user has; then the file is written
// in place. Links, owners and permission bits survive a save.
#include <sched.h>
#include <sys/mount.h>
#include "e2e/checks.h"

#include "common/platform.h"

namespace ostrel::e2e {
namespace {

// Names in the run's directory, so a test can see that no temporary file was left behind.
struct stat Stat(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return info;
}

// Under a file size limit that the text exceeds, the old file is left byte for byte: replaced,
// the new file fails before the rename; written in place (a second name), the copy that must come
// first fails, and nothing of the file is touched.
TEST(SafeSave, FileSizeLimitLeavesTheOldFileByteForByte) {
  std::string big;
  for (int i = 0; i < 2000; ++i) big += "line " + std::to_string(i) + "\n";
  const std::string old = "the old text\nmust survive\n";
  for (const bool second_name : {false, true}) {
    SCOPED_TRACE(second_name ? "written in place" : "replaced");
    Sandbox box;
    box.Write("big", big);
    box.Write("doc", old);
    Names names = {".vazaru_da", "big", "doc"};
    if (second_name) {
      fs::create_hard_link(box.dir() + "/doc", box.dir() + "/other");
      names.insert("other");
    }
    RunPlan plan{.settings = "", .args = {"big"}, .input = "s\ndoc\no\nq\nq\n"};
    plan.in_child = [] {
      // The signal the limit sends keeps its default action, which would end the editor.
      signal(SIGXFSZ, SIG_DFL);
      const rlimit limit{8192, 8192};  // more than the editor prints, less than the document
      setrlimit(RLIMIT_FSIZE, &limit);
    };
    const auto r = box.Run(plan);
    ExpectEnded(r, 1);  // the editor went on to the quit; its last save failed
    EXPECT_THAT(
        r.out,
        HasSubstr(second_name ? "overwrite\nNo safe copy of doc could be made first: File too "
                                "large\nNot saved: no safe copy could be made first\n\n"
                              : "Cannot save to doc: File too large\n"));
    EXPECT_THAT(r.out, Not(HasSubstr("Saved to")));
    EXPECT_EQ(r.File("doc"), old);
    EXPECT_EQ(Entries(box.dir()), names);
  }
}

TEST(SafeSave, ReplacesTheFileALinkPointsToAndKeepsTheLink) {
  Sandbox box;
  fs::create_directory(box.dir() + "/real");
  box.Write("real/doc", "old\n");
  fs::create_symlink("real/doc", box.dir() + "/link");
  const auto r = box.Run({.settings = "", .args = {"link"}, .input = "new\nS\nq\nq\n"});
  ExpectEnded(r);
  EXPECT_THAT(r.out, HasSubstr("Saved to link\n"));
  EXPECT_TRUE(fs::is_symlink(box.dir() + "/link"));
  EXPECT_EQ(fs::read_symlink(box.dir() + "/link"), "real/doc");
  EXPECT_EQ(r.File("real/doc"), "new\n");
  EXPECT_EQ(Entries(box.dir() + "/real"), (Names{"doc"}));
}

TEST(SafeSave, AFileWithTwoNamesIsWrittenInPlace) {
  Sandbox box;
  box.Write("a", "old text that is longer\n");
  fs::create_hard_link(box.dir() + "/a", box.dir() + "/b");
  const auto inode = Stat(box.dir() + "/a").st_ino;
  const auto r = box.Run({.settings = "", .args = {"a"}, .input = "new\nS\nq\nq\n"});
  ExpectEnded(r);
  EXPECT_THAT(r.out, HasSubstr("Saved to a\n"));
  EXPECT_EQ(r.File("a"), "new text that is longer\n");
  EXPECT_EQ(r.File("b"), "new text that is longer\n");
  EXPECT_EQ(Stat(box.dir() + "/a").st_ino, inode);
  EXPECT_EQ(Stat(box.dir() + "/a").st_nlink, 2u);
  // Cut to the new length when the text gets shorter.
  const auto shorter = box.Run({.settings = "", .args = {"b"}, .input = "t\nS\nq\nq\n"});
  EXPECT_EQ(shorter.err, "");
  EXPECT_EQ(r.File("a"), "\n");
}

TEST(SafeSave, KeepsPermissionBitsOwnerAndGroup) {
  Sandbox box;
  box.Write("script", "#!/bin/sh\n");
  box.Write("private", "secret\n");
  ASSERT_EQ(chmod((box.dir() + "/script").c_str(), 0754), 0);
  ASSERT_EQ(chmod((box.dir() + "/private").c_str(), 0600), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown((box.dir() + "/private").c_str(), kNobody, kNobody), 0);
  }
  for (const std::string name : {"script", "private"}) {
    const auto r = box.Run({.settings = "", .args = {name}, .input = "!x\nS\nq\nq\n"});
    ExpectEnded(r);
    EXPECT_THAT(r.out, HasSubstr("Saved to " + name + "\n"));
  }
  EXPECT_EQ(box.Run({}).File("script"), "x!/bin/sh\n");
  EXPECT_EQ(Stat(box.dir() + "/script").st_mode & 07777, 0754u);
  EXPECT_EQ(Stat(box.dir() + "/private").st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(Stat(box.dir() + "/private").st_uid, kNobody);
    EXPECT_EQ(Stat(box.dir() + "/private").st_gid, kNobody);
  }
  EXPECT_EQ(Entries(box.dir()), (Names{".vazaru_da", "private", "script"}));
}

// A directory that takes no new file: the file is written in place once its copy is in the
// home directory; where that refuses files too, nothing is written.
TEST(SafeSave, ADirectoryThatAllowsNoNewFileGetsTheFileWrittenInPlace) {
  if (const auto why = CannotRunAsOrdinaryUser()) GTEST_SKIP() << *why;
  for (const bool home_takes_files : {true, false}) {
    SCOPED_TRACE(home_takes_files ? "home takes the copy" : "home refuses it");
    Sandbox box;
    box.Write("doc", "old text\n");
    const auto inode = Stat(box.dir() + "/doc").st_ino;
    // The file is ours; the directory is not writable.
    if (geteuid() == 0) {
      ASSERT_EQ(chown((box.dir() + "/doc").c_str(), kNobody, kNobody), 0);
    }
    box.Write(".vazaru_da", "");
    fs::create_directory(box.dir() + "/home");
    chmod((box.dir() + "/home").c_str(), home_takes_files ? 0777 : 0555);
    ASSERT_EQ(chmod(box.dir().c_str(), 0555), 0);
    RunPlan plan{.args = {"doc"},
                 .input = "new\nS\nq\nq\n",
                 .env = {{"HOME", box.dir() + "/home"}},
                 .as_ordinary_user = true};
    const auto r = box.Run(plan);
    chmod(box.dir().c_str(), 0700);
    ExpectEnded(r, home_takes_files ? 0 : 1);
    EXPECT_THAT(r.out, HasSubstr(home_takes_files
                                     ? "Saved to doc\n"
                                     : "No safe copy of doc could be made first: Permission "
                                       "denied\nNot saved: no safe copy could be made first\n"));
    EXPECT_EQ(r.File("doc"), home_takes_files ? "new text\n" : "old text\n");
    EXPECT_EQ(Stat(box.dir() + "/doc").st_ino, inode);
    EXPECT_EQ(Entries(box.dir()), (Names{".vazaru_da", "doc", "home"}));
    EXPECT_EQ(Entries(box.dir() + "/home"), Names{});
  }
}

TEST(SafeSave, AnOwnerThatCannotBeKeptGetsTheFileWrittenInPlace) {
  if (geteuid() != 0) GTEST_SKIP() << "needs a file of another user that we may write";
  if (const auto why = CannotRunAsOrdinaryUser()) GTEST_SKIP() << *why;
  Sandbox box;
  box.Write("doc", "old text\n");
  box.Write(".vazaru_da", "");
  ASSERT_EQ(chmod((box.dir() + "/doc").c_str(), 0666), 0);
  ASSERT_EQ(chmod(box.dir().c_str(), 0777), 0);
  const auto inode = Stat(box.dir() + "/doc").st_ino;
  RunPlan plan{.args = {"doc"}, .input = "new\nS\nq\nq\n", .as_ordinary_user = true};
  const auto r = box.Run(plan);
  ExpectEnded(r);
  EXPECT_THAT(r.out, HasSubstr("Saved to doc\n"));
  EXPECT_EQ(r.File("doc"), "new text\n");
  const auto after = Stat(box.dir() + "/doc");
  EXPECT_EQ(after.st_ino, inode);
  EXPECT_EQ(after.st_uid, 0u);
  EXPECT_EQ(Entries(box.dir()), (Names{".vazaru_da", "doc"}));
}

TEST(SafeSave, AFileWeMayNotWriteIsNotReplaced) {
  if (const auto why = CannotRunAsOrdinaryUser()) GTEST_SKIP() << *why;
  Sandbox box;
  box.Write("doc", "old text\n");
  box.Write(".vazaru_da", "");
  ASSERT_EQ(chmod((box.dir() + "/doc").c_str(), 0444), 0);
  ASSERT_EQ(chmod(box.dir().c_str(), 0777), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown((box.dir() + "/doc").c_str(), kNobody, kNobody), 0);
  }
  RunPlan plan{.args = {"doc"}, .input = "new\nS\nq\nq\n", .as_ordinary_user = true};
  const auto r = box.Run(plan);
  ExpectEnded(r, 1);  // the last save failed
  EXPECT_THAT(r.out, HasSubstr("Cannot save to doc: Permission denied\n"));
  EXPECT_EQ(r.File("doc"), "old text\n");
}

// Mounts a small memory file system on `dir` in a mount namespace of this test process alone,
// so that nothing outlives the test. False when that is not allowed (not root, no privilege).
bool MountSmallFileSystem(const std::string& dir) {
  return geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
         mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0;
}

TEST(SafeSave, AnInPlaceSaveWithoutRoomLeavesTheOldText) {
  Sandbox box;
  const std::string small = box.dir() + "/small";
  fs::create_directory(small);
  if (!MountSmallFileSystem(small)) GTEST_SKIP() << "cannot mount a small file system";
  // A file with a second name is written in place; the rest of the file system is filled.
  const std::string old = "the old text\nmust survive\n";
  box.Write("small/doc", old);
  fs::create_hard_link(small + "/doc", small + "/other");
  {
    std::ofstream fill(small + "/fill", std::ios::binary);
    const std::string block(4096, 'f');
    while (fill.write(block.data(), static_cast<std::streamsize>(block.size())) && fill.flush()) {
    }
  }
  std::string input;
  for (int i = 0; i < 40; ++i) input += std::string(250, 'n') + "\n";
  // The copy made first goes to the home directory: the file's own is full.
  const auto r = box.Run({.settings = "",
                          .args = {"small/doc"},
                          .input = input + "S\nq\nq\n",
                          .env = {{"HOME", box.dir()}}});
  ExpectEnded(r, 1);  // the last save failed
  EXPECT_THAT(r.out, HasSubstr("Cannot save to small/doc: No space left on device\n"));
  if (platform::ReservationOffered()) {
    EXPECT_EQ(r.File("small/doc"), old);
    EXPECT_EQ(Stat(small + "/doc").st_size, static_cast<off_t>(old.size()));
    EXPECT_FALSE(r.File("doc.save"));
  } else {
    // Without a reservation the write stops part way, and the copy holds the whole new text.
    EXPECT_THAT(r.out, HasSubstr("Unsaved text written to " + box.dir() + "/doc.save\n"));
    EXPECT_EQ(r.File("doc.save"), input);
  }
  EXPECT_EQ(umount2(small.c_str(), MNT_DETACH), 0);
}

}  // namespace
}  // namespace ostrel::e2e
