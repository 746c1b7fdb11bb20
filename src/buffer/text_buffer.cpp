#include "buffer/text_buffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/characters.h"
#include "console/console.h"

namespace ostrel {

TextBuffer& TextBuffer::operator=(TextBuffer&& other) noexcept {
  if (this != &other) {
    ReleaseText();
    limits_ = other.limits_;
    store_ = std::move(other.store_);
    image_ = std::move(other.image_);
    image_size_ = std::exchange(other.image_size_, 0);
    spare_ = std::move(other.spare_);
    pending_ = other.pending_;
    pending_count_ = std::exchange(other.pending_count_, 0);
    blank_ = std::move(other.blank_);
    blank_lent_to_ = other.blank_lent_to_;
    table_ = std::move(other.table_);
    base_ = other.base_;
    mapped_ = std::exchange(other.mapped_, 0);
    written_ = std::exchange(other.written_, 0);
    changed_ = other.changed_;
    change_count_ = other.change_count_;
  }
  return *this;
}

bool TextBuffer::Allocate(Limits limits) {
  ReleaseText();
  store_.Release();
  table_.reset();
  spare_ = {};
  written_ = 0;
  mapped_ = 0;
  changed_ = false;
  if (limits.lsize < 2 || limits.lines < 1) return false;
  const int64_t bytes = int64_t{limits.lsize} * int64_t{limits.lines};
  if (bytes >= (int64_t{1} << 31)) return false;
  const auto n = static_cast<std::size_t>(limits.lines);
  // No table entry is read before it is written, so the table needs no zeroing, and the stores
  // are zero (empty) until a line is stored: the pages of both are touched only as far as the
  // document reaches.
  table_.reset(static_cast<int32_t*>(std::malloc(2 * n * sizeof(int32_t))));
  if (table_ == nullptr || !store_.Allocate(n * sizeof(LineStore), PageBlock::Pages::kSmall) ||
      !blank_.Allocate(static_cast<std::size_t>(limits.lsize))) {
    store_.Release();
    table_.reset();
    return false;
  }
  limits_ = limits;
  base_ = n / 2;
  return true;
}

void TextBuffer::Drop(LineStore& store) {
  if (store.text != nullptr && !InImage(store.text)) std::free(store.text);
  store = {};
}

void TextBuffer::ReleaseText() {
  if (store_.data() == nullptr) return;
  for (int32_t slot = 0; slot < written_; ++slot) Drop(Store(slot));
  image_.Release();
  image_size_ = 0;
  pending_count_ = 0;
}

void TextBuffer::NotePending(int32_t slot) {
  const auto end = pending_.begin() + pending_count_;
  if (std::find(pending_.begin(), end, slot) != end) return;
  // A slot beyond the list keeps its block until it is written again: only its cost is more.
  if (pending_count_ < static_cast<int>(pending_.size())) {
    pending_[static_cast<std::size_t>(pending_count_++)] = slot;
  }
}

char* TextBuffer::WritableSlot(int32_t line) {
  const int32_t slot = Physical(line);
  LineStore& store = Store(slot);
  if (store.size < lsize()) {
    // The line moves into a working block: a spare one, or a new one.
    std::unique_ptr<char[], FreeDeleter> block;
    for (auto& spare : spare_) {
      if (spare != nullptr) {
        block = std::move(spare);
        break;
      }
    }
    if (block == nullptr) block.reset(static_cast<char*>(std::calloc(SlotSize(), 1)));
    if (block == nullptr) return nullptr;
    if (store.text != nullptr) {
      std::memcpy(block.get(), store.text,
                  strnlen(store.text, static_cast<std::size_t>(store.size)));
    }
    Drop(store);
    store = {block.release(), lsize()};
  }
  NoteWritten(slot);
  NoteChange();
  NotePending(slot);
  return store.text;
}

char* TextBuffer::TrimmableSlot(int32_t line) {
  NoteChange();
  const int32_t slot = Physical(line);
  LineStore& store = Store(slot);
  if (store.text == nullptr) {
    blank_lent_to_ = line;
    return blank_.data();
  }
  NotePending(slot);
  return store.text;
}

bool TextBuffer::ReserveWritable(int count) {
  for (auto& spare : spare_) {
    if (count-- <= 0) break;
    if (spare == nullptr) spare.reset(static_cast<char*>(std::calloc(SlotSize(), 1)));
    if (spare == nullptr) return false;
  }
  return true;
}

void TextBuffer::FitWrittenLines() {
  for (int i = 0; i < pending_count_; ++i) {
    LineStore& store = Store(pending_[static_cast<std::size_t>(i)]);
    if (store.text == nullptr) continue;  // emptied since
    const std::size_t length = strnlen(store.text, static_cast<std::size_t>(store.size));
    if (length == static_cast<std::size_t>(store.size)) continue;  // no terminator: left alone
    const auto size = static_cast<int32_t>(length + 1);
    if (InImage(store.text)) {
      // The image's bytes after a shortened text are no longer the line's.
      store = length == 0 ? LineStore{} : LineStore{store.text, size};
      continue;
    }
    if (size == store.size) continue;
    char* fitted = nullptr;
    if (length > 0) {
      fitted = static_cast<char*>(std::malloc(length + 1));
      if (fitted == nullptr) continue;  // the line keeps its larger block
      std::memcpy(fitted, store.text, length + 1);
    }
    std::unique_ptr<char[], FreeDeleter> old(store.text);
    const bool working = store.size == lsize();
    store = fitted == nullptr ? LineStore{} : LineStore{fitted, size};
    // A working block goes back to the spares, zeroed, while they have room for it.
    for (auto& spare : spare_) {
      if (working && spare == nullptr) {
        std::memset(old.get(), 0, length);
        spare = std::move(old);
        break;
      }
    }
  }
  pending_count_ = 0;
}

void TextBuffer::ClearAll() {
  NoteChange();
  if (store_.data() == nullptr) return;  // nothing allocated, nothing to clear
  ReleaseText();
  written_ = 0;
  // Every slot is empty now, so any order of them holds the same document; the natural order
  // keeps a newly loaded document in consecutive slots.
  mapped_ = 0;
  base_ = static_cast<std::size_t>(lines()) / 2;
}

void TextBuffer::TakeImage(PageBlock image, std::size_t size, int32_t lines) {
  ClearAll();
  image_ = std::move(image);
  image_size_ = size;
  if (lines > 0) store_.AdviseHuge(static_cast<std::size_t>(lines) * sizeof(LineStore));
}

void TextBuffer::SetImageLine(int32_t line, char* text, int32_t length) {
  NoteWritten(line);
  if (length > 0) Store(line) = {text, length + 1};
}

void TextBuffer::Recenter() {
  const auto n = static_cast<std::size_t>(lines());
  std::memmove(table_.get() + n / 2, table_.get() + base_,
               static_cast<std::size_t>(mapped_) * sizeof(int32_t));
  base_ = n / 2;
}

void TextBuffer::MapLines(int32_t count) {
  int32_t* w = table_.get() + base_;
  for (int32_t line = mapped_; line < count; ++line) w[line] = line;
  if (count > mapped_) mapped_ = count;
}

void TextBuffer::ZeroPhysical(int32_t slot) {
  if (slot < written_) Drop(Store(slot));
}

// Lines from TextEnd() on are empty, so shifting them changes nothing: only the lines from
// `line` to the first of them take part. That empty line gives its slot to the opened line,
// unless the text reaches the last line, whose text is then lost.
void TextBuffer::OpenSlot(int32_t line) {
  const int32_t end = TextEnd();
  if (line >= end) return;  // the line and every line below it are empty already
  NoteChange();
  if (line == lines() - 1) {
    ZeroPhysical(Physical(line));  // nothing moves: the last line is only emptied
    return;
  }
  const int32_t count = end < lines() ? end + 1 : lines();
  MapLines(count);
  const auto n = static_cast<std::size_t>(count);
  const auto l = static_cast<std::size_t>(line);
  int32_t last = 0;
  if (l < n - 1 - l) {
    // Fewer lines above than below: the window starts one entry earlier, lines 0..line-1 keep
    // their numbers by moving one entry towards the front, and the entry freed at `line` takes
    // the last line's slot.
    if (base_ == 0) Recenter();
    int32_t* w = table_.get() + base_ - 1;
    last = w[n];
    std::memmove(w, w + 1, l * sizeof(int32_t));
    w[l] = last;
    --base_;
  } else {
    int32_t* w = table_.get() + base_;
    last = w[n - 1];
    std::memmove(w + l + 1, w + l, (n - 1 - l) * sizeof(int32_t));
    w[l] = last;
  }
  ZeroPhysical(last);
}

// As for opening, only the lines from `line` to the end of the text move; the line that was
// the text's last gets the closed line's slot, emptied, and the empty lines below stay put.
void TextBuffer::CloseSlot(int32_t line) {
  const int32_t end = TextEnd();
  if (line >= end) return;  // the line and every line below it are empty already
  NoteChange();
  MapLines(end);
  const auto n = static_cast<std::size_t>(end);
  const auto l = static_cast<std::size_t>(line);
  int32_t freed = 0;
  if (l < n - 1 - l) {
    // Fewer lines above than below: the window starts one entry later, lines 0..line-1 keep
    // their numbers by moving one entry towards the back, and the closed line's slot becomes
    // the new last entry.
    if (base_ == static_cast<std::size_t>(lines())) Recenter();
    int32_t* w = table_.get() + base_ + 1;
    freed = (w - 1)[l];
    std::memmove(w, w - 1, l * sizeof(int32_t));
    w[n - 1] = freed;
    ++base_;
  } else {
    int32_t* w = table_.get() + base_;
    freed = w[l];
    std::memmove(w + l, w + l + 1, (n - 1 - l) * sizeof(int32_t));
    w[n - 1] = freed;
  }
  ZeroPhysical(freed);
}

void CopySlot(char* to, const char* from, int32_t lsize) {
  const auto size = static_cast<std::size_t>(lsize);
  const std::size_t length = strnlen(from, size);
  const std::size_t old_length = strnlen(to, size);
  std::memmove(to, from, length);
  // Past the copied text the destination needs zeros only where its old, longer text stood.
  if (old_length > length) std::memset(to + length, 0, old_length - length);
}

void ZeroSlotFrom(char* slot, int32_t start, int32_t lsize) {
  if (start < 0 || start >= lsize) return;
  const std::size_t length = strnlen(slot, static_cast<std::size_t>(lsize));
  const auto from = static_cast<std::size_t>(start);
  if (length > from) std::memset(slot + from, 0, length - from);
}

void SpaceFill(char* slot, int32_t p) {
  const auto length = static_cast<int32_t>(strnlen(slot, static_cast<std::size_t>(p)));
  if (length < p) std::memset(slot + length, ' ', static_cast<std::size_t>(p - length));
}

void Overwrite(char* slot, int32_t p, std::string_view text, int32_t lsize) {
  const auto size = static_cast<std::size_t>(lsize);
  const auto at = static_cast<std::size_t>(p);
  const std::size_t length = strnlen(slot, size);
  const std::size_t end = at + text.size();
  // Where the old character under the new text's end ends; the old text must be read before
  // the new text covers its first bytes.
  const std::size_t old_end = CharEnd(std::string_view(slot, length), end);
  std::memcpy(slot + at, text.data(), text.size());
  if (old_end <= end) return;
  std::memmove(slot + end, slot + old_end, length - old_end);
  std::memset(slot + length - (old_end - end), 0, old_end - end);
}

int32_t Replace(int32_t line, int32_t position, const char* text, TextBuffer& buffer,
                Console& con) {
  if (line < 0 || line >= buffer.lines()) {
    con.Line("Invalid Line Number");
    return 0;
  }
  const int32_t lsize = buffer.lsize();
  const std::string_view whole(text, strnlen(text, static_cast<std::size_t>(lsize)));
  if (position >= lsize - 1) {
    con.Line("At End Of Line");
    return static_cast<int32_t>(CountChars(whole));
  }
  char* slot = buffer.WritableSlot(line);
  if (slot == nullptr) return 0;  // no memory: the line stays as it was
  SpaceFill(slot, position);
  const std::size_t count = FitWhole(whole, static_cast<std::size_t>(lsize - 1 - position));
  Overwrite(slot, position, whole.substr(0, count), lsize);
  return static_cast<int32_t>(CountChars(whole.substr(count)));
}

void Clear(int32_t line, TextBuffer& buffer) {
  ZeroSlotFrom(buffer.TrimmableSlot(line), 0, buffer.lsize());
}

void Trim(int32_t line, int32_t start, TextBuffer& buffer) {
  ZeroSlotFrom(buffer.TrimmableSlot(line), start, buffer.lsize());
}

int32_t DocLength(const TextBuffer& buffer) {
  // The last line that is not empty is the first one found from the end of the text. A slot
  // never written is empty without a look, so a short document in a large grid reads only its
  // own pages.
  for (int32_t i = buffer.TextEnd() - 1; i > 0; --i) {
    if (buffer.HoldsText(i)) return i;
  }
  return 0;
}

}  // namespace ostrel
