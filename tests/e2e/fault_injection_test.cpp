// A save holds under every single fault: the real editor runs with one system call of the save
// made to fail. The calls are not listed here: they come from strace's trace of a normal save of
// the same case, so the table follows the code. Every run must leave the old file
// or the whole new one (writing in place, or else name the rescue file that holds the whole new
// text, made before the first byte), say "Saved to" only for the whole new text and "Cannot
// save" otherwise, end with status 1 after a failure, leave no temporary file, and keep the mode
// and the owner. A SIGKILL during a series of saves leaves no temporary file either.
#include "e2e/checks.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/platform.h"
#include "e2e/injector.h"

namespace ostrel::e2e {
namespace {

// strace from $PATH, or nothing.
std::optional<std::string> FindStrace() {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = dir + "/strace";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

// Whether `text` holds `part`.
bool Holds(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// One system call of a trace: its name and the whole line.
struct Call {
  std::string name;
  std::string line;
};

// A fault to inject: the `when`th call of `name` since the start fails with `error`, or with a
// `signal` kills the editor as it makes the call; with a `path` (in the run's directory), every
// call of `name` on that file fails. With `refused_tmpfile`, that openat fails too, as where
// unnamed files are not offered.
struct Fault {
  std::string name;
  int when = 0;
  int error = 0;
  std::string path;
  int signal = 0;
  int refused_tmpfile = 0;
  std::vector<Injection> Injections(const std::string& dir) const {
    std::vector<Injection> injections = {{.name = name,
                                          .when = when,
                                          .path = path.empty() ? "" : dir + "/" + path,
                                          .error = error,
                                          .signal = signal}};
    if (refused_tmpfile != 0) {
      injections.push_back({.name = "openat", .when = refused_tmpfile, .error = EOPNOTSUPP});
    }
    return injections;
  }
  // For SCOPED_TRACE: the fault as strace's -e inject would give it.
  std::string Option() const {
    const std::string when_part = path.empty() ? ":when=" + std::to_string(when) : "";
    const std::string what = signal != 0 ? std::string("signal=") + sigabbrev_np(signal)
                                         : std::string("error=") + strerrorname_np(error);
    return "inject=" + name + ":" + what + when_part;
  }
};

// A run of `plan` in `box` with the `injections` made.
RunResult RunInjected(const Sandbox& box, const std::vector<Injection>& injections, RunPlan plan) {
  const Injector injector(injections);
  plan.in_child = injector.InChild();
  plan.in_child_calls_only = true;
  return box.Run(plan);
}

// The errors a call can really meet, the ones that steer the code first.
std::vector<int> ErrorsFor(const std::string& name) {
  if (name == "write" || name == "fallocate") return {EIO, ENOSPC, EDQUOT, EINTR};
  if (name == "fsync" || name == "fdatasync") return {EIO, ENOSPC, EDQUOT};
  if (name == "ftruncate") return {EIO, EPERM};
  if (name == "openat") return {EACCES, EIO, ENOSPC, EMFILE};
  if (name == "linkat" || name.starts_with("rename")) return {EACCES, EIO, ENOSPC};
  if (name == "fchown" || name == "fchmod") return {EPERM, EIO};
  if (name.starts_with("faccessat")) return {EACCES, EIO};
  if (name == "mmap") return {ENOMEM};
  return {EIO};
}

// Calls that are no part of the file's fate: the process's own state (the ids cannot fail),
// and, under the sanitizers, memory calls, which their allocator does not survive.
bool Skipped(const Call& call) {
  // clang-format off
  static const std::set<std::string> kSkipped = {
    "getpid", "gettid", "getuid", "geteuid", "getgid", "getegid", "rt_sigprocmask",
    "rt_sigaction", "clock_gettime",
#if defined(__SANITIZE_ADDRESS__)
    "mmap", "munmap", "mprotect", "madvise", "brk",
#endif
  };
  // clang-format on
  // Standard input and output belong to the conversation, not to the save.
  const std::string args = call.line.substr(call.name.size() + 1);
  return kSkipped.contains(call.name) || args.starts_with("0,") || args.starts_with("1,") ||
         args.starts_with("2,");
}

// The calls the sanitizers' runtime makes to test whether memory may be read: a pipe, a write
// into it, and its two ends closed. A fault there breaks the runtime, not the save.
std::set<std::size_t> SanitizerPipeCalls(const std::vector<Call>& trace) {
  std::set<std::size_t> calls;
#if defined(__SANITIZE_ADDRESS__)
  std::set<std::string> open_ends;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    const std::string& line = trace[i].line;
    if (line.starts_with("pipe2([")) {
      const std::size_t comma = line.find(", ");
      const std::size_t close = line.find(']');
      open_ends.insert(line.substr(7, comma - 7));
      open_ends.insert(line.substr(comma + 2, close - comma - 2));
      calls.insert(i);
      continue;
    }
    const std::string args = line.substr(trace[i].name.size() + 1);
    for (const std::string& fd : open_ends) {
      if (!args.starts_with(fd + ",") && !args.starts_with(fd + ")")) continue;
      calls.insert(i);
      if (trace[i].name == "close") open_ends.erase(fd);
      break;
    }
  }
#else
  (void)trace;
#endif
  return calls;
}

// The faults for the calls trace[from, to): each call once with each of its errors; the calls
// in `first_error_only` (the rescue writer's, tested in full elsewhere) with their first.
std::vector<Fault> FaultsBetween(const std::vector<Call>& trace, std::size_t from, std::size_t to,
                                 std::pair<std::size_t, std::size_t> first_error_only = {}) {
  std::vector<Fault> faults;
  std::map<std::string, int> seen;
  const std::set<std::size_t> sanitizer_calls = SanitizerPipeCalls(trace);
  for (std::size_t i = 0; i < to && i < trace.size(); ++i) {
    const int when = ++seen[trace[i].name];
    if (i < from || Skipped(trace[i]) || sanitizer_calls.contains(i)) continue;
    std::vector<int> errors = ErrorsFor(trace[i].name);
    if (i >= first_error_only.first && i < first_error_only.second) errors.resize(1);
    // A file system without unnamed files refuses them so.
    if (Holds(trace[i].line, "O_TMPFILE")) errors.push_back(EOPNOTSUPP);
    for (const int error : errors) {
      faults.push_back({.name = trace[i].name, .when = when, .error = error});
    }
    // A kill as the new file gets its temporary name, and as that name replaces the target.
    if (trace[i].name == "linkat" || trace[i].name.starts_with("rename")) {
      faults.push_back({.name = trace[i].name, .when = when, .signal = SIGKILL});
    }
  }
  return faults;
}

// The first call from trace[from] whose line starts with `start` and holds `part`.
std::size_t FindCall(const std::vector<Call>& trace, std::size_t from, const std::string& start,
                     const std::string& part = "") {
  for (std::size_t i = from; i < trace.size(); ++i) {
    if (trace[i].line.starts_with(start) && Holds(trace[i].line, part)) return i;
  }
  return trace.size();
}

// The open of the document to be written in place, relative to the folder the save opened.
std::size_t FindInPlaceOpen(const std::vector<Call>& trace, std::size_t from) {
  return FindCall(trace, from, "openat(", ", \"doc\", O_RDWR");
}

// How many calls of trace[at]'s name the trace holds up to `at`: its `when` for strace.
int CallNumber(const std::vector<Call>& trace, std::size_t at) {
  int count = 0;
  for (std::size_t i = 0; i <= at; ++i) count += trace[i].name == trace[at].name ? 1 : 0;
  return count;
}

// What a call returned, as text ("3" of "openat(…) = 3").
std::string Returned(const Call& call) {
  const std::size_t equals = call.line.rfind(" = ");
  if (equals == std::string::npos) return "";
  const std::string rest = call.line.substr(equals + 3);
  return rest.substr(0, rest.find(' '));
}

// A run of `plan` in `box` with the editor under strace (as an ordinary user when `as_user`,
// with $HOME set to `home` when given), and the calls it made. strace ends as the editor does.
struct Traced {
  RunResult run;
  std::vector<Call> calls;
};
Traced RunTraced(const std::string& strace, const Sandbox& box, RunPlan plan, bool as_user = false,
                 const std::string& home = "") {
  Sandbox traces;
  chmod(traces.dir().c_str(), 0777);  // strace may write as an ordinary user
  const std::string trace_path = traces.dir() + "/trace";
  Strings argv = {strace, "-qqq", "-o", trace_path, EditorPath(as_user)};
  argv.insert(argv.end(), plan.args.begin(), plan.args.end());
  plan.in_child = [=]() mutable {
    if (!home.empty()) setenv("HOME", home.c_str(), 1);
    if (as_user) AsOrdinaryUser();
    // The leak checker of a sanitizer build cannot work in a traced process.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string sanitizer = std::string(asan != nullptr ? asan : "") + ":detect_leaks=0";
    setenv("ASAN_OPTIONS", sanitizer.c_str(), 1);
    std::vector<char*> pointers;
    for (auto& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    execv(strace.c_str(), pointers.data());
    _exit(127);
  };
  Traced t{.run = box.Run(plan)};
  std::ifstream in(trace_path);
  for (std::string line; std::getline(in, line);) {
    const std::size_t paren = line.find('(');
    if (line.starts_with("---") || line.starts_with("+++") || paren == std::string::npos) continue;
    t.calls.push_back({line.substr(0, paren), line});
  }
  return t;
}

// The calls of the save: after the read that takes in the input (all of it, the save command
// with it), up to the output that follows it, which waits for the end of the input it holds.
std::pair<std::size_t, std::size_t> SaveWindow(const std::vector<Call>& trace) {
  std::size_t from = 0;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (trace[i].line.starts_with("read(0, ")) from = i + 1;
  }
  std::size_t to = from;
  while (to < trace.size() && !trace[to].line.starts_with("write(1, ")) ++to;
  return {from, to};
}

// The new text is synced before a name points to it, and a name added or replaced is made
// durable by a sync of its directory: checked on the calls of a save, trace[from, to).
void ExpectSyncedInOrder(const std::vector<Call>& trace, std::size_t from, std::size_t to) {
  bool text_synced = true;
  bool name_synced = true;
  std::set<std::string> directories;  // descriptors open on a directory
  const std::set<std::size_t> sanitizer_calls = SanitizerPipeCalls(trace);
  for (std::size_t i = from; i < to && i < trace.size(); ++i) {
    const Call& call = trace[i];
    if (Skipped(call) || sanitizer_calls.contains(i)) continue;
    const std::string args = call.line.substr(call.name.size() + 1);
    const std::string fd = args.substr(0, args.find_first_of(",)"));
    if (call.name == "openat" && Holds(call.line, "O_DIRECTORY")) {
      directories.insert(call.line.substr(call.line.rfind("= ") + 2));
    } else if (call.name == "close") {
      directories.erase(fd);
    } else if (call.name == "write" || call.name == "ftruncate") {
      text_synced = false;
    } else if (call.name == "fsync" || call.name == "fdatasync") {
      (directories.contains(fd) ? name_synced : text_synced) = true;
    } else if (call.name == "linkat" || call.name.starts_with("rename")) {
      EXPECT_TRUE(text_synced) << "the text is not synced before " << call.line;
      name_synced = false;
    }
  }
  EXPECT_TRUE(text_synced) << "the text written last is not synced";
  EXPECT_TRUE(name_synced) << "the directory is not synced after the last name it got";
}

// Every call of a save that names the document, a part of its path or a temporary file beside
// it is made relative to the folder that the save opened: none goes by a path from the current
// directory, which another program could change between two calls. Only the walk's start (".")
// and the rescue copy, a file of its own made in trace[copy), go from there; a file without a
// name is linked from /proc. Checked on trace[from, to).
void ExpectRelativeToFolder(const std::vector<Call>& trace, std::size_t from, std::size_t to,
                            std::pair<std::size_t, std::size_t> copy) {
  for (std::size_t i = from; i < to && i < trace.size(); ++i) {
    if (i >= copy.first && i < copy.second) continue;
    const Call& call = trace[i];
    std::string line = call.line;
    const std::string proc = "AT_FDCWD, \"/proc/self/fd/";
    if (line.find(proc) != std::string::npos) line.erase(line.find(proc), proc.size());
    const bool names_document = Holds(line, "\"doc\"") || Holds(line, "\"link\"") ||
                                Holds(line, "\"real\"") || Holds(line, "\".ostrel-save-");
    if (!names_document) continue;
    EXPECT_TRUE(call.name.ends_with("at") || call.name.ends_with("at2")) << line;
    EXPECT_EQ(line.find("AT_FDCWD"), std::string::npos) << line;
  }
}

enum class Trigger {
  kRename,           // a file of its own: replaced by a new one
  kLink,             // a symbolic link: the file it points to is replaced
  kHardLink,         // a file with a second name: written in place
  kLockedDirectory,  // a directory the user may not write: written in place
  kNewFile,          // no file yet
  kLoad,             // a read error while the file is loaded at start-up
};

struct Case {
  const char* name;
  Trigger trigger;
  std::string old_text;  // empty for a new file
  std::string typed;     // the edit saved with S
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
  return os << c.name;
}

const std::string kThreeLines = "first line of the old text\nsecond line\nthird line\n";

// A save written in place, killed at its write, between the write and the cut, and between
// the cut and the sync: the file holds the old text, the new one, or the new one before the
// old tail, and the rescue file the whole new text, which the next start names. Without unnamed
// files, a kill while the copy is written leaves no rescue file under its name.
void KilledInPlace(const Case& c, const std::vector<Call>& trace, const std::string& input,
                   const std::function<void(const Sandbox&)>& prepare,
                   const std::string& new_text) {
  const bool as_user = c.trigger == Trigger::kLockedDirectory;
  const std::size_t opened = FindInPlaceOpen(trace, 0);
  ASSERT_LT(opened, trace.size());
  const std::string fd = Returned(trace[opened]);
  std::vector<Fault> kills;
  for (const std::string& call : {"write(" + fd + ", ", "ftruncate(" + fd + ", ", "fsync(" + fd}) {
    const std::size_t at = FindCall(trace, opened, call);
    if (at == trace.size()) continue;
    kills.push_back({.name = trace[at].name, .when = CallNumber(trace, at), .signal = SIGKILL});
  }
  // The last new file made before the write in place is the copy's: unnamed, or under a
  // temporary name where the build has no unnamed files.
  const std::size_t written = FindCall(trace, opened, "write(" + fd + ", ");
  const auto new_file = [](const Call& call) {
    const std::string& line = call.line;
    const bool unnamed = Holds(line, "O_TMPFILE");
    const bool named = Holds(line, "O_EXCL") && Holds(line, ".ostrel-save-");
    return call.name == "openat" && (unnamed || named) && !Returned(call).starts_with("-");
  };
  std::size_t tmpfile = written;
  while (tmpfile > opened && !new_file(trace[tmpfile])) --tmpfile;
  const std::size_t copy_write =
      FindCall(trace, tmpfile, "write(" + Returned(trace[tmpfile]) + ", ");
  ASSERT_LT(copy_write, written);
  const bool unnamed = Holds(trace[tmpfile].line, "O_TMPFILE");
  const std::size_t copy_kill = kills.size();
  kills.push_back({.name = "write",
                   .when = CallNumber(trace, copy_write),
                   .signal = SIGKILL,
                   .refused_tmpfile = unnamed ? CallNumber(trace, tmpfile) : 0});
  const std::string cut_short =
      new_text + c.old_text.substr(std::min(new_text.size(), c.old_text.size()));
  // The runs go side by side, each in a directory of its own.
  InParallel(kills.size(), kills.size(), [&](std::size_t k) {
    const Fault& kill = kills[k];
    SCOPED_TRACE(kill.Option() + (kill.refused_tmpfile != 0 ? ", O_TMPFILE refused" : ""));
    Sandbox box;
    prepare(box);
    const std::string home = box.dir() + "/home";
    const auto r = RunInjected(
        box, kill.Injections(box.dir()),
        {.args = {"doc"}, .input = input, .env = {{"HOME", home}}, .as_ordinary_user = as_user});
    chmod(box.dir().c_str(), 0700);
    EXPECT_EQ(r.status, 128 + SIGKILL);
    const auto now = r.File("doc");
    const std::string rescue = (as_user ? home : box.dir()) + "/doc.save";
    if (k == copy_kill) {
      EXPECT_EQ(now, c.old_text);
      EXPECT_EQ(FileText(rescue), std::nullopt);
      return;
    }
    EXPECT_TRUE(now == c.old_text || now == new_text || now == cut_short) << now.value_or("");
    EXPECT_EQ(FileText(rescue), new_text);
    if (!as_user) {
      EXPECT_THAT(box.Run({.args = {"doc"}, .input = ""}).out,
                  HasSubstr("doc.save holds unsaved text from an earlier session\n"));
    }
  });
}

class SaveUnderFault : public ::testing::TestWithParam<Case> {};

TEST_P(SaveUnderFault, HoldsAtEverySystemCall) {
  const auto strace = FindStrace();
  if (!strace) GTEST_SKIP() << "strace is not installed";
  if (const auto why = CannotInject()) GTEST_SKIP() << *why;
  const Case& c = GetParam();
  const bool in_place = c.trigger == Trigger::kHardLink || c.trigger == Trigger::kLockedDirectory;
  const bool as_user = c.trigger == Trigger::kLockedDirectory;
  if (const auto why = CannotRunAsOrdinaryUser(); as_user && why) GTEST_SKIP() << *why;
  const bool root = geteuid() == 0;
  const std::string doc = c.trigger == Trigger::kLink ? "real/doc" : "doc";
  const Strings args = {c.trigger == Trigger::kLink ? "link" : "doc"};
  const std::string input = c.typed + "S\nq\nq\n";

  // Each run starts from the same directory, so that it makes the same calls. $HOME is a
  // folder of it that anyone may write: where the directory refuses, the copy made before an
  // in-place write goes there.
  const auto prepare = [&](const Sandbox& box) {
    box.Write(".vazaru_da", "");
    fs::create_directory(box.dir() + "/home");
    chmod((box.dir() + "/home").c_str(), 0777);
    if (c.trigger == Trigger::kLink) {
      fs::create_directory(box.dir() + "/real");
      fs::create_symlink("real/doc", box.dir() + "/link");
    }
    if (c.trigger == Trigger::kNewFile) return;
    const std::string path = box.dir() + "/" + doc;
    box.Write(doc, c.old_text);
    chmod(path.c_str(), 0640);
    // As root, the file of another user: its owner must be given to the new file.
    if (root && !in_place) chown(path.c_str(), kNobody, kNobody);
    if (c.trigger == Trigger::kHardLink) fs::create_hard_link(path, box.dir() + "/other");
    if (c.trigger == Trigger::kLockedDirectory) {
      // The file is the user's; as root the editor runs as an ordinary user, to whom the
      // directory is closed.
      if (root) chown(path.c_str(), kNobody, kNobody);
      chmod(box.dir().c_str(), 0555);
    }
  };
  // The normal run, traced.
  Sandbox normal;
  prepare(normal);
  const auto [ran, trace] =
      RunTraced(*strace, normal, {.args = args, .input = input}, as_user, normal.dir() + "/home");
  ASSERT_EQ(ran.status, 0) << ran.out;
  std::vector<Fault> faults;
  std::string new_text;
  if (c.trigger == Trigger::kLoad) {
    // Every read of the file fails, as on a bad disk: a single failed read is simply tried
    // again by the stream that reads the file.
    ASSERT_LT(FindCall(trace, 0, "openat(AT_FDCWD, \"doc\", O_RDONLY"), trace.size());
    faults.push_back({.name = "read", .error = EIO, .path = "doc"});
  } else {
    ASSERT_THAT(ran.out, HasSubstr("Saved to " + args[0] + "\n"));
    new_text = ran.File(doc).value_or("");
    ASSERT_NE(new_text, c.old_text);
    const auto [from, to] = SaveWindow(trace);
    ExpectSyncedInOrder(trace, from, to);
    // Written in place, the copy of the new text comes between the open and the first write.
    const std::size_t opened = FindInPlaceOpen(trace, from);
    const std::size_t written =
        opened < to ? FindCall(trace, opened, "write(" + Returned(trace[opened]) + ", ") : to;
    ExpectRelativeToFolder(trace, from, to, {opened + 1, written});
    faults = FaultsBetween(trace, from, to, {opened + 1, written});
    // A file system or C library that cannot reserve space (ZFS, musl): every reservation for
    // the file fails so, and the file is written without one.
    if (in_place) faults.push_back({.name = "fallocate", .error = EINVAL, .path = doc});
  }
  ASSERT_FALSE(faults.empty());
  for (const Fault& fault : faults) ASSERT_TRUE(Injectable(fault.name)) << fault.Option();

  const mode_t umask_now = umask(0);
  umask(umask_now);
  const bool existed = c.trigger != Trigger::kNewFile;
  // Each run gets a directory of its own, prepared here; the runs then go side by side.
  std::vector<std::optional<Sandbox>> boxes(faults.size());
  std::vector<struct stat> befores(faults.size());
  std::vector<Names> entries_before(faults.size());
  const auto set_up = [&](std::size_t k) {
    boxes[k].emplace();
    prepare(*boxes[k]);
    if (existed) {
      lstat((boxes[k]->dir() + "/" + doc).c_str(), &befores[k]);
    } else {
      // A new file gets the usual mode and the user as its owner.
      befores[k].st_mode = S_IFREG | (0666 & ~umask_now);
      befores[k].st_uid = geteuid();
      befores[k].st_gid = getegid();
    }
    entries_before[k] = Entries(boxes[k]->dir());
  };
  std::vector<RunResult> results(faults.size());
  const auto run = [&](std::size_t k) {
    results[k] = RunInjected(*boxes[k], faults[k].Injections(boxes[k]->dir()),
                             {.args = args,
                              .input = input,
                              .env = {{"HOME", boxes[k]->dir() + "/home"}},
                              .as_ordinary_user = as_user});
  };
  for (std::size_t k = 0; k < faults.size(); ++k) set_up(k);
  InParallel(faults.size(), 4, run);
  // A run now and then stalls beside three others on a loaded machine (seen under the
  // sanitizers): a run that ran out of time is made once more, alone, in a fresh directory.
  for (std::size_t k = 0; k < faults.size(); ++k) {
    if (!results[k].timed_out) continue;
    std::cout << "[ faults   ] again, alone: " << faults[k].Option() << "\n";
    set_up(k);
    run(k);
  }
  const auto* result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
  int held = 0;
  for (std::size_t k = 0; k < faults.size(); ++k) {
    const Fault& fault = faults[k];
    const Sandbox& box = *boxes[k];
    const RunResult& r = results[k];
    const struct stat& before = befores[k];
    const Names& entries = entries_before[k];
    SCOPED_TRACE(fault.Option());
    const int failed_checks = result->total_part_count();
    const std::string path = box.dir() + "/" + doc;
    const std::string home = box.dir() + "/home";
    chmod(box.dir().c_str(), 0700);
    const std::optional<std::string> now = r.File(doc);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.err, "");
    if (c.trigger == Trigger::kLoad) {
      // A file that cannot be read whole is not taken for the document: the editor ends.
      EXPECT_EQ(r.status, 1) << r.out;
      EXPECT_EQ(now, c.old_text);
      EXPECT_EQ(Entries(box.dir()), entries);
      held += result->total_part_count() == failed_checks ? 1 : 0;
      continue;
    }
    if (fault.signal != 0) {
      // Killed as the new file gets its temporary name, the old file is all there is; killed
      // as that name is to replace the old file, it is left next to it with the whole new text.
      EXPECT_EQ(r.status, 128 + fault.signal);
      EXPECT_EQ(now, existed ? std::optional(c.old_text) : std::nullopt);
      const std::string where = fs::path(path).parent_path().string();
      Names left = Entries(where);
      Names temporary;
      for (const std::string& name : left) {
        if (name.starts_with(".ostrel-save-")) temporary.insert(name);
      }
      // Without unnamed files, a kill as a temporary name is linked leaves it too.
      if (fault.name.starts_with("rename") || platform::UnnamedFilesOffered()) {
        EXPECT_EQ(temporary.size(), fault.name.starts_with("rename") ? 1u : 0u);
      } else {
        EXPECT_LE(temporary.size(), 1u);
      }
      for (const std::string& name : temporary) {
        EXPECT_EQ(FileText(where + "/" + name), new_text);
        left.erase(name);
      }
      EXPECT_EQ(left, where == box.dir() ? entries : Names{"doc"});
      if (where != box.dir()) {
        EXPECT_EQ(Entries(box.dir()), entries);
      }
      held += result->total_part_count() == failed_checks ? 1 : 0;
      continue;
    }
    const bool saved = Holds(r.out, "Saved to " + args[0] + "\n");
    const std::string reason = fault.error == ENOMEM ? "Not saved: not enough memory\n"
                                                     : "Cannot save to " + args[0] + ": " +
                                                           std::strerror(fault.error) + "\n";
    // A copy that could not be made before a write in place stops the save before it starts.
    const bool no_copy =
        in_place && Holds(r.out, "No safe copy of doc could be made first: " +
                                     std::string(std::strerror(fault.error)) +
                                     "\nNot saved: no safe copy could be made first\n");
    const bool failed = Holds(r.out, reason) || no_copy;
    EXPECT_NE(saved, failed) << r.out;
    EXPECT_EQ(r.status, saved ? 0 : 1);
    if (fault.name == "fallocate" && fault.error == EINVAL) {
      EXPECT_TRUE(saved) << r.out;
    }
    // A write in place that failed part way names the copy of the new text made before it.
    const std::string kRescued = reason + "Unsaved text written to ";
    std::string rescue;
    if (const std::size_t at = r.out.find(kRescued); at != std::string::npos) {
      rescue = r.out.substr(at + kRescued.size());
      rescue = rescue.substr(0, rescue.find('\n'));
    }
    // The copy made for a write in place that succeeded is removed, unless that removal fails.
    const std::string copy = (as_user ? home : box.dir()) + "/doc.save";
    const std::optional<std::string> copy_left = FileText(copy);
    if (saved) {
      EXPECT_EQ(now, new_text);
      if (copy_left) {
        EXPECT_EQ(fault.name, "unlink");
        EXPECT_EQ(copy_left, new_text);
      }
    } else if (!rescue.empty()) {
      EXPECT_TRUE(in_place) << r.out;
      EXPECT_EQ(FileText(rescue.starts_with("/") ? rescue : box.dir() + "/" + rescue), new_text);
    } else if (existed) {
      EXPECT_TRUE(now == c.old_text || (now == new_text && !no_copy)) << now.value_or("(none)");
    } else {
      EXPECT_TRUE(!now || now == new_text);
    }
    Names expected = entries;
    if (!existed && now) expected.insert("doc");
    const bool copy_kept = !rescue.empty() || (saved && copy_left);
    if (copy_kept && !as_user) expected.insert("doc.save");
    EXPECT_EQ(Entries(home), copy_kept && as_user ? Names{"doc.save"} : Names{});
    EXPECT_EQ(Entries(box.dir()), expected);
    if (c.trigger == Trigger::kLink) {
      EXPECT_EQ(Entries(box.dir() + "/real"), Names{"doc"});
      EXPECT_TRUE(fs::is_symlink(box.dir() + "/link"));
    }
    struct stat after {};
    if (now && lstat(path.c_str(), &after) == 0) {
      EXPECT_EQ(after.st_mode, before.st_mode);
      EXPECT_EQ(after.st_uid, before.st_uid);
      EXPECT_EQ(after.st_gid, before.st_gid);
      if (in_place) {
        EXPECT_EQ(after.st_ino, before.st_ino);
      }
      if (c.trigger == Trigger::kHardLink) {
        EXPECT_EQ(r.File("other"), now);
      }
    }
    held += result->total_part_count() == failed_checks ? 1 : 0;
  }
  std::cout << "[ faults   ] " << c.name << ": " << held << " of " << faults.size() << " held\n";
  if (in_place) KilledInPlace(c, trace, input, prepare, new_text);
}

const std::string kLonger = "a first line that is much longer than the old one\n";

INSTANTIATE_TEST_SUITE_P(
    Saves, SaveUnderFault,
    ::testing::Values(Case{"ReplacedLonger", Trigger::kRename, kThreeLines, kLonger},
                      Case{"ReplacedShorter", Trigger::kRename, kThreeLines, "t\n"},
                      Case{"ThroughALink", Trigger::kLink, kThreeLines, kLonger},
                      Case{"HardLinkLonger", Trigger::kHardLink, "old\n", kLonger},
                      Case{"HardLinkShorter", Trigger::kHardLink, kThreeLines, "t\n"},
                      Case{"LockedDirectoryLonger", Trigger::kLockedDirectory, "old\n", kLonger},
                      Case{"LockedDirectoryShorter", Trigger::kLockedDirectory, kThreeLines, "t\n"},
                      Case{"NewFile", Trigger::kNewFile, "", kLonger},
                      Case{"LoadAtStartUp", Trigger::kLoad, kThreeLines, kLonger}),
    RowName);

// Every name added, replaced or removed is made durable: after each link, rename or unlink,
// its directory is opened and synced before the editor says anything more. Traced on a first
// start (the settings file made) that saves a file with two names (a copy of the text made and
// removed) and then saves as a new file.
TEST(SaveUnderFault, NamesAddedOrRemovedAreSyncedInTheirDirectory) {
  const auto strace = FindStrace();
  if (!strace) GTEST_SKIP() << "strace is not installed";
  Sandbox box;
  box.Write("doc", "old\n");
  fs::create_hard_link(box.dir() + "/doc", box.dir() + "/other");
  const auto [r, trace] =
      RunTraced(*strace, box,
                {.settings = std::nullopt, .args = {"doc"}, .input = "new\nS\ns\nmine\nq\nq\n"});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.File("doc"), "new\n");
  std::set<std::string> kinds;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    const Call& c = trace[i];
    const bool name_changed =
        (c.name == "linkat" || c.name.starts_with("rename") || c.name.starts_with("unlink")) &&
        c.line.ends_with("= 0");
    if (!name_changed) continue;
    kinds.insert(c.name.starts_with("unlink") ? "unlink" : c.name);
    std::string dir_fd;
    bool synced = false;
    for (std::size_t j = i + 1; j < trace.size() && !synced; ++j) {
      if (trace[j].line.starts_with("write(1, ")) break;
      if (trace[j].name == "openat" && Holds(trace[j].line, "O_DIRECTORY")) {
        dir_fd = Returned(trace[j]);
      }
      synced = !dir_fd.empty() && trace[j].line.starts_with("fsync(" + dir_fd + ")");
    }
    EXPECT_TRUE(synced) << c.line;
  }
  // The settings file, the copy and the new file linked, the copy (and temporary names) removed.
  EXPECT_EQ(kinds, (std::set<std::string>{"linkat", "unlink"}));
}

