#include "e2e/harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "e2e/process.h"
#include "support/documents.h"

namespace ostrel::e2e {
namespace fs = std::filesystem;

namespace {

// A copy of the editor that kNobody can run, and why not when it cannot.
struct ReachableCopy {
  test::ScratchDir folder;
  std::string path = folder.Path("ostrel");
  std::optional<std::string> cannot;

  ReachableCopy() {
    std::error_code ec;
    if (chmod(folder.dir().c_str(), 0711) != 0 || !fs::copy_file(OSTREL_BINARY, path, ec)) {
      cannot = "cannot copy the editor to " + folder.dir();
      return;
    }
    chmod(path.c_str(), 0755);
    // One run tells whether the user can be taken on and the copy reached.
    Process probe({.argv = {path, "--version"}, .in_child = [] {
                     const int null = open("/dev/null", O_WRONLY);
                     dup2(null, 1);
                     dup2(null, 2);
                     AsOrdinaryUser();
                   }});
    const int status = probe.Wait(Deadline(20)).status();
    if (status == 98) cannot = "root may not change to user " + std::to_string(kNobody);
    if (status != 0 && status != 98) {
      cannot = "user " + std::to_string(kNobody) + " cannot run " + path + " (status " +
               std::to_string(status) + ")";
    }
  }
};

const ReachableCopy& Copy() {
  static const ReachableCopy copy;
  return copy;
}

}  // namespace

std::optional<std::string> CannotRunAsOrdinaryUser() {
  if (geteuid() != 0) return std::nullopt;
  return Copy().cannot;
}

std::string EditorPath(bool as_ordinary_user) {
  return as_ordinary_user && geteuid() == 0 ? Copy().path : OSTREL_BINARY;
}

std::optional<std::string> RunResult::File(const std::string& name) const {
  const std::string path = dir + "/" + name;
  if (!fs::exists(path)) return std::nullopt;
  return test::ReadFile(path);
}

std::optional<std::string> Sandbox::File(const std::string& name) const {
  return RunResult{.dir = dir()}.File(name);
}

RunResult Sandbox::Run(const RunPlan& plan) const {
  if (plan.settings) Write(".vazaru_da", *plan.settings);
  for (const auto& [name, content] : plan.files) Write(name, content);
  // The output goes to files in memory: hundreds of runs then make and remove no files on disk.
  const int out_file = memfd_create("out", MFD_CLOEXEC);
  const int err_file = memfd_create("err", MFD_CLOEXEC);
  if (out_file < 0 || err_file < 0) throw std::runtime_error("memfd_create failed");
  const std::string in_path = dir() + "/../" + fs::path(dir()).filename().string() + ".in";

  int in_pipe[2] = {-1, -1};
  if (plan.input_from_file) {
    std::ofstream(in_path, std::ios::binary) << plan.input;
  } else if (pipe2(in_pipe, O_CLOEXEC) != 0) {  // not left open in another thread's child
    throw std::runtime_error("pipe failed");
  }
  signal(SIGPIPE, SIG_IGN);

  const std::string editor_path = EditorPath(plan.as_ordinary_user);
  std::vector<std::string> argv = {editor_path};
  argv.insert(argv.end(), plan.args.begin(), plan.args.end());
  if (!plan.shell.empty()) argv = {"/bin/sh", "-c", plan.shell, editor_path};
  std::optional<std::vector<std::string>> env;
  if (!plan.env.empty()) env = InheritedEnvironmentWith(plan.env);
  // Without a hook of the caller's that may do more, the child only makes system calls.
  const bool calls_only = !plan.in_child || plan.in_child_calls_only;
  Process editor({.argv = argv,
                  .dir = dir(),
                  .env = env,
                  .in_child =
                      [&] {
                        const int in =
                            plan.input_from_file ? open(in_path.c_str(), O_RDONLY) : in_pipe[0];
                        dup2(in, 0);
                        dup2(out_file, 1);
                        dup2(err_file, 2);
                        if (!plan.input_from_file) {
                          close(in_pipe[0]);
                          close(in_pipe[1]);
                        }
                        signal(SIGPIPE, SIG_DFL);
                        if (plan.in_child) plan.in_child();
                        if (plan.as_ordinary_user) AsOrdinaryUser();
                      },
                  .calls_only = calls_only});

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
  result.out = test::ReadFile("/proc/self/fd/" + std::to_string(out_file));
  result.err = test::ReadFile("/proc/self/fd/" + std::to_string(err_file));
  close(out_file);
  close(err_file);
  std::error_code ec;
  fs::remove(in_path, ec);
  return result;
}

void AsOrdinaryUser() {
  if (geteuid() != 0) return;
  // The calls themselves: the C library's would change every thread of a process that shares
  // the test's memory.
  if (syscall(SYS_setgroups, 0, nullptr) != 0 || syscall(SYS_setgid, kNobody) != 0 ||
      syscall(SYS_setuid, kNobody) != 0) {
    _exit(98);
  }
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
      if (!send(before)) _exit(0);
      const Deadline deadline(20);
      while (!deadline.Passed() &&
             test::ReadFile("/proc/self/fd/1").find(cue) == std::string::npos) {
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

void InParallel(std::size_t count, std::size_t threads,
                const std::function<void(std::size_t)>& run) {
#if defined(__SANITIZE_ADDRESS__)
  // A run forks, and its child goes on in C++ (it allocates, reads files) before the editor is
  // started: forked from a process whose other threads may hold the sanitizer allocator's
  // locks, such a child can wait for them forever. Under the sanitizers the runs go one by one.
  threads = 1;
#endif
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> workers;
  for (std::size_t i = 0; i < std::min(count, threads); ++i) {
    workers.emplace_back([&] {
      for (std::size_t k = next++; k < count; k = next++) run(k);
    });
  }
  for (std::thread& worker : workers) worker.join();
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
