#include "e2e/injector.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

namespace ostrel::e2e {
namespace {

#if defined(__x86_64__)
constexpr unsigned kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kArch = AUDIT_ARCH_AARCH64;
#else
constexpr unsigned kArch = 0;  // no filter is built for this machine kind
#endif

#define OSTREL_CALL(name) {#name, SYS_##name},

// The calls a save, a load or a rescue makes on files and memory, by the names strace gives
// them; a name missing here fails its row (Injectable), never skips it.
const std::map<std::string, long>& Numbers() {
  // clang-format off
  static const std::map<std::string, long> numbers = {
    OSTREL_CALL(read) OSTREL_CALL(write) OSTREL_CALL(pread64) OSTREL_CALL(pwrite64)
    OSTREL_CALL(openat) OSTREL_CALL(close) OSTREL_CALL(fstat) OSTREL_CALL(newfstatat)
    OSTREL_CALL(statx) OSTREL_CALL(lseek) OSTREL_CALL(fsync) OSTREL_CALL(fdatasync)
    OSTREL_CALL(ftruncate) OSTREL_CALL(fallocate) OSTREL_CALL(linkat) OSTREL_CALL(renameat)
    OSTREL_CALL(renameat2) OSTREL_CALL(unlinkat) OSTREL_CALL(fchown) OSTREL_CALL(fchmod)
    OSTREL_CALL(fchownat) OSTREL_CALL(fchmodat) OSTREL_CALL(faccessat) OSTREL_CALL(faccessat2)
    OSTREL_CALL(readlinkat) OSTREL_CALL(getdents64) OSTREL_CALL(flock) OSTREL_CALL(fcntl)
    OSTREL_CALL(dup) OSTREL_CALL(dup3) OSTREL_CALL(ioctl) OSTREL_CALL(umask)
    OSTREL_CALL(statfs) OSTREL_CALL(fstatfs) OSTREL_CALL(getrandom) OSTREL_CALL(mmap)
    OSTREL_CALL(munmap) OSTREL_CALL(mremap) OSTREL_CALL(mprotect) OSTREL_CALL(madvise)
    OSTREL_CALL(brk) OSTREL_CALL(getcwd) OSTREL_CALL(chdir) OSTREL_CALL(fchdir)
    OSTREL_CALL(mkdirat) OSTREL_CALL(symlinkat)
#if defined(SYS_rename)
    OSTREL_CALL(rename) OSTREL_CALL(unlink) OSTREL_CALL(link) OSTREL_CALL(access)
    OSTREL_CALL(stat) OSTREL_CALL(lstat) OSTREL_CALL(open) OSTREL_CALL(readlink)
    OSTREL_CALL(dup2) OSTREL_CALL(chmod) OSTREL_CALL(chown) OSTREL_CALL(mkdir)
    OSTREL_CALL(symlink)
#endif
  };
  // clang-format on
  return numbers;
}

#undef OSTREL_CALL

// One injection as the supervisor checks it.
struct Rule {
  long number;
  int when;
  int error;
  int signal;
  std::string path;  // empty: counted by `when`
  std::function<void()> act;
};

// A filter that hands the calls of `rules` to the supervisor and lets every other call through.
std::vector<sock_filter> Filter(const std::vector<Rule>& rules) {
  std::vector<sock_filter> code = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
  };
  for (const Rule& rule : rules) {
    code.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(rule.number), 0, 1));
    code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF));
  }
  code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  return code;
}

// Whether descriptor `fd` of process `pid` is open on `path`.
bool OpenOn(pid_t pid, unsigned long long fd, const std::string& path) {
  std::error_code ec;
  const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
  return std::filesystem::read_symlink(link, ec) == path;
}

