#!/usr/bin/env bash
# The long fuzz run, not part of CI: every target (or those named) for RUNS executions each,
# several at once, with the same build and sanitizers as scripts/fuzz.sh. Each target starts
# from its kept corpus in fuzz/corpus/TARGET and the seeds; once its run ends without a
# finding, what it found is merged into fuzz/corpus/TARGET (minimised: only inputs that add
# coverage are kept), and its figures are added to build-fuzz/long/figures.tsv:
#   TARGET<TAB>EXECUTIONS<TAB>SECONDS<TAB>FINDINGS<TAB>CORPUS FILES<TAB>MAX LENGTH
# Usage: scripts/fuzz-long.sh [-n RUNS] [-p PARALLEL] [-l MAX_LEN] [-t SECONDS] [TARGET...]
#        (default: 10000000 runs, one target per processor, inputs of up to 131072 bytes,
#        no time limit, every target)
# -t stops each target after SECONDS even short of RUNS: a part of a run, kept and merged
# like a whole one, that the next part continues from the corpus; its line in figures.tsv
# shows the executions it reached.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=10000000
parallel=$(nproc)
max_len=131072
seconds=0
while getopts n:p:l:t: opt; do
  case $opt in
    n) runs=$OPTARG ;;
    p) parallel=$OPTARG ;;
    l) max_len=$OPTARG ;;
    t) seconds=$OPTARG ;;
    *) echo "usage: scripts/fuzz-long.sh [-n RUNS] [-p PARALLEL] [-l MAX_LEN] [-t SECONDS] [TARGET...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -gt 0 ]; then targets=("$@"); else mapfile -t targets < <(scripts/fuzz.sh --list); fi

build=${VELLUM_FUZZ_BUILD_DIR:-build-fuzz}
export VELLUM_FUZZ_BUILD_DIR=$build
# Builds every target once; the runs below skip the build.
scripts/fuzz.sh "${targets[0]}" 1 >/dev/null 2>&1 || { echo "fuzz-long: the build failed" >&2; exit 1; }
cmake --build "$build" -j"$(nproc)" --target fuzz_all >/dev/null
long=$build/long
mkdir -p "$long"
# A hang is still a finding, but a machine busy with other work must not make one of an
# input that takes a fraction of a second: the timer is the wall clock.
export VELLUM_FUZZ_TIMEOUT=${VELLUM_FUZZ_TIMEOUT:-60}
export VELLUM_FUZZ_MAX_LEN=$max_len
# The whole-road harness saves files: on a memory file system a save's sync costs nothing.
[ -w /dev/shm ] && export TMPDIR=/dev/shm

run_one() {
  local t=$1 work=$long/$1 start end execs found
  rm -rf "$work" "$work.merged"
  mkdir -p "$work" "$work.merged" "fuzz/corpus/$t"
  start=$(date +%s)
  if VELLUM_FUZZ_NOBUILD=1 VELLUM_FUZZ_RUNS=$runs VELLUM_FUZZ_CORPUS=$work scripts/fuzz.sh "$t" "$seconds" \
      >"$long/$t.log" 2>&1; then
    found=0
  else
    found=1
  fi
  end=$(date +%s)
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$long/$t.log" | grep -o '[0-9]*$' || echo 0)
  if [ "$found" = 0 ]; then
    "$build/fuzz/fuzz_$t" -merge=1 -max_len=131072 -timeout="$VELLUM_FUZZ_TIMEOUT" -rss_limit_mb=2048 \
      "$work.merged" "fuzz/corpus/$t" "$work" >>"$long/$t.log" 2>&1
    rm -rf "fuzz/corpus/$t"
    mv "$work.merged" "fuzz/corpus/$t"
    rm -rf "$work"
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$t" "$execs" "$((end - start))" "$found" \
    "$(find "fuzz/corpus/$t" -type f | wc -l)" "$max_len" | tee -a "$long/figures.tsv"
  [ "$found" = 0 ] || echo "fuzz-long: $t: a finding, in $build/findings/ (log: $long/$t.log)" >&2
  return "$found"
}

failed=0
running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
