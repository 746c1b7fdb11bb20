// The single-step undo: one pending record of the last edit, owned by the editor state.
#pragma once

#include <cstdint>
#include <optional>

#include "buffer/memory.h"
#include "buffer/text_buffer.h"

namespace ostrel {

// What the pending undo restores. The numbers are the record's kinds 0 to 6.
enum class UndoKind : int32_t {
  kNothing = 0,
  kLineText = 1,    // one line's text, saved in the first copy
  kOpenedLine = 2,  // a line opened by line_insert
  kDeletedLine = 3,
  kMove = 4,
  kCopy = 5,
  kWrap = 6,  // trim_wrap: the line and the next one
};

// The pending undo: the kind of the last edit, the line or lines it changed and copies of their
// slots from before it (whole slots, so that a restored slot has only zeros after its text).
// An edit records with one call that saves what its kind needs and sets the kind with it, so
// that no record is left half written; a new record replaces the old one.
class Undo {
 public:
  // Gets the two copies, lsize bytes each, empty. False when they cannot be had.
  bool Allocate(int32_t lsize);

  // Records an edit of `line` of kind kLineText or kDeletedLine, saving the line's slot: call it
  // before the change. kOpenedLine saves nothing: the undo deletes the opened line.
  void RecordLine(UndoKind kind, int32_t line, const TextBuffer& buffer);

  // Records an edit of kind kMove, kCopy or kWrap of the cursor line `first` and the line
  // `second`, saving both slots: call it before the change. A second line outside the grid
  // records nothing.
  void RecordLines(UndoKind kind, int32_t first, int32_t second, const TextBuffer& buffer);

  // Leaves nothing to undo.
  void Forget() { kind_ = UndoKind::kNothing; }

  // Whether applying the record writes lines back (every kind but nothing and an opened line).
  bool WritesLines() const { return kind_ != UndoKind::kNothing && kind_ != UndoKind::kOpenedLine; }

  // Reverses the recorded edit and forgets it. Returns the line the cursor goes to, or nothing
  // when there was nothing to undo.
  std::optional<int32_t> Apply(TextBuffer& buffer);

  UndoKind kind() const { return kind_; }
  int32_t line() const { return line_; }      // kinds 1 to 3
  int32_t first() const { return first_; }    // kinds 4 to 6: the cursor line of the edit
  int32_t second() const { return second_; }  // kinds 4 to 6: the other line
  const LineBuffer& copy1() const { return copy1_; }
  const LineBuffer& copy2() const { return copy2_; }

 private:
  friend struct UndoTestAccess;  // lets the checks' own tests break a record on purpose

  UndoKind kind_ = UndoKind::kNothing;
  int32_t line_ = 0;
  int32_t first_ = 0;
  int32_t second_ = 0;
  LineBuffer copy1_;
  LineBuffer copy2_;
};

}  // namespace ostrel
