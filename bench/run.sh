#!/usr/bin/env bash
# Side-by-side benchmark of Ostrel and GNU ed on four workloads, and of Ostrel on huge grids
# beside the default grid.
#
#   bench/run.sh            (RUNS=n sets the runs per workload, default 7; start-up runs 3n)
#
# Builds a release binary with the bench preset, makes the inputs in a temporary directory, runs
# Ostrel and ed alternately on the same work, and prints per workload the median wall time, the
# peak resident memory and the ratio Ostrel/ed. Standard output of both goes to /dev/null; every
# saved file is compared with the expected result (cmp) and must have been written by the run,
# so a fast wrong answer fails the benchmark. Exit status: 0 when every result is right and
# every target holds, 1 on a wrong result, 2 when a target is missed.
#
# Workloads (Ostrel's input / ed's commands):
#   1. A full grid, 32,767 lines of 255 characters (8.4 MB), loaded from the command line and
#      saved under its name: S, quit / w, q. cp of the same file is the floor, and a copy synced
#      to disk (dd conv=fsync) the floor of a durable save, which ed's save is not.
#   2. 20,000 edits on lines spread over that file, each writing X over the line's first
#      character: g, the number, X / Ns/^./X/; then save.
#      2p. The same through a pipe (both editors), fed as they read.
#   3. 20,000 times: go to line 1, open a line, type a line of text: g, 1, w, the text /
#      1i, the text, .; then save. The document starts with 12,767 lines, so that the grid has
#      room for every opened line, both editors end with exactly 32,767 lines (nothing falls
#      off Ostrel's grid) and save the same file.
#   4. Start with the default settings and quit at once: q, q / q.
#   5. Huge grid: a 10-line document (lines of two characters) on grids of max_lines=8000000 and of max_lines=100000000
#      with max_char=2, each beside the default grid (no ed). Four runs, each timed whole:
#      start-up (q, q), load of the document (q, q), search with no match (J, a string that
#      does not occur, q, q) and save (S, q, q). Targets: each within 2x of the same run on the
#      default grid, and peak memory within the default grid's peak + 8 MB.
#   6. System calls per input line (strace -c -f, not timed): 15,000 lines of g, the number, X
#      on the full file, through a file and through a pipe. Lines that have arrived are answered
#      without a write each: the views go out in 64 KiB pieces and before each read of input.
#   7. Start-up on a two-line file and quit at once (q, q / q), 3n paired runs: the median CPU
#      time (user + system) of each, and the system calls of one run of each (strace -c -f).
#      Targets: CPU ratio <= 1.0, at most 150 system calls.
#   8. A large document: 108 MB in 700,000 lines of up to 399 characters, loaded and saved
#      (S, q, q / w, q) with max_lines=1000000 and max_char=400. Targets: peak memory at most
#      1.5x the document, time at most 0.1x ed's. A copy synced to disk is timed beside them.
#   9. The command-loop fuzzer's executions per second over FUZZ_SECONDS seconds (default 60;
#      0 leaves the row out), built with the fuzz-fast preset (clang, libFuzzer,
#      UndefinedBehaviorSanitizer alone) and run as fuzz/run.sh --long runs it: one worker per
#      core (FUZZ_WORKERS sets how many) on one corpus, from the seed corpus in fuzz/corpus/loop.
#      Target: at least 20,000 in all; each worker's own rate is printed beside it.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${RUNS:-7}
EDITS=20000   # scattered edits (workload 2) and opened lines (workload 3)
LINES=32767   # lines of the full file: the default number of line slots
WIDTH=255     # characters per line: the default longest line

# --- tools ------------------------------------------------------------------------------------
missing=()
command -v ed >/dev/null || missing+=(ed)
command -v strace >/dev/null || missing+=(strace)
[ -e /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y "${missing[@]}" >/dev/null ||
    { "${sudo_cmd[@]}" apt-get update >/dev/null && "${sudo_cmd[@]}" apt-get install -y "${missing[@]}" >/dev/null; }
fi

echo "Building the release binary (bench preset)"
(cd "$ROOT" && cmake --preset bench >/dev/null && cmake --build --preset bench >/dev/null)
OSTREL="$ROOT/build/bench/ostrel"
MEASURE="$ROOT/build/bench/bench/ostrel_measure"
ED=$(command -v ed)

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# --- inputs and expected results --------------------------------------------------------------
echo "Making the inputs in $WORK"
# full.txt: LINES lines of WIDTH characters, each starting with its number.
awk -v n="$LINES" -v w="$WIDTH" 'BEGIN {
  a = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
  s = a; while (length(s) < w + 62) s = s a
  for (i = 1; i <= n; i++) printf "%05d %s\n", i, substr(s, i % 62 + 1, w - 6)
}' >full.txt
FULL_BYTES=$(stat -c %s full.txt)

