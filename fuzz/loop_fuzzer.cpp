// The whole editor in-process: start-up with a small grid and a small document, then command
// cycles over arbitrary standard input until the editor ends, with every invariant checked after
// start-up and after each cycle. Files are written only inside a scratch directory (a '/' in the
// input becomes '_', so every name the editor is given stays in it) and the launch command is
// never run: the fuzz build links a stand-in for the shell (no_shell.cpp) that starts nothing.
//
// Input layout: the first byte chooses the grid (lsize 3..18, lines 1..16); the rest is standard
// input.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "console/console.h"
#include "editor/loop.h"
#include "fuzz_support.h"

namespace {

using namespace ostrel;

// Each cycle reads at least one byte or ends the editor, so this bound only guards against a
// cycle that stops consuming input.
constexpr long kMaxCycles = 100000;

constexpr const char* kDocument = "ab\n\ncd ef\nlonger line here\n\tx\n";

int g_out = -1;

// The scratch directory and the home directory, made ready for each run.
std::unique_ptr<fuzz::Workspace> g_work;
std::unique_ptr<fuzz::Workspace> g_home;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string scratch = fuzz::EnterScratchDirectory();
  // The home directory is a folder beside the scratch directory, removed with it, so that the
  // search for rescue files and a rescue written there stay within the run's own files.
  const std::string home = scratch + "-home";
  mkdir(home.c_str(), 0700);
  setenv("HOME", home.c_str(), 1);
  g_work = std::make_unique<fuzz::Workspace>(scratch.c_str());
  g_home = std::make_unique<fuzz::Workspace>(home.c_str());
  g_out = fuzz::NullOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int32_t lsize = 3 + (data[0] & 15);  // a max_char of 1 is refused
  const int32_t lines = 1 + (data[0] >> 4);
  std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (char& c : input) {
    if (c == '/') c = '_';
  }

  // Every run starts from the same two files and nothing else, in both directories: a file a
  // run wrote (a rescue file in the home directory too) is no part of the next run's start.
  const std::string settings = "max_lines=" + std::to_string(lines) +
                               "\nmax_char=" + std::to_string(lsize - 1) +
                               "\nlines_per_page=3\nlaunch_command=true\n";
  g_work->Prepare({{".vazaru_da", settings}, {"doc.txt", kDocument}});
  g_home->Prepare({});

  // Standard input is a file in memory: read through the same calls as a file given as input.
  static fuzz::MemoryFile in;
  {
    Console con(in.Hold(input), g_out);
    EditorState s;
    if (StartUp(s, "doc.txt", con)) {
      fuzz::AbortOnBrokenInvariant(s, "after start-up", 0);
      long cycle = 0;
      while (!s.session.quit) {
        if (++cycle > kMaxCycles) {
          std::fprintf(stderr, "loop fuzzer: more than %ld cycles\n", kMaxCycles);
          std::abort();
        }
        Cycle(s, con);
        fuzz::AbortOnBrokenInvariant(s, "after cycle", cycle);
      }
    }
    con.Flush();
  }
  return 0;
}
