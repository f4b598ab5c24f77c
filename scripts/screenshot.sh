#!/usr/bin/env bash
# Takes packaging/screenshot.png: starts the desktop program on a virtual X server, opens a sample the
# way a person would (Ctrl+O, the path typed into the file dialog, Enter), and grabs the window.
# Usage: scripts/screenshot.sh [sample-file]   (default: samples/font256.fnt)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "${1:-}" != "--inside-x" ]; then
  scripts/deps.sh shot
  build=${VELLUM_BUILD_DIR:-build}
  [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j2 --target vellum
  sample=$(realpath "${1:-samples/font256.fnt}")
  mkdir -p packaging
  exec xvfb-run -a -s "-screen 0 800x600x24" "$0" --inside-x "$root/$build/app/vellum" "$sample"
fi

program=$2
sample=$3
export LANG=${LANG:-C.UTF-8}
# A fresh profile, so the recent-file list in the picture is this run's only.
export XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT

"$program" &
pid=$!
stop() { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
trap 'stop; rm -rf "$XDG_CONFIG_HOME"' EXIT

# Without a window manager nothing hands out focus, so the script gives it to each window.
frame=$(xdotool search --sync --onlyvisible --name '^(Untitled - )?vellum' | head -n1)
xdotool windowmove "$frame" 40 30 windowfocus --sync "$frame"
sleep 1
xdotool key --window "$frame" ctrl+o
dialog=""
for _ in $(seq 50); do
  dialog=$(xdotool search --onlyvisible --name '.' 2>/dev/null | grep -vx "$frame" | tail -n1 || true)
  [ -n "$dialog" ] && break
  sleep 0.2
done
[ -n "$dialog" ] || { echo "screenshot: the file dialog did not open" >&2; exit 1; }
xdotool windowfocus --sync "$dialog"
sleep 0.5
xdotool type --delay 20 "$sample"
xdotool key Return
sleep 2
import -window "$frame" "$root/packaging/screenshot.png"
echo "screenshot: wrote packaging/screenshot.png from $(basename "$sample")"
