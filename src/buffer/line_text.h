// A line's text as a view of its bytes, and the character rules (common/characters.h) applied
// to it through the buffer's reading accessors.
#pragma once

#include <cstdint>
#include <string_view>

#include "buffer/text_buffer.h"
#include "common/characters.h"

namespace ostrel {

// The bytes of the line before its terminator.
inline std::string_view LineText(const TextBuffer& buffer, int32_t line) {
  return {buffer.Slot(line), static_cast<std::size_t>(buffer.Length(line))};
}

// The first byte of the character of the line that holds byte `pos`: `pos` itself on a
// character's first byte and at or beyond the end of the text.
inline int32_t CharStartInLine(const TextBuffer& buffer, int32_t line, int32_t pos) {
  if (pos <= 0) return pos;
  return static_cast<int32_t>(CharStart(LineText(buffer, line), static_cast<std::size_t>(pos)));
}

}  // namespace ostrel
