#!/usr/bin/env bash
# The Windows build, checked on this machine: cross-compiles everything below
# the window with MinGW-w64 (warnings are errors), then runs the Windows test
# programs under Wine, headless: the core libraries' suites (settings, device,
# measure, threads), the version resource, and the Windows crate libraries
# against the crate server of the native build on 127.0.0.1.
# Usage: scripts/ci-windows.sh [NATIVE_BUILD_DIR]   (default: build, or $KSV_BUILD_DIR)
# The Windows build goes to build-windows (or $KSV_WINDOWS_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=${1:-${KSV_BUILD_DIR:-"$root/build"}}
win=${KSV_WINDOWS_BUILD_DIR:-"$root/build-windows"}
server_bin="$native/bin/ksv-crate-server"

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

build_windows() {
  cmake -S "$root" -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
    -DKSV_WERROR=ON "${launcher[@]}" >/dev/null
  cmake --build "$win" -j "$(nproc)"
}

# Wine in a prefix of its own that goes away afterwards; no display needed.
start_wine() {
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  WINEPREFIX=$(mktemp -d /tmp/ksv-wine-XXXXXX)
  export WINEPREFIX
  timeout 300 wineboot -i >/dev/null 2>&1
}

stop_all() {
  if [ -n "${server_pid:-}" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  if [ -n "${WINEPREFIX:-}" ]; then
    timeout 30 wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  [ -n "${server_out:-}" ] && rm -f "$server_out"
}

# The native crate server with its built-in demo on a free port; exports
# KSV_SIM_PORT for the Windows programs.
start_server() {
  server_out=$(mktemp /tmp/ksv-server-XXXXXX)
  "$server_bin" --port 0 --parent $$ >"$server_out" 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do
    if grep -q 'listening on' "$server_out"; then break; fi
    sleep 0.1
  done
  KSV_SIM_PORT=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$server_out" | head -1)
  [ -n "$KSV_SIM_PORT" ] || { echo "the crate server did not start: $(cat "$server_out")" >&2; return 1; }
  export KSV_SIM_PORT
}

# The command-line tool's end-to-end run under Wine, once the tool is part
# of the build: its absence is told, not failed.
cli_end_to_end() {
  local cli="$win/bin/ksv27-vorn-cli.exe"
  if [ ! -f "$cli" ]; then
    echo "ksv27-vorn-cli.exe is not built yet: its end-to-end run under Wine is skipped"
    return 0
  fi
  echo "ksv27-vorn-cli.exe is built but has no end-to-end run here yet" >&2
  return 1
}

if [ ! -x "$server_bin" ]; then
  echo "no native crate server at $server_bin: build the native tree first (scripts/build.sh)" >&2
  exit 1
fi
trap stop_all EXIT
started=$(date +%s)
build_windows
start_wine
start_server
timeout 900 ctest --test-dir "$win" --output-on-failure -j 2 --timeout 300
cli_end_to_end
echo "Windows checks took $(( $(date +%s) - started )) s"
