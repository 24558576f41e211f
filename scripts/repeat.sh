#!/usr/bin/env bash
# Runs the tests of one ctest label N times in a row, two at a time as CI
# does, and stops at the first failing round: the way to show that a set of
# tests passes every time, not just once.
# Usage: scripts/repeat.sh LABEL N [BUILD_DIR]
#   BUILD_DIR defaults to build; a ThreadSanitizer build (build-tsan) gets
#   the same options CI gives it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 2 ]; then
  echo "usage: $0 LABEL N [BUILD_DIR]" >&2
  exit 2
fi
label=$1
rounds=$2
dir=${3:-"$root/build"}
export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$(date +%s)
for ((i = 1; i <= rounds; i++)); do
  if ! ctest --test-dir "$dir" -L "$label" -j 2 --timeout 900 --output-on-failure >"$log" 2>&1; then
    cat "$log"
    echo "repeat: label $label failed in round $i of $rounds ($((i - 1)) passed)"
    exit 1
  fi
  echo "repeat: round $i of $rounds passed ($(grep -E 'tests passed' "$log"))"
done
echo "repeat: label $label passed $rounds of $rounds rounds in $(($(date +%s) - start)) s"
