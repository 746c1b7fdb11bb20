// Runs one command with standard input from a file and standard output and error to /dev/null,
// and prints its wall time in seconds, its peak resident memory in KiB, its exit status and its
// CPU time (user and system) in seconds:
//
//   ostrel_measure [--pipe] INPUT -- PROGRAM [ARGS...]
//
// With --pipe the input comes through a pipe that this program fills as the command reads it.
// The wall clock is read around fork and wait, the peak memory comes from the child's own
// resource usage (wait4), so the figures are those of the program alone.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

namespace {

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  const bool piped = argc > 1 && std::strcmp(argv[1], "--pipe") == 0;
  if (piped) {
    --argc;
    ++argv;
  }
  if (argc < 4 || std::strcmp(argv[2], "--") != 0) {
    std::fprintf(stderr, "usage: %s [--pipe] INPUT -- PROGRAM [ARGS...]\n", argv[0]);
    return 2;
  }
  const char* input = argv[1];
  // Through a pipe, the input is read before the clock starts.
  std::string bytes;
  if (piped) {
    std::ifstream f(input, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    bytes = s.str();
  }
  int fds[2] = {-1, -1};
  if (piped && pipe(fds) != 0) {
    std::perror("pipe");
    return 2;
  }
  (void)std::signal(SIGPIPE, SIG_IGN);
  const double start = Now();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    return 2;
  }
  if (pid == 0) {
    const int in = piped ? fds[0] : open(input, O_RDONLY);
    const int out = open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0) _exit(126);
    if (piped) close(fds[1]);
    (void)std::signal(SIGPIPE, SIG_DFL);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    close(in);
    close(out);
    execvp(argv[3], argv + 3);
    _exit(127);
  }
  if (piped) {
    close(fds[0]);
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = write(fds[1], bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;  // the command stopped reading
      done += static_cast<std::size_t>(n);
    }
    close(fds[1]);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) < 0) {
    std::perror("wait4");
    return 2;
  }
  const double elapsed = Now() - start;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  std::printf("%.6f %ld %d %.6f\n", elapsed, usage.ru_maxrss, code,
              seconds(usage.ru_utime) + seconds(usage.ru_stime));
  return 0;
}
