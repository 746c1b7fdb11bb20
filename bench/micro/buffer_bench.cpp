// Opening and deleting lines on a full default grid: both move table entries, not text.
#include <benchmark/benchmark.h>

#include "buffer/lines.h"
#include "support.h"

namespace ostrel::bench {
namespace {

void BM_WedgeDelete(benchmark::State& state) {
  TextBuffer buffer;
  if (!buffer.Allocate(Limits{})) {
    state.SkipWithError("cannot allocate the grid");
    return;
  }
  FillGrid(buffer);
  const auto line = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    Wedge(line, buffer);
    Delete(line, buffer);
    benchmark::DoNotOptimize(buffer.Slot(line));
  }
}
BENCHMARK(BM_WedgeDelete)->Arg(0)->Arg(16383)->Arg(32766);

void BM_Wedge(benchmark::State& state) {
  TextBuffer buffer;
  if (!buffer.Allocate(Limits{})) {
    state.SkipWithError("cannot allocate the grid");
    return;
  }
  FillGrid(buffer);
  for (auto _ : state) {
    Wedge(0, buffer);
    benchmark::DoNotOptimize(buffer.Slot(0));
  }
}
BENCHMARK(BM_Wedge);

}  // namespace
}  // namespace ostrel::bench
