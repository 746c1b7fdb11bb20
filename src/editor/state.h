// The editor state: everything the command loop owns for the whole run and hands, by
// reference, to the procedures that need it.
#pragma once

#include <array>
#include <cstdint>

#include "buffer/memory.h"
#include "buffer/text_buffer.h"
#include "common/name.h"
#include "settings/keys.h"
#include "settings/settings.h"

namespace ostrel {

// The single pending undo.
struct UndoRecord {
  int32_t kind =
      0;  // 0 nothing; 1 line text; 2 opened line; 3 deleted line; 4 move; 5 copy; 6 wrap
  int32_t line = 0;    // kinds 1 to 3
  int32_t first = 0;   // kinds 4 to 6: the cursor line of the command
  int32_t second = 0;  // kinds 4 to 6: the other line
};

struct EditorState {
  // The keys, the grid limits, the view settings and the launch command, at their start values
  // until the settings file is read. The limits are fixed by the buffer's allocation.
  Settings settings;
  KeyNameTable key_names{};
  TextBuffer buffer;

  int32_t cursor_line = 0;
  int32_t cursor_pos = 0;
  int32_t line_lock = 0;

  NameBuffer file_name{};
  NameBuffer open_name{};

  // Work buffers of lsize bytes each, allocated with the text buffer.
  LineBuffer command_input;
  LineBuffer insert_text;
  LineBuffer jump_string;
  LineBuffer clip;
  LineBuffer undo_copy1;
  LineBuffer undo_copy2;

  UndoRecord undo;

  bool quit = false;  // set by a confirmed quit or the end of input
  // command_exec saves and then runs the launch command only when this is set; the in-process
  // fuzz harness clears it so that no input can reach the shell.
  bool run_launch_command = true;
  int exit_status = 0;  // the process's status once the loop ends

  // Allocates the text buffer with `limits` and the six empty work buffers of lsize bytes.
  // Returns false when any of them cannot be had.
  bool AllocateBuffers();
};

}  // namespace ostrel
