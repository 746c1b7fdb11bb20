// The README must not drift from the editor. Its example session is the transcript of a real
// run of the built binary on docs/example/session.input with docs/example/.vazaru_da, each
// input line shown after the prompt that read it; the file that session saves and the default
// settings file are shown as the editor writes them; its command table lists every command with
// its default key and settings name.
//
// The generated blocks sit between marker comments `<!-- NAME:begin -->` and
// `<!-- NAME:end -->`. With OSTREL_REGENERATE_README set in the environment the tests rewrite
// those blocks instead of comparing them (docs/example/regenerate.sh does this).
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/harness.h"
#include "settings/keys.h"

namespace ostrel::e2e {
namespace {

const std::string kSourceDir = OSTREL_SOURCE_DIR;
const std::string kReadmePath = kSourceDir + "/README.md";
const std::string kExampleDir = kSourceDir + "/docs/example";
// The name the example session saves its document under (an answer in session.input).
const std::string kSavedName = "list.txt";

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Regenerating() {
  const char* value = std::getenv("OSTREL_REGENERATE_README");
  return value != nullptr && *value != '\0';
}

// A generated block as it stands between its markers: a fenced code block on lines of its own.
std::string Fenced(const std::string& body) {
  return "\n```\n" + body + "```\n";
}

std::string BeginMarker(const std::string& name) {
  return "<!-- " + name + ":begin -->";
}
std::string EndMarker(const std::string& name) {
  return "<!-- " + name + ":end -->";
}

// The text between the markers of block `name`, or nothing when the markers are missing.
std::optional<std::string> Block(const std::string& text, const std::string& name) {
  const auto begin = text.find(BeginMarker(name));
  if (begin == std::string::npos) return std::nullopt;
  const auto start = begin + BeginMarker(name).size();
  const auto end = text.find(EndMarker(name), start);
  if (end == std::string::npos) return std::nullopt;
  return text.substr(start, end - start);
}

// Compares block `name` of the README with `expected`, or rewrites it when regenerating.
void CheckBlock(const std::string& name, const std::string& expected) {
  std::string readme = ReadFile(kReadmePath);
  const auto current = Block(readme, name);
  ASSERT_TRUE(current) << "README.md lacks the markers of block " << name;
  if (!Regenerating()) {
    EXPECT_EQ(*current, expected) << "README.md block " << name
                                  << " differs; run docs/example/regenerate.sh";
    return;
  }
  const auto start = readme.find(BeginMarker(name)) + BeginMarker(name).size();
  readme.replace(start, current->size(), expected);
  std::ofstream(kReadmePath, std::ios::binary | std::ios::trunc) << readme;
}

// The main thread's state letter from /proc: 'S' while it sleeps in a system call.
char ProcessState(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const auto name_end = stat.rfind(')');
  if (name_end == std::string::npos || name_end + 2 >= stat.size()) return '?';
  return stat[name_end + 2];
}

bool PipeEmpty(int fd) {
  int pending = 0;
  return ioctl(fd, FIONREAD, &pending) == 0 && pending == 0;
}

struct TypedRun {
  std::string transcript;  // standard output, each typed line placed where it was read
  std::string err;
  int status = -1;
  bool timed_out = false;
};

// Runs the editor in `box` and types `lines` one at a time, as a user at a terminal would: a line
// is written only when the editor has taken everything typed so far and sleeps, waiting for
// more. Standard output and standard error go to regular files, so reading standard input is
// the only place the editor can sleep; it flushes its output before every read, so at that
// moment the output file holds everything printed before the read, and the typed line is put
// into the transcript right there. Nothing depends on timing but the overall time limit.
TypedRun RunTyped(const Sandbox& box, const std::vector<std::string>& lines) {
  TypedRun run;
  const Sandbox logs;
  const std::string out_path = logs.dir() + "/out";
  const std::string err_path = logs.dir() + "/err";
  int in_pipe[2] = {-1, -1};
  if (pipe(in_pipe) != 0) return run;
  std::signal(SIGPIPE, SIG_IGN);

  std::string binary = OSTREL_BINARY;
  char* argv[] = {binary.data(), nullptr};
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (chdir(box.dir().c_str()) != 0 || out < 0 || err < 0) _exit(126);
    dup2(in_pipe[0], 0);
    dup2(out, 1);
    dup2(err, 2);
    close(in_pipe[0]);
    close(in_pipe[1]);
    std::signal(SIGPIPE, SIG_DFL);
    execv(argv[0], argv);
    _exit(127);
  }
  close(in_pipe[0]);
  int in = in_pipe[1];

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int wstatus = 0;
  bool ended = false;
  std::size_t shown = 0;  // bytes of the output file already in the transcript
  const auto take_output = [&] {
    const std::string out = ReadFile(out_path);
    if (out.size() > shown) run.transcript += out.substr(shown);
    shown = out.size();
  };
  // Returns true once the editor waits for input (the state seen on several polls in a row),
  // false once it has ended or the time is up.
  const auto await_read = [&] {
    int calm = 0;
    while (!ended) {
      if (waitpid(pid, &wstatus, WNOHANG) == pid) {
        ended = true;
        break;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &wstatus, 0);
        run.timed_out = ended = true;
        break;
      }
      calm = PipeEmpty(in) && ProcessState(pid) == 'S' ? calm + 1 : 0;
      if (calm == 3) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  };

