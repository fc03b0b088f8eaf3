#!/usr/bin/env bash
# Builds rollvix.dll and packs it with the Japanese and English read-me files
# into dist/rollvix-VERSION.zip (texts with Windows line ends).
# ROLLVIX_BUILD_DIR picks the build folder (default: build-package).
set -euo pipefail
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
trap 'rm -rf "$stage"' EXIT
cp "$build/src/rollvix.dll" "$stage/rollvix.dll"
# The Japanese file keeps its UTF-8 byte-order mark so Notepad reads it right.
sed 's/\r*$/\r/' "$root/docs/package-readme-ja.txt" > "$stage/readme-ja.txt"
sed 's/\r*$/\r/' "$root/docs/package-readme-en.txt" > "$stage/readme-en.txt"

mkdir -p "$root/dist"
zipfile="$root/dist/rollvix-$version.zip"
rm -f "$zipfile"
(cd "$stage" && zip -q -X "$zipfile" rollvix.dll readme-ja.txt readme-en.txt)
echo "package: $zipfile"
