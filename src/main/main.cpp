#include <unistd.h>

#include <cstdio>
#include <string>

#include "console/console.h"
#include "console/line_editor.h"
#include "editor/loop.h"
#include "main/options.h"
#include "signals/signals.h"

int main(int argc, char** argv) {
  ostrel::Options opts = ostrel::ParseOptions(argc, argv);
  if (opts.action == ostrel::OptionAction::kUnknownOption) {
    // The one thing the editor writes to standard error: nothing else runs.
    const std::string text =
        ostrel::UnknownOptionText(opts.unknown, ostrel::OutputModeOf(STDERR_FILENO));
    (void)std::fputs(text.c_str(), stderr);
    return 2;
  }
  ostrel::Console con(STDIN_FILENO, STDOUT_FILENO);
  if (opts.action != ostrel::OptionAction::kEdit) {
    if (opts.action == ostrel::OptionAction::kHelp) {
      con.Write(ostrel::UsageText());
    } else {
      con.Write(ostrel::VersionText());
    }
    // Output that could not be written (a full disk, a closed pipe) fails the run.
    return con.Flush() ? 0 : 1;
  }
  con.SetPipeSignalIgnored(ostrel::InstallSignalHandlers().pipe_ignored);
  // Line editing is chosen once: on a terminal, unless turned off.
  if (opts.line_editing) con.UseLineEditor(ostrel::LineEditor::Open(stdin, stdout));
  return ostrel::Run(opts.file, con, opts.start);
}
