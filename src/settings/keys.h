// The 37 command slots: their names in the settings file, default keys, help lines, and the
// fixed order in which an input line is matched against the keys.
#pragma once

#include <array>
#include <cstdint>

namespace ostrel {

inline constexpr int kSlotCount = 37;
inline constexpr int kKeySize = 2;       // one character and its terminator
inline constexpr int kKeyNameSize = 16;  // at most 15 characters and the terminator

using KeyTable = std::array<std::array<char, kKeySize>, kSlotCount>;
using KeyNameTable = std::array<std::array<char, kKeyNameSize>, kSlotCount>;

// Slot numbers, named after the commands.
enum Slot : int {
  kPositionBack = 0,
  kPositionForw = 1,
  kPositionDown = 2,  // moves the cursor UP a line; settings files rely on this pairing
  kPositionUp = 3,    // moves the cursor DOWN a line
  kPositionBeg = 4,
  kPositionEnd = 5,
  kPageBack = 6,
  kPageForw = 7,
  kPageLength = 8,
  kJumpLine = 9,
  kJumpDoc = 10,
  kLockTog = 11,
  kGoToLine = 12,
  kGoToPos = 13,
  kAnchorGo = 14,
  kAnchorSet = 15,
  kLineClear = 16,
  kLineMove = 17,
  kLineInsert = 18,
  kLineDelete = 19,
  kLineCopy = 20,
  kClipCopy = 21,
  kClipCut = 22,
  kClipPaste = 23,
  kClipInsert = 24,
  kNewInsert = 25,
  kTrimEnd = 26,
  kTrimWrap = 27,
  kUndo = 28,
  kSavePrompt = 29,
  kSaveOverwrite = 30,
  kOpen = 31,
  kHelp = 32,
  kNumTog = 33,
  kCommandExec = 34,
  kCommandEdit = 35,
  kQuit = 36,
};

struct SlotInfo {
  const char* name;
  char default_key;
  const char* help_line;  // text with one %s where the current key goes (slot 31: none)
};

extern const std::array<SlotInfo, kSlotCount> kSlots;

// The order in which slots are tried: the first slot whose key equals the input runs.
extern const std::array<Slot, kSlotCount> kMatchOrder;

// Writes the 37 names into the key-name table.
void MakeKeys(KeyNameTable& names);

// Writes the 37 default keys into the key table.
void SetDefaultValues(KeyTable& keys);

// The slot whose command an input line (newline already cut) runs, or -1 when it is text.
// A line starting with '!' runs nothing, except the undo command when its key is '!'.
int MatchSlot(const char* input, const KeyTable& keys);

}  // namespace ostrel
