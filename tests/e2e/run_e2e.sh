#!/usr/bin/env bash
# Starts two virtual screens (1920 x 1080 and 1024 x 768) and a session bus
# with the accessibility registry, then runs the user-session driver.
# Usage: run_e2e.sh BIN_DIR [SCREENSHOT_PATH [BUILD_DIR]]
# With BUILD_DIR the build is also installed into a scratch prefix, and the
# installed demo launcher is tried.
#
# The session is sealed off from the caller's: its own screens, its own
# session and accessibility buses and its own runtime folder, whatever the
# caller (a desktop, a test runner, a CI job) has set.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$1
shot=${2:-}
build=${3:-}
scratch=$(mktemp -d /tmp/ksv27-session-XXXXXX)
screen_pids=()
cleanup() {
  for pid in "${screen_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

prefix=""
if [ -n "$build" ]; then
  prefix="$scratch/prefix"
  cmake --install "$build" --prefix "$prefix" >/dev/null
fi

# Starts a virtual screen of geometry $1 and sets `screen` to its display.
# The X server picks a free display itself and names it only once it
# accepts clients, so parallel sessions never share a display and nothing
# talks to a screen that is still starting.
start_screen() {
  local fifo="$scratch/display-$1"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  screen_pids+=($!)
  screen=""
  read -r -t 120 screen <"$fifo" || true
  if [ -z "$screen" ]; then
    echo "FAIL a virtual screen $1 starts" >&2
    exit 1
  fi
}
start_screen 1920x1080x24
big=$screen
start_screen 1024x768x24
small=$screen

mkdir -m 700 "$scratch/runtime"
export E2E_DISPLAY=":$big" E2E_SMALL_DISPLAY=":$small" DISPLAY=":$big" E2E_INSTALL_PREFIX="$prefix"
export XDG_RUNTIME_DIR="$scratch/runtime" E2E_SCRATCH="$scratch"
# The test runner renders off screen; this session runs on the X screens.
# A caller's accessibility bus or desktop session must not be joined.
unset QT_QPA_PLATFORM AT_SPI_BUS_ADDRESS WAYLAND_DISPLAY XDG_SESSION_TYPE DBUS_SESSION_BUS_ADDRESS
dbus-run-session -- /usr/bin/python3 "$here/driver.py" "$bin" "$shot" 2> >(grep -v -E 'dbus-daemon|SpiRegistry' >&2)
