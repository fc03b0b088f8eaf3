#!/usr/bin/env bash
# Runs clang-tidy over the plug-in's code (src/, its headers included) with
# the compile commands of the clang build (configured here as by
# scripts/clang-build.sh; nothing is built). Any finding fails.
# ROLLVIX_CLANG_BUILD_DIR picks that build's folder (default: build-clang).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/xvfb-env.sh"
rollvix_clang_configure "$root"

checks=(
  'bugprone-*' 'clang-analyzer-*' 'performance-*' 'cert-*'
  # A guess from parameter types, not a fault: most it names are fixed by Win32 (WPARAM, LPARAM) or the host.
  '-bugprone-easily-swappable-parameters'
  # Win32 returns handles as LRESULT and passes pointers as WPARAM/LPARAM: casting them back is its contract.
  '-performance-no-int-to-ptr'
)
checks_arg="$(IFS=,; echo "-*,${checks[*]}")"

cd "$root"
files=(src/*/*.cpp)
echo "lint: clang-tidy $(clang-tidy --version | sed -n 's/.*version \([0-9.]*\).*/\1/p') over ${#files[@]} files of src/"
# Every file counts the system headers' warnings it was told to hide; those
# counts alone are left out.
set +e
printf '%s\0' "${files[@]}" | xargs -0 -n1 -P"$(nproc)" clang-tidy -p "$clang_build" --quiet \
  --checks="$checks_arg" --warnings-as-errors='*' --header-filter="^$root/src/" 2>&1 |
  grep -v '^[0-9]* warnings\? generated\.$'
rc=${PIPESTATUS[1]}
set -e
if [ "$rc" != 0 ]; then
  echo "lint: clang-tidy found something (status $rc)" >&2
  exit 1
fi
echo "lint: no findings"
