// Look-ups in the command table: the key tables' start values and the slot an input line runs.
#include "editor/commands.h"

#include <cstring>

namespace ostrel {

void MakeKeys(KeyNameTable& names) {
  for (const Command& command : kCommands) {
    auto& entry = names[static_cast<std::size_t>(command.slot)];
    entry.fill('\0');
    std::strncpy(entry.data(), command.name, kKeyNameSize - 1);
  }
}

void SetDefaultValues(KeyTable& keys) {
  for (const Command& command : kCommands) {
    keys[static_cast<std::size_t>(command.slot)] = {command.default_key, '\0'};
  }
}

int MatchSlot(const char* input, const KeyTable& keys) {
  for (const int slot : kMatchOrder) {
    if (std::strcmp(input, keys[static_cast<std::size_t>(slot)].data()) != 0) continue;
    if (input[0] == '!' && slot != kUndo) continue;
    return slot;
  }
  return -1;
}

}  // namespace ostrel
