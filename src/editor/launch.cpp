#include "editor/launch.h"

#include <cstring>
#include <vector>

#include "console/console.h"
#include "console/question.h"
#include "editor/shell.h"
#include "signals/signals.h"

namespace ostrel {

Outcome SetCommand(char* command, int size, Console& con) {
  if (command[0] != '\0') {
    con.Print("Command in memory = %s\n", Visible(command));
  } else {
    con.Line("There is no command in memory");
  }
  con.Line("Enter new command or [enter] to keep current one");
  std::vector<char> answer(static_cast<std::size_t>(size), '\0');
  bool cut = false;
  if (const Outcome answered = AskWhole(con, answer.data(), size, InputKind::kAnswer, &cut);
      answered != Outcome::kDone) {
    return answered;
  }
  // A cut shell command is a different command: a longer one is refused whole.
  if (cut) {
    con.Print("Command is longer than %d characters\n", size - 1);
    return Outcome::kRefused;
  }
  // Enter alone, or one character and Enter, keeps the stored command.
  if (std::strlen(answer.data()) <= 2) return Outcome::kRefused;
  std::strncpy(command, answer.data(), static_cast<std::size_t>(size));
  command[std::strcspn(command, "\n")] = '\0';
  return Outcome::kDone;
}

void Launch(const char* command, Console& con) {
  con.Flush();
  // Output that failed on the way, or a signal that came, ends the editor before anything
  // starts.
  if (PendingSignal() != 0 && PendingSignal() != SIGINT) return;
  // The command reads on where the editor's input stands.
  con.ReleaseInput();
  RunShellCommand(command, con.InputIsTerminal());
}

}  // namespace ostrel
