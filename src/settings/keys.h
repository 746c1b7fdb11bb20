// The command slots by name, and the two tables the settings file reads and writes by slot:
// each command's key and its name. What each slot is (its name, default key, handler and help
// line) is the editor's command table.
#pragma once

#include <array>

namespace ostrel {

inline constexpr int kKeySize = 2;       // one character and its terminator
inline constexpr int kKeyNameSize = 16;  // at most 15 characters and the terminator

// Slot numbers, named after the commands. A new command takes the next number, before
// kSlotCount.
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
  kSlotCount  // the number of slots
};

using KeyTable = std::array<std::array<char, kKeySize>, kSlotCount>;
using KeyNameTable = std::array<std::array<char, kKeyNameSize>, kSlotCount>;

}  // namespace ostrel
