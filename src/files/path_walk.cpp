#include "files/path_walk.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

#include "common/platform.h"

namespace ostrel {
namespace {

// As many links as the system follows on one path before it gives up with ELOOP.
constexpr std::size_t kMaxLinks = 40;

void AppendParts(const std::string& path, std::deque<std::string>& parts, bool in_front) {
  std::deque<std::string> split;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) split.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  if (in_front) {
    parts.insert(parts.begin(), split.begin(), split.end());
  } else {
    parts.insert(parts.end(), split.begin(), split.end());
  }
}

std::string Join(const std::string& dir, const std::string& part) {
  if (dir.empty()) return part;
  return dir.back() == '/' ? dir + part : dir + "/" + part;
}

// `dir` with the parts still to resolve: how far a walk that stopped got, and what was left.
std::string JoinAll(std::string dir, const std::deque<std::string>& parts) {
  for (const std::string& part : parts) dir = Join(dir, part);
  return dir;
}

// One level up from `dir`, which holds no link: a plain cut, except above the start of a
// relative path.
std::string Up(const std::string& dir) {
  if (dir.empty()) return "..";
  if (dir == "/") return dir;
  const std::size_t slash = dir.rfind('/');
  const std::string last = slash == std::string::npos ? dir : dir.substr(slash + 1);
  if (last == "..") return dir + "/..";
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : dir.substr(0, slash);
}

// The text of the link `name` of the folder `dir` (AT_FDCWD: a path), whose lstat gave `size`.
SysResult<std::string> ReadLinkAt(int dir, const char* name, off_t size) {
  std::string target(static_cast<std::size_t>(size > 0 ? size : 4096) + 1, '\0');
  const ssize_t n = readlinkat(dir, name, target.data(), target.size());
  if (n < 0) return SysError::FromErrno("read a link");
  if (static_cast<std::size_t>(n) >= target.size())
    return SysError::Of(ENAMETOOLONG, "read a link");
  target.resize(static_cast<std::size_t>(n));
  return target;
}

}  // namespace

PathWalk WalkPath(const std::string& path) {
  PathWalk walk;
  std::deque<std::string> parts;
  AppendParts(path, parts, false);
  std::string current = !path.empty() && path[0] == '/' ? "/" : "";
  while (!parts.empty()) {
    const std::string part = parts.front();
    parts.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      current = Up(current);
      continue;
    }
    const std::string next = Join(current, part);
    struct stat info {};
    if (lstat(next.c_str(), &info) != 0) {
      walk.resolved = JoinAll(next, parts);
      if (errno != ENOENT || !parts.empty()) walk.result = SysError::FromErrno("look at a part");
      return walk;
    }
    if (S_ISLNK(info.st_mode)) {
      if (walk.links.size() >= kMaxLinks) {
        walk.result = SysError::Of(ELOOP, "follow a link");
        return walk;
      }
      SysResult<std::string> read = ReadLinkAt(AT_FDCWD, next.c_str(), info.st_size);
      if (!read.ok()) {
        walk.result = read.error();
        return walk;
      }
      const std::string& target = read.value();
      LinkOnTheWay link{.path = next, .owner = info.st_uid};
      if (stat(current.empty() ? "." : current.c_str(), &link.directory) != 0) {
        walk.result = SysError::FromErrno("look at a link's folder");
        return walk;
      }
      walk.links.push_back(std::move(link));
      AppendParts(target, parts, true);
      if (!target.empty() && target[0] == '/') current.assign(1, '/');
      continue;
    }
    current = next;
    if (parts.empty()) {
      walk.reached = true;
      walk.target = info;
    } else if (!S_ISDIR(info.st_mode)) {
      walk.resolved = JoinAll(current, parts);
      walk.result = SysError::Of(ENOTDIR, "look at a part");
      return walk;
    }
  }
  walk.resolved = current.empty() ? "." : current;
  if (!walk.reached) {
    walk.reached = lstat(walk.resolved.c_str(), &walk.target) == 0;
  }
  return walk;
}

bool GroupOrOthersMayWrite(const struct stat& directory) {
  return (directory.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

bool ForeignLink(uid_t owner, const struct stat& directory, uid_t user) {
  return GroupOrOthersMayWrite(directory) && owner != user && owner != 0 &&
         owner != directory.st_uid;
}

namespace {

// Opens the folder `part` of the folder `dir`, never through a link. A folder that may be
// searched but not read is opened for the walk alone, where the system offers that.
SysResult<UniqueFd> OpenFolderAt(int dir, const char* part) {
  int fd = openat(dir, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = platform::OpenFolderForWalk(dir, part);
  if (fd < 0) return SysError::FromErrno("open a folder");
  return UniqueFd(fd);
}

}  // namespace

FileInFolder OpenFileInFolder(const std::string& path, uid_t user) {
  FileInFolder at;
  const auto fail = [&at](SysError error) {
    at.result = error;
    return std::move(at);
  };
  std::deque<std::string> parts;
  AppendParts(path, parts, false);
  // A name that ends in a slash names a folder.
  if (parts.empty() || path.back() == '/') parts.emplace_back(".");
  SysResult<UniqueFd> start = OpenFolderAt(AT_FDCWD, path.starts_with('/') ? "/" : ".");
  if (!start.ok()) return fail(start.error());
  UniqueFd folder = std::move(start.value());
  std::size_t links = 0;
  bool own_last_part = true;  // the path's own last part is still to be looked at
  for (;;) {
    const std::string part = parts.front();
    parts.pop_front();
    const bool last = parts.empty();
    if (!last) {
      if (part == ".") continue;
      SysResult<UniqueFd> next = OpenFolderAt(folder.get(), part.c_str());
      if (next.ok()) {
        folder = std::move(next.value());
        continue;
      }
      // Not a folder: a link is read below, anything else fails the walk.
      if (!next.error().Is(ENOTDIR) && !next.error().Is(ELOOP)) return fail(next.error());
    }
    struct stat info {};
    if (fstatat(folder.get(), part.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (!last || errno != ENOENT) return fail(SysError::FromErrno("look at a part"));
      at.leaf = part;
      at.folder = std::move(folder);
      return at;
    }
    if (!S_ISLNK(info.st_mode)) {
      if (!last) return fail(SysError::Of(ENOTDIR, "look at a part"));
      at.leaf = part;
      at.exists = true;
      at.file = info;
      at.folder = std::move(folder);
      return at;
    }
    struct stat directory {};
    if (++links > kMaxLinks) return fail(SysError::Of(ELOOP, "follow a link"));
    if (fstat(folder.get(), &directory) != 0) {
      return fail(SysError::FromErrno("look at a link's folder"));
    }
    if (ForeignLink(info.st_uid, directory, user)) {
      at.foreign = true;
      return at;
    }
    SysResult<std::string> read = ReadLinkAt(folder.get(), part.c_str(), info.st_size);
    if (!read.ok()) return fail(read.error());
    const std::string& target = read.value();
    if (target.empty()) return fail(SysError::Of(ENOENT, "read a link"));
    if (last && own_last_part) {
      at.name_is_link = true;
      at.link_text = target;
    }
    own_last_part = own_last_part && !last;
    const std::size_t before = parts.size();
    AppendParts(target, parts, true);
    // A link to "/" or to "dir/" names a folder, as the name with a slash does.
    if (last && (parts.size() == before || target.back() == '/')) parts.emplace_back(".");
    if (target.starts_with('/')) {
      SysResult<UniqueFd> root = OpenFolderAt(AT_FDCWD, "/");
      if (!root.ok()) return fail(root.error());
      folder = std::move(root.value());
    }
  }
}

}  // namespace ostrel