# Workload 2: edit k goes to line (k * 7919) mod LINES + 1 (all distinct) and writes X over its
# first character.
awk -v n="$EDITS" -v l="$LINES" 'BEGIN {
  for (k = 1; k <= n; k++) printf "g\n%d\nX\n", (k * 7919) % l + 1
  printf "S\nq\nq\n" }' >edits.ostrel
awk -v n="$EDITS" -v l="$LINES" 'BEGIN {
  for (k = 1; k <= n; k++) printf "%ds/^./X/\n", (k * 7919) % l + 1
  printf "w\nq\n" }' >edits.ed
awk -v n="$EDITS" -v l="$LINES" 'BEGIN { for (k = 1; k <= n; k++) hit[(k * 7919) % l + 1] = 1 }
  { if (NR in hit) print "X" substr($0, 2); else print }' full.txt >edits.expected

# Workload 3: the document starts with LINES-EDITS lines, so after EDITS opened lines it fills
# every slot exactly and both editors must save the same file.
head -n $((LINES - EDITS)) full.txt >top.txt
awk -v n="$EDITS" 'BEGIN {
  for (k = 1; k <= n; k++) printf "g\n1\nw\nopened line %d\n", k
  printf "S\nq\nq\n" }' >top.ostrel
awk -v n="$EDITS" 'BEGIN {
  for (k = 1; k <= n; k++) printf "1i\nopened line %d\n.\n", k
  printf "w\nq\n" }' >top.ed
{ awk -v n="$EDITS" 'BEGIN { for (k = n; k >= 1; k--) printf "opened line %d\n", k }'; cat top.txt; } >top.expected

# Workload 6: 5,000 times g, the number, X: 15,000 input lines, then the quit.
awk -v n=5000 -v l="$LINES" 'BEGIN {
  for (k = 1; k <= n; k++) printf "g\n%d\nX\n", (k * 7919) % l + 1
  printf "q\nq\n" }' >syscalls.ostrel

printf 'S\nq\nq\n' >save.ostrel
printf 'w\nq\n' >save.ed
printf 'q\nq\n' >quit.ostrel
printf 'q\n' >quit.ed
printf 'one\ntwo\n' >two.txt

# Workload 8: 700,000 lines of 1 to 308 characters (154 on average), 108 MB, in a directory of
# its own with the larger grid.
mkdir -p big
awk 'BEGIN {
  a = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 "
  s = a; while (length(s) < 400) s = s a
  for (i = 1; i <= 700000; i++) printf "%s\n", substr(s, i % 63 + 1, (i * 7919) % 307 + 1)
}' >big/doc.orig
BIG_BYTES=$(stat -c %s big/doc.orig)

# The settings file is written by the first start; every timed run reads the default one.
"$OSTREL" <quit.ostrel >/dev/null
[ -f .vazaru_da ] || { echo "Ostrel wrote no settings file" >&2; exit 1; }

# Workload 5: one directory per grid, each with its own settings file and the same document.
GRIDS=(default huge8m huge100m)
grid_label() {
  case $1 in
    default) echo "default 32767 x 256" ;;
    huge8m) echo "max_lines=8000000" ;;
    huge100m) echo "max_lines=100000000 max_char=2" ;;
  esac
}
# Lines of two characters, so that the grid of max_char=2 holds them unsplit.
awk 'BEGIN { for (i = 1; i <= 10; i++) printf "%02d\n", i }' >short.txt
# A string of two characters, the longest the grid of max_char=2 takes as one answer.
printf 'J\nzz\nq\nq\n' >search.ostrel
for g in "${GRIDS[@]}"; do
  mkdir -p "grid.$g"
  cp .vazaru_da "grid.$g/.vazaru_da"
done
cp .vazaru_da big/.vazaru_da
sed -i 's/^max_lines=.*/max_lines=1000000/; s/^max_char=.*/max_char=400/' big/.vazaru_da
sed -i 's/^max_lines=.*/max_lines=8000000/' grid.huge8m/.vazaru_da
sed -i 's/^max_lines=.*/max_lines=100000000/; s/^max_char=.*/max_char=2/' grid.huge100m/.vazaru_da

