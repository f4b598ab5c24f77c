#!/usr/bin/env bash
# Sets up, builds and runs every test: once in the release build, once under the
# address and undefined-behaviour sanitizers. Headless: Qt runs on its offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVELLUM_SANITIZE=ON -DVELLUM_BUILD_BENCH=OFF
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

if [ -x scripts/fuzz-smoke.sh ]; then
  scripts/fuzz-smoke.sh
fi
