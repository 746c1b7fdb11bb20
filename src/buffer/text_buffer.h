// The document: a fixed grid of `lines` line slots. A line holds at most lsize-1 characters and
// never a NUL; read through a slot it is NUL-terminated. Each line is stored at its own length:
// in the bytes of the file it was loaded from, in a block of its own once it was changed, or
// nowhere while it is empty, so the document costs about its own size, not lsize per line.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

#include "buffer/memory.h"
#include "common/limits.h"

namespace ostrel {

class Console;

class TextBuffer {
 public:
  TextBuffer() = default;
  ~TextBuffer() { ReleaseText(); }
  TextBuffer(TextBuffer&& other) noexcept { *this = std::move(other); }
  TextBuffer& operator=(TextBuffer&& other) noexcept;
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  // Makes an empty grid. Nothing is reserved for text: the table of lines costs a few bytes per
  // line, in pages touched only as far as the document reaches. Returns false when lsize*lines
  // reaches 2^31 or the memory cannot be had.
  bool Allocate(Limits limits);
  bool allocated() const { return store_.data() != nullptr; }

  int32_t lsize() const { return limits_.lsize; }
  int32_t lines() const { return limits_.lines; }

  // The accessors of a line. Lines are reached through a table from line number to physical
  // slot, so opening and deleting lines move table entries, not text.
  //
  // Slot hands out the line for reading: its text and terminator. Only those bytes may be read;
  // the pointer stays good until the line is next written, moved away or cleared. An empty line
  // reads as the one blank slot of the buffer. Reading changes nothing.
  const char* Slot(int32_t line) const {
    const char* text = Store(Physical(line)).text;
    return text != nullptr ? text : blank_.data();
  }
  // WritableSlot hands the line out for writing as a whole slot: lsize bytes holding its text
  // and zeros after it, in a working block that the line keeps until FitWrittenLines stores it
  // at its length again. It marks the slot as handed out for writing and the text as changed.
  // Null, with nothing changed, when the memory for a working block cannot be had; an edit that
  // reserved its blocks with ReserveWritable first always gets one.
  char* WritableSlot(int32_t line);
  // Hands the line out for changes that never lengthen it (cutting, trimming, clearing): its
  // own bytes, text and terminator and whatever zeros follow, written in place. Needs no
  // memory; an empty line is lent the blank slot, in which only zeros may be written (see
  // BlankLentTo).
  char* TrimmableSlot(int32_t line);

  // Makes sure that the next `count` (at most kWorkingBlocks) lines handed out by WritableSlot
  // get their working blocks without asking for memory. False when that memory cannot be had.
  bool ReserveWritable(int count);
  // Stores every line handed out for writing since the last call at its own length again, and
  // keeps the working blocks for later writes. Pointers handed out before are no longer good.
  void FitWrittenLines();

  // False when the line's slot has never been handed out for writing since the last ClearAll,
  // so its line is certainly empty; true when it may hold text.
  bool MayHoldText(int32_t line) const { return Physical(line) < written_; }

  // True when the line is not empty.
  bool HoldsText(int32_t line) const {
    const char* text = Store(Physical(line)).text;
    return text != nullptr && text[0] != '\0';
  }

  // True when the text may have changed since the buffer was allocated or since the last
  // ForgetChanges: a slot was handed out for writing, or lines were opened, closed or cleared.
  bool Changed() const { return changed_; }
  // The text as it is now counts as unchanged: it was saved or loaded.
  void ForgetChanges() { changed_ = false; }
  // Grows by one with every change Changed() tells of and is never reset, so that a copy of the
  // text taken at one count is current while the count stays the same.
  uint64_t ChangeCount() const { return change_count_; }

  // Lines at or past this number are certainly empty: each lies in its own slot of the same
  // number, and no slot from here on was ever handed out for writing. Work that looks for text
  // stops here, so it costs what the document holds, not what the grid could hold.
  int32_t TextEnd() const { return mapped_ > written_ ? mapped_ : written_; }

  // The physical slot of a line, and the written mark: slots at or past it were never handed
  // out for writing since the last ClearAll, so they must be empty. For the invariant checker.
  int32_t SlotIndex(int32_t line) const { return Physical(line); }
  int32_t WrittenMark() const { return written_; }
  // The bytes stored for a line: its text, its terminator and any zeros its block holds after
  // it (lsize bytes while it is being written); none for a line without storage. For the
  // invariant checker.
  std::span<const char> SlotBytes(int32_t line) const {
    const LineStore& store = Store(Physical(line));
    return {store.text, static_cast<std::size_t>(store.size)};
  }
  // The blank slot every empty line reads as (lsize zero bytes, unless a faulty writer wrote
  // text into it), and the line TrimmableSlot last lent it to for writing, or -1. For the
  // invariant checker.
  std::span<const char> BlankSlot() const {
    return {blank_.data(), static_cast<std::size_t>(limits_.lsize)};
  }
  int32_t BlankLentTo() const { return blank_lent_to_; }

  // Length of a line: the bytes before its terminator.
  int32_t Length(int32_t line) const {
    const LineStore& store = Store(Physical(line));
    if (store.text == nullptr) return 0;
    // Only zeros follow the terminator: when the byte before the last one is not zero, the line
    // fills its storage (as every loaded line does) and needs no search for its end.
    if (store.size >= 2 && store.text[store.size - 2] != '\0') return store.size - 1;
    return static_cast<int32_t>(strnlen(store.text, static_cast<std::size_t>(store.size)));
  }

  // Every line becomes empty, and the storage of the old text is given back.
  void ClearAll();

