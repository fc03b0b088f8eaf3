#!/usr/bin/env bash
# Builds the release rollvix.dll (stripped) and packs it with the Japanese and
# English read-me files into dist/rollvix-VERSION.zip (texts with Windows line
# ends), then prints the SHA-256 of the zip and of the DLL. The same commit
# gives the same zip, byte for byte, in any folder on any day.
# Usage: scripts/package.sh [--tests] [--check]
#   --tests  also packs the test kit for Windows, dist/rollvix-tests-VERSION.zip:
#            every test program with the helper hosts, the very rollvix.dll of
#            the package, run-tests.cmd and the kit's read-me files.
#   --check  (implies --tests) then checks the package: the DLL is at most
#            64 KB, its link map holds no object of libstdc++, libgcc_eh or
#            winpthread, it imports only system DLLs and reports the commit's
#            date; the kit's programs import only system DLLs; a second build
#            from a copy of the sources in another folder gives the same two
#            zips; the sample host loads the DLL from the unpacked zip; and the
#            kit, unpacked into a fresh folder named with a space, Japanese
#            characters and "!", passes under wine (run-tests.cmd in a fresh
#            prefix and a private Xvfb display) for a left-handed tester, with
#            a program that never ends and one that floods its output stopped
#            by the time limit, and every test program's output whole; and
#            there the runner starts nothing with a log it cannot write, and
#            the kit stops before the tests without the dialogs' font.
set -euo pipefail
tests=0
check=0
for arg in "$@"; do
  case "$arg" in
    --tests) tests=1 ;;
    --check) check=1 tests=1 ;;
    *) echo "usage: scripts/package.sh [--tests] [--check]" >&2; exit 2 ;;
  esac
done
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ROLLVIX_BUILD_DIR:-$root/build-package}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null)" || {
    echo "package: not a git checkout; set SOURCE_DATE_EPOCH to the sources' date" >&2
    exit 1
  }
fi
export SOURCE_DATE_EPOCH

bash "$root/scripts/setup-debian.sh"
# Only the DLL: no tests, benchmarks or wine needed for a release. The test
# programs of the kit, when asked for, build beside it; they change nothing
# in the DLL.
[ "$tests" = 1 ] && with_tests=ON || with_tests=OFF
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DROLLVIX_TESTS="$with_tests" -DROLLVIX_BENCH=OFF \
  -DROLLVIX_WERROR="${ROLLVIX_WERROR:-ON}" >/dev/null
cmake --build "$build" --target rollvix -j"$(nproc)"
dll="$build/src/rollvix.dll"

# The version is the project's in CMakeLists.txt, as CMake read it.
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || { echo "package: no project version in $build/CMakeCache.txt" >&2; exit 1; }

stage="$(mktemp -d)"
kit_stage=""
unpacked=""
rebuild=""
kit_dir=""
cleanup() {
  rm -rf "$stage"
  [ -z "$kit_stage" ] || rm -rf "$kit_stage"
  [ -z "$rebuild" ] || rm -rf "$rebuild"
  if [ -n "$unpacked" ]; then
    rollvix_stop_display
    rm -rf "$unpacked"
  fi
  [ -z "$kit_dir" ] || rm -rf "$kit_dir"
}
trap cleanup EXIT
dll_sha="$(sha256sum "$dll" | cut -d' ' -f1)"
cp "$dll" "$stage/rollvix.dll"
# The read-me files name the version and the DLL's SHA-256. The Japanese one
# keeps its UTF-8 byte-order mark so Notepad reads it right.
for lang in ja en; do
  sed -e "s/@VERSION@/$version/g" -e "s/@DLL_SHA256@/$dll_sha/" -e 's/\r*$/\r/' \
    "$root/docs/package-readme-$lang.txt" > "$stage/readme-$lang.txt"
done
! grep -n '@[A-Z0-9_]*@' "$stage"/readme-*.txt || { echo "package: a read-me keeps a placeholder" >&2; exit 1; }

