// The README's table "What Ostrel does with odd input": one test per row. Whatever the input,
// the editor prints its own messages on standard output only, never hangs and never crashes.
#include <sys/wait.h>
#include "e2e/checks.h"

#include <cstdint>

namespace ostrel::e2e {
namespace {

// The lines of `text` as saved: each followed by a newline.
std::string Lines(const std::string& text, std::size_t width) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += width) out += text.substr(i, width) + "\n";
  return out;
}

const std::string kBinary("ab\0cd\nef\n", 9);
const std::string kShell = "a;touch pwned1 $(touch pwned2) `touch pwned3`";

// A file that exists but cannot be loaded ends the editor before the view: nothing typed can be
// saved over it. A save that fails leaves status 1 as the last save failed.
const RunCase kRuns[] = {
    {.name = "DirectoryAsTheFile",
     .plan = {.settings = "", .args = {"sub"}, .input = "text\nS\n" + kQuit},
     .status = 1,
     .dirs = {"sub"},
     .ends = "Cannot load sub: Is a directory\n"},
    {.name = "FifoAsTheFile",
     .plan = {.settings = "", .args = {"fifo"}, .input = "text\nS\n" + kQuit, .timeout_seconds = 5},
     .status = 1,
     .fifos = {"fifo"},
     .ends = "Cannot load fifo: not a regular file\n"},
    // Nobody reads the FIFO: a save to it fails at once instead of waiting for a reader.
    {.name = "SavingToAFifo",
     .plan = {.settings = "", .input = "text\nS\nfifo\n" + kQuit, .timeout_seconds = 5},
     .status = 1,
     .fifos = {"fifo"},
     .shown = {"Cannot save to fifo: No such device or address\n"}},
    {.name = "DevNullAsTheFile",
     .plan = {.settings = "", .args = {"/dev/null"}, .input = "text\nS\n" + kQuit},
     .status = 1,
     .ends = "Cannot load /dev/null: not a regular file\n"},
    {.name = "SavingToDevFull",
     .plan = {.settings = "", .input = "text\nS\n/dev/full\n" + kQuit},
     .status = 1,
     .shown = {"Cannot save to /dev/full: No space left on device\n"},
     .hidden = {"Saved to"}},
    {.name = "SavingIntoAMissingDirectory",
     .plan = {.settings = "", .input = "text\ns\nnodir/doc\n" + kQuit},
     .status = 1,
     .shown = {"Cannot save to nodir/doc: No such file or directory\n"},
     .left = {{"nodir", std::nullopt}}},
    {.name = "SavingToADirectory",
     .plan = {.settings = "", .input = "text\ns\nsub\no\n" + kQuit},
     .status = 1,
     .dirs = {"sub"},
     .shown = {"The file already exists.\n", "Cannot save to sub: Is a directory\n"}},
    // The text ends at the first NUL; the rest would be lost, so the editor asks first.
    {.name = "BinaryFileWithNulBytes",
     .plan = {.settings = "", .args = {"bin"}, .input = "n\n", .files = {{"bin", kBinary}}},
     .status = 1,
     .shown = {"Read 9 bytes, 1 Lines Generated\n\n"
               "Warning!! Only 22.2 percent of the data was loaded!\n"}},
    {.name = "BinaryFileWithNulBytesLoadedAnyway",
     .plan = {.settings = "",
              .args = {"bin"},
              .input = "Y\ns\nout\n" + kQuit,
              .files = {{"bin", kBinary}}},
     .left = {{"out", "ab\n"}, {"bin", kBinary}}},
    // The carriage return is a character of the line: the end of line is after it.
    {.name = "CrlfFileRoundTrips",
     .plan = {.settings = "",
              .args = {"crlf"},
              .input = "e\n!X\nS\n" + kQuit,
              .files = {{"crlf", "one\r\ntwo\r\n"}}},
     .shown = {"Editing 1:5 crlf"},
     .left = {{"crlf", "one\rX\ntwo\r\n"}}},
    {.name = "SettingsWithHugeOrNegativeValues",
     .plan = {.settings = Settings({"max_lines=99999999999", "max_char=-5", "max_char=4294967296",
                                    "lines_per_page=-3", "anchor_position=-1", "help=-1"}),
              .input = "h\nx\n" + kQuit},
     .shown = {"Enter 'h' for help or 'q' to quit\n",
               "Limits:  Line length = 255     Total Lines = 32767\n"}},
    {.name = "SettingsWithATooLargeGrid",
     .plan = {.settings = Settings({"max_lines=2000000000"}), .input = kQuit},
     .status = 1,
     .ends =
         "Text buffer of 2000000000 lines of 256 bytes is too large (2147483648 bytes or more)\n"},
    {.name = "SettingsFileThatIsADirectory",
     .plan = {.input = kQuit},
     .dirs = {".vazaru_da"},
     .shown = {"Reading RC file: .vazaru_da\n\nEnter 'h' for help or 'q' to quit\n"}},
    {.name = "FileNamesAndAnswersNeverReachAShell",
     .plan = {.settings = Settings({"launch_command=true"}),
              .input = "text\ns\n" + kShell + "\n=\nO\n" + kShell + "|touch pwned4\n" +
                       "i\n$(touch pwned5)\n" + kQuit},
     .shown = {"Saved to " + kShell + "\n"},
     .left = {{kShell, "text\n"},
              {"pwned1", std::nullopt},
              {"pwned2", std::nullopt},
              {"pwned3", std::nullopt},
              {"pwned4", std::nullopt},
              {"pwned5", std::nullopt}}},
};
INSTANTIATE_TEST_SUITE_P(OddInput, Runs, ::testing::ValuesIn(kRuns), RowName);

