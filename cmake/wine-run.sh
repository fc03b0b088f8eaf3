#!/usr/bin/env bash
# Runs a Windows program under 32-bit wine with the project's prefix,
# the Japanese locale (ANSI code page 932) and wine's own chatter off.
# WINEPREFIX defaults to the build tree's prefix (see scripts/wine-prefix.sh).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
: "${ROLLVIX_BUILD_DIR:=$(pwd)}"
export WINEPREFIX="${WINEPREFIX:-$ROLLVIX_BUILD_DIR/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL=ja_JP.UTF-8
export LANG=ja_JP.UTF-8
if [ ! -f "$WINEPREFIX/.rollvix-ready-4" ]; then
  "$here/../scripts/wine-prefix.sh" "$WINEPREFIX" >&2
fi
exec wine "$@"
