#include "editor/help.h"

#include "console/question.h"

#include <cstring>
#include <span>

#include "editor/commands.h"

namespace ostrel {
namespace {

// The lines above a page's entries.
constexpr const char* kNavigationTop[] = {"", "Navigation:", "----------", ""};
constexpr const char* kEditingTop[] = {"", "Editing:", "-------", ""};
constexpr const char* kFileTop[] = {
    "", "File:", "----", "", "Filenames can be entered as 1st run argument", ""};
// No title.
constexpr const char* kMoreTop[] = {
    "", "    '!' followed by a command letter enters the letter and not the command"};

// The answer buffer: at most 15 characters per answer; the rest of a longer line is read as
// the following answers.
constexpr int kAnswerSize = 16;

// The lines above the page, then the help line of each command of the page in the table's order
// (with the current key where the line has its %s), and an empty line.
void PrintPage(std::span<const char* const> top, HelpPage page, const KeyTable& keys,
               Console& con) {
  for (const char* line : top) con.Line(line);
  for (const Command& command : kCommands) {
    if (command.page != page) continue;
    if (command.gap == HelpGap::kBefore) con.Line("");
    const std::string_view help = command.help;
    const std::size_t key = help.find("%s");
    con.Write("    ");
    if (key == std::string_view::npos) {
      con.Write(help);
    } else {
      con.Write(help.substr(0, key));
      con.Text(keys[static_cast<std::size_t>(command.slot)].data());
      con.Write(help.substr(key + 2));
    }
    con.Write("\n");
  }
  con.Line("");
}

}  // namespace

Outcome Help(const KeyTable& keys, int32_t lsize, int32_t lines, Console& con) {
  con.Print("\nLimits:  Line length = %i     Total Lines = %i\n\n", lsize - 1, lines);
  char answer[kAnswerSize] = {};
  for (;;) {
    con.Line("'n'  Navigation Commands");
    con.Line("'e'  Editing Commands");
    con.Line("'f'  File Commands");
    con.Line("'m'  More Commands");
    con.Line("'x'  Exit Help");
    // The end of the input leaves the menu as x does.
    if (const Outcome answered = AskWhole(con, answer, kAnswerSize); answered != Outcome::kDone) {
      return answered == Outcome::kCancelled ? answered : Outcome::kDone;
    }
    answer[std::strcspn(answer, "\n")] = '\0';
    switch (answer[0]) {
      case 'n':
        PrintPage(kNavigationTop, HelpPage::kNavigation, keys, con);
        break;
      case 'e':
        PrintPage(kEditingTop, HelpPage::kEditing, keys, con);
        break;
      case 'f':
        PrintPage(kFileTop, HelpPage::kFile, keys, con);
        break;
      case 'm':
        PrintPage(kMoreTop, HelpPage::kMore, keys, con);
        break;
      case 'x':
        return Outcome::kDone;
      default:
        break;  // chooses nothing: the menu again
    }
  }
}

Outcome HelpCommand(Document& doc, Session& session, View&, Console& con) {
  return Help(session.settings.keys, doc.buffer.lsize(), doc.buffer.lines(), con);
}

}  // namespace ostrel
