#!/usr/bin/env bash
# Builds the fuzz preset (AddressSanitizer and UndefinedBehaviorSanitizer) and runs each fuzz
# target for SECONDS seconds (default 60), one after the other. New inputs go to
# build/fuzz/corpus/<target> (the seed corpus in fuzz/corpus stays as it is); a crash, leak, hang
# or broken invariant leaves its input in build/fuzz/artifacts and makes the script exit non-zero.
# With --long, each target runs to 10 million inputs instead, built with the fuzz-fast preset
# (UndefinedBehaviorSanitizer alone, a few times faster), into build/fuzz-fast/corpus/<target>,
# shared by one worker process per core (FUZZ_WORKERS sets how many), each running its share of
# the inputs and taking up what the others keep (FUZZ_RUNS sets another number of inputs);
# the inputs that reach something the seed corpus in fuzz/corpus does not are merged into it
# (libFuzzer's -merge=1: the seeds stay, and of the new inputs only a smallest set that adds
# coverage joins them), to be kept, and then every input of that corpus is run once more under the
# fuzz preset's build, so that what is kept has also been checked for memory errors and leaks.
#   bash fuzz/run.sh [SECONDS] [TARGET...]
#   bash fuzz/run.sh --long [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. fuzz/workers.sh
long=0
if [ "${1:-}" = "--long" ]; then
  long=1
  shift
  seconds=0
else
  seconds=${1:-60}
  shift || true
fi
targets=("$@")

# clang and its fuzzer runtime come from Debian's packages.
if ! command -v clang++ >/dev/null 2>&1 ||
  ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q clang libclang-rt-14-dev
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
checked="$root/build/fuzz"
work=$checked
if [ "$long" -eq 1 ]; then
  cmake --preset fuzz-fast >/dev/null
  cmake --build --preset fuzz-fast
  work="$root/build/fuzz-fast"
fi
if [ ${#targets[@]} -eq 0 ]; then
  for binary in "$work"/fuzz/*_fuzzer; do
    name=$(basename "$binary")
    targets+=("${name%_fuzzer}")
  done
fi
mkdir -p "$work/artifacts" "$checked/artifacts"
scratch_base=$(fuzz_scratch_base "${TMPDIR:-/tmp}")
scratch=$(mktemp -d "$scratch_base/ostrel-fuzz-run-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Runs the target $name of the build in $1 with the options every run has and the ones given.
# Absolute paths throughout: the targets change their working directory.
run() {
  local build=$1
  shift
  TMPDIR="$scratch" \
    ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$build/fuzz/${name}_fuzzer" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -artifact_prefix="$build/artifacts/$name-" "$@"
}

for name in "${targets[@]}"; do
  binary="$work/fuzz/${name}_fuzzer"
  [ -x "$binary" ] || { echo "no fuzz target $name" >&2; exit 2; }
  mkdir -p "$work/corpus/$name" "$root/fuzz/corpus/$name"
  # New inputs go to the first corpus given, the build's.
  if [ "$long" -eq 0 ]; then
    echo "== $name: $seconds s"
    run "$work" -max_total_time="$seconds" -print_final_stats=1 "$work/corpus/$name" \
      "$root/fuzz/corpus/$name"
  else
    workers=${FUZZ_WORKERS:-$(nproc)}
    total=${FUZZ_RUNS:-10000000}
    echo "== $name: $total inputs on $workers workers"
    fuzz_workers "$workers" "$work/$name" "$total" run "$work" -print_final_stats=1 \
      "$work/corpus/$name" "$root/fuzz/corpus/$name" ||
      { echo "== $name: a worker failed (logs in $work)" >&2; exit 1; }
    echo "== executed: $(fuzz_executed "$work/$name" "$workers") inputs on $workers workers"
    echo "== $name: merging what the run found into fuzz/corpus/$name"
    run "$work" -merge=1 "$root/fuzz/corpus/$name" "$work/corpus/$name"
    echo "== $name: every input of fuzz/corpus/$name under the fuzz preset's sanitizers"
    run "$checked" -runs=0 "$root/fuzz/corpus/$name"
  fi
done
echo "fuzzing passed: ${targets[*]}"
