#include "e2e/pty.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <chrono>
#include <stdexcept>

extern char** environ;

namespace ostrel::e2e {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point After(double seconds) {
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// The inherited environment with TERM and the plan's variables set.
std::vector<std::string> Environment(const TerminalPlan& plan) {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry(*e);
    const auto eq = entry.find('=');
    if (eq != std::string_view::npos) vars[std::string(entry.substr(0, eq))] = entry.substr(eq + 1);
  }
  vars["TERM"] = plan.term;
  for (const auto& [name, value] : plan.env) vars[name] = value;
  std::vector<std::string> out;
  for (const auto& [name, value] : vars) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

Terminal::Terminal(const Sandbox& box, const TerminalPlan& plan) {
  if (plan.settings) box.Write(".vazaru_da", *plan.settings);
  for (const auto& [name, content] : plan.files) box.Write(name, content);
  std::vector<std::string> args = {OSTREL_BINARY};
  args.insert(args.end(), plan.args.begin(), plan.args.end());
  if (!plan.shell.empty()) args = {"/bin/sh", "-c", plan.shell, OSTREL_BINARY};
  std::vector<std::string> env = Environment(plan);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);

  // The slave starts with the kernel's defaults: canonical, ISIG, ECHO, ONLCR.
  int slave = -1;
  struct winsize size {};
  size.ws_row = plan.rows;
  size.ws_col = plan.cols;
  if (openpty(&master_, &slave, nullptr, nullptr, &size) != 0) {
    throw std::runtime_error("openpty failed");
  }
  struct termios modes {};
  tcgetattr(slave, &modes);
  if (!plan.echo) modes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
  if (!plan.onlcr) modes.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
  tcsetattr(slave, TCSANOW, &modes);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

  pid_ = fork();
  if (pid_ == 0) {
    close(master_);
    // New session with the slave as controlling terminal and standard streams.
    if (login_tty(slave) != 0 || chdir(box.dir().c_str()) != 0) _exit(126);
    for (const int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGHUP, SIGTERM}) signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(slave);
  if (pid_ < 0) {
    close(master_);
    throw std::runtime_error("fork failed");
  }
}

Terminal::~Terminal() {
  if (!exit_) {
    kill(pid_, SIGKILL);
    int wstatus = 0;
    waitpid(pid_, &wstatus, 0);
  }
  CloseMaster();
}

bool Terminal::Pump(int wait_ms) {
  if (master_ < 0) return false;
  struct pollfd p {
    master_, POLLIN, 0
  };
  if (poll(&p, 1, wait_ms) <= 0) return true;
  char chunk[4096];
  while (true) {
    const ssize_t n = read(master_, chunk, sizeof chunk);
    if (n > 0) {
      out_.append(chunk, static_cast<std::size_t>(n));
      continue;
    }
    // EIO: every slave descriptor is closed, nothing more will come.
    return n < 0 && (errno == EAGAIN || errno == EINTR);
  }
}

bool Terminal::Send(std::string_view bytes) {
  const auto deadline = After(10);
  while (!bytes.empty() && master_ >= 0 && Clock::now() < deadline) {
    const ssize_t n = write(master_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return false;
    } else if (!Pump(5)) {  // the input queue is full: let the editor go on meanwhile
      return false;
    }
  }
  return bytes.empty();
}

bool Terminal::WaitFor(std::string_view text, double timeout_seconds) {
  const auto deadline = After(timeout_seconds);
  while (out_.find(text, mark_) == std::string::npos) {
    if (Clock::now() >= deadline || !Pump(10)) return out_.find(text, mark_) != std::string::npos;
  }
  return true;
}

void Terminal::Kill(int sig) {
  if (!exit_) kill(pid_, sig);
}

void Terminal::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

TerminalExit Terminal::Wait(double timeout_seconds) {
  if (exit_) return *exit_;
  const auto deadline = After(timeout_seconds);
  TerminalExit result;
  int wstatus = 0;
  while (waitpid(pid_, &wstatus, WNOHANG) != pid_) {
    if (Clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &wstatus, 0);
      result.timed_out = true;
      break;
    }
    if (!Pump(10)) {  // hung up: nothing to drain, just wait
      poll(nullptr, 0, 5);
    }
  }
  // What the editor wrote just before it ended.
  for (std::size_t before = std::string::npos; before != out_.size();) {
    before = out_.size();
    if (!Pump(0)) break;
  }
  result.exited = WIFEXITED(wstatus);
  result.code = result.exited ? WEXITSTATUS(wstatus) : -1;
  result.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  exit_ = result;
  return result;
}

std::string CrLfToLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  }
  return out;
}

}  // namespace ostrel::e2e
