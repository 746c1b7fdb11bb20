// The document: a fixed grid of `lines` line slots of `lsize` bytes each. A slot holds one
// NUL-terminated line of at most lsize-1 characters, and every byte after the terminator is
// zero (the two slot invariants every operation keeps).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "buffer/memory.h"
#include "common/limits.h"

namespace ostrel {

class Console;

class TextBuffer {
 public:
  // Allocates a zero-filled grid. Pages nobody writes are never touched. Returns false when
  // lsize*lines reaches 2^31 or the memory cannot be had.
  bool Allocate(Limits limits);
  bool allocated() const { return data_.data() != nullptr; }

  int32_t lsize() const { return limits_.lsize; }
  int32_t lines() const { return limits_.lines; }

  // The two accessors of a line slot. Lines are reached through a table from line number to
  // physical slot, so opening and deleting lines move table entries, not text. Reading never
  // writes: Slot hands out the line for reading only. WritableSlot hands it out for writing,
  // keeps the mark of slots ever handed out for writing and marks the text changed.
  const char* Slot(int32_t line) const { return data_.data() + Offset(Physical(line)); }
  char* WritableSlot(int32_t line) {
    const int32_t slot = Physical(line);
    if (slot >= written_) written_ = slot + 1;
    NoteChange();
    return data_.data() + Offset(slot);
  }

  // False when the line's slot has never been handed out for writing since the last ClearAll,
  // so its line is certainly empty; true when it may hold text.
  bool MayHoldText(int32_t line) const { return Physical(line) < written_; }

  // True when the line is not empty.
  bool HoldsText(int32_t line) const { return MayHoldText(line) && Slot(line)[0] != '\0'; }

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

  // Length of a line: the bytes before its terminator.
  int32_t Length(int32_t line) const;

  // Every byte of every slot becomes zero. Only slots ever written are cleared, so pages of the
  // grid that were never touched stay untouched.
  void ClearAll();

  // Line `line` gets the (zeroed) slot of the last line, and lines line..lines-2 move down one.
  void OpenSlot(int32_t line);
  // Lines line+1..lines-1 move up one, and the last line gets line's old slot, zeroed.
  void CloseSlot(int32_t line);

 private:
  struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
  };
  int32_t Physical(int32_t line) const {
    return line < mapped_ ? table_[base_ + static_cast<std::size_t>(line)] : line;
  }
  std::size_t Offset(int32_t slot) const {
    return static_cast<std::size_t>(slot) * static_cast<std::size_t>(limits_.lsize);
  }
  // Moves the table back to the middle of its storage.
  void Recenter();
  // Makes the table hold lines 0..count-1; the lines added keep the slot of their own number.
  void MapLines(int32_t count);
  void NoteChange() {
    changed_ = true;
    ++change_count_;
  }
  // Empties a slot; one never handed out for writing is empty already and is not touched.
  void ZeroPhysical(int32_t slot);

  Limits limits_;
  PageBlock data_;
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

// Copies a whole slot over another: the line's text, its terminator and zeros to the end of the
// destination. As both slots hold only zeros after their text, only the longer of the two
// texts' bytes are written, however large lsize is.
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

// Overwrites `text` into the line at `position`; the line never grows past lsize-1 bytes, and
// what does not fit is dropped from the first character that does not fit whole. Returns the
// number of characters dropped.
int32_t Replace(int32_t line, int32_t position, int32_t line_count, const char* text,
                TextBuffer& buffer, Console& con);

// Zeroes the whole slot of the line.
void Clear(int32_t line, TextBuffer& buffer);

// Zeroes the line from `start` to the end of its slot; nothing when start is lsize or more.
void Trim(int32_t line, int32_t start, TextBuffer& buffer);

}  // namespace ostrel
