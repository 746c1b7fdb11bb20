#include "editor/loop.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>

#include "console/signals.h"
#include "editor/commands.h"
#include "editor/undo.h"
#include "editor/view.h"
#include "files/save.h"
#include "settings/settings.h"

namespace ostrel {
namespace {

// One handler per slot, filled by slot name, with a count of how often each slot was named.
struct DispatchTable {
  std::array<Handler, kSlotCount> handlers{};
  std::array<int, kSlotCount> times_named{};
};

constexpr DispatchTable kDispatch = [] {
  DispatchTable table;
  const auto set = [&table](Slot slot, Handler handler) {
    table.handlers[slot] = handler;
    ++table.times_named[slot];
  };
  set(kPositionBack, PositionBack);
  set(kPositionForw, PositionForw);
  set(kPositionDown, PositionDown);
  set(kPositionUp, PositionUp);
  set(kPositionBeg, PositionBeg);
  set(kPositionEnd, PositionEnd);
  set(kPageBack, PageBack);
  set(kPageForw, PageForw);
  set(kPageLength, PageLength);
  set(kJumpLine, JumpLine);
  set(kJumpDoc, JumpDoc);
  set(kLockTog, LockTog);
  set(kGoToLine, GoToLine);
  set(kGoToPos, GoToPos);
  set(kAnchorGo, AnchorGo);
  set(kAnchorSet, AnchorSet);
  set(kLineClear, LineClear);
  set(kLineMove, LineMove);
  set(kLineInsert, LineInsert);
  set(kLineDelete, LineDelete);
  set(kLineCopy, LineCopy);
  set(kClipCopy, ClipCopy);
  set(kClipCut, ClipCut);
  set(kClipPaste, ClipPaste);
  set(kClipInsert, ClipInsert);
  set(kNewInsert, NewInsert);
  set(kTrimEnd, TrimEnd);
  set(kTrimWrap, TrimWrap);
  set(kUndo, UndoCommand);
  set(kSavePrompt, SavePrompt);
  set(kSaveOverwrite, SaveOverwrite);
  set(kOpen, OpenCommand);
  set(kHelp, HelpCommand);
  set(kNumTog, NumTog);
  set(kCommandExec, CommandExec);
  set(kCommandEdit, CommandEdit);
  set(kQuit, QuitCommand);
  return table;
}();
// A slot left out, or named twice, fails the build.
static_assert(std::ranges::all_of(kDispatch.times_named, [](int n) { return n == 1; }),
              "every slot needs exactly one handler");

// Acts on a signal noted since the last look, once the read it interrupted has taken its
// end-of-input path. Ctrl-C on a terminal cancels: that read's question is over and the editor
// goes on (at the command line it says how to quit). Every other signal ends the editor, by that
// signal, after the rescue file is written.
void ActOnSignal(EditorState& s, Console& con, bool at_command_line) {
  const int sig = TakeSignal();
  if (sig == 0) return;
  if (sig != SIGINT || !con.InputIsTerminal()) {
    if (s.buffer.Changed()) Rescue(s.file_name.data(), s.buffer, con);
    con.Flush();
    EndBySignal(sig);
  }
  if (!at_command_line) return;
  // The confirmation is the letter q whatever the quit key is.
  const char* key = s.settings.keys[kQuit].data();
  if (std::strcmp(key, "q") == 0) {
    con.Line("Interrupted: enter 'q' twice to quit");
  } else {
    con.Print("Interrupted: enter '%s' and then 'q' to quit\n", key);
  }
}

}  // namespace

bool StartUp(EditorState& s, const char* file, Console& con) {
  con.Line(kBanner);
  // The view settings, the names and the launch command start at the values the state is
  // made with; the key tables are filled here, in the editor's start-up order.
  MakeKeys(s.key_names);
  SetDefaultValues(s.settings.keys);
  ReadRC(s.key_names, s.settings, con);
  // A max_char line after anchor_position may have shrunk the slots under the anchor.
  if (s.settings.anchor_pos > s.settings.limits.lsize - 1)
    s.settings.anchor_pos = s.settings.limits.lsize - 1;
  con.Print("\nEnter '%s' for help or '%s' to quit\n", s.settings.keys[kHelp].data(),
            s.settings.keys[kQuit].data());

  if (!s.AllocateBuffers()) {
    const int64_t bytes = int64_t{s.settings.limits.lines} * int64_t{s.settings.limits.lsize};
    if (bytes >= (int64_t{1} << 31)) {
      con.Print("Text buffer of %d lines of %d bytes is too large (2147483648 bytes or more)\n",
                s.settings.limits.lines, s.settings.limits.lsize);
    } else {
      con.Print("Cannot allocate a text buffer of %lld bytes and its work buffers\n",
                static_cast<long long>(bytes));
    }
    s.exit_status = 1;
    return false;
  }
  // The cursor, the line lock and the undo record keep the start values the state is made with.
  return file == nullptr || StartUpOpen(s, file, con);
}

void EnterText(EditorState& s, Console& con) {
  char* input = s.command_input.data();
  char bang_text[2] = {'\0', '\0'};
  const char* text = input;
  if (input[0] == '!') {
    bang_text[0] = input[1];
    text = bang_text;
  }
  StoreUndo(s.cursor_line, s.undo.line, s.undo_copy1, s.buffer);
  Replace(s.cursor_line, s.cursor_pos, s.buffer.lines(), text, s.buffer, con);
  s.undo.kind = UndoKind::kLineText;
  if (s.cursor_line < s.buffer.lines() - 1 && !s.line_lock) ++s.cursor_line;
}

void Cycle(EditorState& s, Console& con) {
  Display(s.cursor_line, s.cursor_pos, s.settings.page_length - 1, s.buffer,
          s.settings.show_numbers, s.file_name.data(), con);
  con.FlushInput();
  char* input = s.command_input.data();
  if (!con.ReadLine(input, s.buffer.lsize(), InputKind::kCommand)) {
    if (con.Interrupted()) {
      ActOnSignal(s, con, true);
    } else {
      s.quit = true;  // end of input ends the editor as a confirmed quit does
    }
    return;
  }
  if (std::strcmp(input, "\n") == 0 && s.cursor_line < s.buffer.lines() - 1) {
    ++s.cursor_line;
    return;
  }
  input[std::strcspn(input, "\n")] = '\0';
  const int slot = MatchSlot(input, s.settings.keys);
  if (slot >= 0) {
    kDispatch.handlers[static_cast<std::size_t>(slot)](s, con);
    if (con.Interrupted()) ActOnSignal(s, con, false);
  } else {
    EnterText(s, con);
  }
}

void QuitCommand(EditorState& s, Console& con) {
  con.Line("Enter 'q' again to quit or anything else to continue");
  char* input = s.command_input.data();
  // The confirmation is always the letter q and its newline, whatever key quit has; end of
  // input here ends the editor too. An interrupt is the loop's to act on.
  if (con.ReadLine(input, s.buffer.lsize()) ? std::strcmp(input, "q\n") == 0 : !con.Interrupted()) {
    s.quit = true;
  }
}

int Run(const char* file, Console& con, const std::optional<StartPosition>& start) {
  EditorState s;
  if (StartUp(s, file, con)) {
    if (start) GoToStartPosition(s, *start);
    while (!s.quit) Cycle(s, con);
  }
  // A signal that came after the last read still ends the editor.
  ActOnSignal(s, con, false);
  if (s.exit_status == 0) {
    // The end of a terminal's input is no choice to drop the text: it is rescued, and the
    // status says that it did not reach its file.
    if (con.last_read() == ReadOutcome::kEnd && con.InputIsTerminal() && s.buffer.Changed()) {
      Rescue(s.file_name.data(), s.buffer, con);
      s.exit_status = 1;
    }
    if (s.save_failed) s.exit_status = 1;
  }
  con.Flush();
  return s.exit_status;
}

}  // namespace ostrel
