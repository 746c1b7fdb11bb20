// Rewrites the generated blocks of README.md (the example session, its settings and saved file,
// and the default settings file) from fresh runs of the built editor, the same runs the README
// tests compare the blocks with. docs/example/regenerate.sh builds and runs it.
#include <cstdio>
#include <fstream>
#include <string>

#include "e2e/readme_session.h"

int main() {
  using namespace ostrel::e2e;
  const ExampleSession session = RunExampleSession();
  if (session.run.timed_out || session.run.status != 0 || !session.run.err.empty() ||
      session.saved.empty()) {
    std::fprintf(stderr, "regenerate_readme: the example session failed (status %d)\n%s",
                 session.run.status, session.run.err.c_str());
    return 1;
  }
  const DefaultSettings defaults = RunDefaultSettings();
  if (defaults.run.status != 0 || !defaults.file) {
    std::fprintf(stderr, "regenerate_readme: no default settings file was written\n");
    return 1;
  }
  auto blocks = ExampleBlocks(session);
  blocks.emplace_back("default-settings", Fenced(*defaults.file));

  std::string readme = ReadFile(kReadmePath);
  for (const auto& [name, text] : blocks) {
    if (!ReplaceBlock(readme, name, text)) {
      std::fprintf(stderr, "regenerate_readme: README.md lacks the markers of block %s\n",
                   name.c_str());
      return 1;
    }
  }
  std::ofstream(kReadmePath, std::ios::binary | std::ios::trunc) << readme;
  return 0;
}
