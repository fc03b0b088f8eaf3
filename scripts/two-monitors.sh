#!/usr/bin/env bash
# A desktop of two monitors for the tests: Xorg with the dummy video driver,
# whose RandR outputs wine takes for monitors (Xvfb's screens show it one).
# Wine places the primary at its origin, so the programs see
#   primary (0,0)-(1280,1024), 1280x1024, on the right;
#   second  (-1024,256)-(0,1024), 1024x768, on its left, 256 lower.
# --shrink-work-area sets _NET_WORKAREA (there is no window manager to set
# it) so that the primary's work area is (0,0)-(1180,984), as with bars at
# its bottom and right; the second monitor's work area stays whole.
#
# Usage:
#   two-monitors.sh start [--shrink-work-area] [--dir DIR]   prints DISPLAY=... and ROLLVIX_TWO_MONITORS=...
#   two-monitors.sh stop [--dir DIR]
#   two-monitors.sh run [--shrink-work-area] [--dir DIR] -- COMMAND [ARGS...]
# DIR holds the server's configuration, log and process id (default:
# build/two-monitors). `run` starts the desktop, runs COMMAND with DISPLAY
# set to it and ROLLVIX_TWO_MONITORS set to "whole" or "shrunk", stops the
# wine server of WINEPREFIX (a prefix of the desktop's own: its server is
# bound to this display) and the desktop, and exits with COMMAND's status;
# when the desktop cannot start it says why and exits with 1. Stopping kills
# only the Xorg started with DIR's configuration, however DIR is spelled
# (through a symbolic link, say): a process id file that names any other
# process is removed, saying so, and nothing is killed; the file of a server
# that outlives its kill is kept, so that a later stop can still end it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

action="${1:-}"
[ $# -gt 0 ] && shift
dir="${ROLLVIX_BUILD_DIR:-$root/build}/two-monitors"
shrink=0
while [ $# -gt 0 ]; do
  case "$1" in
    --shrink-work-area) shrink=1; shift ;;
    --dir) dir="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "two-monitors: unknown argument $1" >&2; exit 2 ;;
  esac
done
mkdir -p "$dir"
# Physical: the server's command line names the folder as it was started.
dir="$(cd "$dir" && pwd -P)"

# Never fails: with its error output closed, a word must not end the script.
say() { echo "two-monitors: $*" >&2 || true; }

