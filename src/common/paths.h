// Small helpers on path names, shared by the rooms that take names apart.
#pragma once

#include <string>

namespace ostrel {

// The directory part of a path: "." for a bare name, "/" for a name in the root.
inline std::string DirectoryPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace ostrel
