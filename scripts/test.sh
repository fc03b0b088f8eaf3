#!/usr/bin/env bash
# Builds the plug-in, the stand-in host and every test program, then runs the
# tests under wine in a private Xvfb display, one program at a time.
# Usage: scripts/test.sh [ctest arguments...]   (e.g. -R hook)
# ROLLVIX_BUILD_DIR picks the build folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ROLLVIX_BUILD_DIR:-$root/build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

bash "$root/scripts/setup-debian.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

export WINEPREFIX="$build/wineprefix"
export LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8 WINEDEBUG=-all
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"

ROLLVIX_USE_XVFB=1
. "$root/scripts/xvfb-env.sh"
trap rollvix_stop_display EXIT
rollvix_start_display

ctest --test-dir "$build" --output-on-failure -j1 "$@"
