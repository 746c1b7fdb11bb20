#include "support/invariants.h"

#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace ostrel {
namespace {

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

bool InRange(int32_t value, int32_t low, int32_t high) {
  return value >= low && value <= high;
}

// True when the n bytes at p are all zero: the first is zero and every byte equals the next.
bool AllZero(const char* p, std::size_t n) {
  return n == 0 || (p[0] == '\0' && std::memcmp(p, p + 1, n - 1) == 0);
}

bool Terminated(const char* data, std::size_t size) {
  return std::memchr(data, 0, size) != nullptr;
}

}  // namespace

bool CheckSlots(const TextBuffer& buffer, std::string* why) {
  if (!buffer.allocated()) return Fail(why, "text buffer not allocated");
  const int32_t lsize = buffer.lsize();
  const int32_t lines = buffer.lines();
  const auto slot_size = static_cast<std::size_t>(lsize);

  // Every line has a slot of its own. A slot at or past the written mark was never handed out
  // for writing, so it must be empty: text there came from a writer that bypassed the mark, and
  // the work that skips such slots (search, save) would not see it. Such a line has no storage
  // and reads as the blank slot, so a writer that bypassed the mark wrote into the blank: the
  // line it was last lent to for writing is named (reading lends it to nobody).
  const int32_t mark = buffer.WrittenMark();
  const std::span<const char> blank = buffer.BlankSlot();
  if (blank.size() != slot_size || !AllZero(blank.data(), blank.size())) {
    const int32_t line = buffer.BlankLentTo();
    if (line < 0) return Fail(why, "the blank slot holds text");
    const int32_t index = InRange(line, 0, lines - 1) ? buffer.SlotIndex(line) : -1;
    if (index < mark)
      return Fail(why, "the blank slot lent to line " + std::to_string(line) + " holds text");
    return Fail(why, "line " + std::to_string(line) + " holds text in slot " +
                         std::to_string(index) + ", at or past the written mark " +
                         std::to_string(mark));
  }
  std::vector<bool> taken(static_cast<std::size_t>(lines));
  for (int32_t i = 0; i < lines; ++i) {
    const int32_t index = buffer.SlotIndex(i);
    if (!InRange(index, 0, lines - 1)) {
      return Fail(why, "line " + std::to_string(i) + " has slot " + std::to_string(index) +
                           ", outside the grid");
    }
    if (taken[static_cast<std::size_t>(index)]) return Fail(why, "two lines share one slot");
    taken[static_cast<std::size_t>(index)] = true;
    // The buffer stores a line only in a slot below the mark, so only those are looked at: a
    // short document in a large grid costs the check its own lines. A line is stored at its
    // own length, or in a whole slot while it is written: its terminator lies within what is
    // stored, and only zeros follow it there.
    if (index >= mark) continue;
    const std::span<const char> stored = buffer.SlotBytes(i);
    if (stored.empty()) continue;
    if (stored.size() > slot_size) {
      return Fail(why, "line " + std::to_string(i) + " is stored in " +
                           std::to_string(stored.size()) + " bytes, more than lsize");
    }
    const std::string_view bytes(stored.data(), stored.size());
    const std::size_t length = bytes.find('\0');
    if (length == std::string_view::npos) {
      return Fail(why, "line " + std::to_string(i) + " has no terminator");
    }
    if (!AllZero(bytes.data() + length, bytes.size() - length)) {
      return Fail(why, "line " + std::to_string(i) + " has a non-zero byte at " +
                           std::to_string(bytes.find_first_not_of('\0', length)) +
                           " after its terminator at " + std::to_string(length));
    }
  }
  return true;
}

bool CheckInvariants(const EditorState& s, std::string* why) {
  if (!CheckSlots(s.doc.buffer, why)) return false;
  const int32_t lsize = s.doc.buffer.lsize();
  const int32_t lines = s.doc.buffer.lines();
  const auto slot_size = static_cast<std::size_t>(lsize);
  const struct {
    const char* name;
    int32_t value;
    int32_t last;
  } positions[] = {{"cursor line", s.view.cursor_line, lines - 1},
                   {"cursor position", s.view.cursor_pos, lsize - 1},
                   {"anchor position", s.session.settings.anchor_pos, lsize - 1}};
  for (const auto& [name, value, last] : positions) {
    if (!InRange(value, 0, last)) {
      return Fail(why, std::string(name) + " " + std::to_string(value) + " outside 0.." +
                           std::to_string(last));
    }
  }

  const struct {
    const char* name;
    const LineBuffer& data;
  } scratch[] = {{"command input", s.session.command_input}, {"insert text", s.session.insert_text},
                 {"jump string", s.session.jump_string},     {"clip", s.session.clip},
                 {"undo copy 1", s.doc.undo.copy1()},        {"undo copy 2", s.doc.undo.copy2()}};
  for (const auto& [name, data] : scratch) {
    if (data.size() != slot_size) {
      return Fail(why, std::string(name) + " is " + std::to_string(data.size()) +
                           " bytes, not lsize " + std::to_string(lsize));
    }
    if (!Terminated(data.data(), slot_size)) {
      return Fail(why, std::string(name) + " has no terminator");
    }
  }
  const struct {
    const char* name;
    const NameBuffer& data;
  } names[] = {{"file name", s.doc.file_name},
               {"open name", s.doc.open_name},
               {"launch command", s.session.settings.launch_command}};
  for (const auto& [name, data] : names) {
    if (!Terminated(data.data(), data.size())) {
      return Fail(why, std::string(name) + " has no terminator");
    }
  }

  const Undo& u = s.doc.undo;
  const auto kind = static_cast<int32_t>(u.kind());
  if (!InRange(kind, 0, 6)) return Fail(why, "undo kind " + std::to_string(kind));
  const bool one_line = InRange(kind, static_cast<int32_t>(UndoKind::kLineText),
                                static_cast<int32_t>(UndoKind::kDeletedLine));
  if (one_line && !InRange(u.line(), 0, lines - 1)) {
    return Fail(why, "undo line " + std::to_string(u.line()) + " outside the grid");
  }
  if (kind >= static_cast<int32_t>(UndoKind::kMove) &&
      (!InRange(u.first(), 0, lines - 1) || !InRange(u.second(), 0, lines - 1))) {
    return Fail(why, "undo lines " + std::to_string(u.first()) + ", " + std::to_string(u.second()) +
                         " outside the grid");
  }
  return true;
}

}  // namespace ostrel
