// Durable writing of a whole file: the text is complete and synced to the disk before a write
// counts, and a failure leaves what was there before. No dialogue and no output: callers turn
// the results into messages.
//
// Every writer here returns 0 when the whole text was written, or the errno value that made it
// fail.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "files/rescue_lock.h"

namespace ostrel {

// Writes `data` to the file `name`, creating it or replacing its text. The text goes to a new
// file in the same directory that takes the old file's owner, group and mode, is synced and
// renamed over the old one; a link stays a link. Where replacing would change what the user has
// (another hard link, a device or FIFO, an owner that cannot be kept, a directory that refuses
// the new file), the file is written in place instead: its space is reserved first, and a
// failure before the first byte of the new text leaves it byte for byte as it was.
int WriteDocument(const char* name, std::string_view data);

// Replaces the file `name` (or a link of that name: the name is what is replaced) by one that
// holds `data` and has exactly the permission bits `mode`, atomically: whatever happens, `name`
// is the old file or the whole new one, and no temporary file is left behind. With `keep_locked`
// the new file is locked for the session (LockForSession) before it gets a name, and its
// descriptor is kept open there.
int ReplaceFile(const char* name, std::string_view data, int mode, UniqueFd* keep_locked = nullptr);

// Creates the file `name`, which must not exist yet (a link of that name is not followed), with
// permission bits `mode` (less the umask), and writes and syncs all of `data`. EEXIST when the
// name is taken; on any failure a file made here is removed again.
int WriteNewFile(const char* name, std::string_view data, int mode);

// Writes and syncs all of `data` into a new file with permission bits `mode` (less the umask)
// and gives it the first free name of name_of(0) … name_of(count-1), all in one directory (a
// link of a name counts as taken). The file is written without a name and named only once it
// is whole, so no name ever holds part of the text; where the system cannot do that, each name
// is tried with WriteNewFile. EEXIST when every name is taken; `name` gets the name given, or
// the last one tried. With `keep_locked`, as for ReplaceFile.
int WriteNewFileUnderFreeName(const std::function<std::string(int)>& name_of, int count,
                              std::string_view data, int mode, std::string& name,
                              UniqueFd* keep_locked = nullptr);

}  // namespace ostrel
