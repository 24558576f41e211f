#!/usr/bin/env bash
# Installs what is missing, builds, starts the simulated crate server with
# its demo scenario, and runs the program against it. The server is stopped
# when the program ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
bin="$root/build/bin"

server_pid=""
if [ -x "$bin/ksv-crate-server" ]; then
  "$bin/ksv-crate-server" &
  server_pid=$!
  trap 'kill "$server_pid" 2>/dev/null || true' EXIT
  sleep 0.3
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # No desktop: run under a virtual screen large enough for the window.
  xvfb-run -a -s "-screen 0 1920x1080x24" "$bin/KSV27_Vorn_User"
else
  "$bin/KSV27_Vorn_User"
fi
