#include "e2e/process.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace ostrel::e2e {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

void Pause() {
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The fields of /proc/PID/stat that the waits look at.
struct Stat {
  std::string name;
  char state = '?';
  pid_t parent = 0;
};

std::optional<Stat> ReadStat(const std::string& pid) {
  std::ifstream f("/proc/" + pid + "/stat");
  const std::string stat{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  // "PID (NAME) STATE PPID ...": the name may hold spaces and parentheses itself.
  const auto open = stat.find('(');
  const auto close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 4 >= stat.size()) {
    return std::nullopt;
  }
  Stat s{.name = stat.substr(open + 1, close - open - 1), .state = stat[close + 2]};
  s.parent = static_cast<pid_t>(std::atol(stat.c_str() + close + 4));
  return s;
}

}  // namespace

Deadline::Deadline(double seconds)
    : at_(Clock::now() +
          std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds))) {}

Process::Process(const ProcessPlan& plan) {
  std::vector<std::string> args = plan.argv;
  std::vector<std::string> env;
  if (plan.env) env = *plan.env;
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  pid_ = plan.calls_only ? vfork() : fork();
  if (pid_ == 0) {
    if (!plan.dir.empty() && chdir(plan.dir.c_str()) != 0) _exit(126);
    if (plan.in_child) plan.in_child();
    execve(argv[0], argv.data(), plan.env ? envp.data() : environ);
    _exit(127);
  }
  if (pid_ < 0) throw std::runtime_error("fork failed");
}

Process::~Process() {
  if (!Ended()) {
    kill(pid_, SIGKILL);
    Reap(true);
  }
}

void Process::Kill(int sig) {
  if (!Ended()) kill(pid_, sig);
}

bool Process::Reap(bool block) {
  if (exit_) return true;
  int wstatus = 0;
  struct rusage usage {};
  if (wait4(pid_, &wstatus, block ? 0 : WNOHANG, &usage) != pid_) return false;
  ProcessExit e;
  e.exited = WIFEXITED(wstatus);
  e.code = e.exited ? WEXITSTATUS(wstatus) : -1;
  e.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  e.max_rss_kb = usage.ru_maxrss;
  exit_ = e;
  return true;
}

ProcessExit Process::Wait(const Deadline& deadline, const std::function<void()>& meanwhile) {
  // Without work meanwhile, a descriptor of the process wakes the wait at its end, instead of
  // a look every millisecond; where there is none, it looks.
  const int end = meanwhile || exit_ ? -1 : static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  while (!Ended()) {
    if (deadline.Passed()) {
      kill(pid_, SIGKILL);
      Reap(true);
      exit_->timed_out = true;
      break;
    }
    if (meanwhile) {
      meanwhile();
    } else if (pollfd p{end, POLLIN, 0}; end < 0 || poll(&p, 1, 10) < 0) {
      Pause();
    }
  }
  if (end >= 0) close(end);
  return *exit_;
}

bool Process::WaitUntilWaiting(const Deadline& deadline, const std::function<bool()>& input_taken,
                               const std::function<void()>& meanwhile) {
  // Asleep on three looks in a row: a process that only paused between two system calls has
  // gone on by then.
  int calm = 0;
  while (!Ended() && !deadline.Passed()) {
    const bool waiting = (!input_taken || input_taken()) && ProcessState(pid_) == 'S';
    calm = waiting ? calm + 1 : 0;
    if (calm == 3) return true;
    if (meanwhile) meanwhile();
    Pause();
  }
  return false;
}

std::vector<std::string> InheritedEnvironmentWith(const std::map<std::string, std::string>& vars) {
  std::map<std::string, std::string> all;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry(*e);
    const auto eq = entry.find('=');
    if (eq != std::string_view::npos) all[std::string(entry.substr(0, eq))] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : vars) all[name] = value;
  std::vector<std::string> out;
  for (const auto& [name, value] : all) out.push_back(name + "=" + value);
  return out;
}

char ProcessState(pid_t pid) {
  const auto stat = ReadStat(std::to_string(pid));
  return stat ? stat->state : '?';
}

bool WaitsWithoutTimeLimit(pid_t pid) {
  // "NUMBER ARG1 ARG2 ARG3 …" while in a system call; ppoll's third argument is its timeout,
  // pselect6's (the wait of a build without ppoll) its fifth.
  std::ifstream f("/proc/" + std::to_string(pid) + "/syscall");
  long number = -1;
  std::string args[5];
  if (!(f >> number >> args[0] >> args[1] >> args[2] >> args[3] >> args[4])) return false;
  const std::string* timeout = number == SYS_ppoll      ? &args[2]
                               : number == SYS_pselect6 ? &args[4]
                                                        : nullptr;
  return ProcessState(pid) == 'S' && timeout != nullptr && std::stoul(*timeout, nullptr, 16) == 0;
}

bool WaitForSleepingDescendant(pid_t root, std::string_view name, const Deadline& deadline,
                               const std::function<void()>& meanwhile) {
  while (!deadline.Passed()) {
    std::map<pid_t, Stat> all;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
      const std::string pid = entry.path().filename().string();
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      if (const auto stat = ReadStat(pid)) all[static_cast<pid_t>(std::stol(pid))] = *stat;
    }
    for (const auto& [pid, stat] : all) {
      if (stat.name != name || stat.state != 'S') continue;
      for (pid_t up = stat.parent; up > 1;) {
        if (up == root) return true;
        const auto it = all.find(up);
        up = it == all.end() ? 0 : it->second.parent;
      }
    }
    if (meanwhile) meanwhile();
    Pause();
  }
  return false;
}

}  // namespace ostrel::e2e
