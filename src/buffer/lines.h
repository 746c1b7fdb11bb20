// Whole-line operations: every change copies or clears whole slots, so both slot invariants
// hold after each step. The grid never grows or shrinks.
#pragma once

#include <cstdint>

#include "buffer/text_buffer.h"

namespace ostrel {

// Copies the slot of `from` over the slot of `to`, then empties `from`. Moving a line onto
// itself leaves it as it was.
void Move(int32_t from, int32_t to, TextBuffer& buffer);

// Copies the slot of `from` over the slot of `to`; `from` is unchanged.
void Copy(int32_t from, int32_t to, TextBuffer& buffer);

// Opens an empty line at `line`: the lines from there down move one further, and the text of
// the last line is lost. On the last line only that line is emptied.
void Wedge(int32_t line, TextBuffer& buffer);

// Deletes `line`: the lines below it move up one and the last line becomes empty. On the last
// line nothing changes.
void Delete(int32_t line, TextBuffer& buffer);

}  // namespace ostrel
