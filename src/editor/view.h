// The editing view printed before every input line: header, window, prompt.
#pragma once

#include <cstdint>

#include "buffer/text_buffer.h"

namespace ostrel {

class Console;

// Prints the header, the window of page_minus_one+1 lines ending at the cursor line (or
// starting at line 0 near the top), each shown from the cursor position on, and the prompt.
// `numbers` selects the numbered view, otherwise the marker view.
void Display(int32_t cursor_line, int32_t cursor_pos, int32_t page_minus_one,
             const TextBuffer& buffer, bool numbers, const char* file_name, Console& con);

}  // namespace ostrel
