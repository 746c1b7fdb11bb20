#include "editor/undo.h"

#include "buffer/lines.h"
#include "editor/commands.h"

namespace ostrel {
namespace {

void Save(int32_t line, LineBuffer& copy, const TextBuffer& buffer) {
  CopySlot(copy.data(), buffer.Slot(line), buffer.lsize());
}

void Restore(int32_t line, const LineBuffer& copy, TextBuffer& buffer) {
  char* slot = buffer.WritableSlot(line);
  if (slot != nullptr) CopySlot(slot, copy.data(), buffer.lsize());
}

}  // namespace

bool Undo::Allocate(int32_t lsize) {
  const auto size = static_cast<std::size_t>(lsize);
  return copy1_.Allocate(size) && copy2_.Allocate(size);
}

void Undo::RecordLine(UndoKind kind, int32_t line, const TextBuffer& buffer) {
  if (kind != UndoKind::kOpenedLine) Save(line, copy1_, buffer);
  line_ = line;
  kind_ = kind;
}

void Undo::RecordLines(UndoKind kind, int32_t first, int32_t second, const TextBuffer& buffer) {
  if (second < 0 || second >= buffer.lines()) return;
  Save(first, copy1_, buffer);
  Save(second, copy2_, buffer);
  first_ = first;
  second_ = second;
  kind_ = kind;
}

std::optional<int32_t> Undo::Apply(TextBuffer& buffer) {
  std::optional<int32_t> cursor_line;
  switch (kind_) {
    case UndoKind::kLineText:
      Restore(line_, copy1_, buffer);
      cursor_line = line_;
      break;
    case UndoKind::kOpenedLine:
      Delete(line_, buffer);
      cursor_line = line_;
      break;
    case UndoKind::kDeletedLine:
      Wedge(line_, buffer);
      Restore(line_, copy1_, buffer);
      cursor_line = line_;
      break;
    case UndoKind::kMove:  // a move, or a wrap into the next line: both lines come back
    case UndoKind::kWrap:
      Restore(first_, copy1_, buffer);
      Restore(second_, copy2_, buffer);
      cursor_line = first_;
      break;
    case UndoKind::kCopy:  // only the destination changed
      Restore(second_, copy2_, buffer);
      cursor_line = first_;
      break;
    case UndoKind::kNothing:
      break;
  }
  kind_ = UndoKind::kNothing;
  return cursor_line;
}

Outcome UndoCommand(Document& doc, Session&, View& view, Console&) {
  if (doc.undo.WritesLines()) ReserveForEdit(doc, 2);
  if (const std::optional<int32_t> line = doc.undo.Apply(doc.buffer)) view.cursor_line = *line;
  return Outcome::kDone;
}

}  // namespace ostrel
