#!/usr/bin/env bash
# Fuzzes the settings file reader and writer, then the SCPI parser and the
# VXI-11 record and call decoding of `serve`, each for a bounded time
# (seconds, the first argument or KSV_FUZZ_SECONDS, default 60) in a clang
# build folder of its own. Any crash, sanitizer report or failed check fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build-fuzz"
seconds=${1:-${KSV_FUZZ_SECONDS:-60}}

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKSV_FUZZ=ON -DKSV_WERROR=ON >/dev/null
cmake --build "$dir" --target ini_fuzzer scpi_fuzzer vxi11_fuzzer -j 2

# New inputs found during the run go into a working copy, never into the
# committed seeds.
fuzz() { # fuzz TARGET SEEDS MAX_LEN
  local work="$dir/fuzz-corpus-$1"
  mkdir -p "$work" "$dir/fuzz-artifacts"
  cp -n "$2"/* "$work"/ 2>/dev/null || true
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$dir/bin/$1" "$work" "$2" \
      -max_total_time="$seconds" -max_len="$3" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$dir/fuzz-artifacts/"
}
fuzz ini_fuzzer "$root/tests/fuzz/corpus" 8192
fuzz scpi_fuzzer "$root/tests/fuzz/scpi-corpus" 4096
fuzz vxi11_fuzzer "$root/tests/fuzz/vxi11-corpus" 8192
