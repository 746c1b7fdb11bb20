// Makes chosen system calls of the editor fail, or kills it as it makes one, without a tracer:
// a seccomp filter hands just those calls to a thread of the test, which counts them and
// answers each with the call itself, an error, or a signal. A run costs about what an untraced
// one does, so a table can fail every call of a save one by one.
#pragma once

#include <linux/filter.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::e2e {

// The `when`th call of system call `name` since the editor started (1 for the first) fails
// with `error`, or with a `signal` the editor gets it as it enters the call, which is then not
// made. With a `path`, every call of `name` whose first argument is a descriptor open on that
// file fails so, whatever `when` says. With an `act`, the editor waits in the call while the
// test's thread runs it (as another program would, between two calls), and then makes it.
struct Injection {
  std::string name;
  int when = 0;
  std::string path;
  int error = 0;
  int signal = 0;
  std::function<void()> act;
};

// Why no call can be injected on this machine kind, or nullopt when calls can.
std::optional<std::string> CannotInject();

// Whether calls of `name` can be injected: names are added to the table as the editor's calls
// need them.
bool Injectable(const std::string& name);

// Puts a run under the injections: InChild() is the run's RunPlan::in_child (it makes system
// calls only, and then leaves the exec to the run), and a thread of the test answers the calls
// handed over until the editor has ended.
class Injector {
 public:
  explicit Injector(const std::vector<Injection>& injections);
  ~Injector();
  Injector(const Injector&) = delete;
  Injector& operator=(const Injector&) = delete;

  std::function<void()> InChild() const;

 private:
  std::vector<sock_filter> filter_;
  int sock_[2] = {-1, -1};  // the child hands the filter's descriptor over [1] to [0]
  std::thread supervisor_;
};

}  // namespace ostrel::e2e
