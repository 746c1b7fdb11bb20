// Every command handler, one per slot. The loop reaches them through one dispatch table; a
// handler knows its own prompts and messages and nothing about dispatch.
#pragma once

#include "console/console.h"
#include "editor/start_position.h"
#include "editor/state.h"

namespace ostrel {

using Handler = void (*)(EditorState&, Console&);

// Cursor movement, search, view settings (cursor.cpp).
void PositionBack(EditorState& s, Console& con);
void PositionForw(EditorState& s, Console& con);
void PositionDown(EditorState& s, Console& con);  // up a line
void PositionUp(EditorState& s, Console& con);    // down a line
void PositionBeg(EditorState& s, Console& con);
void PositionEnd(EditorState& s, Console& con);
void PageBack(EditorState& s, Console& con);
void PageForw(EditorState& s, Console& con);
void PageLength(EditorState& s, Console& con);
void JumpLine(EditorState& s, Console& con);
void JumpDoc(EditorState& s, Console& con);
void LockTog(EditorState& s, Console& con);
void GoToLine(EditorState& s, Console& con);
void GoToPos(EditorState& s, Console& con);
void AnchorGo(EditorState& s, Console& con);
void AnchorSet(EditorState& s, Console& con);
void NumTog(EditorState& s, Console& con);

// Start-up: puts the cursor on the +LINE[,COLUMN] position, clamped into the grid of the loaded
// document (cursor.cpp).
void GoToStartPosition(EditorState& s, const StartPosition& start);

// Editing (edit_commands.cpp).
// Before an edit that lengthens lines saves anything for undo: gets the memory for writing
// `count` lines. Without it the user is told that nothing was changed, and false.
bool ReserveForEdit(EditorState& s, Console& con, int count = 1);
void LineClear(EditorState& s, Console& con);
void LineMove(EditorState& s, Console& con);
void LineInsert(EditorState& s, Console& con);
void LineDelete(EditorState& s, Console& con);
void LineCopy(EditorState& s, Console& con);
void ClipCopy(EditorState& s, Console& con);
void ClipCut(EditorState& s, Console& con);
void ClipPaste(EditorState& s, Console& con);
void ClipInsert(EditorState& s, Console& con);
void NewInsert(EditorState& s, Console& con);
void TrimEnd(EditorState& s, Console& con);
void TrimWrap(EditorState& s, Console& con);

// On a terminal, one line saying how many characters of text typed, inserted or pasted did
// not fit and were dropped; nothing when none were, or through pipes (edit_commands.cpp).
void SayDropped(int32_t dropped, Console& con);

// Undo (undo.cpp).
void UndoCommand(EditorState& s, Console& con);

// Files and the launch command (file_commands.cpp).
void SavePrompt(EditorState& s, Console& con);
void SaveOverwrite(EditorState& s, Console& con);
void OpenCommand(EditorState& s, Console& con);
void CommandExec(EditorState& s, Console& con);
void CommandEdit(EditorState& s, Console& con);

// Start-up: makes `name` the open name and the file name and loads it. Returns false when the
// editor must end at once, with s.exit_status set.
bool StartUpOpen(EditorState& s, const char* name, Console& con);

// Help (help.cpp).
void HelpCommand(EditorState& s, Console& con);

// Quit (loop.cpp).
void QuitCommand(EditorState& s, Console& con);

// Before a question that may drop the document (quit, open): someone at a terminal is told
// when it holds unsaved changes (file_commands.cpp).
void WarnOfUnsavedChanges(const EditorState& s, Console& con);

}  // namespace ostrel
