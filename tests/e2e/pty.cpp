#include "e2e/pty.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <stdexcept>

namespace ostrel::e2e {

Terminal::Terminal(const Sandbox& box, const TerminalPlan& plan) {
  if (plan.settings) box.Write(".vazaru_da", *plan.settings);
  for (const auto& [name, content] : plan.files) box.Write(name, content);
  std::vector<std::string> args = {OSTREL_BINARY};
  args.insert(args.end(), plan.args.begin(), plan.args.end());
  if (!plan.shell.empty()) args = {"/bin/sh", "-c", plan.shell, OSTREL_BINARY};
  // The slave starts with the kernel's defaults: canonical, ISIG, ECHO, ONLCR.
  int slave = -1;
  struct winsize size {};
  size.ws_row = plan.rows;
  size.ws_col = plan.cols;
  if (openpty(&master_, &slave, nullptr, nullptr, &size) != 0) {
    throw std::runtime_error("openpty failed");
  }
  // Not left open in a child that another thread starts.
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  struct termios modes {};
  tcgetattr(slave, &modes);
  if (!plan.echo) modes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
  if (!plan.onlcr) modes.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
  tcsetattr(slave, TCSANOW, &modes);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  // The inherited environment with the plan's variables and TERM, unless they set it.
  std::map<std::string, std::string> vars = plan.env;
  vars.emplace("TERM", plan.term);

  try {
    process_ = std::make_unique<Process>(
        ProcessPlan{.argv = args,
                    .dir = box.dir(),
                    .env = InheritedEnvironmentWith(vars),
                    .in_child =
                        [&] {
                          close(master_);
                          // New session with the slave as controlling terminal and standard
                          // streams.
                          if (login_tty(slave) != 0) _exit(126);
                          for (const int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGHUP, SIGTERM})
                            signal(sig, SIG_DFL);
                          sigset_t none;
                          sigemptyset(&none);
                          sigprocmask(SIG_SETMASK, &none, nullptr);
                        },
                    .calls_only = true});
  } catch (...) {
    close(slave);
    CloseMaster();
    throw;
  }
  close(slave);
}

Terminal::~Terminal() {
  process_.reset();  // killed and reaped when still running
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
  const Deadline deadline(10);
  while (!bytes.empty() && master_ >= 0 && !deadline.Passed()) {
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
  const Deadline deadline(timeout_seconds);
  while (out_.find(text, mark_) == std::string::npos) {
    if (deadline.Passed() || !Pump(10)) return out_.find(text, mark_) != std::string::npos;
  }
  return true;
}

void Terminal::Kill(int sig) {
  process_->Kill(sig);
}

pid_t Terminal::pid() const {
  return process_->pid();
}

bool Terminal::WaitUntilReading(double timeout_seconds) {
  return process_->WaitUntilWaiting(Deadline(timeout_seconds), {}, [this] { Pump(0); });
}

bool Terminal::WaitUntilReadingWithoutTimeLimit(double timeout_seconds) {
  const pid_t editor = pid();
  return process_->WaitUntilWaiting(
      Deadline(timeout_seconds), [editor] { return WaitsWithoutTimeLimit(editor); },
      [this] { Pump(0); });
}

bool Terminal::WaitUntilDescendantSleeps(std::string_view name, double timeout_seconds) {
  return WaitForSleepingDescendant(pid(), name, Deadline(timeout_seconds), [this] { Pump(0); });
}

void Terminal::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

TerminalExit Terminal::Wait(double timeout_seconds) {
  const TerminalExit end = process_->Wait(Deadline(timeout_seconds), [this] {
    if (!Pump(10)) poll(nullptr, 0, 5);  // hung up: nothing to drain, just wait
  });
  // What the editor wrote just before it ended.
  for (std::size_t before = std::string::npos; before != out_.size();) {
    before = out_.size();
    if (!Pump(0)) break;
  }
  return end;
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
