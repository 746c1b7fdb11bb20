#include "settings/settings.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/sys_result.h"
#include "common/unique_fd.h"
#include "console/console.h"
#include "files/path_walk.h"
#include "files/write_file.h"

namespace ostrel {
namespace {

// Reads a decimal value as strtol does (leading blanks, a sign, digits up to the first
// non-digit; no digits give 0). Values outside a signed 32-bit integer give false.
bool ReadInt(const std::string& value, int32_t& out) {
  errno = 0;
  const long n = std::strtol(value.c_str(), nullptr, 10);
  if (errno == ERANGE || n < INT32_MIN || n > INT32_MAX) return false;
  out = static_cast<int32_t>(n);
  return true;
}

// Only lines that end within this many bytes of the file's start are read: a settings file
// takes a few hundred bytes, and a huge one must cost neither its size in memory nor the time
// to read it.
constexpr std::size_t kReadLimit = std::size_t{1024} * 1024;

// The lines of the file open on `fd` that end within its first kReadLimit bytes; `cut` is set
// when there is more. A line the limit cuts is left out whole, since a cut value is a different
// value. A read that fails ends the text there.
std::string ReadHead(int fd, bool& cut) {
  std::string text;
  std::array<char, 4096> chunk{};
  while (text.size() <= kReadLimit) {
    const ssize_t got = read(fd, chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(chunk.data(), static_cast<std::size_t>(got));
  }
  cut = text.size() > kReadLimit;
  if (cut) {
    text.resize(kReadLimit);
    const std::size_t last_end = text.rfind('\n');
    text.resize(last_end == std::string::npos ? 0 : last_end + 1);
  }
  return text;
}

// An hour: a longer pause is no moment to lose.
constexpr int32_t kMaxAutosaveSeconds = 3600;

void ApplyLine(std::string_view line, const KeyNameTable& names, Settings& settings,
               bool* too_long) {
  const std::size_t eq = line.find('=');
  // A line without "=" has no value: it is ignored, like any other refused value.
  const bool has_value = eq != std::string_view::npos;
  const std::string value = has_value ? std::string(line.substr(eq + 1)) : std::string();
  const auto contains = [&](const char* name) { return line.find(name) != std::string_view::npos; };

  bool key_line = false;
  for (int k = 0; k < kSlotCount; ++k) {
    if (!contains(names[static_cast<std::size_t>(k)].data())) continue;
    key_line = true;
    if (has_value && value.size() == 1) {
      settings.keys[static_cast<std::size_t>(k)] = {value[0], '\0'};
    }
  }
  if (key_line || !has_value) return;

  Limits& limits = settings.limits;
  int32_t n = 0;
  if (contains("max_lines")) {
    if (ReadInt(value, n) && n > 0) limits.lines = n;
  } else if (contains("max_char")) {
    // A line of one character would make every command line arrive as two reads, the newline
    // alone in the second: such a grid cannot be used, so the shortest line taken is two.
    if (ReadInt(value, n) && n > 1 && n < INT32_MAX) limits.lsize = n + 1;
  } else if (contains("anchor_position")) {
    if (ReadInt(value, n) && n > 0 && n < limits.lsize) settings.anchor_pos = n - 1;
  } else if (contains("lines_per_page")) {
    if (ReadInt(value, n) && n > 0 && n < limits.lines) settings.page_length = n;
  } else if (contains("show_numbers")) {
    settings.show_numbers = value == "on";
  } else if (contains("autosave_seconds")) {
    if (ReadInt(value, n) && n >= 0 && n <= kMaxAutosaveSeconds) settings.autosave_seconds = n;
  } else if (contains("launch_command")) {
    // A cut shell command is a different command: a longer one is not taken.
    if (value.size() > settings.launch_command.size() - 1) {
      if (too_long != nullptr) *too_long = true;
    } else if (!value.empty()) {
      settings.launch_command.fill('\0');
      value.copy(settings.launch_command.data(), value.size());
    }
  }
}

}  // namespace

LaunchRule CheckLaunchRule(uid_t owner, mode_t mode, uid_t user) {
  if (owner != user && owner != 0) return LaunchRule::kOwnedByAnotherUser;
  if ((mode & S_IWOTH) != 0) return LaunchRule::kWritableByOthers;
  if ((mode & S_IWGRP) != 0) return LaunchRule::kWritableByGroup;
  return LaunchRule::kTaken;
}

std::string_view LaunchRuleReason(LaunchRule rule) {
  switch (rule) {
    case LaunchRule::kOwnedByAnotherUser:
      return "the file is owned by another user";
    case LaunchRule::kWritableByOthers:
      return "the file is writable by others";
    case LaunchRule::kWritableByGroup:
      return "the file is writable by its group";
    case LaunchRule::kLinkOfAnotherUser:
      return "a link on the way is owned by another user";
    case LaunchRule::kFolderOfAnotherUser:
      return "its folder can be changed by another user";
    case LaunchRule::kOtherNamesInSharedDirectory:
      return "it has other names in a directory others may write";
    case LaunchRule::kTaken:
      break;
  }
  return {};
}

namespace {

// Whether users other than `user` may write into the directory: it is group- or world-writable,
// or another user's.
bool OthersMayWrite(const struct stat& directory, uid_t user) {
  return GroupOrOthersMayWrite(directory) || (directory.st_uid != user && directory.st_uid != 0);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `group` is the user's own: the primary group of `user`, with no other member, named
// or by being another user's primary group.
bool OwnGroup(gid_t gid, uid_t user) {
  const passwd* me = getpwuid(user);
  if (me == nullptr || me->pw_gid != gid) return false;
  const std::string name = me->pw_name;
  if (const group* entry = getgrgid(gid); entry != nullptr) {
    for (char** member = entry->gr_mem; *member != nullptr; ++member) {
      if (name != *member) return false;
    }
  }
  bool alone = true;
  setpwent();
  while (const passwd* other = getpwent()) {
    if (other->pw_gid == gid && other->pw_uid != user) alone = false;
  }
  endpwent();
  return alone;
}

// FolderChangeableByAnother, with the look at the group made only when it decides.
bool ChangeableByAnother(const struct stat& directory, uid_t user) {
  const bool group_decides = (directory.st_mode & (S_ISVTX | S_IWOTH | S_IWGRP)) == S_IWGRP &&
                             (directory.st_uid == user || directory.st_uid == 0);
  return FolderChangeableByAnother(directory, user,
                                   group_decides && OwnGroup(directory.st_gid, user));
}

}  // namespace

bool FolderChangeableByAnother(const struct stat& directory, uid_t user, bool own_group) {
  if (directory.st_uid != user && directory.st_uid != 0) return true;
  // In a sticky directory only a file's owner (and the directory's) may rename or remove it.
  if ((directory.st_mode & S_ISVTX) != 0) return false;
  if ((directory.st_mode & S_IWOTH) != 0) return true;
  return (directory.st_mode & S_IWGRP) != 0 && !own_group;
}

LaunchRule CheckLaunchWay(const char* file_name, const struct stat& opened, uid_t user) {
  // A way that changes while it is looked at is looked at again; one that keeps changing is
  // not the user's alone.
  constexpr int kLooks = 3;
  for (int look = 0; look < kLooks; ++look) {
    const PathWalk walk = WalkPath(file_name);
    bool shared = false;
    bool changeable = false;
    for (const LinkOnTheWay& link : walk.links) {
      if (link.owner != user && link.owner != 0) return LaunchRule::kLinkOfAnotherUser;
      shared = shared || OthersMayWrite(link.directory, user);
      changeable = changeable || ChangeableByAnother(link.directory, user);
    }
    if (!walk.result.ok() || !walk.reached || !SameFile(walk.target, opened)) continue;
    const int fd = open(walk.resolved.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat reached {};
    const bool same = fstat(fd, &reached) == 0 && SameFile(reached, opened);
    (void)close(fd);
    if (!same) continue;
    const LaunchRule rule = CheckLaunchRule(reached.st_uid, reached.st_mode, user);
    if (rule != LaunchRule::kTaken) return rule;
    struct stat directory {};
    if (stat(DirectoryPart(walk.resolved).c_str(), &directory) != 0 || changeable ||
        ChangeableByAnother(directory, user)) {
      return LaunchRule::kFolderOfAnotherUser;
    }
    shared = shared || OthersMayWrite(directory, user);
    return shared && reached.st_nlink != 1 ? LaunchRule::kOtherNamesInSharedDirectory
                                           : LaunchRule::kTaken;
  }
  return LaunchRule::kLinkOfAnotherUser;
}

void ApplySettings(std::string_view text, const KeyNameTable& names, Settings& settings,
                   bool* launch_command_too_long) {
  // The text ends at its first NUL byte.
  text = text.substr(0, text.find('\0'));
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) {
      ApplyLine(text.substr(start, end - start), names, settings, launch_command_too_long);
    }
    start = end + 1;
  }
}

bool ReadRC(const KeyNameTable& names, Settings& settings, Console& con, const char* file_name) {
  // Opened without blocking, so that a FIFO of that name cannot hang the start-up.
  const UniqueFd file(open(file_name, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!file.valid() && errno == ENOENT) {
    con.Print("Making RC file: %s\n", Visible(file_name));
    MakeRC(names, settings, file_name, con);
    return false;
  }
  con.Print("Reading RC file: %s\n", Visible(file_name));
  // A file that exists but may not be read is the user's: it is neither read nor replaced.
  if (!file.valid()) return true;
  // A regular file is read. Anything else of that name (a directory, a FIFO, a device that
  // never ends) gives no text: every setting stays as it was and nothing is overwritten.
  struct stat info {};
  if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return true;
  const NameBuffer launch_command = settings.launch_command;
  bool too_long = false;
  const SysResult<> read = CatchNoMemory("read the settings file", [&] {
    bool cut = false;
    const std::string text = ReadHead(file.get(), cut);
    if (cut) con.Print("%s: only the first 1 MiB was read\n", Visible(file_name));
    // Applied to a copy, so that a lack of memory half way leaves every setting as it was.
    Settings applied = settings;
    ApplySettings(text, names, applied, &too_long);
    settings = applied;
  });
  if (!read.ok()) {
    con.Print("%s: not read: not enough memory\n", Visible(file_name));
    return true;
  }
  if (too_long) {
    con.Print("%s: launch_command ignored: longer than %d characters\n", Visible(file_name),
              static_cast<int>(settings.launch_command.size()) - 1);
  }
  // Only a launch command that was read is judged: the way there is looked at only then.
  const LaunchRule rule = settings.launch_command != launch_command
                              ? CheckLaunchWay(file_name, info, geteuid())
                              : LaunchRule::kTaken;
  if (rule != LaunchRule::kTaken) {
    settings.launch_command = launch_command;
    const std::string reason(LaunchRuleReason(rule));
    con.Print("%s: launch_command ignored: %s\n", Visible(file_name), Visible(reason));
  }
  return true;
}

std::string SettingsText(const KeyNameTable& names, const Settings& settings) {
  std::string text;
  for (int k = 0; k < kSlotCount; ++k) {
    text += names[static_cast<std::size_t>(k)].data();
    text += '=';
    text += settings.keys[static_cast<std::size_t>(k)].data();
    text += '\n';
  }
  const auto line = [&text](const char* name, const std::string& value) {
    text += name;
    text += '=';
    text += value;
    text += '\n';
  };
  line("max_lines", std::to_string(settings.limits.lines));
  line("max_char", std::to_string(settings.limits.lsize - 1));
  text += '\n';
  // The anchor in the first column, where it starts, is written as 0: a value the reader leaves
  // alone, as default files have always had it.
  line("anchor_position",
       std::to_string(settings.anchor_pos == 0 ? 0 : int64_t{settings.anchor_pos} + 1));
  line("lines_per_page", std::to_string(settings.page_length));
  line("show_numbers", settings.show_numbers ? "on" : "off");
  line("launch_command", settings.launch_command.data());
  return text;
}

void MakeRC(const KeyNameTable& names, const Settings& settings, const char* file_name,
            Console& con) {
  const std::string text = SettingsText(names, settings);
  // Created new and not through a link: a link planted under this name (in a shared directory)
  // must not make the editor create or truncate a file of someone else's choosing. Writable by
  // its owner only, so that the file passes CheckLaunchRule once the user fills in a launch
  // command. A default file cut short (a full disk) would hold a prefix of a value, such as
  // max_char=2, and the next start would take it: the writer removes such a file, and it is
  // reported like one that could not be made.
  constexpr int kSettingsMode = 0644;
  if (!WriteNewFile(file_name, text, kSettingsMode).ok()) con.Line("Cannot make RC file");
}

}  // namespace ostrel
