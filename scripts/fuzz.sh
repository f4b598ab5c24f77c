#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers)
# and runs one of them.
# Usage: scripts/fuzz.sh TARGET SECONDS      e.g. scripts/fuzz.sh read_bmp 600
#        scripts/fuzz.sh --list
# The growing corpus lives in build-fuzz/corpus/TARGET; it starts from the seeds in
# build-fuzz/seeds and the kept corpus in fuzz/corpus/TARGET (which it never writes), and a
# crashing input lands in build-fuzz/findings/ (the run then exits non-zero).
# VELLUM_FUZZ_CORPUS=DIR uses DIR as the corpus instead; VELLUM_FUZZ_NOBUILD=1 skips the build;
# VELLUM_FUZZ_RUNS=N stops after N runs instead of SECONDS (0: no time limit).
# VELLUM_FUZZ_TIMEOUT=S makes a run of one input longer than S seconds a finding (default 10).
# VELLUM_FUZZ_MAX_LEN=N caps the inputs' length (default 131072).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${VELLUM_FUZZ_BUILD_DIR:-build-fuzz}
targets=(read_bmp read_tim read_bfnt256 read_bfnt convert_bmp convert_tim convert_bfnt raster whole_road
         export_tim export_bmp export_bfnt read_png import_png scan read_palette)

if [ "${1:-}" = "--list" ]; then
  printf '%s\n' "${targets[@]}"
  exit 0
fi
if [ $# -ne 2 ]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS (targets: ${targets[*]})" >&2
  exit 2
fi
target=${1#fuzz_}
seconds=$2

# clang's -Wconversion and -Wall also warn on sign changes and on hidden overloads,
# which gcc's (the project's yardstick) leave alone; these flags go after the project's
# own warning flags to take effect.
compile_rule="<CMAKE_CXX_COMPILER> <DEFINES> <INCLUDES> <FLAGS> -Wno-sign-conversion -Wno-overloaded-virtual -o <OBJECT> -c <SOURCE>"

if [ "${VELLUM_FUZZ_NOBUILD:-0}" != 1 ]; then
  scripts/deps.sh fuzz
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
    -DCMAKE_CXX_COMPILE_OBJECT="$compile_rule" \
    -DVELLUM_SANITIZE=ON -DVELLUM_BUILD_FUZZ=ON -DVELLUM_BUILD_TESTS=OFF -DVELLUM_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j2 --target "fuzz_$target" vellum_fuzz_seeds
fi

seeds=$build/seeds
[ -d "$seeds/scan" ] || "$build/fuzz/vellum_fuzz_seeds" "$seeds" >/dev/null
case "$target" in
  raster) seed_dirs=() ;;
  scan) seed_dirs=("$seeds/scan") ;;
  read_palette) seed_dirs=("$seeds/palette" "$seeds/bmp" "$seeds/tim" "$seeds/bfnt") ;;
  *png) seed_dirs=("$seeds/png") ;;
  *bmp) seed_dirs=("$seeds/bmp") ;;
  *tim) seed_dirs=("$seeds/tim") ;;
  *bfnt*) seed_dirs=("$seeds/bfnt") ;;
  *) seed_dirs=("$seeds/bmp" "$seeds/tim" "$seeds/bfnt") ;;
esac
[ -d "fuzz/corpus/$target" ] && seed_dirs+=("fuzz/corpus/$target")
corpus=${VELLUM_FUZZ_CORPUS:-$build/corpus/$target}
mkdir -p "$corpus" "$build/findings"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0}
# One worker: the machine's cores are shared. A timeout counts as a finding (a hang).
limit=(-max_total_time="$seconds")
[ -n "${VELLUM_FUZZ_RUNS:-}" ] && limit+=(-runs="$VELLUM_FUZZ_RUNS")
exec "$build/fuzz/fuzz_$target" "${limit[@]}" -timeout="${VELLUM_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 \
  -max_len="${VELLUM_FUZZ_MAX_LEN:-131072}" -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
  "$corpus" "${seed_dirs[@]}"
