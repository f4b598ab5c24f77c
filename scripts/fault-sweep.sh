#!/usr/bin/env bash
# The long run of the fault injection: every I/O call of a window's save, a single
# conversion, export, import and the batches failing in turn with every error, the batches
# swept REPEAT times (default 20), since their workers meet the calls in another order each run.
#   scripts/fault-sweep.sh [REPEAT] [BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
repeat=${1:-20}
build=${2:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
nice cmake --build "$build" -j2 --target test_faults_save test_faults_conv
"$build/tests/faults/test_faults_save"
VELLUM_FAULT_REPEAT=$repeat "$build/tests/faults/test_faults_conv"
