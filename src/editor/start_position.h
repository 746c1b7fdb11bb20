// Where the cursor starts, as the command line gives it.
#pragma once

#include <cstdint>

namespace ostrel {

// 1-based line and column as given, each at most INT32_MAX, or the last line that holds text
// ("+" alone).
struct StartPosition {
  bool last_text_line = false;
  int32_t line = 1;
  int32_t column = 1;
};

}  // namespace ostrel
