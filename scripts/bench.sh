#!/usr/bin/env bash
# Builds like scripts/test.sh and runs every benchmark program under wine in a
# private Xvfb display, one after the other, printing what each measured.
# ROLLVIX_BUILD_DIR picks the build folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ROLLVIX_BUILD_DIR:-$root/build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

bash "$root/scripts/setup-debian.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROLLVIX_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

export WINEPREFIX="$build/wineprefix"
export LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8 WINEDEBUG=-all
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"

ROLLVIX_USE_XVFB=1
. "$root/scripts/xvfb-env.sh"
trap rollvix_stop_display EXIT
rollvix_start_display

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores, $(wine --version)"
for program in "$build"/bench/*_bench.exe; do
  echo
  echo "== $(basename "$program" .exe)"
  # One program failing or running out of time leaves the others to run.
  (cd "$(dirname "$program")" && timeout 300 wine "$program") || echo "(ended with status $?)"
done
