// The command-line options: --help, --version, --no-line-editing, +LINE[,COLUMN], and "--" to
// end them. Any other argument that starts with '-' (but "-" alone) is a usage error; every
// other argument is a file name, handed to the editor as it stands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "console/console.h"
#include "editor/start_position.h"

namespace ostrel {

enum class OptionAction { kEdit, kHelp, kVersion, kUnknownOption };

struct Options {
  OptionAction action = OptionAction::kEdit;
  bool line_editing = true;            // cleared by --no-line-editing
  std::optional<StartPosition> start;  // the last +LINE[,COLUMN] given
  // The first file-name argument, the document to edit; null when there is none. Any later
  // file-name arguments are not used.
  const char* file = nullptr;
  const char* unknown = nullptr;  // the argument that made the action kUnknownOption
};

// Reads the arguments. Up to a "--", "--help" and "--version" are options, "--no-line-editing"
// turns line editing off, "+", "+LINE" and "+LINE,COLUMN" (decimal digits) give the start
// position, and any other argument that starts with '-' but is not "-" alone is an unknown
// option; the first of --help, --version and an unknown option decides the action. Every other
// argument, "-" and "+x" included, is a file name.
Options ParseOptions(int argc, char** argv);

// The usage error for the unknown option `arg`, two lines for standard error; `arg` in caret
// form when `mode` is kVisible.
std::string UnknownOptionText(const char* arg, OutputMode mode);

// The text printed by --help, naming the default keys of help, quit and the saves.
std::string UsageText();

// The line printed by --version.
std::string_view VersionText();

}  // namespace ostrel
