// The editor state: everything the command loop owns for the whole run and hands, by
// reference, to the procedures that need it.
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

struct EditorState {
  // The keys, the grid limits, the view settings and the launch command, at their start values
  // until the settings file is read. The limits are fixed by the buffer's allocation.
  Settings settings;
  KeyNameTable key_names{};
  TextBuffer buffer;

  int32_t cursor_line = 0;
  int32_t cursor_pos = 0;
  bool line_lock = false;  // text entry leaves the cursor on its line

  NameBuffer file_name{};
  NameBuffer open_name{};

  // Work buffers of lsize bytes each, allocated with the text buffer.
  LineBuffer command_input;
  LineBuffer insert_text;
  LineBuffer jump_string;
  LineBuffer clip;

  Undo undo;  // its two line copies are allocated with the work buffers

  // The session's rescue file, once one was written, and how far it is behind.
  SessionRescue rescue;
  // What stood on disk under the name the text was last loaded from or saved to (or taken
  // without a file), so that a save can tell whether another program changed it since.
  DiskRecord disk;
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

  // Allocates the text buffer with `limits`, the four empty work buffers and the undo copies of
  // lsize bytes.
  // Returns false when any of them cannot be had.
  bool AllocateBuffers();
};

// The column every command acts at and the view shows: the cursor's byte column, or, where that
// falls inside a character of the cursor line, that character's first byte. The byte column
// itself is kept, so that lines the cursor moves to are met at the same column.
int32_t CursorColumn(const EditorState& s);

}  // namespace ostrel
