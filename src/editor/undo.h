// The single-step undo record's line saves and restores.
#pragma once

#include <cstdint>

#include "buffer/memory.h"
#include "buffer/text_buffer.h"

namespace ostrel {

// Sets the undo line to `line` and saves that line's slot into `copy` (whole slot).
void StoreUndo(int32_t line, int32_t& undo_line, LineBuffer& copy, const TextBuffer& buffer);

// Restores `copy` over the slot of `line` (whole slot).
void RecallUndo(int32_t line, const LineBuffer& copy, TextBuffer& buffer);

// Saves the first line into copy1 and the second into copy2; saves nothing when the second line
// lies outside the grid.
void StoreDoubleUndo(int32_t first, int32_t second, LineBuffer& copy1, LineBuffer& copy2,
                     const TextBuffer& buffer);

}  // namespace ostrel
