// Reading a file whole and splitting text into lines, and what the tests that hold the
// documentation (the manual page, the README) to the code share: the check of a command table
// and the default settings file.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "editor/commands.h"
#include "settings/settings.h"

namespace ostrel::test {

// The whole text of the file at `path`, or nullopt when it cannot be read.
inline std::optional<std::string> FileText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return std::nullopt;
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// The whole text of the file at `path`, or "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  return FileText(path).value_or("");
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The lines of `text` that match `entry` (its first group a command's default key, its second
// the command's name) list exactly the commands of the editor, each once with its default key;
// `where` names the document in the messages.
inline void ExpectListsEveryCommand(const std::string& text, const std::regex& entry,
                                    const std::string& where) {
  std::map<std::string, std::string> documented;  // name -> key
  for (const auto& line : Lines(text)) {
    std::smatch m;
    if (!std::regex_match(line, m, entry)) continue;
    EXPECT_TRUE(documented.emplace(m[2], m[1]).second) << m[2] << " is listed twice";
  }
  for (const Command& command : kCommands) {
    SCOPED_TRACE(command.name);
    ASSERT_TRUE(documented.count(command.name)) << "command missing from " << where;
    EXPECT_EQ(documented[command.name], std::string(1, command.default_key));
  }
  EXPECT_EQ(documented.size(), kCommands.size()) << where << " lists commands that do not exist";
}

// The default settings file, as the editor writes it where there is none: taken from the code
// that writes it, so that it exists in one place.
inline std::string DefaultSettingsText() {
  KeyNameTable names{};
  Settings defaults;
  MakeKeys(names);
  SetDefaultValues(defaults.keys);
  return SettingsText(names, defaults);
}

}  // namespace ostrel::test
