#include "buffer/lines.h"

#include <cstring>

namespace ostrel {
namespace {

bool Valid(int32_t line, const TextBuffer& buffer) {
  return line >= 0 && line < buffer.lines();
}

}  // namespace

void Move(int32_t from, int32_t to, TextBuffer& buffer) {
  if (from == to || !Valid(from, buffer) || !Valid(to, buffer)) return;
  char* slot = buffer.WritableSlot(to);
  if (slot == nullptr) return;  // no memory: both lines stay as they were
  CopySlot(slot, buffer.Slot(from), buffer.lsize());
  ZeroSlotFrom(buffer.TrimmableSlot(from), 0, buffer.lsize());
}

void Copy(int32_t from, int32_t to, TextBuffer& buffer) {
  if (from == to || !Valid(from, buffer) || !Valid(to, buffer)) return;
  char* slot = buffer.WritableSlot(to);
  if (slot != nullptr) CopySlot(slot, buffer.Slot(from), buffer.lsize());
}

void Wedge(int32_t line, TextBuffer& buffer) {
  if (!Valid(line, buffer)) return;
  buffer.OpenSlot(line);
}

void Delete(int32_t line, TextBuffer& buffer) {
  if (!Valid(line, buffer) || line == buffer.lines() - 1) return;
  buffer.CloseSlot(line);
}

}  // namespace ostrel
