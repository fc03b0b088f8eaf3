#!/usr/bin/env bash
# Builds like scripts/test.sh and runs every benchmark program under wine in a
# private Xvfb display, one after the other, printing what each measured.
# Usage: scripts/bench.sh [program...]   (e.g. hook_bench; default: all of bench/)
# A program that fails or runs out of time (ROLLVIX_BENCH_TIMEOUT seconds,
# default 300) leaves the others to run; the script then names it and fails.
# The programs read the same variable and size what they measure to a third
# of it; each one's time is printed after its figures.
# ROLLVIX_BUILD_DIR picks the build folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/xvfb-env.sh"
rollvix_build "$root"

export ROLLVIX_BENCH_TIMEOUT="${ROLLVIX_BENCH_TIMEOUT:-300}"
programs=()
if [ "$#" -gt 0 ]; then
  for name in "$@"; do programs+=("$build/bench/${name%.exe}.exe"); done
else
  programs=("$build"/bench/*_bench.exe)
fi

rollvix_private_display

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc --all) cores" \
  "(the programs run on $(nproc) of them), $(wine --version)"
failed=()
for program in "${programs[@]}"; do
  name="$(basename "$program" .exe)"
  echo
  echo "== $name"
  status=0
  started=$SECONDS
  if [ -f "$program" ]; then
    (cd "$(dirname "$program")" && timeout "$ROLLVIX_BENCH_TIMEOUT" wine "$program") || status=$?
  else
    status=missing
  fi
  [ "$status" = missing ] || echo "($name took $((SECONDS - started)) s of its $ROLLVIX_BENCH_TIMEOUT)"
  case "$status" in
    0) continue ;;
    124) what="ran out of time" ;;
    missing) what="no such program" ;;
    *) what="ended with status $status" ;;
  esac
  echo "($what)"
  failed+=("$name: $what")
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo
  echo "bench: ${#failed[@]} of ${#programs[@]} programs failed:" >&2
  printf '  %s\n' "${failed[@]}" >&2
  exit 1
fi
