// Names the user gives: a file name, the name last given for loading, the launch command. Each
// lives in a fixed buffer of kNameSize bytes, so at most 255 characters and the terminator.
#pragma once

#include <array>
#include <cstring>

namespace ostrel {

inline constexpr int kNameSize = 256;

using NameBuffer = std::array<char, kNameSize>;

// Copies a name into a name buffer of kNameSize bytes, cut to kNameSize-1 characters and
// terminated.
inline void CopyName(char* to, const char* from) {
  std::strncpy(to, from, kNameSize - 1);
  to[kNameSize - 1] = '\0';
}

}  // namespace ostrel
