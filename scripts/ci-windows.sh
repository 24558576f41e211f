#!/usr/bin/env bash
# The Windows build, checked on this machine: cross-compiles everything below
# the window with MinGW-w64 (warnings are errors), then runs the Windows test
# programs under Wine, headless: the core libraries' suites (settings, device,
# measure, threads), the version resource, and the Windows crate libraries
# against the crate server of the native build on 127.0.0.1; then the
# command-line tool, its `serve` queried from a Linux socket client.
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
  unset DISPLAY WAYLAND_DISPLAY
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

# One run of the Windows command-line tool: its standard output, standard
# error and exit status in $out, $err and $status.
run_cli() {
  local o e
  o=$(mktemp) e=$(mktemp)
  status=0
  timeout 120 wine "$cli" "$@" >"$o" 2>"$e" || status=$?
  out=$(tr -d '\r' <"$o") err=$(tr -d '\r' <"$e")
  rm -f "$o" "$e"
}

expect() { # expect DESCRIPTION CONDITION...
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; cli_failed=1; fi
}
has() { grep -qF -- "$2" <<<"$1"; }

control() {
  "$server_bin" --port "$KSV_SIM_PORT" --control "$1" >/dev/null
}

# The command-line tool under Wine against the demo: the crate list, the
# known levels of a module, and injected faults with their messages and
# exit statuses.
cli_end_to_end() {
  cli="$win/bin/ksv27-vorn-cli.exe"
  if [ ! -f "$cli" ]; then
    echo "FAIL ksv27-vorn-cli.exe was not built" >&2
    return 1
  fi
  cli_failed=0
  run_cli list
  expect "list: exit status 0" test "$status" = 0
  expect "list shows the demo crates" has "$out" "crate 1: KSV-C-0001"
  expect "list shows the second crate" has "$out" "KSV-C-0002"
  expect "list shows the first module" has "$out" "slot 1: KSV27 serial 27A-1001, firmware 3.2.1.0"

  run_cli measure --crate KSV-C-0001 --slot 1 --rate 1000 --time 0.2 --cycles 2 --format csv
  expect "measure: exit status 0" test "$status" = 0
  expect "measure prints the module's known levels" \
    has "$out" ",125.000,250.000,2500.000,-3750.000,12000.000,-15500.000,4.096,10.250,1.2500,4.0000,7.5000,-2.5000,47.000,"
  expect "measure prints two cycles" test "$(grep -c '^20[0-9-]*T' <<<"$out")" = 2

  control 'fault crate=KSV-C-0001 slot=1 start=fail'
  run_cli measure --crate KSV-C-0001 --slot 1 --cycles 1
  control clear
  expect "a failed start: exit status 1" test "$status" = 1
  expect "a failed start: its message" has "$err" "Не могу выполнить запуск сбора данных!!!"

  control 'fault crate=KSV-C-0001 slot=1 open=fail'
  run_cli measure --crate KSV-C-0001 --slot 1 --cycles 1
  control clear
  expect "a module that does not open: exit status 3" test "$status" = 3
  expect "a module that does not open: its message" has "$err" "no KSV27 that opens in crate KSV-C-0001 in slot 1"
  serve_end_to_end
  return "$cli_failed"
}

# `serve` under Wine, asked from a Linux socket client: the identity, the
# module's known levels in volts, an error code, and a clean stop.
serve_end_to_end() {
  local serve_out serve_err serve_pid port answers
  serve_out=$(mktemp) serve_err=$(mktemp)
  wine "$cli" serve --crate KSV-C-0001 --slot 1 --port 0 >"$serve_out" 2>"$serve_err" &
  serve_pid=$!
  for _ in $(seq 300); do
    port=$(tr -d '\r' <"$serve_out" | head -1 | grep -E '^[0-9]+$' || true)
    [ -n "$port" ] && break
    sleep 0.1
  done
  expect "serve names its port" test -n "$port"
  [ -n "$port" ] || tr -d '\r' <"$serve_err" >&2
  answers=$(timeout 60 /usr/bin/python3 - "${port:-0}" <<'PY' || true
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=30)
s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
f = s.makefile("rwb", buffering=0)
def ask(line):
    s.sendall(line.encode() + b"\n")
    return f.readline().decode().strip()
print(ask("*IDN?"))
levels = [float(v) for v in ask("RATE 1000;APER 0.2;MEAS? (@1:4)").split(",")]
if len(levels) == 4 and all(abs(v - w) < 1e-6 for v, w in zip(levels, (0.125, 0.25, 2.5, -3.75))):
    print("levels in volts ok")
s.sendall(b"FROB?\n")
print(ask("SYST:ERR?"))
PY
)
  expect "serve answers *IDN?" has "$answers" ",KSV27,27A-1001,3.2.1.0"
  expect "serve measures the known levels in volts" has "$answers" "levels in volts ok"
  expect "serve reports an undefined header" has "$answers" '-113,"Undefined header;FROB?"'
  kill "$serve_pid" 2>/dev/null || true
  timeout 30 tail --pid="$serve_pid" -f /dev/null || kill -9 "$serve_pid" 2>/dev/null || true
  rm -f "$serve_out" "$serve_err"
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
failed=0
timeout 900 ctest --test-dir "$win" --output-on-failure -j 2 --timeout 300 || failed=1
cli_end_to_end || failed=1
echo "Windows checks took $(( $(date +%s) - started )) s"
exit "$failed"
