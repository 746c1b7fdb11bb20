#include "files/path_walk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

// The walk resolves as the system does: links relative to their own directory, absolute ones
// from the root, ".." after a link from where the link led; it names every link met, directory
// parts included, and tells a loop and a missing part apart from a missing last part.
TEST(PathWalk, ResolvesAsTheSystemDoesAndNamesEveryLinkOnTheWay) {
  const test::ScratchDir scratch;
  const std::string d = scratch.dir();
  fs::create_directories(d + "/a/b");
  scratch.Write("a/b/file", "x");
  fs::create_symlink("a/b", d + "/part");           // a directory part
  fs::create_symlink("part/file", d + "/rel");      // through another link
  fs::create_symlink(d + "/a/b/file", d + "/abs");  // absolute
  fs::create_symlink("b/../b/file", d + "/a/up");   // ".." inside a link's target
  fs::create_symlink("loop2", d + "/loop1");
  fs::create_symlink("loop1", d + "/loop2");
  fs::create_symlink("nothing", d + "/dangling");
  struct Row {
    std::string path;
    std::vector<std::string> links;
    std::string resolved;
    bool reached;
    int failure = 0;
  };
  const std::vector<Row> rows = {
      {d + "/a/b/file", {}, d + "/a/b/file", true},
      {d + "/part/file", {d + "/part"}, d + "/a/b/file", true},
      {d + "/rel", {d + "/rel", d + "/part"}, d + "/a/b/file", true},
      {d + "/abs", {d + "/abs"}, d + "/a/b/file", true},
      {d + "/a/up", {d + "/a/up"}, d + "/a/b/file", true},
      {d + "/part/../b/file", {d + "/part"}, d + "/a/b/file", true},
      {d + "/dangling", {d + "/dangling"}, d + "/nothing", false},
      {d + "/missing/file", {}, d + "/missing/file", false, ENOENT},
      {d + "/a/b/file/x", {}, d + "/a/b/file/x", false, ENOTDIR},
      {d + "/loop1", {}, "", false, ELOOP},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    const PathWalk walk = WalkPath(row.path);
    EXPECT_EQ(walk.result.error().Errno(), row.failure);
    EXPECT_EQ(walk.reached, row.reached);
    if (row.failure == ELOOP) continue;
    EXPECT_EQ(walk.resolved, row.resolved);
    std::vector<std::string> links;
    for (const LinkOnTheWay& link : walk.links) links.push_back(link.path);
    EXPECT_EQ(links, row.links);
    // A save's walk, which opens the folders on the way, reaches the same file in its folder.
    const FileInFolder at = OpenFileInFolder(row.path, geteuid());
    EXPECT_EQ(at.result.error().Errno(), row.failure);
    EXPECT_EQ(at.exists, row.reached);
    EXPECT_EQ(at.name_is_link, !row.links.empty() && row.links.front() == row.path);
    if (row.failure != 0) continue;
    EXPECT_EQ(at.leaf, fs::path(row.resolved).filename());
    struct stat folder {
    }, expected{};
    ASSERT_EQ(fstat(at.folder.get(), &folder), 0);
    ASSERT_EQ(stat(fs::path(row.resolved).parent_path().c_str(), &expected), 0);
    EXPECT_EQ(folder.st_ino, expected.st_ino);
  }
  // A relative path stays relative, and each link's directory is the one that holds it.
  const std::string here = fs::current_path().string();
  fs::current_path(d);
  const PathWalk walk = WalkPath("rel");
  fs::current_path(here);
  EXPECT_EQ(walk.resolved, "a/b/file");
  ASSERT_EQ(walk.links.size(), 2u);
  struct stat top {};
  ASSERT_EQ(stat(d.c_str(), &top), 0);
  EXPECT_EQ(walk.links[0].directory.st_ino, top.st_ino);
  EXPECT_EQ(walk.links[0].owner, geteuid());
}

}  // namespace
}  // namespace ostrel
