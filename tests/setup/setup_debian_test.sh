#!/usr/bin/env bash
# scripts/setup-debian.sh against a stand-in apt-get, dpkg and dpkg-query put
# first on PATH (nothing on the machine is touched): a mirror in the middle
# of a sync, an install that can only be resolved from the release's own
# suites, an install that says yes but installs nothing, everything present.
# Usage: setup_debian_test.sh [path of setup-debian.sh]
set -uo pipefail
setup="$(realpath "${1:-$(dirname "${BASH_SOURCE[0]}")/../../scripts/setup-debian.sh}")"
release="$(. /etc/os-release && echo "$VERSION_CODENAME")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# The stand-ins keep their state in $work: `installed` lists the packages
# present, `calls` every call made. FAKE_UPDATE=midsync makes apt-get update
# fail on one index; FAKE_INSTALL is ok, nothing (says yes, installs
# nothing), needs-t (fails unless given -t with the release) or fail.
cat > "$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >> "$FAKE_DIR/calls"
case " $* " in
  *" update "*)
    if [ "$FAKE_UPDATE" = midsync ]; then
      echo "E: Failed to fetch http://deb.example/dists/x-security/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress? [IP: 0.0.0.0 80]"
      exit 100
    fi
    exit 0 ;;
esac
[ "$FAKE_INSTALL" != fail ] || { echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100; }
[ "$FAKE_INSTALL" != needs-t ] || [[ " $* " == *" -t $FAKE_RELEASE "* ]] ||
  { echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100; }
[ "$FAKE_INSTALL" = nothing ] && exit 0
for a in "$@"; do case "$a" in -*|install|"$FAKE_RELEASE") ;; *) echo "$a" >> "$FAKE_DIR/installed" ;; esac; done
STUB
cat > "$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
p="${!#}"
grep -qxF "$p" "$FAKE_DIR/installed" && { printf 'install ok installed'; exit 0; }
echo "dpkg-query: no packages found matching $p" >&2; exit 1
STUB
cat > "$work/bin/dpkg" <<'STUB'
#!/usr/bin/env bash
echo "dpkg $*" >> "$FAKE_DIR/calls"
[ "$1" != --print-foreign-architectures ] || echo i386
STUB
printf '#!/bin/sh\nexec "$@"\n' > "$work/bin/sudo"
printf '#!/bin/sh\necho ja_JP.utf8\n' > "$work/bin/locale"
chmod +x "$work/bin/"*
all_pkgs="$(sed -n '/^need_pkgs=(/,/^)/p' "$setup" | sed '1d;$d' | tr -s ' \n' '\n\n' | sed '/^$/d')"

failures=0
# case NAME INSTALLED UPDATE INSTALL EXPECTED_STATUS CHECK...: runs the
# script with INSTALLED present (all, all-but-one or none), then each CHECK,
# a shell test over $calls (the stand-ins' calls) and $out (its output).
case_() {
  local name="$1" have="$2" status out calls check
  export FAKE_DIR="$work/$name" FAKE_UPDATE="$3" FAKE_INSTALL="$4" FAKE_RELEASE="$release"
  mkdir "$FAKE_DIR"; : > "$FAKE_DIR/calls"
  case "$have" in
    all) echo "$all_pkgs" > "$FAKE_DIR/installed" ;;
    all-but-one) echo "$all_pkgs" | grep -vx 'wine32:i386' > "$FAKE_DIR/installed" ;;
    none) : > "$FAKE_DIR/installed" ;;
  esac
  out="$(PATH="$work/bin:$PATH" ROLLVIX_SETUP_RETRY_SLEEP=0 bash "$setup" 2>&1)"
  status=$?
  calls="$(cat "$FAKE_DIR/calls")"
  local ok=1
  [ "$status" = "$5" ] || { echo "FAIL $name: exit status $status, expected $5"; ok=0; }
  shift 5
  for check in "$@"; do
    eval "$check" || { echo "FAIL $name: not true: $check"; ok=0; }
  done
  if [ "$ok" = 1 ]; then echo "ok   $name"; else
    failures=$((failures + 1)); printf '  calls:\n%s\n  output:\n%s\n' "$(sed 's/^/    /' <<< "$calls")" "$(sed 's/^/    /' <<< "$out")"
  fi
}
updates() { grep -c '^apt-get .*update' <<< "$calls"; }

case_ everything_present all ok ok 0 \
  '[ -z "$calls" ]' 'grep -q "all build and test dependencies are present" <<< "$out"'
case_ mirror_mid_sync none midsync ok 0 \
  '[ "$(updates)" = 3 ]' 'grep -q "these were not:" <<< "$out"' 'grep -q "binary-i386/Packages.xz" <<< "$out"'
case_ resolved_from_the_release_alone none midsync needs-t 0 \
  '[ "$(updates)" = 3 ]' 'grep -q "^apt-get install .* -t $release " <<< "$calls"'
case_ install_says_yes_installs_nothing all-but-one midsync nothing 1 \
  'grep -q "^apt-get install .*wine32:i386" <<< "$calls"' 'grep -q "still not installed: wine32:i386$" <<< "$out"' \
  'grep -q "middle of a sync" <<< "$out"'
case_ not_even_from_the_release none midsync fail 1 \
  '[ "$(grep -c "^apt-get install" <<< "$calls")" = 2 ]' 'grep -q "try again later" <<< "$out"'

[ "$failures" = 0 ] && echo "setup-debian.sh: every case passed" || { echo "setup-debian.sh: $failures case(s) failed"; exit 1; }