# Whether process $1 is the Xorg started with this folder's configuration: the
# number in a stale pid file may belong to any process by now. A zombie's
# command line is empty, so an ended server is no longer ours either.
is_our_xorg() {
  local args=() i
  [[ "$1" =~ ^[0-9]+$ ]] && mapfile -d '' args 2>/dev/null <"/proc/$1/cmdline" || return 1
  [ "${#args[@]}" -gt 0 ] && [ "${args[0]##*/}" = Xorg ] || return 1
  for ((i = 1; i + 1 < ${#args[@]}; i++)); do
    [ "${args[i]}" = -config ] && [ "$(realpath -m -- "${args[i + 1]}")" = "$dir/xorg.conf" ] && return 0
  done
  return 1
}

# Waits up to 5 s for process $1 to be no longer our server.
gone() {
  for _ in $(seq 1 100); do
    is_our_xorg "$1" || return 0
    sleep 0.05
  done
  return 1
}

stop_desktop() {
  local pid
  pid="$(cat "$dir/xorg.pid" 2>/dev/null)" || return 0
  if ! is_our_xorg "$pid"; then
    rm -f "$dir/xorg.pid" "$dir/display"
    # A server that has ended needs no word; anything else is not ours to kill.
    [[ "$pid" =~ ^[0-9]+$ && ! -e /proc/$pid ]] ||
      say "removed $dir/xorg.pid and killed nothing: its process $pid is not the Xorg of $dir/xorg.conf"
    return 0
  fi
  kill "$pid" 2>/dev/null || true
  gone "$pid" || { kill -9 "$pid" 2>/dev/null || true; gone "$pid"; } ||
    { say "Xorg $pid of $dir/xorg.conf outlived its kill: $dir/xorg.pid kept"; return 1; }
  rm -f "$dir/xorg.pid" "$dir/display"
}

# Starts Xorg and lays out the two outputs; sets DISPLAY. On failure says why,
# shows the end of the server's log and stops it.
start_desktop() {
  local why=""
  command -v Xorg >/dev/null && command -v xrandr >/dev/null && command -v xprop >/dev/null ||
    { say "cannot start: Xorg, xrandr or xprop is missing (scripts/setup-debian.sh installs them)"; return 1; }
  [ -f /usr/lib/xorg/modules/drivers/dummy_drv.so ] ||
    { say "cannot start: Xorg's dummy driver is missing (xserver-xorg-video-dummy)"; return 1; }
  stop_desktop
  # Room for both outputs side by side, 2304x1024 at 32 bits a pixel.
  cat > "$dir/xorg.conf" <<'EOF'
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoAddGPU" "false"
  Option "DontVTSwitch" "true"
  Option "BlankTime" "0"
  Option "StandbyTime" "0"
  Option "SuspendTime" "0"
  Option "OffTime" "0"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 32768
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 2304 1024
  EndSubSection
EndSection
EOF
  mkdir -p "$dir/xorg.conf.d"
  rm -f "$dir/display"
  # Xorg picks a free display itself and writes its number once it listens:
  # no race with other servers for a number.
  setsid Xorg -config "$dir/xorg.conf" -configdir "$dir/xorg.conf.d" -noreset -nolisten tcp \
    -logfile "$dir/xorg.log" -displayfd 3 3>"$dir/display" </dev/null >"$dir/xorg.out" 2>&1 &
  echo $! > "$dir/xorg.pid"
  for _ in $(seq 1 200); do
    [ -s "$dir/display" ] && break
    kill -0 "$(cat "$dir/xorg.pid")" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -s "$dir/display" ]; then
    if kill -0 "$(cat "$dir/xorg.pid")" 2>/dev/null; then why="Xorg did not start within 10 s"
    else why="Xorg ended at start-up"; fi
  else
    export DISPLAY=":$(tr -dc 0-9 < "$dir/display")"
    # The modes are added by name: the dummy driver's own list may lack them.
    if ! { xrandr --newmode rvx1280x1024 108.00 1280 1328 1440 1688 1024 1025 1028 1066 +hsync +vsync &&
           xrandr --newmode rvx1024x768 65.00 1024 1048 1184 1344 768 771 777 806 -hsync -vsync &&
           xrandr --addmode DUMMY0 rvx1280x1024 && xrandr --addmode DUMMY1 rvx1024x768 &&
           xrandr --fb 2304x1024 --output DUMMY0 --mode rvx1280x1024 --pos 1024x0 --primary \
                  --output DUMMY1 --mode rvx1024x768 --pos 0x256; } >>"$dir/xorg.out" 2>&1; then
      why="xrandr could not lay out the outputs DUMMY0 and DUMMY1"
    else
      local monitors
      monitors="$(xrandr --listmonitors 2>&1)"
      if ! grep -Eq '^ *[0-9]+: \+\*DUMMY0 1280/[0-9]+x1024/[0-9]+\+1024\+0 ' <<<"$monitors" ||
         ! grep -Eq '^ *[0-9]+: \+DUMMY1 1024/[0-9]+x768/[0-9]+\+0\+256 ' <<<"$monitors"; then
        why="the server shows other monitors than the two asked for: $monitors"
      elif [ "$shrink" = 1 ]; then
        # Root coordinates: the primary begins 1024 pixels right of the left edge.
        xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "1024, 0, 1180, 984" >>"$dir/xorg.out" 2>&1 ||
          why="xprop could not set _NET_WORKAREA"
      fi
    fi
  fi
  if [ -n "$why" ]; then
    say "cannot start the desktop: $why"
    [ -f "$dir/xorg.log" ] && tail -n 15 "$dir/xorg.log" | sed 's/^/  xorg.log: /' >&2
    [ -f "$dir/xorg.out" ] && tail -n 5 "$dir/xorg.out" | sed 's/^/  xorg: /' >&2
    stop_desktop
    return 1
  fi
  say "Xorg on $DISPLAY: primary 1280x1024 at (0,0), second 1024x768 at (-1024,256)$([ "$shrink" = 1 ] && echo ", primary's work area (0,0)-(1180,984)")"
}

stop_wine() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  # Bounded: a server that does not answer is left to its own time-out.
  timeout 20 wineserver -k >/dev/null 2>&1 || true
  timeout 20 wineserver -w >/dev/null 2>&1 || true
}

case "$action" in
  start)
    start_desktop
    # For a test program started by hand: export $(two-monitors.sh start ...)
    echo "DISPLAY=$DISPLAY"
    echo "ROLLVIX_TWO_MONITORS=$([ "$shrink" = 1 ] && echo shrunk || echo whole)"
    ;;
  stop)
    stop_desktop
    ;;
  run)
    [ $# -gt 0 ] || { echo "two-monitors: run needs a command after --" >&2; exit 2; }
    # A server of this prefix still running would keep the display it began with.
    stop_wine
    # The command's status stands, whatever the clean-up meets.
    trap 'status=$?; set +e; stop_wine; stop_desktop; exit "$status"' EXIT
    start_desktop || exit 1
    started=$(date +%s)
    status=0
    ROLLVIX_TWO_MONITORS="$([ "$shrink" = 1 ] && echo shrunk || echo whole)" "$@" || status=$?
    say "the command ended with status $status after $(( $(date +%s) - started )) s"
    exit "$status"
    ;;
  *)
    sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
