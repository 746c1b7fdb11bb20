// Terminal output over arbitrary bytes: whatever a document, a file name or an answer holds,
// a console in terminal mode writes no control byte but tab and the newlines of the editor's
// own layout, and its text keeps every byte of 0x80 and above.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "buffer/text_buffer.h"
#include "console/console.h"
#include "editor/view.h"
#include "fuzz_support.h"

namespace {

using namespace ostrel;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "visible fuzzer: %s\n", what);
  std::abort();
}

// Runs `print` on a terminal-mode console and returns what it wrote.
template <typename Print>
std::string Shown(Print print) {
  static fuzz::MemoryFile in;
  static fuzz::MemoryFile out;
  {
    Console con(in.Hold(""), out.Hold(""), OutputMode::kVisible);
    print(con);
  }
  return out.Content();
}

bool Safe(std::string_view text, bool newlines) {
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b == 0x7f || (b < 0x20 && b != '\t' && !(newlines && b == '\n'))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = Shown([&](Console& con) { con.Text(bytes); });
  Check(Safe(text, false), "control byte from Text");
  std::size_t high_in = 0;
  std::size_t high_out = 0;
  for (const char c : bytes) high_in += static_cast<unsigned char>(c) >= 0x80 ? 1 : 0;
  for (const char c : text) high_out += static_cast<unsigned char>(c) >= 0x80 ? 1 : 0;
  Check(high_in == high_out, "bytes of 0x80 and above changed");

  // As a C string (up to its first NUL) in messages, and as a document line and file name.
  const std::string name(bytes.substr(0, std::min<std::size_t>(bytes.find('\0'), 255)));
  const int c = bytes.empty() ? 0 : data[0];
  const std::string message = Shown([&](Console& con) {
    con.Print("Saved to %s|%s|%s\n", Visible(name), Visible(std::string(1, static_cast<char>(c))),
              Visible(bytes));
  });
  Check(Safe(message, true), "control byte from Print");
  Check(message.find('\n') == message.size() - 1, "newline from a Print argument");

  TextBuffer buffer;
  Check(buffer.Allocate(Limits{.lsize = 256, .lines = 4}), "allocate");
  std::memcpy(buffer.WritableSlot(1), name.data(), name.size());
  const std::string view =
      Shown([&](Console& con) { Display(1, 0, 7, buffer, c % 2 == 0, name.c_str(), con); });
  Check(Safe(view, true), "control byte from the view");
  return 0;
}
