// The launch command: one shell command line held for the run, edited by a short dialogue and
// run through the platform's command interpreter.
#pragma once

#include "common/outcome.h"

namespace ostrel {

class Console;

// Shows the stored command and reads a new one into `command` (`size` bytes). An answer of at
// most 2 characters, its newline counted, keeps the stored command, as do the end of input and
// an answer longer than size-1 characters (refused with one line).
// kDone when `command` was replaced; kRefused when it was kept; kEnded at the end of input and
// kCancelled when a signal interrupted the question, the command kept then too.
Outcome SetCommand(char* command, int size, Console& con);

// Runs `command` through the command interpreter (RunShellCommand) after the output already
// printed, so the command's output follows it; the command reads on where the editor's input
// stands.
void Launch(const char* command, Console& con);

}  // namespace ostrel
