#include "support/state_fixture.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <stdexcept>

#include "editor/commands.h"

namespace ostrel::test {

EditorState MakeState(int32_t lsize, int32_t lines, const std::vector<std::string>& text) {
  EditorState s;
  s.session.settings.limits = Limits{lsize, lines};
  if (!s.AllocateBuffers()) throw std::runtime_error("cannot allocate test grid");
  MakeKeys(s.session.key_names);
  SetDefaultValues(s.session.settings.keys);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i].size() >= static_cast<std::size_t>(lsize))
      throw std::runtime_error("line too long");
    std::memcpy(s.doc.buffer.WritableSlot(static_cast<int32_t>(i)), text[i].data(), text[i].size());
  }
  return s;
}

std::string LineText(const EditorState& s, int32_t line) {
  const char* slot = s.doc.buffer.Slot(line);
  return std::string(slot, strnlen(slot, static_cast<std::size_t>(s.doc.buffer.lsize())));
}

std::vector<std::string> AllLines(const EditorState& s) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < s.doc.buffer.lines(); ++i) out.push_back(LineText(s, i));
  return out;
}

bool SlotsAreClean(const TextBuffer& buffer) {
  const auto lsize = static_cast<std::size_t>(buffer.lsize());
  const auto zeros = [](std::span<const char> bytes, std::size_t from) {
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                       [](char c) { return c == '\0'; });
  };
  if (!zeros(buffer.BlankSlot(), 0)) return false;
  for (int32_t i = 0; i < buffer.lines(); ++i) {
    // Each line's storage: its text, the terminator and only zeros, within lsize bytes.
    const std::span<const char> stored = buffer.SlotBytes(i);
    if (stored.empty()) continue;
    const std::size_t length = strnlen(stored.data(), stored.size());
    if (stored.size() > lsize || length >= stored.size() || !zeros(stored, length)) return false;
  }
  return true;
}

}  // namespace ostrel::test
