#!/usr/bin/env bash
# Builds the plug-in, the stand-in host and every test program, then runs the
# tests under wine in a private Xvfb display, one program at a time.
# Usage: scripts/test.sh [ctest arguments...]   (e.g. -R hook)
# ROLLVIX_BUILD_DIR picks the build folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/xvfb-env.sh"
rollvix_build "$root"

rollvix_private_display

ctest --test-dir "$build" --output-on-failure -j1 "$@"
