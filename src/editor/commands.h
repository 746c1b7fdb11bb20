// The command table: every command is one row of it, with its slot, its name in the settings
// file, its default key, its handler and its help line; the order in which input is matched
// against the keys; and the handlers themselves. A handler knows its own prompts and messages and
// nothing about dispatch.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "common/outcome.h"
#include "console/console.h"
#include "editor/start_position.h"
#include "editor/state.h"
#include "settings/keys.h"

namespace ostrel {

// Every handler takes the three parts of the state, so that the table has one type; its
// definition names only the parts it uses, and the procedures below it take only the parts they
// change, and `const` those they only read. Each group below says what its handlers change. A
// handler's result: kCancelled when its question was cancelled (by 'x', or by a signal the loop
// then acts on), kDone otherwise, whatever the command did.
using Handler = Outcome (*)(Document&, Session&, View&, Console&);

// Runs a handler on the loop's state.
inline Outcome RunHandler(Handler handler, EditorState& s, Console& con) {
  return handler(s.doc, s.session, s.view, con);
}

// Cursor movement, search, view settings (cursor.cpp): they read the document and change the
// view; the page length, number display and anchor are the session's settings, the searches ask
// into its jump string.
Outcome PositionBack(Document&, Session&, View&, Console&);
Outcome PositionForw(Document&, Session&, View&, Console&);
Outcome PositionDown(Document&, Session&, View&, Console&);  // up a line
Outcome PositionUp(Document&, Session&, View&, Console&);    // down a line
Outcome PositionBeg(Document&, Session&, View&, Console&);
Outcome PositionEnd(Document&, Session&, View&, Console&);
Outcome PageBack(Document&, Session&, View&, Console&);
Outcome PageForw(Document&, Session&, View&, Console&);
Outcome PageLength(Document&, Session&, View&, Console&);
Outcome JumpLine(Document&, Session&, View&, Console&);
Outcome JumpDoc(Document&, Session&, View&, Console&);
Outcome LockTog(Document&, Session&, View&, Console&);
Outcome GoToLine(Document&, Session&, View&, Console&);
Outcome GoToPos(Document&, Session&, View&, Console&);
Outcome AnchorGo(Document&, Session&, View&, Console&);
Outcome AnchorSet(Document&, Session&, View&, Console&);
Outcome NumTog(Document&, Session&, View&, Console&);

// Start-up: puts the cursor on the +LINE[,COLUMN] position, clamped into the grid of the loaded
// document (cursor.cpp).
void GoToStartPosition(const Document& doc, View& view, const StartPosition& start);

// Editing (edit_commands.cpp): they change the document's text and undo record and the cursor;
// the clip commands the session's clip, the insert its answer buffer.
// Before an edit that lengthens lines saves anything for undo: gets the memory for writing
// `count` lines. Without it the edit ends with std::bad_alloc, which the command loop turns into
// the message that nothing was changed.
void ReserveForEdit(Document& doc, int count = 1);
Outcome LineClear(Document&, Session&, View&, Console&);
Outcome LineMove(Document&, Session&, View&, Console&);
Outcome LineInsert(Document&, Session&, View&, Console&);
Outcome LineDelete(Document&, Session&, View&, Console&);
Outcome LineCopy(Document&, Session&, View&, Console&);
Outcome ClipCopy(Document&, Session&, View&, Console&);
Outcome ClipCut(Document&, Session&, View&, Console&);
Outcome ClipPaste(Document&, Session&, View&, Console&);
Outcome ClipInsert(Document&, Session&, View&, Console&);
Outcome NewInsert(Document&, Session&, View&, Console&);
Outcome TrimEnd(Document&, Session&, View&, Console&);
Outcome TrimWrap(Document&, Session&, View&, Console&);

// On a terminal, one line saying how many characters of text typed, inserted or pasted did
// not fit and were dropped; nothing when none were, or through pipes (edit_commands.cpp).
void SayDropped(int32_t dropped, Console& con);

// Undo (undo.cpp): the document's text and undo record, and the cursor line.
Outcome UndoCommand(Document&, Session&, View&, Console&);

// Files and the launch command (file_commands.cpp): the document's names, text, disk record
// and undo record (a loaded document has nothing to undo); the session's rescue file, failed
// save, launch command, and the end of a refused open. Never the view.
Outcome SavePrompt(Document&, Session&, View&, Console&);
Outcome SaveOverwrite(Document&, Session&, View&, Console&);
Outcome OpenCommand(Document&, Session&, View&, Console&);
Outcome CommandExec(Document&, Session&, View&, Console&);
Outcome CommandEdit(Document&, Session&, View&, Console&);

// Start-up: makes `name` the open name and the file name and loads it. Returns false when the
// editor must end at once (with status 1), the user told why.
bool StartUpOpen(Document& doc, const char* name, Console& con);

// Help (help.cpp): changes nothing.
Outcome HelpCommand(Document&, Session&, View&, Console&);

// Quit (loop.cpp): the session's end, its command input as the answer, its rescue file.
Outcome QuitCommand(Document&, Session&, View&, Console&);

// Before a question that may drop the document (quit, open): someone at a terminal is told
// when it holds unsaved changes (file_commands.cpp).
void WarnOfUnsavedChanges(const Document& doc, Console& con);

// The page of the help menu that shows a command's help line.
enum class HelpPage { kNavigation, kEditing, kFile, kMore };

// Whether an empty line on its help page sets a command's entry apart from the one before it.
enum class HelpGap : bool { kNone = false, kBefore = true };

struct Command {
  Slot slot;
  const char* name;  // in the settings file: at most 15 characters
  char default_key;
  Handler handler;
  HelpPage page;
  HelpGap gap;
  const char* help;  // one %s for the current key; a line without one is shown as it is
};

// One row per command, in the order the help menu lists them on their pages.
inline constexpr std::array<Command, kSlotCount> kCommands = {{
    {kPositionBack, "position_back", 'b', PositionBack, HelpPage::kNavigation, HelpGap::kNone,
     "'%s' to move back a space"},
    {kPositionForw, "position_forw", 'n', PositionForw, HelpPage::kNavigation, HelpGap::kNone,
     "'%s' to move forward a space"},
    {kPositionDown, "position_down", ',', PositionDown, HelpPage::kNavigation, HelpGap::kBefore,
     "'%s' to move up a line"},
    {kPositionUp, "position_up", '.', PositionUp, HelpPage::kNavigation, HelpGap::kNone,
     "'%s' to move down a line"},
    {kPositionBeg, "position_beg", 'l', PositionBeg, HelpPage::kNavigation, HelpGap::kBefore,
     "'%s' to move to the beginning of a line"},
    {kPositionEnd, "position_end", 'e', PositionEnd, HelpPage::kNavigation, HelpGap::kNone,
     "'%s' to move to the end of a line"},
    {kPageBack, "page_back", '<', PageBack, HelpPage::kNavigation, HelpGap::kBefore,
     "'%s' to move back a page"},
    {kPageForw, "page_forw", '>', PageForw, HelpPage::kNavigation, HelpGap::kNone,
     "'%s' to move forward a page"},
    {kPageLength, "page_length", 'p', PageLength, HelpPage::kNavigation, HelpGap::kNone,
     "'%s' to set page length"},
    {kJumpLine, "jump_line", 'j', JumpLine, HelpPage::kNavigation, HelpGap::kBefore,
     "'%s' to jump to a string in the line"},
    {kJumpDoc, "jump_doc", 'J', JumpDoc, HelpPage::kNavigation, HelpGap::kNone,
     "'%s' to jump to a string on current or later lines"},
    {kLockTog, "lock_tog", 'L', LockTog, HelpPage::kNavigation, HelpGap::kBefore,
     "'%s' to lock/unlock line switching"},
    {kGoToLine, "go_to_line", 'g', GoToLine, HelpPage::kNavigation, HelpGap::kBefore,
     "'%s' to go to a line number"},
    {kGoToPos, "go_to_pos", 'G', GoToPos, HelpPage::kNavigation, HelpGap::kNone,
     "'%s' to go a position in a line"},
    {kAnchorGo, "anchor_go", 'a', AnchorGo, HelpPage::kNavigation, HelpGap::kBefore,
     "'%s' to move to an anchored position"},
    {kAnchorSet, "anchor_set", 'A', AnchorSet, HelpPage::kNavigation, HelpGap::kNone,
     "'%s' to set the anchored position"},
    {kLineClear, "line_clear", 'd', LineClear, HelpPage::kEditing, HelpGap::kNone,
     "'%s' to clear a line"},
    {kLineMove, "line_move", 'm', LineMove, HelpPage::kEditing, HelpGap::kNone,
     "'%s' to move a line"},
    {kLineInsert, "line_insert", 'w', LineInsert, HelpPage::kEditing, HelpGap::kNone,
     "'%s' to wedge (insert) a new line"},
    {kLineDelete, "line_delete", 'D', LineDelete, HelpPage::kEditing, HelpGap::kNone,
     "'%s' to delete a line and shift lines up"},
    {kLineCopy, "line_copy", 'C', LineCopy, HelpPage::kEditing, HelpGap::kNone,
     "'%s' to copy a whole line"},
    {kClipCopy, "clip_copy", 'c', ClipCopy, HelpPage::kEditing, HelpGap::kBefore,
     "'%s' to copy text to memory"},
    {kClipCut, "clip_cut", 'x', ClipCut, HelpPage::kEditing, HelpGap::kNone,
     "'%s' to cut text to memory"},
    {kClipPaste, "clip_paste", 'v', ClipPaste, HelpPage::kEditing, HelpGap::kBefore,
     "'%s' to paste text from memory by overwriting"},
    {kClipInsert, "clip_insert", 'V', ClipInsert, HelpPage::kEditing, HelpGap::kNone,
     "'%s' to paste text from memory by inserting and shifting"},
    {kNewInsert, "new_insert", 'i', NewInsert, HelpPage::kEditing, HelpGap::kNone,
     "'%s' to insert new text"},
    {kTrimEnd, "trim_end", 't', TrimEnd, HelpPage::kEditing, HelpGap::kBefore,
     "'%s' to trim line at current position by deleting text"},
    {kTrimWrap, "trim_wrap", 'T', TrimWrap, HelpPage::kEditing, HelpGap::kNone,
     "'%s' to trim line and send extra text to next line"},
    {kUndo, "undo", 'z', UndoCommand, HelpPage::kEditing, HelpGap::kBefore, "'%s' to undo an edit"},
    {kSavePrompt, "save_prompt", 's', SavePrompt, HelpPage::kFile, HelpGap::kNone,
     "'%s' to save a file with new name prompt"},
    {kSaveOverwrite, "save_overwrite", 'S', SaveOverwrite, HelpPage::kFile, HelpGap::kNone,
     "'%s' to save a file using existing name"},
    // The open command's help line always names 'O', whatever its key.
    {kOpen, "open", 'O', OpenCommand, HelpPage::kFile, HelpGap::kBefore,
     "'O' to open a file and replace current buffer"},
    {kNumTog, "num_tog", '#', NumTog, HelpPage::kMore, HelpGap::kNone,
     "'%s' to toggle the display of line numbers"},
    {kHelp, "help", 'h', HelpCommand, HelpPage::kMore, HelpGap::kNone, "'%s' to view help menu"},
    {kCommandExec, "command_exec", '=', CommandExec, HelpPage::kMore, HelpGap::kNone,
     "'%s' to launch a command"},
    {kCommandEdit, "command_edit", '+', CommandEdit, HelpPage::kMore, HelpGap::kNone,
     "'%s' to enter the command to be launched"},
    {kQuit, "quit", 'q', QuitCommand, HelpPage::kMore, HelpGap::kNone, "'%s' to quit"},
}};

// The order in which slots are tried: the first slot whose key equals the input runs, so that
// of two commands given one key the earlier one here wins.
inline constexpr std::array<Slot, kSlotCount> kMatchOrder = {
    kPositionDown, kPositionUp, kPositionForw,  kPositionBack, kPageForw,   kPageBack, kPositionBeg,
    kLockTog,      kNumTog,     kJumpLine,      kJumpDoc,      kGoToLine,   kGoToPos,  kPositionEnd,
    kClipCopy,     kClipInsert, kClipPaste,     kLineClear,    kNewInsert,  kClipCut,  kTrimEnd,
    kTrimWrap,     kSavePrompt, kSaveOverwrite, kOpen,         kLineMove,   kLineCopy, kAnchorSet,
    kAnchorGo,     kLineInsert, kLineDelete,    kHelp,         kPageLength, kUndo,     kCommandExec,
    kCommandEdit,  kQuit,
};

// Where each slot's row is in kCommands.
inline constexpr std::array<std::size_t, kSlotCount> kRowOfSlot = [] {
  std::array<std::size_t, kSlotCount> rows{};
  for (std::size_t i = 0; i < kCommands.size(); ++i) {
    rows[static_cast<std::size_t>(kCommands[i].slot)] = i;
  }
  return rows;
}();

// The row of `slot` (0 to kSlotCount-1).
constexpr const Command& CommandAt(int slot) {
  return kCommands[kRowOfSlot[static_cast<std::size_t>(slot)]];
}

// Writes the names of the slots into the key-name table, entry k for slot k.
void MakeKeys(KeyNameTable& names);

// Writes the default keys into the key table, entry k for slot k.
void SetDefaultValues(KeyTable& keys);

// The slot whose command an input line (newline already cut) runs, or -1 when it is text.
// A line starting with '!' runs nothing, except the undo command when its key is '!'.
int MatchSlot(const char* input, const KeyTable& keys);

// The build fails unless every slot has exactly one row and one place in the matching order,
// every row a handler and a usable name, key and help line.
namespace table_checks {

template <std::size_t N>
constexpr bool EachSlotOnce(const std::array<Slot, N>& slots) {
  std::array<int, kSlotCount> seen{};
  for (const Slot slot : slots) {
    if (slot < 0 || slot >= kSlotCount || seen[slot]++ != 0) return false;
  }
  return N == kSlotCount;
}

constexpr std::array<Slot, kSlotCount> SlotsOfRows() {
  std::array<Slot, kSlotCount> slots{};
  for (std::size_t i = 0; i < kCommands.size(); ++i) slots[i] = kCommands[i].slot;
  return slots;
}

// A name of lower-case letters and underscores that fits the key-name table.
constexpr bool UsableName(std::string_view name) {
  if (name.empty() || name.size() >= kKeyNameSize) return false;
  for (const char c : name) {
    if ((c < 'a' || c > 'z') && c != '_') return false;
  }
  return true;
}

// At most one %s and no other conversion: the help menu puts the key where the %s is.
constexpr bool UsableHelp(std::string_view help) {
  const std::size_t key = help.find("%s");
  const std::size_t percent = help.find('%');
  return percent == key &&
         (key == std::string_view::npos || help.find('%', key + 1) == std::string_view::npos);
}

// The settings file finds a name anywhere in a line: no name may hold another.
constexpr bool NamesApart() {
  for (const Command& a : kCommands) {
    for (const Command& b : kCommands) {
      if (a.slot != b.slot && std::string_view(a.name).find(b.name) != std::string_view::npos) {
        return false;
      }
    }
  }
  return true;
}

// A row's handler is its fourth field, so a row without one does not build; comparing a
// function's address is not a constant expression in every build (not under the sanitizers).
constexpr bool RowsUsable() {
  for (const Command& command : kCommands) {
    if (!UsableName(command.name) || !UsableHelp(command.help) || command.default_key == '\0' ||
        command.default_key == '\n') {
      return false;
    }
  }
  return true;
}

static_assert(EachSlotOnce(SlotsOfRows()), "every slot needs exactly one row in kCommands");
static_assert(EachSlotOnce(kMatchOrder), "kMatchOrder must name every slot exactly once");
static_assert(RowsUsable(), "every row needs a name, a key and a help line");
static_assert(NamesApart(), "no command name may hold another");

}  // namespace table_checks

}  // namespace ostrel