# --- running ----------------------------------------------------------------------------------
# run NAME INPUT [PROGRAM ARGS...]: one timed run, its "seconds KiB" appended to NAME.times.
# With PIPE=1 in its environment the input comes through a pipe.
run() {
  local name=$1 input=$2
  shift 2
  local result
  result=$("$MEASURE" ${PIPE:+--pipe} "$input" -- "$@")
  set -- $result
  if [ "$3" != 0 ]; then
    echo "$name: exit status $3" >&2
    exit 1
  fi
  echo "$1 $2" >>"$name.times"
  echo "$4" >>"$name.cpu"
}

# fresh SOURCE: doc.txt becomes a new copy of SOURCE with an old time stamp. A new file, not the
# last run's file emptied, so no run waits for the write-back of the previous one. The copy is
# still in the page cache when the editor empties it; a document long on disk costs both editors
# the freeing of its blocks on top (about 3 ms for 8.4 MB on ext4).
fresh() {
  rm -f doc.txt
  cp "$1" doc.txt
  touch -d @946684800 doc.txt
}

# check NAME EXPECTED: doc.txt must have been written by the run and equal EXPECTED.
check() {
  if [ "$(stat -c %Y doc.txt)" = 946684800 ]; then
    echo "$1: the document was not saved" >&2
    exit 1
  fi
  if ! cmp -s doc.txt "$2"; then
    echo "$1: the saved document differs from the expected result" >&2
    exit 1
  fi
}

