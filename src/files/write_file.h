// Durable writing of a whole file: the text is complete and synced to the disk before a write
// counts, and a failure leaves what was there before. No dialogue and no output: callers turn
// the results into messages.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// Writes `data` to the file `name`, creating it or replacing its text. The text goes to a new
// file in the same directory that takes the old file's owner, group and mode, is synced and
// renamed over the old one; a link stays a link. Where replacing would change what the user has
// (another hard link, a device or FIFO, an owner that cannot be kept, a directory that refuses
// the new file), the file is written in place instead. On failure the result is false and
// `error` holds the system's reason; no temporary file is left behind.
bool WriteDocument(const char* name, std::string_view data, std::string& error);

// Creates the file `name`, which must not exist yet (a link of that name is not followed), with
// permission bits `mode` (less the umask), and writes and syncs all of `data`. On failure the
// result is false, `failure` holds the errno value (EEXIST when the name is taken) and a file
// made here is removed again.
bool WriteNewFile(const char* name, std::string_view data, int mode, int& failure);

// WriteNewFile under `base`, or, while that name is taken, under the first free one of
// `base.1`, `base.2`, …: an existing file is never touched. `name` gets the name written, or on
// failure the last one tried.
bool WriteUnderFreeName(const std::string& base, std::string_view data, int mode, std::string& name,
                        int& failure);

}  // namespace ostrel
