#include "settings/keys.h"

#include <cstring>

namespace ostrel {

const std::array<SlotInfo, kSlotCount> kSlots = {{
    {"position_back", 'b', "    '%s' to move back a space\n"},
    {"position_forw", 'n', "    '%s' to move forward a space\n"},
    {"position_down", ',', "    '%s' to move up a line\n"},
    {"position_up", '.', "    '%s' to move down a line\n"},
    {"position_beg", 'l', "    '%s' to move to the beginning of a line\n"},
    {"position_end", 'e', "    '%s' to move to the end of a line\n"},
    {"page_back", '<', "    '%s' to move back a page\n"},
    {"page_forw", '>', "    '%s' to move forward a page\n"},
    {"page_length", 'p', "    '%s' to set page length\n"},
    {"jump_line", 'j', "    '%s' to jump to a string in the line\n"},
    {"jump_doc", 'J', "    '%s' to jump to a string on current or later lines\n"},
    {"lock_tog", 'L', "    '%s' to lock/unlock line switching\n"},
    {"go_to_line", 'g', "    '%s' to go to a line number\n"},
    {"go_to_pos", 'G', "    '%s' to go a position in a line\n"},
    {"anchor_go", 'a', "    '%s' to move to an anchored position\n"},
    {"anchor_set", 'A', "    '%s' to set the anchored position\n"},
    {"line_clear", 'd', "    '%s' to clear a line\n"},
    {"line_move", 'm', "    '%s' to move a line\n"},
    {"line_insert", 'w', "    '%s' to wedge (insert) a new line\n"},
    {"line_delete", 'D', "    '%s' to delete a line and shift lines up\n"},
    {"line_copy", 'C', "    '%s' to copy a whole line\n"},
    {"clip_copy", 'c', "    '%s' to copy text to memory\n"},
    {"clip_cut", 'x', "    '%s' to cut text to memory\n"},
    {"clip_paste", 'v', "    '%s' to paste text from memory by overwriting\n"},
    {"clip_insert", 'V', "    '%s' to paste text from memory by inserting and shifting\n"},
    {"new_insert", 'i', "    '%s' to insert new text\n"},
    {"trim_end", 't', "    '%s' to trim line at current position by deleting text\n"},
    {"trim_wrap", 'T', "    '%s' to trim line and send extra text to next line\n"},
    {"undo", 'z', "    '%s' to undo an edit\n"},
    {"save_prompt", 's', "    '%s' to save a file with new name prompt\n"},
    {"save_overwrite", 'S', "    '%s' to save a file using existing name\n"},
    // The open command's help line always names 'O', whatever its key.
    {"open", 'O', "    'O' to open a file and replace current buffer\n"},
    {"help", 'h', "    '%s' to view help menu\n"},
    {"num_tog", '#', "    '%s' to toggle the display of line numbers\n"},
    {"command_exec", '=', "    '%s' to launch a command\n"},
    {"command_edit", '+', "    '%s' to enter the command to be launched\n"},
    {"quit", 'q', "    '%s' to quit\n"},
}};

const std::array<Slot, kSlotCount> kMatchOrder = {
    kPositionDown, kPositionUp, kPositionForw,  kPositionBack, kPageForw,   kPageBack, kPositionBeg,
    kLockTog,      kNumTog,     kJumpLine,      kJumpDoc,      kGoToLine,   kGoToPos,  kPositionEnd,
    kClipCopy,     kClipInsert, kClipPaste,     kLineClear,    kNewInsert,  kClipCut,  kTrimEnd,
    kTrimWrap,     kSavePrompt, kSaveOverwrite, kOpen,         kLineMove,   kLineCopy, kAnchorSet,
    kAnchorGo,     kLineInsert, kLineDelete,    kHelp,         kPageLength, kUndo,     kCommandExec,
    kCommandEdit,  kQuit,
};

void MakeKeys(KeyNameTable& names) {
  for (int k = 0; k < kSlotCount; ++k) {
    auto& entry = names[static_cast<std::size_t>(k)];
    entry.fill('\0');
    std::strncpy(entry.data(), kSlots[static_cast<std::size_t>(k)].name, kKeyNameSize - 1);
  }
}

void SetDefaultValues(KeyTable& keys) {
  for (int k = 0; k < kSlotCount; ++k) {
    keys[static_cast<std::size_t>(k)] = {kSlots[static_cast<std::size_t>(k)].default_key, '\0'};
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
