#include "files/load.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "buffer/memory.h"
#include "common/characters.h"
#include "common/sys_result.h"
#include "common/unique_fd.h"
#include "console/console.h"
#include "console/question.h"
#include "files/save.h"

namespace ostrel {
namespace {

// All bytes of a file followed by one zero byte, in a block with room for more: `capacity`
// bytes in all, of which the pages never written cost nothing.
struct FileImage {
  PageBlock bytes;
  std::size_t size = 0;
  std::size_t capacity = 0;
  struct stat info {};  // the file the bytes were read from
};

// The reasons of the loader's own why a file that exists is not loaded, beside the system's.
enum class LoadStop { kNotRegular = 1, kSizeUnknown, kTooLarge, kNoMemory, kShort };
const char* const kLoadStopTexts[] = {
    "not a regular file", "its size cannot be found",   "larger than 2147483647 bytes",
    "not enough memory",  "it could not be read whole",
};

SysError Stop(LoadStop stop, const char* doing) {
  static const ReasonCategory category("load", kLoadStopTexts);
  return {.code = std::error_code(static_cast<int>(stop), category), .doing = doing};
}

// Positions are kept in 32-bit fields, so larger files are refused.
constexpr off_t kLargestFile = INT32_MAX;

// Reads the whole file into one block with one read: true when it was read, false when no file
// of the name exists. A file that exists but cannot be opened or read whole fails with a
// reason. The file is opened without blocking, so that a FIFO without a writer cannot hang the
// editor, and anything but a regular file is refused before a byte is read. The block has room
// for one more byte per line of lsize-1 characters, so that the pieces of split lines can each
// be given a terminator in place.
SysResult<bool> ReadImage(const char* name, int32_t lsize, FileImage& image) {
  const UniqueFd fd(open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    return SysError::FromErrno("open the file");
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) return SysError::FromErrno("look at the file");
  if (S_ISDIR(info.st_mode)) return SysError::Of(EISDIR, "look at the file");
  if (!S_ISREG(info.st_mode)) return Stop(LoadStop::kNotRegular, "look at the file");
  if (info.st_size < 0) return Stop(LoadStop::kSizeUnknown, "look at the file");
  if (info.st_size > kLargestFile) return Stop(LoadStop::kTooLarge, "look at the file");
  const auto bytes = static_cast<std::size_t>(info.st_size);
  const std::size_t capacity = bytes + 1 + bytes / static_cast<std::size_t>(lsize - 1) + 1;
  if (!image.bytes.Allocate(capacity)) return Stop(LoadStop::kNoMemory, "allocate the image");
  // A file cut shorter since its size was taken ends the reading early.
  std::size_t done = 0;
  while (done < bytes) {
    const ssize_t got = read(fd.get(), image.bytes.data() + done, bytes - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      const SysError failure =
          got < 0 ? SysError::FromErrno("read the file") : Stop(LoadStop::kShort, "read the file");
      image.bytes.Release();
      return failure;
    }
    done += static_cast<std::size_t>(got);
  }
  image.bytes.data()[bytes] = '\0';
  image.size = bytes;
  image.capacity = capacity;
  image.info = info;
  return true;
}

// The share of the text that was looked at, as the warning shows it: both counts in single
// precision, the quotient in double, the result in single precision again.
float Percent(std::size_t looked, std::size_t total) {
  const auto part = static_cast<float>(looked);
  const auto whole = static_cast<float>(total);
  return static_cast<float>(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
}

}  // namespace

Outcome DataWarning(float percent, Console& con) {
  // The warning comes only when text is dropped: a share that rounds up to 100.0 shows 99.9.
  char shown[32];
  (void)std::snprintf(shown, sizeof shown, "%.1f", static_cast<double>(percent));
  const double shown_percent =
      std::strcmp(shown, "100.0") == 0 ? 99.9 : static_cast<double>(percent);
  con.Print("\nWarning!! Only %.1f percent of the data was loaded!\n", shown_percent);
  con.Line("The unloaded data will be lost if you save to the same filename!");
  con.Line("Do you wish to continue (Y,n)?");
  con.Line("If not, restart with more lines by editing the .vazaru_da file.");
  char answer[16];
  // End of input counts as a refusal, as any answer but "Y" does.
  const Outcome answered = AskWhole(con, answer, sizeof answer);
  if (answered == Outcome::kCancelled) return answered;
  return answered == Outcome::kDone && std::strcmp(answer, "Y\n") == 0 ? Outcome::kDone
                                                                       : Outcome::kAbandoned;
}

namespace {

// The marking pass's result: the entries used, or why none are to be stored.
struct Marks {
  int32_t entries = 0;
  Outcome outcome = Outcome::kDone;  // kAbandoned or kCancelled at the partial-load question
};

// The marking pass as MarkLines describes it, with the answer to the partial-load question.
Marks MarkTable(std::string_view text, std::size_t file_size, int32_t lsize, int32_t lines,
                int32_t* positions, int32_t* kinds, Console& con) {
  const char* data = text.data();
  const std::size_t length = text.size();
  const auto full = static_cast<std::size_t>(lsize - 1);  // characters of a full line

  int32_t e = 1;      // next entry to record
  std::size_t c = 0;  // characters of the line being built
  std::size_t p = 0;  // next position to look at
  while (e <= lines && p < length) {
    // The line being built takes `room` more characters; a newline among them or right after
    // them ends it, and any other character right after them starts a new line.
    const std::size_t room = full - c;
    const std::size_t span = std::min(room + 1, length - p);
    const auto* newline = static_cast<const char*>(std::memchr(data + p, '\n', span));
    const auto e_index = static_cast<std::size_t>(e);
    if (newline != nullptr) {
      const auto q = static_cast<std::size_t>(newline - data);
      positions[e_index] = static_cast<int32_t>(q);
      kinds[e_index] = kNewlineBoundary;
      c = 0;
      ++e;
      p = q + 1;
    } else if (room < length - p) {
      // The byte at q does not fit. The next line starts with the character that holds it, so
      // that no character is cut, unless that character began the full line: one longer than
      // a whole line is split as bytes.
      const std::size_t q = p + room;
      const std::size_t line_start = p - c;
      std::size_t split = CharStart(text, q);
      if (split <= line_start) split = q;
      con.Print("WARNING!  Line %i is being split\n", e);
      positions[e_index] = static_cast<int32_t>(split);
      kinds[e_index] = kSplitBoundary;
      c = q + 1 - split;
      ++e;
      p = q + 1;
    } else {
      c += length - p;
      p = length;
    }
  }
  const bool last_line = c > 0 && e <= lines;  // text after the last newline, and a slot for it
  con.Print("%i Lines Generated\n", e - 1 + (last_line ? 1 : 0));

  // Once every slot is taken, whatever follows the last stored line is lost, unless it is
  // nothing or the one newline that ends an empty last line. When two or more characters were
  // never looked at, the share shown is the part looked at; otherwise (the last split piece, or
  // a last character without a slot) it is the part in front of the first byte not stored.
  bool warned = false;
  if (e > lines) {
    const auto last = static_cast<std::size_t>(lines);
    const std::size_t rest =
        static_cast<std::size_t>(positions[last]) + (kinds[last] == kNewlineBoundary ? 1 : 0);
    const std::string_view unstored = text.substr(rest);
    if (!unstored.empty() && unstored != "\n") {
      warned = true;
      const float percent = p + 1 < length ? Percent(p, length) : Percent(rest, file_size);
      if (const Outcome go_on = DataWarning(percent, con); go_on != Outcome::kDone) {
        return {.entries = 0, .outcome = go_on};
      }
    }
  }
  // The text ends at the file's first NUL byte: what follows it is lost as well.
  if (!warned && length < file_size) {
    if (const Outcome go_on = DataWarning(Percent(length, file_size), con);
        go_on != Outcome::kDone) {
      return {.entries = 0, .outcome = go_on};
    }
  }

  if (last_line) {
    positions[static_cast<std::size_t>(e)] = static_cast<int32_t>(length);
    kinds[static_cast<std::size_t>(e)] = kSplitBoundary;
    ++e;
  }
  return {.entries = e};
}

}  // namespace

int32_t MarkLines(std::string_view text, std::size_t file_size, int32_t lsize, int32_t lines,
                  int32_t* positions, int32_t* kinds, Console& con) {
  const Marks marks = MarkTable(text, file_size, lsize, lines, positions, kinds, con);
  return marks.outcome == Outcome::kDone ? marks.entries : 0;
}

int32_t MarkLines(std::string_view text, std::size_t file_size, int32_t lsize, int32_t lines,
                  std::vector<int32_t>& positions, std::vector<int32_t>& kinds, Console& con) {
  const auto entries = static_cast<std::size_t>(lines) + 1;
  positions.assign(entries, 0);
  kinds.assign(entries, 0);
  return MarkLines(text, file_size, lsize, lines, positions.data(), kinds.data(), con);
}

namespace {

// The boundary table of one load: positions and kinds, one entry more each than the text can
// have lines. Every line holds at least one byte of the text (its newline, or a character), so
// a text of n bytes has at most n lines, and no more entries are needed however many slots the
// grid has. The block's pages are touched only as far as the lines reach; a table of megabytes
// is filled in large parts, so it is backed by huge pages.
class BoundaryTable {
 public:
  bool Allocate(int32_t lines, std::size_t text_length) {
    entries_ = std::min(static_cast<std::size_t>(lines), text_length) + 1;
    return block_.Allocate(2 * entries_ * sizeof(int32_t));
  }
  int32_t* positions() const { return reinterpret_cast<int32_t*>(block_.data()); }
  int32_t* kinds() const { return positions() + entries_; }

