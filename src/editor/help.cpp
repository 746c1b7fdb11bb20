#include "editor/help.h"

#include <cstring>
#include <span>

#include "editor/commands.h"

namespace ostrel {
namespace {

// One line of a help page: fixed text, or the help line of a slot with its current key.
struct PageLine {
  const char* text;
  int slot;
};

constexpr PageLine Text(const char* text) {
  return {text, -1};
}
constexpr PageLine Entry(int slot) {
  return {nullptr, slot};
}

constexpr PageLine kNavigationPage[] = {
    Text(""),
    Text("Navigation:"),
    Text("----------"),
    Text(""),
    Entry(kPositionBack),
    Entry(kPositionForw),
    Text(""),
    Entry(kPositionDown),
    Entry(kPositionUp),
    Text(""),
    Entry(kPositionBeg),
    Entry(kPositionEnd),
    Text(""),
    Entry(kPageBack),
    Entry(kPageForw),
    Entry(kPageLength),
    Text(""),
    Entry(kJumpLine),
    Entry(kJumpDoc),
    Text(""),
    Entry(kLockTog),
    Text(""),
    Entry(kGoToLine),
    Entry(kGoToPos),
    Text(""),
    Entry(kAnchorGo),
    Entry(kAnchorSet),
    Text(""),
};

constexpr PageLine kEditingPage[] = {
    Text(""),          Text("Editing:"),  Text("-------"),    Text(""),
    Entry(kLineClear), Entry(kLineMove),  Entry(kLineInsert), Entry(kLineDelete),
    Entry(kLineCopy),  Text(""),          Entry(kClipCopy),   Entry(kClipCut),
    Text(""),          Entry(kClipPaste), Entry(kClipInsert), Entry(kNewInsert),
    Text(""),          Entry(kTrimEnd),   Entry(kTrimWrap),   Text(""),
    Entry(kUndo),      Text(""),
};

// The open command's help line always names 'O', whatever its key.
constexpr PageLine kFilePage[] = {
    Text(""),
    Text("File:"),
    Text("----"),
    Text(""),
    Text("Filenames can be entered as 1st run argument"),
    Text(""),
    Entry(kSavePrompt),
    Entry(kSaveOverwrite),
    Text(""),
    Entry(kOpen),
    Text(""),
};

// No title; num_tog comes before help.
constexpr PageLine kMorePage[] = {
    Text(""),
    Text("    '!' followed by a command letter enters the letter and not the command"),
    Entry(kNumTog),
    Entry(kHelp),
    Entry(kCommandExec),
    Entry(kCommandEdit),
    Entry(kQuit),
    Text(""),
};

// The answer buffer: at most 15 characters per answer; the rest of a longer line is read as
// the following answers.
constexpr int kAnswerSize = 16;

void PrintPage(std::span<const PageLine> page, const KeyTable& keys, Console& con) {
  for (const PageLine& line : page) {
    if (line.slot < 0) {
      con.Line(line.text);
    } else {
      const auto k = static_cast<std::size_t>(line.slot);
      // The help line's one %s is the key, from the settings file; a line without one is
      // shown as it is.
      const std::string_view help = kSlots[k].help_line;
      const std::size_t key = help.find("%s");
      if (key == std::string_view::npos) {
        con.Write(help);
        continue;
      }
      con.Write(help.substr(0, key));
      con.Text(keys[k].data());
      con.Write(help.substr(key + 2));
    }
  }
}

}  // namespace

void Help(const KeyTable& keys, int32_t lsize, int32_t lines, Console& con) {
  con.Print("\nLimits:  Line length = %i     Total Lines = %i\n\n", lsize - 1, lines);
  char answer[kAnswerSize] = {};
  for (;;) {
    con.Line("'n'  Navigation Commands");
    con.Line("'e'  Editing Commands");
    con.Line("'f'  File Commands");
    con.Line("'m'  More Commands");
    con.Line("'x'  Exit Help");
    // The end of the input leaves the menu as x does.
    if (!con.ReadWhole(answer, kAnswerSize)) return;
    answer[std::strcspn(answer, "\n")] = '\0';
    switch (answer[0]) {
      case 'n':
        PrintPage(kNavigationPage, keys, con);
        break;
      case 'e':
        PrintPage(kEditingPage, keys, con);
        break;
      case 'f':
        PrintPage(kFilePage, keys, con);
        break;
      case 'm':
        PrintPage(kMorePage, keys, con);
        break;
      case 'x':
        return;
      default:
        break;  // chooses nothing: the menu again
    }
  }
}

void HelpCommand(EditorState& s, Console& con) {
  Help(s.settings.keys, s.buffer.lsize(), s.buffer.lines(), con);
}

}  // namespace ostrel
