#include "e2e/readme_session.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>

#include "e2e/process.h"

namespace ostrel::e2e {
namespace {

// The comment where block `name` begins (`end` "begin") or ends ("end").
std::string Marker(const std::string& name, const std::string& end) {
  return "<!-- " + name + ":" + end + " -->";
}

bool PipeEmpty(int fd) {
  int pending = 0;
  return ioctl(fd, FIONREAD, &pending) == 0 && pending == 0;
}

}  // namespace

std::string Fenced(const std::string& body) {
  return "\n```\n" + body + "```\n";
}

std::optional<std::string> Block(const std::string& text, const std::string& name) {
  const auto begin = text.find(Marker(name, "begin"));
  if (begin == std::string::npos) return std::nullopt;
  const auto start = begin + Marker(name, "begin").size();
  const auto end = text.find(Marker(name, "end"), start);
  if (end == std::string::npos) return std::nullopt;
  return text.substr(start, end - start);
}

bool ReplaceBlock(std::string& text, const std::string& name, const std::string& body) {
  const auto current = Block(text, name);
  if (!current) return false;
  const auto start = text.find(Marker(name, "begin")) + Marker(name, "begin").size();
  text.replace(start, current->size(), body);
  return true;
}

TypedRun RunTyped(const Sandbox& box, const std::vector<std::string>& lines) {
  TypedRun run;
  const Sandbox logs;
  const std::string out_path = logs.Path("out");
  const std::string err_path = logs.Path("err");
  int in_pipe[2] = {-1, -1};
  if (pipe(in_pipe) != 0) return run;
  signal(SIGPIPE, SIG_IGN);

  Process editor({.argv = {OSTREL_BINARY}, .dir = box.dir(), .in_child = [&] {
                    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                    if (out < 0 || err < 0) _exit(126);
                    dup2(in_pipe[0], 0);
                    dup2(out, 1);
                    dup2(err, 2);
                    close(in_pipe[0]);
                    close(in_pipe[1]);
                    signal(SIGPIPE, SIG_DFL);
                  }});
  close(in_pipe[0]);
  const int in = in_pipe[1];

  const Deadline deadline(20);
  std::size_t shown = 0;  // bytes of the output file already in the transcript
  const auto take_output = [&] {
    const std::string out = ReadFile(out_path);
    if (out.size() > shown) run.transcript += out.substr(shown);
    shown = out.size();
  };
  // The editor has taken everything typed so far and sleeps, waiting for more.
  const auto await_read = [&] {
    return editor.WaitUntilWaiting(deadline, [&] { return PipeEmpty(in); });
  };

  for (const auto& line : lines) {
    if (!await_read()) break;
    take_output();
    run.transcript += line + "\n";
    const std::string typed = line + "\n";
    if (write(in, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size())) break;
  }
  // Whatever follows the last line is taken before the end of input.
  await_read();
  close(in);
  const ProcessExit end = editor.Wait(deadline);
  take_output();
  run.err = ReadFile(err_path);
  run.status = end.status();
  run.timed_out = end.timed_out;
  return run;
}

ExampleSession RunExampleSession() {
  ExampleSession session;
  session.settings = ReadFile(kExampleDir + "/.vazaru_da");
  session.input = Lines(ReadFile(kExampleDir + "/session.input"));
  const Sandbox box;
  box.Write(".vazaru_da", session.settings);
  session.run = RunTyped(box, session.input);
  session.saved = ReadFile(box.Path(kSavedName));
  session.settings_after = ReadFile(box.Path(".vazaru_da"));
  return session;
}

std::vector<std::pair<std::string, std::string>> ExampleBlocks(const ExampleSession& session) {
  return {{"example-settings", Fenced(session.settings)},
          {"example-session", Fenced(session.run.transcript)},
          {"example-file", Fenced(session.saved)}};
}

DefaultSettings RunDefaultSettings() {
  const Sandbox box;
  DefaultSettings d;
  d.run = box.Run({.input = ""});
  d.file = d.run.File(".vazaru_da");
  return d;
}

}  // namespace ostrel::e2e
