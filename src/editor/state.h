// The editor state, in three owners: the document (its text and what belongs to that text), the
// session (what lasts the whole run, whatever document is loaded) and the view (where the cursor
// stands). The command loop owns one of each for the whole run and hands, by reference, to each
// procedure the parts it changes, and `const` the parts it only reads.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "buffer/memory.h"
#include "buffer/text_buffer.h"
#include "common/name.h"
#include "editor/undo.h"
#include "files/disk_record.h"
#include "files/rescue.h"
#include "settings/keys.h"
#include "settings/settings.h"

namespace ostrel {

// How far the session's rescue file is behind the text: since when it lacks a change, counted
// from the file's last write tried (SessionRescue::changes).
struct RescueLag {
  bool behind = false;
  uint64_t from = 0;
  std::chrono::steady_clock::time_point since{};
};

// The document: its text, the names it is loaded from and saved under, what stood on disk under
// its name, and the undo record of its last edit. Loading another document replaces all of it
// (a loaded document has nothing to undo).
struct Document {
  TextBuffer buffer;

  NameBuffer file_name{};
  NameBuffer open_name{};

  // What stood on disk under the name the text was last loaded from or saved to (or taken
  // without a file), so that a save can tell whether another program changed it since.
  DiskRecord disk;

  Undo undo;  // its two line copies are allocated with the session's work buffers
};

// The session: what lasts the whole run whatever document is loaded.
struct Session {
  // The keys, the grid limits, the view settings and the launch command, at their start values
  // until the settings file is read. The limits are fixed by the buffer's allocation.
  Settings settings;
  KeyNameTable key_names{};

  // Work buffers of lsize bytes each, allocated with the text buffer: the command line, the
  // answers kept between commands, and the clip, which outlives an opened document.
  LineBuffer command_input;
  LineBuffer insert_text;
  LineBuffer jump_string;
  LineBuffer clip;

  // The session's rescue file, once one was written, and how far it is behind.
  SessionRescue rescue;
  RescueLag rescue_lag;

  bool quit = false;         // set by a confirmed quit or the end of input
  bool input_ended = false;  // the input ended (a terminal's Ctrl-D, the end of a script)
  // The last command piece filled the command input without its newline: the rest of that
  // input line is read next, as text.
  bool line_goes_on = false;
  // The last save the user asked for failed, and nothing was saved or loaded since: the editor
  // then ends with status 1. (Whether the text has unsaved changes, the buffer knows.)
  bool save_failed = false;
  int exit_status = 0;  // the process's status once the loop ends
};

// The view: where the cursor stands in the document. (The page length and the number display
// are settings, kept with the session's.)
struct View {
  int32_t cursor_line = 0;
  int32_t cursor_pos = 0;
  bool line_lock = false;  // text entry leaves the cursor on its line
};

// The three owners, as the command loop holds them.
struct EditorState {
  Document doc;
  Session session;
  View view;

  // Allocates the text buffer with the session's limits, the four empty work buffers and the
  // undo copies of lsize bytes.
  // Returns false when any of them cannot be had.
  bool AllocateBuffers();
};

// The column every command acts at and the view shows: the cursor's byte column, or, where that
// falls inside a character of the cursor line, that character's first byte. The byte column
// itself is kept, so that lines the cursor moves to are met at the same column.
int32_t CursorColumn(const Document& doc, const View& view);

}  // namespace ostrel
