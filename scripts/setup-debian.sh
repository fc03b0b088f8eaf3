#!/usr/bin/env bash
# Installs everything the build, the tests and the sample host need on Debian
# 12 (bookworm) or 13 (trixie), whose packages have the same names here:
# MinGW-w64 (i686, posix threads), 32-bit Wine, Xvfb, CMake,
# GoogleTest sources, a Japanese font and the ja_JP.UTF-8 locale; Xorg's
# dummy driver with xrandr for the two-monitor desktop, and the i386 RandR
# and Xinerama libraries without which 32-bit wine sees one monitor only;
# and clang with clang-tidy for the second build and the lint.
# Safe to run again: it only installs what is missing.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

need_pkgs=(
  cmake make g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine wine32:i386 xvfb xauth x11-utils xdotool googletest locales
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-wine imagemagick zip unzip python3
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  libxrandr2:i386 libxinerama1:i386 libxrender1:i386
  clang clang-tidy
)

# A mirror in the middle of a sync serves some indexes with the wrong size for
# hours: apt-get update then fails although the rest were fetched. Try it a
# few times, then go on with what was fetched and name what was not.
# ROLLVIX_SETUP_RETRY_SLEEP (seconds, 5) sets the pause: the set-up's own test makes it 0.
retry_sleep="${ROLLVIX_SETUP_RETRY_SLEEP:-5}"
failed_indexes=""
apt_update() {
  local try log status
  log="$(mktemp)"
  for try in 1 2 3; do
    status=0
    $SUDO apt-get update -q 2>&1 | tee "$log" || status=$?
    if [ "$status" -eq 0 ] && ! grep -q '^[EW]: Failed to fetch' "$log"; then
      rm -f "$log"; failed_indexes=""; return 0
    fi
    failed_indexes="$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$log" | sort -u)"
    [ "$try" -lt 3 ] && { echo "setup: some package indexes failed; trying apt-get update again in $((try * retry_sleep)) s"; sleep $((try * retry_sleep)); }
  done
  rm -f "$log"
  echo "setup: going on with the indexes that were fetched; these were not:"
  printf '  %s\n' ${failed_indexes:-"(apt-get update failed; see above)"}
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "$@"
}

still_missing() {
  local p
  for p in "${need_pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

mapfile -t missing < <(still_missing)
if [ "${#missing[@]}" -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  apt_update
  if ! apt_install "${missing[@]}"; then
    # Without one suite's index (say the security suite's i386 one) its amd64
    # candidates have no i386 twins; the release's own suites have both.
    release="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
    if [ -z "$release" ]; then
      echo "setup: the install failed and /etc/os-release names no release to fall back on" >&2
      exit 1
    fi
    echo "setup: the install could not be resolved${failed_indexes:+ with an index missing}; trying again from $release's own suites (-t $release)"
    if ! apt_install -t "$release" "${missing[@]}"; then
      {
        echo "setup: the packages could not be installed, even from $release's own suites."
        [ -n "$failed_indexes" ] && printf 'setup: these indexes failed to download:\n%s\n' "$(printf '  %s\n' $failed_indexes)"
        echo "setup: the package mirror may be in the middle of a sync; try again later."
      } >&2
      exit 1
    fi
  fi
  mapfile -t missing < <(still_missing)
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "setup: still not installed: ${missing[*]}" >&2
    [ -n "$failed_indexes" ] && echo "setup: some indexes failed to download; the package mirror may be in the middle of a sync; try again later." >&2
    exit 1
  fi
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
echo "setup: all build and test dependencies are present"
