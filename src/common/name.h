// Names the user gives: a file name, the name last given for loading, the launch command. Each
// lives in a fixed buffer of kNameSize bytes, so at most 255 characters and the terminator.
// A name moves from one buffer to another whole, by assignment: none is ever cut on the way. A
// longer name is refused where it comes in (the file-name answer, the start-up argument, the
// settings file's launch command).
#pragma once

#include <array>

namespace ostrel {

inline constexpr int kNameSize = 256;

using NameBuffer = std::array<char, kNameSize>;

}  // namespace ostrel
