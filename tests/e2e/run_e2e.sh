#!/usr/bin/env bash
# Starts two virtual screens (1920 x 1080 and 1024 x 768) and a session bus
# with the accessibility registry, then runs the user-session driver.
# Usage: run_e2e.sh BIN_DIR [SCREENSHOT_PATH [BUILD_DIR]]
# With BUILD_DIR the build is also installed into a scratch prefix, and the
# installed demo launcher is tried.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$1
shot=${2:-}
build=${3:-}
prefix=""
if [ -n "$build" ]; then
  prefix=$(mktemp -d /tmp/ksv27-install-XXXXXX)
  cmake --install "$build" --prefix "$prefix" >/dev/null
fi

pick_display() {
  local n=$((90 + RANDOM % 400))
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  echo "$n"
}

big=$(pick_display)
Xvfb ":$big" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
big_pid=$!
sleep 0.5
small=$(pick_display)
Xvfb ":$small" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
small_pid=$!
trap 'kill $big_pid $small_pid 2>/dev/null || true; [ -n "$prefix" ] && rm -rf "$prefix"' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$big" ] && [ -e "/tmp/.X11-unix/X$small" ] && break
  sleep 0.1
done

export E2E_DISPLAY=":$big" E2E_SMALL_DISPLAY=":$small" DISPLAY=":$big" E2E_INSTALL_PREFIX="$prefix"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
unset QT_QPA_PLATFORM
dbus-run-session -- /usr/bin/python3 "$here/driver.py" "$bin" "$shot" 2> >(grep -v -E 'dbus-daemon|SpiRegistry' >&2)
