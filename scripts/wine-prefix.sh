#!/usr/bin/env bash
# Creates the 32-bit wine prefix used by the tests and the sample host, and
# maps the Japanese face names the dialogs ask for onto the installed IPA fonts.
# Usage: wine-prefix.sh PREFIX_DIR [DPI]   (does nothing when the prefix exists)
# DPI (default 96) is the screen resolution the prefix's programs see.
set -euo pipefail
prefix="$(realpath -m "$1")"
dpi="${2:-96}"
stamp="$prefix/.rollvix-ready-4"
if [ -f "$stamp" ]; then exit 0; fi
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
export LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8
# No Mono or Gecko prompts: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$prefix"
echo "wine-prefix: creating $prefix" >&2
[ -f "$prefix/system.reg" ] || wineboot -i >/dev/null 2>&1 || true
key='HKCU\Software\Wine\Fonts\Replacements'
for face in "ＭＳ Ｐゴシック" "MS PGothic" "ＭＳ ゴシック" "MS Gothic" "MS UI Gothic" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "MS Sans Serif"; do
  wine reg add "$key" /v "$face" /t REG_SZ /d "IPAPGothic" /f >/dev/null 2>&1 || true
done
# Caption buttons are drawn with Marlett; this wine build does not find it
# in its data folder on its own.
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp -f /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
fi
if [ "$dpi" != 96 ]; then
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 || true
  wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 || true
fi
# Xvfb has no window manager: unmanaged windows hide and close at once
# instead of waiting two seconds for a withdrawal that never comes.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
# A crashing test program ends at once instead of waiting in the debugger.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d '' /f >/dev/null 2>&1 || true
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 0 /f >/dev/null 2>&1 || true
# Wait for wineboot's set-up (code page tables, registry) to finish before
# anything runs in the prefix; bounded, should a stray server linger.
timeout 120 wineserver -w || true
touch "$stamp"
