// Start-up, the command loop and text entry.
#pragma once

#include <optional>

#include "console/console.h"
#include "editor/start_position.h"
#include "editor/state.h"

namespace ostrel {

inline constexpr const char* kBanner = "Ostrel line editor " OSTREL_VERSION;

// Sets up the state in the editor's start-up order: banner, key tables, view defaults, the
// settings file, the start-up hint, the buffers, then `file` (none when null). Returns false
// when the editor must end at once; s.session.exit_status then says with what.
bool StartUp(EditorState& s, const char* file, Console& con);

// One cycle: show the view, read an input line, run its command or enter it as text.
void Cycle(EditorState& s, Console& con);

// The text that an input line (newline cut) matching no key enters: a leading '!' is dropped and
// the rest of the line taken literally, so that a line that would be a key is typed as text.
const char* TypedText(const char* input);

// Writes `text` into the cursor line at the cursor column, and moves the cursor down unless the
// line lock is on or it is on the last line.
void EnterText(Document& doc, View& view, Console& con, const char* text);

// The whole run on `file` (none when null): start-up, the cursor put on the start position
// when one is given, cycles until a confirmed quit or the end of input. Returns the process's
// exit status: 1 also when the last save failed, or when a terminal's input ended with unsaved
// changes (which go to the rescue file). A signal other than Ctrl-C on a terminal ends the
// process from here, by that signal, after the rescue file.
int Run(const char* file, Console& con, const std::optional<StartPosition>& start = {});

}  // namespace ostrel
