// Insertion and the clip buffer: each change has a check procedure that prints why the change
// is refused or shortened, may shorten the count it is given, and says whether to go ahead.
// The changes themselves print nothing and trust the count their check settled.
#pragma once

#include <cstdint>

#include "buffer/text_buffer.h"

namespace ostrel {

class Console;

// Whether the text may be inserted at position p of the line; k is set to the length of the
// text in bytes, then shortened so the line stays within lsize-1 bytes, to whole characters.
// True when k > 0.
bool CheckInsert(int32_t line, int32_t p, int32_t& k, const char* text, const TextBuffer& buffer,
                 Console& con);

// Inserts the first k bytes of `text` at p, shifting the rest of the line right; a line
// shorter than p is first extended with spaces.
void Insert(int32_t line, int32_t p, int32_t k, const char* text, TextBuffer& buffer);

// Whether the clip may be pasted at p; k is set to the clip's length in bytes, shortened to
// whole characters that fit into the line. False only for an empty clip (k may be 0 at the last
// position of a slot).
bool CheckPaste(int32_t p, int32_t& k, const char* clip, const TextBuffer& buffer, Console& con);

// Overwrites k bytes of the clip at p, as typed text does. With k = 0 nothing changes.
void Paste(int32_t line, int32_t p, int32_t k, const char* clip, TextBuffer& buffer);

// Whether k characters may be cut at p; k is shortened to the characters of the rest of the
// line. A negative k counts as 0.
bool CheckCut(int32_t line, int32_t p, int32_t& k, const TextBuffer& buffer, Console& con);

// Removes k bytes at p; the rest of the line moves left and the freed bytes become zero.
void Cut(int32_t line, int32_t p, int32_t k, TextBuffer& buffer);

// Whether k characters may be copied from p; k is shortened to the characters of the rest of
// the line. A negative k counts as 0.
bool CheckCopy(int32_t line, int32_t p, int32_t& k, const TextBuffer& buffer, Console& con);

// Bytes of the first k characters of the line from p on (fewer when the line ends first).
int32_t CharBytesAt(int32_t line, int32_t p, int32_t k, const TextBuffer& buffer);

}  // namespace ostrel
