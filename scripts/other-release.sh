#!/usr/bin/env bash
# Runs the project on the other Debian release than this machine's, in a root
# built with debootstrap: on Debian 12 (bookworm, Wine 8) that is Debian 13
# (trixie, Wine 10), on Debian 13 it is Debian 12. The root is kept for later
# runs, outside the work tree; the project is seen inside it at its own path.
#
#   scripts/other-release.sh prepare             builds the root once, then installs what the
#                                                project needs in it (scripts/setup-debian.sh)
#   scripts/other-release.sh test [ctest args]   scripts/test.sh inside the root
#   scripts/other-release.sh sample              scripts/run-sample.sh --script inside the root
#   scripts/other-release.sh run CMD...          any command inside the root
#
# ROLLVIX_OTHER_RELEASE    the release's codename (default: the other one of bookworm and trixie)
# ROLLVIX_OTHER_ROOT       the root (default /var/cache/rollvix/roots/CODENAME)
# ROLLVIX_OTHER_BUILD_DIR  the build folder, a path inside the root (default /srv/rollvix-build);
#                          two runs with the same folder take turns
# ROLLVIX_DEBIAN_MIRROR, ROLLVIX_DEBIAN_SECURITY_MIRROR  where packages come from
#
# Every command runs in a mount namespace of its own: the mounts it makes
# (/proc, /sys, /dev, the project) are never seen outside and are undone on
# exit, and so are the processes it leaves in the root. Its X displays
# (numbers from 150 up) are seen outside the root too, since the abstract
# socket is shared, so they must not be the numbers used outside.
set -euo pipefail
project="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
self="$project/scripts/other-release.sh"

say() { echo "other-release: $*" >&2; }
usage() { { echo "usage:"; sed -n '7,11s/^# \{0,1\}//p' "$self"; } >&2; exit 2; }

[ $# -ge 1 ] || usage
cmd="$1"
shift
case "$cmd" in
  prepare | sample) [ $# -eq 0 ] || usage ;;
  test) ;;
  run) [ $# -ge 1 ] || usage ;;
  *) usage ;;
esac

if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=ROLLVIX_OTHER_RELEASE,ROLLVIX_OTHER_ROOT,ROLLVIX_OTHER_BUILD_DIR,ROLLVIX_DEBIAN_MIRROR,ROLLVIX_DEBIAN_SECURITY_MIRROR,ROLLVIX_WERROR,ROLLVIX_ONE_CPU,ROLLVIX_BUSY_CPU,ROLLVIX_SETUP_RETRY_SLEEP \
    bash "$self" "$cmd" "$@"
fi

this_release="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
release="${ROLLVIX_OTHER_RELEASE:-}"
if [ -z "$release" ]; then
  case "$this_release" in
    bookworm) release=trixie ;;
    trixie) release=bookworm ;;
    *) say "this machine runs '${this_release:-an unknown release}'; set ROLLVIX_OTHER_RELEASE to bookworm or trixie"; exit 2 ;;
  esac
