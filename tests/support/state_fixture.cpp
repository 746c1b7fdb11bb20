#include "support/state_fixture.h"

#include <cstring>
#include <stdexcept>

#include "editor/commands.h"
#include "support/invariants.h"

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
  return CheckSlots(buffer, nullptr);
}

}  // namespace ostrel::test
