#include "editor/launch.h"

#include <spawn.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/console.h"
#include "signals/signals.h"

namespace ostrel {

char* SetCommand(char* command, int size, Console& con) {
  if (command[0] != '\0') {
    con.Print("Command in memory = %s\n", Visible(command));
  } else {
    con.Line("There is no command in memory");
  }
  con.Line("Enter new command or [enter] to keep current one");
  std::vector<char> answer(static_cast<std::size_t>(size), '\0');
  bool cut = false;
  if (!con.ReadWhole(answer.data(), size, InputKind::kAnswer, &cut)) return nullptr;
  // A cut shell command is a different command: a longer one is refused whole.
  if (cut) {
    con.Print("Command is longer than %d characters\n", size - 1);
    return nullptr;
  }
  // Enter alone, or one character and Enter, keeps the stored command.
  if (std::strlen(answer.data()) <= 2) return nullptr;
  std::strncpy(command, answer.data(), static_cast<std::size_t>(size));
  command[std::strcspn(command, "\n")] = '\0';
  return command;
}

void Launch(const char* command, Console& con) {
  con.Flush();
  // The command reads on where the editor's input stands.
  con.ReleaseInput();
  // The command starts as any program would: the signals the editor ignores or notes at their
  // default actions, none blocked. Meanwhile Ctrl-C and Ctrl-\ are the command's alone.
  const CommandSignals keys_to_command;
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return;
  const sigset_t defaults = CommandDefaults();
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  std::string name = "sh";
  std::string option = "-c";
  std::string line = command;
  std::array<char*, 4> argv = {name.data(), option.data(), line.data(), nullptr};
  pid_t pid = -1;
  const int failure = posix_spawn(&pid, "/bin/sh", nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  // The command's own exit status is its business: whatever it reports, it has printed. A
  // hangup or termination while it runs is acted on at once; the command is left to finish.
  if (failure == 0) (void)WaitForChild(pid);
}

}  // namespace ostrel