# Nothing of this machine goes into the zip: entries in a fixed order, each
# with the sources' date (zip keeps local time, so UTC), the same mode, and no
# extra fields (-X: no owner, no Unix times).
chmod 644 "$stage"/*
TZ=UTC touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
mkdir -p "$root/dist"
zipfile="$root/dist/rollvix-$version.zip"
rm -f "$zipfile"
(cd "$stage" && TZ=UTC zip -q -X "$zipfile" rollvix.dll readme-ja.txt readme-en.txt)
echo "package: $zipfile"
echo "package: SHA-256 $(sha256sum "$zipfile" | cut -d' ' -f1)  rollvix-$version.zip"
echo "package: SHA-256 $dll_sha  rollvix.dll ($(stat -c %s "$dll") bytes)"

[ "$tests" = 1 ] || exit 0

# The test kit: the programs as ctest runs them (tests/bin), stripped, with
# the DLL just packed, not the build tree's copy of it; the same fixed order,
# date and modes as the release zip.
cmake --build "$build" --target test_kit -j"$(nproc)"
bin="$build/tests/bin"
cmp -s "$dll" "$bin/rollvix.dll" || { echo "package: $bin/rollvix.dll is not the release DLL" >&2; exit 1; }
programs="$(sed -n 's/^set "PROGRAMS=\(.*\)"\r$/\1/p' "$bin/run-tests.cmd")"
[ -n "$programs" ] || { echo "package: no test programs listed in $bin/run-tests.cmd" >&2; exit 1; }
kit_stage="$(mktemp -d)"
kit_files=(run-tests.cmd readme-ja.txt readme-en.txt rollvix.dll)
cp "$bin/run-tests.cmd" "$kit_stage/"
for lang in ja en; do
  sed -e "s/@VERSION@/$version/g" -e "s/@DLL_SHA256@/$dll_sha/" -e 's/\r*$/\r/' \
    "$root/docs/test-kit-readme-$lang.txt" > "$kit_stage/readme-$lang.txt"
done
! grep -n '@[A-Z0-9_]*@' "$kit_stage"/readme-*.txt "$kit_stage/run-tests.cmd" ||
  { echo "package: a file of the kit keeps a placeholder" >&2; exit 1; }
cp "$dll" "$kit_stage/rollvix.dll"
for program in kit_check $programs foreign_host missing_export_last missing_export_middle; do
  i686-w64-mingw32-strip -o "$kit_stage/$program.exe" "$bin/$program.exe"
  kit_files+=("$program.exe")
done
chmod 644 "$kit_stage"/*
TZ=UTC touch -d "@$SOURCE_DATE_EPOCH" "$kit_stage"/*
kitzip="$root/dist/rollvix-tests-$version.zip"
rm -f "$kitzip"
(cd "$kit_stage" && TZ=UTC zip -q -X "$kitzip" "${kit_files[@]}")
echo "package: $kitzip ($(stat -c %s "$kitzip") bytes, ${#kit_files[@]} files)"
echo "package: SHA-256 $(sha256sum "$kitzip" | cut -d' ' -f1)  rollvix-tests-$version.zip"

[ "$check" = 1 ] || exit 0

fail() {
  echo "package: check FAILED: $*" >&2
  exit 1
}

# Small, free of the C++ runtime (the link map names every archive member
# the linker took), importing only system DLLs, dated by the sources. Every
# finding is printed before the check fails.
problems=()
size="$(stat -c %s "$dll")"
echo "package: rollvix.dll is $size bytes (at most 65536)"
[ "$size" -le 65536 ] || problems+=("rollvix.dll is larger than 64 KB")
runtime="$(grep -oE '[^ /]*(libstdc\+\+|libsupc\+\+|libgcc_eh|libwinpthread|libpthread)\.a\([^)]*\)' \
  "$build/src/rollvix.map" | sort -u || true)"
if [ -n "$runtime" ]; then
  echo "package: the link map shows C++ runtime objects in rollvix.dll:"
  echo "$runtime" | sed 's/^/  /'
  problems+=("C++ runtime objects are linked into rollvix.dll")
else
  echo "package: the link map shows no object of libstdc++, libgcc_eh or winpthread"
fi
imports="$(i686-w64-mingw32-objdump -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')"
echo "package: imports ${imports% }"
for name in $imports; do
  case "$name" in
    kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|shlwapi.dll|msvcrt.dll) ;;
    *) problems+=("rollvix.dll imports $name, which is not a system DLL") ;;
  esac
done
date_text="$(LC_ALL=C date -u -d "@$SOURCE_DATE_EPOCH" '+%b %-d %Y')"
if grep -qaF "$date_text" "$dll"; then
  echo "package: reports the build date $date_text"
else
  problems+=("rollvix.dll does not report the build date $date_text")
fi
# The kit: every program ctest runs (the 144-DPI reruns, with or without an
# awareness declared, and the cases of the two-monitor script, of the set-up
# script and of kit_check, the kit's own runner, aside), each importing only
# system DLLs, so that it runs on Windows as it is.
listed="$(ctest --test-dir "$build" -N | sed -n 's/^ *Test *#[0-9]*: //p' |
  grep -v -E -e '_144dpi(_[a-z]+)?$' -e '^two_monitors_' -e '^setup_debian_' -e '^kit_check_' |
  tr '\n' ' ')"
if [ "${listed% }" = "$programs" ]; then
  echo "package: the kit runs every test program ctest runs: $programs"
else
  problems+=("the kit runs \"$programs\", ctest \"${listed% }\"")
fi
kit_imports=""
for program in "${kit_files[@]}"; do
  case "$program" in *.exe) ;; *) continue ;; esac
  for name in $(i686-w64-mingw32-objdump -p "$kit_stage/$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case "$name" in
      kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|shlwapi.dll|msvcrt.dll|psapi.dll|version.dll|advapi32.dll) ;;
      *) problems+=("$program imports $name, which is not a system DLL") ;;
    esac
    kit_imports+="$name"$'\n'
  done
done
echo "package: the kit's programs import $(echo "$kit_imports" | sort -u | tr '\n' ' ' | sed 's/^ *//;s/ *$//')"
# kit_check makes sure the font the dialogs ask for is there: it must name
# every face their FONT statements name.
while IFS= read -r face; do
  grep -qF "{L\"$face\"," "$root/tests/kit/kit_check.cpp" ||
    problems+=("kit_check does not check for the dialogs' font \"$face\"")
