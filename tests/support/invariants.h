// The editor state's invariants, checked as a whole: what every command must leave behind.
// Tests and the fuzz targets call it after every command; the editor itself never needs to, so
// it is built only with them.
#pragma once

#include <string>

#include "editor/state.h"

namespace ostrel {

// True when the state holds every invariant:
// - each line's storage holds its terminator within lsize bytes and only zeros after it, no two
//   lines share a slot, every slot at or past the buffer's written mark is empty, and the blank
//   slot empty lines read as holds only zeros;
// - the cursor line is in 0 .. lines-1 and the cursor position in 0 .. lsize-1; the anchor
//   position too, as anchor_go moves the cursor there;
// - the six scratch buffers (command input, insert text, jump string, clip, both undo copies)
//   are lsize bytes long and terminated within them; the file name, open name and launch
//   command are terminated within their 256 bytes;
// - the undo kind is 0 .. 6 and the line numbers it uses are lines of the grid.
// Otherwise false, with the first broken invariant described in *why (when why is not null).
bool CheckInvariants(const EditorState& s, std::string* why);

// The first of those invariants alone: true when the buffer is allocated and every line's
// storage, the slots past the written mark and the blank slot are as described there.
bool CheckSlots(const TextBuffer& buffer, std::string* why);

}  // namespace ostrel
