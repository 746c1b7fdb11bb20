#include "buffer/clip.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "common/characters.h"
#include "console/console.h"

namespace ostrel {
namespace {

// The rest of the line from p: empty when p is at or beyond the line's end.
std::string_view Rest(int32_t line, int32_t p, const TextBuffer& buffer) {
  const int32_t n = buffer.Length(line);
  return p >= 0 && p < n ? std::string_view(buffer.Slot(line) + p, static_cast<std::size_t>(n - p))
                         : std::string_view();
}

// Characters in the rest of the line from p.
int32_t RestChars(int32_t line, int32_t p, const TextBuffer& buffer) {
  return static_cast<int32_t>(CountChars(Rest(line, p, buffer)));
}

}  // namespace

bool CheckInsert(int32_t line, int32_t p, int32_t& k, const char* text, const TextBuffer& buffer,
                 Console& con) {
  const int32_t lsize = buffer.lsize();
  const auto t = static_cast<int32_t>(strnlen(text, static_cast<std::size_t>(lsize - 1)));
  const int32_t n = buffer.Length(line);
  k = t;
  // Sums in 64 bits: in a slot of nearly 2^31 bytes they pass the largest 32-bit value.
  if (int64_t{p} + t > lsize - 1) {
    con.Line("Insert was truncated because it is too long for the position");
    k = lsize - 1 - p;
  }
  if (int64_t{n} + t > lsize - 1) {
    con.Print("Insert was truncated because the line would have exceeded %i\n", lsize);
    k = std::min(k, lsize - 1 - n);
  }
  // What is shortened keeps whole characters.
  if (k > 0 && k < t) {
    k = static_cast<int32_t>(
        FitWhole(std::string_view(text, static_cast<std::size_t>(t)), static_cast<std::size_t>(k)));
  }
  return k > 0;
}

void Insert(int32_t line, int32_t p, int32_t k, const char* text, TextBuffer& buffer) {
  const int32_t lsize = buffer.lsize();
  if (p < 0 || p >= lsize - 1 || k <= 0) return;
  char* slot = buffer.WritableSlot(line);
  if (slot == nullptr) return;  // no memory: the line stays as it was
  SpaceFill(slot, p);
  const int32_t n = std::max(buffer.Length(line), p);
  // The check has already kept the line within lsize-1 characters; stay inside the slot
  // whatever count arrives.
  k = std::min(
      {k, lsize - 1 - n, static_cast<int32_t>(strnlen(text, static_cast<std::size_t>(k)))});
  if (k <= 0) return;
  std::memmove(slot + p + k, slot + p, static_cast<std::size_t>(n - p));
  std::memcpy(slot + p, text, static_cast<std::size_t>(k));
}

bool CheckPaste(int32_t p, int32_t& k, const char* clip, const TextBuffer& buffer, Console& con) {
  const int32_t lsize = buffer.lsize();
  const auto c = static_cast<int32_t>(strnlen(clip, static_cast<std::size_t>(lsize - 1)));
  if (c <= 0) {
    con.Line("There is nothing to paste");
    return false;
  }
  if (int64_t{p} + c > lsize - 1) {
    con.Line("Paste string was shortened to fit onto line");
    k = p < lsize - 1
            ? static_cast<int32_t>(FitWhole(std::string_view(clip, static_cast<std::size_t>(c)),
                                            static_cast<std::size_t>(lsize - 1 - p)))
            : 0;
  } else {
    k = c;
  }
  return true;
}

void Paste(int32_t line, int32_t p, int32_t k, const char* clip, TextBuffer& buffer) {
  const int32_t lsize = buffer.lsize();
  if (p < 0 || k <= 0) return;  // nothing to write: no space fill either
  k = std::min(k, lsize - 1 - p);
  if (k <= 0) return;
  char* slot = buffer.WritableSlot(line);
  if (slot == nullptr) return;  // no memory: the line stays as it was
  SpaceFill(slot, p);
  Overwrite(slot, p, std::string_view(clip, strnlen(clip, static_cast<std::size_t>(k))), lsize);
}

bool CheckCut(int32_t line, int32_t p, int32_t& k, const TextBuffer& buffer, Console& con) {
  const int32_t lsize = buffer.lsize();
  k = std::max(k, 0);
  const int32_t r = RestChars(line, p, buffer);
  // The characters of the rest of the line, and every byte of the slot after it.
  const int32_t most = r + (lsize - p - static_cast<int32_t>(Rest(line, p, buffer).size()));
  if (k > most) {
    con.Print("Maximum cut size is %i\n", most);
    return false;
  }
  if (r <= 0) {
    con.Line("There is nothing to cut at this position");
    return false;
  }
  if (k > r) {
    k = r;
    con.Print("Cut size will be shortened to %i\n", r);
  }
  return true;
}

void Cut(int32_t line, int32_t p, int32_t k, TextBuffer& buffer) {
  const int32_t n = buffer.Length(line);
  if (p < 0 || p >= n || k <= 0) return;
  k = std::min(k, n - p);
  char* slot = buffer.TrimmableSlot(line);
  std::memmove(slot + p, slot + p + k, static_cast<std::size_t>(n - p - k));
  std::memset(slot + n - k, 0, static_cast<std::size_t>(k));
}

bool CheckCopy(int32_t line, int32_t p, int32_t& k, const TextBuffer& buffer, Console& con) {
  k = std::max(k, 0);
  const int32_t r = RestChars(line, p, buffer);
  if (r <= 0) {
    con.Line("There is nothing to copy");
    return false;
  }
  if (k > r) {
    con.Print("Copy size will be shortened to %i\n", r);
    k = r;
  }
  return true;
}

int32_t CharBytesAt(int32_t line, int32_t p, int32_t k, const TextBuffer& buffer) {
  return k <= 0 ? 0
                : static_cast<int32_t>(
                      BytesOfChars(Rest(line, p, buffer), static_cast<std::size_t>(k)));
}

}  // namespace ostrel