rm -f ./*.times missed
# The inputs go to disk first, and one untimed round warms the caches, so that no timed run
# shares the machine with the write-back of the inputs.
sync
fresh full.txt; run warm save.ostrel "$OSTREL" doc.txt
fresh full.txt; run warm save.ed "$ED" doc.txt
echo "Running $RUNS runs per workload, Ostrel and ed alternately"
for ((r = 0; r < RUNS; r++)); do
  fresh full.txt; run w1.ostrel save.ostrel "$OSTREL" doc.txt; check "workload 1, Ostrel" full.txt
  fresh full.txt; run w1.ed save.ed "$ED" doc.txt; check "workload 1, ed" full.txt
  rm -f copy.txt; run w1.cp /dev/null cp full.txt copy.txt; cmp -s copy.txt full.txt
  rm -f copy.txt; run w1.synced /dev/null dd if=full.txt of=copy.txt bs=1M conv=fsync status=none

  fresh full.txt; run w2.ostrel edits.ostrel "$OSTREL" doc.txt; check "workload 2, Ostrel" edits.expected
  fresh full.txt; run w2.ed edits.ed "$ED" doc.txt; check "workload 2, ed" edits.expected
  fresh full.txt; PIPE=1 run w2p.ostrel edits.ostrel "$OSTREL" doc.txt
  check "workload 2p, Ostrel" edits.expected
  fresh full.txt; PIPE=1 run w2p.ed edits.ed "$ED" doc.txt; check "workload 2p, ed" edits.expected

  fresh top.txt; run w3.ostrel top.ostrel "$OSTREL" doc.txt; check "workload 3, Ostrel" top.expected
  fresh top.txt; run w3.ed top.ed "$ED" doc.txt; check "workload 3, ed" top.expected
done
for ((r = 0; r < 3 * RUNS; r++)); do
  run w4.ostrel quit.ostrel "$OSTREL"
  run w4.ed quit.ed "$ED"
  run w7.ostrel quit.ostrel "$OSTREL" two.txt
  run w7.ed quit.ed "$ED" two.txt
done
(
  cd big
  for ((r = 0; r < RUNS; r++)); do
    fresh doc.orig; run ../w8.ostrel ../save.ostrel "$OSTREL" doc.txt; check "workload 8, Ostrel" doc.orig
    fresh doc.orig; run ../w8.ed ../save.ed "$ED" doc.txt; check "workload 8, ed" doc.orig
    rm -f copy.txt; run ../w8.synced /dev/null dd if=doc.orig of=copy.txt bs=1M conv=fsync status=none
  done
  rm -f doc.txt copy.txt
)

# Workload 5: the grids alternate within each round, so that they share the machine's state.
for ((r = 0; r < 3 * RUNS; r++)); do
  for g in "${GRIDS[@]}"; do
    (
      cd "grid.$g"
      run "../w5.$g.start" ../quit.ostrel "$OSTREL"
      fresh ../short.txt; run "../w5.$g.load" ../quit.ostrel "$OSTREL" doc.txt
      fresh ../short.txt; run "../w5.$g.search" ../search.ostrel "$OSTREL" doc.txt
      fresh ../short.txt; run "../w5.$g.save" ../save.ostrel "$OSTREL" doc.txt
      check "workload 5, $(grid_label "$g")" ../short.txt
    )
  done
done

# --- report -----------------------------------------------------------------------------------
median_ms() { sort -g -k1,1 "$1.times" | awk '{ t[NR] = $1 } END { printf "%.1f", t[int((NR + 1) / 2)] * 1000 }'; }
peak_mb() { sort -g -k2,2 "$1.times" | awk 'END { printf "%.1f", $2 / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
holds() { awk -v v="$1" -v limit="$2" 'BEGIN { exit !(v <= limit) }'; }

verdict() {  # verdict VALUE LIMIT: "yes" when VALUE <= LIMIT, else "NO" and a note of it
  if holds "$1" "$2"; then echo yes; else echo NO; touch missed; fi
}

echo
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores;" \
  "$("$ED" --version | head -n1); $RUNS runs (start-up $((3 * RUNS)))"
printf '%-28s %10s %10s %8s %12s %12s  %s\n' workload "Ostrel ms" "ed ms" ratio "Ostrel MB" "ed MB" "target"
row() {  # row LABEL NAME TARGET_RATIO
  local o e q
  o=$(median_ms "$2.ostrel"); e=$(median_ms "$2.ed"); q=$(ratio "$o" "$e")
  printf '%-28s %10s %10s %8s %12s %12s  %s\n' "$1" "$o" "$e" "$q" "$(peak_mb "$2.ostrel")" \
    "$(peak_mb "$2.ed")" "ratio <= $3: $(verdict "$q" "$3")"
}
row "1 load + save 8.4 MB" w1 0.25
row "2 $EDITS scattered edits" w2 0.15
row "2p the same through a pipe" w2p 0.10
row "3 $EDITS opened lines" w3 0.45
row "4 start-up" w4 1.5
row "8 load + save 108 MB" w8 0.1

echo
echo "Workload 5, huge grid: a 10-line document; each run timed whole, $((3 * RUNS)) runs"
printf '%-32s %-10s %10s %11s %8s %10s %11s  %s\n' grid run ms "default ms" ratio MB "default MB" \
  "target (ratio <= 2, MB <= default + 8)"
for g in "${GRIDS[@]}"; do
  for op in start load search save; do
    o=$(median_ms "w5.$g.$op"); d=$(median_ms "w5.default.$op"); q=$(ratio "$o" "$d")
    m=$(peak_mb "w5.$g.$op"); dm=$(peak_mb "w5.default.$op")
    target="-"
    if [ "$g" != default ]; then
      target="$(verdict "$q" 2), $(verdict "$m" "$(awk -v d="$dm" 'BEGIN { print d + 8 }')")"
    fi
    printf '%-32s %-10s %10s %11s %8s %10s %11s  %s\n' "$(grid_label "$g")" "$op" "$o" "$d" "$q" \
      "$m" "$dm" "$target"
  done
done

# Workload 6: strace counts every system call of the editor (strace's own are not counted).
calls_per_line() {  # calls_per_line STRACE_OUTPUT INPUT
  awk -v lines="$(wc -l <"$2")" '$NF == "total" { printf "%.3f", $4 / lines }' "$1"
}
fresh full.txt; strace -c -f -o calls.file "$OSTREL" doc.txt <syscalls.ostrel >/dev/null
fresh full.txt; cat syscalls.ostrel | strace -c -f -o calls.pipe "$OSTREL" doc.txt >/dev/null
echo
echo "Workload 6, system calls per input line: $(wc -l <syscalls.ostrel) lines of g, N, X on" \
  "the ${LINES}-line file"
for how in file pipe; do
  c=$(calls_per_line "calls.$how" syscalls.ostrel)
  printf '  through a %-5s %6s  (target <= 1.2: %s)\n' "$how" "$c" "$(verdict "$c" 1.2)"
done

# Workload 7: start-up CPU time, paired runs, and system calls.
median_cpu_ms() { sort -g "$1.cpu" | awk '{ t[NR] = $1 } END { printf "%.2f", t[int((NR + 1) / 2)] * 1000 }'; }
strace -c -f -o calls.start.ostrel "$OSTREL" two.txt <quit.ostrel >/dev/null
strace -c -f -o calls.start.ed "$ED" two.txt <quit.ed >/dev/null
total_calls() { awk '$NF == "total" { print $4 }' "$1"; }
o=$(median_cpu_ms w7.ostrel); e=$(median_cpu_ms w7.ed); q=$(ratio "$o" "$e")
oc=$(total_calls calls.start.ostrel); ec=$(total_calls calls.start.ed)
echo
echo "Workload 7, start-up on a two-line file (q, q / q), $((3 * RUNS)) paired runs"
echo "  CPU time: Ostrel ${o} ms, ed ${e} ms, ratio ${q} (target <= 1.0: $(verdict "$q" 1.0))"
echo "  system calls: Ostrel ${oc}, ed ${ec} (target <= 150: $(verdict "$oc" 150))"

# Workload 8: peak memory against the document's size.
big_peak_kb=$(sort -g -k2,2 w8.ostrel.times | awk 'END { print $2 }')
big_ratio=$(awk -v k="$big_peak_kb" -v b="$BIG_BYTES" 'BEGIN { printf "%.2f", k * 1024 / b }')
echo
echo "Workload 8 peak memory: Ostrel ${big_peak_kb} KiB, ed $(sort -g -k2,2 w8.ed.times |
  awk 'END { print $2 }') KiB, for a ${BIG_BYTES}-byte document of 700000 lines:" \
  "${big_ratio}x the document (target <= 1.5: $(verdict "$big_ratio" 1.5))"

# Workload 9: the command-loop fuzzer.
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
if [ "$FUZZ_SECONDS" -gt 0 ]; then
  . "$ROOT/fuzz/workers.sh"
  (cd "$ROOT" && cmake --preset fuzz-fast >/dev/null &&
    cmake --build --preset fuzz-fast --target loop_fuzzer >/dev/null)
  # From the hand-written seeds alone, not what long runs kept beside them (named by libFuzzer
  # with 40 hex digits): those inputs are longer, and the rate would measure how far the kept
  # corpus has grown rather than the target.
  mkdir -p fuzz.corpus fuzz.seeds
  find "$ROOT/fuzz/corpus/loop" -maxdepth 1 -type f -regextype posix-extended \
    ! -regex '.*/[0-9a-f]{40}' -exec cp {} fuzz.seeds/ \;
  fuzz_scratch=$(mktemp -d "$(fuzz_scratch_base "$WORK")/ostrel-bench-fuzz-XXXXXX")
  fuzz_workers=${FUZZ_WORKERS:-$(nproc)}
  TMPDIR="$fuzz_scratch" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    fuzz_workers "$fuzz_workers" fuzz 0 "$ROOT/build/fuzz-fast/fuzz/loop_fuzzer" \
    -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 "$WORK/fuzz.corpus" "$WORK/fuzz.seeds" ||
    { echo "the loop fuzzer failed: see its logs in $WORK" >&2; exit 1; }
  rm -rf "$fuzz_scratch"
  runs=$(fuzz_executed fuzz "$fuzz_workers")
  per_second=$(awk -v n="$runs" -v s="$FUZZ_SECONDS" 'BEGIN { printf "%.0f", n / s }')
  per_worker=$(awk -v n="$runs" -v s="$FUZZ_SECONDS" -v w="$fuzz_workers" \
    'BEGIN { printf "%.0f", n / s / w }')
  echo
  echo "Workload 9, command-loop fuzzer: ${runs} executions in ${FUZZ_SECONDS} s on" \
    "${fuzz_workers} workers, ${per_second}/s (${per_worker}/s each)" \
    "(target >= 20000: $(verdict 20000 "$per_second"))"