// A standard stream that fails is never passed over in silence: a full device or a file size
// limit as the output, or a folder as the input, ends the editor with one line on standard error
// and status 1, and text already typed is rescued. An output that does not block its writes,
// read slowly, gets every byte.
TEST(OddInput, StandardStreamsThatFailAreToldAndEndTheRun) {
  std::string typed = "text\n";
  for (int i = 0; i < 1500; ++i) typed += "\n";  // views of more than a pipe holds
  struct Row {
    const char* name;
    std::function<void()> in_child;
    std::string err;
    bool rescued = false;
  };
  const std::vector<Row> rows = {
      {"standard output on a full device", OutputToDevFull,
       "ostrel: cannot write the view: No space left on device\n"},
      {"standard output under a file size limit, after the text was read",
       [] {
         const rlimit limit{8192, 8192};
         setrlimit(RLIMIT_FSIZE, &limit);
       },
       "ostrel: cannot write the view: File too large\n", true},
      {"a folder as standard input",
       [] {
         const int fd = open(".", O_RDONLY | O_DIRECTORY);
         if (fd >= 0) dup2(fd, 0);
       },
       "ostrel: cannot read the commands: Is a directory\n"},
      // The process the run waits for reads the editor's output slowly and passes it on, then
      // ends as the editor did.
      {"a non-blocking output read slowly",
       [] {
         int out[2];
         if (pipe(out) != 0) _exit(125);
         const pid_t editor = fork();
         if (editor != 0) {
           close(out[1]);
           char chunk[512];
           ssize_t n = 0;
           while ((n = read(out[0], chunk, sizeof chunk)) > 0) {
             if (write(1, chunk, static_cast<std::size_t>(n)) != n) break;
             usleep(200);
           }
           int status = 0;
           waitpid(editor, &status, 0);
           _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
         }
         dup2(out[1], 1);
         close(out[0]);
         close(out[1]);
         fcntl(1, F_SETFL, fcntl(1, F_GETFL) | O_NONBLOCK);
       },
       ""},
  };
  const auto plain = RunEditor({.settings = "", .args = {"doc"}, .input = typed + kQuit});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sandbox box;
    const auto r = box.Run({.settings = "",
                            .args = {"doc"},
                            .input = typed + kQuit,
                            .input_from_file = true,
                            .in_child = row.in_child});
    ExpectEnded(r, row.err.empty() ? 0 : 1, row.err);
    EXPECT_EQ(r.File("doc.save"),
              row.rescued ? std::optional<std::string>("text\n") : std::nullopt);
    if (row.err.empty()) {
      EXPECT_TRUE(r.out == plain.out) << r.out.size() << " bytes of " << plain.out.size();
    }
  }
}

TEST(OddInput, TenMegabyteLine) {
  Sandbox box;
  std::string line;
  for (int i = 0; line.size() < 10u << 20; ++i) line += static_cast<char>('a' + i % 26);
  box.Write("big", line + "\n");
  RunPlan plan{.settings = "", .args = {"big"}, .input = "Y\ns\nout\n" + kQuit};
  const auto r = box.Run(plan);
  ExpectEnded(r);
  // Split into 255-character lines until every slot is taken: 32767 of them.
  EXPECT_THAT(r.out, HasSubstr("WARNING!  Line 32767 is being split\n32767 Lines Generated\n\n"
                               "Warning!! Only 79.7 percent of the data was loaded!\n"));
  EXPECT_EQ(r.File("out"), Lines(line.substr(0, 32767 * 255), 255));
}

