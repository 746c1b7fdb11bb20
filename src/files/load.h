// Loading: a text file is read whole and cut into lines, over-long lines being split, and the
// lines replace the document.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "buffer/text_buffer.h"
#include "common/name.h"
#include "common/outcome.h"
#include "files/save.h"

namespace ostrel {

class Console;

// Kinds of line boundary in the marking table.
inline constexpr int32_t kNewlineBoundary = 1;  // at a newline, which belongs to no line
inline constexpr int32_t kSplitBoundary = 2;    // the next line starts here, nothing skipped

// Reads the file named `name` (at start-up, at once) and stores its lines in place of the
// document. kDone when they replaced it; kNoFile when nothing of that name exists; kRefused when
// the file exists but could not be read whole (the user is told why); kAbandoned when the user
// declined a partial load or the text could not be parsed: the editor must end with status 1;
// kCancelled when a signal came at the partial-load question. Only kDone changes the document.
// `guard`, when given, takes the record of what stands under the name now when a file was loaded
// or none was found.
Outcome Load(const char* name, TextBuffer& buffer, Console& con, SaveGuard* guard = nullptr);

// The open command's dialogue: asks for the name of a file to load, or 's' to save the document
// first with `save_first` (the document is replaced only when that gives kDone), or 'x' to
// return; then loads the file as Load does. The name given becomes the open name unless the
// file could not be read (kRefused, kCancelled). kCancelled after 'x',
// kEnded when the input ended, kRefused when a name was refused; the caller decides whether the
// file name takes the open name.
Outcome Open(NameBuffer& open_name, TextBuffer& buffer, Console& con,
             const std::function<Outcome()>& save_first, SaveGuard* guard = nullptr);

// Cuts `text` (the file's bytes up to its first NUL) into lines, then clears the buffer and
// stores them in lines 0, 1, 2 …. `file_size` is the number of bytes in the file, so that text lost
// behind a NUL is noticed. Returns false when the editor must end with status 1.
bool ParseLines(std::string_view text, std::size_t file_size, TextBuffer& buffer, Console& con);

// The marking pass: fills the boundary table (positions and kinds, lines+1 entries each, all
// zero on entry; entry 0 is the start of the text), prints the split warnings, the line count
// and, when text is left without a slot, the partial-load warning. Only the entries used are
// written. Returns the number of entries used, which is the number of lines to store plus one,
// or 0 when the user declined the partial load.
int32_t MarkLines(std::string_view text, std::size_t file_size, int32_t lsize, int32_t lines,
                  int32_t* positions, int32_t* kinds, Console& con);

// The same with the table in two vectors, which are resized to lines+1 zero entries first.
int32_t MarkLines(std::string_view text, std::size_t file_size, int32_t lsize, int32_t lines,
                  std::vector<int32_t>& positions, std::vector<int32_t>& kinds, Console& con);

// Prints the partial-load warning with the share of the text that was looked at (one decimal;
// never 100.0, since text is dropped) and asks whether to go on: kDone only for the answer "Y",
// kCancelled when a signal interrupted the question, kAbandoned for every other answer and at
// the end of the input.
Outcome DataWarning(float percent, Console& con);

}  // namespace ostrel
