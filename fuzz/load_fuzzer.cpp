// Loading over arbitrary bytes: the marking and copying passes with a small grid must store
// exactly the lines that a plain character-by-character reading of the marking rules gives,
// ask about lost text exactly when text is lost, and leave every slot clean.
//
// Input layout: byte 0 chooses lsize (2..32), byte 1 lines (1..32), byte 2 the answer to the
// partial-load question ('Y' when its low bit is set); the rest is the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/characters.h"
#include "console/console.h"
#include "files/load.h"
#include "fuzz_support.h"

namespace {

using namespace ostrel;

int g_out = -1;

struct Expected {
  std::vector<std::string> lines;
  bool warns = false;
};

// The marking rules one byte at a time: a newline ends the line; a byte that finds the line full
// starts the next one, with the rest of the character it belongs to; marking stops once every
// slot has a line.
Expected Mark(std::string_view text, std::size_t file_size, int32_t lsize, int32_t lines) {
  Expected x;
  std::string line;
  int32_t e = 1;
  std::size_t c = 0;
  std::size_t p = 0;
  std::size_t rest = 0;  // where the text not stored in any line starts
  for (; e <= lines && p < text.size(); ++p) {
    if (text[p] == '\n') {
      x.lines.push_back(line);
      line.clear();
      c = 0;
      ++e;
      rest = p + 1;
    } else if (c == static_cast<std::size_t>(lsize - 1)) {
      // The character that holds this byte starts the next line, unless it began the full
      // line: one longer than a whole line is split as bytes.
      std::size_t split = CharStart(text, p);
      if (split <= p - c) split = p;
      x.lines.push_back(line.substr(0, line.size() - (p - split)));
      line.assign(text.substr(split, p + 1 - split));
      c = line.size();
      ++e;
      rest = split;
    } else {
      line += text[p];
      ++c;
    }
  }
  if (c > 0 && e <= lines) x.lines.push_back(line);
  const std::string_view unstored = e > lines ? text.substr(rest) : std::string_view();
  x.warns = (!unstored.empty() && unstored != "\n") || text.size() < file_size;
  return x;
}

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "load fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_out = ostrel::fuzz::NullOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int32_t lsize = 2 + data[0] % 31;
  const int32_t lines = 1 + data[1] % 32;
  const bool yes = (data[2] & 1) != 0;
  const std::string_view file(reinterpret_cast<const char*>(data) + 3, size - 3);
  const std::string_view text = file.substr(0, file.find('\0'));

  EditorState s;
  s.session.settings.limits = Limits{lsize, lines};
  Check(s.AllocateBuffers(), "cannot allocate");
  // A previous document that the load must wipe out completely.
  for (int32_t i = 0; i < lines; ++i) std::memset(s.doc.buffer.WritableSlot(i), 'o', lsize - 1);

  static fuzz::MemoryFile in;
  bool loaded = false;
  {
    Console con(in.Hold(yes ? "Y\n" : "n\n"), g_out);
    s.doc.buffer.ClearAll();
    loaded = ParseLines(text, file.size(), s.doc.buffer, con);
  }

  const Expected x = Mark(text, file.size(), lsize, lines);
  Check(loaded == (yes || !x.warns), "load went on or stopped against the answer");
  if (!loaded) return 0;
  fuzz::AbortOnBrokenInvariant(s, "after loading", 0);
  for (int32_t i = 0; i < lines; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const std::string stored(s.doc.buffer.Slot(i));
    Check(stored == (k < x.lines.size() ? x.lines[k] : std::string()), "wrong line stored");
  }
  return 0;
}
