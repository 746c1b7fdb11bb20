// The saved form of a document assembled whole into one block, the way saves were made before
// they wrote a line at a time: kept for the benchmarks that compare the two, and for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "buffer/text_buffer.h"

namespace ostrel {

// The most bytes the saved form of lines 0 to `last` can take: lsize per line.
std::size_t AssembledBound(const TextBuffer& buffer, int32_t last);

// Writes the saved form of lines 0 to `last` to `out`, which holds at least AssembledBound
// bytes, and returns its length.
std::size_t AssembleInto(const TextBuffer& buffer, int32_t last, char* out);

// The saved form of the document: lines 0 to DocLength, each followed by a newline. An empty
// document gives one newline.
std::string AssembleDocument(const TextBuffer& buffer);

}  // namespace ostrel
