// Saving: the document is written as a text file, every line through the last non-empty one,
// each followed by a newline.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "buffer/text_buffer.h"
#include "common/name.h"

namespace ostrel {

class Console;

// Index of the last line that is not empty; 0 when every line is empty.
int32_t DocLength(const TextBuffer& buffer);

// The saved form of the document: lines 0 to DocLength, each followed by a newline. An empty
// document gives one newline.
std::string AssembleDocument(const TextBuffer& buffer);

// The most bytes the saved form of lines 0 to `last` can take: lsize per line.
std::size_t AssembledBound(const TextBuffer& buffer, int32_t last);

// Writes the saved form of lines 0 to `last` to `out`, which holds at least AssembledBound
// bytes, and returns its length.
std::size_t AssembleInto(const TextBuffer& buffer, int32_t last, char* out);

// True when something of that name exists (a file that may not be read, a link to nothing and
// a FIFO included): the save-as question's test of whether a name is taken.
bool NameExists(const char* name);

// Writes the document under `file_name` (kNameSize bytes), first asking for a name while it
// is empty. Prints "Saved to" and returns true only when the whole text was written and the file
// closed; otherwise prints one failure line and returns false.
bool Save(char* file_name, const TextBuffer& buffer, Console& con);

// The save-as dialogue: asks for a name and guards existing files. True when the document
// is to be saved under `file_name` (possibly replaced), false when nothing is to be saved; then
// `file_name` is as it was.
bool DefineSaveName(char* file_name, Console& con);

}  // namespace ostrel