 private:
  PageBlock block_;
  std::size_t entries_ = 0;
};

// Marks the text's lines in the table, then clears the buffer and stores them there. The
// buffer is touched only once every question is answered and every length checked: until then
// the document is as it was. The lines stay where the text is, each given a terminator in
// place of its newline: in `image`, which holds the text, when it has room for one more byte
// per split line, or else in a new block the text is copied to. kDone when the lines were
// stored; kRefused (nothing told) when there was no memory for them; kAbandoned or kCancelled as
// MarkTable, or kAbandoned when a line does not fit its slot (told).
Outcome StoreLines(std::string_view text, std::size_t file_size, const BoundaryTable& table,
                   FileImage* image, TextBuffer& buffer, Console& con) {
  const int32_t* const positions = table.positions();
  const int32_t* const kinds = table.kinds();
  const Marks marks = MarkTable(text, file_size, buffer.lsize(), buffer.lines(), table.positions(),
                                table.kinds(), con);
  if (marks.outcome != Outcome::kDone) return marks.outcome;
  const int32_t n = marks.entries;

  const auto count = static_cast<std::size_t>(n - 1);
  // Line k starts at boundary k, or just after it when that is a newline, and ends at boundary
  // k+1. Worked out twice rather than kept in two more tables of `lines` entries.
  const auto start = [&](std::size_t k) {
    return static_cast<std::size_t>(positions[k]) + (kinds[k] == kNewlineBoundary ? 1 : 0);
  };
  // A line that starts at a split has no newline before it to become the terminator of the line
  // in front: every line from there on moves one byte further.
  const auto splits_at = [&](std::size_t k) { return k > 0 && kinds[k] == kSplitBoundary ? 1 : 0; };
  std::size_t shift = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const int64_t length = int64_t{positions[k + 1]} - static_cast<int64_t>(start(k));
    // The marking rules never give such a length; the check guards the slot size.
    if (length < 0 || length >= buffer.lsize()) {
      con.Line("Data Parsing Error");
      return Outcome::kAbandoned;
    }
    shift += static_cast<std::size_t>(splits_at(k));
  }
  const std::size_t needed = text.size() + shift + 1;
  PageBlock copy;
  const char* from = text.data();
  char* to = nullptr;
  if (image != nullptr && image->capacity >= needed) {
    to = image->bytes.data();
  } else {
    if (!copy.Allocate(needed)) return Outcome::kRefused;
    to = copy.data();
  }
  // From the last line back, so that no line is written over before it has moved.
  for (std::size_t k = count; k-- > 0;) {
    const std::size_t from_start = start(k);
    const std::size_t length = static_cast<std::size_t>(positions[k + 1]) - from_start;
    // In place, only the lines after a split move.
    if (to != from || shift > 0) std::memmove(to + from_start + shift, from + from_start, length);
    to[from_start + shift + length] = '\0';
    shift -= static_cast<std::size_t>(splits_at(k));
  }
  const auto lines = static_cast<int32_t>(count);
  if (to == copy.data()) {
    buffer.TakeImage(std::move(copy), needed, lines);
  } else {
    buffer.TakeImage(std::move(image->bytes), image->capacity, lines);
  }
  for (std::size_t k = 0; k < count; ++k) {
    shift += static_cast<std::size_t>(splits_at(k));
    const std::size_t at = start(k) + shift;
    buffer.SetImageLine(static_cast<int32_t>(k), to + at,
                        positions[k + 1] - static_cast<int32_t>(start(k)));
  }
  return Outcome::kDone;
}

}  // namespace

bool ParseLines(std::string_view text, std::size_t file_size, TextBuffer& buffer, Console& con) {
  BoundaryTable table;
  if (!table.Allocate(buffer.lines(), text.size())) {
    con.Line("Data Parsing Error");
    return false;
  }
  return StoreLines(text, file_size, table, nullptr, buffer, con) == Outcome::kDone;
}

Outcome Load(const char* name, TextBuffer& buffer, Console& con, SaveGuard* guard) {
  FileImage image;
  BoundaryTable table;
  SysResult<bool> read = ReadImage(name, buffer.lsize(), image);
  // The table is had before anything is printed or cleared, so that a lack of memory leaves
  // the document as it was.
  if (read.ok() && read.value() && !table.Allocate(buffer.lines(), image.size)) {
    read = Stop(LoadStop::kNoMemory, "allocate the line table");
  }
  if (!read.ok()) {
    con.Print("Cannot load %s: %s\n", Visible(name), Visible(read.error().Reason()));
    return Outcome::kRefused;
  }
  if (!read.value()) {
    con.Print("File %s not found!\n", Visible(name));
    if (guard != nullptr) guard->disk = RecordOf(name, std::string_view());
    return Outcome::kNoFile;
  }
  con.Print("Opened %s\n", Visible(name));
  con.Print("Read %i bytes, ", static_cast<int>(image.size));

  const char* bytes = image.bytes.data();
  const auto* nul = static_cast<const char*>(std::memchr(bytes, '\0', image.size));
  const std::size_t text_length =
      nul != nullptr ? static_cast<std::size_t>(nul - bytes) : image.size;
  // Storing the lines turns the image's newlines into terminators: the record of what was read
  // is taken first, and kept only when the load goes through.
  const DiskRecord record = guard != nullptr
                                ? RecordOf(name, std::string_view(bytes, image.size), &image.info)
                                : DiskRecord{};
  const Outcome stored =
      StoreLines(std::string_view(bytes, text_length), image.size, table, &image, buffer, con);
  if (stored == Outcome::kDone && guard != nullptr) guard->disk = record;
  if (stored == Outcome::kRefused) con.Print("Cannot load %s: not enough memory\n", Visible(name));
  return stored;
}

Outcome Open(NameBuffer& open_name, TextBuffer& buffer, Console& con,
             const std::function<Outcome()>& save_first, SaveGuard* guard) {
  con.Line("Enter a filename to open a new file and discard the buffer in memory");
  con.Line("Enter 's' to first save the current buffer in memory");
  con.Line("Enter 'x' to not open a file and return");
  NameBuffer answer{};
  // End of input returns as 'x' does, and so does a name too long to be taken.
  if (const Outcome named = ReadFileName(answer, con); named != Outcome::kDone) return named;
  if (std::strcmp(answer.data(), "x") == 0) return Outcome::kCancelled;
  if (std::strcmp(answer.data(), "s") == 0) {
    // A document that could not be saved is not replaced.
    if (const Outcome saved = save_first(); saved != Outcome::kDone) return saved;
    con.Line("Next, enter a new filename to open");
    if (const Outcome named = ReadFileName(answer, con); named != Outcome::kDone) return named;
  }
  const Outcome loaded = Load(answer.data(), buffer, con, guard);
  // The open name is the name last given for loading, unless nothing could be read under it.
  if (loaded != Outcome::kRefused && loaded != Outcome::kCancelled) open_name = answer;
  return loaded;
}

}  // namespace ostrel
