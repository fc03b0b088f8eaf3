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
  # Once at 96 DPI; then in the prefix at 144 DPI, by a host that declares
  # system DPI awareness (sharp pictures at 144 DPI, "-144dpi"), and by one
  # that declares none, which the system scales from 96 DPI
  # ("-144dpi-scaled"): what most users of an older host see. Wine 8 scales
  # no program, so there the last run has nothing to show.
  rc=0
  # sample_run NAME PREFIX [AWARENESS]: one scripted run, its log named after it.
  sample_run() {
    local name="$1" prefix="$2" awareness="${3:-}" log status
    log="$out/samplehost-$name.log"
    [ "$name" != 96dpi ] || log="$out/samplehost.log"
    set +e
    WINEPREFIX="$prefix" wine "$exe" --script --output-dir "Z:${out//\//\\}" ${awareness:+--dpi-awareness "$awareness"} 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    set -e
    if [ "$awareness" = unaware ] && [ "$status" = 3 ]; then
      echo "run: the scaled case cannot be shown here: this Wine ($(wine --version 2>/dev/null)) gives every program the screen's DPI, where Wine 10 and Windows scale a host that declares no DPI awareness; not a failure"
      return
    fi
    echo "run: samplehost exited with $status ($(basename "$log"))"
    [ "$status" = 0 ] || rc=$status
  }
  sample_run 96dpi "$WINEPREFIX"
  sample_run 144dpi "$ROLLVIX_WINEPREFIX_144" system
  sample_run 144dpi-scaled "$ROLLVIX_WINEPREFIX_144" unaware
  echo "run: output in $out"
  ls -1 "$out"
  exit "$rc"
else
  echo "run: opening the sample host on $DISPLAY; close its window to finish"
  wine "$exe"
fi
