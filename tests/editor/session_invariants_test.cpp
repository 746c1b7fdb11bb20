// Every editing, cursor and view command, on the smallest grids and at their edges, leaves the
// editor state whole: checked after every cycle of a scripted session.

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "editor/commands.h"
#include "editor/loop.h"
#include "support/invariants.h"
#include "support/unit_checks.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

// Commands that touch no file, each with answers at and beyond its bounds.
const char* const kScript =
    "hello world\n\n\nabc\n"
    "n\nn\nn\ne\nn\nb\nl\n.\n,\n,\n>\n<\n"
    "p\n-3\n>\n<\np\n9999999\n>\n<\np\n2\n"
    "g\n0\ng\n-1\ng\n2\ng\n99999\nG\n99999\nG\n-5\nG\n3\n"
    "A\na\nj\nl\nj\n\nJ\nc\nJ\nzz\nL\nx\nL\n#\n#\n"
    "c\n99999\nv\nV\nc\n-4\nc\n2\nV\nV\nv\nx\n3\nz\nx\n-1\nz\ni\nINSERTED TEXT\ni\n\n"
    "d\nz\nt\nz\nT\nz\nw\nz\nD\nz\nm\n1\nz\nm\n99\nm\n-2\nC\n2\nz\nC\n0\n"
    "G\n99999\nabc\nT\nt\nv\nV\ni\nq\nx\nz\n!\n!z\n"
    "g\n99999\nT\nD\nw\nw\nD\nz\nz\n\n\n\n\n"
    "h\nn\ne\nf\nm\nzzzzzzzzzzzzzzzzzzzzzzzz\nx\nq\nq\n";

// On the smallest grids the script arrives in pieces of one or two bytes, and some pieces are
// keys of file commands; whatever they write goes to a directory of the test's own.
TEST(SessionInvariants, EveryCommandLeavesTheStateWhole) {
  const test::InScratchDir scratch;
  for (const int32_t lsize : {2, 3, 8, 20}) {
    for (const int32_t lines : {1, 2, 5}) {
      SCOPED_TRACE("lsize " + std::to_string(lsize) + ", lines " + std::to_string(lines));
      auto s = MakeState(lsize, lines, {lsize > 2 ? "x" : ""});
      MemoryConsole mc(kScript);
      std::string why;
      int cycles = 0;
      while (!s.session.quit && cycles < 10000) {
        Cycle(s, mc.con());
        ++cycles;
        ASSERT_TRUE(CheckInvariants(s, &why)) << "after cycle " << cycles << ": " << why;
      }
      EXPECT_TRUE(s.session.quit);
      EXPECT_GT(cycles, 80);
      if (lsize < 20) continue;
      // Where every line fits, the script ran to its end: the last thing read was the quit
      // confirmation.
      const std::string out = mc.Output();
      const std::string confirmation = "Enter 'q' again to quit or anything else to continue\n";
      EXPECT_EQ(out.substr(out.size() - confirmation.size()), confirmation);
      EXPECT_EQ(s.session.exit_status, 0);
    }
  }
}

// command_exec saves first and runs the command only then, on the saved file. (The in-process
// fuzz harness links a shell that runs nothing, so there only the save is made.)
TEST(SessionInvariants, CommandExecSavesThenRunsTheCommand) {
  const test::InScratchDir scratch;
  auto s = MakeState(8, 3, {"abc"});
  std::strcpy(s.session.settings.launch_command.data(), "cp doc launched");
  std::strcpy(s.doc.file_name.data(), "doc");
  MemoryConsole mc;
  RunHandler(CommandExec, s, mc.con());
  EXPECT_EQ(mc.Output(), "Saved to doc\n");
  EXPECT_TRUE(fs::exists("doc"));
  EXPECT_TRUE(fs::exists("launched"));
  EXPECT_EQ(fs::file_size("launched"), 4u);
}

}  // namespace
}  // namespace ostrel
