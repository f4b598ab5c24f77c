#!/usr/bin/env bash
# Sets up, builds and starts the desktop program: only the program is built, not the tests
# and benchmarks (scripts/test.sh builds those).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target vellum
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "vellum: no display found (DISPLAY and WAYLAND_DISPLAY are unset)."
  echo "The desktop program needs one. Without a display use the converter, for example:"
  echo "  cmake --build build --target vellumconv && build/tools/vellumconv/vellumconv --help"
  exit 1
fi
exec build/app/vellum "$@"
