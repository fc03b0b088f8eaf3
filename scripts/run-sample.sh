#!/usr/bin/env bash
# Builds rollvix.dll and the sample host, then opens the sample host with the
# plug-in loaded. With a display (DISPLAY set) it runs interactively; without
# one it starts Xvfb, runs the host's scripted mode and reports what happened.
# Usage: scripts/run-sample.sh [--script]   (force the scripted mode)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/xvfb-env.sh"
rollvix_build "$root" --target samplehost

exe="$build/host/samplehost.exe"
out="$build/sample-output"
mkdir -p "$out"

scripted=0
if [ "${1:-}" = "--script" ] || [ -z "${DISPLAY:-}" ]; then scripted=1; fi

trap rollvix_stop_display EXIT
if [ "$scripted" = 1 ]; then ROLLVIX_USE_XVFB=1; fi
rollvix_start_display

if [ "$scripted" = 1 ]; then
  echo "run: scripted mode (no person needed); log and pictures go to $out"
  # Once at 96 DPI and once more in the prefix at 144 DPI.
  rc=0
  for prefix in "$WINEPREFIX" "$ROLLVIX_WINEPREFIX_144"; do
    log="$out/samplehost.log"
    [ "$prefix" = "$WINEPREFIX" ] || log="$out/samplehost-144dpi.log"
    set +e
    WINEPREFIX="$prefix" wine "$exe" --script --output-dir "Z:${out//\//\\}" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    set -e
    echo "run: samplehost exited with $status ($(basename "$log"))"
    [ "$status" = 0 ] || rc=$status
  done
  echo "run: output in $out"
  ls -1 "$out"
  exit "$rc"
else
  echo "run: opening the sample host on $DISPLAY; close its window to finish"
  wine "$exe"
fi