  for (const auto& line : lines) {
    if (!await_read()) break;
    take_output();
    run.transcript += line + "\n";
    const std::string typed = line + "\n";
    if (write(in, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size())) break;
  }
  // Whatever follows the last line; end of input if the editor still waits for more.
  if (await_read()) {
    close(in);
    in = -1;
    await_read();
  }
  if (in >= 0) close(in);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &wstatus, 0);
  }
  take_output();
  run.err = ReadFile(err_path);
  run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return run;
}

TEST(Readme, ExampleSessionIsARealRun) {
  const std::string settings = ReadFile(kExampleDir + "/.vazaru_da");
  const auto input = Lines(ReadFile(kExampleDir + "/session.input"));
  ASSERT_FALSE(settings.empty());
  ASSERT_FALSE(input.empty());

  Sandbox box;
  box.Write(".vazaru_da", settings);
  const TypedRun run = RunTyped(box, input);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  const std::string saved = ReadFile(box.dir() + "/" + kSavedName);
  EXPECT_FALSE(saved.empty()) << "the session saved no " << kSavedName;
  // The settings file is read, not rewritten.
  EXPECT_EQ(ReadFile(box.dir() + "/.vazaru_da"), settings);

  CheckBlock("example-settings", Fenced(settings));
  CheckBlock("example-session", Fenced(run.transcript));
  CheckBlock("example-file", Fenced(saved));
}

// The default settings file, shown whole, is the one the editor writes at its first start.
TEST(Readme, ShowsTheDefaultSettingsFile) {
  Sandbox box;
  const auto run = box.Run({.input = ""});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  const auto file = run.File(".vazaru_da");
  ASSERT_TRUE(file);
  CheckBlock("default-settings", Fenced(*file));
}

// One row "| `KEY` | `NAME` | ... |" per command, exactly the command table of the editor.
TEST(Readme, CommandTableListsEveryCommand) {
  const std::regex row(R"re(^\| `(.)` \| `([a-z_]+)` \|.*\|$)re");
  std::map<std::string, std::string> documented;  // name -> key
  for (const auto& line : Lines(ReadFile(kReadmePath))) {
    std::smatch m;
    if (!std::regex_match(line, m, row)) continue;
    EXPECT_TRUE(documented.emplace(m[2], m[1]).second) << m[2] << " is listed twice";
  }
  for (const auto& slot : kSlots) {
    SCOPED_TRACE(slot.name);
    ASSERT_TRUE(documented.count(slot.name)) << "command missing from the README's table";
    EXPECT_EQ(documented[slot.name], std::string(1, slot.default_key));
  }
  EXPECT_EQ(documented.size(), kSlots.size()) << "the README lists commands that do not exist";
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