done < <(sed -n 's/^FONT [0-9]*, *"\([^"]*\)".*/\1/p' "$root"/src/res/*.rc | sort -u)
[ "${#problems[@]}" = 0 ] || fail "$(printf '%s; ' "${problems[@]}" | sed 's/; $//')"

# Reproducible: the same sources (what git tracks or would track, as they are
# now) copied to another folder and packed by their own copy of this script.
git -C "$root" rev-parse --git-dir >/dev/null 2>&1 || fail "the rebuild copies what git tracks: run the check in a git checkout"
rebuild="$(mktemp -d /tmp/rollvix-rebuild.XXXXXX)"
mkdir "$rebuild/sources"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
  tar --null -T - -cf -) | tar -xf - -C "$rebuild/sources"
# First the release alone, without the tests (as a plain scripts/package.sh
# builds it), then the kit in the same folder.
ROLLVIX_BUILD_DIR="$rebuild/build" bash "$rebuild/sources/scripts/package.sh" >"$rebuild/package.log" 2>&1 ||
  { cat "$rebuild/package.log" >&2; fail "the second build did not finish"; }
if ! cmp -s "$zipfile" "$rebuild/sources/dist/rollvix-$version.zip"; then
  cmp -s "$dll" "$rebuild/build/src/rollvix.dll" && what="the DLLs are the same" || what="the DLLs differ"
  kept="$rebuild"
  rebuild=""
  fail "a second build in $kept (kept) gave another zip ($what)"
fi
echo "package: a second build in another folder, without the tests, gave the same zip byte for byte"
ROLLVIX_BUILD_DIR="$rebuild/build" bash "$rebuild/sources/scripts/package.sh" --tests >>"$rebuild/package.log" 2>&1 ||
  { cat "$rebuild/package.log" >&2; fail "the second build of the kit did not finish"; }
if ! cmp -s "$kitzip" "$rebuild/sources/dist/rollvix-tests-$version.zip"; then
  kept="$rebuild"
  rebuild=""
  fail "a second build in $kept (kept) gave another test kit"
fi
echo "package: the kit built there is the same zip byte for byte"

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
  echo "package: the sample host loaded rollvix.dll from the unpacked zip"
else
  cat "$log" >&2
  fail "samplehost exited with $rc"
fi

# The kit as a tester gets it: unpacked into a fresh folder whose name holds
# a space, Japanese characters and "!", run by its own run-tests.cmd in a
# fresh prefix (96 DPI) on a display of its own. The tester is left-handed:
# the kit must swap the buttons back for the run and restore them after it.
# A program that never ends runs first with a limit of a few seconds, then one
# that writes without pause: each must be stopped at its limit and counted as
# failed, and every test program after them pass, its output whole to its
# last GoogleTest line.
rollvix_stop_display
unset ROLLVIX_WINEPREFIX_144 ROLLVIX_XVFB_PID
kit_dir="$(mktemp -d /tmp/rollvix-kit.XXXXXX)"
kit_folder="$kit_dir/テスト kit!"
hang_seconds=5
flood_seconds=3
mkdir "$kit_folder"
unzip -q "$kitzip" -d "$kit_folder"
export WINEPREFIX="$kit_dir/prefix"
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"
rollvix_start_display
kit_log="$kit_dir/output.log"
# The kit's output is read at about 3 MB/s, as a console shows it: behind
# such a reader a flood keeps the runner's pipe full.
console_speed() {
  local n
  while n="$(dd bs=64K count=1 status=none | tee -a "$1" | wc -c)" && [ "$n" -gt 0 ]; do sleep 0.02; done
}
(cd "$kit_folder" && wine kit_check.exe --buttons 1) </dev/null >/dev/null 2>&1 || true
started=$SECONDS
: >"$kit_log"
set +e
(cd "$kit_folder" && ROLLVIX_KIT_HANG=$hang_seconds ROLLVIX_KIT_FLOOD=$flood_seconds timeout 3600 wine cmd /c run-tests.cmd) \
  2>&1 </dev/null | console_speed "$kit_log"
rc=${PIPESTATUS[0]}
set -e
took=$((SECONDS - started))
swapped_after=0
(cd "$kit_folder" && wine kit_check.exe --buttons 0) </dev/null >/dev/null 2>&1 || swapped_after=$?
tested_log="$kit_folder/rollvix-tests.log"
last="$(tail -n 1 "$kit_log" | tr -d '\r')"
logged="$(tail -n 1 "$tested_log" 2>/dev/null | tr -d '\r' || true)"
count=$(echo "$programs" | wc -w)
hang_line="kit_check: kit_check.exe timed out after $hang_seconds s and was stopped"
hang_failed="[1/$((count + 2))] kit_check.exe FAILED [timed out after $hang_seconds s]"
flood_line="kit_check: kit_check.exe timed out after $flood_seconds s and was stopped"
flood_failed="[2/$((count + 2))] kit_check.exe FAILED [timed out after $flood_seconds s]"
kit_problems=()
[ "$rc" = 1 ] || kit_problems+=("run-tests.cmd exited with $rc, not 1")
[ "$last" = "$count passed, 2 failed" ] || kit_problems+=("the last line is \"$last\", not \"$count passed, 2 failed\"")
[ "$logged" = "$last" ] || kit_problems+=("the log ends with \"$logged\"")
LC_ALL=C grep -q '^folder: ".*!"' "$tested_log" || kit_problems+=("the log does not name the folder with its \"!\"")
# The program's own line shows before the limit stops it: output as it comes.
LC_ALL=C grep -A1 -F 'kit_check: a program that does not end' "$tested_log" | tr -d '\r' | grep -qxF "$hang_line" ||
  kit_problems+=("the log lacks the endless program's line followed by \"$hang_line\"")
# The flood is stopped at its limit, however fast it writes: the runner's
# figures, the time from its start to its end and what it passed on.
flood_figures="$(tr -d '\r' <"$tested_log" | LC_ALL=C grep -A1 -xF "$flood_line" | sed -n 2p || true)"
flood_ms="$(echo "$flood_figures" | sed -n 's/^kit_check: stopped \([0-9]*\)\.\([0-9][0-9]\) s after its start, [0-9]* bytes of its output passed on$/\1\20/p')"
flood_bytes="$(echo "$flood_figures" | sed -n 's/.* s after its start, \([0-9]*\) bytes of its output passed on$/\1/p')"
LC_ALL=C grep -qF 'kit_check: a program that floods its output' "$tested_log" ||
  kit_problems+=("the log lacks the flooding program's own line")
if [ -z "$flood_ms" ] || [ -z "$flood_bytes" ]; then
  kit_problems+=("the log lacks \"$flood_line\" followed by the runner's figures")
else
  flood_ms=$((10#$flood_ms))
  [ "$flood_ms" -lt $((flood_seconds * 1500)) ] ||
    kit_problems+=("the flooding program was stopped $flood_ms ms after its start, not within 1.5 times its limit of $flood_seconds s")
  [ "$flood_bytes" -ge 65536 ] || kit_problems+=("the runner passed on only $flood_bytes bytes of the flood")
fi
# Every test program's output reached the log to its end: GoogleTest's
# summary, "[  PASSED  ] N tests." (or the FAILED one), between the lines
# that start and end the program.
unended="$(tr -d '\r' <"$tested_log" | LC_ALL=C awk -v programs="$programs" '
  BEGIN { n = split(programs, p, " ") }
  /^\[[0-9]+\/[0-9]+\] [^ ]+\.exe$/ { current = $2; summary = 0; next }
  current != "" && /^\[  (PASSED|FAILED)  \] [0-9]+ tests?(\.|, listed below:)$/ { summary = 1; next }
  current != "" && /^\[[0-9]+\/[0-9]+\] [^ ]+\.exe (passed|FAILED)/ {
    if (summary) ended[current] = 1
    current = ""
  }
  END { for (i = 1; i <= n; i++) if (!((p[i] ".exe") in ended)) printf "%s ", p[i] }')"
[ -z "$unended" ] || kit_problems+=("the log lacks the last GoogleTest line of ${unended% }")
for line in "$hang_failed" "$flood_failed" "failed programs: kit_check kit_check" \
  "mouse: the buttons are swapped for the left hand; the run swaps them back and restores them at the end" \
  "mouse: should the run be cut short, type kit_check.exe --buttons 1 in this folder to swap them again" \
  "mouse: the buttons are swapped for the left hand again, as before the run"; do
  # Not through a pipe: grep -q ends at the first match, and pipefail would
  # count tr's broken pipe as a miss.
  LC_ALL=C grep -qxF "$line" <(tr -d '\r' <"$tested_log") || kit_problems+=("the log lacks the line \"$line\"")
done
[ "$swapped_after" = 1 ] || kit_problems+=("the tester's swapped buttons were not restored")
# Under wine the job takes the programs' helpers along: a warning that it
# cannot is false here.
! LC_ALL=C grep -qF "cannot tie the program's helpers" "$tested_log" ||
  kit_problems+=("the log warns that the runner cannot tie the programs' helpers to it")
# A log that cannot be written (a folder in its place) keeps kit_check --run
# from starting the program, said as run-tests.cmd says it, with its exit code.
mkdir "$kit_dir/rollvix-tests.log"
unwritable="Z:${kit_dir//\//\\}\\rollvix-tests.log"
stop_line="Stopped: cannot write \"$unwritable\"; make it writable [not read-only, not open in another program] or delete it, or unpack the kit into a folder you can write to."
rc=0
(cd "$kit_folder" && ROLLVIX_KIT_LOG="$unwritable" timeout 60 wine kit_check.exe --run 5 kit_check.exe --hang) \
  </dev/null >"$kit_dir/unwritable.out" 2>&1 || rc=$?
run_said="$(tr -d '\r' <"$kit_dir/unwritable.out")"
[ "$rc" = 2 ] && [ "$run_said" = "$stop_line" ] ||
  kit_problems+=("kit_check --run with a log it cannot write exited with $rc, saying \"${run_said//$'\n'/ | }\"")
# Without the dialogs' font the kit stops after its check, before any
# program. The font's mapping goes from the kit's prefix, which nothing uses
# after; the kit runs from a copy of its folder, which keeps the first log. A
# kit that goes on is cut off.
wine reg delete 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /f >/dev/null 2>&1 || true
cp -r "$kit_folder" "$kit_dir/no-font"
rc=0
(cd "$kit_dir/no-font" && timeout 60 wine cmd /c run-tests.cmd) </dev/null >/dev/null 2>&1 || rc=$?
no_font_log="$kit_dir/no-font/rollvix-tests.log"
LC_ALL=C grep -qF "kit_check: the dialogs' font MS PGothic is installed: NO" "$no_font_log" ||
  kit_problems+=("without the dialogs' font kit_check did not say NO for it")
no_font_last="$(tail -n 1 "$no_font_log" 2>/dev/null | tr -d '\r' || true)"
[ "$rc" = 2 ] && [ "$no_font_last" = "Stopped: a setting the tests need is missing [the line with NO above says which]." ] ||
  kit_problems+=("without the dialogs' font run-tests.cmd exited with $rc, its log ending with \"$no_font_last\"")
if [ "${#kit_problems[@]}" = 0 ]; then
  echo "package: the kit ran under wine in \"$(basename "$kit_folder")\" in $((took / 60)) min $((took % 60)) s: $last"
  echo "package: the time limit stopped the endless program: $hang_failed"
  echo "package: and the flooding one: $flood_failed; ${flood_figures#kit_check: }"
  echo "package: every test program passed, its output whole to GoogleTest's last line; the left-handed tester's swapped buttons were restored"
  echo "package: kit_check --run started nothing with a log it cannot write, and without the dialogs' font the kit stopped before the tests"
else
  tail -n 150 "$kit_log" >&2
  kept="$kit_dir"
  kit_dir=""
  fail "the kit under wine: $(printf '%s; ' "${kit_problems[@]}" | sed 's/; $//') after $took s (output and kit kept in $kept)"
fi
echo "package: check passed"
