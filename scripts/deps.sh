#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Usage: scripts/deps.sh [test|run|fuzz]...
set -euo pipefail

# scdoc turns the manual pages' sources into troff at build time.
pkgs=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev libgl-dev libpng-dev zlib1g-dev libcli11-dev scdoc)
# test: the test command also runs the benchmarks once, which compare with ImageMagick and
# take peak memory from /usr/bin/time (package time).
for what in "$@"; do
  case "$what" in
    test) pkgs+=(clang libclang-rt-14-dev valgrind imagemagick python3-pil xvfb python3-xlib fonts-ipafont-gothic time) ;;
    run) pkgs+=(fonts-ipafont-gothic) ;;
    shot) pkgs+=(xvfb xauth x11-apps imagemagick xdotool fonts-ipafont-gothic) ;;
    fuzz) pkgs+=(clang libclang-rt-14-dev) ;;
  esac
done

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "vellum: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
