// Cutting the 8.4 MB text of a full grid into lines, and assembling the saved form of a full
// grid.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "buffer/memory.h"
#include "files/load.h"
#include "files/save.h"
#include "support.h"
#include "support/assembly.h"

namespace ostrel::bench {
namespace {

// The text of a full default grid: 32767 lines of 255 characters, each with its newline.
std::string FullText() {
  TextBuffer buffer;
  if (!buffer.Allocate(Limits{})) return {};
  FillGrid(buffer);
  return AssembleDocument(buffer);
}

void BM_MarkAndParseLines(benchmark::State& state) {
  const std::string text = FullText();
  TextBuffer buffer;
  if (text.empty() || !buffer.Allocate(Limits{})) {
    state.SkipWithError("cannot allocate the grid");
    return;
  }
  NullConsole null;
  for (auto _ : state) {
    buffer.ClearAll();
    benchmark::DoNotOptimize(ParseLines(text, text.size(), buffer, null.con));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_MarkAndParseLines)->Unit(benchmark::kMillisecond);

void BM_MarkLines(benchmark::State& state) {
  const std::string text = FullText();
  NullConsole null;
  std::vector<int32_t> positions;
  std::vector<int32_t> kinds;
  const Limits limits;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        MarkLines(text, text.size(), limits.lsize, limits.lines, positions, kinds, null.con));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_MarkLines)->Unit(benchmark::kMillisecond);

void BM_SaveAssembly(benchmark::State& state) {
  TextBuffer buffer;
  if (!buffer.Allocate(Limits{})) {
    state.SkipWithError("cannot allocate the grid");
    return;
  }
  FillGrid(buffer);
  std::size_t bytes = 0;
  for (auto _ : state) {
    // A new block each time, as every save takes one.
    const int32_t last = DocLength(buffer);
    PageBlock block;
    if (!block.Allocate(AssembledBound(buffer, last))) {
      state.SkipWithError("cannot allocate the output");
      return;
    }
    bytes = AssembleInto(buffer, last, block.data());
    benchmark::DoNotOptimize(block.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_SaveAssembly)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ostrel::bench
