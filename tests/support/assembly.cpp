#include "support/assembly.h"

#include <cstring>

#include "files/save.h"

namespace ostrel {

std::size_t AssembledBound(const TextBuffer& buffer, int32_t last) {
  return (static_cast<std::size_t>(last) + 1) * static_cast<std::size_t>(buffer.lsize());
}

std::size_t AssembleInto(const TextBuffer& buffer, int32_t last, char* out) {
  const auto lsize = static_cast<std::size_t>(buffer.lsize());
  char* end = out;
  for (int32_t i = 0; i <= last; ++i) {
    const char* slot = buffer.Slot(i);
    const std::size_t length = strnlen(slot, lsize);
    std::memcpy(end, slot, length);
    end[length] = '\n';
    end += length + 1;
  }
  return static_cast<std::size_t>(end - out);
}

std::string AssembleDocument(const TextBuffer& buffer) {
  const DocumentSource text(buffer);
  std::string out;
  out.reserve(text.Size());
  (void)text.Each([&out](std::string_view piece) {
    out.append(piece);
    return SysResult<>();
  });
  return out;
}

}  // namespace ostrel
