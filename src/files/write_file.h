// Durable writing of a whole file: the text is complete and synced to the disk before a write
// counts, and a failure leaves what was there before. No dialogue and no output: callers turn
// the results into messages.
//
// Every writer here gives a SysResult (common/sys_result.h): the whole text was written, or
// why not (a document's save may also stop because the file changed meanwhile, see below). The
// text comes from a TextSource in pieces and is written in blocks of bounded size, so that writing
// a file never needs a copy of the whole text in memory.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "common/sys_result.h"
#include "files/rescue_lock.h"

namespace ostrel {

// A text to write, handed out piece by piece.
class TextSource {
 public:
  using Put = std::function<SysResult<>(std::string_view)>;
  TextSource() = default;
  virtual ~TextSource() = default;
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;
  // The length of the whole text in bytes.
  virtual std::size_t Size() const = 0;
  // Hands the pieces to `put` in order, and stops at the first one it refuses, with what `put`
  // returned then.
  virtual SysResult<> Each(const Put& put) const = 0;
};

// A text held whole in memory already.
class StringSource final : public TextSource {
 public:
  explicit StringSource(std::string_view text) : text_(text) {}
  std::size_t Size() const override { return text_.size(); }
  SysResult<> Each(const Put& put) const override { return put(text_); }

 private:
  std::string_view text_;
};

// The reason of the writers' own: what stands under the name is no longer what the save looked
// at first (another program changed, replaced, planted or removed it). Nothing under the name
// was replaced, and nothing was written in place, unless the guard's `torn` says so.
SysError ChangedMeanwhile(const char* doing);
bool IsChangedMeanwhile(const SysError& error);

// A file named relative to an open folder (or to the current directory, AT_FDCWD): every call
// on it, and on the temporary names beside it, is made relative to that folder.
struct FileAt {
  int dir = AT_FDCWD;
  std::string name;
};

// What a save does around writing a file in place, where a failure part way would leave the
// file holding neither text whole.
struct InPlaceGuard {
  // Called once before anything of a regular file is written in place: puts a durable copy of
  // the whole new text elsewhere.
  std::function<SysResult<>()> copy_first;
  // Called when that copy could not be made, with why: whether to write in place all the same.
  // When it is missing or says no, nothing is written, and the write gives the copy's failure.
  std::function<bool(const SysError&)> without_copy;
  // Set when writing in place failed after its first byte: the file may hold parts of both
  // texts.
  bool torn = false;
};

// Writes `text` to the file `at`, which the save looked at first and found to be `first` (not a
// link), or nothing (nullptr). Every call is relative to `at.dir`, and the file written is the
// one looked at: whatever is planted, changed or removed under the name since gives
// ChangedMeanwhile, and nothing under the name changes.
//
// A new file is written whole and then linked to the name, which replaces nothing. An existing
// one is replaced: the text goes to a new file in the same folder that takes the old file's
// owner, group and mode, is synced and put in the old one's place. Where replacing would change
// what the user has (another hard link, a device or FIFO, an owner that cannot be kept, a
// directory that refuses the new file), the file is written in place instead: for a regular
// file the guard's copy is made first and the space reserved where the file system allows; the
// text is then written, a longer old text cut, and the file synced. A failure before the first
// byte of the new text leaves it byte for byte as it was.
SysResult<> WriteDocument(const FileAt& at, const struct stat* first, const TextSource& text,
                          InPlaceGuard* guard);

// Replaces the file `name` (or a link of that name: the name is what is replaced) by one that
// holds `text` and has exactly the permission bits `mode`, atomically: whatever happens, `name`
// is the old file or the whole new one, and no temporary file is left behind. With
// `keep_locked` the new file is locked for the session (LockForSession) before it gets a name,
// and its descriptor is kept open there.
SysResult<> ReplaceFile(const char* name, const TextSource& text, int mode,
                        UniqueFd* keep_locked = nullptr);
SysResult<> ReplaceFile(const char* name, std::string_view text, int mode);

// Creates the file `name`, which must not exist yet (a link of that name is not followed), with
// permission bits `mode` (less the umask) and all of `text`, as WriteNewFileUnderFreeName does
// with one name. EEXIST when the name is taken.
SysResult<> WriteNewFile(const char* name, const TextSource& text, int mode);
SysResult<> WriteNewFile(const char* name, std::string_view text, int mode);

// Writes and syncs all of `text` into a new file with permission bits `mode` (less the umask)
// and gives it the first free name of name_of(0) … name_of(count-1), all in one directory (a
// link of a name counts as taken), then syncs the directory. The file gets a final name only
// once it is whole: it is written without a name where the file system offers that, else under
// a temporary name, and then linked to the final name (a link never replaces anything and
// never follows a link). EEXIST when every name is taken; `name` gets the name given, or the
// last one tried. With `keep_locked`, as for ReplaceFile.
SysResult<> WriteNewFileUnderFreeName(const std::function<std::string(int)>& name_of, int count,
                                      const TextSource& text, int mode, std::string& name,
                                      UniqueFd* keep_locked = nullptr);
SysResult<> WriteNewFileUnderFreeName(const std::function<std::string(int)>& name_of, int count,
                                      std::string_view text, int mode, std::string& name);

// Removes the file `name` and syncs its directory, so that the removal outlasts a power cut.
SysResult<> RemoveFile(const char* name);

}  // namespace ostrel
