// The command-line options: --help, --version, --no-line-editing, +LINE[,COLUMN], and "--" to
// end them. Every other argument is a file name, handed to the editor as it stands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "editor/start_position.h"

namespace ostrel {

enum class OptionAction { kEdit, kHelp, kVersion };

struct Options {
  OptionAction action = OptionAction::kEdit;
  bool line_editing = true;            // cleared by --no-line-editing
  std::optional<StartPosition> start;  // the last +LINE[,COLUMN] given
  // The first file-name argument, the document to edit; null when there is none. Any later
  // file-name arguments are not used.
  const char* file = nullptr;
};

// Reads the arguments. Up to a "--", "--help" and "--version" are options (the first one
// given decides), "--no-line-editing" turns line editing off, and "+", "+LINE" and
// "+LINE,COLUMN" (decimal digits) give the start position; every other argument, "-x", "-"
// and "+x" included, is a file name.
Options ParseOptions(int argc, char** argv);

// The text printed by --help, naming the default keys of help, quit and the saves.
std::string UsageText();

// The line printed by --version.
std::string_view VersionText();

}  // namespace ostrel
