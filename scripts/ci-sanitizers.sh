#!/usr/bin/env bash
# The sanitizer runs of CI, each in a build folder of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export QT_QPA_PLATFORM=offscreen

asan="$root/build-asan"
"$root/scripts/build.sh" "$asan" -DKSV_WERROR=ON -DKSV_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$asan" --output-on-failure -j 2 --timeout 900 -LE nosan