fi
rootdir="$(realpath -m "${ROLLVIX_OTHER_ROOT:-/var/cache/rollvix/roots/$release}")"
case "$rootdir/" in
  "$project"/*) say "the root must lie outside the work tree ($project)"; exit 2 ;;
esac
inner_build="${ROLLVIX_OTHER_BUILD_DIR:-/srv/rollvix-build}"
case "$inner_build" in /*) ;; *) say "ROLLVIX_OTHER_BUILD_DIR must be an absolute path inside the root"; exit 2 ;; esac
mirror="${ROLLVIX_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
security_mirror="${ROLLVIX_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}"
bootstrapped="$rootdir/.rollvix-debootstrapped"
marker="$rootdir/.rollvix-ready"

# Everything below runs in a private mount namespace (util-linux's unshare).
if [ "${ROLLVIX_OTHER_IN_NAMESPACE:-}" != "$$" ]; then
  command -v unshare >/dev/null || { say "unshare (util-linux) is missing"; exit 1; }
  # exec keeps the process id, which tells the namespaced run it is the one.
  export ROLLVIX_OTHER_IN_NAMESPACE=$$
  exec unshare --mount --propagation private bash "$self" "$cmd" "$@"
fi
unset ROLLVIX_OTHER_IN_NAMESPACE
my_mnt_ns="$(readlink /proc/self/ns/mnt)"

# Mount points under the root, deepest first.
mounts_under_root() {
  awk -v r="$rootdir" '{ p = $2; gsub(/\\040/, " ", p); if (p == r || index(p, r "/") == 1) print p }' /proc/self/mounts | sort -r
}

# Processes whose root is the root (or lies in it) and which share this run's
# mount namespace: those another run in the same root started are left alone.
processes_in_root() {
  comm -12 \
    <(find /proc/[0-9]*/root -maxdepth 0 -printf '%l\t%h\n' 2>/dev/null |
      awk -F'\t' -v r="$rootdir" '$1 == r || index($1, r "/") == 1 { split($2, p, "/"); print p[3] }' | sort) \
    <(find /proc/[0-9]*/ns/mnt -maxdepth 0 -printf '%l\t%h\n' 2>/dev/null |
      awk -F'\t' -v n="$my_mnt_ns" '$1 == n { split($2, p, "/"); print p[3] }' | sort)
}

cleanup() {
  local pids try m
  for try in 1 2 3 4 5 6 7 8 9 10 11; do
    pids="$(processes_in_root | tr '\n' ' ')"
    [ -n "${pids// /}" ] || break
    if [ "$try" = 1 ]; then say "stopping what is left in the root: $pids"; fi
    # shellcheck disable=SC2086
    if [ "$try" -lt 10 ]; then kill -TERM $pids 2>/dev/null || true; else kill -KILL $pids 2>/dev/null || true; fi
    sleep 0.3
  done
  [ -z "$(processes_in_root)" ] || say "processes still in the root: $(processes_in_root | tr '\n' ' ')"
  while read -r m; do
    [ -n "$m" ] || continue
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || say "could not unmount $m"
  done < <(mounts_under_root)
}

mount_root() {
  mkdir -p "$rootdir/proc" "$rootdir/sys" "$rootdir/dev" "$rootdir$project"
  mount -t proc proc "$rootdir/proc"
  mount -t sysfs sysfs "$rootdir/sys"
  # /dev with /dev/pts and /dev/shm.
  mount --rbind /dev "$rootdir/dev"
  mount --bind "$project" "$rootdir$project"
  cp -fL /etc/resolv.conf "$rootdir/etc/resolv.conf" 2>/dev/null || true
}