fi

cp_ms=$(median_ms w1.cp)
cp_ratio=$(ratio "$(median_ms w1.ostrel)" "$cp_ms")
peak_kb=$(sort -g -k2,2 w1.ostrel.times | awk 'END { print $2 }')
limit_kb=$(awk -v b="$FULL_BYTES" 'BEGIN { printf "%d", (2.5 * b + 4 * 1048576) / 1024 }')
echo
echo "Workload 1 floor: cp ${cp_ms} ms; Ostrel/cp ${cp_ratio} (target <= 3: $(verdict "$cp_ratio" 3))"
# A save is durable: its text is synced to the disk before it takes the name (ed does not sync).
# A plain copy synced the same way is the floor of that, and its ratio to ed's time the lowest
# ratio a durable save can reach on this machine.
for w in w1 w8; do
  s=$(median_ms "$w.synced")
  echo "Workload ${w#w} durable floor: a copy synced to disk (dd conv=fsync) ${s} ms," \
    "$(ratio "$s" "$(median_ms "$w.ed")") of ed's time"
done
echo "Workload 1 peak memory: ${peak_kb} KiB for a ${FULL_BYTES}-byte file" \
  "(target <= ${limit_kb} KiB: $(verdict "$peak_kb" "$limit_kb"))"
echo "Every saved document matched its expected result."
[ ! -e missed ] || exit 2
