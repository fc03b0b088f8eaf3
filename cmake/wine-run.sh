#!/usr/bin/env bash
# Runs a Windows program under 32-bit wine with the project's prefix,
# the Japanese locale (ANSI code page 932) and wine's own chatter off.
# WINEPREFIX defaults to the build tree's prefix (made by scripts/wine-prefix.sh).
set -euo pipefail
: "${ROLLVIX_BUILD_DIR:=$(pwd)}"
export WINEPREFIX="${WINEPREFIX:-$ROLLVIX_BUILD_DIR/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL=ja_JP.UTF-8
export LANG=ja_JP.UTF-8
# The scripts prepare the prefix before any test runs; preparing it here, under
# a running test session's persistent wineserver, would wait for ever.
if [ ! -f "$WINEPREFIX/.rollvix-ready-4" ]; then
  echo "wine-run: $WINEPREFIX is not ready; run scripts/wine-prefix.sh $WINEPREFIX first" >&2
  exit 1
fi
exec wine "$@"
