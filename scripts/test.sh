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

# Tests that hold under some Wines only (tests/wine-skips.txt) are skipped
# by name under the others, each with its reason.
wine_major="$(wine --version | sed -n 's/^wine-\([0-9]*\).*/\1/p')"
skip_tests=() skip_cases=()
while read -r wines name why; do
  case "$wines" in '' | '#'*) continue ;; esac
  lo="${wines%%[-+]*}" hi="${wines##*[-+]}"
  case "$wines" in *+) hi=999 ;; *-*) ;; *) hi="$lo" ;; esac
  [ "$wine_major" -ge "$lo" ] && [ "$wine_major" -le "$hi" ] && continue
  echo "test: skipped under Wine $wine_major: $name (needs Wine $wines): $why"
  case "$name" in *.*) skip_cases+=("$name") ;; *) skip_tests+=("^$name\$") ;; esac
done < "$root/tests/wine-skips.txt"
skip=()
[ ${#skip_tests[@]} -eq 0 ] || skip=(-E "$(IFS='|'; echo "${skip_tests[*]}")")
if [ ${#skip_cases[@]} -gt 0 ]; then
  filter="$(IFS=':'; echo "${skip_cases[*]}")"
  case "${GTEST_FILTER:-}" in *-*) export GTEST_FILTER="$GTEST_FILTER:$filter" ;; *) export GTEST_FILTER="${GTEST_FILTER:-*}-$filter" ;; esac
fi

ctest --test-dir "$build" --output-on-failure -j1 "${skip[@]}" "$@"
