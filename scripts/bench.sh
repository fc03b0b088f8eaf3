#!/usr/bin/env bash
# Builds like scripts/test.sh and runs every benchmark program under wine in a
# private Xvfb display, one after the other, printing what each measured.
# ROLLVIX_BUILD_DIR picks the build folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/xvfb-env.sh"
rollvix_build "$root"

rollvix_private_display

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc --all) cores" \
  "(the programs run on $(nproc) of them), $(wine --version)"
for program in "$build"/bench/*_bench.exe; do
  echo
  echo "== $(basename "$program" .exe)"
  # One program failing or running out of time leaves the others to run.
  (cd "$(dirname "$program")" && timeout 300 wine "$program") || echo "(ended with status $?)"
done
