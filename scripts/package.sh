#!/usr/bin/env bash
# Builds rollvix.dll and packs it with the Japanese and English read-me files
# into dist/rollvix-VERSION.zip (texts with Windows line ends).
# Usage: scripts/package.sh [--check]
#   --check  then unpacks the zip into a temporary folder and has the sample
#            host load the DLL from there in its scripted mode (wine, Xvfb).
# ROLLVIX_BUILD_DIR picks the build folder (default: build-package).
set -euo pipefail
check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: scripts/package.sh [--check]" >&2; exit 2 ;;
esac
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ROLLVIX_BUILD_DIR:-$root/build-package}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

bash "$root/scripts/setup-debian.sh"
# Only the DLL: no tests, benchmarks or wine needed for a release.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DROLLVIX_TESTS=OFF -DROLLVIX_BENCH=OFF >/dev/null
cmake --build "$build" --target rollvix -j"$(nproc)"

version="$(sed -n 's/^project(rollvix VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }

stage="$(mktemp -d)"
unpacked=""
cleanup() {
  rm -rf "$stage"
  if [ -n "$unpacked" ]; then
    rollvix_stop_display
    rm -rf "$unpacked"
  fi
}
trap cleanup EXIT
cp "$build/src/rollvix.dll" "$stage/rollvix.dll"
# The Japanese file keeps its UTF-8 byte-order mark so Notepad reads it right.
sed 's/\r*$/\r/' "$root/docs/package-readme-ja.txt" > "$stage/readme-ja.txt"
sed 's/\r*$/\r/' "$root/docs/package-readme-en.txt" > "$stage/readme-en.txt"

mkdir -p "$root/dist"
zipfile="$root/dist/rollvix-$version.zip"
rm -f "$zipfile"
(cd "$stage" && zip -q -X "$zipfile" rollvix.dll readme-ja.txt readme-en.txt)
echo "package: $zipfile"

[ "$check" = 1 ] || exit 0

# The unpacked DLL goes into the "plugins" folder beside a copy of the sample
# host, which loads it, opens its settings dialog and plays a TabList gesture.
cmake --build "$build" --target samplehost -j"$(nproc)"
. "$root/scripts/xvfb-env.sh"
unpacked="$(mktemp -d)"
mkdir -p "$unpacked/plugins"
unzip -q "$zipfile" -d "$unpacked/plugins"
cp "$build/host/samplehost.exe" "$unpacked/"

rollvix_wine_env "$root"
ROLLVIX_USE_XVFB=1
rollvix_start_display

log="$unpacked/samplehost.log"
rc=0
timeout 180 wine "$unpacked/samplehost.exe" --script --output-dir "Z:${unpacked//\//\\}" >"$log" 2>&1 || rc=$?
if [ "$rc" = 0 ] && grep -q '^plug-ins loaded: 1' "$log" && grep -qi 'plugins\\rollvix.dll' "$log"; then
  echo "package: check passed, the sample host loaded rollvix.dll from the unpacked zip"
else
  cat "$log" >&2
  echo "package: check FAILED (samplehost exited with $rc)" >&2
  exit 1
fi