// Answers the calls the filter hands over until no process is left under it.
void Supervise(int listener, const std::vector<Rule>& rules) {
  std::map<long, int> counts;
  for (;;) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, -1) < 0 && errno == EINTR) continue;
    if ((p.revents & POLLIN) == 0) return;
    seccomp_notif call{};
    if (ioctl(listener, SECCOMP_IOCTL_NOTIF_RECV, &call) != 0) continue;
    const int count = ++counts[call.data.nr];
    const auto pid = static_cast<pid_t>(call.pid);
    seccomp_notif_resp answer{
        .id = call.id, .val = 0, .error = 0, .flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE};
    bool killed = false;
    for (const Rule& rule : rules) {
      const bool hit =
          rule.number == call.data.nr &&
          (rule.path.empty() ? count == rule.when : OpenOn(pid, call.data.args[0], rule.path));
      if (!hit) continue;
      if (rule.act) rule.act();
      if (rule.signal != 0) kill(pid, rule.signal);
      if (rule.error != 0) answer = {.id = call.id, .val = 0, .error = -rule.error, .flags = 0};
      killed = rule.signal == SIGKILL;
      break;
    }
    // Killed in the call, the editor never makes it: an answer could still let it through.
    if (!killed) ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &answer);  // fails for a process gone
  }
}

// A message of one byte with room for one descriptor beside it (SCM_RIGHTS), the way the
// child hands the filter's descriptor over. It may not be copied: it points into itself.
struct DescriptorMessage {
  char byte = 0;
  iovec data{&byte, 1};
  alignas(cmsghdr) char space[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{.msg_name = nullptr,
                 .msg_namelen = 0,
                 .msg_iov = &data,
                 .msg_iovlen = 1,
                 .msg_control = space,
                 .msg_controllen = sizeof space,
                 .msg_flags = 0};
  DescriptorMessage() = default;
  DescriptorMessage(const DescriptorMessage&) = delete;
  DescriptorMessage& operator=(const DescriptorMessage&) = delete;
};

// Receives one descriptor over `sock`, or -1 when the socket is shut down first.
int ReceiveDescriptor(int sock) {
  DescriptorMessage m;
  if (recvmsg(sock, &m.message, MSG_CMSG_CLOEXEC) != 1) return -1;
  const cmsghdr* header = CMSG_FIRSTHDR(&m.message);
  if (header == nullptr || header->cmsg_type != SCM_RIGHTS) return -1;
  int fd = -1;
  std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
  return fd;
}

bool SendDescriptor(int sock, int fd) {
  DescriptorMessage m;
  cmsghdr* header = CMSG_FIRSTHDR(&m.message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
  return sendmsg(sock, &m.message, 0) == 1;
}

std::vector<Rule> Rules(const std::vector<Injection>& injections) {
  std::vector<Rule> rules;
  for (const Injection& injection : injections) {
    std::error_code ec;
    // As /proc shows a descriptor's file: the path with its links resolved.
    const std::filesystem::path real =
        injection.path.empty() ? "" : std::filesystem::canonical(injection.path, ec);
    rules.push_back({Numbers().at(injection.name), injection.when, injection.error,
                     injection.signal, ec ? injection.path : real.string(), injection.act});
  }
  return rules;
}

}  // namespace

std::optional<std::string> CannotInject() {
  if (kArch == 0) return "system calls are made to fail only on x86-64 and AArch64";
  return std::nullopt;
}

bool Injectable(const std::string& name) {
  return Numbers().contains(name);
}

Injector::Injector(const std::vector<Injection>& injections) {
  const std::vector<Rule> rules = Rules(injections);
  filter_ = Filter(rules);
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sock_) != 0) {
    throw std::runtime_error("socketpair failed");
  }
  supervisor_ = std::thread([this, rules] {
    const int listener = ReceiveDescriptor(sock_[0]);
    if (listener < 0) return;
    Supervise(listener, rules);
    close(listener);
  });
}

Injector::~Injector() {
  shutdown(sock_[0], SHUT_RDWR);  // a child that never handed the filter over ends the wait
  supervisor_.join();
  close(sock_[0]);
  close(sock_[1]);
}

std::function<void()> Injector::InChild() const {
  return [this] {
    const sock_fprog program{static_cast<unsigned short>(filter_.size()),
                             const_cast<sock_filter*>(filter_.data())};
    // From the filter on, the child makes no call a save makes before its exec.
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) _exit(96);
    const long listener =
        syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_NEW_LISTENER, &program);
    if (listener < 0 || !SendDescriptor(sock_[1], static_cast<int>(listener))) _exit(96);
  };
}

}  // namespace ostrel::e2e
