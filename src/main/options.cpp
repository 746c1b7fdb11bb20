#include "main/options.h"

#include <algorithm>
#include <cstring>

#include "editor/commands.h"

namespace ostrel {
namespace {

// Reads the decimal digits at `p` (at least one) into `value`, saturating at INT32_MAX, and
// returns the first character after them; nullptr when there is no digit.
const char* ReadCount(const char* p, int32_t& value) {
  if (*p < '0' || *p > '9') return nullptr;
  int64_t n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) n = std::min<int64_t>(n * 10 + (*p - '0'), INT32_MAX);
  value = static_cast<int32_t>(n);
  return p;
}

// "+", "+LINE" or "+LINE,COLUMN"; anything else is no start position.
std::optional<StartPosition> ParseStartPosition(const char* arg) {
  if (arg[0] != '+') return std::nullopt;
  StartPosition start;
  if (arg[1] == '\0') {
    start.last_text_line = true;
    return start;
  }
  const char* p = ReadCount(arg + 1, start.line);
  if (p != nullptr && *p == ',') p = ReadCount(p + 1, start.column);
  if (p == nullptr || *p != '\0') return std::nullopt;
  return start;
}

}  // namespace

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
      if (std::strcmp(arg, "--no-line-editing") == 0) {
        opts.line_editing = false;
        continue;
      }
      if (const auto start = ParseStartPosition(arg)) {
        opts.start = start;
        continue;
      }
      // A mistyped option is not taken for a file name: the file meant would go unedited.
      if (arg[0] == '-' && arg[1] != '\0') {
        if (opts.action == OptionAction::kEdit) {
          opts.action = OptionAction::kUnknownOption;
          opts.unknown = arg;
        }
        continue;
      }
    }
    if (opts.file == nullptr) opts.file = arg;
  }
  return opts;
}

std::string UnknownOptionText(const char* arg, OutputMode mode) {
  std::string text = "ostrel: unknown option '";
  if (mode == OutputMode::kVisible) {
    AppendVisible(text, arg);
  } else {
    text += arg;
  }
  return text + "'\nTry 'ostrel --help' for more information.\n";
}

std::string UsageText() {
  const std::string help(1, CommandAt(kHelp).default_key);
  const std::string quit(1, CommandAt(kQuit).default_key);
  const std::string save(1, CommandAt(kSaveOverwrite).default_key);
  const std::string save_as(1, CommandAt(kSavePrompt).default_key);
  return "Usage: ostrel [--no-line-editing] [+LINE[,COLUMN]] [FILE]\n"
         "       ostrel --help | --version\n"
         "\n"
         "Ostrel is a line-oriented text editor. It reads commands, answers and text from\n"
         "standard input one line at a time and prints plain lines on standard output.\n"
         "FILE is loaded when it exists and names the document for saving. Only the first\n"
         "FILE is edited; further names are ignored. An argument that starts with '-' must\n"
         "be one of the options below: 'ostrel -- -x' edits a file named -x.\n"
         "\n"
         "Options:\n"
         "  +LINE[,COLUMN]     start on that line (and column); + alone: the last line\n"
         "                     that holds text\n"
         "  --no-line-editing  read a terminal without line editing and history\n"
         "  --help             print this text and exit\n"
         "  --version          print the version and exit\n"
         "  --                 end the options: 'ostrel -- --help' edits a file named --help\n"
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
         save + " (or " + save_as + " to give a new name).\n" +
         "Any other ending (hangup, kill, Ctrl-D) writes unsaved text to FILE.save.\n";
}

std::string_view VersionText() {
#ifdef OSTREL_WITH_LIBEDIT
  return "ostrel " OSTREL_VERSION " (line editing: libedit)\n";
#else
  return "ostrel " OSTREL_VERSION " (line editing: not built in)\n";
#endif
}

}  // namespace ostrel
