#include "editor/loop.h"

#include <cstring>

#include "editor/commands.h"
#include "editor/undo.h"
#include "editor/view.h"
#include "settings/settings.h"

namespace ostrel {
namespace {

// One handler per slot, indexed by slot number.
constexpr std::array<Handler, kSlotCount> kHandlers = {
    PositionBack, PositionForw, PositionDown,  PositionUp,  PositionBeg, PositionEnd, PageBack,
    PageForw,     PageLength,   JumpLine,      JumpDoc,     LockTog,     GoToLine,    GoToPos,
    AnchorGo,     AnchorSet,    LineClear,     LineMove,    LineInsert,  LineDelete,  LineCopy,
    ClipCopy,     ClipCut,      ClipPaste,     ClipInsert,  NewInsert,   TrimEnd,     TrimWrap,
    UndoCommand,  SavePrompt,   SaveOverwrite, OpenCommand, HelpCommand, NumTog,      CommandExec,
    CommandEdit,  QuitCommand,
};

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
  if (!con.ReadLine(input, s.buffer.lsize())) {
    s.quit = true;  // end of input ends the editor as a confirmed quit does
    return;
  }
  if (std::strcmp(input, "\n") == 0 && s.cursor_line < s.buffer.lines() - 1) {
    ++s.cursor_line;
    return;
  }
  input[std::strcspn(input, "\n")] = '\0';
  const int slot = MatchSlot(input, s.settings.keys);
  if (slot >= 0) {
    kHandlers[static_cast<std::size_t>(slot)](s, con);
  } else {
    EnterText(s, con);
  }
}

void QuitCommand(EditorState& s, Console& con) {
  con.Line("Enter 'q' again to quit or anything else to continue");
  char* input = s.command_input.data();
  // The confirmation is always the letter q and its newline, whatever key quit has; end of
  // input here ends the editor too.
  if (!con.ReadLine(input, s.buffer.lsize()) || std::strcmp(input, "q\n") == 0) s.quit = true;
}

int Run(const char* file, Console& con) {
  EditorState s;
  if (StartUp(s, file, con)) {
    while (!s.quit) Cycle(s, con);
  }
  con.Flush();
  return s.exit_status;
}

}  // namespace ostrel