  // Empties the document, as ClearAll does, and keeps `image` (its first `size` bytes) as the
  // storage of lines that SetImageLine places in it; `lines` lines are about to be placed, and
  // their entries are readied in large pages when they span megabytes.
  void TakeImage(PageBlock image, std::size_t size, int32_t lines);
  // Stores line `line` as the `length` characters at `text`, inside the image taken last and
  // followed there by a NUL. For the loader, on an empty document, line after line.
  void SetImageLine(int32_t line, char* text, int32_t length);

  // Line `line` gets the (emptied) slot of the last line, and lines line..lines-2 move down one.
  void OpenSlot(int32_t line);
  // Lines line+1..lines-1 move up one, and the last line gets line's old slot, emptied.
  void CloseSlot(int32_t line);

  // Working blocks kept for lines being written: enough for every edit of one command.
  static constexpr int kWorkingBlocks = 2;

 private:
  struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
  };
  // Where a slot's line is stored: `size` bytes at `text`, the text, its terminator and zeros;
  // no bytes at all (a null text) for an empty line without storage.
  struct LineStore {
    char* text = nullptr;
    int32_t size = 0;
  };
  int32_t Physical(int32_t line) const {
    return line < mapped_ ? table_[base_ + static_cast<std::size_t>(line)] : line;
  }
  LineStore& Store(int32_t slot) const {
    return reinterpret_cast<LineStore*>(store_.data())[static_cast<std::size_t>(slot)];
  }
  bool InImage(const char* text) const {
    return text >= image_.data() && text < image_.data() + image_size_;
  }
  // Gives back a slot's storage, unless it lies in the image; the slot is then empty.
  void Drop(LineStore& store);
  // Drops the storage of every slot ever written, and the image.
  void ReleaseText();
  // Moves the table back to the middle of its storage.
  void Recenter();
  // Makes the table hold lines 0..count-1; the lines added keep the slot of their own number.
  void MapLines(int32_t count);
  void NoteChange() {
    changed_ = true;
    ++change_count_;
  }
  void NoteWritten(int32_t slot) {
    if (slot >= written_) written_ = slot + 1;
  }
  // Lists the slot among those FitWrittenLines stores at their length again.
  void NotePending(int32_t slot);
  std::size_t SlotSize() const { return static_cast<std::size_t>(limits_.lsize); }
  // Empties a slot.
  void ZeroPhysical(int32_t slot);

  Limits limits_;
  // One LineStore per slot, zero (empty) in pages never touched: slots at or past the written
  // mark are never looked at.
  PageBlock store_;
  // The file the document was loaded from, its newlines turned into terminators: lines that
  // were not changed since are stored here.
  PageBlock image_;
  std::size_t image_size_ = 0;
  // Blocks of lsize zero bytes, ready for lines to be written.
  std::array<std::unique_ptr<char[], FreeDeleter>, kWorkingBlocks> spare_{};
  // Slots handed out for writing since FitWrittenLines, to be stored at their length again; a
  // slot beyond these is stored so when it is next written.
  std::array<int32_t, 8> pending_{};
  int pending_count_ = 0;
  LineBuffer blank_;
  int32_t blank_lent_to_ = -1;
  // The line->slot table is the window table_[base_ .. base_+mapped_) of a store of 2*lines
  // entries; every line from mapped_ on lies in the slot of its own number. The table is built
  // only as far as lines are opened or deleted above the end of the text, so a large grid
  // with a short document never touches most of its store. Opening or deleting a line shifts
  // whichever part of the window is shorter, the part above the line or the part below it, so
  // work near the top of the document moves the window's start instead of the whole table.
  std::unique_ptr<int32_t[], FreeDeleter> table_;
  std::size_t base_ = 0;
  int32_t mapped_ = 0;   // lines found through the table
  int32_t written_ = 0;  // slots at or past this index were never handed out for writing
  bool changed_ = false;
  uint64_t change_count_ = 0;
};

// Copies a line over another: the text, its terminator and zeros to the end of the old text
// of the destination, which has room for the text. Only the longer of the two texts' bytes are
// written, however large lsize is.
void CopySlot(char* to, const char* from, int32_t lsize);

// Zeroes a slot from `start` to its end (nothing when start is outside the slot); only the
// bytes of its text need writing.
void ZeroSlotFrom(char* slot, int32_t start, int32_t lsize);

// Before text is written at position p: a line shorter than p is extended with spaces to
// exactly p characters; a longer one is left alone.
void SpaceFill(char* slot, int32_t p);

// Writes `text` over the line held in `slot` from p on (the line reaches p already). Where the
// new text ends inside a multi-byte character of the old one, that character's remaining bytes
// go and the rest of the line closes up, so that no stray byte is left.
void Overwrite(char* slot, int32_t p, std::string_view text, int32_t lsize);

// Overwrites `text` into line `line` (one of the buffer's lines) at `position`; the line never
// grows past lsize-1 bytes, and what does not fit is dropped from the first character that does
// not fit whole. Returns the number of characters dropped.
int32_t Replace(int32_t line, int32_t position, const char* text, TextBuffer& buffer, Console& con);

// Empties the line.
void Clear(int32_t line, TextBuffer& buffer);

// Zeroes the line from `start` to the end of its slot; nothing when start is lsize or more.
void Trim(int32_t line, int32_t start, TextBuffer& buffer);

// Index of the last line that is not empty: the last line a save writes; 0 when every line is
// empty.
int32_t DocLength(const TextBuffer& buffer);

}  // namespace ostrel
