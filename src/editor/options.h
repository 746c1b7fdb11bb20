// The command-line options: --help and --version, and "--" to end them. Every other argument
// is a file name, handed to the editor as it stands.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

enum class OptionAction { kEdit, kHelp, kVersion };

struct Options {
  OptionAction action = OptionAction::kEdit;
  // The first file-name argument, the document to edit; null when there is none. Any later
  // file-name arguments are not used.
  const char* file = nullptr;
};

// Reads the arguments. Up to a "--", "--help" and "--version" are options (the first one
// given decides); every other argument, "-x" and "-" included, is a file name.
Options ParseOptions(int argc, char** argv);

// The text printed by --help, naming the default keys of help, quit and the saves.
std::string UsageText();

// The line printed by --version.
std::string_view VersionText();

}  // namespace ostrel
