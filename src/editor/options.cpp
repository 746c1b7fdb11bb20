#include "editor/options.h"

#include <cstring>

#include "settings/keys.h"

namespace ostrel {

Options ParseOptions(int argc, char** argv) {
  Options opts;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!options_ended) {
      if (std::strcmp(arg, "--") == 0) {
        options_ended = true;
        continue;
      }
      const bool help = std::strcmp(arg, "--help") == 0;
      const bool version = std::strcmp(arg, "--version") == 0;
      if (help || version) {
        if (opts.action == OptionAction::kEdit) {
          opts.action = help ? OptionAction::kHelp : OptionAction::kVersion;
        }
        continue;
      }
    }
    if (opts.file == nullptr) opts.file = arg;
  }
  return opts;
}

std::string UsageText() {
  const std::string help(1, kSlots[kHelp].default_key);
  const std::string quit(1, kSlots[kQuit].default_key);
  const std::string save(1, kSlots[kSaveOverwrite].default_key);
  const std::string save_as(1, kSlots[kSavePrompt].default_key);
  return "Usage: ostrel [FILE]\n"
         "       ostrel --help | --version\n"
         "\n"
         "Ostrel is a line-oriented text editor. It reads commands, answers and text from\n"
         "standard input one line at a time and prints plain lines on standard output.\n"
         "FILE is loaded when it exists and names the document for saving.\n"
         "\n"
         "Options:\n"
         "  --help     print this text and exit\n"
         "  --version  print the version and exit\n"
         "  --         end the options: 'ostrel -- --help' edits a file named --help\n"
         "\n"
         "A line that is exactly a command's key runs the command; any other line is\n"
         "written into the document at the cursor. The help command (key " +
         help +
         " by default)\n"
         "lists the commands and their keys; the manual page ostrel(1) describes them.\n"
         "Keys and limits come from the file .vazaru_da in the current directory, which\n"
         "is created with the defaults when it is missing.\n"
         "\n"
         "To leave, type " +
         quit +
         " (the quit key by default), then q to confirm.\n"
         "Quitting does not save: save first with " +
         save + " (or " + save_as + " to give a new name).\n";
}

std::string_view VersionText() {
  return "ostrel " OSTREL_VERSION "\n";
}

}  // namespace ostrel
