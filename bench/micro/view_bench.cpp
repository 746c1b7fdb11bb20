// The view of a full window of full lines, numbered and marked.
#include <benchmark/benchmark.h>

#include "editor/view.h"
#include "support.h"

namespace ostrel::bench {
namespace {

void BM_Display(benchmark::State& state) {
  TextBuffer buffer;
  if (!buffer.Allocate(Limits{})) {
    state.SkipWithError("cannot allocate the grid");
    return;
  }
  FillGrid(buffer);
  NullConsole null;
  const bool numbers = state.range(0) != 0;
  for (auto _ : state) {
    Display(20000, 0, 7, buffer, numbers, "workload.txt", null.con);
    null.con.Flush();
  }
}
BENCHMARK(BM_Display)->Arg(1)->Arg(0);

}  // namespace
}  // namespace ostrel::bench
