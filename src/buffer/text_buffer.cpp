#include "buffer/text_buffer.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "console/console.h"

namespace ostrel {

bool TextBuffer::Allocate(Limits limits) {
  data_.reset();
  order_.clear();
  if (limits.lsize < 2 || limits.lines < 1) return false;
  const int64_t bytes = int64_t{limits.lsize} * int64_t{limits.lines};
  if (bytes >= (int64_t{1} << 31)) return false;
  data_.reset(static_cast<char*>(std::calloc(static_cast<std::size_t>(bytes), 1)));
  if (data_ == nullptr) return false;
  limits_ = limits;
  order_.resize(static_cast<std::size_t>(limits.lines));
  std::iota(order_.begin(), order_.end(), 0);
  return true;
}

int32_t TextBuffer::Length(int32_t line) const {
  return static_cast<int32_t>(strnlen(Slot(line), static_cast<std::size_t>(lsize())));
}

void TextBuffer::ClearAll() {
  std::memset(data_.get(), 0,
              static_cast<std::size_t>(limits_.lsize) * static_cast<std::size_t>(limits_.lines));
}

void TextBuffer::OpenSlot(int32_t line) {
  const auto first = order_.begin() + line;
  std::rotate(first, order_.end() - 1, order_.end());
  std::memset(Slot(line), 0, static_cast<std::size_t>(lsize()));
}

void TextBuffer::CloseSlot(int32_t line) {
  const auto first = order_.begin() + line;
  std::rotate(first, first + 1, order_.end());
  std::memset(Slot(lines() - 1), 0, static_cast<std::size_t>(lsize()));
}

void SpaceFill(char* slot, int32_t p) {
  const auto length = static_cast<int32_t>(strnlen(slot, static_cast<std::size_t>(p)));
  if (length < p) std::memset(slot + length, ' ', static_cast<std::size_t>(p - length));
}

void Replace(int32_t line, int32_t position, int32_t line_count, const char* text,
             TextBuffer& buffer, Console& con) {
  if (line < 0 || line >= line_count) {
    con.Line("Invalid Line Number");
    return;
  }
  const int32_t lsize = buffer.lsize();
  if (position >= lsize - 1) {
    con.Line("At End Of Line");
    return;
  }
  char* slot = buffer.Slot(line);
  SpaceFill(slot, position);
  const std::size_t room = static_cast<std::size_t>(lsize - 1 - position);
  const std::size_t count = strnlen(text, room);
  std::memcpy(slot + position, text, count);
}

void Clear(int32_t line, TextBuffer& buffer) {
  std::memset(buffer.Slot(line), 0, static_cast<std::size_t>(buffer.lsize()));
}

void Trim(int32_t line, int32_t start, TextBuffer& buffer) {
  if (start >= buffer.lsize() || start < 0) return;
  std::memset(buffer.Slot(line) + start, 0, static_cast<std::size_t>(buffer.lsize() - start));
}

}  // namespace ostrel