# in_root CMD...: runs CMD in the root with a clean environment, in the
# project (or the folder of it we were called from).
in_root() {
  local dir="$project" v
  case "$PWD/" in "$project"/*) dir="$PWD" ;; esac
  local env=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    TERM="${TERM:-dumb}" ROLLVIX_BUILD_DIR="$inner_build" ROLLVIX_CLANG_BUILD_DIR="$inner_build-clang"
    ROLLVIX_DISPLAY_NUMBER=150)
  for v in ROLLVIX_WERROR ROLLVIX_ONE_CPU ROLLVIX_BUSY_CPU ROLLVIX_SETUP_RETRY_SLEEP; do
    [ -z "${!v+x}" ] || env+=("$v=${!v}")
  done
  # Waited for in the background, so that a signal to this script stops the
  # run at once (the trap then ends what is left in the root).
  chroot "$rootdir" /usr/bin/env -i "${env[@]}" bash -c 'cd "$1" && shift && exec "$@"' in-root "$dir" "$@" <&0 &
  wait $!
}

# debootstrap, tried three times: a mirror in the middle of a sync serves
# some index with the wrong size for a while. The packages it fetched are
# kept beside the root for the next try.
bootstrap() {
  local try cache="$(dirname "$rootdir")/debootstrap-cache-$release"
  if ! command -v debootstrap >/dev/null; then
    say "installing debootstrap"
    apt-get update -q || true
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap debian-archive-keyring
  fi
  mkdir -p "$cache"
  for try in 1 2 3; do
    remove_partial_root
    say "debootstrap $release into $rootdir (try $try of 3)"
    if debootstrap --variant=minbase --include=procps,ca-certificates --cache-dir="$cache" \
      "$release" "$rootdir" "$mirror"; then
      touch "$bootstrapped"
      return 0
    fi
    cleanup
    if [ "$try" -lt 3 ]; then
      say "debootstrap failed; trying again in $((try * 30)) s"
      sleep $((try * 30))
    fi
  done
  say "debootstrap failed three times; the mirror may be in the middle of a sync; try again later"
  exit 1
}

# A root left half made by an interrupted debootstrap is made again; never
# while anything is mounted in it (the project, say).
remove_partial_root() {
  [ -e "$rootdir" ] || return 0
  if [ -n "$(mounts_under_root)" ]; then
    say "not removing $rootdir: something is mounted in it: $(mounts_under_root | tr '\n' ' ')"
    exit 1
  fi
  rm -rf --one-file-system "$rootdir"
}

configure_root() {
  local codename="$release"
  rm -f "$rootdir/etc/apt/sources.list"
  cat > "$rootdir/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: $mirror
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $security_mirror
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  # Packages installed in the root start no services.
  printf '#!/bin/sh\nexit 101\n' > "$rootdir/usr/sbin/policy-rc.d"
  chmod 755 "$rootdir/usr/sbin/policy-rc.d"
}

prepare() {
  [ -f "$bootstrapped" ] || bootstrap
  configure_root
  mount_root
  say "installing what the project needs in the $release root (scripts/setup-debian.sh)"
  in_root bash "$project/scripts/setup-debian.sh"
  {
    echo "release=$release"
    echo "wine=$(in_root wine --version 2>/dev/null || echo unknown)"
    echo "prepared=$(date -u +%Y-%m-%dT%H:%M:%SZ)"
  } > "$marker.new"
  mv -f "$marker.new" "$marker"
  cleanup
  say "the $release root is ready: $rootdir ($(sed -n 's/^wine=//p' "$marker"))"
}

trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

mkdir -p "$(dirname "$rootdir")"
exec 8>"$rootdir.lock"
if [ "$cmd" = prepare ] || [ ! -f "$marker" ]; then
  flock -n 8 || { say "waiting for another run to finish with $rootdir"; flock 8; }
  prepare
  [ "$cmd" != prepare ] || exit 0
fi
# The root's set-up waits for the runs in it, and they for it.
flock -s -n 8 || { say "waiting for the $release root's set-up to finish"; flock -s 8; }
mkdir -p "$rootdir$inner_build"
exec 9>"$rootdir$inner_build.lock"
flock -n 9 || { say "waiting for another run with the build folder $inner_build (ROLLVIX_OTHER_BUILD_DIR picks another)"; flock 9; }

# A build folder kept from a checkout at another path (CI's, say) would stop
# CMake: it is made again.
for b in "$rootdir$inner_build" "$rootdir$inner_build-clang"; do
  cache_source="$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$b/CMakeCache.txt" 2>/dev/null || true)"
  if [ -n "$cache_source" ] && [ "$cache_source" != "$project" ]; then
    say "removing ${b#"$rootdir"}: it was built from $cache_source"
    rm -rf --one-file-system "$b"
  fi
done
mount_root
say "$release root $rootdir ($(sed -n 's/^wine=//p' "$marker")), build folder $rootdir$inner_build"
status=0
case "$cmd" in
  test) in_root bash "$project/scripts/test.sh" "$@" || status=$? ;;
  sample)
    in_root bash "$project/scripts/run-sample.sh" --script || status=$?
    say "the sample's output is in $rootdir$inner_build/sample-output"
    ;;
  run) in_root "$@" || status=$? ;;
esac
exit "$status"
