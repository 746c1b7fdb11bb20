#include "editor/shell.h"

#include <spawn.h>
#include <unistd.h>

#include <array>
#include <string>

#include "signals/signals.h"

extern char** environ;  // declared by unistd.h on some systems only

namespace ostrel {

void RunShellCommand(const char* command, bool keys_to_command) {
  const CommandSignals keys(keys_to_command);
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
