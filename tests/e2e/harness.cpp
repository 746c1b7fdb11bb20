#include "e2e/harness.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "e2e/process.h"

namespace ostrel::e2e {
namespace fs = std::filesystem;

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace

std::optional<std::string> RunResult::File(const std::string& name) const {
  const std::string path = dir + "/" + name;
  if (!fs::exists(path)) return std::nullopt;
  return ReadWhole(path);
}

RunResult Sandbox::Run(const RunPlan& plan) const {
  if (plan.settings) Write(".vazaru_da", *plan.settings);
  for (const auto& [name, content] : plan.files) Write(name, content);
  const std::string out_path = dir() + "/../" + fs::path(dir()).filename().string() + ".out";
  const std::string err_path = dir() + "/../" + fs::path(dir()).filename().string() + ".err";
  const std::string in_path = dir() + "/../" + fs::path(dir()).filename().string() + ".in";

  int in_pipe[2] = {-1, -1};
  if (plan.input_from_file) {
    std::ofstream(in_path, std::ios::binary) << plan.input;
  } else if (pipe(in_pipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  signal(SIGPIPE, SIG_IGN);

  std::vector<std::string> argv = {OSTREL_BINARY};
  argv.insert(argv.end(), plan.args.begin(), plan.args.end());
  if (!plan.shell.empty()) argv = {"/bin/sh", "-c", plan.shell, OSTREL_BINARY};
  Process editor({.argv = argv, .dir = dir(), .in_child = [&] {
                    const int in =
                        plan.input_from_file ? open(in_path.c_str(), O_RDONLY) : in_pipe[0];
                    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                    dup2(in, 0);
                    dup2(out, 1);
                    dup2(err, 2);
                    if (!plan.input_from_file) {
                      close(in_pipe[0]);
                      close(in_pipe[1]);
                    }
                    signal(SIGPIPE, SIG_DFL);
                    if (plan.in_child) plan.in_child();
                  }});

  std::thread writer;
  if (!plan.input_from_file) {
    close(in_pipe[0]);
    writer = std::thread([fd = in_pipe[1], &input = plan.input] {
      std::size_t done = 0;
      while (done < input.size()) {
        const ssize_t n = write(fd, input.data() + done, input.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      close(fd);
    });
  }

  RunResult result;
  result.dir = dir();
  const ProcessExit end = editor.Wait(Deadline(plan.timeout_seconds));
  if (writer.joinable()) writer.join();
  result.timed_out = end.timed_out;
  result.max_rss_kb = end.max_rss_kb;
  result.status = end.status();
  result.out = ReadWhole(out_path);
  result.err = ReadWhole(err_path);
  std::error_code ec;
  fs::remove(out_path, ec);
  fs::remove(err_path, ec);
  fs::remove(in_path, ec);
  return result;
}

void AsOrdinaryUser() {
  if (geteuid() != 0) return;
  if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(98);
}

std::function<void()> Staged(const std::string& before, const std::string& cue,
                             const std::function<void()>& meanwhile, const std::string& after) {
  return [=] {
    int in[2];
    if (pipe(in) != 0) _exit(125);
    if (fork() == 0) {
      close(in[0]);
      const auto send = [&](const std::string& text) {
        return write(in[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
      };
      // The output goes straight to the run's file, which is read from here to find the cue.
      char out_path[4096] = {};
      if (!send(before) || readlink("/proc/self/fd/1", out_path, sizeof out_path - 1) <= 0) {
        _exit(0);
      }
      const Deadline deadline(20);
      while (!deadline.Passed() && ReadWhole(out_path).find(cue) == std::string::npos) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      meanwhile();
      (void)send(after);
      _exit(0);
    }
    dup2(in[0], 0);
    close(in[0]);
    close(in[1]);
  };
}

RunResult RunEditor(const RunPlan& plan) {
  Sandbox box;
  return box.Run(plan);
}

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

std::string Settings(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

std::string StartupOutput(const std::string& help_key, const std::string& quit_key) {
  return "Ostrel line editor " OSTREL_VERSION "\nReading RC file: .vazaru_da\n\nEnter '" +
         help_key + "' for help or '" + quit_key + "' to quit\n";
}

std::string LastView(const std::string& out) {
  const auto at = out.rfind("\nEditing ");
  return at == std::string::npos ? std::string() : out.substr(at + 1);
}

}  // namespace ostrel::e2e