// Another program acts between two calls of a save: before each call the save makes, as strace
// shows it in a normal run, the editor waits while the test plants a link to a private file
// (another user's link, as root), appends to the document, renames its own file over it, or
// removes it; then the call goes on. Whatever the moment, the private file is untouched, the
// other program's text is still there, and the editor says "Saved to" only when the name holds
// the new text or the act came after the save had put it there, and otherwise refuses and
// rescues the text. Written in place, the instructions between the last look at the file's size
// and a write or the cut are a window no call closes: an append there is left out; so is every
// act at the rename where names cannot be swapped (the look comes just before it).
TEST(SaveUnderFault, NothingDoneBetweenTwoCallsIsWrittenThroughOverOrLost) {
  const auto strace = FindStrace();
  if (!strace) GTEST_SKIP() << "strace is not installed";
  if (const auto why = CannotInject()) GTEST_SKIP() << *why;
  // The save never follows a link the kernel would refuse either; with the kernel's rule on,
  // the test turns it off for its runs where it may, so that only the editor's own rule holds.
  // The rule is turned on again however the test ends.
  struct KernelRuleOff {
    const char* path = "/proc/sys/fs/protected_symlinks";
    bool turned_off = false;
    KernelRuleOff() {
      const std::optional<std::string> rule = FileText(path);
      if (!rule || !rule->starts_with("1")) return;
      turned_off = static_cast<bool>(std::ofstream(path).write("0", 1));
      if (!turned_off) {
        std::cout << "[ races    ] protected symlinks are on and cannot be turned off here: the "
                     "kernel's rule stands beside the editor's\n";
      }
    }
    ~KernelRuleOff() {
      if (turned_off) std::ofstream(path).write("1", 1);
    }
    KernelRuleOff(const KernelRuleOff&) = delete;
    KernelRuleOff& operator=(const KernelRuleOff&) = delete;
  } const rule_off;
  const bool root = geteuid() == 0;
  const std::string kOld = kThreeLines;
  const std::string kAppended = "appended by another program\n", kTheirs = "their own text\n";
  struct RaceCase {
    const char* name;
    bool exists;       // the document exists before the save
    bool second_name;  // it has a second name: written in place
    std::string input;
  };
  const std::vector<RaceCase> cases = {
      {"replaced", true, false, "!t\nS\nq\nq\n"},
      {"in place", true, true, "!t\nS\nq\nq\n"},
      {"a new file", false, false, "first\nsecond\ns\ndoc\nq\nq\n"},
  };
  enum class Act { kLink, kAppend, kReplace, kRemove };
  for (const RaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto prepare = [&](const Sandbox& box) {
      box.Write(".vazaru_da", "");
      box.Write("private", "secret\n");
      chmod(box.Path("private").c_str(), 0600);
      chmod(box.dir().c_str(), 01777);  // a shared folder, as the system's temporary one
      if (!c.exists) return;
      box.Write("doc", kOld);
      if (c.second_name) fs::create_hard_link(box.Path("doc"), box.Path("other"));
    };
    const Strings args = c.exists ? Strings{"doc"} : Strings{};
    Sandbox normal;
    prepare(normal);
    const Traced traced =
        RunTraced(*strace, normal, {.args = args, .input = c.input}, false, normal.dir());
    const RunResult& ran = traced.run;
    const std::vector<Call>& trace = traced.calls;
    const std::string kNew = normal.File("doc").value_or("");
    ASSERT_THAT(ran.out, HasSubstr("Saved to doc\n"));
    ASSERT_NE(kNew, kOld);
    auto [from, to] = SaveWindow(trace);
    // A new name is looked at by the question that takes it: the save starts after that.
    if (!c.exists) from = FindCall(trace, from, "newfstatat(AT_FDCWD, \"doc\"") + 1;
    // The call after which the new text is under the name: acts after it come after the save.
    std::size_t done = to;
    std::set<std::size_t> window;
    std::set<std::size_t> rename_window;
    const std::size_t opened = FindInPlaceOpen(trace, from);
    for (std::size_t i = from; i < to; ++i) {
      const Call& call = trace[i];
      if (opened < to) {
        const std::string fd = Returned(trace[opened]);
        if (call.line.starts_with("write(" + fd + ",") ||
            call.line.starts_with("ftruncate(" + fd + ",")) {
          window.insert(i);
        }
        // The last look at the name comes after the file is synced.
        if (call.line.starts_with("fsync(" + fd + ")") && done == to) {
          const std::string& open = trace[opened].line;
          done = FindCall(trace, i, "newfstatat(" + open.substr(7, open.find(',') - 7) + ", ");
        }
      } else if (Holds(call.line, "\"doc\"") &&
                 (call.name == "linkat" || call.name.starts_with("rename"))) {
        done = i;
        if (call.name == "renameat") rename_window.insert(i);
      }
    }
    ASSERT_LT(done, to);
    std::vector<std::pair<std::size_t, Act>> runs;  // before which call, what
    const std::set<std::size_t> sanitizer_calls = SanitizerPipeCalls(trace);
    for (std::size_t i = from; i < to; ++i) {
      if (Skipped(trace[i]) || sanitizer_calls.contains(i) || rename_window.contains(i)) continue;
      for (const Act act : {Act::kLink, Act::kAppend, Act::kReplace, Act::kRemove}) {
        if (act != Act::kAppend || !window.contains(i)) runs.push_back({i, act});
      }
    }
    InParallel(runs.size(), 4, [&](std::size_t k) {
      const auto [at, act] = runs[k];
      SCOPED_TRACE(trace[at].line + " " + std::to_string(static_cast<int>(act)));
      const auto told = [](const std::string& out) {
        std::string lines;
        std::size_t start = 0;
        while ((start = out.find("  > ", start)) != std::string::npos) {
          const std::size_t end = out.find('\n', start);
          lines += out.substr(start + 4, end - start - 3);
          start = end;
        }
        return lines;
      };
      Sandbox box;
      prepare(box);
      const std::string doc = box.Path("doc");
      const std::function<void()> acts[] = {
          [&] {
            unlink(doc.c_str());
            (void)symlink(box.Path("private").c_str(), doc.c_str());
            if (root) (void)lchown(doc.c_str(), kOther, kOther);
          },
          [&] { std::ofstream(doc, std::ios::app) << kAppended; },
          [&] {
            std::ofstream(box.Path("theirs")) << kTheirs;
            rename(box.Path("theirs").c_str(), doc.c_str());
          },
          [&] { unlink(doc.c_str()); },
      };
      const auto r = RunInjected(box,
                                 {{.name = trace[at].name,
                                   .when = CallNumber(trace, at),
                                   .act = acts[static_cast<int>(act)]}},
                                 {.args = args, .input = c.input, .env = {{"HOME", box.dir()}}});
      const bool saved = Holds(r.out, "Saved to doc\n");
      const bool changed = Holds(r.out, "Not saved: doc changed on disk since it was read\n");
      const bool foreign = Holds(r.out, "Cannot save to doc: it is a link owned by another user\n");
      const bool after = at > done;
      EXPECT_EQ(saved + changed + foreign, 1) << told(r.out);
      EXPECT_EQ(r.status, saved ? 0 : 1);
      if (changed) {
        EXPECT_EQ(r.File("doc.save"), kNew);
      }
      const std::optional<std::string> now = r.File("doc");
      switch (act) {
        case Act::kLink:
          EXPECT_TRUE(fs::is_symlink(doc)) << told(r.out);
          EXPECT_TRUE(r.File("private") == "secret\n" || (!root && saved && now == kNew));
          EXPECT_TRUE(!saved || after || (!root && now == kNew)) << told(r.out);
          break;
        case Act::kAppend:
          EXPECT_EQ(now, (saved ? kNew : c.exists ? kOld : "") + kAppended) << told(r.out);
          break;
        case Act::kReplace:
          EXPECT_EQ(now, kTheirs);
          EXPECT_TRUE(!saved || after) << told(r.out);
          break;
        case Act::kRemove:
          EXPECT_TRUE(saved ? now == kNew || (after && !now) : !now) << now.value_or("(none)");
          break;
      }
      for (const std::string& name : Entries(box.dir())) {
        EXPECT_FALSE(name.starts_with(".ostrel-save-")) << name;
      }
    });
    std::cout << "[ races    ] " << c.name << ": " << runs.size() << " acts between calls\n";
  }
}

