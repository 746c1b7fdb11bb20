// Builds a small editor state for driving procedures and command handlers directly.
#pragma once

#include <string>
#include <vector>

#include "editor/state.h"

namespace ostrel::test {

// A state with an allocated lsize x lines grid, the default keys, empty scratch buffers, and
// the given lines stored from line 0 on.
EditorState MakeState(int32_t lsize, int32_t lines, const std::vector<std::string>& text = {});

// The text of line i.
std::string LineText(const EditorState& s, int32_t line);

// All lines as strings, trailing empty lines included.
std::vector<std::string> AllLines(const EditorState& s);

// True when every slot holds its terminator and only zeros after it (CheckSlots).
bool SlotsAreClean(const TextBuffer& buffer);

}  // namespace ostrel::test
