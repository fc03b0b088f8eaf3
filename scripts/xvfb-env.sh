# Sourced by the scripts. rollvix_build installs what is missing, builds and
# prepares wine's prefix; rollvix_start_display starts a private Xvfb display when ROLLVIX_USE_XVFB=1
# (or when there is no DISPLAY) and a persistent wineserver for the prefix.
# Both are stopped by rollvix_stop_display, which the scripts trap on exit.
rollvix_start_display() {
  if [ "${ROLLVIX_USE_XVFB:-}" = 1 ] || [ -z "${DISPLAY:-}" ]; then
    local n=${ROLLVIX_DISPLAY_NUMBER:-90}
    while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
    Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    ROLLVIX_XVFB_PID=$!
    export DISPLAY=":${n}"
    for _ in $(seq 1 100); do
      [ -e "/tmp/.X11-unix/X${n}" ] && break
      sleep 0.05
    done
    echo "display: Xvfb on ${DISPLAY}" >&2
  fi
  rollvix_pin_to_one_cpu
  rollvix_busy_cpus
  # One wineserver per prefix for the whole run, so each test program starts
  # quickly. Wine's own service processes start now, detached from our
  # output: started by the first test they would hold ctest's output pipe
  # open until killed.
  local prefix
  for prefix in "$WINEPREFIX" ${ROLLVIX_WINEPREFIX_144:+"$ROLLVIX_WINEPREFIX_144"}; do
    WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1 || true
    WINEPREFIX="$prefix" wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  done
}

# Wine asks its server for nearly every window call, and the program waits for
# each answer. With the two on different CPUs of a virtual machine, every
# answer has to wake the other CPU first: about 70 us instead of 5 us, in
# bursts, which made the same benchmark vary sixfold. The server and the
# programs started after this share the first CPU this shell may use; Xvfb,
# started before, is left to the system (on that CPU too, it slowed the
# programs' drawing requests). ROLLVIX_ONE_CPU=0 keeps the system's choice.
rollvix_pin_to_one_cpu() {
  [ "${ROLLVIX_ONE_CPU:-1}" = 1 ] || return 0
  command -v taskset >/dev/null || return 0
  local cpus first
  cpus=$(taskset -pc $$ 2>/dev/null | sed 's/.*: //') || return 0
  first=${cpus%%[,-]*}
  [ -n "$first" ] && taskset -pc "$first" $$ >/dev/null && echo "cpu: pinned to CPU $first" >&2 || true
}

# ROLLVIX_BUSY_CPU=own, other or both keeps that CPU busy with a process that
# spins for the whole run (own: the one the programs are pinned to), so that
# a test whose outcome rests on the machine being quiet shows it.
rollvix_busy_cpus() {
  local which="${ROLLVIX_BUSY_CPU:-}" own other cpu
  [ -n "$which" ] || return 0
  own=$(taskset -pc $$ 2>/dev/null | sed 's/.*: //')
  own=${own%%[,-]*}
  other=$(awk -v own="$own" '/^processor/ { if ($3 != own) { print $3; exit } }' /proc/cpuinfo)
  ROLLVIX_SPIN_PIDS=""
  for cpu in $([ "$which" != other ] && echo "$own") $([ "$which" != own ] && echo "$other"); do
    taskset -c "$cpu" sh -c 'while :; do :; done' &
    ROLLVIX_SPIN_PIDS="$ROLLVIX_SPIN_PIDS $!"
    echo "load: CPU $cpu kept busy" >&2
  done
}

rollvix_stop_display() {
  local prefix
  # shellcheck disable=SC2086
  [ -z "${ROLLVIX_SPIN_PIDS:-}" ] || kill $ROLLVIX_SPIN_PIDS 2>/dev/null || true
  for prefix in "$WINEPREFIX" ${ROLLVIX_WINEPREFIX_144:+"$ROLLVIX_WINEPREFIX_144"}; do
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  done
  if [ -n "${ROLLVIX_XVFB_PID:-}" ]; then
    kill "$ROLLVIX_XVFB_PID" 2>/dev/null || true
    wait "$ROLLVIX_XVFB_PID" 2>/dev/null || true
  fi
}

# rollvix_build ROOT [cmake --build arguments...]: sets $build from
# ROLLVIX_BUILD_DIR (default ROOT/build), installs what is missing, configures
# and builds, then exports wine's environment and makes sure its prefix exists.
# A warning in our own code fails the build (ROLLVIX_WERROR=0 lets it pass,
# e.g. with a newer compiler than bookworm's): every script builds so, since
# they share the build folder and a change of the setting rebuilds it all.
rollvix_build() {
  local root="$1"
  shift
  build="${ROLLVIX_BUILD_DIR:-$root/build}"
  case "$build" in /*) ;; *) build="$root/$build" ;; esac
  bash "$root/scripts/setup-debian.sh"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROLLVIX_WERROR="${ROLLVIX_WERROR:-ON}" >/dev/null
  cmake --build "$build" -j"$(nproc)" "$@"
  rollvix_wine_env "$root"
}

# rollvix_clang_configure ROOT: sets $clang_build from ROLLVIX_CLANG_BUILD_DIR
# (default ROOT/build-clang), installs what is missing and configures the
# plug-in's build with clang (cmake/toolchain-i686-clang.cmake): no tests or
# benchmarks, warnings as errors, and the compile commands clang-tidy reads.
rollvix_clang_configure() {
  local root="$1"
  clang_build="${ROLLVIX_CLANG_BUILD_DIR:-$root/build-clang}"
  case "$clang_build" in /*) ;; *) clang_build="$root/$clang_build" ;; esac
  bash "$root/scripts/setup-debian.sh"
  cmake -S "$root" -B "$clang_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-clang.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROLLVIX_TESTS=OFF -DROLLVIX_BENCH=OFF \
    -DROLLVIX_WERROR="${ROLLVIX_WERROR:-ON}" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
}

# rollvix_wine_env ROOT: exports wine's environment for the prefix in $build
# and makes sure it exists, and a second one at 144 DPI beside it
# (ROLLVIX_WINEPREFIX_144) for the tests and pictures at high DPI, and a
# third for the two-monitor desktop's test (scripts/two-monitors.sh), whose
# wine server must not be the one bound to the Xvfb display.
rollvix_wine_env() {
  export WINEPREFIX="$build/wineprefix"
  export ROLLVIX_WINEPREFIX_144="$build/wineprefix-144"
  export LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8 WINEDEBUG=-all
  "$1/scripts/wine-prefix.sh" "$WINEPREFIX"
  "$1/scripts/wine-prefix.sh" "$ROLLVIX_WINEPREFIX_144" 144
  "$1/scripts/wine-prefix.sh" "$build/wineprefix-monitors"
}

# A private Xvfb display for the rest of the script, whatever DISPLAY says;
# it and the wine server stop when the script exits.
rollvix_private_display() {
  ROLLVIX_USE_XVFB=1
  trap rollvix_stop_display EXIT
  rollvix_start_display
}
