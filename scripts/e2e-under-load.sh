#!/usr/bin/env bash
# Runs the window suite several times in a row beside busy processes, as CTest runs it, to show
# that it holds on a loaded machine. Prints one line a run and a summary.
# Usage: scripts/e2e-under-load.sh [-n RUNS] [-b BUSY] [BUILD_DIR]   (defaults: 5, 2, build)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=5 busy=2
while getopts "n:b:" opt; do
  case "$opt" in
    n) runs=$OPTARG ;;
    b) busy=$OPTARG ;;
    *) echo "usage: $0 [-n RUNS] [-b BUSY] [BUILD_DIR]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
build=${1:-build}
[ -f "$build/CTestTestfile.cmake" ] || { echo "$0: $build is not a configured build tree" >&2; exit 2; }

pids=()
stop_busy() { [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true; }
trap stop_busy EXIT
for _ in $(seq "$busy"); do
  # A process that wants a whole core, as a parallel build or test beside the suite does.
  sh -c 'while :; do :; done' &
  pids+=($!)
done

passed=0
logs=$(mktemp -d)
for i in $(seq "$runs"); do
  start=$(date +%s%N)
  if ctest --test-dir "$build" -R '^e2e\.window$' -V >"$logs/run$i.log" 2>&1; then
    result=passed; passed=$((passed + 1))
  else
    result=FAILED
  fi
  seconds=$(( ($(date +%s%N) - start) / 1000000000 ))
  failed=$(grep -c ': FAIL  ' "$logs/run$i.log" || true)
  dialogs=$(grep -o 'file dialogs: .*' "$logs/run$i.log" | tail -1)
  printf 'run %d: %s in %d s, %d cases failed, beside %d busy processes; %s\n' "$i" "$result" "$seconds" "$failed" "$busy" "$dialogs"
  [ "$result" = passed ] || grep -A1 ': FAIL  ' "$logs/run$i.log" | head -40
done
echo "$passed of $runs runs passed (logs in $logs)"
[ "$passed" -eq "$runs" ]
