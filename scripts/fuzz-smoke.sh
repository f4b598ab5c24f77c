#!/usr/bin/env bash
# A short fuzz run for CI: every fuzz target for a few seconds over its seeds plus
# random input, about a minute in all. Any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${VELLUM_FUZZ_BUILD_DIR:-build-fuzz}
export VELLUM_FUZZ_BUILD_DIR=$build
scripts/deps.sh fuzz
# See scripts/fuzz.sh for the compile rule.
compile_rule="<CMAKE_CXX_COMPILER> <DEFINES> <INCLUDES> <FLAGS> -Wno-sign-conversion -Wno-overloaded-virtual -o <OBJECT> -c <SOURCE>"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
  -DCMAKE_CXX_COMPILE_OBJECT="$compile_rule" \
  -DVELLUM_SANITIZE=ON -DVELLUM_BUILD_FUZZ=ON -DVELLUM_BUILD_TESTS=OFF -DVELLUM_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_all

mapfile -t targets < <(scripts/fuzz.sh --list)
seconds=$(( 60 / ${#targets[@]} ))
[ "$seconds" -ge 3 ] || seconds=3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=()
for t in "${targets[@]}"; do
  mkdir -p "$scratch/$t"
  if VELLUM_FUZZ_NOBUILD=1 VELLUM_FUZZ_CORPUS="$scratch/$t" scripts/fuzz.sh "$t" "$seconds" \
      >"$scratch/$t.log" 2>&1; then
    echo "fuzz-smoke: $t: $(grep -o 'stat::number_of_executed_units: [0-9]*' "$scratch/$t.log" | grep -o '[0-9]*$') runs, no finding"
  else
    echo "fuzz-smoke: $t: FAILED" >&2
    tail -n 40 "$scratch/$t.log" >&2
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz-smoke: findings in ${failed[*]} (inputs in $build/findings/)" >&2
  exit 1
fi
