// Loading: a text file is read whole and cut into lines, over-long lines being split, and the
// lines replace the document.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "buffer/text_buffer.h"
#include "common/name.h"
#include "files/save.h"

namespace ostrel {

class Console;
struct SessionRescue;

// Kinds of line boundary in the marking table.
inline constexpr int32_t kNewlineBoundary = 1;  // at a newline, which belongs to no line
inline constexpr int32_t kSplitBoundary = 2;    // the next line starts here, nothing skipped

// How an open ended; the caller turns it into changes of the editor state.
enum class OpenResult {
  kLoaded,       // the file replaced the document
  kNotFound,     // no file of that name exists; the document is unchanged
  kLeftAlone,    // nothing was opened and no name changed: 'x', end of input, a failed save first,
                 // or a file that exists but could not be opened or read whole
  kAbandon,      // the user declined a partial load or the text could not be parsed: the editor
                 // must end with status 1; the document is as it was
  kInterrupted,  // a signal came at the partial-load question: nothing was loaded and no name
                 // changed; the signal is the caller's to act on
};

// Loads the file named by `open_name`. With `at_once` it is opened at once; otherwise the user
// is first asked for a name and offered to save the document (under `file_name`) first. Both names
// are kNameSize buffers. The caller decides whether the file name takes the open name.
// A save the user asks for first goes through the session's rescue record `rescue` (see Save).
// `saved_first`, when given, is set when the user asked to save the document first: true when
// it was saved, false when that failed; it is left alone otherwise. `guard`, when given, guards
// that save and, when a file was loaded or none was found, takes the record of what stands under
// the open name now.
OpenResult Open(bool at_once, char* open_name, TextBuffer& buffer, char* file_name, Console& con,
                SessionRescue& rescue, std::optional<bool>* saved_first = nullptr,
                SaveGuard* guard = nullptr);

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
// never 100.0, since text is dropped) and asks whether to go on. True only for the answer "Y".
bool DataWarning(float percent, Console& con);

}  // namespace ostrel
