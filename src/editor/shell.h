// Running one shell command line: the one place where the editor starts another program.
#pragma once

namespace ostrel {

// Runs `command` through the command interpreter (/bin/sh -c) and waits for it to end, or
// until a hangup or termination comes (then left noted for the caller, the command running on).
// The command starts with the signals the editor ignores or notes at their default actions and
// none blocked. With `keys_to_command` (the input is a terminal), Ctrl-C and Ctrl-\ are its
// alone while it runs; otherwise a SIGINT or SIGQUIT sent to the editor meanwhile acts once
// the command has ended. Its exit status is not used. (The fuzz targets link a stand-in that
// starts nothing, so that no input reaches the shell.)
void RunShellCommand(const char* command, bool keys_to_command);

}  // namespace ostrel
