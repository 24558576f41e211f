#!/usr/bin/env bash
# Installs what is missing, builds, starts the simulated crate server with
# its demo scenario, and runs the program against it. The server is stopped
# when the program ends.
#
# Without a desktop (no DISPLAY or WAYLAND_DISPLAY) the demo runs on a
# virtual screen for a bounded time: it presses START, lets a few cycles
# pass, saves a screenshot of the window (KSV_DEMO_SCREENSHOT, default
# build/demo-screenshot.png), prints its path and the values shown, closes the
# program and exits 0. The server takes KSV_SIM_PORT when it is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
bin="$root/build/bin"

headless=false
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then headless=true; fi

server_pid=""
if [ -x "$bin/ksv-crate-server" ]; then
  if $headless; then server_out=/dev/null; else server_out=/dev/stdout; fi
  "$bin/ksv-crate-server" ${KSV_SIM_PORT:+--port "$KSV_SIM_PORT"} >"$server_out" &
  server_pid=$!
  trap 'kill "$server_pid" 2>/dev/null || true' EXIT
  sleep 0.3
fi

if $headless; then
  shot=${KSV_DEMO_SCREENSHOT:-"$root/build/demo-screenshot.png"}
  export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
  unset QT_QPA_PLATFORM
  # The window is read through the accessibility bus of a session bus of its
  # own; the bus daemons' start-up chatter is not the demo's output.
  noise='dbus-daemon|SpiRegistry'
  timeout 180 xvfb-run -a -s "-screen 0 1920x1080x24" \
    dbus-run-session -- /usr/bin/python3 "$root/scripts/demo-headless.py" "$bin" "$shot" \
    2> >(grep -v -E "$noise" >&2) | grep -v -E "$noise"
else
  "$bin/KSV27_Vorn_User"
fi