// Only lines that end within the first MiB are read, in bounded memory and stack, whatever the
// file's size; a line the limit cuts is left out whole.
TEST(OddInput, SettingsFileReadUpToOneMegabyte) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  std::string head;
  while (head.size() < kMiB - 100) head += "a line that names no setting at all\n";
  head.resize(kMiB - 12, 'x');
  head += "\n";
  // Its "=5" ends at the limit: the line is cut between its two 5s.
  const std::string cut_value = head + "max_lines=55\n";
  head += "help=?\n";  // ends exactly at the limit
  struct Row {
    const char* name;
    std::string settings;
    std::uint64_t size = 0;  // the file grown (sparse) to this size
    std::function<void()> in_child = {};
    std::string help = "?";
  };
  const std::vector<Row> rows = {
    {"one MiB and more", head + "max_lines=55\nhelp=!\nmax_lines=5\n"},
    {"the limit cuts a value", cut_value + "help=?\n", 0, {}, "h"},
    {"a sparse file of 3 GB", head + "max_lines=5\n", std::uint64_t{3} << 30},
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizers need more stack and memory than this
    {"under ulimit -s 64 and -v 100000", head + "max_lines=5\n", std::uint64_t{3} << 30,
     [] {
       const rlimit stack{64 * 1024, 64 * 1024};
       const rlimit memory{100000 * 1024, 100000 * 1024};
       setrlimit(RLIMIT_STACK, &stack);
       setrlimit(RLIMIT_AS, &memory);
     }},
#endif
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sandbox box;
    box.Write(".vazaru_da", row.settings);
    if (row.size != 0) {
      ASSERT_EQ(truncate(box.Path(".vazaru_da").c_str(), static_cast<off_t>(row.size)), 0);
    }
    const auto r = box.Run({.input = row.help + "\nx\n" + kQuit, .in_child = row.in_child});
    ExpectEnded(r);
    EXPECT_THAT(r.out, HasSubstr("Reading RC file: .vazaru_da\n"
                                 ".vazaru_da: only the first 1 MiB was read\n"
                                 "\nEnter '" +
                                 row.help + "' for help"));
    EXPECT_THAT(r.out, HasSubstr("Limits:  Line length = 255     Total Lines = 32767\n"));
  }
}

TEST(OddInput, HundredThousandLinesIntoTheDefaultGrid) {
  Sandbox box;
  std::string file;
  for (int i = 1; i <= 100000; ++i) file += std::to_string(i) + "\n";
  box.Write("many", file);
  const auto r = box.Run({.settings = "", .args = {"many"}, .input = "Y\ns\nout\n" + kQuit});
  ExpectEnded(r);
  EXPECT_THAT(r.out, HasSubstr("32767 Lines Generated\n\nWarning!! Only 31.5 percent"));
  EXPECT_EQ(r.File("out"), file.substr(0, file.find("\n32768\n") + 1));
}

TEST(OddInput, OneMegabyteInputLine) {
  Sandbox box;
  std::string line;
  for (int i = 0; line.size() < 1u << 20; ++i) line += static_cast<char>('A' + i % 26);
  // Pieces of 255 characters, each entered as text on the next line.
  const auto r =
      box.Run({.settings = Settings({"lines_per_page=1"}), .input = line + "\ns\nout\n" + kQuit});
  ExpectEnded(r);
  EXPECT_EQ(r.File("out"), Lines(line, 255));
}

TEST(OddInput, LaunchCommandThatFailsOrDoesNotExist) {
  for (const std::string command : {"false", "ostrel-no-such-command"}) {
    Sandbox box;
    const auto r = box.Run({.settings = Settings({"launch_command=" + command}),
                            .args = {"doc"},
                            .input = "text\n=\nmore\nS\n" + kQuit});
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.out, HasSubstr("Saved to doc\n\nEditing 2:1 doc\n"));
    EXPECT_EQ(r.File("doc"), "text\nmore\n");
    // Only the shell speaks on standard error, about the command it could not find.
    if (command == "false") {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_THAT(r.err, HasSubstr("ostrel-no-such-command"));
      EXPECT_THAT(r.err, HasSubstr("not found"));
    }
  }
}

}  // namespace
}  // namespace ostrel::e2e
