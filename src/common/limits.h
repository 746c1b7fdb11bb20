// The two grid limits of the text buffer: the settings file may change them at start-up, and
// they are fixed from the moment the buffer is allocated.
#pragma once

#include <cstdint>

namespace ostrel {

struct Limits {
  int32_t lsize = 256;    // bytes per slot, terminator included
  int32_t lines = 32767;  // number of slots

  bool operator==(const Limits&) const = default;
};

}  // namespace ostrel
