// The README's generated blocks and the runs they come from. The blocks sit between marker
// comments `<!-- NAME:begin -->` and `<!-- NAME:end -->`; readme_test.cpp compares them with a
// fresh run, and docs/example/regenerate_readme.cpp rewrites them from one.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e/harness.h"
#include "support/documents.h"

namespace ostrel::e2e {

inline const std::string kReadmePath = std::string(OSTREL_SOURCE_DIR) + "/README.md";
inline const std::string kExampleDir = std::string(OSTREL_SOURCE_DIR) + "/docs/example";
// The name the example session saves its document under (an answer in session.input).
inline const std::string kSavedName = "list.txt";

using test::Lines;
using test::ReadFile;

// A generated block as it stands between its markers: a fenced code block on lines of its own.
std::string Fenced(const std::string& body);

// The text between the markers of block `name`, or nothing when the markers are missing.
std::optional<std::string> Block(const std::string& text, const std::string& name);

// `text` with block `name` replaced by `body`; false when the markers are missing.
bool ReplaceBlock(std::string& text, const std::string& name, const std::string& body);

struct TypedRun {
  std::string transcript;  // standard output, each typed line placed where it was read
  std::string err;
  int status = -1;
  bool timed_out = false;
};

// Runs the editor in `box` and types `lines` one at a time, as a user at a terminal would: a
// line is written only when the editor has taken everything typed so far and sleeps, waiting
// for more. Standard output and standard error go to regular files, so reading standard input
// is the only place the editor can sleep; it flushes its output before every read, so at that
// moment the output file holds everything printed before the read, and the typed line is put
// into the transcript right there. Nothing depends on timing but the overall time limit.
TypedRun RunTyped(const Sandbox& box, const std::vector<std::string>& lines);

// The example session: docs/example/session.input typed at the editor with
// docs/example/.vazaru_da, in a sandbox of its own.
struct ExampleSession {
  std::string settings;            // the settings file given
  std::vector<std::string> input;  // the lines typed
  TypedRun run;
  std::string saved;           // the file the session saved
  std::string settings_after;  // the settings file after the run
};
ExampleSession RunExampleSession();

// The generated blocks of the example session: its settings, its transcript and the file it
// saved, each as (name, text between the markers).
std::vector<std::pair<std::string, std::string>> ExampleBlocks(const ExampleSession& session);

// The default settings file as the editor writes it at its first start, and the run that wrote
// it.
struct DefaultSettings {
  RunResult run;
  std::optional<std::string> file;
};
DefaultSettings RunDefaultSettings();

}  // namespace ostrel::e2e