// The calls only some systems offer are made where the build found them, and never in a build
// of the portable ways: a traced run that replaces a file, saves a new one and runs a command.
TEST(SaveUnderFault, CallsOnlySomeSystemsOfferAreMadeOnlyWhereFound) {
  const auto strace = FindStrace();
  if (!strace) GTEST_SKIP() << "strace is not installed";
  Sandbox box;
  box.Write("doc", "old\n");
  const auto [r, trace] = RunTraced(*strace, box,
                                    {.settings = "launch_command=true",
                                     .args = {"doc"},
                                     .input = "new\nS\ns\nmine\n=\n\nq\nq\n"});
  ASSERT_EQ(r.status, 0) << r.out;
  std::map<std::string, bool> seen = {
      {"O_TMPFILE", false}, {"renameat2(", false}, {"pidfd_open(", false}};
  for (const Call& call : trace) {
    for (auto& [what, found] : seen) found = found || Holds(call.line, what);
  }
  EXPECT_EQ(seen["O_TMPFILE"], platform::UnnamedFilesOffered());
  EXPECT_EQ(seen["renameat2("], platform::NameSwapOffered());
  EXPECT_EQ(seen["pidfd_open("], platform::ChildWatchOffered());
}

TEST(SaveUnderFault, ASigkillDuringSavesLeavesNoTemporaryFile) {
  if (const auto why = CannotInject()) GTEST_SKIP() << *why;
  // A document of about 1.9 MB, saved twice; the editor is killed as the second save gives its
  // new file a temporary name, and as it renames that over the document.
  std::string old;
  for (int i = 0; i < 19000; ++i) old += std::string(99, static_cast<char>('a' + i % 26)) + "\n";
  // Typed over the start of the first line, then of the second.
  const std::string first = "changed" + old.substr(7);
  const std::string second = first.substr(0, 100) + "again" + first.substr(105);
  // Without unnamed files the new file has its temporary name from the start: no link to kill at.
  const std::string rename = platform::NameSwapOffered() ? "renameat2" : "renameat";
  const Strings calls =
      platform::UnnamedFilesOffered() ? Strings{"linkat", rename} : Strings{rename};
  InParallel(calls.size(), calls.size(), [&](std::size_t k) {
    const std::string& call = calls[k];
    SCOPED_TRACE(call);
    Sandbox box;
    box.Write("doc", old);
    const Fault kill{.name = call, .when = 2, .signal = SIGKILL};
    const auto r =
        RunInjected(box, kill.Injections(box.dir()),
                    {.settings = "", .args = {"doc"}, .input = "changed\nS\nagain\nS\nq\nq\n"});
    EXPECT_EQ(r.status, 128 + SIGKILL);
    EXPECT_TRUE(r.File("doc") == first) << "the first save's text is not there byte for byte";
    Names left = Entries(box.dir());
    left.erase(".vazaru_da");
    left.erase("doc");
    // Only a kill at the rename leaves the new file, under its temporary name and whole.
    ASSERT_EQ(left.size(), call == rename ? 1u : 0u);
    if (call == rename) {
      EXPECT_TRUE(left.begin()->starts_with(".ostrel-save-")) << *left.begin();
      EXPECT_TRUE(r.File(*left.begin()) == second) << "the new text is not there whole";
    }
  });
}

}  // namespace
}  // namespace ostrel::e2e
