#!/usr/bin/env bash
# The long run of the kill test: a batch and a single conversion, each killed with SIGKILL
# at ROUNDS random moments (default 5000); every target must be old or new, byte for byte,
# and nothing may be left once the next run has finished.
#   scripts/crash-loop.sh [ROUNDS] [BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5000}
build=${2:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
nice cmake --build "$build" -j2 --target test_faults_crash
VELLUM_CRASH_ROUNDS=$rounds "$build/tests/faults/test_faults_crash"
