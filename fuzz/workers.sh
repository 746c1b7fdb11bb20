# Sourced by fuzz/run.sh and bench/run.sh: what both need to run a fuzz target the same way.

# fuzz_scratch_base DEFAULT: where the targets' scratch folders go. The targets write files and
# saving syncs them to the disk, so a memory file system, where syncing costs nothing, is taken
# where there is one; DEFAULT otherwise.
fuzz_scratch_base() {
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then echo /dev/shm; else echo "$1"; fi
}

# fuzz_workers COUNT LOGS RUNS COMMAND...: runs COUNT copies of the libFuzzer COMMAND at once on
# whatever corpus it names, the w-th writing to LOGS-w.log and, when RUNS is not 0, running its
# share of RUNS inputs. Once all have ended, fails when any failed, after the end of its log.
fuzz_workers() {
  local count=$1 logs=$2 runs=$3 w failed=0
  shift 3
  local pids=()
  for ((w = 0; w < count; ++w)); do
    local share=()
    [ "$runs" -eq 0 ] || share=(-runs=$((runs / count + (w < runs % count ? 1 : 0))))
    "$@" "${share[@]}" >"$logs-$w.log" 2>&1 &
    pids+=($!)
  done
  for ((w = 0; w < count; ++w)); do
    wait "${pids[$w]}" || { failed=1; tail -n 30 "$logs-$w.log" >&2; }
  done
  return "$failed"
}

# fuzz_executed LOGS COUNT: the inputs the COUNT workers of fuzz_workers ran, from their logs.
fuzz_executed() {
  local w
  for ((w = 0; w < $2; ++w)); do cat "$1-$w.log"; done |
    awk '/stat::number_of_executed_units/ { n += $2 } END { print n + 0 }'
}
